#pragma once

#include "CurrentMap.h"

#include <QString>
#include <optional>

namespace zorvan::devsim {

// The device's flash memory: the current map and its options in a small binary file.
// Layout (little-endian): "ZDSFLASH", u32 version 1, u32 options, u32 entry count, then per
// entry u16 tag index, u16 channel, u16 type and the 12 name bytes, then a u16 checksum
// (qChecksum, CRC-16/CCITT) of everything before it.
class FlashFile {
public:
    explicit FlashFile(QString path) : m_path(std::move(path)) {}

    const QString& path() const { return m_path; }

    // Nothing and an empty error when the file does not exist (a device never saved); nothing
    // and an error when it exists but cannot be read or does not fit.
    std::optional<CurrentMap> load(QString* error) const;

    // Replaces the file atomically (a crash leaves the old content). False with error on failure.
    bool save(const CurrentMap& map, QString* error) const;

private:
    QString m_path;
};

} // namespace zorvan::devsim
