// Long-run cost of the live chart and the traffic log.
//
// Chart: drives 100,000 poll cycles (an injected clock advancing 20 ms per cycle) of 20 visible
// series through TUpdateChart on a laid-out 460 x 420 chart, bringing the chart up to date after
// every cycle as the event loop does between poll ticks, and compares the per-cycle time (CPU
// time of the thread, so that other load on the machine does not count) and the resident memory
// of the last 10 % of cycles with the first 10 %. A run that kept every point would grow both
// without bound. With "paint" as the second argument the chart is in a shown view and is also
// painted after every cycle (slower; the painting is Qt's).
//
// Traffic log: bytes held per 100,000 rows of alternating request (8 bytes) and reply
// (45 bytes, 20 registers) frames, projected to an hour at 100 rows per second.
//
// Usage: bench_chart [cycles [time-interval-seconds [paint]]]; defaults 100000, 10 (the
// updater's default; the execution window uses 30, which holds three times the points).

#include "execution/TrafficLog.h"
#include "execution/ui/TimePlot.h"
#include "execution/ui/UpdateChart.h"

#include <QApplication>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <malloc.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

// Resident set size of this process, in bytes.
double rssBytes() {
    std::ifstream statm("/proc/self/statm");
    long pages = 0, resident = 0;
    statm >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

// CPU time of this thread, in milliseconds.
double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return double(ts.tv_sec) * 1e3 + double(ts.tv_nsec) / 1e6;
}

// Bytes allocated on the heap and not yet freed (what the program holds, whatever the allocator
// keeps in reserve): the arena's blocks in use plus the large blocks glibc maps on their own,
// which uordblks alone leaves out.
double heapBytes() {
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd);
}

double mean(const std::vector<double>& v, std::size_t from, std::size_t to) {
    double sum = 0;
    for (std::size_t i = from; i < to; ++i)
        sum += v[i];
    return to > from ? sum / double(to - from) : 0.0;
}

void row(const char* name, const std::string& ours, const std::string& anchor, double ratio,
         const char* goal) {
    std::printf("| %s | %s | %s | %.2f× | %s |\n", name, ours.c_str(), anchor.c_str(), ratio, goal);
}

std::string fmt(const char* format, double value) {
    char buf[256];
    std::snprintf(buf, sizeof buf, format, value);
    return buf;
}

} // namespace

// The traffic log's bytes per row, projected to an hour.
void trafficLog() {
    zorvan::TrafficLog log;
    const QByteArray request = QByteArray::fromHex("010340000028D1DC");
    QByteArray reply(45, '\x11');
    constexpr int rows = 100000;
    const double rssBefore = rssBytes();
    for (int i = 0; i < rows; ++i)
        log.append(i % 2 == 0, i % 2 == 0 ? QByteArrayView(request) : QByteArrayView(reply));
    const double held100k = double(log.memoryBytes());
    const double rssGrowth = rssBytes() - rssBefore;
    const double hourMb = held100k * 3.6 / 1048576; // 360,000 rows
    row("traffic log bytes per 100,000 rows (8/45-byte frames)", fmt("%.2f MB", held100k / 1048576),
        fmt("%.2f MB RSS growth", rssGrowth / 1048576), held100k / std::max(rssGrowth, 1.0),
        "hour at 100 rows/s < 100 MB");
    row("traffic log, an hour at 100 rows/s (projected)", fmt("%.1f MB", hourMb), "100 MB",
        hourMb / 100.0, "≤ 1×");
}

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const long cycles = argc > 1 ? std::max(10L, std::atol(argv[1])) : 100000L;
    const int timeInterval = argc > 2 ? std::max(1, std::atoi(argv[2])) : 10;
    const bool paint = argc > 3 && std::string(argv[3]) == "paint";
    constexpr int seriesCount = 20;
    constexpr qint64 stepMs = 20;

    zorvan::TTimePlot chart;
    chart.resize(460, 420);
    if (paint)
        chart.show();
    zorvan::TUpdateChart updater;
    updater.setChart(&chart);
    updater.setTimeInterval(timeInterval);
    qint64 nowMs = 1700000000000;
    updater.Now = [&nowMs] { return QDateTime::fromMSecsSinceEpoch(nowMs); };
    std::vector<zorvan::TPlotSeries*> series;
    for (int i = 0; i < seriesCount; ++i) {
        auto* s = new zorvan::TPlotSeries;
        s->setName(QString("tag%1").arg(i));
        chart.addSeries(s);
        series.push_back(s);
    }

    std::vector<double> cycleMs(std::size_t(cycles), 0.0);
    const long tenth = cycles / 10;
    double rssFirst = 0, heapFirst = 0;
    for (long c = 0; c < cycles; ++c) {
        nowMs += stepMs;
        const double start = threadCpuMs();
        for (int i = 0; i < seriesCount; ++i)
            updater.AddPoint(series[std::size_t(i)], 100.0 * i + 50.0 * std::sin(double(c) / 50));
        QCoreApplication::processEvents(); // the queued flush (and the painting, when shown)
        cycleMs[std::size_t(c)] = threadCpuMs() - start;
        if (c + 1 == tenth) {
            rssFirst = rssBytes();
            heapFirst = heapBytes();
        }
        if (std::getenv("BENCH_TRACE") && (c + 1) % tenth == 0)
            std::fprintf(stderr, "cycle %ld: %.3f ms, RSS %.1f MB, heap %.1f MB\n", c + 1,
                         cycleMs[std::size_t(c)], rssBytes() / 1048576, heapBytes() / 1048576);
    }
    const double rssLast = rssBytes();
    const double heapLast = heapBytes();
    const double firstMs = mean(cycleMs, 0, std::size_t(tenth));
    const double lastMs = mean(cycleMs, std::size_t(cycles - tenth), std::size_t(cycles));
    int held = 0;
    for (auto* s : series)
        held = std::max(held, int(s->count()));

    std::printf("| benchmark | ours | anchor | ratio | goal |\n|---|---|---|---|---|\n");
    const std::string setting = fmt("%.0f cycles, ", double(cycles)) +
                                fmt("%.0f s window", timeInterval) + (paint ? ", painted" : "");
    row(("chart cycle CPU time, 20 visible series, last 10 % (" + setting + ")").c_str(),
        fmt("%.3f ms/cycle", lastMs), fmt("%.3f ms/cycle (first 10 %%)", firstMs), lastMs / firstMs,
        "≤ 1.2×");
    row(("chart resident memory, end vs after first 10 % (" + setting + ")").c_str(),
        fmt("%.1f MB", rssLast / 1048576), fmt("%.1f MB", rssFirst / 1048576), rssLast / rssFirst,
        "≤ 1.2×");
    row(("chart heap in use, end vs after first 10 % (" + setting + ")").c_str(),
        fmt("%.1f MB", heapLast / 1048576), fmt("%.1f MB", heapFirst / 1048576),
        heapLast / heapFirst, "≤ 1.2×");
    row("chart points held per series at the end", fmt("%.0f points", held),
        fmt("%.0f points sent", double(cycles)), double(held) / double(cycles),
        "bounded (≤ 1.25 × window of points)");

    trafficLog();
    return 0;
}
