#pragma once

#include <chrono>

namespace zorvan {
class TSerialPortDriver;
}

namespace zorvanctl {

// Brings the serial port back while zorvanctl keeps polling after the device went away (a
// hang-up, an adapter pulled out). A lost line is closed at once, so that nothing waits on a
// dead descriptor, and opened again no more often than once a period: a numbered port follows
// its ports/COMn link, so a device that comes back under the same number is found again.
class PortRecovery {
public:
    enum class State {
        Open,          // usable: poll
        Lost,          // the line was found lost and the port has just been closed
        Down,          // closed, the next attempt is not due yet
        AttemptFailed, // closed, an attempt to open it again has just failed
        Reopened,      // opened again: poll
    };

    // period: the least time from one attempt to open the port to the next.
    PortRecovery(zorvan::TSerialPortDriver& port, std::chrono::milliseconds period);

    // Before each poll tick; the tick may go on for Open and Reopened only.
    State beforeTick();

    int reopenCount() const { return m_reopens; }

private:
    using Clock = std::chrono::steady_clock;

    zorvan::TSerialPortDriver& m_port;
    std::chrono::milliseconds m_period;
    Clock::time_point m_lastAttempt{};
    int m_reopens = 0;
};

} // namespace zorvanctl
