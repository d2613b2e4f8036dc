#pragma once

#include <QByteArray>
#include <QtGlobal>

// Modbus RTU frames built with the tests' own checksum (bit by bit, as the Modbus over serial
// line guide describes it), so that the code under test is checked against an independent
// encoder.
namespace zorvan::test::frames {

quint16 crc16(const QByteArray& bytes);
QByteArray withCrc(QByteArray frame);
// One register's bytes (high byte first), two registers' bytes (most significant first).
QByteArray word(quint16 value);
QByteArray dword(quint32 value);

// Function 3 request and reply (data: the registers' bytes).
QByteArray readRequest(quint8 slave, quint16 first, quint16 count);
QByteArray readReply(quint8 slave, const QByteArray& data);
// Function 16 with these register bytes, and its 8-byte echo.
QByteArray writeRequest(quint8 slave, quint16 first, const QByteArray& data);
QByteArray writeReply(quint8 slave, quint16 first, quint16 count);

} // namespace zorvan::test::frames
