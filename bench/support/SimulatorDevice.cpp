#include "SimulatorDevice.h"

#include "device/Commands.h"
#include "device/ModbusMap.h"
#include "document/CnlImage.h"
#include "settings/AppOptions.h"

#include <cstdio>
#include <sys/resource.h>

namespace zorvan::bench {

namespace {

// The pseudo-terminal the simulator serves, or an empty path when it did not start.
QString startSimulator([[maybe_unused]] QProcess& sim) {
#ifdef ZORVAN_DEVSIM_PATH
    sim.setStandardErrorFile(QProcess::nullDevice());
    sim.start(QStringLiteral(ZORVAN_DEVSIM_PATH), QStringList());
    if (sim.waitForStarted(10000) && sim.waitForReadyRead(10000))
        return QString::fromLocal8Bit(sim.readLine()).trimmed().section(u' ', -1);
#endif
    std::fprintf(stderr, "the simulator did not start\n");
    return {};
}

} // namespace

SimulatorDevice::SimulatorDevice(TChannelImage& image) {
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_scratch.path()));
    const QString pty = startSimulator(m_sim);
    if (pty.isEmpty())
        return;
    m_options = std::make_unique<TOptions>();
    m_options->setSaveOnDestroy(false);
    auto conn = std::make_unique<TModbusMapConn>(*m_options);
    conn->PortDrv.setPortName(pty);
    TUploadCurrMapCmd upload(conn.get());
    upload.setTarget(&image);
    if (!upload.Execute() || upload.DeviceError() != 0) {
        std::fprintf(stderr, "the map upload failed\n");
        return;
    }
    m_conn = std::move(conn);
}

SimulatorDevice::~SimulatorDevice() {
    m_conn.reset();
    m_sim.terminate();
    m_sim.waitForFinished(5000);
}

double processCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace zorvan::bench
