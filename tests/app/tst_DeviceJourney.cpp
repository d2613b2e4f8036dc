// The whole program against the device simulator, as a user goes through it: options, the tag
// list from the device, two tags dragged into the map, a byte order picked, upload, a changed
// map, download, a note edited, execution with a set value, About, save and reopen. Each window
// on the way is rendered to a PNG and checked for text that its controls cut off.

#include "Child.h"
#include "DevsimProcess.h"
#include "ModalScript.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"
#include "app/ui/CompositionRoot.h"
#include "app/ui/MainFrameUnit.h"
#include "components/ui/ReportListView.h"
#include "device/ModbusMap.h"
#include "document/ChannelMapText.h"
#include "document/Document.h"
#include "editor/ui/ChannelMapModel.h"
#include "editor/ui/ChannelProps.h"
#include "editor/ui/CnlListVisor.h"
#include "execution/ui/ModbusMapExecUnit.h"
#include "execution/ui/UpdateChart.h"
#include "settings/AppOptions.h"

#include <QtCharts>
#include <QtTest>
#include <QtWidgets>

using namespace zorvan;
using namespace zorvan::test;

namespace {

// Labels, buttons showing text and column headers whose text is wider than their room; then
// the picture, for a person to look at.
void shoot(QWidget& window, const char* name) {
    QStringList clipped;
    const auto check = [&](const QWidget* w, QString text, int room) {
        text.remove(u'&');
        if (w->isVisibleTo(&window) && w->fontMetrics().horizontalAdvance(text) > room)
            clipped << text;
    };
    for (const QLabel* label : window.findChildren<QLabel*>())
        check(label, label->text(), label->contentsRect().width());
    for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
        const auto* tool = qobject_cast<const QToolButton*>(button);
        if (!tool || tool->toolButtonStyle() != Qt::ToolButtonIconOnly)
            check(button, button->text(), button->width());
    }
    for (const QHeaderView* header : window.findChildren<QHeaderView*>())
        for (int s = 0; header->orientation() == Qt::Horizontal && s < header->count(); ++s)
            check(header, header->model()->headerData(s, Qt::Horizontal).toString(),
                  header->sectionSize(s));
    QCOMPARE(clipped, QStringList());
    QVERIFY(window.grab().save(QStringLiteral(ZORVAN_TEST_OUTPUT_DIR "/%1.png").arg(name)));
}

// The next modal window, when it shows.
void whenModal(const std::function<void(QWidget&)>& step) {
    QTimer::singleShot(0, [step] {
        if (QWidget* dialog = QApplication::activeModalWidget())
            step(*dialog);
    });
}

QStringList mapRows() {
    QStringList rows;
    for (int i = 0; i < CurrentImage()->Map()->Count(); ++i) {
        const TChannelItem& c = *CurrentImage()->Map()->Items(i);
        rows << QStringLiteral("%1|%2|%3|%4|%5")
                    .arg(c.TagIndex)
                    .arg(c.Channel)
                    .arg(c.ParamType)
                    .arg(TagNameText(c.TagName), c.Note);
    }
    return rows;
}

} // namespace

class tst_DeviceJourney : public QObject {
    Q_OBJECT
private slots:
    void journey() {
        if (DevsimProcess::program().isEmpty())
            QSKIP("no simulator in this build");
        TempConfigHome home;
        QTemporaryDir scratch;
        DevsimProcess device; // the demo device on COM5 of this settings folder
        QVERIFY2(device.start({"--com", "5", "--flash", scratch.filePath("flash.bin")}),
                 qPrintable(device.errorText()));
        CompositionRoot root;
        ScriptedPrompter prompter;
        TMainFrameDlg& window = *root.MainFrameDlg();
        TCnlListVisorView& view = *root.CnlListVisorView();
        TModbusMapExecDlg& exec = *ModbusMapExecDlg();
        const auto act = [](QWidget& w, const char* name) { return child<QAction>(w, name); };
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.resize(1100, 640);
        act(window, "actNew")->trigger(); // a first run has no last document to reopen
        QVERIFY(view.isVisible());

        // Options: the device's port, no tool bar, English; taken when the dialog closes, the
        // window staying where it is although the dialog reloads the settings.
        window.move(30, 20);
        whenModal([](QWidget& dialog) {
            Options()->Port->setValue(5);
            Options()->ViewToolBar->setValue(false);
            Options()->CurrLanguageID->setValue(2305);
            dialog.close();
        });
        act(window, "actOptions")->trigger();
        QCOMPARE(ModbusMapConn()->PortDrv.Port(), quint8(5));
        QVERIFY(!child<QWidget>(window, "ActionToolBarPanel")->isVisible());
        QCOMPARE(act(window, "actSaveAs")->text(), QStringLiteral("Save As..."));
        QCOMPARE(window.pos(), QPoint(30, 20));

        // The demo catalogue in the Tags list; its TEMP1 (Float, tag 0) and DELTA_T (Int, tag 5)
        // dragged into the map.
        QVERIFY(!act(view, "actUpLoad")->isEnabled() && !act(view, "actExecuteMap")->isEnabled());
        act(view, "actDownLoad")->trigger();
        QCOMPARE(view.TagModel()->rowCount(), 30);
        auto* tagList = child<TReportListView>(view, "TagLV");
        tagList->selectRow(0);
        tagList->selectionModel()->select(view.TagModel()->index(5, 0),
                                          QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QStringList built{"0|0|4|TEMP1|", "5|5|0|DELTA_T|"};
        QVERIFY(view.TagLVStartDrag());
        view.LVDragDrop(-1);
        QCOMPARE(mapRows(), built);
        QCOMPARE(window.StatusPanelText(0), QStringLiteral("Modified"));
        // "w:01 - dw:1032", picked in the Options list.
        QTest::keyClick(child<QComboBox>(view, "OptionsCB"), Qt::Key_End);
        QTest::keyClick(child<QComboBox>(view, "OptionsCB"), Qt::Key_Up);
        QCOMPARE(CurrentImage()->Options, 6u);

        // Upload, a channel deleted and other options, then the device's map downloaded: the
        // document holds the uploaded map again, changed from what it was, so modified.
        act(view, "actUpLoad")->trigger();
        child<TReportListView>(view, "LV")->selectRow(0);
        prompter.answers.push_back(PromptAnswer::Yes);
        act(view, "actDelete")->trigger();
        CurrentImage()->Options = 1;
        Dm()->Link.ClearModified();
        act(view, "actDownLoadCurrMap")->trigger();
        QCOMPARE(mapRows(), built);
        QCOMPARE(child<QComboBox>(view, "OptionsCB")->currentIndex(), 6);
        QCOMPARE(window.StatusPanelText(0), QStringLiteral("Modified"));
        shoot(window, "main-window");
        shoot(view, "editor");

        // A note through the channel properties dialog (Enter applies).
        child<TReportListView>(view, "LV")->selectRow(1);
        ModalScript props(root.ChannelPropsDlg());
        props.steps.push_back([](QDialog& d) {
            shoot(d, "channel-properties");
            QTest::keyClicks(d.focusWidget(), "pump");
            QTest::keyClick(d.focusWidget(), Qt::Key_Return);
        });
        act(view, "actEdit")->trigger();
        built[1] += "pump";
        QCOMPARE(mapRows(), built);

        // Both values live from the device, the Int one set, the Float with a point, some chart;
        // then Esc stops and closes.
        ModalScript script(&exec);
        script.steps.push_back([&](QDialog&) {
            const auto exit = qScopeGuard([&] {
                if (exec.isVisible())
                    exec.actExitExecute();
            });
            for (int row : {0, 1})
                exec.ValueModel()->setData(exec.ValueModel()->index(row, 0), Qt::Checked,
                                           Qt::CheckStateRole);
            act(exec, "actStart")->trigger();
            child<TReportListView>(exec, "ValueLV")->selectRow(1);
            prompter.texts.push_back(QStringLiteral("1234"));
            exec.actSetValueExecute();
            const auto value = [&](int row) {
                return exec.ValueModel()->index(row, TValueListModel::ValueColumn).data();
            };
            QTRY_COMPARE_WITH_TIMEOUT(value(1).toString(), QStringLiteral("1234"), 10000);
            QTRY_VERIFY_WITH_TIMEOUT(
                exec.UpdateChart()->points(exec.ValueModel()->Profile(0).Series).size() >= 40,
                10000);
            QVERIFY(value(0).toString().contains(u'.'));
            QCOMPARE(child<QLineEdit>(exec, "ErrorCountEdit")->text(), QStringLiteral("0"));
            shoot(exec, "execution");
            QTest::keyClick(&exec, Qt::Key_Escape);
        });
        act(view, "actExecuteMap")->trigger();
        QVERIFY(script.shows == 1 && script.leftOpen == 0);
        QVERIFY(!exec.Running() && !ModbusMapConn()->PortDrv.IsOpen());

        whenModal([](QWidget& about) {
            shoot(about, "about");
            QTest::keyClick(&about, Qt::Key_Escape);
        });
        act(window, "actAbout")->trigger();
        QVERIFY(window.findChildren<QDialog*>("AboutDlg").isEmpty());

        // Saved under a name, closed and opened again.
        const QString file = scratch.filePath("journey.zorvan");
        prompter.fileNames = {file, file};
        act(window, "actSave")->trigger();
        QCOMPARE(window.StatusPanelText(0), QString());
        act(window, "actClose")->trigger();
        QCOMPARE(CurrentImage()->Map()->Count(), 0);
        act(window, "actOpen")->trigger();
        QCOMPARE(mapRows(), built);
        QCOMPARE(CurrentImage()->Options, 6u);
        QCOMPARE(view.MapModel()->rowCount(), 2);
        QCOMPARE(window.windowTitle(), "Zorvan: " + file);
        QCOMPARE(prompter.messages(), QStringList());
        QCOMPARE(prompter.questions(), QStringList{"Delete items?"});
    }
};

QTEST_MAIN(tst_DeviceJourney)
#include "tst_DeviceJourney.moc"
