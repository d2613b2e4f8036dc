// Map execution: the spaces and byte orders a run builds from a map, the memory its traffic log
// takes per row, the chart updater on a clock of the test's; then the window offscreen: rows and
// series, the cycle over the spaces, Set Value with the rules that turn text into values,
// editing one value, teardown while a tick runs, exact traffic and counters on a scripted line,
// and a run against the device simulator with faults.

#include "Cases.h"
#include "Child.h"
#include "DevsimProcess.h"
#include "FakeModbusTransport.h"
#include "Files.h"
#include "PtyPeer.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"
#include "comm/ModbusSpace.h"
#include "components/ui/ReportListView.h"
#include "device/Commands.h"
#include "device/ModbusMap.h"
#include "document/CnlImage.h"
#include "execution/MapRun.h"
#include "execution/PlotScale.h"
#include "execution/TrafficLog.h"
#include "execution/ui/ModbusMapExecUnit.h"
#include "execution/ui/TimePlot.h"
#include "execution/ui/UpdateChart.h"
#include "settings/AppOptions.h"

#include <QtTest>
#include <QtWidgets>

using namespace zorvan;
using namespace zorvan::test;

namespace {

// A map of these value type codes: channel i is device channel 10 + i, named "CH<i>".
std::unique_ptr<TChannelImage> channelMap(const QList<int>& types, quint32 options = 0) {
    auto image = std::make_unique<TChannelImage>();
    image->Options = options;
    for (int i = 0; i < types.size(); ++i) {
        TChannelItem* item = image->Map()->Add();
        item->Channel = 10 + i;
        item->ParamType = types[i];
        item->TagName = QStringLiteral("CH%1").arg(i);
    }
    return image;
}

// A window on a connection module of its own, on fresh settings; a run opened on the fake
// device talks to a bank of registers instead of the line.
struct Rig {
    TempConfigHome home;
    ScriptedPrompter prompter;
    std::unique_ptr<TOptions> options = std::make_unique<TOptions>();
    std::unique_ptr<TModbusMapConn> conn;
    FakeModbusTransport fake;
    std::unique_ptr<TModbusMapExecDlg> dlg;

    explicit Rig(int timeoutMs = 300) {
        options->setSaveOnDestroy(false);
        options->regprmRxTimeout->setValue(timeoutMs);
        conn = std::make_unique<TModbusMapConn>(*options);
        dlg = std::make_unique<TModbusMapExecDlg>(conn.get());
    }
    bool openOnFake(const TChannelImage& image) {
        if (!dlg->OpenRun(image))
            return false;
        for (const auto& space : dlg->Run()->Spaces())
            space->setModbusTransport(&fake);
        return true;
    }
    // A column of the value list; Values by default.
    QString column(int c = TValueListModel::ValueColumn) const {
        return cells(dlg->ValueModel(), 0, -1, c, c);
    }
    void check(int row, bool on) {
        dlg->ValueModel()->setData(dlg->ValueModel()->index(row, 0),
                                   on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    }
    TPlotSeries* series(int row) const { return dlg->ValueModel()->Profile(row).Series; }
    QList<QPointF> points(int row) const { return series(row)->points(); }
    int chartSeries() const { return int(child<TTimePlot>(*dlg, "Chart")->series().size()); }
    QAction* action(const char* name) const { return child<QAction>(*dlg, name); }
    // Start, Stop, SaveToFlash and Copy enabled, then the request and error counters.
    QString state() const {
        QString s;
        for (const char* name : {"actStart", "actStop", "actS2F", "actCopyToClipboard"})
            s += action(name)->isEnabled() ? '1' : '0';
        return s + QStringLiteral(" %1 %2").arg(child<QLineEdit>(*dlg, "RequestCountEdit")->text(),
                                                child<QLineEdit>(*dlg, "ErrorCountEdit")->text());
    }
};

// Two visible series on the chart updater's axes, the updater on the test's clock, and a script
// of steps separated by blanks: "s=v" AddPoint(series s, v), "+ms" the clock moves on, "hs" and
// "vs" hide and show series s, "C" and "R" ClearChart while stopped and while running, "us"
// UpdateInterval of s seconds, "*n,ms" n cycles of both series ms apart.
struct ChartRig {
    TTimePlot chart;
    TPlotSeries* series[2];
    TUpdateChart updater;
    qint64 now = 1700000000000;

    ChartRig() {
        for (TPlotSeries*& s : series) {
            s = new TPlotSeries;
            chart.addSeries(s);
        }
        updater.setChart(&chart);
        updater.Now = [this] { return QDateTime::fromMSecsSinceEpoch(now); };
    }
    void run(const QString& script) {
        for (const QString& step : script.split(u' ', Qt::SkipEmptyParts)) {
            const QChar op = step[0];
            const int n = step.mid(1).section(u',', 0, 0).toInt();
            if (op == u'+')
                now += n;
            else if (op == u'h' || op == u'v')
                series[n]->setVisible(op == u'v');
            else if (op == u'C' || op == u'R')
                updater.ClearChart(op == u'R');
            else if (op == u'u')
                updater.setUpdateInterval(n);
            else if (op == u'*') // n cycles of the value 5 for both series, ms apart
                for (int i = 0; i < n; ++i)
                    run(QStringLiteral("+%1 0=5 1=5").arg(step.section(u',', 1)));
            else
                updater.AddPoint(series[step.section(u'=', 0, 0).toInt()],
                                 step.section(u'=', 1).toDouble());
        }
    }
};

struct Run {
    QList<int> pattern; // repeated
    int repeat;
    quint32 options;
    const char *spaces, *orders; // per space parameters@base:registers; the first five's orders
};
struct Chart {
    const char *steps, *shown; // shown: the vertical axis, then the points of series 0 and 1
};
struct Spans {
    QList<QPointF> points;
    int first, columns;
    QList<ColumnSpan> spans;
};
struct Look {
    int ticks;
    QSet<int> silent;  // transactions without a reply
    const char* looks; // rows 0 and 20: '-' no value, 'g' greyed, 'v' live; then chart points
};
struct SetValue {
    bool doubleClick; // else Enter in the list
    QList<int> selected;
    const char *text, *writes, *values; // text null: the box cancelled; values after a tick
};

} // namespace

class tst_ModbusMapExecDlg : public QObject {
    Q_OBJECT
private slots:
    // Read at 16384 on, whatever the document's base address, at most 20 parameters a space;
    // Options bits 0-1 order the two-register values, bit 2 the one-register ones.
    void run_data() {
        // clang-format off
        addCases<Run>({
            {"45 Int", {{0}, 45, 0, "20@16384:20 20@16404:20 5@16424:5", nullptr}},
            {"45 of every type", {{0, 1, 2, 3, 4}, 9, 0, "20@16384:32 20@16416:32 5@16448:8", nullptr}},
            {"21 Long", {{2}, 21, 0, "20@16384:40 1@16424:2", nullptr}},
            {"unknown types skipped", {{0, 5, 0, -1}, 11, 0, "20@16384:20 2@16404:2", nullptr}},
            {"only unknown types", {{5, 65535}, 1, 0, "", nullptr}},
            {"options 0", {{0, 1, 2, 3, 4}, 1, 0, "5@16384:8", "3210 3210 3210 3210 3210"}},
            {"options 2", {{0, 1, 2, 3, 4}, 1, 2, "5@16384:8", "3210 3210 1032 1032 1032"}},
            {"options 3", {{0, 1, 2, 3, 4}, 1, 3, "5@16384:8", "3210 3210 2301 2301 2301"}},
            {"options 4", {{0, 1, 2, 3, 4}, 1, 4, "5@16384:8", "0123 0123 3210 3210 3210"}},
            {"options 5 (w:01 - dw:0123)", {{0, 1, 2, 3, 4}, 1, 5, "5@16384:8", "0123 0123 0123 0123 0123"}},
            {"only bits 0-2 count", {{0, 1, 2, 3, 4}, 1, 0xFFFFFFF9u, "5@16384:8", "3210 3210 0123 0123 0123"}},
        });
        // clang-format on
    }
    void run() {
        QFETCH(Run, c);
        QList<int> types;
        for (int i = 0; i < c.repeat; ++i)
            types += c.pattern;
        auto image = channelMap(types, c.options);
        image->BaseAdr = 100;
        TMapRun run(*image, nullptr, 7);
        QStringList spaces, orders;
        for (const auto& space : run.Spaces()) {
            spaces << QStringLiteral("%1@%2:%3")
                          .arg(space->Params().Count())
                          .arg(space->BaseAddress())
                          .arg(space->RegisterCount());
            QVERIFY(space->DeviceAddress() == 7 && space->RefreshIAC());
        }
        for (const TModbusParameter* p : run.Parameters())
            orders << QStringList{"3210", "0123", "1032", "2301"}[int(p->ByteOrder())];
        QCOMPARE(spaces.join(u' '), QString(c.spaces));
        QCOMPARE(orders.join(u' ').left(c.orders ? 24 : 0), QString(c.orders));
    }

    // The log has no size limit: its rows are kept packed, whatever the build's allocator: the
    // bytes of the packets plus one word a row, with room for the buffers' growth.
    void trafficMemoryPerRow() {
        TrafficLog log;
        for (int i = 0; i < 100000; ++i)
            log.append(i % 2 == 0, QByteArray(85, char(i)));
        const double perRow = double(log.memoryBytes()) / 100000;
        QVERIFY2(perRow >= 85 + 8 && perRow <= 2.0 * (85 + 8) + 4,
                 qPrintable(QString::number(perRow)));
        QCOMPARE(log.bytes(99999), QByteArray(85, char(99999)));
        log.clear();
        QCOMPARE(log.memoryBytes(), std::size_t(0));
    }

    void chart_data() {
        // clang-format off
        addCases<Chart>({
            {"the first call only clears", {"0=5 1=6", "5.99399 6.00601 0 1"}},
            {"first value 1000", {"0=0 1=1000", "998.99999 1001.00001 0 1"}},
            {"first value 0", {"0=0 1=0", "-0.00001 0.00001 0 1"}},
            {"first value -1000: ends in order", {"0=0 1=-1000", "-1000.99999 -999.00001 0 1"}},
            {"first value -0.01: no span, widened", {"0=0 1=-0.01", "-0.01001 -0.00999 0 1"}},
            {"a value within leaves the axis", {"0=0 1=1000 +20 1=1000.5", "998.99999 1001.00001 0 2"}},
            {"a larger one moves the maximum", {"0=0 1=1000 +20 1=1500", "998.99999 1500.00000 0 2"}},
            {"a smaller one moves the minimum", {"0=0 1=1000 +20 1=900", "900.00000 1001.00001 0 2"}},
            {"hidden: points, not the axis", {"h1 0=0 0=10 1=5000", "9.98999 10.01001 1 1"}},
            {"hidden at the clear, shown", {"h1 0=0 0=10 1=5000 v1 +20 1=2000", "1997.99999 2002.00001 1 2"}},
            {"cleared while stopped: at once", {"0=0 0=100 1=100 +20 0=101 C +20 0=-7", "-7.00699 -6.99301 1 0"}},
            {"cleared while running: next call", {"0=0 0=100 1=100 R +20 0=-7 1=-7", "-7.00699 -6.99301 0 1"}},
            {"values that are not finite", {"0=0 0=nan 0=inf 0=-inf 0=1000", "998.99999 1001.00001 1 0"}},
            // Points older than the axis shows go, in batches, one before the window kept: 112 to
            // 126 points at 100 ms (the last 11 s, and 1.4 s more before the next batch goes).
            {"points dropped at 100 ms", {"h1 0=0 *300,100", "4.99499 5.00501 120 120"}},
            {"points dropped at 7 s", {"h1 0=0 *40,7000", "4.99499 5.00501 3 3"}},
            {"update interval of 2 s", {"u2 0=0 0=1 +500 0=2 1=2 +1500 0=3 1=3", "0.99899 3.00000 2 0"}},
        });
        // clang-format on
    }
    void chart() {
        QFETCH(Chart, c);
        ChartRig rig;
        rig.run(QString::fromLatin1(c.steps));
        rig.updater.flush();
        QString shown = QStringLiteral("%1 %2")
                            .arg(rig.chart.valueMin(), 0, 'f', 5)
                            .arg(rig.chart.valueMax(), 0, 'f', 5);
        for (TPlotSeries* s : rig.series)
            shown += u' ' + QString::number(s->count());
        QCOMPARE(shown, QString(c.shown));
        // The time axis ends at the newest point and starts TimeInterval seconds before it.
        const QDateTime last = QDateTime::fromMSecsSinceEpoch(rig.now);
        QCOMPARE(std::pair(rig.chart.timeMin(), rig.chart.timeMax()),
                 std::pair(last.addSecs(-10), last));
    }

    // The rows each pixel column covers, on a frame where time t and value v fall on pixel
    // (t, 10 - v): a flat stretch one or two rows a column, a steep one the rows between its
    // ends, the point before the window reaching the left edge, columns outside left out, a
    // lone point its own pixel, a value far off the axis a row still countable.
    void plotSpans_data() {
        // clang-format off
        addCases<Spans>({
            {"flat, then steep", {{{0.5, 9.5}, {3.5, 6.5}, {3.7, 0.8}}, 0, 5, {{0, 1}, {1, 2}, {2, 3}, {3, 9}, {}}}},
            {"columns outside left out", {{{0.5, 9.5}, {3.5, 6.5}, {3.7, 0.8}}, 2, 1, {{2, 3}}}},
            {"from the point before", {{{-100, 5}, {5, 5}}, 0, 7, {{5, 5}, {5, 5}, {5, 5}, {5, 5}, {5, 5}, {5, 5}, {}}}},
            {"a lone point", {{{2.5, 2.1}}, 0, 3, {{}, {}, {7, 7}}}},
            {"far off the axis", {{{1.5, 1e300}}, 1, 1, {{-1000000, -1000000}}}},
        });
        // clang-format on
    }
    void plotSpans() {
        QFETCH(Spans, c);
        QCOMPARE(SeriesSpans().spans(c.points, quint64(c.points.size()), 0,
                                     {QRectF(0, 0, 10, 10), 0, 10, 0, 10}, c.first, c.columns),
                 c.spans);
    }

    // Redraw after redraw, the spans kept are those drawn afresh: points added a few at a time
    // as the plot scrolls by fractions of a column, old ones dropped, the value range changed.
    void plotSpansKept() {
        SeriesSpans kept;
        QList<QPointF> points;
        QList<ColumnSpan> shown;
        for (quint64 appended = 0; appended < 560;) {
            for (int i = 0; i < 7; ++i, ++appended)
                points.append(
                    {10.0 * double(appended), 25 + 20 * std::sin(0.05 * double(appended))});
            const double to = points.back().x(), from = to - 1000;
            while (points.first().x() < from - 200)
                points.removeFirst();
            const PlotFrame frame{QRectF(3.4, 0, 100, 50), from, to, appended < 300 ? 0.0 : -9.0,
                                  50};
            shown = kept.spans(points, appended, 0, frame, 3, 101);
            QCOMPARE(shown, SeriesSpans().spans(points, appended, 0, frame, 3, 101));
        }
        QVERIFY(std::count(shown.begin(), shown.end(), ColumnSpan()) < 3);
    }

    // The plot as drawn: a visible series at mid-range is a line across the middle of the plot,
    // a hidden one is not drawn.
    void plotPicture() {
        ChartRig rig;
        rig.chart.resize(300, 200);
        rig.series[0]->setPen(QPen(Qt::red, 2));
        rig.series[1]->setPen(QPen(Qt::blue, 2));
        rig.run(QStringLiteral("0=0 1=0 0=0 h1 1=50 *120,100"));
        rig.chart.setValueRange(0, 10);
        rig.updater.flush();
        const QImage picture = rig.chart.grab().toImage();
        const QRectF area = rig.chart.plotArea();
        int red = 0, blue = 0;
        for (int x = int(area.left()); x < int(area.right()); ++x)
            for (int y = 0; y < picture.height(); ++y) {
                const QColor colour = picture.pixelColor(x, y);
                red += colour == Qt::red && std::abs(y - area.center().y()) <= 2;
                blue += colour == Qt::blue;
            }
        QVERIFY2(red > 0.9 * area.width() && blue == 0, qPrintable(QString::number(red)));
    }

    void rowsAndCycle() {
        Rig rig;
        // Int Float UInt Long ULong and 40 Int: spaces of 20 (23 registers), 20 and 5.
        auto image = channelMap(QList<int>{0, 4, 1, 2, 3} + QList<int>(40, 0));
        image->Map()->Items(1)->TagName = QStringLiteral("TEMP") + QString(8, QChar(0));
        QVERIFY(rig.openOnFake(*image));
        QCOMPARE(rig.chartSeries(), 45);
        QCOMPARE(cells(rig.dlg->ValueModel(), 0, 1),
                 QStringLiteral("11|CH0||4000|12|TEMP||4001/4002"));
        QCOMPARE(rig.column(TValueListModel::OffsetColumn).section(u'|', 0, 7),
                 QStringLiteral("4000|4001/4002|4003|4004/4005|4006/4007|4008|4009|400A"));
        rig.fake.registers = {{16384, 0xFFFF}, {16385, 0x4148}, {16387, 0xFFFF}, {16388, 0xFFFF},
                              {16389, 0xFFFE}, {16390, 0xFFFF}, {16391, 0xFFFF}, {16431, 44}};
        rig.check(0, true);
        QVERIFY(rig.series(0)->isVisible() && !rig.series(1)->isVisible());
        // The list and the chart change once the last space has been read: no value before.
        for (int tick = 1; tick <= 3; ++tick) {
            QCOMPARE(rig.column(), QString(44, u'|'));
            rig.dlg->ProcessTimerTimer();
        }
        QCOMPARE(rig.fake.described(), (QStringList{"R 16384 23", "R 16407 20", "R 16427 5"}));
        QCOMPARE(rig.column().section(u'|', 0, 4), QStringLiteral("-1|12.500|65535|-2|4294967295"));
        QCOMPARE(rig.column().section(u'|', 44), QStringLiteral("44"));
        QCOMPARE(rig.state(), QStringLiteral("1000 3 0"));
        // Hidden rows get points too, the 32-bit values plotted as listed.
        QCOMPARE(rig.points(0).size(), 1);
        QCOMPARE(rig.points(3)[0].y(), -2.0);
        QCOMPARE(rig.points(4)[0].y(), 4294967295.0);
        rig.action("actClearChart")->trigger(); // while stopped: at once
        QCOMPARE(rig.points(4).size(), 0);
        rig.check(0, false);
        QVERIFY(!rig.series(0)->isVisible());
        rig.dlg->CloseRun();
        QVERIFY(rig.dlg->ValueModel()->Count() == 0 && rig.chartSeries() == 0);
        QVERIFY(!rig.dlg->OpenRun(*channelMap({5, 6}))); // nothing to poll
        // A new run's first value sets the vertical axis afresh, not within the last run's.
        const auto fresh = channelMap({0});
        QVERIFY(rig.openOnFake(*fresh));
        rig.check(0, true);
        rig.fake.registers[16384] = 100;
        rig.dlg->ProcessTimerTimer();
        QCOMPARE(child<TTimePlot>(*rig.dlg, "Chart")->valueMin(), 99.89999);
    }

    // 25 Int channels in two spaces: a value shows once its space was read and a cycle ended,
    // greyed while the last read of its space failed.
    void valueLook_data() {
        // clang-format off
        addCases<Look>({
            {"a space never read: no value", {2, {0}, "-0v1"}},
            {"the last space failing: no cycle, no value", {2, {1}, "-0-0"}},
            {"read, then failed", {3, {2}, "g1v1"}},
            {"the last space failed after a cycle", {4, {3}, "v1g1"}},
            {"read again", {5, {2}, "v2v2"}},
        });
        // clang-format on
    }
    void valueLook() {
        QFETCH(Look, c);
        Rig rig;
        QVERIFY(rig.openOnFake(*channelMap(QList<int>(25, 0))));
        rig.fake.silentAt = c.silent;
        for (int tick = 0; tick < c.ticks; ++tick)
            rig.dlg->ProcessTimerTimer();
        QString looks;
        for (int row : {0, 20}) {
            const QModelIndex value = rig.dlg->ValueModel()->index(row, 2);
            looks += value.data().toString().isEmpty()          ? '-'
                     : value.data(Qt::ForegroundRole).isValid() ? 'g'
                                                                : 'v';
            looks += QString::number(rig.series(row)->count());
        }
        QCOMPARE(looks, QString(c.looks));
    }

    void setValue_data() {
        // Int Float ULong UInt at 16384, 16385, 16387 and 16389, the Float showing 12.500; typed
        // under a locale whose decimal separator is a comma. Only changed values are written.
        // clang-format off
        addCases<SetValue>({
            {"three rows", {false, {0, 1, 3}, "7", "W 16384 1|W 16385 2|W 16389 1", "7|7.000|0|7"}},
            {"no row selected", {false, {}, "7", "", "0|12.500|0|0"}},
            {"cancelled", {false, {0, 1}, nullptr, "", "0|12.500|0|0"}},
            {"decimal comma: not an integer", {false, {0, 1, 2, 3}, "2,5", "W 16385 2", "0|2.500|0|0"}},
            {"decimal point", {false, {0, 1, 2, 3}, "-0.25", "W 16385 2", "0|-0.250|0|0"}},
            {"abc: Float 0, integers kept", {false, {0, 1, 2, 3}, "abc", "W 16385 2", "0|0.000|0|0"}},
            {"16-bit: the low 16 bits", {false, {0, 1, 2, 3}, "70000", "W 16384 1|W 16385 2|W 16387 2|W 16389 1", "4464|70000.000|70000|4464"}},
            {"-1: not a ULong", {false, {0, 1, 2, 3}, "-1", "W 16384 1|W 16385 2|W 16389 1", "-1|-1.000|0|65535"}},
            {"past 31 bits: Float and ULong", {false, {0, 1, 2, 3}, "2147483648", "W 16385 2|W 16387 2", "0|2147483648.000|2147483648|0"}},
            {"the largest ULong", {false, {0, 1, 2, 3}, "4294967295", "W 16385 2|W 16387 2", "0|4294967296.000|4294967295|0"}},
            {"past 32 bits: Float only", {false, {0, 1, 2, 3}, "4294967296", "W 16385 2", "0|4294967296.000|0|0"}},
            {"blanks around", {false, {0, 1, 2, 3}, " 42 ", "W 16384 1|W 16385 2|W 16387 2|W 16389 1", "42|42.000|42|42"}},
            {"double click: the first selected row", {true, {2, 1}, "-3,25", "W 16385 2", "0|-3.250|0|0"}},
            {"double click, no row selected", {true, {}, "1", "", "0|12.500|0|0"}},
        });
        // clang-format on
    }
    void setValue() {
        QFETCH(SetValue, c);
        const QLocale saved;
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        Rig rig;
        const auto image = channelMap({0, 4, 3, 1}); // the run refers to its channels
        QVERIFY(rig.openOnFake(*image));
        rig.fake.registers[16385] = 0x4148;
        rig.dlg->ProcessTimerTimer();
        rig.fake.requests.clear();
        auto* list = child<TReportListView>(*rig.dlg, "ValueLV");
        for (int row : c.selected)
            list->selectionModel()->select(rig.dlg->ValueModel()->index(row, 0),
                                           QItemSelectionModel::Select | QItemSelectionModel::Rows);
        rig.prompter.texts.push_back(c.text ? std::optional(QString(c.text)) : std::nullopt);
        if (c.doubleClick)
            rig.dlg->LVDblClick();
        else
            QTest::keyClick(list, Qt::Key_Return);
        // A double click starts from the row's value; Set Value from nothing.
        const bool asked = !c.doubleClick || !c.selected.isEmpty();
        QCOMPARE(rig.prompter.texts_of("input").join(u','),
                 QString(!asked          ? ""
                         : c.doubleClick ? "Input|CH1"
                                         : "Input|Value"));
        QCOMPARE(rig.prompter.inputInitials.join(u','),
                 QString(c.doubleClick && asked ? "12.500" : ""));
        // Written with the next refresh of the space, shown after it.
        QCOMPARE(rig.column(), QStringLiteral("0|12.500|0|0"));
        rig.dlg->ProcessTimerTimer();
        QStringList sent = rig.fake.described();
        QCOMPARE(sent.takeLast(), QStringLiteral("R 16384 6"));
        QCOMPARE(sent.join(u'|'), QString(c.writes));
        QCOMPARE(rig.column(), QString(c.values));
        QLocale::setDefault(saved);
    }

    // A close handled while the chart lets events run inside a tick frees nothing the tick
    // still uses (AddressSanitizer would see it); the teardown follows when the tick returns.
    void teardownWaitsForTick_data() {
        QTest::addColumn<QString>("how");
        QTest::newRow("Exit") << "exit";
        QTest::newRow("close button") << "close";
        QTest::newRow("Exit and the run's teardown") << "exit+run";
    }
    void teardownWaitsForTick() {
        QFETCH(QString, how);
        Rig rig;
        TModbusMapExecDlg& dlg = *rig.dlg;
        QVERIFY(rig.openOnFake(*channelMap({4, 4, 4})));
        dlg.show();
        rig.check(1, true);
        rig.check(2, true);
        QString during;
        QTimer::singleShot(0, &dlg, [&] {
            if (how == "close")
                dlg.close();
            else
                dlg.actExitExecute();
            if (how == "exit+run")
                dlg.CloseRun();
            during = QStringLiteral("%1 %2 %3")
                         .arg(dlg.Run() && dlg.Run()->InTick())
                         .arg(dlg.ValueModel()->Count())
                         .arg(rig.chartSeries());
        });
        dlg.ProcessTimerTimer();
        QCOMPARE(during, QStringLiteral("1 3 3"));
        QVERIFY(!dlg.isVisible() && dlg.ValueModel()->Count() == 0 && rig.chartSeries() == 0);
        QCOMPARE(dlg.Run() == nullptr, how == "exit+run");
    }

    // One Float channel at address 1; checksums computed independently (CRC-16/MODBUS).
    void trafficOnScriptedLine() {
        Rig rig(80);
        PtyPeer peer;
        QVERIFY(peer.isValid());
        const QByteArray request = PtyPeer::hex("01 03 40 00 00 02 D1 CB");
        const QByteArray reply = PtyPeer::hex("01 03 04 41 48 00 00 6E 19");
        // Answered twice, then cut short, spoilt and unanswered.
        peer.expect(request).send(reply).expect(request).send(reply).expect(request);
        peer.send(reply.left(3)).expect(request).send(PtyPeer::hex("01 03 04 41 48 00 00 6E 18"));
        peer.expect(request).start();
        rig.conn->PortDrv.setPortName(peer.slavePath());
        TModbusMapExecDlg& dlg = *rig.dlg;
        QVERIFY(dlg.OpenRun(*channelMap({4})));
        rig.action("actShowTraffic")->setChecked(true);
        QVERIFY(rig.conn->OpenLink());
        // Recorded: one line per complete cycle, as `zorvanctl poll` prints them.
        const QString csv = rig.home.path() + "/values.csv";
        rig.prompter.fileNames = {csv};
        rig.action("actRecord")->trigger();
        const QTime start = QTime::currentTime();
        dlg.ProcessTimerTimer();
        QCOMPARE(cells(dlg.Traffic(), 0, -1, 1),
                 QStringLiteral("out|01 03 40 00 00 02 D1 CB |in|01 03 04 41 48 00 00 6E 19 "));
        QCOMPARE(rig.column(), QStringLiteral("12.500"));
        // Not shown: nothing is logged, the counters go on.
        rig.action("actShowTraffic")->setChecked(false);
        dlg.ProcessTimerTimer();
        QVERIFY(
            QRegularExpression(
                "^time,CH0\\n(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{3},12\\.500\\n){2}$")
                .match(QString::fromUtf8(readFile(csv)))
                .hasMatch());
        // Shown again: each failed exchange adds a row saying why, the last one once the event
        // loop runs.
        rig.action("actShowTraffic")->setChecked(true);
        for (int tick = 0; tick < 3; ++tick)
            dlg.ProcessTimerTimer();
        QTRY_COMPARE(cells(dlg.Traffic(), 2, -1, 1)
                         .remove(QString::fromLatin1(request.toHex(' ').toUpper() + ' ')),
                     QStringLiteral(
                         "out||error|short reply (3 of 9 bytes)|out||in|01 03 04 41 48 00 00 6E 18 "
                         "|error|bad checksum|out||error|no reply"));
        for (int row = 0; row < dlg.Traffic()->count(); ++row) {
            const QTime time = QTime::fromString(dlg.Traffic()->timeText(row), "hh:mm:ss.zzz");
            QVERIFY(time >= start && time <= QTime::currentTime());
        }
        QVERIFY(peer.wait());
        QCOMPARE(peer.failures(), QStringList());
        QCOMPARE(rig.state(), QStringLiteral("0110 5 3"));
        // Copy puts the selected row's Package on the clipboard, with the hourglass.
        auto* view = child<QTableView>(dlg, "TrafficLV");
        view->selectRow(1);
        QCOMPARE(rig.state(), QStringLiteral("0111 5 3"));
        rig.action("actCopyToClipboard")->trigger();
        QCOMPARE(QGuiApplication::clipboard()->text(),
                 QStringLiteral("01 03 04 41 48 00 00 6E 19 "));
        QVERIFY(rig.prompter.waitCount == 1 && rig.prompter.waitDepth == 0);
        // Save to File writes the rows as shown, a column a tab; a file that cannot be made is
        // told.
        const QString saved = rig.home.path() + "/traffic.txt", bad = rig.home.path() + "/no/t.txt";
        rig.prompter.fileNames = {saved, bad};
        rig.action("actSaveTraffic")->trigger();
        rig.action("actSaveTraffic")->trigger();
        QStringList shown;
        for (int row = 0; row < dlg.Traffic()->count(); ++row)
            shown << cells(dlg.Traffic(), row, row).trimmed().replace(u'|', u'\t');
        QCOMPARE(QString::fromUtf8(readFile(saved)), shown.join(u'\n') + u'\n');
        QVERIFY(rig.prompter.messages().join("").startsWith("Could not save " + bad + ": "));
        // Failure rows are drawn in red.
        dlg.show();
        child<QTabWidget>(dlg, "PageControl")->setCurrentIndex(1);
        const auto reds = [view](int row) {
            const QImage image =
                view->viewport()->grab(view->visualRect(view->model()->index(row, 2))).toImage();
            int n = 0;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    n += image.pixelColor(x, y).red() > 180 && image.pixelColor(x, y).green() < 90;
            return n;
        };
        QVERIFY(QTest::qWaitForWindowExposed(&dlg));
        QVERIFY(reds(3) > 0 && reds(2) == 0);
        // Clear empties the log and keeps the counters.
        rig.action("actClear")->trigger();
        QCOMPARE(dlg.Traffic()->count(), 0);
        QCOMPARE(rig.state(), QStringLiteral("0110 5 3"));
        // The log follows new rows while it shows the last one, else stays where it was put.
        QScrollBar* bar = view->verticalScrollBar();
        const auto log = [&](int rows) {
            for (int i = 0; i < rows; ++i)
                dlg.LogPacket(false, TRequest{});
            QCoreApplication::processEvents();
            return bar->value();
        };
        QVERIFY(log(40) > 0 && bar->value() == bar->maximum());
        bar->setValue(3);
        QCOMPARE(log(5), 3);
        bar->setValue(bar->maximum());
        const int bottom = bar->value();
        QCOMPARE(log(5), bottom + 5);
        // The flash request of the next tick gets no answer either.
        rig.action("actS2F")->trigger();
        dlg.ProcessTimerTimer();
        QCOMPARE(rig.prompter.messages().mid(1), QStringList{"Ошибка при сохранении настроек"});
        // Stop closes the recording; Start after Stop: the counters restart from 0, shown at the
        // next tick.
        rig.action("actStop")->trigger();
        QVERIFY(!rig.action("actRecord")->isChecked());
        rig.action("actStart")->trigger();
        dlg.ProcessTimer().Stop(); // ticked by hand from here
        QCOMPARE(rig.state(), QStringLiteral("0110 6 4"));
        dlg.ProcessTimerTimer();
        QCOMPARE(rig.state(), QStringLiteral("0110 1 1"));
        // Start on something that is not a port says why and leaves the window stopped.
        rig.action("actStop")->trigger();
        rig.conn->PortDrv.setPortName(saved);
        rig.action("actStart")->trigger();
        const auto& told = rig.prompter.records.last();
        QCOMPARE(told.text + " | " + told.detail,
                 "Не удалось подключиться к COM-порту | " + saved + ": not a terminal");
        QCOMPARE(rig.state(), QStringLiteral("1000 1 1"));
    }

    // The map goes into the device (its frames logged: the window hooks the transport for
    // every user of the connection), then runs with faults injected after the upload: four
    // replies lost, two spoilt and two from another slave address fail their polls.
    void runAgainstSimulator() {
        if (DevsimProcess::program().isEmpty())
            QSKIP("no simulator in this build");
        Rig rig;
        DevsimProcess sim;
        QVERIFY2(sim.start({"--fail-requests", "90,91,92,93,96:corrupt,97:corrupt,"
                                               "100:wrong-address,101:wrong-address"}),
                 qPrintable(sim.errorText()));
        rig.conn->PortDrv.setPortName(sim.ptyPath());
        // 25 channels, two spaces: the catalogue's ENERGY (Long) and STATE (UInt) in turn.
        auto image = channelMap({});
        for (int i = 0; i < 25; ++i) {
            TChannelItem* item = image->Map()->Add();
            item->ParamType = i % 2 ? 1 : 2;
            item->TagIndex = i % 2 ? 7 : 10;
        }
        rig.action("actShowTraffic")->setChecked(true);
        TUploadCurrMapCmd upload(rig.conn.get());
        upload.setTarget(image.get());
        QVERIFY(upload.Execute());
        QVERIFY(cells(rig.dlg->Traffic(), 0, 0, 1).startsWith("out|01 10 30 02 "));
        QVERIFY2(rig.dlg->Traffic()->count() < 2 * 90, "the faults must come after the upload");

        TModbusMapExecDlg& dlg = *rig.dlg;
        QVERIFY(dlg.OpenRun(*image));
        dlg.show();
        child<TReportListView>(dlg, "ValueLV")->selectAll();
        rig.prompter.texts.push_back(QStringLiteral("4242"));
        dlg.actSetValueExecute();
        rig.action("actStart")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(dlg.Run()->RequestCount >= 60, 20000);
        QTRY_COMPARE_WITH_TIMEOUT(rig.column(), QStringList(25, "4242").join(u'|'), 10000);
        QCOMPARE(dlg.Run()->ErrorCount, 8);
        rig.action("actS2F")->trigger();
        QTRY_COMPARE(rig.prompter.messages(), QStringList{"Данные сохранены"});
        // Closing is refused while running; Esc stops and closes.
        dlg.close();
        QVERIFY(dlg.isVisible());
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(!dlg.isVisible() && !dlg.Running() && rig.chartSeries() == 0);
        // The counters stay for the next opening.
        dlg.CloseRun();
        QVERIFY(rig.state().section(u' ', 1, 1).toInt() >= 60);
        QCOMPARE(rig.state().section(u' ', 2), QStringLiteral("8"));
    }
};

QTEST_MAIN(tst_ModbusMapExecDlg)
#include "tst_ModbusMapExecDlg.moc"
