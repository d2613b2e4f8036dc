#include "execution/PortRecovery.h"

#include "comm/ProcessTimer.h"
#include "comm/SerialPortDriver.h"
#include "execution/MapRun.h"

namespace zorvan {

TPortRecovery::TPortRecovery(TSerialPortDriver& port, TProcessTimer& timer)
    : m_port(port), m_timer(timer), m_period(int(port.InputTimeout()) + TMapRun::TickInterval) {
    m_timer.setInterval(TMapRun::TickInterval);
}

TPortRecovery::State TPortRecovery::BeforeTick() {
    if (m_port.IsOpen()) {
        if (!m_port.LineLost())
            return State::Open;
        m_port.ClosePort();
        // The first attempt waits a period too: a device that has just hung up is seldom back
        // at once.
        m_lastAttempt = Clock::now();
        return State::Lost;
    }
    const auto now = Clock::now();
    if (now - m_lastAttempt < m_period)
        return State::Down;
    m_lastAttempt = now;
    return m_port.OpenPort() ? State::Reopened : State::AttemptFailed;
}

TPortRecovery::State TPortRecovery::Tick(TMapRun& run) {
    const State state = BeforeTick();
    switch (state) {
    case State::Lost:
        run.MarkStale();
        m_timer.setInterval(int(m_period.count()));
        break;
    case State::AttemptFailed:
        ++run.RequestCount;
        ++run.ErrorCount;
        break;
    case State::Reopened:
        m_timer.setInterval(TMapRun::TickInterval);
        break;
    default:
        break;
    }
    // Last: the window may stop, and free this, from inside the run's tick.
    if (Polled(state))
        run.Tick();
    return state;
}

} // namespace zorvan
