#include "comm/ModbusCrc.h"

namespace zorvan {

quint16 ModbusCrc16(const quint8* data, std::size_t size) {
    quint16 crc = 0xFFFF;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) {
            const bool out = (crc & 1) != 0;
            crc >>= 1;
            if (out)
                crc ^= 0xA001;
        }
    }
    return crc;
}

} // namespace zorvan
