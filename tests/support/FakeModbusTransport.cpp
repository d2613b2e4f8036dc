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
    const bool read = frame.size() >= 8 && frame[1] == char(3);
    if (silentAt.contains(int(requests.size()) - 1) || frame.size() < 8 ||
        frames::crc16(frame) != 0 || (!read && frame[1] != char(16)))
        return false;
    const quint16 first = wordAt(frame, 2), count = quint8(frame[5]);
    QByteArray data;
    for (quint16 i = 0; i < count; ++i) {
        if (read)
            data += frames::word(registers[quint16(first + i)]); // unknown ones read as 0
        else if (8 + 2 * i < frame.size() - 2)
            registers[quint16(first + i)] = wordAt(frame, 7 + 2 * i);
    }
    QByteArray reply = read ? frames::readReply(quint8(frame[0]), data)
                            : frames::writeReply(quint8(frame[0]), first, count);
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
    for (const QByteArray& r : requests)
        out << (r.size() < 8 ? QString("?")
                             : QString("%1 %2 %3")
                                   .arg(r[1] == char(3)    ? 'R'
                                        : r[1] == char(16) ? 'W'
                                                           : '?')
                                   .arg(wordAt(r, 2))
                                   .arg(quint8(r[5])));
    return out;
}

} // namespace zorvan::test
