#include "MapControlFrames.h"

namespace zorvan::test {

quint16 frames::crc16(const QByteArray& bytes) {
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

} // namespace zorvan::test
