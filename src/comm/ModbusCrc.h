#pragma once

#include <QtGlobal>
#include <cstddef>

namespace zorvan {

// The Modbus CRC-16 (start 0xFFFF, reflected polynomial 0xA001), bit by bit. Appended to a
// frame low byte first; over a frame followed by its own checksum it yields 0.
quint16 ModbusCrc16(const quint8* data, std::size_t size);

} // namespace zorvan
