#include "FakeModbusTransport.h"

#include "MapControlFrames.h"

#include <algorithm>

namespace zorvan::test {

namespace {
quint16 wordAt(const QByteArray& b, int at) {
    return quint16(quint8(b[at]) << 8 | quint8(b[at + 1]));
}
} // namespace

bool FakeModbusTransport::Transact(TRequest& request, quint16 expected) {
    const QByteArray frame(reinterpret_cast<const char*>(request.Data.data()), request.Length);
    const int number = int(requests.size());
    requests << frame;
    if (silentAt.contains(number) || frame.size() < 8 || frames::crc16(frame) != 0)
        return false;
    const quint16 first = wordAt(frame, 2);
    const int count = quint8(frame[5]);
    QByteArray reply = frame.left(2);
    if (frame[1] == char(3)) {
        reply.append(char(2 * count));
        for (int i = 0; i < count; ++i) {
            const auto it = registers.find(quint16(first + i));
            reply += frames::word(it == registers.end() ? 0 : it->second);
        }
    } else if (frame[1] == char(16)) {
        for (int i = 0; i < count && 7 + 2 * i + 1 < frame.size() - 2; ++i)
            registers[quint16(first + i)] = wordAt(frame, 7 + 2 * i);
        reply += frame.mid(2, 4);
    } else {
        return false;
    }
    reply = frames::withCrc(reply);
    if (corruptAt.contains(number))
        reply[reply.size() - 1] = char(reply[reply.size() - 1] ^ 0x5A);
    // As on the line: a shorter reply times out, a longer one is read up to what was asked.
    if (reply.size() < expected || expected > TRequest::Capacity)
        return false;
    std::copy_n(reply.constData(), expected, reinterpret_cast<char*>(request.Data.data()));
    return true;
}

QStringList FakeModbusTransport::described() const {
    QStringList out;
    for (const QByteArray& r : requests) {
        const char kind = r.size() < 8 ? '?' : r[1] == char(3) ? 'R' : r[1] == char(16) ? 'W' : '?';
        out << (kind == '?' ? "?"
                            : QString("%1 %2 %3").arg(kind).arg(wordAt(r, 2)).arg(quint8(r[5])));
    }
    return out;
}

} // namespace zorvan::test
