#include "Child.h"
#include "app/ui/CompositionRoot.h"
#include "app/ui/MainFrameUnit.h"
#include "document/Document.h"
#include "execution/ui/ModbusMapExecUnit.h"

#include <QApplication>
#include <QTest>

using namespace zorvan;
using zorvan::test::child;

class TestCompositionRoot : public QObject {
    Q_OBJECT
private slots:
    void createsInstancesAndRestoresPrompter();
};

void TestCompositionRoot::createsInstancesAndRestoresPrompter() {
    IPrompter* before = &prompter();
    QVERIFY(ModbusMapExecDlg() == nullptr);
    {
        CompositionRoot root;
        QCOMPARE(QApplication::applicationName(), QString("Zorvan"));
        QVERIFY(ModbusMapExecDlg() != nullptr);
        QVERIFY(dynamic_cast<QtPrompter*>(&prompter()) != nullptr);
        QVERIFY(root.MainFrameDlg() != nullptr);
        QCOMPARE(root.MainFrameDlg()->windowTitle(), QString("Zorvan"));
        QVERIFY(!root.MainFrameDlg()->isVisible());
        // The program starts with the data module's new, untitled, unchanged document.
        TMainFrameDlg& window = *root.MainFrameDlg();
        QVERIFY(Dm() != nullptr);
        QCOMPARE(window.MDVAgent.Document(), &Dm()->Link);
        QVERIFY(Dm()->Link.Active());
        QVERIFY(child<QAction>(window, "actNew")->isEnabled() &&
                child<QAction>(window, "actOpen")->isEnabled());
        QVERIFY(child<QAction>(window, "actSaveAs")->isEnabled() &&
                child<QAction>(window, "actClose")->isEnabled());
        QVERIFY(!child<QAction>(window, "actSave")->isEnabled());
        QCOMPARE(window.StatusPanelText(0), QString());
        QVERIFY(window.MDVAgent.FileName().isEmpty());
    }
    QVERIFY(ModbusMapExecDlg() == nullptr);
    QCOMPARE(&prompter(), before);
}

QTEST_MAIN(TestCompositionRoot)
#include "tst_CompositionRoot.moc"
