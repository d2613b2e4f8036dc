#pragma once

#include <cstdint>

namespace zorvan::devsim {

// How the value block lays a value into registers, chosen by the map's options word: bits 0-1
// pick the order of 32-bit values, bit 2 that of 16-bit values. With the value's bytes B3 (most
// significant) .. B0, the bytes as they travel (register 1 high, register 1 low, ...) are
//   order 0: B3 B2 B1 B0    order 1: B1 B0 B3 B2    order 2: B2 B3 B0 B1    order 3: B0 B1 B2 B3
// and a 16-bit value H L goes as H L only with order 0 (bit 2 clear), as L H otherwise.

int order32(std::uint32_t options);
int order16(std::uint32_t options);

// value holds the 16-bit value in its low half for one-register types. registers: the count of
// the type (1 or 2).
void encodeValue(std::uint32_t value, int registers, std::uint32_t options, std::uint16_t* out);
std::uint32_t decodeValue(const std::uint16_t* in, int registers, std::uint32_t options);

} // namespace zorvan::devsim
