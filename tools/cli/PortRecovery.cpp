#include "PortRecovery.h"

#include "comm/SerialPortDriver.h"

namespace zorvanctl {

PortRecovery::PortRecovery(zorvan::TSerialPortDriver& port, std::chrono::milliseconds period)
    : m_port(port), m_period(period) {}

PortRecovery::State PortRecovery::beforeTick() {
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
    if (!m_port.OpenPort())
        return State::AttemptFailed;
    ++m_reopens;
    return State::Reopened;
}

} // namespace zorvanctl
