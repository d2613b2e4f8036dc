#include "Child.h"
// The whole program against the device simulator, as a user goes through it: options, the tag
// list from the device, tags dragged into the map, upload, download, execution with live
// values, save and reopen. Prompts are scripted; the windows are rendered to PNG on the way.

#include "DevsimProcess.h"
#include "ModalScript.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"
#include "app/ui/CompositionRoot.h"
#include "app/ui/MainFrameUnit.h"
#include "components/ui/ReportListView.h"
#include "device/AppDataTypes.h"
#include "device/Commands.h"
#include "device/ModbusMap.h"
#include "document/ChannelMapText.h"
#include "document/CnlImage.h"
#include "document/Document.h"
#include "editor/DragDropController.h"
#include "editor/GlobalData.h"
#include "editor/ui/ChannelMapModel.h"
#include "editor/ui/CnlListVisor.h"
#include "execution/MapRun.h"
#include "execution/ui/ModbusMapExecUnit.h"
#include "settings/AppOptions.h"
#include "settings/DataContainer.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMimeData>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

using namespace zorvan;
using zorvan::test::child;
using zorvan::test::DevsimProcess;
using zorvan::test::ModalScript;
using zorvan::test::ScriptedPrompter;
using zorvan::test::TempConfigHome;

namespace {

constexpr int kPort = 5;

QString outputPath(const QString& name) {
    QDir().mkpath(QStringLiteral(ZORVAN_TEST_OUTPUT_DIR));
    return QStringLiteral(ZORVAN_TEST_OUTPUT_DIR) + "/" + name;
}

// A click on the tool button of an action, as the user presses it; false when the button is
// not there to press.
bool press(QToolBar* bar, QAction* action) {
    QWidget* button = bar->widgetForAction(action);
    if (!button || !button->isVisible() || !action->isEnabled()) {
        qWarning() << "cannot press" << action->objectName();
        return false;
    }
    QTest::mouseClick(button, Qt::LeftButton);
    return true;
}

// A drop delivered to a list as a drag delivers it: enter, move, drop.
bool dragInto(QWidget* viewport, const QPoint& at, const QString& sourceList) {
    QMimeData data;
    data.setData(TReportListView::DragMimeType(), sourceList.toUtf8());
    QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QDropEvent drop(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    return drop.isAccepted();
}

QStringList mapRows(const TChannelImage& image) {
    QStringList rows;
    for (int i = 0; i < image.Map()->Count(); ++i) {
        const TChannelItem& c = *image.Map()->Items(i);
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
    void journey();
};

void tst_DeviceJourney::journey() {
    if (DevsimProcess::program().isEmpty())
        QSKIP("no simulator in this build");
    TempConfigHome home;
    QTemporaryDir scratch;
    QVERIFY(scratch.isValid());
    // The demo device on COM5 of this settings folder, its flash in the scratch folder.
    DevsimProcess device;
    QVERIFY2(
        device.start({"--com", QString::number(kPort), "--flash", scratch.filePath("flash.bin")}),
        qPrintable(device.errorText()));

    CompositionRoot root;
    ScriptedPrompter prompter;
    TMainFrameDlg& window = *root.MainFrameDlg();
    TCnlListVisorView& view = *root.CnlListVisorView();
    TModbusMapExecDlg& exec = *ModbusMapExecDlg();
    TChannelImage& image = *Dm()->Image();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // Wider than the first-run 800 by 450, where the Map tool bar puts Download Map behind its
    // extension button.
    window.resize(1100, 640);
    // A first run has no last document to restore: File > New.
    if (!Dm()->Link.Active())
        child<QAction>(window, "actNew")->trigger();
    QVERIFY(Dm()->Link.Active());
    QVERIFY(view.isVisible());

    // Options: the port goes to COM5; the dialog shows the settings and the program takes them
    // when it closes.
    Options()->Port->setValue(kPort);
    Options()->DataContainer->Save();
    bool optionsShown = false;
    QTimer::singleShot(0, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog)
            return;
        optionsShown = dialog->grab().toImage().save(outputPath("journey-options.png"));
        dialog->close();
    });
    child<QAction>(window, "actOptions")->trigger();
    QVERIFY(optionsShown);
    QCOMPARE(ModbusMapConn()->PortDrv.Port(), quint8(kPort));

    // Download tags: the device's demo catalogue in the Tags list.
    QVERIFY(!child<QAction>(view, "actUpLoad")->isEnabled() &&
            !child<QAction>(view, "actExecuteMap")->isEnabled());
    QVERIFY(press(child<QToolBar>(view, "TagsToolBar"), child<QAction>(view, "actDownLoad")));
    QCOMPARE(prompter.messages(), QStringList());
    const TTagList& tags = *UpdateTagListCmd()->TagList();
    QVERIFY(tags.Count() >= 10);
    QCOMPARE(view.TagModel()->rowCount(), tags.Count());
    int intTag = -1, floatTag = -1;
    for (int t = tags.Count() - 1; t >= 0; --t) {
        if (tags[t]->DataType == 0)
            intTag = t;
        if (tags[t]->DataType == 4)
            floatTag = t;
    }
    QVERIFY(intTag > 0 && floatTag >= 0);
    const auto tagCell = [&](int row, int column) {
        return view.TagModel()->index(row, column).data().toString();
    };
    QCOMPARE(tagCell(intTag, TTagListModel::colNumber), QString::number(intTag + 1));
    QCOMPARE(tagCell(intTag, TTagListModel::colChannel),
             QString::number(tags[intTag]->Channel + 1));
    QCOMPARE(tagCell(intTag, TTagListModel::colType), QStringLiteral("Int"));
    QCOMPARE(tagCell(intTag, TTagListModel::colName), TagNameText(tags[intTag]->TagName));
    QVERIFY(!tagCell(intTag, TTagListModel::colName).contains(QChar(0)));

    // Two tags dragged into the empty map: the Int tag first, then the Float tag.
    QItemSelectionModel* tagSelection = child<TReportListView>(view, "TagLV")->selectionModel();
    tagSelection->select(view.TagModel()->index(floatTag, 0),
                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    tagSelection->select(view.TagModel()->index(intTag, 0),
                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
    QVERIFY(view.TagLVStartDrag());
    QVERIFY(dragInto(child<TReportListView>(view, "LV")->viewport(), QPoint(40, 40),
                     QStringLiteral("TagLV")));
    const int first = qMin(intTag, floatTag), second = qMax(intTag, floatTag);
    const auto tagRow = [&](int t) {
        return QStringLiteral("%1|%2|%3|%4|")
            .arg(t)
            .arg(tags[t]->Channel)
            .arg(tags[t]->DataType)
            .arg(TagNameText(tags[t]->TagName));
    };
    const QStringList built{tagRow(first), tagRow(second)};
    QCOMPARE(mapRows(image), built);
    QCOMPARE(window.StatusPanelText(0), QStringLiteral("Modified"));
    QVERIFY(child<QAction>(view, "actUpLoad")->isEnabled() &&
            child<QAction>(view, "actExecuteMap")->isEnabled());

    // Upload Map, then a changed document, then Download Map brings the device's map back.
    image.Options = 6;
    QVERIFY(press(child<QToolBar>(view, "MapToolBar"), child<QAction>(view, "actUpLoad")));
    QCOMPARE(prompter.messages(), QStringList());
    Dm()->Link.ClearModified();
    child<TReportListView>(view, "LV")->selectRow(0);
    prompter.answers.push_back(PromptAnswer::Yes);
    view.actDeleteExecute();
    image.Options = 1;
    Dm()->Link.ClearModified();
    QCOMPARE(image.Map()->Count(), 1);
    QVERIFY(press(child<QToolBar>(view, "MapToolBar"), child<QAction>(view, "actDownLoadCurrMap")));
    QCOMPARE(prompter.messages(), QStringList());
    QCOMPARE(mapRows(image), built);
    QCOMPARE(image.Options, 6u);
    QCOMPARE(child<QComboBox>(view, "OptionsCB")->currentIndex(), 6);
    QCOMPARE(view.MapModel()->rowCount(), 2);
    QVERIFY(Dm()->Link.Modified()); // the downloaded map is not lost unasked
    QCOMPARE(window.StatusPanelText(0), QStringLiteral("Modified"));

    child<TReportListView>(view, "TagLV")->scrollTo(view.TagModel()->index(second, 0));
    QVERIFY(window.grab().toImage().save(outputPath("journey-main-window.png")));

    // Execute Map: the values of the two channels live from the device; one is set.
    ModalScript script(&exec);
    QStringList values;
    script.steps.push_back([&](QDialog& shown) {
        struct ExitAtEnd {
            TModbusMapExecDlg& dlg;
            ~ExitAtEnd() {
                if (dlg.isVisible())
                    dlg.actExitExecute();
            }
        } exitAtEnd{exec};
        QVERIFY(shown.isModal());
        QCOMPARE(exec.ValueModel()->Count(), 2);
        exec.ValueModel()->setData(exec.ValueModel()->index(0, 0), Qt::Checked, Qt::CheckStateRole);
        exec.ValueModel()->setData(exec.ValueModel()->index(1, 0), Qt::Checked, Qt::CheckStateRole);
        child<QAction>(exec, "actStart")->trigger();
        QVERIFY(exec.Running());
        QTRY_VERIFY_WITH_TIMEOUT(child<QLineEdit>(exec, "RequestCountEdit")->text().toInt() >= 10,
                                 10000);
        const int intRow = intTag < floatTag ? 0 : 1;
        child<TReportListView>(exec, "ValueLV")->selectRow(intRow);
        prompter.texts.push_back(QStringLiteral("1234"));
        exec.actSetValueExecute();
        QTRY_COMPARE_WITH_TIMEOUT(
            exec.ValueModel()->index(intRow, TValueListModel::ValueColumn).data().toString(),
            QStringLiteral("1234"), 10000);
        QTest::qWait(2000); // some chart
        QCOMPARE(child<QLineEdit>(exec, "ErrorCountEdit")->text(), QStringLiteral("0"));
        for (int row = 0; row < 2; ++row) {
            values << exec.ValueModel()->index(row, TValueListModel::ValueColumn).data().toString();
            bool number = false;
            values.last().toDouble(&number);
            QVERIFY2(number, qPrintable(values.last()));
        }
        QVERIFY(exec.grab().toImage().save(outputPath("journey-execution.png")));
        exec.actExitExecute();
    });
    QVERIFY(press(child<QToolBar>(view, "MapToolBar"), child<QAction>(view, "actExecuteMap")));
    QCOMPARE(script.shows, 1);
    QCOMPARE(script.leftOpen, 0);
    QCOMPARE(values.size(), 2);
    QVERIFY(!exec.Running());
    QVERIFY(!ModbusMapConn()->PortDrv.IsOpen());
    QCOMPARE(prompter.messages(), QStringList());
    QCOMPARE(prompter.waitDepth, 0);

    // Save under a name, close, and open it again.
    const QString file = scratch.filePath("journey.zorvan");
    prompter.fileNames.push_back(file);
    child<QAction>(window, "actSave")->trigger();
    QVERIFY(QFile::exists(file));
    QVERIFY(!Dm()->Link.Modified());
    QCOMPARE(window.StatusPanelText(0), QString());
    child<QAction>(window, "actClose")->trigger();
    QVERIFY(!Dm()->Link.Active());
    QCOMPARE(image.Map()->Count(), 0);
    prompter.fileNames.push_back(file);
    child<QAction>(window, "actOpen")->trigger();
    QVERIFY(Dm()->Link.Active());
    QCOMPARE(mapRows(image), built);
    QCOMPARE(image.Options, 6u);
    QCOMPARE(view.MapModel()->rowCount(), 2);
    QVERIFY(!Dm()->Link.Modified());
    QCOMPARE(prompter.messages(), QStringList());
    QCOMPARE(prompter.questions(), QStringList{"Delete items?"});
}

QTEST_MAIN(tst_DeviceJourney)
#include "tst_DeviceJourney.moc"
