// The process timer's runs: bounded and unbounded, stopped or restarted from inside its own
// tick, and destroyed while running.

#include "comm/ProcessTimer.h"

#include "Cases.h"

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTest>
#include <memory>

using zorvan::TProcessTimer;
using M = zorvan::TTimerExecutingMode;

namespace {

struct Run {
    M mode;
    uint max; // ticks or milliseconds
    int at;
    // Done at tick `at`: "stop", "start" or "destroy" inside OnTimer, "outside" after it; and
    // the pattern of the events: "start", "t<progress>" for each tick, "stop".
    const char *action, *events;
};

// Records a timer's events.
struct Recorder {
    QStringList events;
    int ticks = 0;
    QElapsedTimer clock;
    std::function<void(int)> onTick; // with the tick's number, from 1

    explicit Recorder(TProcessTimer& t) {
        clock.start();
        t.OnStart = [this] { events << "start"; };
        t.OnStop = [this] { events << "stop"; };
        t.OnTimer = [this, &t] {
            events << QString("t%1").arg(int(t.Progress()));
            QVERIFY(t.InTick());
            if (onTick)
                onTick(++ticks);
        };
    }
    bool shows(const QString& pattern) const {
        return QRegularExpression("^" + pattern + "$").match(events.join(' ')).hasMatch();
    }
};

} // namespace

Q_DECLARE_METATYPE(Run)

class tst_ProcessTimer : public QObject {
    Q_OBJECT
private slots:
    void runs_data() {
        // clang-format off
        zorvan::test::addCases<Run>({
            {"by ticks",              {M::temByTicks, 4, 0, "", "start t25 t50 t75 t100 stop"}},
            {"by time",               {M::temByTime, 150, 0, "", "start( t[1-9]?[0-9])+ t100 stop"}},
            {"stop inside",           {M::temStandart, 2, 3, "stop", "start t0 t0 t0 stop"}},
            {"stop inside, early",    {M::temByTicks, 5, 2, "stop", "start t20 t40 stop"}},
            {"stop on the last tick", {M::temByTicks, 3, 3, "stop", "start t33 t66 t100 stop"}},
            {"restart at the end",    {M::temByTicks, 2, 2, "start", "start t50 t100 stop start t50 t100 stop"}},
            {"destroyed inside",      {M::temStandart, 2, 1, "destroy", "start t0"}},
            {"stopped from outside",  {M::temStandart, 2, 3, "outside", "start( t0){3,} stop"}},
        });
        // clang-format on
    }

    void runs() {
        QFETCH(Run, c);
        auto t = std::make_unique<TProcessTimer>();
        t->setExecutingMode(c.mode);
        t->setMaxTickCount(c.max);
        t->setMaxMilliSecondsCount(c.max);
        t->setMaxTickCount(0); // keeps the maxima
        t->setMaxMilliSecondsCount(0);
        t->setInterval(-1); // taken as 0
        QCOMPARE(t->Interval(), 0);
        t->setInterval(3);
        Recorder r(*t);
        const QString action = c.action;
        r.onTick = [&](int n) { // after "destroy" nothing may touch the timer
            if (n == c.at && action != "outside")
                action == "stop" ? t->Stop() : action == "start" ? t->Start() : t.reset();
        };
        t->setActive(true);
        t->Start(); // already running: nothing
        if (action == "outside") {
            QTRY_VERIFY(r.ticks >= c.at);
            const qint64 before = r.clock.elapsed();
            t->setActive(false);
            QVERIFY(r.clock.elapsed() - before >= 195); // the StopWait pause
        }
        QTRY_VERIFY2(r.shows(c.events), qPrintable(r.events.join(' ')));
        QVERIFY(r.clock.elapsed() >= (c.mode == M::temByTime ? qint64(c.max) : 0));
        QVERIFY(!t || (!t->Active() && !t->InTick()));
        if (t)
            t->Stop();    // idle: no event
        QTest::qWait(30); // and nothing more comes
        QVERIFY2(r.shows(c.events), qPrintable(r.events.join(' ')));
    }
};

QTEST_GUILESS_MAIN(tst_ProcessTimer)
#include "tst_ProcessTimer.moc"
