#include "execution/ui/UpdateChart.h"

#include <QtCharts/QChart>
#include <QtCharts/QChartView>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <QtTest>
#include <limits>
#include <memory>

using zorvan::TUpdateChart;

namespace {

constexpr qint64 Base = 1700000000000; // a fixed moment, in ms since the epoch

// A chart with its axes, n series and an updater on a clock that the test moves.
struct Rig {
    std::unique_ptr<QChart> chart = std::make_unique<QChart>();
    QChart* plot = chart.get(); // stays valid when a view takes the chart over
    QList<QLineSeries*> series;
    std::unique_ptr<TUpdateChart> updater = std::make_unique<TUpdateChart>();
    qint64 nowMs = Base;

    explicit Rig(int n, bool visible = true) {
        TUpdateChart::setUpAxes(*chart);
        for (int i = 0; i < n; ++i) {
            auto* s = new QLineSeries;
            s->setName(QString("s%1").arg(i));
            s->setVisible(visible);
            TUpdateChart::attachSeries(*chart, s);
            series << s;
        }
        updater->setChart(chart.get());
        updater->Now = [this] { return QDateTime::fromMSecsSinceEpoch(nowMs); };
    }
    QValueAxis* vAxis() const { return qobject_cast<QValueAxis*>(plot->axes(Qt::Vertical)[0]); }
    QDateTimeAxis* tAxis() const {
        return qobject_cast<QDateTimeAxis*>(plot->axes(Qt::Horizontal)[0]);
    }
    // Consumes the clear that the first call after construction does.
    void primed() { updater->AddPoint(series[0], 0); }
};

bool near(double a, double b) {
    return std::abs(a - b) <= 1e-9 * std::max(1.0, std::abs(b));
}

} // namespace

class tst_UpdateChart : public QObject {
    Q_OBJECT
private slots:
    void firstCallOnlyClears();
    void firstValueRange_data();
    void firstValueRange();
    void growsOneEnd_data();
    void growsOneEnd();
    void hiddenSeriesAtClear();
    void notFiniteIgnored();
    void timeWindow_data();
    void timeWindow();
    void updateInterval();
    void clearChart_data();
    void clearChart();
    void oldPointsDropped_data();
    void oldPointsDropped();
    void clockSetBack();
    void hiddenPointsKeptAcrossToggles();
    void teardownDuringPendingEvents_data();
    void teardownDuringPendingEvents();
    void drawnAfterEventLoopPass_data();
    void drawnAfterEventLoopPass();
};

void tst_UpdateChart::firstCallOnlyClears() {
    Rig rig(3);
    for (auto* s : rig.series)
        s->append(double(Base - 5000), 1.0);
    QVERIFY(rig.updater->ClearPending());
    QCOMPARE(rig.updater->TimeInterval(), 10);
    QCOMPARE(rig.updater->UpdateInterval(), 0);

    rig.updater->AddPoint(rig.series[0], 5);
    QVERIFY(!rig.updater->ClearPending());
    QVERIFY(!rig.updater->LastTime().isValid());
    for (auto* s : rig.series) {
        QCOMPARE(s->count(), 0);
        QVERIFY(TUpdateChart::rangePending(s));
    }
    // The other rows of the first cycle get their points.
    rig.updater->AddPoint(rig.series[1], 6);
    rig.updater->AddPoint(rig.series[2], 7);
    QCOMPARE(rig.series[0]->count(), 0);
    QCOMPARE(rig.series[1]->count(), 1);
    QCOMPARE(rig.series[2]->at(0), QPointF(double(Base), 7));
    QCOMPARE(rig.updater->LastTime(), QDateTime::fromMSecsSinceEpoch(Base));
}

void tst_UpdateChart::firstValueRange_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::newRow("1000") << 1000.0 << 998.99999 << 1001.00001;
    QTest::newRow("0") << 0.0 << -0.00001 << 0.00001;
    QTest::newRow("-1000, ends swapped") << -1000.0 << -1000.99999 << -999.00001;
    QTest::newRow("ULong all ones") << 4294967295.0 << 4290672327.70499 << 4299262262.29501;
    QTest::newRow("-0.01, empty span widened") << -0.01 << -0.01001 << -0.00999;
    QTest::newRow("12.5") << 12.5 << 12.48749 << 12.51251;
}

void tst_UpdateChart::firstValueRange() {
    QFETCH(double, value);
    QFETCH(double, lo);
    QFETCH(double, hi);
    Rig rig(2);
    rig.primed();
    rig.updater->AddPoint(rig.series[1], value);
    QVERIFY2(near(rig.vAxis()->min(), lo),
             qPrintable(QString::number(rig.vAxis()->min(), 'g', 17)));
    QVERIFY2(near(rig.vAxis()->max(), hi),
             qPrintable(QString::number(rig.vAxis()->max(), 'g', 17)));
    QVERIFY(!TUpdateChart::rangePending(rig.series[1]));
    QVERIFY(TUpdateChart::rangePending(rig.series[0]));
    QCOMPARE(rig.series[1]->at(0).y(), value);
}

void tst_UpdateChart::growsOneEnd_data() {
    QTest::addColumn<double>("first");
    QTest::addColumn<double>("next");
    QTest::addColumn<double>("lo");
    QTest::addColumn<double>("hi");
    QTest::newRow("within") << 1000.0 << 1000.5 << 998.99999 << 1001.00001;
    QTest::newRow("larger moves only the maximum") << 1000.0 << 1500.0 << 998.99999 << 1500.0;
    QTest::newRow("smaller moves only the minimum") << 1000.0 << 900.0 << 900.0 << 1001.00001;
    QTest::newRow("negative, below") << -1000.0 << -2000.0 << -2000.0 << -999.00001;
}

void tst_UpdateChart::growsOneEnd() {
    QFETCH(double, first);
    QFETCH(double, next);
    QFETCH(double, lo);
    QFETCH(double, hi);
    Rig rig(1);
    rig.primed();
    rig.updater->AddPoint(rig.series[0], first);
    rig.nowMs += 20;
    rig.updater->AddPoint(rig.series[0], next);
    QVERIFY(near(rig.vAxis()->min(), lo));
    QVERIFY(near(rig.vAxis()->max(), hi));
    QCOMPARE(rig.series[0]->count(), 2);
}

void tst_UpdateChart::hiddenSeriesAtClear() {
    Rig rig(2);
    rig.series[1]->setVisible(false);
    rig.primed();
    rig.updater->AddPoint(rig.series[0], 10);
    // A hidden series gets points but leaves the axis alone and keeps its flag.
    rig.updater->AddPoint(rig.series[1], 5000);
    QCOMPARE(rig.updater->points(rig.series[1]).size(), 1);
    QVERIFY(TUpdateChart::rangePending(rig.series[1]));
    QVERIFY(near(rig.vAxis()->max(), 10.01001));
    // Shown later, its first value resets the axis around itself.
    rig.series[1]->setVisible(true);
    rig.nowMs += 20;
    rig.updater->AddPoint(rig.series[1], 2000);
    QVERIFY(near(rig.vAxis()->min(), 1997.99999));
    QVERIFY(near(rig.vAxis()->max(), 2002.00001));
    QVERIFY(!TUpdateChart::rangePending(rig.series[1]));
    // Its next value only grows the axis.
    rig.updater->AddPoint(rig.series[1], 3000);
    QVERIFY(near(rig.vAxis()->min(), 1997.99999));
    QVERIFY(near(rig.vAxis()->max(), 3000));
}

void tst_UpdateChart::notFiniteIgnored() {
    Rig rig(1);
    rig.primed();
    for (double v :
         {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
          -std::numeric_limits<double>::infinity()})
        rig.updater->AddPoint(rig.series[0], v);
    QCOMPARE(rig.series[0]->count(), 0);
    QVERIFY(TUpdateChart::rangePending(rig.series[0]));
    rig.updater->AddPoint(rig.series[0], 1000);
    QVERIFY(near(rig.vAxis()->min(), 998.99999));
    QCOMPARE(rig.series[0]->count(), 1);
}

void tst_UpdateChart::timeWindow_data() {
    QTest::addColumn<int>("interval");
    QTest::addColumn<bool>("autoScroll");
    QTest::newRow("30 s") << 30 << true;
    QTest::newRow("default 10 s") << 10 << true;
    QTest::newRow("no scrolling") << 30 << false;
}

void tst_UpdateChart::timeWindow() {
    QFETCH(int, interval);
    QFETCH(bool, autoScroll);
    Rig rig(2);
    rig.updater->setTimeInterval(interval);
    rig.updater->setAutoScroll(autoScroll);
    rig.tAxis()->setRange(QDateTime::fromMSecsSinceEpoch(Base - 60000),
                          QDateTime::fromMSecsSinceEpoch(Base - 1000));
    const QDateTime initialMin = rig.tAxis()->min(), initialMax = rig.tAxis()->max();
    rig.primed();
    for (int i = 0; i < 50; ++i) {
        rig.nowMs += 777;
        rig.updater->AddPoint(rig.series[i % 2], i);
        if (i % 3 == 0)
            rig.updater->flush();
        else
            QCoreApplication::processEvents();
        const QDateTime newest = QDateTime::fromMSecsSinceEpoch(rig.nowMs);
        QCOMPARE(rig.updater->LastTime(), newest);
        if (autoScroll) {
            QCOMPARE(rig.tAxis()->max(), newest);
            QCOMPARE(rig.tAxis()->min(), newest.addSecs(-interval));
        } else {
            QCOMPARE(rig.tAxis()->max(), initialMax);
            QCOMPARE(rig.tAxis()->min(), initialMin);
        }
    }
    QCOMPARE(rig.tAxis()->format(), QString("hh:mm:ss"));
}

void tst_UpdateChart::updateInterval() {
    Rig rig(2);
    rig.updater->setUpdateInterval(2);
    rig.primed();
    // Two rows per cycle, a cycle every 500 ms: only the cycles two whole seconds after the
    // last added point (to any series) get a point, and only in their first row.
    QList<int> added0, added1;
    for (int cycle = 0; cycle < 12; ++cycle) {
        const int c0 = rig.series[0]->count(), c1 = rig.series[1]->count();
        rig.updater->AddPoint(rig.series[0], cycle);
        rig.updater->AddPoint(rig.series[1], cycle);
        if (rig.series[0]->count() > c0)
            added0 << cycle;
        if (rig.series[1]->count() > c1)
            added1 << cycle;
        rig.nowMs += 500;
    }
    QCOMPARE(added0, (QList<int>{0, 4, 8}));
    QCOMPARE(added1, QList<int>{});
}

void tst_UpdateChart::clearChart_data() {
    QTest::addColumn<bool>("running");
    QTest::newRow("stopped") << false;
    QTest::newRow("running") << true;
}

void tst_UpdateChart::clearChart() {
    QFETCH(bool, running);
    Rig rig(3);
    rig.series[2]->setVisible(false);
    rig.primed();
    for (int i = 0; i < 5; ++i) {
        rig.nowMs += 20;
        for (auto* s : rig.series)
            rig.updater->AddPoint(s, 100 + i);
    }
    QVERIFY(!TUpdateChart::rangePending(rig.series[0]));
    rig.updater->ClearChart(running);
    QCOMPARE(rig.updater->ClearPending(), running);
    QCOMPARE(rig.updater->LastTime().isValid(), running);
    for (auto* s : rig.series)
        QCOMPARE(rig.updater->points(s).size(), running ? 5 : 0);

    // The next cycle: while running its first row only clears.
    rig.nowMs += 20;
    for (auto* s : rig.series)
        rig.updater->AddPoint(s, -7);
    QVERIFY(!rig.updater->ClearPending());
    QCOMPARE(rig.series[0]->count(), running ? 0 : 1);
    QCOMPARE(rig.series[1]->count(), 1);
    QCOMPARE(rig.updater->points(rig.series[2]).size(), 1);
    // Every series was flagged; the visible ones have set the axis since.
    QVERIFY(!TUpdateChart::rangePending(rig.series[1]));
    QVERIFY(TUpdateChart::rangePending(rig.series[2]));
    QCOMPARE(TUpdateChart::rangePending(rig.series[0]), running);
    QVERIFY(near(rig.vAxis()->min(), -7.00699));
    QVERIFY(near(rig.vAxis()->max(), -6.99301));
}

void tst_UpdateChart::oldPointsDropped_data() {
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("stepMs");
    QTest::addColumn<int>("points");
    QTest::newRow("100 ms, 10 s window") << 10 << 100 << 700;
    QTest::newRow("1 s, 30 s window") << 30 << 1000 << 200;
    QTest::newRow("sparse: 7 s, 10 s window") << 10 << 7000 << 40;
}

void tst_UpdateChart::oldPointsDropped() {
    QFETCH(int, interval);
    QFETCH(int, stepMs);
    QFETCH(int, points);
    Rig rig(2);
    rig.series[1]->setVisible(false);
    rig.updater->setTimeInterval(interval);
    rig.primed();
    const qint64 window = interval * 1000LL;
    const int keepBound = int(1.25 * window / stepMs) + 2;
    int maxCount = 0;
    for (int i = 0; i < points; ++i) {
        rig.nowMs += stepMs;
        rig.updater->AddPoint(rig.series[0], i % 97);
        rig.updater->AddPoint(rig.series[1], i % 89);
        for (auto* s : rig.series)
            maxCount = std::max(maxCount, int(rig.updater->points(s).size()));
    }
    QVERIFY2(maxCount <= keepBound, qPrintable(QString("%1 > %2").arg(maxCount).arg(keepBound)));
    for (auto* s : rig.series) {
        const QList<QPointF> pts = rig.updater->points(s);
        const double last = double(rig.nowMs);
        // Everything the axis shows is still there, in order, ending with the newest point.
        int visible = 0;
        for (const QPointF& p : pts)
            visible += p.x() >= last - window;
        QCOMPARE(visible, int(std::min<qint64>(window / stepMs + 1, points)));
        QCOMPARE(pts.last().x(), last);
        // And one point before the window, so the line reaches the left edge.
        QVERIFY(pts.first().x() < last - window);
        QVERIFY(pts.first().x() >= last - 1.25 * window - stepMs);
        for (int i = 1; i < pts.size(); ++i)
            QCOMPARE(pts[i].x() - pts[i - 1].x(), double(stepMs));
    }
}

void tst_UpdateChart::clockSetBack() {
    Rig rig(1);
    rig.primed();
    for (int i = 0; i < 100; ++i) {
        rig.nowMs += 20;
        rig.updater->AddPoint(rig.series[0], i);
    }
    rig.nowMs -= 3600 * 1000; // an hour back
    rig.updater->AddPoint(rig.series[0], 1);
    rig.nowMs += 20;
    rig.updater->AddPoint(rig.series[0], 2);
    const QList<QPointF> pts = rig.series[0]->points();
    QCOMPARE(pts.size(), 2);
    QCOMPARE(pts.last().x(), double(rig.nowMs));
}

void tst_UpdateChart::hiddenPointsKeptAcrossToggles() {
    Rig rig(1, false);
    QLineSeries* s = rig.series[0];
    rig.primed();
    int added = 0;
    auto feed = [&](int n) {
        for (int i = 0; i < n; ++i, ++added) {
            rig.nowMs += 20;
            rig.updater->AddPoint(s, added);
        }
        QCoreApplication::processEvents();
    };
    feed(5);
    s->setVisible(true);
    QCOMPARE(s->points(), rig.updater->points(s)); // handed over when shown
    feed(4);
    s->setVisible(false);
    feed(3);
    s->setVisible(true);
    feed(2);
    const QList<QPointF> pts = rig.updater->points(s);
    QCOMPARE(pts.size(), added);
    QCOMPARE(s->points(), pts);
    for (int i = 0; i < pts.size(); ++i)
        QCOMPARE(pts[i], QPointF(double(Base + 20 * (i + 1)), i));
    // A clear empties parked points as well.
    s->setVisible(false);
    feed(1);
    rig.updater->ClearChart(false);
    QVERIFY(rig.updater->points(s).isEmpty());
    s->setVisible(true);
    QCOMPARE(s->count(), 0);
}

void tst_UpdateChart::teardownDuringPendingEvents_data() {
    QTest::addColumn<QString>("victim");
    QTest::newRow("series") << "series";
    QTest::newRow("chart") << "chart";
    QTest::newRow("updater") << "updater";
    QTest::newRow("nothing") << "nothing";
}

void tst_UpdateChart::teardownDuringPendingEvents() {
    QFETCH(QString, victim);
    Rig rig(2);
    rig.primed();
    rig.updater->AddPoint(rig.series[1], 3);
    QLineSeries* target = rig.series[0];
    bool ran = false;
    // A user's close handled while the first visible value lets pending events run.
    QObject context;
    QMetaObject::invokeMethod(
        &context,
        [&] {
            ran = true;
            if (victim == "series") {
                rig.chart->removeSeries(target);
                delete target;
            } else if (victim == "chart") {
                rig.chart.reset();
            } else if (victim == "updater") {
                rig.updater.reset();
            }
        },
        Qt::QueuedConnection);
    rig.updater->AddPoint(target, 42);
    QVERIFY(ran);
    if (victim == "nothing") {
        QCOMPARE(target->count(), 1);
        return;
    }
    // What survived goes on working.
    if (rig.updater && rig.chart) {
        rig.nowMs += 20;
        rig.updater->AddPoint(rig.series[1], 4);
        QCOMPARE(rig.series[1]->count(), 2);
    }
}

void tst_UpdateChart::drawnAfterEventLoopPass_data() {
    QTest::addColumn<bool>("autoScroll");
    QTest::newRow("scrolling") << true;
    QTest::newRow("fixed time axis") << false;
}

void tst_UpdateChart::drawnAfterEventLoopPass() {
    QFETCH(bool, autoScroll);
    Rig rig(2);
    QChart* chart = rig.chart.release();
    QChartView view(chart); // the view's scene owns the chart from here on
    view.resize(480, 320);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    rig.series[0]->setPen(QPen(Qt::red, 2));
    rig.series[1]->setPen(QPen(Qt::blue, 2));
    rig.series[1]->setVisible(false);
    rig.updater->setAutoScroll(autoScroll);
    rig.tAxis()->setRange(QDateTime::fromMSecsSinceEpoch(Base),
                          QDateTime::fromMSecsSinceEpoch(Base + 10000));
    rig.primed();
    for (int i = 0; i <= 100; ++i) {
        rig.updater->AddPoint(rig.series[0], std::sin(i / 8.0));
        rig.updater->AddPoint(rig.series[1], std::cos(i / 8.0));
        if (i % 10 == 0)
            QCoreApplication::processEvents();
        rig.nowMs += 100;
    }
    QCoreApplication::processEvents();
    const QImage image = view.grab().toImage();
    image.save(QString(ZORVAN_TEST_OUTPUT_DIR) + "/update_chart_" +
               QString(QTest::currentDataTag()).replace(' ', '_') + ".png");
    int red = 0, blue = 0, rightmost = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() > 200 && c.green() < 80 && c.blue() < 80) {
                ++red;
                rightmost = std::max(rightmost, x);
            }
            blue += c.blue() > 200 && c.red() < 80 && c.green() < 80;
        }
    // The whole curve is laid out, up to the newest point at the plot's right edge; the hidden
    // series is not drawn.
    QVERIFY2(red > 300, qPrintable(QString::number(red)));
    QCOMPARE(blue, 0);
    const int plotRight =
        int(view.mapFromScene(chart->mapToScene(chart->plotArea().topRight())).x());
    QVERIFY2(std::abs(rightmost - plotRight) <= 4,
             qPrintable(QString("%1 vs %2").arg(rightmost).arg(plotRight)));
    // Shown, the hidden series is drawn with the points it got while hidden.
    rig.series[1]->setVisible(true);
    QCoreApplication::processEvents();
    const QImage shown = view.grab().toImage();
    blue = 0;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x) {
            const QColor c = shown.pixelColor(x, y);
            blue += c.blue() > 200 && c.red() < 80 && c.green() < 80;
        }
    QVERIFY2(blue > 300, qPrintable(QString::number(blue)));
}

QTEST_MAIN(tst_UpdateChart)
#include "tst_UpdateChart.moc"
