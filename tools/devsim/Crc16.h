#pragma once

#include <cstddef>
#include <cstdint>

namespace zorvan::devsim {

// The Modbus RTU checksum (CRC-16, polynomial 0xA001 reflected, start 0xFFFF), sent low byte
// first. The simulator keeps its own so that it checks the host's independently.
std::uint16_t modbusCrc(const std::uint8_t* data, std::size_t size);

} // namespace zorvan::devsim
