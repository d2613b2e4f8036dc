#include "Child.h"
#include "TempConfigHome.h"
#include "app/ui/CompositionRoot.h"
#include "app/ui/MainFrameUnit.h"
#include "components/MDVLocalize.h"
#include "document/Document.h"
#include "settings/AppOptions.h"
#include "settings/RegistryStore.h"
#include "settings/ui/DataContainerDlg.h"

#include <QAction>
#include <QApplication>
#include <QTableWidget>
#include <QtTest>

using namespace zorvan;
using zorvan::test::child;
using zorvan::test::TempConfigHome;

namespace {
std::optional<RegistryKeyContents> readStore(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return RegistryText::parse(f.readAll());
}
} // namespace

// The settings module in the program: first created, last destroyed, and reached from the main
// window's Options action and language actions.
class TestOptionsWiring : public QObject {
    Q_OBJECT
private slots:
    void optionsLiveAroundTheProgram();
    void optionsActionRunsTheDialog();
};

void TestOptionsWiring::optionsLiveAroundTheProgram() {
    TempConfigHome home;
    {
        CompositionRoot root;
        QVERIFY(Options() != nullptr);
        // The main window re-captioned the framework settings in the start-up language.
        const TMDVLanguage& language = Dm()->Link.Localization().Current();
        QCOMPARE(language.LanguageID(), 6400);
        QCOMPARE(Options()->FrameworkOptions->Caption(), language.FrameworkOptionsText);
        QCOMPARE(Options()->ViewToolBar->Caption(), language.ViewToolbarText);
        child<QAction>(root.MainFrameDlg(), "actEnglish")->trigger();
        QCOMPARE(Options()->CurrLanguageID->Value(), 2305);
        QCOMPARE(Options()->RestoreLastDocument->Caption(), QString("Open last file"));
        QVERIFY(!QFile::exists(home.optionsFile()));
    }
    QCOMPARE(Options(), nullptr);
    const auto stored = readStore(home.optionsFile());
    QVERIFY(stored);
    QCOMPARE(stored->find("CurrLanguageID")->dword, 2305u);
    QCOMPARE(stored->values.size(), 13);
}

void TestOptionsWiring::optionsActionRunsTheDialog() {
    TempConfigHome home;
    CompositionRoot root;
    TMainFrameDlg& window = *root.MainFrameDlg();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(child<QWidget>(window, "ActionToolBarPanel")->isVisible());
    bool shown = false;
    QTimer::singleShot(0, &window, [&] {
        auto* dialog = qobject_cast<TDtContainerDlg*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        shown = true;
        QVERIFY(child<TCategoryToolDlg>(dialog, "CategoryToolDlg")->SelectEntry(0));
        const int row = dialog->RowOf(Options()->ViewToolBar);
        child<QTableWidget>(dialog, "ValueList")->selectRow(row);
        QTest::keyClick(child<QTableWidget>(dialog, "ValueList"), Qt::Key_Return);
        QTest::keyClick(dialog, Qt::Key_Escape);
    });
    child<QAction>(window, "actOptions")->trigger();
    QVERIFY(shown);
    QCOMPARE(Options()->ViewToolBar->Value(), false);
    QVERIFY(!child<QWidget>(window, "ActionToolBarPanel")->isVisible());
    QCOMPARE(readStore(home.optionsFile())->find("ViewToolBar")->dword, 0u);
}

QTEST_MAIN(TestOptionsWiring)
#include "tst_OptionsWiring.moc"
