#include "FlashFile.h"

#include <QFile>
#include <QSaveFile>
#include <QtEndian>

namespace zorvan::devsim {

namespace {

constexpr char magic[] = "ZDSFLASH";
constexpr qsizetype magicSize = 8;
constexpr quint32 version = 1;
constexpr qsizetype headerSize = magicSize + 12;
constexpr qsizetype entrySize = 6 + 12;
// A file larger than any map a 16-bit address space can serve is not ours.
constexpr quint32 maxEntries = 0xFFFF;

void put16(QByteArray& out, quint16 v) {
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

void put32(QByteArray& out, quint32 v) {
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

quint16 get16(const QByteArray& in, qsizetype at) {
    return qFromLittleEndian<quint16>(in.constData() + at);
}

quint32 get32(const QByteArray& in, qsizetype at) {
    return qFromLittleEndian<quint32>(in.constData() + at);
}

} // namespace

std::optional<CurrentMap> FlashFile::load(QString* error) const {
    error->clear();
    QFile file(m_path);
    if (!file.exists()) {
        return std::nullopt;
    }
    if (!file.open(QIODevice::ReadOnly)) {
        *error = file.errorString();
        return std::nullopt;
    }
    const QByteArray data = file.read(headerSize + qsizetype(maxEntries) * entrySize + 3);
    if (data.size() < headerSize + 2 || !data.startsWith(QByteArray(magic, magicSize))) {
        *error = QStringLiteral("not a flash file");
        return std::nullopt;
    }
    if (get32(data, magicSize) != version) {
        *error = QStringLiteral("unknown flash file version %1").arg(get32(data, magicSize));
        return std::nullopt;
    }
    const quint32 count = get32(data, magicSize + 8);
    if (count > maxEntries || data.size() != headerSize + qsizetype(count) * entrySize + 2) {
        *error = QStringLiteral("flash file size does not match its entry count");
        return std::nullopt;
    }
    const qsizetype body = data.size() - 2;
    if (qChecksum(QByteArrayView(data.constData(), body)) != get16(data, body)) {
        *error = QStringLiteral("flash file checksum mismatch");
        return std::nullopt;
    }
    CurrentMap map;
    map.options = get32(data, magicSize + 4);
    map.entries.reserve(count);
    for (quint32 i = 0; i < count; ++i) {
        const qsizetype at = headerSize + qsizetype(i) * entrySize;
        MapEntry entry;
        entry.tagIndex = get16(data, at);
        entry.tag.channel = get16(data, at + 2);
        entry.tag.type = get16(data, at + 4);
        for (std::size_t k = 0; k < entry.tag.name.size(); ++k) {
            entry.tag.name[k] = static_cast<quint8>(data[at + 6 + qsizetype(k)]);
        }
        map.entries.push_back(entry);
    }
    return map;
}

bool FlashFile::save(const CurrentMap& map, QString* error) const {
    error->clear();
    QByteArray data(magic, magicSize);
    put32(data, version);
    put32(data, map.options);
    put32(data, quint32(map.entries.size()));
    for (const MapEntry& entry : map.entries) {
        put16(data, entry.tagIndex);
        put16(data, entry.tag.channel);
        put16(data, entry.tag.type);
        data.append(reinterpret_cast<const char*>(entry.tag.name.data()),
                    qsizetype(entry.tag.name.size()));
    }
    put16(data, qChecksum(QByteArrayView(data)));
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit()) {
        *error = file.errorString();
        return false;
    }
    return true;
}

} // namespace zorvan::devsim
