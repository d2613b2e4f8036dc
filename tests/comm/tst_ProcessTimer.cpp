#include "comm/ProcessTimer.h"

#include <QElapsedTimer>
#include <QtTest>
#include <memory>
#include <thread>

using zorvan::TProcessTimer;
using zorvan::TTimerExecutingMode;

Q_DECLARE_METATYPE(TTimerExecutingMode)

namespace {

// Records the events of one timer as "start", "tick" and "stop" with the state seen inside them.
struct Recorder {
    QStringList events;
    QList<float> progress;
    QList<bool> inTick;
    QList<qint64> tickBegin, tickEnd; // milliseconds on one monotonic clock
    QElapsedTimer clock;
    std::function<void(int)> onTick; // called with the 1-based tick number

    explicit Recorder(TProcessTimer& t) {
        clock.start();
        t.OnStart = [this] { events << "start"; };
        t.OnStop = [this] { events << "stop"; };
        t.OnTimer = [this, &t] {
            events << "tick";
            progress << t.Progress();
            inTick << t.InTick();
            tickBegin << clock.elapsed();
            if (onTick)
                onTick(int(progress.size()));
            tickEnd << clock.elapsed();
        };
    }
    int count(const QString& e) const { return int(events.count(e)); }
};

QStringList runOf(int ticks) {
    QStringList l{"start"};
    for (int i = 0; i < ticks; ++i)
        l << "tick";
    l << "stop";
    return l;
}

} // namespace

class tst_ProcessTimer : public QObject {
    Q_OBJECT
private slots:
    void initialState();
    void byTicksProgress_data();
    void byTicksProgress();
    void standartRunsUntilStop();
    void zeroMaximaIgnored_data();
    void zeroMaximaIgnored();
    void slowHandlerDelaysNextTick();
    void stopOnIdle_data();
    void stopOnIdle();
    void stopInsideOnTimer_data();
    void stopInsideOnTimer();
    void restartInsideOnTimer();
    void byTimeEndsByItself();
    void startTwiceAndSetActive();
    void destroyedWhileRunning_data();
    void destroyedWhileRunning();
};

void tst_ProcessTimer::initialState() {
    const QDateTime before = QDateTime::currentDateTime();
    TProcessTimer t;
    QVERIFY(t.ExecutingMode() == TTimerExecutingMode::temStandart);
    QCOMPARE(t.Interval(), 1000);
    QCOMPARE(t.MaxTickCount(), 100u);
    QVERIFY(!t.Active());
    QVERIFY(!t.InTick());
    QCOMPARE(t.Progress(), 0.0f);
    QVERIFY(t.StartTime() >= before && t.StartTime() <= QDateTime::currentDateTime());
    t.setInterval(20);
    QCOMPARE(t.Interval(), 20);
}

void tst_ProcessTimer::byTicksProgress_data() {
    QTest::addColumn<uint>("max");
    QTest::addColumn<QList<float>>("expected");
    QTest::newRow("four") << 4u << QList<float>{25, 50, 75, 100};
    QTest::newRow("one") << 1u << QList<float>{100};
    QTest::newRow("three") << 3u << QList<float>{100.0f / 3, 200.0f / 3, 100};
}

void tst_ProcessTimer::byTicksProgress() {
    QFETCH(uint, max);
    QFETCH(QList<float>, expected);
    TProcessTimer t;
    t.setExecutingMode(TTimerExecutingMode::temByTicks);
    t.setInterval(5);
    t.setMaxTickCount(max);
    Recorder r(t);
    t.Start();
    QVERIFY(t.Active());
    QCOMPARE(t.TickCount(), 0u);
    QTRY_VERIFY_WITH_TIMEOUT(r.count("stop") == 1, 3000);
    // Give a stray fifth tick the chance to come.
    QTest::qWait(60);
    QCOMPARE(r.events, runOf(int(max)));
    QCOMPARE(r.progress.size(), expected.size());
    for (int i = 0; i < expected.size(); ++i)
        QVERIFY2(qAbs(r.progress[i] - expected[i]) < 1e-3,
                 qPrintable(QString("tick %1: %2").arg(i + 1).arg(r.progress[i])));
    QVERIFY(!r.inTick.contains(false));
    QVERIFY(!t.Active());
    QVERIFY(!t.InTick());
    QCOMPARE(t.TickCount(), max);
    QCOMPARE(t.Progress(), 100.0f);
}

void tst_ProcessTimer::standartRunsUntilStop() {
    TProcessTimer t;
    t.setInterval(5);
    t.setMaxTickCount(2); // no bound in the standard mode
    Recorder r(t);
    t.Start();
    QTRY_VERIFY_WITH_TIMEOUT(r.count("tick") >= 5, 3000);
    QVERIFY(t.Active());
    QElapsedTimer stopClock;
    stopClock.start();
    t.Stop();
    QVERIFY2(stopClock.elapsed() >= 195, qPrintable(QString::number(stopClock.elapsed())));
    const int ticks = r.count("tick");
    QTest::qWait(40);
    QCOMPARE(r.events, runOf(ticks));
    QVERIFY(!r.progress.isEmpty());
    for (float p : r.progress)
        QCOMPARE(p, 0.0f);
    QVERIFY(!t.Active());
}

void tst_ProcessTimer::zeroMaximaIgnored_data() {
    QTest::addColumn<uint>("first");
    QTest::addColumn<uint>("kept");
    QTest::newRow("default") << 0u << 100u;
    QTest::newRow("set then zero") << 2u << 2u;
}

void tst_ProcessTimer::zeroMaximaIgnored() {
    QFETCH(uint, first);
    QFETCH(uint, kept);
    TProcessTimer t;
    QCOMPARE(t.MaxMilliSecondsCount(), 10000u);
    t.setMaxTickCount(first);
    t.setMaxTickCount(0);
    QCOMPARE(t.MaxTickCount(), kept);
    t.setMaxMilliSecondsCount(first);
    t.setMaxMilliSecondsCount(0);
    QCOMPARE(t.MaxMilliSecondsCount(), first == 0 ? 10000u : kept);
    if (kept > 10)
        return;
    // The kept value bounds the run.
    t.setExecutingMode(TTimerExecutingMode::temByTicks);
    t.setInterval(2);
    Recorder r(t);
    t.Start();
    QTRY_VERIFY_WITH_TIMEOUT(r.count("stop") == 1, 3000);
    QCOMPARE(r.count("tick"), int(kept));
}

void tst_ProcessTimer::slowHandlerDelaysNextTick() {
    TProcessTimer t;
    t.setInterval(10);
    Recorder r(t);
    // A handler four times slower than the period.
    r.onTick = [](int) { std::this_thread::sleep_for(std::chrono::milliseconds(40)); };
    t.Start();
    QTRY_VERIFY_WITH_TIMEOUT(r.count("tick") >= 5, 5000);
    t.OnTimer = nullptr;
    t.Stop();
    // Every tick begins at least Interval after the previous one ended: none queued up.
    for (int i = 1; i < r.tickBegin.size() && i < r.tickEnd.size(); ++i)
        QVERIFY2(r.tickBegin[i] - r.tickEnd[i - 1] >= 9,
                 qPrintable(QString("gap before tick %1: %2 ms")
                                .arg(i + 1)
                                .arg(r.tickBegin[i] - r.tickEnd[i - 1])));
}

void tst_ProcessTimer::stopOnIdle_data() {
    QTest::addColumn<bool>("afterRun");
    QTest::newRow("never started") << false;
    QTest::newRow("after a bounded run") << true;
}

void tst_ProcessTimer::stopOnIdle() {
    QFETCH(bool, afterRun);
    TProcessTimer t;
    t.setInterval(2);
    Recorder r(t);
    if (afterRun) {
        t.setExecutingMode(TTimerExecutingMode::temByTicks);
        t.setMaxTickCount(2);
        t.Start();
        QTRY_VERIFY_WITH_TIMEOUT(r.count("stop") == 1, 3000);
    }
    const QStringList before = r.events;
    QElapsedTimer clock;
    clock.start();
    t.Stop();
    t.setActive(false);
    QVERIFY2(clock.elapsed() < 100, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(r.events, before);
}

void tst_ProcessTimer::stopInsideOnTimer_data() {
    QTest::addColumn<TTimerExecutingMode>("mode");
    QTest::addColumn<uint>("max");
    QTest::addColumn<int>("stopAt");
    QTest::addColumn<int>("ticks");
    QTest::newRow("standard, third tick") << TTimerExecutingMode::temStandart << 100u << 3 << 3;
    QTest::newRow("by ticks, before the end") << TTimerExecutingMode::temByTicks << 5u << 2 << 2;
    QTest::newRow("by ticks, on the last tick") << TTimerExecutingMode::temByTicks << 3u << 3 << 3;
}

void tst_ProcessTimer::stopInsideOnTimer() {
    QFETCH(TTimerExecutingMode, mode);
    QFETCH(uint, max);
    QFETCH(int, stopAt);
    QFETCH(int, ticks);
    TProcessTimer t;
    t.setExecutingMode(mode);
    t.setMaxTickCount(max);
    t.setInterval(3);
    Recorder r(t);
    r.onTick = [&](int n) {
        if (n == stopAt)
            t.Stop();
        // Stop inside a tick leaves OnStop to the tick.
        if (n == stopAt)
            r.events << "after Stop";
    };
    t.Start();
    QTRY_VERIFY_WITH_TIMEOUT(r.count("stop") == 1, 3000);
    QTest::qWait(30);
    QStringList expected = runOf(ticks);
    expected.insert(ticks + 1, "after Stop");
    QCOMPARE(r.events, expected);
    QVERIFY(!t.InTick());
    QVERIFY(!t.Active());
}

void tst_ProcessTimer::restartInsideOnTimer() {
    TProcessTimer t;
    t.setExecutingMode(TTimerExecutingMode::temByTicks);
    t.setMaxTickCount(2);
    t.setInterval(3);
    Recorder r(t);
    // The first run ends on its second tick; its handler starts a second run at once.
    r.onTick = [&](int n) {
        if (n == 2)
            t.Start();
    };
    t.Start();
    QTRY_VERIFY_WITH_TIMEOUT(r.count("stop") == 2, 3000);
    QTest::qWait(30);
    QCOMPARE(r.events, runOf(2) + runOf(2));
}

void tst_ProcessTimer::byTimeEndsByItself() {
    TProcessTimer t;
    t.setExecutingMode(TTimerExecutingMode::temByTime);
    t.setMaxMilliSecondsCount(150);
    t.setInterval(10);
    Recorder r(t);
    const QDateTime before = QDateTime::currentDateTime();
    QElapsedTimer clock;
    clock.start();
    t.Start();
    QVERIFY(t.StartTime() >= before);
    QTRY_VERIFY_WITH_TIMEOUT(r.count("stop") == 1, 3000);
    QVERIFY2(clock.elapsed() >= 150, qPrintable(QString::number(clock.elapsed())));
    QCOMPARE(r.events, runOf(r.count("tick")));
    QVERIFY(r.progress.size() >= 3);
    QCOMPARE(r.progress.last(), 100.0f);
    for (int i = 0; i + 1 < r.progress.size(); ++i) {
        QVERIFY(r.progress[i] < 100.0f);
        QVERIFY(r.progress[i] <= r.progress[i + 1]);
    }
    QVERIFY(!t.Active());
}

void tst_ProcessTimer::startTwiceAndSetActive() {
    TProcessTimer t;
    t.setInterval(5);
    Recorder r(t);
    t.setActive(true);
    QVERIFY(t.Active());
    t.Start();
    t.setActive(true);
    QTRY_VERIFY_WITH_TIMEOUT(r.count("tick") >= 2, 3000);
    t.setActive(false);
    QVERIFY(!t.Active());
    QCOMPARE(r.events, runOf(r.count("tick")));
}

void tst_ProcessTimer::destroyedWhileRunning_data() {
    QTest::addColumn<bool>("insideTick");
    QTest::newRow("between ticks") << false;
    QTest::newRow("inside OnTimer") << true;
}

void tst_ProcessTimer::destroyedWhileRunning() {
    QFETCH(bool, insideTick);
    auto t = std::make_unique<TProcessTimer>();
    t->setInterval(3);
    QStringList events;
    t->OnStop = [&] { events << "stop"; };
    t->OnTimer = [&] {
        events << "tick";
        if (insideTick)
            t.reset();
    };
    t->Start();
    QTRY_VERIFY_WITH_TIMEOUT(!events.isEmpty(), 3000);
    t.reset();
    const int ticks = int(events.size());
    QTest::qWait(20);
    QCOMPARE(events.size(), ticks);
    QVERIFY(!events.contains("stop"));
    if (insideTick)
        QCOMPARE(ticks, 1);
}

QTEST_GUILESS_MAIN(tst_ProcessTimer)
#include "tst_ProcessTimer.moc"
