#pragma once

#include <QDateTime>
#include <QObject>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>

class QTimer;

namespace zorvan {

// How a run of the process timer ends.
enum class TTimerExecutingMode {
    temStandart = 0, // runs until stopped
    temByTicks = 1,  // ends after MaxTickCount ticks
    temByTime = 2,   // ends after MaxMilliSecondsCount milliseconds
};

// A periodic timer of the user-interface thread that never overlaps itself: the next period
// starts only after the previous tick's handler has returned, so a slow handler delays the
// next tick instead of queueing ticks. It can also run as a bounded process that ends by
// itself and reports its progress in percent.
//
// OnStart, OnTimer and OnStop come from the thread's event loop; OnStart and OnStop are raised
// exactly once per run, however it ends (by Stop, by Stop called inside OnTimer, or by reaching
// 100 percent). Destroying the timer ends a run silently, without OnStop.
class TProcessTimer : public QObject {
    Q_OBJECT
public:
    explicit TProcessTimer(QObject* parent = nullptr);
    ~TProcessTimer() override;

    TTimerExecutingMode ExecutingMode() const { return m_mode; }
    void setExecutingMode(TTimerExecutingMode mode) { m_mode = mode; }

    // Period between the end of one tick and the next tick, in milliseconds.
    int Interval() const;
    void setInterval(int ms);

    // Maxima of bounded runs; setting 0 keeps the previous value.
    std::uint32_t MaxTickCount() const { return m_maxTickCount; }
    void setMaxTickCount(std::uint32_t count);
    std::uint32_t MaxMilliSecondsCount() const { return m_maxMilliSeconds; }
    void setMaxMilliSecondsCount(std::uint32_t ms);

    bool Active() const { return m_active; }
    // Setting the current value does nothing; true runs Start, false runs Stop.
    void setActive(bool active);

    bool InTick() const { return m_inTick; }
    std::uint32_t TickCount() const { return m_tickCount; }
    QDateTime StartTime() const { return m_startTime; }
    float Progress() const { return m_progress; }

    // Starts a run; nothing when already active.
    void Start();
    // Ends a run; nothing (and no wait) when idle. Otherwise the thread sleeps StopWait, then
    // OnStop is raised, by Stop itself or, when called inside OnTimer, by the tick on return.
    void Stop();

    // The blocking pause of Stop (200 ms).
    static constexpr std::chrono::milliseconds StopWait{200};

    std::function<void()> OnTimer;
    std::function<void()> OnStart;
    std::function<void()> OnStop;

private:
    void tick();

    std::unique_ptr<QTimer> m_timer;
    TTimerExecutingMode m_mode = TTimerExecutingMode::temStandart;
    std::uint32_t m_maxTickCount = 100;
    std::uint32_t m_maxMilliSeconds = 10000;
    bool m_active = false;
    bool m_inTick = false;
    // A run that ended inside the current tick (bounded end or Stop within OnTimer) and whose
    // OnStop is still to be raised: by the tick on return, or first by a Start within OnTimer.
    bool m_stopOwed = false;
    std::uint32_t m_tickCount = 0;
    QDateTime m_startTime;
    // Elapsed time of a temByTime run is measured on the monotonic clock, so that a change of
    // the wall clock neither ends a run early nor stretches it.
    std::chrono::steady_clock::time_point m_startMonotonic;
    float m_progress = 0.0f;
    // Shared with a running tick so that it notices the timer being destroyed by a handler.
    std::shared_ptr<bool> m_alive;
};

} // namespace zorvan
