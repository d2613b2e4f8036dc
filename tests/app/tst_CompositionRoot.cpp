#include "app/ui/CompositionRoot.h"
#include "app/ui/MainFrameUnit.h"

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
    QVERIFY(CompositionRoot::instance() == nullptr);
    {
        CompositionRoot root;
        QCOMPARE(QApplication::applicationName(), QString("Zorvan"));
        QCOMPARE(CompositionRoot::instance(), &root);
        QVERIFY(dynamic_cast<QtPrompter*>(&prompter()) != nullptr);
        QVERIFY(root.MainFrameDlg() != nullptr);
        QCOMPARE(root.MainFrameDlg()->windowTitle(), QString("Zorvan"));
        QVERIFY(!root.MainFrameDlg()->isVisible());
    }
    QVERIFY(CompositionRoot::instance() == nullptr);
    QCOMPARE(&prompter(), before);
}

QTEST_MAIN(TestCompositionRoot)
#include "tst_CompositionRoot.moc"
