#pragma once

#include "DeviceState.h"
#include "FaultInjector.h"
#include "WirePacer.h"

#include <QByteArray>
#include <QString>
#include <chrono>
#include <csignal>
#include <cstdint>

struct _modbus;
struct _modbus_mapping_t;

namespace zorvan::devsim {

// The Modbus RTU slave on the line: libmodbus takes each request off the line and builds the
// reply, but the reply is built into a pipe rather than onto the line, so that the fault
// injector and the wire pacer can hold, drop or change it before it goes out. The device's
// registers come from DeviceState; only functions 3, 6 and 16 are served.
class SlaveServer {
public:
    using Clock = std::chrono::steady_clock;

    SlaveServer(int lineFd, int address, DeviceState& device, FaultInjector& faults,
                WirePacer& pacer, bool log);
    ~SlaveServer();
    SlaveServer(const SlaveServer&) = delete;
    SlaveServer& operator=(const SlaveServer&) = delete;

    bool open(QString* error);
    // Serves requests until stop becomes non-zero (checked at least every 100 ms).
    void run(const volatile std::sig_atomic_t& stop);

    std::uint64_t requests() const { return m_requests; }
    std::uint64_t replies() const { return m_replies; }

private:
    bool newContext(QString* error);
    void serve(const std::uint8_t* request, int length, Clock::time_point seen,
               const volatile std::sig_atomic_t& stop);
    QByteArray buildReply(const std::uint8_t* request, int length);
    QByteArray captured();
    // Sends the reply from `start` on at the pacer's line speed (whole at once without one).
    bool sendPaced(const QByteArray& reply, Clock::time_point start,
                   const volatile std::sig_atomic_t& stop);
    bool sendToLine(const QByteArray& frame, const volatile std::sig_atomic_t& stop);
    void log(const QString& line) const;

    int m_lineFd;
    int m_address;
    DeviceState& m_device;
    FaultInjector& m_faults;
    WirePacer& m_pacer;
    bool m_log;
    _modbus* m_ctx = nullptr;
    _modbus_mapping_t* m_mapping = nullptr;
    int m_pipe[2] = {-1, -1};
    std::uint64_t m_requests = 0;
    std::uint64_t m_replies = 0;
};

} // namespace zorvan::devsim
