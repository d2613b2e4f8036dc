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
    uint max;           // ticks or milliseconds
    const char* action; // done inside OnTimer at tick `at`: "stop", "start" or "destroy"
    int at;
    const char* events; // pattern of "start", "t<progress>" for each tick, "stop"
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
            {"by ticks",              {M::temByTicks, 4, "", 0, "start t25 t50 t75 t100 stop"}},
            {"by time",               {M::temByTime, 150, "", 0, "start( t[1-9]?[0-9])+ t100 stop"}},
            {"stop inside",           {M::temStandart, 2, "stop", 3, "start t0 t0 t0 stop"}},
            {"stop inside, early",    {M::temByTicks, 5, "stop", 2, "start t20 t40 stop"}},
            {"stop on the last tick", {M::temByTicks, 3, "stop", 3, "start t33 t66 t100 stop"}},
            {"restart at the end",    {M::temByTicks, 2, "start", 2, "start t50 t100 stop start t50 t100 stop"}},
            {"destroyed inside",      {M::temStandart, 2, "destroy", 1, "start t0"}},
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
        t->setInterval(3);
        Recorder r(*t);
        const QString action = c.action;
        r.onTick = [&](int n) { // after "destroy" nothing may touch the timer
            if (n == c.at)
                action == "stop" ? t->Stop() : action == "start" ? t->Start() : t.reset();
        };
        t->Start();
        QTRY_VERIFY2(r.shows(c.events), qPrintable(r.events.join(' ')));
        QVERIFY(r.clock.elapsed() >= (c.mode == M::temByTime ? qint64(c.max) : 0));
        QTest::qWait(30); // and nothing more comes
        QVERIFY2(r.shows(c.events), qPrintable(r.events.join(' ')));
        QVERIFY(!t || (!t->Active() && !t->InTick()));
    }

    void stopFromOutside() {
        TProcessTimer t;
        t.setInterval(-1);
        QCOMPARE(t.Interval(), 0);
        t.setInterval(5);
        Recorder r(t);
        t.setActive(true);
        t.Start(); // already running: nothing
        QTRY_VERIFY(r.events.size() >= 3);
        QElapsedTimer clock;
        clock.start();
        t.setActive(false);
        QVERIFY2(clock.elapsed() >= 195, qPrintable(QString::number(clock.elapsed()))); // StopWait
        QVERIFY2(r.shows("start( t0)+ stop"), qPrintable(r.events.join(' ')));
        clock.restart();
        t.Stop(); // idle: no wait, no event
        QVERIFY(clock.elapsed() < 100 && r.events.last() == "stop" && r.events.count("stop") == 1);
    }
};

QTEST_GUILESS_MAIN(tst_ProcessTimer)
#include "tst_ProcessTimer.moc"
