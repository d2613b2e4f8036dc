#include "Child.h"
// The map execution window driven offscreen: its rows and series, the cycle over the spaces,
// value editing, the traffic log and counters, closing and Exit, teardown while a tick runs,
// exact traffic on a scripted line, and whole runs against the device simulator with faults.

#include "comm/ModbusSpace.h"
#include "components/ui/ReportListView.h"
#include "device/Commands.h"
#include "device/ModbusMap.h"
#include "execution/MapRun.h"
#include "execution/TrafficLog.h"
#include "execution/ui/ModbusMapExecUnit.h"
#include "execution/ui/UpdateChart.h"
#include "settings/AppOptions.h"

#include "ChannelMaps.h"
#include "DevsimProcess.h"
#include "FakeModbusTransport.h"
#include "ModalScript.h"
#include "PtyPeer.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"

#include <QClipboard>
#include <QDir>
#include <QGuiApplication>
#include <QLineEdit>
#include <QTabWidget>
#include <QTableView>
#include <QToolBar>
#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QLineSeries>
#include <QtTest>
#include <memory>

using namespace zorvan;
using zorvan::test::channelMap;
using zorvan::test::child;
using zorvan::test::DevsimProcess;
using zorvan::test::FakeModbusTransport;
using zorvan::test::ModalScript;
using zorvan::test::PtyPeer;
using zorvan::test::ScriptedPrompter;
using zorvan::test::TempConfigHome;

namespace {

// A window on a connection module of its own, built on fresh settings.
struct Rig {
    TempConfigHome home;
    ScriptedPrompter prompter;
    std::unique_ptr<TOptions> options;
    std::unique_ptr<TModbusMapConn> conn;
    std::unique_ptr<TModbusMapExecDlg> dlg;
    FakeModbusTransport fake;

    explicit Rig(int timeoutMs = 200, int address = 1) {
        options = std::make_unique<TOptions>();
        options->setSaveOnDestroy(false);
        options->regprmRxTimeout->setValue(timeoutMs);
        options->regDeviceAddress->setValue(address);
        conn = std::make_unique<TModbusMapConn>(*options);
        dlg = std::make_unique<TModbusMapExecDlg>(conn.get());
    }
    ~Rig() {
        // The window before the connection it hooks.
        dlg.reset();
        conn.reset();
    }
    // Opens a run whose spaces talk to the fake device instead of the line.
    bool openOnFake(const TChannelImage& image) {
        if (!dlg->OpenRun(image))
            return false;
        for (const auto& space : dlg->Run()->Spaces())
            space->setModbusTransport(&fake);
        return true;
    }
    QString cell(int row, int column) const {
        return dlg->ValueModel()->index(row, column).data().toString();
    }
    QStringList column(int column) const {
        QStringList texts;
        for (int row = 0; row < dlg->ValueModel()->Count(); ++row)
            texts << cell(row, column);
        return texts;
    }
    void check(int row, bool on) {
        dlg->ValueModel()->setData(dlg->ValueModel()->index(row, 0),
                                   on ? Qt::Checked : Qt::Unchecked, Qt::CheckStateRole);
    }
    void select(const QList<int>& rows) {
        child<TReportListView>(dlg.get(), "ValueLV")->clearSelection();
        for (int row : rows)
            child<TReportListView>(dlg.get(), "ValueLV")
                ->selectionModel()
                ->select(dlg->ValueModel()->index(row, 0),
                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
    QLineSeries* series(int row) const { return dlg->ValueModel()->Profile(row).Series; }
    int points(int row) const { return int(dlg->UpdateChart()->points(series(row)).size()); }
    QStringList traffic() const {
        QStringList rows;
        for (int i = 0; i < dlg->Traffic()->count(); ++i)
            rows << dlg->Traffic()->directText(i) + " " + dlg->Traffic()->packageText(i);
        return rows;
    }
    // Parameters of the catalogue tags the map below names, as the simulator serves them.
    static std::unique_ptr<TChannelImage> catalogueMap(quint32 options) {
        // Built-in catalogue: 0 TEMP1 Float, 5 DELTA_T Int, 7 STATE UInt, 10 ENERGY Long,
        // 12 PULSES ULong, and two Float ones whose values move: 1 TEMP2, 19 VOLTAGE.
        struct Entry {
            int tag, channel, type;
            const char* name;
        };
        const Entry entries[] = {{0, 0, 4, "TEMP1"},    {5, 5, 0, "DELTA_T"},  {7, 7, 1, "STATE"},
                                 {10, 10, 2, "ENERGY"}, {12, 12, 3, "PULSES"}, {1, 1, 4, "TEMP2"},
                                 {19, 19, 4, "VOLTAGE"}};
        auto image = std::make_unique<TChannelImage>();
        image->Options = options;
        for (const Entry& e : entries) {
            TChannelItem* item = image->Map()->Add();
            item->TagIndex = e.tag;
            item->Channel = e.channel;
            item->ParamType = e.type;
            item->TagName = QString::fromLatin1(e.name);
        }
        return image;
    }
};

QString outputPath(const QString& name) {
    QDir().mkpath(QStringLiteral(ZORVAN_TEST_OUTPUT_DIR));
    return QStringLiteral(ZORVAN_TEST_OUTPUT_DIR) + "/" + name;
}

} // namespace

class tst_ModbusMapExecDlg : public QObject {
    Q_OBJECT
private slots:
    void windowAtCreation();
    void rowsAndSeries();
    void cycleOfThreeSpaces();
    void longShownSignedPlottedUnsigned();
    void checkBoxShowsSeries();
    void setValue_data();
    void setValue();
    void editOneValue();
    void unknownTypesSkipped();
    void closeRefusedWhileRunning();
    void teardownWaitsForTick_data();
    void teardownWaitsForTick();
    void trafficOfOneFloatChannel();
    void commandsLoggedWhenShown();
    void executeMapAgainstSimulator();
    void faultsCountedAndRecovered();
};

void tst_ModbusMapExecDlg::windowAtCreation() {
    Rig rig;
    TModbusMapExecDlg& dlg = *rig.dlg;
    QCOMPARE(dlg.windowTitle(), QString("Modbus Map"));
    QCOMPARE(dlg.size(), QSize(927, 508));
    QStringList tools;
    for (QAction* a : child<QToolBar>(dlg, "ToolBar")->actions())
        tools << (a->isSeparator() ? QString("|") : a->text());
    QCOMPARE(tools, QStringList({"&Start", "S&top", "|", "&ClearChart", "|", "SaveToFlash"}));
    QCOMPARE(child<QAction>(dlg, "actS2F")->toolTip(),
             QString("Сохранить настройки в Flash-память"));
    QCOMPARE(child<QWidget>(dlg, "GradientBand")->height(), 26);
    QCOMPARE(child<QTabWidget>(dlg, "PageControl")->tabText(0), QString("Карта регистров"));
    QCOMPARE(child<QTabWidget>(dlg, "PageControl")->tabText(1), QString("Трафик"));
    QStringList headers;
    for (int c = 0; c < 4; ++c)
        headers << dlg.ValueModel()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, QStringList({"Channel", "Параметр", "Value", "Offset"}));
    QCOMPARE(child<TReportListView>(dlg, "ValueLV")->columnWidth(1), 200);
    QCOMPARE(child<QTableView>(dlg, "TrafficLV")->columnWidth(1), 450);
    QCOMPARE(child<QLineEdit>(dlg, "RequestCountEdit")->text(), QString("0"));
    QCOMPARE(child<QLineEdit>(dlg, "ErrorCountEdit")->text(), QString("0"));
    QVERIFY(child<QAction>(dlg, "actShowTraffic")->isCheckable() &&
            !child<QAction>(dlg, "actShowTraffic")->isChecked());
    // Port closed: only Start of the run actions; nothing to copy.
    QVERIFY(child<QAction>(dlg, "actStart")->isEnabled());
    QVERIFY(!child<QAction>(dlg, "actStop")->isEnabled() &&
            !child<QAction>(dlg, "actS2F")->isEnabled());
    QVERIFY(!child<QAction>(dlg, "actCopyToClipboard")->isEnabled());
    QVERIFY(child<QAction>(dlg, "actClearChart")->isEnabled());
    QCOMPARE(ModbusMapExecDlg(), &dlg);
}

void tst_ModbusMapExecDlg::rowsAndSeries() {
    Rig rig;
    auto image = channelMap(QList<int>{0, 4, 1, 2, 3, 4, 4, 4, 4, 4, 4, 0}, 0);
    image->Map()->Items(1)->TagName = QString("TEMP") + QString(8, QChar(0));
    QVERIFY(rig.openOnFake(*image));
    QCOMPARE(rig.dlg->ValueModel()->Count(), 12);
    QCOMPARE(child<QChartView>(rig.dlg.get(), "ChartView")->chart()->series().size(), 12);
    QCOMPARE(rig.column(0).mid(0, 3), QStringList({"11", "12", "13"}));
    // Zero padding of device names is not shown.
    QCOMPARE(rig.cell(1, 1), QString("TEMP"));
    QCOMPARE(rig.series(1)->name(), QString("TEMP"));
    QCOMPARE(rig.column(3).mid(0, 4), QStringList({"4000", "4001/4002", "4003", "4004/4005"}));
    QCOMPARE(rig.cell(1, 2), QString("0.000"));
    QCOMPARE(rig.dlg->ValueModel()->index(0, 2).data(Qt::TextAlignmentRole).toInt(),
             int(Qt::AlignCenter));
    // Colours cycle through ten; every series hidden and every row unchecked at first.
    const QList<QColor> expected{Qt::red,
                                 Qt::blue,
                                 QColor(0, 128, 0),
                                 QColor(128, 128, 128),
                                 Qt::black,
                                 QColor(128, 0, 0),
                                 QColor(0, 0, 128),
                                 QColor(128, 0, 128),
                                 QColor(0, 128, 128),
                                 QColor(255, 0, 255),
                                 Qt::red,
                                 Qt::blue};
    for (int row = 0; row < 12; ++row) {
        QCOMPARE(rig.series(row)->pen().color(), expected[row]);
        QCOMPARE(rig.series(row)->pen().width(), 2);
        QVERIFY(!rig.series(row)->isVisible());
        QVERIFY(!rig.dlg->ValueModel()->Checked(row));
    }
    rig.dlg->CloseRun();
    QCOMPARE(rig.dlg->ValueModel()->Count(), 0);
    QCOMPARE(child<QChartView>(rig.dlg.get(), "ChartView")->chart()->series().size(), 0);
    QVERIFY(rig.dlg->Run() == nullptr);
}

void tst_ModbusMapExecDlg::cycleOfThreeSpaces() {
    Rig rig;
    QVERIFY(rig.openOnFake(*channelMap(45, 0)));
    for (int i = 0; i < 45; ++i)
        rig.fake.registers[quint16(16384 + i)] = quint16(1000 + i);
    rig.check(0, true);
    rig.check(44, true);
    // The first value after the window's creation only clears the chart: prime it.
    rig.dlg->UpdateValues();
    QCOMPARE(rig.points(0), 0);
    QCOMPARE(rig.points(1), 1);

    const QStringList before = rig.column(2);
    for (int tick = 1; tick <= 3; ++tick) {
        rig.dlg->ProcessTimerTimer();
        QCOMPARE(child<QLineEdit>(rig.dlg.get(), "RequestCountEdit")->text(),
                 QString::number(tick));
        if (tick < 3) {
            // Spaces read so far do not show yet.
            QCOMPARE(rig.column(2), before);
            QCOMPARE(rig.points(0), 0);
            QCOMPARE(rig.points(44), 1);
        }
    }
    QCOMPARE(rig.cell(0, 2), QString("1000"));
    QCOMPARE(rig.cell(19, 2), QString("1019"));
    QCOMPARE(rig.cell(20, 2), QString("1020"));
    QCOMPARE(rig.cell(44, 2), QString("1044"));
    QCOMPARE(rig.points(0), 1);
    QCOMPARE(rig.points(44), 2);
    QCOMPARE(rig.dlg->UpdateChart()->points(rig.series(44)).last().y(), 1044.0);
    // Hidden rows get their points too.
    QCOMPARE(rig.points(10), 2);
    QCOMPARE(rig.fake.described(), QStringList({"R 16384 20", "R 16404 20", "R 16424 5"}));
    QCOMPARE(child<QLineEdit>(rig.dlg.get(), "ErrorCountEdit")->text(), QString("0"));
}

void tst_ModbusMapExecDlg::longShownSignedPlottedUnsigned() {
    Rig rig;
    QVERIFY(rig.openOnFake(*channelMap(QList<int>{4, 3}, 0)));
    rig.fake.registers[16386] = 0xFFFF;
    rig.fake.registers[16387] = 0xFFFF;
    rig.check(1, true);
    // The chart's first value (row 0's) only clears; row 1 gets its point.
    rig.dlg->ProcessTimerTimer();
    QCOMPARE(rig.cell(1, 2), QString("-1"));
    const QList<QPointF> points = rig.dlg->UpdateChart()->points(rig.series(1));
    QCOMPARE(points.size(), 1);
    QCOMPARE(points[0].y(), 4294967295.0);
}

void tst_ModbusMapExecDlg::checkBoxShowsSeries() {
    Rig rig;
    QVERIFY(rig.openOnFake(*channelMap(3, 4)));
    QVERIFY(rig.dlg->ValueModel()->flags(rig.dlg->ValueModel()->index(0, 0)) &
            Qt::ItemIsUserCheckable);
    rig.check(1, true);
    QVERIFY(rig.series(1)->isVisible());
    QVERIFY(!rig.series(0)->isVisible() && !rig.series(2)->isVisible());
    QCOMPARE(rig.dlg->ValueModel()->index(1, 0).data(Qt::CheckStateRole).toInt(), int(Qt::Checked));
    rig.check(1, false);
    QVERIFY(!rig.series(1)->isVisible());
}

void tst_ModbusMapExecDlg::setValue_data() {
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("writes");
    // Rows: Int, Float, ULong, UInt at 16384, 16385, 16387, 16389.
    QTest::newRow("three rows") << QList<int>{0, 1, 3} << "7"
                                << QStringList{"W 16384 1", "W 16385 2", "W 16389 1"};
    QTest::newRow("none selected") << QList<int>{} << "7" << QStringList{};
    QTest::newRow("not an integer") << QList<int>{0, 1, 2} << "2.5" << QStringList{"W 16385 2"};
    QTest::newRow("cancelled") << QList<int>{0, 1} << QString() << QStringList{};
}

void tst_ModbusMapExecDlg::setValue() {
    QFETCH(QList<int>, selected);
    QFETCH(QString, text);
    QFETCH(QStringList, writes);
    Rig rig;
    QVERIFY(rig.openOnFake(*channelMap(QList<int>{0, 4, 3, 1})));
    rig.select(selected);
    if (text.isNull())
        rig.prompter.texts.push_back(std::nullopt);
    else
        rig.prompter.texts.push_back(text);
    // The context menu's item and Enter in the list are the same command.
    QCOMPARE(child<TReportListView>(rig.dlg.get(), "ValueLV")->actions(),
             QList<QAction*>{child<QAction>(rig.dlg.get(), "actSetValue")});
    QCOMPARE(child<QAction>(rig.dlg.get(), "actSetValue")->text(), QString("Set Value"));
    child<TReportListView>(rig.dlg.get(), "ValueLV")->setFocus();
    QTest::keyClick(child<TReportListView>(rig.dlg.get(), "ValueLV"), Qt::Key_Return);
    QCOMPARE(rig.prompter.texts_of("input"), QStringList{"Input|Value"});
    QCOMPARE(rig.prompter.inputInitials, QStringList{QString()});
    rig.dlg->ProcessTimerTimer();
    QStringList sent = rig.fake.described();
    QCOMPARE(sent.takeLast(), QString("R 16384 6"));
    QCOMPARE(sent, writes);
}

void tst_ModbusMapExecDlg::editOneValue() {
    Rig rig;
    QLocale saved;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    QVERIFY(rig.openOnFake(*channelMap(QList<int>{1, 4, 4})));
    rig.fake.registers[16385] = 0x4148; // 12.5 in the second row
    rig.fake.registers[16387] = 0x3F80; // 1.0 in the third
    rig.dlg->ProcessTimerTimer();
    QCOMPARE(rig.column(2), QStringList({"0", "12.500", "1.000"}));

    // A double click edits the first selected row, starting from its value text.
    rig.select({2, 1});
    rig.prompter.texts.push_back(QString("-3,25"));
    rig.dlg->LVDblClick();
    QCOMPARE(rig.prompter.texts_of("input"), QStringList{"Input|CH1"});
    QCOMPARE(rig.prompter.inputInitials, QStringList{"12.500"});
    // Not redrawn before the next complete cycle.
    QCOMPARE(rig.cell(1, 2), QString("12.500"));
    rig.dlg->ProcessTimerTimer();
    QCOMPARE(rig.column(2), QStringList({"0", "-3.250", "1.000"}));
    QCOMPARE(rig.fake.registers[16385], quint16(0xC050));
    QCOMPARE(rig.fake.registers[16387], quint16(0x3F80));

    // Without a selection nothing is asked.
    child<TReportListView>(rig.dlg.get(), "ValueLV")->clearSelection();
    rig.dlg->LVDblClick();
    QCOMPARE(rig.prompter.texts_of("input").size(), 1);
    QLocale::setDefault(saved);
}

void tst_ModbusMapExecDlg::unknownTypesSkipped() {
    Rig rig;
    auto image = channelMap(QList<int>{0, 9, 4, -2});
    QVERIFY(rig.openOnFake(*image));
    QCOMPARE(rig.dlg->ValueModel()->Count(), 2);
    QCOMPARE(rig.column(1), QStringList({"CH0", "CH2"}));
    QCOMPARE(rig.column(3), QStringList({"4000", "4001/4002"}));
    rig.dlg->CloseRun();

    // Nothing to poll: like an empty map, the window does not open.
    ModalScript script(rig.dlg.get());
    rig.dlg->ExecuteMap(channelMap(QList<int>{5, 6}).get());
    rig.dlg->ExecuteMap(channelMap(QList<int>{}).get());
    QCOMPARE(script.shows, 0);
    QVERIFY(rig.dlg->Run() == nullptr);
}

void tst_ModbusMapExecDlg::closeRefusedWhileRunning() {
    Rig rig(50);
    PtyPeer peer; // a silent device: the line is up, nothing answers
    QVERIFY(peer.isValid());
    rig.conn->PortDrv.setPortName(peer.slavePath());
    TModbusMapExecDlg& dlg = *rig.dlg;
    QVERIFY(dlg.OpenRun(*channelMap(2, 0)));
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    child<QAction>(dlg, "actStart")->trigger();
    QVERIFY(dlg.Running());
    QVERIFY(!child<QAction>(dlg, "actStart")->isEnabled() &&
            child<QAction>(dlg, "actStop")->isEnabled() &&
            child<QAction>(dlg, "actS2F")->isEnabled());
    QTRY_VERIFY(dlg.Run()->RequestCount >= 2);
    QVERIFY(dlg.Run()->ErrorCount >= 1);

    dlg.close();
    QVERIFY(dlg.isVisible());
    dlg.reject();
    QVERIFY(dlg.isVisible());
    QCOMPARE(dlg.ValueModel()->Count(), 2);

    QTest::keyClick(&dlg, Qt::Key_Escape);
    QVERIFY(!dlg.isVisible());
    QVERIFY(!dlg.Running());
    QVERIFY(!dlg.ProcessTimer().Active());
    QCOMPARE(dlg.ValueModel()->Count(), 0);
    QCOMPARE(child<QChartView>(dlg, "ChartView")->chart()->series().size(), 0);
    QVERIFY(child<QAction>(dlg, "actStart")->isEnabled() &&
            !child<QAction>(dlg, "actStop")->isEnabled());
    dlg.CloseRun();
    QVERIFY(dlg.Run() == nullptr);
}

void tst_ModbusMapExecDlg::teardownWaitsForTick_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("Exit") << "exit";
    QTest::newRow("close button") << "close";
    QTest::newRow("Exit and the run's teardown") << "exit+run";
}

void tst_ModbusMapExecDlg::teardownWaitsForTick() {
    QFETCH(QString, how);
    Rig rig;
    TModbusMapExecDlg& dlg = *rig.dlg;
    QVERIFY(rig.openOnFake(*channelMap(3, 4)));
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    rig.check(1, true);
    rig.check(2, true);
    // The chart's first value clears it and marks its series; the first value of a shown series
    // after that lets pending events run in the middle of the tick: the close comes there.
    bool ranInTick = false;
    int rowsLeft = -1;
    int seriesLeft = -1;
    QTimer::singleShot(0, &dlg, [&] {
        ranInTick = dlg.Run() && dlg.Run()->InTick();
        if (how == "close")
            dlg.close();
        else
            dlg.actExitExecute();
        if (how == "exit+run")
            dlg.CloseRun();
        // Nothing the tick still uses is gone yet.
        rowsLeft = dlg.ValueModel()->Count();
        seriesLeft = int(child<QChartView>(dlg, "ChartView")->chart()->series().size());
    });
    dlg.ProcessTimerTimer();
    QVERIFY(ranInTick);
    QCOMPARE(rowsLeft, 3);
    QCOMPARE(seriesLeft, 3);
    QVERIFY(!dlg.isVisible());
    // Freed once the tick had returned.
    QCOMPARE(dlg.ValueModel()->Count(), 0);
    QCOMPARE(child<QChartView>(dlg, "ChartView")->chart()->series().size(), 0);
    QCOMPARE(dlg.Run() == nullptr, how == "exit+run");
    QCOMPARE(child<QLineEdit>(dlg, "RequestCountEdit")->text(), QString("1"));
    dlg.CloseRun();
    QVERIFY(dlg.Run() == nullptr);
}

void tst_ModbusMapExecDlg::trafficOfOneFloatChannel() {
    Rig rig(80, 1);
    PtyPeer peer;
    QVERIFY(peer.isValid());
    const QByteArray request = PtyPeer::hex("01 03 40 00 00 02 D1 CB");
    const QByteArray reply = PtyPeer::hex("01 03 04 41 48 00 00 6E 19");
    peer.expect(request).send(reply);
    peer.expect(request).send(reply);
    peer.expect(request); // no answer
    peer.start();
    rig.conn->PortDrv.setPortName(peer.slavePath());
    TModbusMapExecDlg& dlg = *rig.dlg;
    QVERIFY(dlg.OpenRun(*channelMap(1, 4)));
    child<QAction>(dlg, "actShowTraffic")->setChecked(true);
    QVERIFY(rig.conn->OpenLink());
    dlg.ProcessTimerTimer();
    QCOMPARE(rig.traffic(),
             QStringList({"out 01 03 40 00 00 02 D1 CB ", "in 01 03 04 41 48 00 00 6E 19 "}));
    QCOMPARE(rig.cell(0, 2), QString("12.500"));

    // Unchecked, nothing more is logged; the counters go on.
    child<QAction>(dlg, "actShowTraffic")->setChecked(false);
    dlg.ProcessTimerTimer();
    dlg.ProcessTimerTimer();
    QCOMPARE(dlg.Traffic()->count(), 2);
    QCOMPARE(child<QLineEdit>(dlg, "RequestCountEdit")->text(), QString("3"));
    QCOMPARE(child<QLineEdit>(dlg, "ErrorCountEdit")->text(), QString("1"));
    QVERIFY(peer.wait());
    QCOMPARE(peer.failures(), QStringList());

    // Copy puts the selected row's Package text on the clipboard, with the hourglass.
    QVERIFY(!child<QAction>(dlg, "actCopyToClipboard")->isEnabled());
    child<QTableView>(dlg, "TrafficLV")->selectRow(1);
    QVERIFY(child<QAction>(dlg, "actCopyToClipboard")->isEnabled());
    QGuiApplication::clipboard()->setText("old");
    const int waits = rig.prompter.waitCount;
    child<QAction>(dlg, "actCopyToClipboard")->trigger();
    QCOMPARE(QGuiApplication::clipboard()->text(), QString("01 03 04 41 48 00 00 6E 19 "));
    QCOMPARE(rig.prompter.waitCount, waits + 1);
    QCOMPARE(rig.prompter.waitDepth, 0);

    // Clear empties the log and keeps the counters.
    child<QAction>(dlg, "actClear")->trigger();
    QCOMPARE(dlg.Traffic()->count(), 0);
    QVERIFY(!child<QAction>(dlg, "actCopyToClipboard")->isEnabled());
    QCOMPARE(child<QLineEdit>(dlg, "RequestCountEdit")->text(), QString("3"));
    QCOMPARE(child<QLineEdit>(dlg, "ErrorCountEdit")->text(), QString("1"));
    rig.conn->CloseLink();
    dlg.UpdateActions(); // as the idle update does

    // Start after Stop: the counters restart from 0, shown at the next tick.
    child<QAction>(dlg, "actStart")->trigger();
    QVERIFY(dlg.Running());
    dlg.ProcessTimer().Stop(); // the test ticks by hand from here
    QCOMPARE(dlg.Run()->RequestCount, 0);
    QCOMPARE(dlg.Run()->ErrorCount, 0);
    QCOMPARE(dlg.Run()->CurrentSpace, 0);
    QCOMPARE(child<QLineEdit>(dlg, "RequestCountEdit")->text(), QString("3"));
    dlg.ProcessTimerTimer();
    QCOMPARE(child<QLineEdit>(dlg, "RequestCountEdit")->text(), QString("1"));
    QCOMPARE(child<QLineEdit>(dlg, "ErrorCountEdit")->text(), QString("1"));
    dlg.actStopExecute();
    QVERIFY(!dlg.Running());
    dlg.CloseRun();
}

void tst_ModbusMapExecDlg::commandsLoggedWhenShown() {
    if (DevsimProcess::program().isEmpty())
        QSKIP("no simulator in this build");
    Rig rig(300);
    DevsimProcess sim;
    QVERIFY2(sim.start({}), qPrintable(sim.errorText()));
    rig.conn->PortDrv.setPortName(sim.ptyPath());
    TUpdateTagListCmd tags(rig.conn.get());
    // Not shown: the command's traffic is not kept.
    QVERIFY(tags.Execute());
    QCOMPARE(rig.dlg->Traffic()->count(), 0);
    child<QAction>(rig.dlg.get(), "actShowTraffic")->setChecked(true);
    QVERIFY(tags.Execute());
    // Per tag a TagIndex write and a block read, each with its reply; the first request is the
    // block read of the map-control registers.
    QVERIFY(rig.dlg->Traffic()->count() >= 4 * 30);
    QCOMPARE(rig.traffic().first(), QString("out 01 03 30 00 00 0E CB 0E "));
    QVERIFY(rig.traffic()[1].startsWith("in 01 03 1C "));
}

void tst_ModbusMapExecDlg::executeMapAgainstSimulator() {
    if (DevsimProcess::program().isEmpty())
        QSKIP("no simulator in this build");
    Rig rig(300);
    DevsimProcess sim;
    QTemporaryDir flashDir;
    QVERIFY2(sim.start({"--flash", flashDir.filePath("flash.bin")}), qPrintable(sim.errorText()));
    rig.conn->PortDrv.setPortName(sim.ptyPath());
    auto image = Rig::catalogueMap(5);
    TUploadCurrMapCmd upload(rig.conn.get());
    upload.setTarget(image.get());
    QVERIFY(upload.Execute());
    QCOMPARE(upload.DeviceError(), quint16(0));

    TModbusMapExecDlg& dlg = *rig.dlg;
    ModalScript script(&dlg);
    QString rendered;
    // A failed check returns from the step: the window must still stop and close then.
    struct ExitAtEnd {
        TModbusMapExecDlg& dlg;
        ~ExitAtEnd() {
            if (dlg.isVisible())
                dlg.actExitExecute();
        }
    };
    script.steps.push_back([&](QDialog& shown) {
        ExitAtEnd exitAtEnd{dlg};
        QVERIFY(shown.isModal());
        QCOMPARE(dlg.ValueModel()->Count(), 7);
        rig.check(5, true);
        rig.check(6, true);
        // Held values, one per type, written through the list.
        const QStringList values{"21.75", "-123", "54321", "-100000", "-1"};
        for (int row = 0; row < 5; ++row) {
            rig.select({row});
            rig.prompter.texts.push_back(values[row]);
            dlg.actSetValueExecute();
        }
        child<QAction>(dlg, "actStart")->trigger();
        QVERIFY(dlg.Running());
        QTRY_COMPARE_WITH_TIMEOUT(rig.column(2).mid(0, 5),
                                  QStringList({"21.750", "-123", "54321", "-100000", "-1"}), 10000);
        child<QAction>(dlg, "actS2F")->trigger();
        QTRY_COMPARE_WITH_TIMEOUT(rig.prompter.messages(), QStringList{"Данные сохранены"}, 10000);
        // A few seconds of chart for the picture.
        QTest::qWait(4000);
        QVERIFY(rig.points(5) >= 30);
        const QImage picture = dlg.grab().toImage();
        rendered = outputPath("ModbusMapExecDlg.png");
        QVERIFY(picture.save(rendered));
        child<QTabWidget>(dlg, "PageControl")->setCurrentIndex(1);
        child<QAction>(dlg, "actShowTraffic")->setChecked(true);
        QTRY_VERIFY(dlg.Traffic()->count() >= 6);
        child<QTableView>(dlg, "TrafficLV")->selectRow(0);
        QVERIFY(dlg.grab().toImage().save(outputPath("ModbusMapExecDlg-traffic.png")));

        dlg.close();
        QVERIFY(dlg.isVisible());
        QTest::keyClick(&dlg, Qt::Key_Escape);
    });
    dlg.ExecuteMap(image.get());
    QCOMPARE(script.shows, 1);
    QCOMPARE(script.leftOpen, 0);
    QVERIFY(!rendered.isEmpty());
    QVERIFY(!dlg.Running());
    QVERIFY(dlg.Run() == nullptr);
    QCOMPARE(dlg.ValueModel()->Count(), 0);
    QCOMPARE(child<QChartView>(dlg, "ChartView")->chart()->series().size(), 0);
    // The traffic and the counters stay for the next opening.
    QVERIFY(dlg.Traffic()->count() >= 6);
    QVERIFY(child<QLineEdit>(dlg, "RequestCountEdit")->text().toInt() >= 30);
    QCOMPARE(child<QLineEdit>(dlg, "ErrorCountEdit")->text(), QString("0"));
}

void tst_ModbusMapExecDlg::faultsCountedAndRecovered() {
    if (DevsimProcess::program().isEmpty())
        QSKIP("no simulator in this build");
    Rig rig(60);
    // 25 channels, two spaces: catalogue tags 10 (ENERGY, Long) and 7 (STATE, UInt) in turn.
    QList<int> types;
    for (int i = 0; i < 25; ++i)
        types << (i % 2 ? 1 : 2);
    auto image = channelMap(types);
    for (int i = 0; i < 25; ++i)
        image->Map()->Items(i)->TagIndex = i % 2 ? 7 : 10;

    // The map goes into the device's flash on a clean line; the device then starts again from
    // that flash with faults injected, counting requests from the first poll.
    QTemporaryDir flashDir;
    const QString flash = flashDir.filePath("flash.bin");
    {
        DevsimProcess clean;
        QVERIFY2(clean.start({"--flash", flash}), qPrintable(clean.errorText()));
        rig.conn->PortDrv.setPortName(clean.ptyPath());
        TUploadCurrMapCmd upload(rig.conn.get());
        upload.setTarget(image.get());
        QVERIFY(upload.Execute());
        QCOMPARE(upload.DeviceError(), quint16(0));
        QCOMPARE(clean.stop(), 0);
    }
    // Replies to requests 30-45 are lost (a device gone for a while), and a share of all the
    // others is dropped or spoilt.
    QStringList lost;
    for (int n = 30; n <= 45; ++n)
        lost << QString::number(n);
    DevsimProcess sim;
    QVERIFY2(sim.start({"--flash", flash, "--fail-requests", lost.join(','), "--drop-rate", "0.1",
                        "--corrupt-rate", "0.1", "--seed", "7"}),
             qPrintable(sim.errorText()));
    rig.conn->PortDrv.setPortName(sim.ptyPath());

    TModbusMapExecDlg& dlg = *rig.dlg;
    QVERIFY(dlg.OpenRun(*image));
    child<TReportListView>(dlg, "ValueLV")->selectAll();
    rig.prompter.texts.push_back(QString("4242"));
    dlg.actSetValueExecute();
    child<QAction>(dlg, "actStart")->trigger();
    QVERIFY(dlg.Running());
    QTRY_VERIFY_WITH_TIMEOUT(dlg.Run()->RequestCount >= 80, 30000);
    // Polling went on through the faults, and every value is the one set.
    QTRY_COMPARE_WITH_TIMEOUT(rig.column(2), QStringList(25, "4242"), 10000);
    const int errors = dlg.Run()->ErrorCount;
    QVERIFY2(errors >= 16, qPrintable(QString::number(errors)));
    QVERIFY(errors < dlg.Run()->RequestCount);
    dlg.actStopExecute();
    QVERIFY(child<QLineEdit>(dlg, "ErrorCountEdit")->text().toInt() >= 16);
    dlg.CloseRun();
}

QTEST_MAIN(tst_ModbusMapExecDlg)
#include "tst_ModbusMapExecDlg.moc"
