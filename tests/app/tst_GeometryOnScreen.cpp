#include "Cases.h"
#include "TempConfigHome.h"
#include "app/ui/CompositionRoot.h"
#include "app/ui/MainFrameUnit.h"
#include "settings/AppOptions.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>
#include <QWidget>

#include <algorithm>
#include <climits>

using namespace zorvan;
using zorvan::test::addCases;

namespace {

// Four integers, not a QRect: its right and bottom would overflow.
struct Stored {
    int left, top, width, height;
    QRect expected; // on the offscreen platform's one screen of 800 by 800
};

} // namespace

class tst_GeometryOnScreen : public QObject {
    Q_OBJECT
private slots:
    void storedGeometryStaysOnScreen_data() {
        // clang-format off
        addCases<Stored>({
            {"fits", {40, 30, 640, 400, QRect(40, 30, 640, 400)}},
            {"partly off the right", {120, 85, 700, 520, QRect(100, 85, 700, 520)}},
            {"far right", {INT_MAX, 10, 400, 300, QRect(400, 10, 400, 300)}},
            {"far up and left", {INT_MIN, INT_MIN, 400, 300, QRect(0, 0, 400, 300)}},
            {"larger than the screen", {10, 10, INT_MAX, INT_MAX, QRect(0, 0, 800, 800)}},
            {"on a monitor gone", {5000, 5000, 400, 300, QRect(400, 500, 400, 300)}},
        });
        // clang-format on
    }
    // Whatever the store holds, the program opens its window inside the screen's available
    // area; a later reload (the options dialog's) takes any value without overflow.
    void storedGeometryStaysOnScreen() {
        QFETCH(Stored, c);
        QCOMPARE(QGuiApplication::primaryScreen()->availableGeometry(), QRect(0, 0, 800, 800));
        zorvan::test::TempConfigHome home;
        CompositionRoot root;
        Options()->MainFrmLeft->setValue(c.left);
        Options()->MainFrmTop->setValue(c.top);
        Options()->MainFrmWidth->setValue(c.width);
        Options()->MainFrmHeight->setValue(c.height);
        TMainFrameDlg& window = *root.MainFrameDlg();
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QCOMPARE(QRect(window.pos(), window.size()), c.expected);
        Options()->MainFrmLeft->setValue(c.left);
        Options()->DataContainer->FireUpdateResource(true);
        QCOMPARE(window.x(), std::clamp(c.left, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX));
    }
};

QTEST_MAIN(tst_GeometryOnScreen)
#include "tst_GeometryOnScreen.moc"
