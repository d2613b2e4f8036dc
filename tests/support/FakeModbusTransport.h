#pragma once

#include "comm/ModbusTransport.h"

#include <QSet>
#include <QStringList>
#include <map>

namespace zorvan::test {

// A transport that answers functions 3 and 16 from a bank of registers, as a device would, with
// no line in between. It keeps every request, can leave chosen transactions unanswered or spoil
// their checksum, and describes requests in short text ("R 12288 14", "W 12289 1") for tests
// that care about which registers were asked for rather than about the bytes.
class FakeModbusTransport : public TModbusTransport {
public:
    // Registers of the device; unknown ones read as 0.
    std::map<quint16, quint16> registers;
    // Every request frame.
    QList<QByteArray> requests;
    // Transactions (counted from 0) that get no reply, and those whose reply checksum is spoiled.
    QSet<int> silentAt, corruptAt;

    bool Transact(TRequest& request, quint16 expected) override;

    // "R <first> <count>" or "W <first> <count>" for each request ("?" for what is neither).
    QStringList described() const;
};

} // namespace zorvan::test
