#include "MapControlFrames.h"

namespace zorvan::test::frames {

quint16 crc16(const QByteArray& bytes) {
    quint16 crc = 0xFFFF;
    for (const char c : bytes) {
        crc ^= quint8(c);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? quint16((crc >> 1) ^ 0xA001) : quint16(crc >> 1);
    }
    return crc;
}

QByteArray withCrc(QByteArray frame) {
    const quint16 crc = crc16(frame);
    return frame.append(char(crc & 0xFF)).append(char(crc >> 8));
}

QByteArray word(quint16 value) {
    return QByteArray().append(char(value >> 8)).append(char(value & 0xFF));
}

QByteArray dword(quint32 value) {
    return word(quint16(value >> 16)) + word(quint16(value & 0xFFFF));
}

QByteArray readRequest(quint8 slave, quint16 first, quint16 count) {
    return withCrc(QByteArray().append(char(slave)).append(char(3)) + word(first) + word(count));
}

QByteArray readReply(quint8 slave, const QByteArray& data) {
    return withCrc(QByteArray().append(char(slave)).append(char(3)).append(char(data.size())) +
                   data);
}

QByteArray writeRequest(quint8 slave, quint16 first, const QByteArray& data) {
    const QByteArray head = QByteArray().append(char(slave)).append(char(16)) + word(first) +
                            word(quint16(data.size() / 2));
    return withCrc(head + char(data.size()) + data);
}

QByteArray writeReply(quint8 slave, quint16 first, quint16 count) {
    return withCrc(QByteArray().append(char(slave)).append(char(16)) + word(first) + word(count));
}

} // namespace zorvan::test::frames
