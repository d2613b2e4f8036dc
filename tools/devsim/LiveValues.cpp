#include "LiveValues.h"

#include <bit>
#include <cmath>
#include <numbers>

namespace zorvan::devsim {

namespace {

enum class Shape { Ramp, Sine, Counter };

// Low and high end of each type's curves: wide enough to show sign and width, far from the
// type's limits so that a ramp never wraps by itself.
struct Span {
    double low;
    double high;
};

Span spanOf(std::uint16_t type) {
    switch (type) {
    case 0:
        return {-1000.0, 1000.0};
    case 1:
        return {0.0, 1000.0};
    case 2:
        return {-100000.0, 100000.0};
    case 3:
        return {0.0, 1000000.0};
    default:
        return {0.0, 100.0};
    }
}

} // namespace

std::uint32_t liveValue(std::size_t entry, std::uint16_t type, double seconds) {
    const auto shape = static_cast<Shape>(entry % 3);
    const Span span = spanOf(type);
    const double width = span.high - span.low;
    // Periods from 6 to 14 s so that neighbouring curves differ.
    const double period = 6.0 + double(entry % 5) * 2.0;
    double value = 0.0;
    switch (shape) {
    case Shape::Ramp:
        value = span.low + std::fmod(seconds / period + double(entry) * 0.1, 1.0) * width;
        break;
    case Shape::Sine:
        value = span.low +
                width / 2.0 *
                    (1.0 + std::sin(2.0 * std::numbers::pi * seconds / period + double(entry)));
        break;
    case Shape::Counter:
        // Ten counts a second; integer types wrap like a hardware counter.
        value = std::floor(seconds * 10.0);
        break;
    }
    if (type == 4) {
        return std::bit_cast<std::uint32_t>(static_cast<float>(value));
    }
    const auto whole = static_cast<std::int64_t>(std::llround(value));
    if (type == 0 || type == 1) {
        return std::uint32_t(whole) & 0xFFFFu;
    }
    return std::uint32_t(std::uint64_t(whole));
}

} // namespace zorvan::devsim
