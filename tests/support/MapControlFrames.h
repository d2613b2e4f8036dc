#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace zorvan::test {

// Modbus RTU frames of the device's map-control protocol, built here with a checksum of the
// tests' own so that the code under test is checked against an independent encoder.
namespace frames {

quint16 crc16(const QByteArray& bytes);
QByteArray withCrc(QByteArray frame);

// Function 3: request and reply (data = the registers' bytes, high byte first).
QByteArray readRequest(quint8 slave, quint16 first, quint16 count);
QByteArray readReply(quint8 slave, const QByteArray& data);
// Function 16 with the given register bytes, and its 8-byte reply.
QByteArray writeRequest(quint8 slave, quint16 first, const QByteArray& data);
QByteArray writeReply(quint8 slave, quint16 first, quint16 count);

// One register's bytes, two registers' bytes (most significant first).
QByteArray word(quint16 value);
QByteArray dword(quint32 value);

} // namespace frames

// The 14 registers 12288..12301 as the device shows them.
struct MapControlRegs {
    quint16 baseAddress = 0;
    quint16 tagIndex = 0;
    quint16 action = 0;
    quint16 error = 0;
    quint32 options = 0;
    quint16 channel = 0;
    quint16 tagType = 0;
    QByteArray name; // up to 12 bytes, padded with zero bytes

    QByteArray bytes() const;
};

// Requests and replies of one device address on the map-control registers.
class DeviceFrames {
public:
    explicit DeviceFrames(quint8 slave = 1) : m_slave(slave) {}

    // Writing one register of the block (TagIndex 12289, Action 12290, prmCurrMapTagIndex
    // 12303...) and the device's echo.
    QByteArray writeWord(quint16 address, quint16 value) const;
    QByteArray writeWordReply(quint16 address) const;
    QByteArray writeOptions(quint32 options) const;
    QByteArray writeOptionsReply() const;
    // Reading the 14 registers from 12288 and the reply showing regs.
    QByteArray readBlock() const;
    QByteArray readBlockReply(const MapControlRegs& regs) const;
    // Reading prmCurrMapTagCount and prmCurrMapTagIndex.
    QByteArray readAdd() const;
    QByteArray readAddReply(quint16 count, quint16 index) const;
    // Storing to flash through registers 8-9, and the echo.
    QByteArray flash() const;
    QByteArray flashReply() const;

private:
    quint8 m_slave;
};

} // namespace zorvan::test
