#include "editor/DragDropController.h"
#include "editor/GlobalData.h"

#include <QTest>

using namespace zorvan;

class tst_DragDropController : public QObject {
    Q_OBJECT
private slots:
    void startsAsSender();
    void rows_data();
    void rows();
    void startForgetsThePreviousDrag();
    void endDragLeavesNothingToDrop();
    void globalDataOwnsOneController();
};

void tst_DragDropController::startsAsSender() {
    const TDragDropController controller;
    QCOMPARE(controller.SourceName(), QStringLiteral("Sender"));
    QCOMPARE(controller.Count(), 0);
    QVERIFY(!controller.Dragging());
}

// Rows added in any order come out ascending, each once.
void tst_DragDropController::rows_data() {
    QTest::addColumn<QList<int>>("added");
    QTest::addColumn<QList<int>>("carried");
    QTest::newRow("none") << QList<int>{} << QList<int>{};
    QTest::newRow("ascending") << QList<int>{0, 2, 5} << QList<int>{0, 2, 5};
    QTest::newRow("descending") << QList<int>{9, 4, 1} << QList<int>{1, 4, 9};
    QTest::newRow("mixed") << QList<int>{3, 0, 7, 2} << QList<int>{0, 2, 3, 7};
    QTest::newRow("duplicates") << QList<int>{4, 4, 1, 4} << QList<int>{1, 4};
    QTest::newRow("negative ignored") << QList<int>{-1, 2} << QList<int>{2};
}

void tst_DragDropController::rows() {
    QFETCH(QList<int>, added);
    QFETCH(QList<int>, carried);
    TDragDropController controller;
    controller.StartDrag(QStringLiteral("MapList"));
    for (int row : added)
        controller.AddRow(row);
    QCOMPARE(controller.SourceName(), QStringLiteral("MapList"));
    QCOMPARE(controller.Rows(), carried);
    QCOMPARE(controller.Count(), carried.size());
    QVERIFY(controller.Dragging());
}

void tst_DragDropController::startForgetsThePreviousDrag() {
    TDragDropController controller;
    controller.StartDrag(QStringLiteral("MapList"));
    controller.AddRow(3);
    controller.AddRow(4);
    controller.StartDrag(QStringLiteral("TagList"));
    QCOMPARE(controller.SourceName(), QStringLiteral("TagList"));
    QCOMPARE(controller.Count(), 0);
    controller.AddRow(1);
    QCOMPARE(controller.Rows(), QList<int>{1});
}

void tst_DragDropController::endDragLeavesNothingToDrop() {
    TDragDropController controller;
    controller.StartDrag(QStringLiteral("TagList"));
    controller.AddRow(0);
    controller.EndDrag();
    QCOMPARE(controller.SourceName(), QStringLiteral("Sender"));
    QCOMPARE(controller.Count(), 0);
    QVERIFY(!controller.Dragging());
}

void tst_DragDropController::globalDataOwnsOneController() {
    QVERIFY(GD() == nullptr);
    {
        TGD gd;
        QCOMPARE(GD(), &gd);
        TDragDropController& controller = gd.DragDropController();
        QCOMPARE(&GD()->DragDropController(), &controller);
        QCOMPARE(controller.SourceName(), QStringLiteral("Sender"));
    }
    QVERIFY(GD() == nullptr);
}

QTEST_GUILESS_MAIN(tst_DragDropController)
#include "tst_DragDropController.moc"
