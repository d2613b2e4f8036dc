#pragma once

#include <cstddef>
#include <cstdint>

namespace zorvan::devsim {

// The value a map entry shows while no write has overridden it: ramps, sine waves and counters
// (by entry position, in turn), in the range of the entry's type, moving with the seconds since
// the device started. Returns the value's bits: 16-bit types in the low half, Float as IEEE
// single.
std::uint32_t liveValue(std::size_t entry, std::uint16_t type, double seconds);

} // namespace zorvan::devsim
