#pragma once

#include <QProcess>
#include <QTemporaryDir>
#include <memory>

namespace zorvan {
class TChannelImage;
class TModbusMapConn;
class TOptions;
} // namespace zorvan

namespace zorvan::bench {

// The device simulator with a map uploaded through a device connection of the benchmark's own,
// its settings in a private folder: what the polling benchmarks poll. conn() is null (said on
// standard error) when the simulator did not start or the upload failed.
class SimulatorDevice {
public:
    explicit SimulatorDevice(TChannelImage& image);
    ~SimulatorDevice();
    TModbusMapConn* conn() const { return m_conn.get(); }

private:
    QTemporaryDir m_scratch;
    QProcess m_sim;
    std::unique_ptr<TOptions> m_options;
    std::unique_ptr<TModbusMapConn> m_conn;
};

// CPU time of this process so far (every thread, user and system), in seconds.
double processCpuSeconds();

} // namespace zorvan::bench
