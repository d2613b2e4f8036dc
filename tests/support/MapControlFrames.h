#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace zorvan::test {

// Modbus RTU frames built with the tests' own checksum (bit by bit, as the Modbus over serial
// line guide describes it), so that the code under test is checked against an independent
// encoder.
struct frames {
    static quint16 crc16(const QByteArray& bytes);
    static QByteArray withCrc(const QByteArray& f) {
        return f + char(crc16(f)) + char(crc16(f) >> 8);
    }
    // One register's bytes (high byte first), two registers' bytes (most significant first).
    static QByteArray word(quint16 v) { return QByteArray().append(char(v >> 8)).append(char(v)); }
    static QByteArray dword(quint32 v) { return word(quint16(v >> 16)) + word(quint16(v)); }
    // Function 3 request and reply (data: the registers' bytes).
    static QByteArray readRequest(quint8 slave, quint16 first, quint16 count) {
        return withCrc(head(slave, 3) + word(first) + word(count));
    }
    static QByteArray readReply(quint8 slave, const QByteArray& data) {
        return withCrc(head(slave, 3) + char(data.size()) + data);
    }
    // Function 16 with these register bytes, and its 8-byte echo.
    static QByteArray writeRequest(quint8 slave, quint16 first, const QByteArray& data) {
        return withCrc(head(slave, 16) + word(first) + word(quint16(data.size() / 2)) +
                       char(data.size()) + data);
    }
    static QByteArray writeReply(quint8 slave, quint16 first, quint16 count) {
        return withCrc(head(slave, 16) + word(first) + word(count));
    }
    static QByteArray head(quint8 slave, char function) {
        return QByteArray(1, char(slave)) + function;
    }
};

} // namespace zorvan::test
