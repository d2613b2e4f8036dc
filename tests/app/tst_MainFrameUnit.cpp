#include "Child.h"
#include "FakeDocument.h"
#include "ScriptedPrompter.h"
#include "app/ui/AboutUnit.h"
#include "app/ui/MainFrameUnit.h"
#include "components/ui/MDVViewsContainer.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolBar>

using namespace zorvan;
using zorvan::test::child;
using zorvan::test::FakeDocument;
using zorvan::test::ScriptedPrompter;

namespace {

// A view that counts what the container asks of it.
class CountingView final : public TCustomView {
public:
    int updates = 0;
    int languages = 0;
    void UpdateView() override { ++updates; }
    void UpdateLanguage() override { ++languages; }
};

QStringList entries(const QMenu* menu) {
    QStringList out;
    for (const QAction* a : menu->actions())
        out << (a->isSeparator() ? QString("-") : a->menu() ? a->menu()->title() : a->text());
    return out;
}

QStringList toolEntries(const QToolBar* bar) {
    QStringList out;
    for (const QAction* a : bar->actions())
        out << (a->isSeparator() ? QString("-") : a->objectName());
    return out;
}

} // namespace

class TestMainFrameUnit : public QObject {
    Q_OBJECT

private slots:
    void actionEnabling_data();
    void actionEnabling();
    void enablingFollowsIdle();
    void statusPanelFollowsModified();
    void captionFollowsFile();
    void menusAndToolBars();
    void languageActions_data();
    void languageActions();
    void shortcutsAndImages();
    void closing_data();
    void closing();
    void aboutDialog();
    void viewsContainer();
    void renderToPng();
};

// Enabling of every action in each document state (and without a document link).
void TestMainFrameUnit::actionEnabling_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("enabled"); // New Open Save SaveAs Close Exit Options Lang*3 About
    QTest::newRow("no link") << "nolink"
                             << "00000111111";
    QTest::newRow("none open") << "none"
                               << "11001111111";
    QTest::newRow("new untitled") << "untitled"
                                  << "11011111111";
    QTest::newRow("changed untitled") << "untitledChanged"
                                      << "11111111111";
    QTest::newRow("open and saved") << "saved"
                                    << "11011111111";
    QTest::newRow("open and changed") << "savedChanged"
                                      << "11111111111";
}

void TestMainFrameUnit::actionEnabling() {
    QFETCH(QString, state);
    QFETCH(QString, enabled);
    QTemporaryDir dir;
    FakeDocument::WriteFile(dir.filePath("a.zorvan"), "A");
    ScriptedPrompter prompter;
    FakeDocument doc;
    TMainFrameDlg window(state == "nolink" ? nullptr : &doc.Link);
    if (state.startsWith("untitled"))
        window.MDVAgent.NewDocument();
    if (state.startsWith("saved"))
        QVERIFY(window.MDVAgent.OpenDocument(dir.filePath("a.zorvan")));
    if (state.endsWith("Changed"))
        doc.Edit("changed");
    window.UpdateActions();
    const QList<QAction*> actions{
        child<QAction>(window, "actNew"),     child<QAction>(window, "actOpen"),
        child<QAction>(window, "actSave"),    child<QAction>(window, "actSaveAs"),
        child<QAction>(window, "actClose"),   child<QAction>(window, "actExit"),
        child<QAction>(window, "actOptions"), child<QAction>(window, "actEnglish"),
        child<QAction>(window, "actRussian"), child<QAction>(window, "actUkrainian"),
        child<QAction>(window, "actAbout")};
    QString seen;
    for (const QAction* a : actions)
        seen += a->isEnabled() ? '1' : '0';
    QCOMPARE(seen, enabled);
}

// A change made outside the window (an edit in a view) reaches the actions without a call.
void TestMainFrameUnit::enablingFollowsIdle() {
    FakeDocument doc;
    TMainFrameDlg window(&doc.Link);
    QVERIFY(!child<QAction>(window, "actSaveAs")->isEnabled());
    doc.Link.NewDocument(); // no modified-change notification comes from this
    QTRY_VERIFY_WITH_TIMEOUT(child<QAction>(window, "actSaveAs")->isEnabled(), 2000);
    QVERIFY(!child<QAction>(window, "actSave")->isEnabled());
    doc.Edit("x");
    QVERIFY(child<QAction>(window, "actSave")->isEnabled());
}

void TestMainFrameUnit::statusPanelFollowsModified() {
    QTemporaryDir dir;
    ScriptedPrompter prompter;
    FakeDocument doc;
    doc.Link.NewDocument();
    TMainFrameDlg window(&doc.Link);
    QCOMPARE(window.StatusPanelText(0), QString());
    doc.Edit("x");
    QCOMPARE(window.StatusPanelText(0), QString("Modified"));
    QCOMPARE(window.StatusPanelText(1), QString());
    // New with No keeps the changes marked.
    prompter.answers = {PromptAnswer::No};
    child<QAction>(window, "actNew")->trigger();
    QCOMPARE(window.StatusPanelText(0), QString("Modified"));
    // Save through the dialog clears it.
    prompter.answers.clear();
    prompter.fileNames = {dir.filePath("m")};
    child<QAction>(window, "actSave")->trigger();
    QCOMPARE(window.StatusPanelText(0), QString());
    QCOMPARE(FakeDocument::ReadFile(dir.filePath("m.zorvan")), QString());
    doc.Edit("y");
    QCOMPARE(window.StatusPanelText(0), QString("Modified"));
    prompter.answers = {PromptAnswer::No};
    child<QAction>(window, "actClose")->trigger();
    QCOMPARE(window.StatusPanelText(0), QString());

    // The panels' design: 100 wide centred, 50 wide.
    const auto panels = child<QStatusBar>(window, "StatusBar")->findChildren<QLabel*>();
    QCOMPARE(panels.size(), 2);
    QCOMPARE(panels[0]->width(), 100);
    QVERIFY(panels[0]->alignment() & Qt::AlignHCenter);
    QCOMPARE(panels[1]->width(), 50);
}

void TestMainFrameUnit::captionFollowsFile() {
    QTemporaryDir dir;
    FakeDocument::WriteFile(dir.filePath("b.zorvan"), "B");
    ScriptedPrompter prompter;
    FakeDocument doc;
    doc.Link.NewDocument();
    TMainFrameDlg window(&doc.Link);
    QCOMPARE(window.windowTitle(), QString("Zorvan"));
    QCOMPARE(window.MDVAgent.FileExtention, QString("zorvan"));
    prompter.fileNames = {dir.filePath("b.zorvan")};
    child<QAction>(window, "actOpen")->trigger();
    QCOMPARE(window.windowTitle(), "Zorvan: " + dir.filePath("b.zorvan"));
    QCOMPARE(doc.Content, QString("B"));
    prompter.fileNames = {dir.filePath("c")};
    doc.Edit("C");
    child<QAction>(window, "actSaveAs")->trigger();
    QCOMPARE(window.windowTitle(), "Zorvan: " + dir.filePath("c.zorvan"));
    child<QAction>(window, "actClose")->trigger();
    QCOMPARE(window.windowTitle(), QString("Zorvan"));
    QVERIFY(!doc.Link.Active());
}

void TestMainFrameUnit::menusAndToolBars() {
    TMainFrameDlg window; // no link: the design captions stay
    QStringList top;
    for (const QAction* a : window.menuBar()->actions())
        top << (a->menu() ? a->menu()->title() : a->text());
    QCOMPARE(top, (QStringList{"&File", "&Service", "About"}));
    QCOMPARE(entries(child<QMenu>(window, "FileMenu")),
             (QStringList{"&New", "&Open", "&Save", "S&aveAs ...", "&Close", "-", "&Exit"}));
    QCOMPARE(entries(child<QMenu>(window, "ServiceMenu")), (QStringList{"&Languages", "&Options"}));
    QCOMPARE(entries(child<QMenu>(window, "LanguagesMenu")),
             (QStringList{"&English", "Русский", "Українська"}));
    QCOMPARE(toolEntries(child<QToolBar>(window, "LeftToolBar")),
             (QStringList{"actNew", "actOpen", "actSave", "-"}));
    QCOMPARE(toolEntries(child<QToolBar>(window, "RightToolBar")), QStringList{"actOptions"});
    QVERIFY(child<TMDVViewsContainer>(window, "ViewContainer")->Views().isEmpty());
    QVERIFY(window.MDVAgent.ViewsContainer == child<TMDVViewsContainer>(window, "ViewContainer"));
}

// The File and Options captions follow the chosen language; menus keep their titles.
void TestMainFrameUnit::languageActions_data() {
    QTest::addColumn<QString>("choose");
    QTest::addColumn<QStringList>("fileEntries");
    QTest::addColumn<QString>("options");
    QTest::addColumn<QString>("question");
    QTest::newRow("russian") << "actRussian"
                             << QStringList{"Новый",   "Открыть", "Сохранить", "Сохранить как...",
                                            "Закрыть", "-",       "Выход"}
                             << "Опции"
                             << "Документ был изменён. Сохранить изменения?";
    QTest::newRow("ukrainian") << "actUkrainian"
                               << QStringList{"Новий",   "Вiдкрити", "Зберегти", "Зберегти як...",
                                              "Закрити", "-",        "Вихiд"}
                               << "Опцiї"
                               << "Документ був змiнений. Зберегти змiни?";
    QTest::newRow("english") << "actEnglish" << QStringList{"New",   "Open", "Save", "Save As...",
                                                            "Close", "-",    "Exit"}
                             << "Options"
                             << "Document has been modified. Save changes?";
}

void TestMainFrameUnit::languageActions() {
    QFETCH(QString, choose);
    QFETCH(QStringList, fileEntries);
    QFETCH(QString, options);
    QFETCH(QString, question);
    ScriptedPrompter prompter;
    FakeDocument doc;
    doc.Link.NewDocument();
    TMainFrameDlg window(&doc.Link);
    // Start from another language than the one chosen.
    if (choose == "actEnglish")
        child<QAction>(window, "actUkrainian")->trigger();
    else
        child<QAction>(window, "actEnglish")->trigger();
    window.findChild<QAction*>(choose)->trigger();
    QCOMPARE(entries(child<QMenu>(window, "FileMenu")), fileEntries);
    QCOMPARE(child<QAction>(window, "actOptions")->text(), options);
    QCOMPARE(entries(child<QMenu>(window, "LanguagesMenu")),
             (QStringList{"&English", "Русский", "Українська"}));
    QCOMPARE(child<QMenu>(window, "FileMenu")->title(), QString("&File"));
    doc.Edit("x");
    prompter.answers = {PromptAnswer::Cancel};
    child<QAction>(window, "actNew")->trigger();
    QCOMPARE(prompter.questions(), QStringList{question});
}

void TestMainFrameUnit::shortcutsAndImages() {
    TMainFrameDlg window;
    QCOMPARE(child<QAction>(window, "actNew")->shortcut(), QKeySequence("Ctrl+N"));
    QCOMPARE(child<QAction>(window, "actOpen")->shortcut(), QKeySequence("Ctrl+O"));
    QCOMPARE(child<QAction>(window, "actSave")->shortcut(), QKeySequence("Ctrl+S"));
    QCOMPARE(child<QAction>(window, "actClose")->shortcut(), QKeySequence("Alt+X"));
    QCOMPARE(child<QAction>(window, "actExit")->shortcut(), QKeySequence("Esc"));
    QCOMPARE(child<QAction>(window, "actOptions")->shortcut(), QKeySequence("Ctrl+I"));
    for (QAction* a : {child<QAction>(window, "actSaveAs"), child<QAction>(window, "actEnglish"),
                       child<QAction>(window, "actRussian"), child<QAction>(window, "actUkrainian"),
                       child<QAction>(window, "actAbout")})
        QVERIFY2(a->shortcut().isEmpty(), qPrintable(a->objectName()));
    QCOMPARE(window.MenuImageList.size(), 4);
    for (const QIcon& icon : window.MenuImageList)
        QVERIFY(!icon.pixmap(24, 24).isNull());
    QCOMPARE(child<QToolBar>(window, "LeftToolBar")->iconSize(), QSize(24, 24));
    QVERIFY(child<QAction>(window, "actSaveAs")->icon().isNull());
    QVERIFY(child<QAction>(window, "actClose")->icon().isNull());
}

// Closing the window goes through the agent's save prompt.
void TestMainFrameUnit::closing_data() {
    QTest::addColumn<bool>("link");
    QTest::addColumn<bool>("modified");
    QTest::addColumn<QString>("answers");
    QTest::addColumn<bool>("closed");
    QTest::addColumn<int>("questions");
    QTest::newRow("no link") << false << false << "" << true << 0;
    QTest::newRow("unchanged") << true << false << "" << true << 0;
    QTest::newRow("changed, cancel") << true << true << "C" << false << 1;
    QTest::newRow("changed, no") << true << true << "N" << true << 1;
    QTest::newRow("changed, yes, dialog cancelled") << true << true << "Y" << false << 1;
}

void TestMainFrameUnit::closing() {
    QFETCH(bool, link);
    QFETCH(bool, modified);
    QFETCH(QString, answers);
    QFETCH(bool, closed);
    QFETCH(int, questions);
    ScriptedPrompter prompter;
    for (QChar c : answers)
        prompter.answers.push_back(c == 'Y'   ? PromptAnswer::Yes
                                   : c == 'N' ? PromptAnswer::No
                                              : PromptAnswer::Cancel);
    FakeDocument doc;
    doc.Link.NewDocument();
    if (modified)
        doc.Edit("x");
    TMainFrameDlg window(link ? &doc.Link : nullptr);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::keyClick(&window, Qt::Key_Escape); // actExit
    QCOMPARE(window.isVisible(), !closed);
    QCOMPARE(prompter.questions().size(), questions);
    QCOMPARE(doc.Link.Active(), !(closed && link));
    QCOMPARE(doc.Link.Modified(), modified && !closed);
}

void TestMainFrameUnit::aboutDialog() {
    TMainFrameDlg window;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QString caption, label;
    bool closedByEscape = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TAboutDlg*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        caption = dialog->windowTitle();
        label = child<QLabel>(dialog, "VersionLabel")->text();
        QTest::keyClick(dialog, Qt::Key_Escape);
        closedByEscape = !dialog->isVisible();
        dialog->close(); // never leave the test blocked
    });
    child<QAction>(window, "actAbout")->trigger();
    QCOMPARE(caption, QString("About"));
    QCOMPARE(label, QString("Version 2017.08.28"));
    QVERIFY(closedByEscape);
    QVERIFY(window.findChildren<TAboutDlg*>().isEmpty()); // destroyed after it closed
    QVERIFY(window.isVisible());
}

void TestMainFrameUnit::viewsContainer() {
    auto container = std::make_unique<TMDVViewsContainer>();
    auto first = std::make_unique<CountingView>();
    auto second = std::make_unique<CountingView>();
    auto third = std::make_unique<CountingView>();
    container->AddView(nullptr);
    QVERIFY(container->Views().isEmpty());
    QVERIFY(container->DefaultView() == nullptr);
    container->AddView(first.get());
    container->AddView(second.get());
    container->AddView(third.get());
    QCOMPARE(container->Views(), (QList<TCustomView*>{first.get(), second.get(), third.get()}));
    QCOMPARE(container->DefaultView(), first.get());
    QVERIFY(container->ActiveView() == nullptr);
    container->show();
    QVERIFY(first->isHidden() && second->isHidden() && third->isHidden());
    container->SetActiveView(second.get());
    QVERIFY(second->isVisible() && first->isHidden());
    container->ActivateDefaultView();
    QVERIFY(first->isVisible() && second->isHidden());
    container->UpdateViews(second.get());
    QCOMPARE(first->updates, 1);
    QCOMPARE(second->updates, 0);
    QCOMPARE(third->updates, 1);
    container->UpdateLanguage();
    QCOMPARE(first->languages + second->languages + third->languages, 3);
    container->DeactivateView();
    QVERIFY(container->ActiveView() == nullptr && first->isHidden());
    // A view destroyed by its owner drops out; destroying the container leaves the rest alive.
    third.reset();
    QCOMPARE(container->Views().size(), 2);
    container.reset();
    QVERIFY(first->parent() == nullptr);
    QVERIFY(second->parent() == nullptr);
}

void TestMainFrameUnit::renderToPng() {
    ScriptedPrompter prompter;
    FakeDocument doc;
    doc.Link.NewDocument();
    TMainFrameDlg window(&doc.Link);
    child<QAction>(window, "actRussian")->trigger();
    doc.Edit("x");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QString path = QDir(ZORVAN_TEST_OUTPUT_DIR).filePath("MainFrameDlg.png");
    const QImage image = window.grab().toImage();
    QCOMPARE(image.size(), QSize(825, 501));
    QVERIFY(image.save(path));
    QVERIFY(QFileInfo(path).size() > 0);
}

QTEST_MAIN(TestMainFrameUnit)
#include "tst_MainFrameUnit.moc"
