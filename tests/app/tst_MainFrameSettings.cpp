#include "Child.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"
#include "app/ui/AboutUnit.h"
#include "app/ui/CompositionRoot.h"
#include "app/ui/MainFrameUnit.h"
#include "components/ui/CustomView.h"
#include "components/ui/MDVViewsContainer.h"
#include "device/ModbusMap.h"
#include "document/Document.h"
#include "editor/ui/CnlListVisor.h"
#include "settings/AppOptions.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace zorvan;
using zorvan::test::child;
using zorvan::test::ScriptedPrompter;
using zorvan::test::TempConfigHome;

namespace {

// One run of the program: the composition root, then a scripted prompter installed over the
// root's own, so that questions are answered from the test; the prompter goes first.
struct ProgramRun {
    CompositionRoot root;
    ScriptedPrompter prompter;

    TMainFrameDlg& window() { return *root.MainFrameDlg(); }
    TOptions& options() { return *Options(); }
    TMDVDocumentLink& link() { return Dm()->Link; }

    bool show() {
        window().show();
        return QTest::qWaitForWindowExposed(&window());
    }
};

// The settings as the store holds them, read without writing anything back.
std::unique_ptr<TOptions> storedOptions() {
    auto options = std::make_unique<TOptions>();
    options->setSaveOnDestroy(false);
    return options;
}

void storeSettings(const std::function<void(TOptions&)>& change) {
    TOptions options;
    change(options);
}

// What the language shows: the File actions and Options, then the four settings' captions.
QStringList shownTexts(ProgramRun& run) {
    TMainFrameDlg& w = run.window();
    TOptions& o = run.options();
    return {child<QAction>(w, "actNew")->text(),
            child<QAction>(w, "actOpen")->text(),
            child<QAction>(w, "actSave")->text(),
            child<QAction>(w, "actSaveAs")->text(),
            child<QAction>(w, "actClose")->text(),
            child<QAction>(w, "actExit")->text(),
            child<QAction>(w, "actOptions")->text(),
            o.FrameworkOptions->Caption(),
            o.ViewToolBar->Caption(),
            o.WarningBeforeClosing->Caption(),
            o.RestoreLastDocument->Caption()};
}

const QStringList kEnglish{"New",           "Open",
                           "Save",          "Save As...",
                           "Close",         "Exit",
                           "Options",       "Framework options",
                           "View toolbar",  "Warning before clossing",
                           "Open last file"};
const QStringList kRussian{"Новый",
                           "Открыть",
                           "Сохранить",
                           "Сохранить как...",
                           "Закрыть",
                           "Выход",
                           "Опции",
                           "Опции каркаса",
                           "Отображать панель инструментов",
                           "Предупреждать о закрытии приложения",
                           "Открывать последний файл"};
const QStringList kUkrainian{"Новий",
                             "Вiдкрити",
                             "Зберегти",
                             "Зберегти як...",
                             "Закрити",
                             "Вихiд",
                             "Опцiї",
                             "Опциї каркаса",
                             "Показувати панель iнструментiв",
                             "Попереджувати про закриття програми",
                             "Вiдкрити останнiй файл"};

PromptAnswer answerOf(const QString& code) {
    return code == "Y" ? PromptAnswer::Yes : code == "N" ? PromptAnswer::No : PromptAnswer::Cancel;
}

} // namespace

class TestMainFrameSettings : public QObject {
    Q_OBJECT

private slots:
    void restoreLastDocument_data();
    void restoreLastDocument();
    void closeQuestion_data();
    void closeQuestion();
    void languageSwitchPersists_data();
    void languageSwitchPersists();
    void storedLanguageID_data();
    void storedLanguageID();
    void geometryHandlersLeaveWithWindow();
    void optionsActionReappliesSettings();
    void aboutDialogLayout();
    void renderToPng();
};

// The first run ends with an untitled map, a saved map, or a saved map whose file is then
// deleted; the second run starts from LastDocument.
void TestMainFrameSettings::restoreLastDocument_data() {
    QTest::addColumn<QString>("firstRun");
    QTest::addColumn<bool>("restore");
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("namedInCaption");
    QTest::addColumn<int>("channels");
    QTest::newRow("empty name closes the document") << "untitled" << true << false << false << 0;
    QTest::newRow("existing file opens") << "saved" << true << true << true << 3;
    QTest::newRow("missing file: empty map under its name")
        << "deleted" << true << true << true << 0;
    QTest::newRow("restore off: new untitled map") << "saved" << false << true << false << 0;
}

void TestMainFrameSettings::restoreLastDocument() {
    QFETCH(QString, firstRun);
    QFETCH(bool, restore);
    QFETCH(bool, active);
    QFETCH(bool, namedInCaption);
    QFETCH(int, channels);
    TempConfigHome home;
    QTemporaryDir dir;
    const QString file = dir.filePath("plant.zorvan");
    {
        ProgramRun run;
        QVERIFY(run.show());
        run.options().RestoreLastDocument->setValue(restore);
        // A first start restores the empty LastDocument: no document until New.
        QVERIFY(!run.link().Active());
        child<QAction>(run.window(), "actNew")->trigger();
        QVERIFY(run.link().Active());
        if (firstRun != "untitled") {
            for (const char* name : {"Flow", "Level", "Temp"}) {
                TChannelItem* item = CurrentImage()->Map()->Add();
                item->TagName = QString::fromLatin1(name);
                item->ParamType = 4;
            }
            MarkModified();
            run.prompter.fileNames = {dir.filePath("plant")};
            child<QAction>(run.window(), "actSaveAs")->trigger();
            QCOMPARE(run.window().MDVAgent.FileName(), file);
        }
        run.prompter.answers = {PromptAnswer::Yes}; // "Close Application?"
        QVERIFY(run.window().close());
        QCOMPARE(run.prompter.questions().size(), 1);
    }
    if (firstRun == "deleted")
        QVERIFY(QFile::remove(file));

    ProgramRun run;
    QVERIFY(run.show());
    QVERIFY2(run.prompter.records.isEmpty(), qPrintable(run.prompter.records.value(0).text));
    TMainFrameDlg& w = run.window();
    QCOMPARE(run.link().Active(), active);
    QVERIFY(!run.link().Modified());
    QCOMPARE(w.windowTitle(), namedInCaption ? "Zorvan: " + file : QString("Zorvan"));
    QCOMPARE(w.MDVAgent.FileName(), namedInCaption ? file : QString());
    QCOMPARE(CurrentImage()->Map()->Count(), channels);
    if (channels > 0)
        QCOMPARE(CurrentImage()->Map()->Items(2)->TagName, QString("Temp"));
    // The editor is shown exactly while a document is open.
    QVERIFY(run.root.CnlListVisorView() != nullptr);
    QCOMPARE(run.root.CnlListVisorView()->isVisible(), active);
    QCOMPARE(child<TMDVViewsContainer>(w, "ViewContainer")->ActiveView() != nullptr, active);
    w.UpdateActions();
    QVERIFY(child<QAction>(w, "actNew")->isEnabled() && child<QAction>(w, "actOpen")->isEnabled());
    QCOMPARE(child<QAction>(w, "actSaveAs")->isEnabled(), active);
    QVERIFY(!child<QAction>(w, "actSave")->isEnabled());
    // Restoring does not forget the name even when it did not open it.
    QCOMPARE(run.options().LastDocument->Value(), firstRun == "untitled" ? QString() : file);
}

void TestMainFrameSettings::closeQuestion_data() {
    QTest::addColumn<QString>("language");
    QTest::addColumn<bool>("warning");
    QTest::addColumn<QString>("answer");
    QTest::addColumn<QStringList>("questions");
    QTest::addColumn<bool>("closed");
    QTest::newRow("english, No") << "actEnglish" << true << "N" << QStringList{"Close Application?"}
                                 << false;
    QTest::newRow("russian, Yes") << "actRussian" << true << "Y"
                                  << QStringList{"Закрыть приложение?"} << true;
    QTest::newRow("ukrainian, box closed")
        << "actUkrainian" << true << "C" << QStringList{"Закрити програму?"} << false;
    QTest::newRow("no warning") << "actEnglish" << false << "" << QStringList{} << true;
}

void TestMainFrameSettings::closeQuestion() {
    QFETCH(QString, language);
    QFETCH(bool, warning);
    QFETCH(QString, answer);
    QFETCH(QStringList, questions);
    QFETCH(bool, closed);
    TempConfigHome home;
    QTemporaryDir dir;
    const QString earlier = dir.filePath("earlier.zorvan");
    const QString current = dir.filePath("current.zorvan");
    storeSettings([&](TOptions& o) {
        o.LastDocument->setValue(earlier);
        o.RestoreLastDocument->setValue(false);
        o.WarningBeforeClosing->setValue(warning);
    });
    {
        ProgramRun run;
        QVERIFY(run.show());
        TMainFrameDlg& w = run.window();
        run.window().findChild<QAction*>(language)->trigger();
        CurrentImage()->Map()->Add()->TagName = "Flow";
        MarkModified();
        run.prompter.fileNames = {current};
        child<QAction>(w, "actSaveAs")->trigger();
        run.prompter.records.clear();
        if (!answer.isEmpty())
            run.prompter.answers = {answerOf(answer)};

        child<QAction>(w, "actExit")->trigger();
        QCOMPARE(run.prompter.questions(), questions);
        QCOMPARE(w.isVisible(), !closed);
        QCOMPARE(run.options().LastDocument->Value(), closed ? current : earlier);
        // Nothing else happens on a refusal: the document stays open under its name.
        QCOMPARE(run.link().Active(), !closed);
        QCOMPARE(w.MDVAgent.FileName(), closed ? QString() : current);
    }
    QCOMPARE(storedOptions()->LastDocument->Value(), closed ? current : earlier);
}

// A language chosen from the menu re-captions at once, is stored, and is the language of the
// next run.
void TestMainFrameSettings::languageSwitchPersists_data() {
    QTest::addColumn<int>("startID");
    QTest::addColumn<QStringList>("startTexts");
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("id");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("russian to english") << 6400 << kRussian << "actEnglish" << 2305 << kEnglish;
    QTest::newRow("english to russian") << 2305 << kEnglish << "actRussian" << 6400 << kRussian;
    QTest::newRow("russian to ukrainian")
        << 6400 << kRussian << "actUkrainian" << 8704 << kUkrainian;
}

void TestMainFrameSettings::languageSwitchPersists() {
    QFETCH(int, startID);
    QFETCH(QStringList, startTexts);
    QFETCH(QString, action);
    QFETCH(int, id);
    QFETCH(QStringList, texts);
    TempConfigHome home;
    if (startID != 6400)
        storeSettings([&](TOptions& o) { o.CurrLanguageID->setValue(startID); });
    {
        ProgramRun run;
        QCOMPARE(shownTexts(run), startTexts);
        run.window().findChild<QAction*>(action)->trigger();
        QCOMPARE(shownTexts(run), texts);
        QCOMPARE(run.options().CurrLanguageID->Value(), id);
        // The menus keep their design titles.
        QCOMPARE(child<QMenu>(run.window(), "FileMenu")->title(), QString("&File"));
        QCOMPARE(child<QMenu>(run.window(), "LanguagesMenu")->title(), QString("&Languages"));
    }
    ProgramRun next;
    QCOMPARE(next.options().CurrLanguageID->Value(), id);
    QCOMPARE(shownTexts(next), texts);
}

// The language at start from the stored identifier; one that names no language leaves English
// and is not overwritten.
void TestMainFrameSettings::storedLanguageID_data() {
    QTest::addColumn<int>("stored");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("0") << 0 << kEnglish;
    QTest::newRow("primary 16: no such language") << 4096 << kEnglish;
    QTest::newRow("sub-language only") << 25 << kEnglish;
    QTest::newRow("russian primary, wrong sub") << 6401 << kEnglish;
    QTest::newRow("bits above the primary byte ignored") << 65536 + 8704 << kUkrainian;
    QTest::newRow("russian") << 6400 << kRussian;
}

void TestMainFrameSettings::storedLanguageID() {
    QFETCH(int, stored);
    QFETCH(QStringList, texts);
    TempConfigHome home;
    storeSettings([&](TOptions& o) { o.CurrLanguageID->setValue(stored); });
    {
        ProgramRun run;
        QCOMPARE(shownTexts(run), texts);
        QCOMPARE(run.options().CurrLanguageID->Value(), stored);
        run.options().DataContainer->Save();
    }
    QCOMPARE(storedOptions()->CurrLanguageID->Value(), stored);
}

// The settings module outlives the window: it must hold the window's last geometry and never
// call into the destroyed window, on a save nor on a reload.
void TestMainFrameSettings::geometryHandlersLeaveWithWindow() {
    TempConfigHome home;
    TOptions options;
    TDm dm;
    auto window = std::make_unique<TMainFrameDlg>(&dm.Link);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    // Bound: a reload moves the window, a save takes its coordinates.
    options.MainFrmLeft->setValue(150);
    options.MainFrmHeight->setValue(333);
    options.DataContainer->FireUpdateResource(true);
    QCOMPARE(window->x(), 150);
    QCOMPARE(window->height(), 333);
    window->move(77, 55);
    window->resize(700, 420);
    options.DataContainer->FireUpdateResource(false);
    QCOMPARE(options.MainFrmTop->Value(), 55);
    QCOMPARE(options.MainFrmWidth->Value(), 700);

    window->move(91, 66);
    window->resize(710, 430);
    window.reset();
    const QList<TRegInteger*> geometry{options.MainFrmLeft, options.MainFrmTop,
                                       options.MainFrmWidth, options.MainFrmHeight};
    const QList<int> expected{91, 66, 710, 430};
    for (int i = 0; i < 4; ++i) {
        QCOMPARE(geometry[i]->Value(), expected[i]);
        QVERIFY2(geometry[i]->Modified(), qPrintable(geometry[i]->objectName())); // to be written
        QVERIFY(!geometry[i]->OnUpdateResource);
    }
    // What the settings module does at the end and the options dialog at its start.
    options.DataContainer->FireUpdateResource(false);
    options.DataContainer->Save();
    options.DataContainer->Load();
    for (int i = 0; i < 4; ++i)
        QCOMPARE(geometry[i]->Value(), expected[i]);
}

// The options dialog's changes reach the port, the tool bar and the language when it closes;
// the window stays where the user put it although the dialog reloads the settings.
void TestMainFrameSettings::optionsActionReappliesSettings() {
    TempConfigHome home;
    ProgramRun run;
    QVERIFY(run.show());
    TMainFrameDlg& w = run.window();
    QVERIFY(child<QWidget>(w, "ActionToolBarPanel")->isVisible());
    w.move(60, 45);
    w.resize(720, 480);
    QString caption;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        caption = dialog->windowTitle();
        // What the user would set through the dialog's editors.
        run.options().ViewToolBar->setValue(false);
        run.options().CurrLanguageID->setValue(8704);
        run.options().Port->setValue(7);
        run.options().regDeviceAddress->setValue(17);
        dialog->reject();
    });
    child<QAction>(w, "actOptions")->trigger();
    QCOMPARE(caption, QString("Options"));
    QVERIFY(!child<QWidget>(w, "ActionToolBarPanel")->isVisible());
    QCOMPARE(shownTexts(run), kUkrainian);
    QCOMPARE(ModbusMapConn()->PortDrv.Port(), quint8(7));
    QCOMPARE(int(ModbusMapConn()->ZorvanSpace.DeviceAddress()), 17);
    QCOMPARE(QRect(w.pos(), w.size()), QRect(60, 45, 720, 480));
}

// A tool window of 326 by 111 with its label at 116, 49, centred on the main window wherever
// that stands.
void TestMainFrameSettings::aboutDialogLayout() {
    TempConfigHome home;
    ProgramRun run;
    QVERIFY(run.show());
    TMainFrameDlg& w = run.window();
    w.move(150, 90);
    w.resize(600, 420);
    QSize size;
    QPoint label;
    QPoint centre;
    bool tool = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TAboutDlg*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        size = dialog->size();
        label = child<QLabel>(dialog, "VersionLabel")->pos();
        centre = dialog->frameGeometry().center();
        tool = (dialog->windowFlags() & Qt::WindowType_Mask) == Qt::Tool;
        dialog->close();
    });
    child<QAction>(w, "actAbout")->trigger();
    QCOMPARE(size, QSize(326, 111));
    QCOMPARE(label, QPoint(116, 49));
    QVERIFY(tool);
    const QPoint offset = centre - w.frameGeometry().center();
    QVERIFY2(offset.manhattanLength() <= 2,
             qPrintable(QString("%1,%2").arg(offset.x()).arg(offset.y())));
}

void TestMainFrameSettings::renderToPng() {
    TempConfigHome home;
    storeSettings([](TOptions& o) { o.RestoreLastDocument->setValue(false); });
    ProgramRun run;
    QVERIFY(run.show());
    for (const char* name : {"Flow", "Level", "Temp"}) {
        TChannelItem* item = CurrentImage()->Map()->Add();
        item->TagName = QString::fromLatin1(name);
        item->Channel = 3;
        item->ParamType = 4;
    }
    MarkModified();
    run.root.CnlListVisorView()->UpdateView();
    const QDir out(ZORVAN_TEST_OUTPUT_DIR);
    struct Shot {
        const char* action;
        const char* file;
        QString saveText;
    };
    for (const Shot& shot : {Shot{"actRussian", "MainWindow-ru.png", "Сохранить"},
                             Shot{"actEnglish", "MainWindow-en.png", "Save"}}) {
        run.window().findChild<QAction*>(shot.action)->trigger();
        QCOMPARE(child<QAction>(run.window(), "actSave")->text(), shot.saveText);
        // The window with its File menu open, painted where the menu drops down.
        TMainFrameDlg& w = run.window();
        QImage image = w.grab().toImage();
        QCOMPARE(image.size(), w.size());
        child<QMenu>(w, "FileMenu")->popup(w.mapToGlobal(QPoint(0, w.menuBar()->height())));
        QVERIFY(QTest::qWaitForWindowExposed(child<QMenu>(w, "FileMenu")));
        {
            QPainter painter(&image);
            painter.drawPixmap(w.mapFromGlobal(child<QMenu>(w, "FileMenu")->pos()),
                               child<QMenu>(w, "FileMenu")->grab());
        }
        child<QMenu>(w, "FileMenu")->hide();
        QVERIFY(image.save(out.filePath(shot.file)));
    }
}

QTEST_MAIN(TestMainFrameSettings)
#include "tst_MainFrameSettings.moc"
