#include "FakeModbusTransport.h"

#include "comm/ModbusCrc.h"

#include <algorithm>

namespace zorvan::test {

namespace {
quint16 word(const QByteArray& b, int at) {
    return quint16(quint8(b[at]) << 8 | quint8(b[at + 1]));
}
} // namespace

bool FakeModbusTransport::Transact(TRequest& request, quint16 expected) {
    const QByteArray frame(reinterpret_cast<const char*>(request.Data.data()), request.Length);
    const int number = int(requests.size());
    requests << frame;
    expectedLengths << expected;
    if (silentAt.contains(number) || frame.size() < 8 ||
        ModbusCrc16(request.Data.data(), request.Length) != 0)
        return false;
    const quint16 first = word(frame, 2);
    const int count = quint8(frame[5]);
    QByteArray reply;
    reply.append(char(replyAddress != 0 ? replyAddress : quint8(frame[0])));
    reply.append(frame[1]);
    if (frame[1] == char(3)) {
        reply.append(char(2 * count));
        for (int i = 0; i < count; ++i) {
            const auto it = registers.find(quint16(first + i));
            const quint16 v = it == registers.end() ? 0 : it->second;
            reply.append(char(v >> 8)).append(char(v & 0xFF));
        }
    } else if (frame[1] == char(16)) {
        for (int i = 0; i < count && 7 + 2 * i + 1 < frame.size() - 2; ++i)
            registers[quint16(first + i)] = word(frame, 7 + 2 * i);
        reply.append(frame.mid(2, 4));
    } else {
        return false;
    }
    const quint16 crc =
        ModbusCrc16(reinterpret_cast<const quint8*>(reply.constData()), std::size_t(reply.size()));
    reply.append(char(crc & 0xFF)).append(char(crc >> 8));
    if (corruptAt.contains(number))
        reply[reply.size() - 1] = char(reply[reply.size() - 1] ^ 0x5A);
    // As on the line: a shorter reply times out, a longer one is read up to what was asked.
    if (reply.size() < expected || expected > TRequest::Capacity)
        return false;
    std::copy_n(reply.constData(), expected, reinterpret_cast<char*>(request.Data.data()));
    return true;
}

QString FakeModbusTransport::describe(const QByteArray& frame) {
    if (frame.size() < 8)
        return "?";
    const QString kind = frame[1] == char(3) ? "R" : frame[1] == char(16) ? "W" : "?";
    return QString("%1 %2 %3").arg(kind).arg(word(frame, 2)).arg(quint8(frame[5]));
}

QStringList FakeModbusTransport::described() const {
    QStringList out;
    for (const QByteArray& r : requests)
        out << describe(r);
    return out;
}

} // namespace zorvan::test
