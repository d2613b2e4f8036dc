#include "Child.h"
#include "ModalScript.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"
#include "app/ui/CompositionRoot.h"
#include "app/ui/MainFrameUnit.h"
#include "components/ui/MDVViewsContainer.h"
#include "components/ui/ReportListView.h"
#include "document/CnlImage.h"
#include "document/Document.h"
#include "editor/GlobalData.h"
#include "editor/ui/ChannelMapModel.h"
#include "editor/ui/ChannelProps.h"
#include "editor/ui/CnlListVisor.h"
#include "settings/AppOptions.h"
#include "settings/StandartStoreObjects.h"

#include <QAction>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using namespace zorvan;
using zorvan::test::child;
using zorvan::test::ModalScript;
using zorvan::test::ScriptedPrompter;
using zorvan::test::TempConfigHome;

namespace {
// Start with the new, empty document rather than the last file.
void startWithNewDocument() {
    Options()->RestoreLastDocument->setValue(false);
}
} // namespace

// The editor inside the running program: created by the composition root, placed at the main
// window's first show, and driving the document to a saved file.
class tst_EditorPlacement : public QObject {
    Q_OBJECT
private slots:
    void placedAtFirstShow();
    void editsReachTheSavedFile();
};

void tst_EditorPlacement::placedAtFirstShow() {
    TempConfigHome home;
    CompositionRoot root;
    startWithNewDocument();
    TMainFrameDlg& window = *root.MainFrameDlg();
    TCnlListVisorView* view = root.CnlListVisorView();
    QVERIFY(view && root.ChannelPropsDlg() && GD());
    QCOMPARE(view->DragDropController(), &GD()->DragDropController());
    QVERIFY(child<TMDVViewsContainer>(window, "ViewContainer")
                ->Views()
                .isEmpty()); // not before the first show
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QCOMPARE(child<TMDVViewsContainer>(window, "ViewContainer")->Views(),
             QList<TCustomView*>{view});
    QCOMPARE(child<TMDVViewsContainer>(window, "ViewContainer")->DefaultView(), view);
    QCOMPARE(child<TMDVViewsContainer>(window, "ViewContainer")->ActiveView(), view);
    QVERIFY(view->isVisible());
    QCOMPARE(view->window(), &window);
    // A second show places nothing again.
    window.hide();
    window.show();
    QCOMPARE(child<TMDVViewsContainer>(window, "ViewContainer")->Views().size(), 1);
    QVERIFY(!root.ChannelPropsDlg()->isVisible());
    const QImage image = window.grab().toImage();
    QVERIFY(image.save(QStringLiteral(ZORVAN_TEST_OUTPUT_DIR "/editor_in_main_window.png")));
    window.hide();
}

void tst_EditorPlacement::editsReachTheSavedFile() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("edited.zorvan"));
    TempConfigHome home;
    CompositionRoot root;
    startWithNewDocument();
    ScriptedPrompter prompter; // after the root, which installs the GUI prompter
    TMainFrameDlg& window = *root.MainFrameDlg();
    TCnlListVisorView& view = *root.CnlListVisorView();
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    ModalScript script(root.ChannelPropsDlg());
    script.steps.push_back([](QDialog& d) {
        auto& props = static_cast<TChannelPropsDlg&>(d);
        child<QLineEdit>(props, "NoteEdit")->insert(QStringLiteral("котёл"));
        QTest::keyClick(child<QLineEdit>(props, "NoteEdit"), Qt::Key_Return);
    });
    child<QAction>(view, "actAdd")->trigger();
    QCOMPARE(window.StatusPanelText(0), QStringLiteral("Modified"));
    QCOMPARE(view.MapModel()->rowCount(), 1);
    QTest::keyClick(child<QComboBox>(view, "OptionsCB"), Qt::Key_End);

    prompter.fileNames.push_back(file);
    child<QAction>(window, "actSaveAs")->trigger();
    QCOMPARE(window.StatusPanelText(0), QString());

    // What was saved opens as it was made.
    TDm reader;
    QVERIFY(reader.Link.Active());
    reader.Serializer.XMLFilePath = file;
    QVERIFY(reader.Serializer.Load());
    QCOMPARE(reader.Image()->Map()->Count(), 1);
    const TChannelItem* c = reader.Image()->Map()->Items(0);
    QCOMPARE(c->TagName, QStringLiteral("Unknown"));
    QCOMPARE(c->Note, QStringLiteral("котёл"));
    QCOMPARE(reader.Image()->Options, 7u);
    window.hide();
}

QTEST_MAIN(tst_EditorPlacement)
#include "tst_EditorPlacement.moc"
