// Cost of reading a 256-tag catalogue from the device simulator, which answers no sooner than
// a real serial line of the given speed would carry request and reply.
//
// For each speed the whole tag-list command (open, 256 index writes and block reads, close)
// runs against a fresh simulator; its elapsed time is compared with the line time the
// simulator models for the same exchanges (printed by the simulator at exit), and the CPU time
// of this process during the read with the elapsed time. Several runs; the median is reported.
// As an anchor for what the machine itself adds (both processes must be woken for every
// exchange), libmodbus's own master walks the same catalogue with the same requests against
// the same simulator, in alternation with our runs.
//
// Usage: bench_catalogue [runs at 115200] [runs at 9600]

#include "BenchTable.h"
#include "device/AppDataTypes.h"
#include "device/Commands.h"
#include "device/ModbusMap.h"
#include "settings/AppOptions.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>
#include <modbus.h>
#include <optional>
#include <string>
#include <vector>

namespace {

using namespace zorvan;

constexpr int Tags = 256;

double processCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0.0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

using bench::fmt;
using bench::row;

struct Sample {
    double elapsedMs = 0;
    double cpuMs = 0;
    double wireMs = 0;
};

enum class Master { Ours, Libmodbus };

// The catalogue walk with libmodbus's master: the same requests as the tag-list command.
bool libmodbusWalk(const QString& path, int baud, int* count) {
    modbus_t* ctx = modbus_new_rtu(path.toLocal8Bit().constData(), baud, 'N', 8, 1);
    if (ctx == nullptr)
        return false;
    modbus_set_slave(ctx, 1);
    modbus_set_response_timeout(ctx, 1, 0);
    bool ok = modbus_connect(ctx) == 0;
    uint16_t regs[14] = {};
    ok = ok && modbus_read_registers(ctx, 12288, 14, regs) == 14;
    *count = 0;
    for (int i = 0; ok && i < Tags; ++i) {
        const uint16_t index = uint16_t(i);
        ok = modbus_write_registers(ctx, 12289, 1, &index) == 1 &&
             modbus_read_registers(ctx, 12288, 14, regs) == 14;
        if (ok && regs[3] == 1)
            break;
        *count += ok ? 1 : 0;
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return ok;
}

// One read against a fresh simulator; nullopt when something did not work.
std::optional<Sample> readOnce(Master master, const QString& catalogue, int baud,
                               const QString& scratch) {
    QProcess sim;
    sim.setStandardErrorFile(scratch + "/devsim-stderr.txt");
    sim.start(QStringLiteral(ZORVAN_DEVSIM_PATH),
              {"--catalogue", catalogue, "--wire-baud", QString::number(baud)});
    if (!sim.waitForStarted(10000))
        return std::nullopt;
    while (!sim.canReadLine())
        if (!sim.waitForReadyRead(10000))
            return std::nullopt;
    const QString path = QString::fromLocal8Bit(sim.readLine()).trimmed().section(' ', -1);

    Sample s;
    bool ok = false;
    int count = 0;
    if (master == Master::Ours) {
        TOptions options;
        options.setSaveOnDestroy(false);
        TModbusMapConn conn(options);
        conn.PortDrv.setPortName(path);
        // The reply to a block read takes 46 ms to arrive at 9600 baud: the time-out only
        // guards against a device that never answers.
        conn.PortDrv.setInputTimeout(1000);
        TUpdateTagListCmd command(&conn);
        QElapsedTimer clock;
        const double cpu0 = processCpuMs();
        clock.start();
        ok = command.Execute();
        s.elapsedMs = double(clock.nsecsElapsed()) / 1e6;
        s.cpuMs = processCpuMs() - cpu0;
        count = command.TagList()->Count();
    } else {
        QElapsedTimer clock;
        const double cpu0 = processCpuMs();
        clock.start();
        ok = libmodbusWalk(path, baud, &count);
        s.elapsedMs = double(clock.nsecsElapsed()) / 1e6;
        s.cpuMs = processCpuMs() - cpu0;
    }
    ::kill(pid_t(sim.processId()), SIGTERM);
    sim.waitForFinished(10000);
    QFile err(scratch + "/devsim-stderr.txt");
    if (!err.open(QIODevice::ReadOnly))
        return std::nullopt;
    const auto match = QRegularExpression(R"(modelled wire time ([0-9.]+) ms)")
                           .match(QString::fromUtf8(err.readAll()));
    if (!ok || count != Tags || !match.hasMatch()) {
        std::fprintf(stderr, "run failed: result %d, %d tags\n", int(ok), count);
        return std::nullopt;
    }
    s.wireMs = match.captured(1).toDouble();
    return s;
}

bool measure(const QString& catalogue, int baud, int runs, const QString& scratch) {
    std::vector<double> ratios, elapsed, wire, cpuShare, cpu, anchorRatios, anchorElapsed,
        anchorCpu;
    for (int i = 0; i < runs; ++i) {
        const auto s = readOnce(Master::Ours, catalogue, baud, scratch);
        const auto a = readOnce(Master::Libmodbus, catalogue, baud, scratch);
        if (!s || !a)
            return false;
        elapsed.push_back(s->elapsedMs);
        wire.push_back(s->wireMs);
        ratios.push_back(s->elapsedMs / s->wireMs);
        cpu.push_back(s->cpuMs);
        cpuShare.push_back(100.0 * s->cpuMs / s->elapsedMs);
        anchorElapsed.push_back(a->elapsedMs);
        anchorRatios.push_back(a->elapsedMs / a->wireMs);
        anchorCpu.push_back(a->cpuMs);
    }
    const std::string name = "catalogue read, 256 tags, " + std::to_string(baud) + " baud";
    row(name + ": elapsed vs modelled wire time", fmt("%.1f ms", median(elapsed)),
        fmt("%.1f ms wire", median(wire)), fmt("%.3f", median(ratios)), "≤ 1.10");
    row(name + ": libmodbus master, same walk (anchor)", fmt("%.1f ms", median(anchorElapsed)),
        fmt("%.1f ms wire", median(wire)), fmt("%.3f", median(anchorRatios)), "(machine)");
    row(name + ": CPU time vs elapsed", fmt("%.1f ms CPU", median(cpu)),
        fmt("%.1f ms elapsed", median(elapsed)), fmt("%.2f %%", median(cpuShare)), "< 5 %");
    row(name + ": CPU time, ours vs libmodbus", fmt("%.1f ms CPU", median(cpu)),
        fmt("%.1f ms CPU", median(anchorCpu)), fmt("%.2f", median(cpu) / median(anchorCpu)),
        "(info)");
    return true;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int fastRuns = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int slowRuns = argc > 2 ? std::max(1, std::atoi(argv[2])) : 2;
    QTemporaryDir scratch;
    if (!scratch.isValid())
        return 1;
    // The settings module reads a store: give it an empty one of its own.
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(scratch.path()));

    const QString catalogue = scratch.filePath("catalogue.txt");
    QFile file(catalogue);
    if (!file.open(QIODevice::WriteOnly))
        return 1;
    for (int i = 0; i < Tags; ++i)
        file.write(QByteArray::number(i) + ' ' + QByteArray::number(i % 5) + " TAG_" +
                   QByteArray::number(i) + '\n');
    file.close();

    if (!measure(catalogue, 115200, fastRuns, scratch.path()) ||
        !measure(catalogue, 9600, slowRuns, scratch.path())) {
        std::fprintf(stderr, "bench_catalogue: a run failed\n");
        return 1;
    }
    return 0;
}
