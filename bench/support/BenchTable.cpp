#include "BenchTable.h"

#include <QProcess>
#include <cstdio>

namespace zorvan::bench {

std::string fmt(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

void row(const std::string& name, const std::string& ours, const std::string& anchor,
         const std::string& ratio, const char* goal) {
    std::printf("| %s | %s | %s | %s | %s |\n", name.c_str(), ours.c_str(), anchor.c_str(),
                ratio.c_str(), goal);
    std::fflush(stdout);
}

QString startSimulator([[maybe_unused]] QProcess& sim,
                       [[maybe_unused]] const QStringList& arguments) {
#ifdef ZORVAN_DEVSIM_PATH
    sim.setStandardErrorFile(QProcess::nullDevice());
    sim.start(QStringLiteral(ZORVAN_DEVSIM_PATH), arguments);
    if (sim.waitForStarted(10000) && sim.waitForReadyRead(10000))
        return QString::fromLocal8Bit(sim.readLine()).trimmed().section(u' ', -1);
#endif
    std::fprintf(stderr, "the simulator did not start\n");
    return {};
}

} // namespace zorvan::bench
