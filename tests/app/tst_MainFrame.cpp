// The main window: its File actions' enabling, status panel and caption following the document
// through a session, and two runs of the program: the closing question, the last document, the
// window's geometry and the interface language carried from the first run to the second.

#include "Cases.h"
#include "Child.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"
#include "app/ui/CompositionRoot.h"
#include "app/ui/MainFrameUnit.h"
#include "document/Document.h"
#include "editor/ui/CnlListVisor.h"
#include "settings/AppOptions.h"

#include <QtTest>
#include <QtWidgets>

using namespace zorvan;
using namespace zorvan::test;

namespace {

// One run of the program; the scripted prompter goes over the root's own.
struct Program {
    CompositionRoot root;
    ScriptedPrompter prompter;

    TMainFrameDlg& window() { return *root.MainFrameDlg(); }
    QAction* action(const char* name) { return child<QAction>(window(), name); }
    bool show() {
        window().show();
        return QTest::qWaitForWindowExposed(&window());
    }
};

struct Step {
    const char *action, *file; // "edit" changes the document
    char answer;               // to the question about unsaved changes
    const char* shown;         // New Open Save SaveAs Close enabled, status panel, file in caption
};

// The first run starts with no document (it restores the empty last one), makes a new one of
// three channels saved as plant.zorvan unless `first` is "untitled", chooses a language, moves
// the window and exits with the answers given; the second run shows what it finds.
struct Runs {
    const char *first, *language, *answer, *questions;
    bool restore, warning, edited, closed;
    int channels; // in the second run; -1: no document open
    bool named;
};

} // namespace

class tst_MainFrame : public QObject {
    Q_OBJECT
private slots:
    void fileActions() {
        QTemporaryDir dir;
        ScriptedPrompter prompter;
        QCOMPARE(TMainFrameDlg().findChild<QAction*>("actNew")->isEnabled(), false); // no link
        TDm dm;
        TMainFrameDlg window(&dm.Link);
        // clang-format off
        const Step steps[] = {
            {"", "", 0, "11011 - -"},
            {"edit", "", 0, "11111 Modified -"},
            {"actNew", "", 'N', "11111 Modified -"}, // New clears the mark only after a save
            {"actSave", "m", 0, "11011 - m.zorvan"},
            {"edit", "", 0, "11111 Modified m.zorvan"},
            {"actNew", "", 'Y', "11011 - -"},
            {"edit", "", 0, "11111 Modified -"},
            {"actClose", "", 'N', "11001 - -"},
            {"actOpen", "m.zorvan", 0, "11011 - m.zorvan"},
            {"edit", "", 0, "11111 Modified m.zorvan"},
            {"actSaveAs", "c", 0, "11011 - c.zorvan"},
            {"actClose", "", 0, "11001 - -"},
        };
        // clang-format on
        for (const Step& s : steps) {
            if (s.answer)
                prompter.answers.push_back(s.answer == 'Y' ? PromptAnswer::Yes : PromptAnswer::No);
            if (*s.file)
                prompter.fileNames.push_back(dir.filePath(s.file));
            if (QByteArray(s.action) == "edit")
                MarkModified();
            else if (*s.action)
                child<QAction>(window, s.action)->trigger();
            QString shown;
            for (const char* name : {"actNew", "actOpen", "actSave", "actSaveAs", "actClose"})
                shown += child<QAction>(window, name)->isEnabled() ? '1' : '0';
            const QString status = window.StatusPanelText(0);
            const QString file = QFileInfo(window.windowTitle().section(": ", 1)).fileName();
            shown +=
                u' ' + (status.isEmpty() ? "-" : status) + u' ' + (file.isEmpty() ? "-" : file);
            QCOMPARE(shown, QString(s.shown));
            QVERIFY(window.windowTitle().startsWith("Zorvan"));
        }
    }

    void twoRuns_data() {
        // clang-format off
        addCases<Runs>({
            {"saved, Yes to the question", {"saved", "actUkrainian", "Y", "Закрити програму?", true, true, false, true, 3, true}},
            {"No to the question: nothing stored", {"saved", "actEnglish", "N", "Close Application?", true, true, false, false, -1, false}},
            {"changes kept by Cancel", {"saved", "actRussian", "C", "Документ был изменён. Сохранить изменения?", true, false, true, false, 3, true}},
            {"untitled: nothing reopens", {"untitled", "actEnglish", "", "", true, false, false, true, -1, false}},
            {"deleted: an empty map under its name", {"deleted", "actEnglish", "", "", true, false, false, true, 0, true}},
            {"restore off: a new map", {"saved", "actUkrainian", "", "", false, false, false, true, 0, false}},
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
            QVERIFY(run.show());
            Options()->RestoreLastDocument->setValue(c.restore);
            Options()->WarningBeforeClosing->setValue(c.warning);
            QVERIFY(!Dm()->Link.Active());
            run.action("actNew")->trigger();
            if (QByteArray(c.first) != "untitled") {
                for (const char* name : {"Flow", "Level", "Temp"})
                    CurrentImage()->Map()->Add()->TagName = name;
                run.prompter.fileNames = {file};
                run.action("actSaveAs")->trigger();
            }
            if (c.edited)
                MarkModified();
            run.action(c.language)->trigger();
            language = run.action("actNew")->text();
            run.window().move(60, 45);
            run.window().resize(700, 480);
            if (*c.answer)
                run.prompter.answers = {*c.answer == 'Y'   ? PromptAnswer::Yes
                                        : *c.answer == 'N' ? PromptAnswer::No
                                                           : PromptAnswer::Cancel};
            run.action("actExit")->trigger();
            QCOMPARE(run.prompter.questions().join(u'|'), QString(c.questions));
            QCOMPARE(run.window().isVisible(), !c.closed);
        }
        if (QByteArray(c.first) == "deleted")
            QVERIFY(QFile::remove(file));
        Program run;
        QVERIFY(run.show());
        QVERIFY(run.prompter.records.isEmpty());
        QCOMPARE(Dm()->Link.Active(), c.channels >= 0);
        QCOMPARE(run.root.CnlListVisorView()->isVisible(), c.channels >= 0);
        QCOMPARE(CurrentImage()->Map()->Count(), std::max(c.channels, 0));
        QVERIFY(!Dm()->Link.Modified());
        QCOMPARE(run.window().windowTitle(), c.named ? "Zorvan: " + file : "Zorvan");
        QCOMPARE(QRect(run.window().pos(), run.window().size()), QRect(60, 45, 700, 480));
        QCOMPARE(run.action("actNew")->text(), language);
    }
};

QTEST_MAIN(tst_MainFrame)
#include "tst_MainFrame.moc"
