#include "comm/ProcessTimer.h"

#include <QTimer>
#include <algorithm>
#include <thread>

namespace zorvan {

namespace {

// Runs a handler through a copy: the handler may reassign or clear the member it came from.
void fire(std::function<void()> handler) {
    if (handler)
        handler();
}

} // namespace

TProcessTimer::TProcessTimer(QObject* parent)
    : QObject(parent), m_timer(std::make_unique<QTimer>()),
      m_startTime(QDateTime::currentDateTime()), m_alive(std::make_shared<bool>(true)) {
    // A coarse timer may fire up to 5 % early; the gap after a tick is meant to be Interval.
    m_timer->setTimerType(Qt::PreciseTimer);
    m_timer->setInterval(1000);
    connect(m_timer.get(), &QTimer::timeout, this, &TProcessTimer::tick);
}

TProcessTimer::~TProcessTimer() {
    // A run ends silently; a tick still on the stack sees this and touches nothing more.
    *m_alive = false;
}

int TProcessTimer::Interval() const {
    return m_timer->interval();
}

void TProcessTimer::setInterval(int ms) {
    m_timer->setInterval(std::max(ms, 0));
}

void TProcessTimer::setMaxTickCount(std::uint32_t count) {
    if (count != 0)
        m_maxTickCount = count;
}

void TProcessTimer::setMaxMilliSecondsCount(std::uint32_t ms) {
    if (ms != 0)
        m_maxMilliSeconds = ms;
}

void TProcessTimer::setActive(bool active) {
    if (active == m_active)
        return;
    if (active)
        Start();
    else
        Stop();
}

void TProcessTimer::Start() {
    if (m_active)
        return;
    const auto alive = m_alive;
    if (m_stopOwed) {
        // Restarted from within OnTimer after the run ended in this tick: close that run first
        // so that OnStart and OnStop keep pairing up.
        m_stopOwed = false;
        fire(OnStop);
        if (!*alive || m_active)
            return;
    }
    m_progress = 0.0f;
    fire(OnStart);
    if (!*alive || m_active)
        return;
    if (m_mode == TTimerExecutingMode::temByTicks)
        m_tickCount = 0;
    else if (m_mode == TTimerExecutingMode::temByTime) {
        m_startTime = QDateTime::currentDateTime();
        m_startMonotonic = std::chrono::steady_clock::now();
    }
    m_active = true;
    m_timer->start();
}

void TProcessTimer::Stop() {
    if (!m_active)
        return;
    m_active = false;
    m_timer->stop();
    std::this_thread::sleep_for(StopWait);
    if (m_inTick) {
        m_stopOwed = true;
        return;
    }
    fire(OnStop);
}

void TProcessTimer::tick() {
    m_timer->stop();
    if (!m_active)
        return;
    m_inTick = true;

    double progress = 0.0;
    switch (m_mode) {
    case TTimerExecutingMode::temByTicks:
        ++m_tickCount;
        progress = double(m_tickCount) * 100.0 / double(m_maxTickCount);
        break;
    case TTimerExecutingMode::temByTime: {
        const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
                                 std::chrono::steady_clock::now() - m_startMonotonic)
                                 .count();
        progress = double(elapsed) * 100.0 / double(m_maxMilliSeconds);
        break;
    }
    case TTimerExecutingMode::temStandart:
        break;
    }
    // The end is decided on the exact ratio: a float could round 99.999999 up to 100 and end a
    // long run one tick early.
    if (progress >= 100.0) {
        m_progress = 100.0f;
        m_active = false;
        m_stopOwed = true;
    } else {
        m_progress = float(progress);
    }

    const auto alive = m_alive;
    fire(OnTimer);
    if (!*alive)
        return;

    if (m_active)
        m_timer->start();
    if (!m_active && m_stopOwed) {
        m_stopOwed = false;
        fire(OnStop);
        if (!*alive)
            return;
    }
    m_inTick = false;
}

} // namespace zorvan
