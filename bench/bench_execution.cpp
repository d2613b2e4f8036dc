// Map execution costs.
//
// 1. One complete cycle of the execution window for a map of 1,000 channels (50 spaces): its
//    UpdateValues (every row shown again, every value handed to the chart) plus the event-loop
//    pass that brings the chart up to date, with the window shown (offscreen). Once with every
//    series hidden, once with 20 of them checked.
// 2. Polling a 20-channel map from the device simulator as `zorvanctl poll` does (the 20 ms
//    tick, the value texts of every complete cycle) for a span of seconds: the CPU time of this
//    process (getrusage) as a share of one core over that span.
//
// Usage: bench_execution [poll seconds (default 60)] [cycles of part 1 (default 200)]

#include "BenchTable.h"
#include "ReadOnce.h"
#include "SimulatorDevice.h"
#include "comm/ProcessTimer.h"
#include "device/Commands.h"
#include "device/ModbusMap.h"
#include "document/CnlImage.h"
#include "execution/MapRun.h"
#include "execution/ValueText.h"
#include "execution/ui/ModbusMapExecUnit.h"
#include "settings/AppOptions.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

using namespace zorvan;

using bench::fmt;
using bench::row;

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n == 0 ? 0.0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// The types in turn, so that spaces hold 1- and 2-register values alike; each channel names a
// tag of its type in the simulator's built-in catalogue.
std::unique_ptr<TChannelImage> mixedMap(int count) {
    static const int tagOfType[5] = {5, 7, 10, 12, 0};
    auto image = std::make_unique<TChannelImage>();
    for (int i = 0; i < count; ++i) {
        TChannelItem* item = image->Map()->Add();
        item->Channel = i;
        item->ParamType = i % 5;
        item->TagIndex = tagOfType[i % 5];
        item->TagName = QStringLiteral("CH%1").arg(i);
    }
    return image;
}

// First: the window's cycle on 1,000 channels whose values change every cycle.
void updateValuesCost(int cycles) {
    auto image = mixedMap(1000);
    TModbusMapExecDlg dlg(nullptr);
    QElapsedTimer clock;
    clock.start();
    if (!dlg.OpenRun(*image)) {
        std::fprintf(stderr, "the run did not open\n");
        return;
    }
    dlg.show();
    QCoreApplication::processEvents();
    const double openMs = double(clock.nsecsElapsed()) / 1e6;
    bench::readEverySpaceOnce(dlg);
    for (int visible : {0, 20}) {
        for (int r = 0; r < visible; ++r)
            dlg.ValueModel()->setData(dlg.ValueModel()->index(r * 50, 0), Qt::Checked,
                                      Qt::CheckStateRole);
        std::vector<double> update;
        std::vector<double> pass;
        for (int c = 0; c < cycles; ++c) {
            // New values in every register image, as a complete cycle of reads would leave:
            // waves of their own per channel, within a bounded range.
            int k = 0;
            for (TModbusParameter* p : dlg.Run()->Parameters())
                SetValueFromText(*p, QString::number(int(1000 * std::sin(0.05 * c + 0.37 * k++))));
            clock.start();
            dlg.UpdateValues();
            update.push_back(double(clock.nsecsElapsed()) / 1e6);
            clock.start();
            QCoreApplication::processEvents();
            pass.push_back(double(clock.nsecsElapsed()) / 1e6);
        }
        const char* which = visible == 0 ? "all series hidden" : "20 series shown";
        const double u = median(update);
        const double t = median(update) + median(pass);
        row(std::string("UpdateValues, 1,000 channels (50 spaces), ") + which, fmt("%.2f ms", u),
            "goal 20 ms", fmt("%.3f", u / 20.0), "< 20 ms per cycle");
        row(std::string("UpdateValues + the event-loop pass that lays out and paints, ") + which,
            fmt("%.2f ms", t), "goal 20 ms", fmt("%.3f", t / 20.0), "informative");
    }
    clock.start();
    dlg.hide();
    dlg.CloseRun();
    QCoreApplication::processEvents();
    const double closeMs = double(clock.nsecsElapsed()) / 1e6;
    row("Opening the window's run for 1,000 channels (rows, series, first paint)",
        fmt("%.0f ms", openMs), "-", "-", "informative");
    row("Closing it (rows and series freed)", fmt("%.0f ms", closeMs), "-", "-", "informative");
}

// Second: 20 channels polled from the simulator for `seconds`.
void pollCpuShare(int seconds) {
    auto image = mixedMap(20);
    bench::SimulatorDevice device(*image);
    if (!device.conn())
        return;
    TModbusMapConn& conn = *device.conn();
    const std::unique_ptr<TMapRun> run = TMapRun::ForConnection(*image, conn);
    long long lines = 0;
    std::size_t textBytes = 0;
    run->OnUpdateValues = [&] {
        QStringList line;
        for (TModbusParameter* p : run->Parameters())
            line << ValueText(*p);
        textBytes += std::size_t(line.join(QLatin1Char(',')).size());
        ++lines;
    };
    TProcessTimer timer;
    timer.setInterval(TMapRun::TickInterval);
    timer.OnTimer = [&] { run->Tick(); };
    if (!conn.OpenLink()) {
        std::fprintf(stderr, "the port did not open\n");
        return;
    }
    QElapsedTimer wall;
    const double cpu0 = bench::processCpuSeconds();
    wall.start();
    timer.Start();
    QTimer::singleShot(seconds * 1000, [] { QCoreApplication::exit(0); });
    QCoreApplication::exec();
    const double elapsed = double(wall.nsecsElapsed()) / 1e9;
    const double cpu = bench::processCpuSeconds() - cpu0;
    timer.Stop();
    conn.CloseLink();

    const double share = 100.0 * cpu / elapsed;
    row(fmt("CPU share polling 20 channels from zorvan-devsim, %.0f s", elapsed),
        fmt("%.2f %% of one core", share), "goal 2 %", fmt("%.2f", share / 2.0), "<= 2 %");
    row("Complete cycles per second (20 ms tick, one space)",
        fmt("%.1f /s", double(lines) / elapsed), "50 /s (tick alone)",
        fmt("%.2f", double(lines) / elapsed / 50.0), "informative");
    std::fprintf(stderr, "requests %d, errors %d, lines %lld (%zu characters)\n", run->RequestCount,
                 run->ErrorCount, lines, textBytes);
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    const int cycles = argc > 2 ? std::max(1, std::atoi(argv[2])) : 200;
    updateValuesCost(cycles);
    pollCpuShare(seconds);
    return 0;
}
