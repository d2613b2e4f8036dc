// The program's windows together: the main window's File actions, status panel and caption
// following the document through a session; two runs of the program carrying the closing
// question, the last document, the geometry and the language from one to the next; and the one
// journey against the device simulator, as a user goes through it, on which every window is
// rendered to a PNG and checked for text that its controls cut off.

#include "Cases.h"
#include "Child.h"
#include "DevsimProcess.h"
#include "ModalScript.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"
#include "app/ui/CompositionRoot.h"
#include "app/ui/MainFrameUnit.h"
#include "components/ui/ReportListView.h"
#include "device/ModbusMap.h"
#include "document/Document.h"
#include "editor/ui/ChannelMapModel.h"
#include "editor/ui/ChannelProps.h"
#include "editor/ui/CnlListVisor.h"
#include "execution/ui/ModbusMapExecUnit.h"
#include "execution/ui/TimePlot.h"
#include "execution/ui/UpdateChart.h"
#include "settings/AppOptions.h"

#include <QtTest>
#include <QtWidgets>

using namespace zorvan;
using namespace zorvan::test;

namespace {

QAction* act(const QObject& owner, const char* name) {
    return child<QAction>(owner, name);
}

PromptAnswer answerOf(char a) {
    return a == 'Y' ? PromptAnswer::Yes : a == 'N' ? PromptAnswer::No : PromptAnswer::Cancel;
}

// One run of the program; the scripted prompter goes over the root's own.
struct Program {
    CompositionRoot root;
    ScriptedPrompter prompter;
    TMainFrameDlg& window = *root.MainFrameDlg();
};

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

// An Alt key pressed in the window, made active first as a user's click would.
void pressAlt(QWidget& window, Qt::Key key) {
    window.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &window);
    QTest::keyClick(&window, key, Qt::AltModifier);
}

struct Step {
    const char *action, *file; // "+": the document changed first
    char answer;               // to the question about unsaved changes
    const char* shown;         // New Open Save SaveAs Close enabled, status panel, file in caption
};

// The first run starts with no document (it restores the empty last one), makes a new one of
// three channels saved as plant.zorvan unless `first` is "untitled", chooses a language (the
// first run starts in Russian), moves the window and exits with the answer given; the second
// run shows what it finds.
struct Runs {
    const char *first, *language, *questions;
    char answer;
    bool restore, warning, edited, closed;
    int channels; // in the second run; -1: no document open
    bool named;
    const char* yes; // Qt's own Yes button in the language chosen
};

} // namespace

class tst_MainFrame : public QObject {
    Q_OBJECT
private slots:
    void fileActions() {
        QTemporaryDir dir;
        ScriptedPrompter prompter;
        QVERIFY(!act(TMainFrameDlg(), "actNew")->isEnabled()); // no document link
        TDm dm;
        TMainFrameDlg window(&dm.Link);
        // clang-format off
        const Step steps[] = {
            {"", "", 0, "11011 - -"},
            {"+", "", 0, "11111 Modified -"},
            {"actNew", "", 'N', "11111 Modified -"}, // New clears the mark only after a save
            {"actSave", "m", 0, "11011 - m.zorvan"},
            {"+actNew", "", 'Y', "11011 - -"},
            {"+actClose", "", 'N', "11001 - -"},
            {"actOpen", "m.zorvan", 0, "11011 - m.zorvan"},
            {"+", "", 0, "11111 Modified m.zorvan"},
            {"actSaveAs", "c", 0, "11011 - c.zorvan"},
            {"actClose", "", 0, "11001 - -"},
        };
        // clang-format on
        for (const Step& s : steps) {
            if (s.answer)
                prompter.answers.push_back(answerOf(s.answer));
            if (*s.file)
                prompter.fileNames.push_back(dir.filePath(s.file));
            const char* name = s.action;
            if (*name == '+') {
                MarkModified();
                ++name;
            }
            if (*name)
                act(window, name)->trigger();
            QString shown;
            for (const char* action : {"actNew", "actOpen", "actSave", "actSaveAs", "actClose"})
                shown += act(window, action)->isEnabled() ? '1' : '0';
            const QString status = window.StatusPanelText(0);
            const QString file = QFileInfo(window.windowTitle().section(": ", 1)).fileName();
            shown +=
                u' ' + (status.isEmpty() ? "-" : status) + u' ' + (file.isEmpty() ? "-" : file);
            QCOMPARE(shown, QString(s.shown));
        }
    }

    void twoRuns_data() {
        // clang-format off
        addCases<Runs>({
            {"saved, Yes to the question", {"saved", "actUkrainian", "Закрити програму?", 'Y', true, true, false, true, 3, true, "Т&ак"}},
            {"No to the question: nothing stored", {"saved", "actEnglish", "Close Application?", 'N', true, true, false, false, -1, false, "&Yes"}},
            {"changes kept by Cancel", {"saved", "actRussian", "Документ был изменён. Сохранить изменения?", 'C', true, false, true, false, 3, true, "&Да"}},
            {"untitled: nothing reopens", {"untitled", "actEnglish", "", 0, true, false, false, true, -1, false, "&Yes"}},
            {"deleted: an empty map under its name", {"deleted", "actEnglish", "", 0, true, false, false, true, 0, true, "&Yes"}},
            {"restore off: a new map", {"saved", "actUkrainian", "", 0, false, false, false, true, 0, false, "Т&ак"}},
        });
        // clang-format on
    }
    void twoRuns() {
        QFETCH(Runs, c);
        TempConfigHome home;
        QTemporaryDir dir;
        const QString file = dir.filePath("plant.zorvan");
        QString language;
        {
            Program run;
            run.window.show();
            Options()->RestoreLastDocument->setValue(c.restore);
            Options()->WarningBeforeClosing->setValue(c.warning);
            act(run.window, "actNew")->trigger();
            if (QByteArray(c.first) != "untitled") {
                for (const char* name : {"Flow", "Level", "Temp"})
                    CurrentImage()->Map()->Add()->TagName = name;
                run.prompter.fileNames = {file};
                act(run.window, "actSaveAs")->trigger();
            }
            if (c.edited)
                MarkModified();
            act(run.window, c.language)->trigger();
            language = act(run.window, "actNew")->text();
            // The chosen language alone checked, Qt's texts in it, every File entry its own
            // Alt letter.
            QString shown = QMessageBox(QMessageBox::Question, "", "", QMessageBox::Yes)
                                .button(QMessageBox::Yes)
                                ->text();
            for (QAction* a : child<QMenu>(run.window, "LanguagesMenu")->actions())
                shown += a->isChecked() ? ' ' + a->objectName() : QString();
            QCOMPARE(shown, c.yes + QStringLiteral(" ") + c.language);
            QSet<QKeySequence> letters; // and the separator's none
            for (QAction* a : child<QMenu>(run.window, "FileMenu")->actions())
                letters << QKeySequence::mnemonic(a->text());
            QCOMPARE(letters.size(), 7);
            run.window.setGeometry(60, 45, 700, 480);
            if (c.answer)
                run.prompter.answers = {answerOf(c.answer)};
            act(run.window, "actExit")->trigger();
            QCOMPARE(run.prompter.questions().join(u'|'), QString(c.questions));
            QCOMPARE(run.window.isVisible(), !c.closed);
        }
        if (QByteArray(c.first) == "deleted")
            QVERIFY(QFile::remove(file));
        Program run;
        run.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&run.window) && run.prompter.records.isEmpty());
        QCOMPARE(Dm()->Link.Active(), c.channels >= 0);
        QCOMPARE(run.root.CnlListVisorView()->isVisible(), c.channels >= 0);
        QCOMPARE(CurrentImage()->Map()->Count(), std::max(c.channels, 0));
        QCOMPARE(run.window.windowTitle(), c.named ? "Zorvan: " + file : "Zorvan");
        QCOMPARE(run.window.geometry(), QRect(60, 45, 700, 480));
        QCOMPARE(act(run.window, "actNew")->text(), language);
    }

    // Options, the tag list from the device, two tags dragged into the map, a byte order picked,
    // upload, download over a changed map, a note edited, execution with a set value, About, save
    // and reopen.
    void journey() {
        if (DevsimProcess::program().isEmpty())
            QSKIP("no simulator in this build");
        TempConfigHome home;
        QTemporaryDir scratch;
        DevsimProcess device; // the demo device on COM5 of this settings folder
        QVERIFY2(device.start({"--com", "5", "--flash", scratch.filePath("flash.bin")}),
                 qPrintable(device.errorText()));
        Program run;
        TMainFrameDlg& window = run.window;
        TCnlListVisorView& view = *run.root.CnlListVisorView();
        TModbusMapExecDlg& exec = *ModbusMapExecDlg();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.setGeometry(30, 20, 1100, 640);
        act(window, "actNew")->trigger(); // a first run has no last document to reopen

        // Options: the device's port, no tool bar, English; taken when the dialog closes, the
        // window staying where it is although the dialog reloads the settings.
        QTimer::singleShot(0, [] {
            Options()->Port->setValue(5);
            Options()->ViewToolBar->setValue(false);
            Options()->CurrLanguageID->setValue(2305);
            QApplication::activeModalWidget()->close();
        });
        act(window, "actOptions")->trigger();
        QVERIFY(!child<QWidget>(window, "ActionToolBarPanel")->isVisible());
        QCOMPARE(window.geometry().topLeft(), QPoint(30, 20));

        // The demo catalogue in the Tags list; its TEMP1 (Float, tag 0) and DELTA_T (Int, tag 5)
        // dragged into the map; "w:01 - dw:1032" picked in the Options list. Buttons and menus are
        // reached by their Alt keys here.
        pressAlt(window, Qt::Key_T);
        QTRY_VERIFY(view.TagModel()->rowCount() > 5);
        for (int row : {0, 5})
            child<TReportListView>(view, "TagLV")
                ->selectionModel()
                ->select(view.TagModel()->index(row, 0),
                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QVERIFY(view.TagLVStartDrag());
        view.LVDragDrop(-1);
        QString built = "0|Float|1|TEMP1||2|Int|6|DELTA_T|";
        QCOMPARE(cells(view.MapModel()), built);
        QTest::keyClick(child<QComboBox>(view, "OptionsCB"), Qt::Key_End);
        QTest::keyClick(child<QComboBox>(view, "OptionsCB"), Qt::Key_Up);

        // Upload, other options saved, then the device's map downloaded: the document holds the
        // uploaded map again, changed from what was saved, so modified.
        act(view, "actUpLoad")->trigger();
        CurrentImage()->Options = 1;
        Dm()->Link.ClearModified();
        act(view, "actDownLoadCurrMap")->trigger();
        QCOMPARE(cells(view.MapModel()), built);
        QCOMPARE(child<QComboBox>(view, "OptionsCB")->currentIndex(), 6);
        QCOMPARE(window.StatusPanelText(0), QStringLiteral("Modified"));
        shoot(window, "main-window");
        shoot(view, "editor");

        // A note through the channel properties dialog, Enter applying it.
        child<TReportListView>(view, "LV")->selectRow(1);
        ModalScript props(run.root.ChannelPropsDlg());
        props.steps.push_back([](QDialog& d) {
            shoot(d, "channel-properties");
            QTest::keyClicks(d.focusWidget(), "pump");
            QTest::keyClick(d.focusWidget(), Qt::Key_Return);
        });
        act(view, "actEdit")->trigger();
        built += "pump";
        QCOMPARE(cells(view.MapModel()), built);

        // The values live from the device, the Int one set, a chart drawn; then Esc stops and
        // closes.
        ModalScript script(&exec);
        script.steps.push_back([&](QDialog&) {
            const auto exit = qScopeGuard([&] {
                if (exec.isVisible())
                    exec.actExitExecute();
            });
            exec.ValueModel()->setData(exec.ValueModel()->index(0, 0), Qt::Checked,
                                       Qt::CheckStateRole);
            pressAlt(exec, Qt::Key_S);
            QTRY_VERIFY(!act(exec, "actStart")->isEnabled());
            child<TReportListView>(exec, "ValueLV")->selectRow(1);
            run.prompter.texts.push_back(QStringLiteral("1234"));
            exec.actSetValueExecute();
            const auto value = [&](int row) { return exec.ValueModel()->index(row, 2).data(); };
            QTRY_COMPARE_WITH_TIMEOUT(value(1).toString(), QStringLiteral("1234"), 10000);
            QTRY_VERIFY_WITH_TIMEOUT(exec.ValueModel()->Profile(0).Series->count() >= 40, 10000);
            QCOMPARE(child<QLineEdit>(exec, "ErrorCountEdit")->text(), QStringLiteral("0"));
            // Labels whole: each inside the plot, as wide as its text, apart from the next.
            auto* plot = child<TTimePlot>(exec, "Chart");
            const TTimePlot::Layout at = plot->layout();
            QVERIFY(at.timeLabels.size() >= 2 && at.valueLabels.size() >= 2);
            for (const auto* labels : {&at.timeLabels, &at.valueLabels})
                for (qsizetype i = 0; i < labels->size(); ++i) {
                    const TTimePlot::Label& label = labels->at(i);
                    QVERIFY2(plot->rect().contains(label.rect) &&
                                 plot->fontMetrics().horizontalAdvance(label.text) <=
                                     label.rect.width(),
                             qPrintable(label.text));
                    if (i > 0 && labels == &at.timeLabels)
                        QVERIFY(labels->at(i - 1).rect.right() < label.rect.left());
                }
            // The legend's names whole, and the plot most of the chart's width.
            auto* legend = child<QListWidget>(exec, "ChartLegend");
            QTRY_COMPARE(legend->count(), 1);
            QVERIFY(legend->fontMetrics().horizontalAdvance(legend->item(0)->text()) +
                        legend->iconSize().width() <
                    legend->viewport()->width());
            QVERIFY(at.plotArea.width() > 0.6 * (plot->width() + legend->width()));
            shoot(exec, "execution");
            pressAlt(exec, Qt::Key_T);
            QTRY_VERIFY(act(exec, "actStart")->isEnabled());
            QTest::keyClick(&exec, Qt::Key_Escape);
        });
        pressAlt(window, Qt::Key_M);
        QTRY_VERIFY(script.shows == 1 && script.leftOpen == 0 &&
                    !ModbusMapConn()->PortDrv.IsOpen());
        QTimer::singleShot(0, [] {
            shoot(*QApplication::activeModalWidget(), "about");
            QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape);
        });
        act(window, "actAbout")->trigger();

        // Saved under a name, closed and opened again.
        const QString file = scratch.filePath("journey.zorvan");
        run.prompter.fileNames = {file, file};
        pressAlt(window, Qt::Key_F);
        QTest::keyClick(QApplication::activePopupWidget(), Qt::Key_S);
        act(window, "actClose")->trigger();
        act(window, "actOpen")->trigger();
        QCOMPARE(cells(view.MapModel()), built);
        QCOMPARE(CurrentImage()->Options, 6u);
        QCOMPARE(window.windowTitle(), "Zorvan: " + file);
        QCOMPARE(run.prompter.messages() + run.prompter.questions(), QStringList());
    }
};

QTEST_MAIN(tst_MainFrame)
#include "tst_MainFrame.moc"
