#include "app/ui/CompositionRoot.h"
#include "app/ui/MainFrameUnit.h"
#include "document/Document.h"
#include "execution/ui/ModbusMapExecUnit.h"

#include <QApplication>
#include <QTest>

using namespace zorvan;

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
        QVERIFY(window.actNew->isEnabled() && window.actOpen->isEnabled());
        QVERIFY(window.actSaveAs->isEnabled() && window.actClose->isEnabled());
        QVERIFY(!window.actSave->isEnabled());
        QCOMPARE(window.StatusPanelText(0), QString());
        QVERIFY(window.MDVAgent.FileName().isEmpty());
    }
    QVERIFY(ModbusMapExecDlg() == nullptr);
    QCOMPARE(&prompter(), before);
}

QTEST_MAIN(TestCompositionRoot)
#include "tst_CompositionRoot.moc"
