#include "MapControlFrames.h"

namespace zorvan::test {

namespace frames {

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
    frame.append(char(crc & 0xFF));
    frame.append(char(crc >> 8));
    return frame;
}

QByteArray word(quint16 value) {
    QByteArray b;
    b.append(char(value >> 8));
    b.append(char(value & 0xFF));
    return b;
}

QByteArray dword(quint32 value) {
    return word(quint16(value >> 16)) + word(quint16(value & 0xFFFF));
}

QByteArray readRequest(quint8 slave, quint16 first, quint16 count) {
    QByteArray f;
    f.append(char(slave)).append(char(3));
    f += word(first) + word(count);
    return withCrc(f);
}

QByteArray readReply(quint8 slave, const QByteArray& data) {
    QByteArray f;
    f.append(char(slave)).append(char(3)).append(char(data.size()));
    f += data;
    return withCrc(f);
}

QByteArray writeRequest(quint8 slave, quint16 first, const QByteArray& data) {
    QByteArray f;
    f.append(char(slave)).append(char(16));
    f += word(first) + word(quint16(data.size() / 2));
    f.append(char(data.size()));
    f += data;
    return withCrc(f);
}

QByteArray writeReply(quint8 slave, quint16 first, quint16 count) {
    QByteArray f;
    f.append(char(slave)).append(char(16));
    f += word(first) + word(count);
    return withCrc(f);
}

} // namespace frames

QByteArray MapControlRegs::bytes() const {
    using namespace frames;
    QByteArray padded = name.left(12);
    padded.append(QByteArray(12 - padded.size(), '\0'));
    return word(baseAddress) + word(tagIndex) + word(action) + word(error) + dword(options) +
           word(channel) + word(tagType) + padded;
}

QByteArray DeviceFrames::writeWord(quint16 address, quint16 value) const {
    return frames::writeRequest(m_slave, address, frames::word(value));
}

QByteArray DeviceFrames::writeWordReply(quint16 address) const {
    return frames::writeReply(m_slave, address, 1);
}

QByteArray DeviceFrames::writeOptions(quint32 options) const {
    return frames::writeRequest(m_slave, 12292, frames::dword(options));
}

QByteArray DeviceFrames::writeOptionsReply() const {
    return frames::writeReply(m_slave, 12292, 2);
}

QByteArray DeviceFrames::readBlock() const {
    return frames::readRequest(m_slave, 12288, 14);
}

QByteArray DeviceFrames::readBlockReply(const MapControlRegs& regs) const {
    return frames::readReply(m_slave, regs.bytes());
}

QByteArray DeviceFrames::readAdd() const {
    return frames::readRequest(m_slave, 12302, 2);
}

QByteArray DeviceFrames::readAddReply(quint16 count, quint16 index) const {
    return frames::readReply(m_slave, frames::word(count) + frames::word(index));
}

QByteArray DeviceFrames::flash() const {
    return frames::writeRequest(m_slave, 8, frames::dword(1));
}

QByteArray DeviceFrames::flashReply() const {
    return frames::writeReply(m_slave, 8, 2);
}

} // namespace zorvan::test
