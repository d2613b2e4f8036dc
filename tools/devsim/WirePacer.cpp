#include "WirePacer.h"

#include <cmath>

namespace zorvan::devsim {

namespace {
constexpr double bitsPerCharacter = 10.0;
constexpr double silenceCharacters = 3.5;
} // namespace

std::chrono::nanoseconds WirePacer::characters(double count) const {
    if (m_baud <= 0) {
        return std::chrono::nanoseconds(0);
    }
    return std::chrono::nanoseconds(std::llround(count * bitsPerCharacter * 1e9 / double(m_baud)));
}

std::chrono::nanoseconds WirePacer::frameTime(int bytes) const {
    return characters(double(bytes) + silenceCharacters);
}

WirePacer::Clock::time_point WirePacer::replyStart(Clock::time_point requestSeen,
                                                   int requestBytes) const {
    return requestSeen + frameTime(requestBytes);
}

void WirePacer::account(int requestBytes, int replyBytes) {
    m_total += frameTime(requestBytes);
    if (replyBytes > 0) {
        m_total += frameTime(replyBytes);
    }
}

} // namespace zorvan::devsim
