#pragma once

#include <chrono>
#include <cstdint>

namespace zorvan::devsim {

// Models a real serial line: a byte takes 10 bit times (start, 8 data, stop) and every frame is
// followed by 3.5 characters of silence. The pseudo-terminal moves bytes at once; the pacer says
// when a reply may leave so that the host sees it no sooner than on a line of that speed, and
// sums up the line time of the whole run.
class WirePacer {
public:
    using Clock = std::chrono::steady_clock;

    explicit WirePacer(int baud) : m_baud(baud) {}

    bool enabled() const { return m_baud > 0; }
    int baud() const { return m_baud; }

    // Line time of a frame of the given size together with the silence after it.
    std::chrono::nanoseconds frameTime(int bytes) const;

    // The moment a reply may begin, counting from the request arriving: the request frame
    // and its silence. Reply byte k has reached the host (k + 1) character times later.
    Clock::time_point replyStart(Clock::time_point requestSeen, int requestBytes) const;
    // Line time of one character.
    std::chrono::nanoseconds characterTime() const { return characters(1.0); }

    // Adds one exchange to the run's line time; replyBytes 0 when no reply went out.
    void account(int requestBytes, int replyBytes);

    double totalMs() const { return std::chrono::duration<double, std::milli>(m_total).count(); }

private:
    std::chrono::nanoseconds characters(double count) const;

    int m_baud;
    std::chrono::nanoseconds m_total{0};
};

} // namespace zorvan::devsim
