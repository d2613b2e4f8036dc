#include "Crc16.h"

#include <array>

namespace zorvan::devsim {

namespace {

constexpr std::array<std::uint16_t, 256> makeTable() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        std::uint16_t crc = std::uint16_t(i);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1u) != 0 ? std::uint16_t((crc >> 1) ^ 0xA001u) : std::uint16_t(crc >> 1);
        }
        table[i] = crc;
    }
    return table;
}

constexpr auto table = makeTable();

} // namespace

std::uint16_t modbusCrc(const std::uint8_t* data, std::size_t size) {
    std::uint16_t crc = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc = std::uint16_t((crc >> 8) ^ table[(crc ^ data[i]) & 0xFFu]);
    }
    return crc;
}

} // namespace zorvan::devsim
