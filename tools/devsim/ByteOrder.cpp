#include "ByteOrder.h"

#include <array>

namespace zorvan::devsim {

namespace {

// Position (3 = most significant) of the value byte sent first, second, third and fourth.
constexpr std::array<std::array<int, 4>, 4> wireBytes = {{
    {3, 2, 1, 0},
    {1, 0, 3, 2},
    {2, 3, 0, 1},
    {0, 1, 2, 3},
}};

std::uint16_t swapped(std::uint16_t v) {
    return std::uint16_t((v << 8) | (v >> 8));
}

} // namespace

int order32(std::uint32_t options) {
    return int(options & 3u);
}

int order16(std::uint32_t options) {
    return (options & 4u) != 0 ? 1 : 0;
}

void encodeValue(std::uint32_t value, int registers, std::uint32_t options, std::uint16_t* out) {
    if (registers == 1) {
        const auto word = std::uint16_t(value);
        out[0] = order16(options) == 0 ? word : swapped(word);
        return;
    }
    const auto& order = wireBytes[order32(options)];
    std::array<std::uint8_t, 4> wire{};
    for (int i = 0; i < 4; ++i) {
        wire[i] = std::uint8_t(value >> (8 * order[i]));
    }
    out[0] = std::uint16_t((wire[0] << 8) | wire[1]);
    out[1] = std::uint16_t((wire[2] << 8) | wire[3]);
}

std::uint32_t decodeValue(const std::uint16_t* in, int registers, std::uint32_t options) {
    if (registers == 1) {
        return order16(options) == 0 ? in[0] : swapped(in[0]);
    }
    const auto& order = wireBytes[order32(options)];
    const std::array<std::uint8_t, 4> wire = {std::uint8_t(in[0] >> 8), std::uint8_t(in[0]),
                                              std::uint8_t(in[1] >> 8), std::uint8_t(in[1])};
    std::uint32_t value = 0;
    for (int i = 0; i < 4; ++i) {
        value |= std::uint32_t(wire[i]) << (8 * order[i]);
    }
    return value;
}

} // namespace zorvan::devsim
