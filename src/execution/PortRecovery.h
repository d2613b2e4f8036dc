#pragma once

#include <chrono>

namespace zorvan {

class TMapRun;
class TProcessTimer;
class TSerialPortDriver;

// Brings the serial port back while a map run keeps polling after the device went away (a
// hang-up, an adapter pulled out). A lost line is closed at once, so that nothing waits on a
// dead descriptor, and opened again no more often than once a period: a numbered port follows
// its ports/COMn link, so a device that comes back under the same number is found again. The
// execution window and `zorvanctl poll` both tick their run through one.
class TPortRecovery {
public:
    enum class State {
        Open,          // usable: polled
        Lost,          // the line was found lost and the port has just been closed
        Down,          // closed, the next attempt is not due yet
        AttemptFailed, // closed, an attempt to open it again has just failed
        Reopened,      // opened again: polled
    };

    // For a run polled on `port` at the pace of `timer`, which is set to the run's tick. The
    // period between attempts is the pace a silent device is polled at (reply time-out + tick);
    // the timer is slowed down to it while the port is closed.
    TPortRecovery(TSerialPortDriver& port, TProcessTimer& timer);

    // One tick: the run's Tick while the port is usable, otherwise the port's recovery. A lost
    // line makes every value of the run stale; each attempt to open the port again that fails
    // counts in the run as one request and one error.
    State Tick(TMapRun& run);

    static bool Polled(State state) { return state == State::Open || state == State::Reopened; }

private:
    using Clock = std::chrono::steady_clock;

    State BeforeTick();

    TSerialPortDriver& m_port;
    TProcessTimer& m_timer;
    std::chrono::milliseconds m_period;
    Clock::time_point m_lastAttempt{};
};

} // namespace zorvan
