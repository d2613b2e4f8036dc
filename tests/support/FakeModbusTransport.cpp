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
    requests << frame;
    if (silentAt.contains(int(requests.size()) - 1) || frame.size() < 8 ||
        frames::crc16(frame) != 0)
        return false;
    const quint16 first = wordAt(frame, 2);
    const int count = quint8(frame[5]);
    QByteArray data;
    for (int i = 0; i < count && frame[1] == char(3); ++i)
        data +=
            frames::word(registers.count(quint16(first + i)) ? registers[quint16(first + i)] : 0);
    for (int i = 0; i < count && frame[1] == char(16) && 8 + 2 * i < frame.size() - 2; ++i)
        registers[quint16(first + i)] = wordAt(frame, 7 + 2 * i);
    QByteArray reply = frame[1] == char(3) ? frames::readReply(quint8(frame[0]), data)
                       : frame[1] == char(16)
                           ? frames::writeReply(quint8(frame[0]), first, quint16(count))
                           : QByteArray();
    if (corruptAt.contains(int(requests.size()) - 1))
        reply[reply.size() - 1] = char(reply.back() ^ 0x5A);
    // As on the line: a shorter reply times out, a longer one is read up to what was asked.
    if (reply.size() < expected || expected > TRequest::Capacity)
        return false;
    std::copy_n(reply.constData(), expected, reinterpret_cast<char*>(request.Data.data()));
    return true;
}

QStringList FakeModbusTransport::described() const {
    QStringList out;
    for (const QByteArray& r : requests) {
        const bool known = r.size() >= 8 && (r[1] == char(3) || r[1] == char(16));
        out << (known ? QString("%1 %2 %3")
                            .arg(r[1] == char(3) ? 'R' : 'W')
                            .arg(wordAt(r, 2))
                            .arg(quint8(r[5]))
                      : QString("?"));
    }
    return out;
}

} // namespace zorvan::test
