#pragma once

#include <QString>
#include <array>
#include <cstdint>
#include <vector>

namespace zorvan::devsim {

// Value type codes of a tag: 0 Int, 1 UInt, 2 Long, 3 ULong, 4 Float. Other codes are kept (a
// catalogue may carry them to try a host on them) but take no register in the value block.
inline constexpr std::uint16_t maxKnownType = 4;

// The registers a value of type code takes in the value block.
int registerCount(std::uint16_t type);

// One entry of the device's tag catalogue, as the device shows it: channel number, type code
// and the 12 name bytes (Windows-1251, zero-padded).
struct Tag {
    std::uint16_t channel = 0;
    std::uint16_t type = 0;
    std::array<std::uint8_t, 12> name{};

    bool operator==(const Tag&) const = default;
};

using Catalogue = std::vector<Tag>;

// A tag from readable text; the name must fit 12 Windows-1251 bytes. Empty error text on
// success.
Tag makeTag(std::uint16_t channel, std::uint16_t type, const QString& name, QString* error);

// Name bytes as readable text for the log.
QString tagNameText(const Tag& tag);

// The demo catalogue: 30 tags of all five types, short zero-padded names and a few Cyrillic
// ones.
Catalogue builtInCatalogue();

// Reads a catalogue text file (UTF-8): one "channel type name" a line, the name being the rest
// of the line; '#' starts a comment, blank lines are skipped. On failure returns an empty
// catalogue and sets error (naming the line).
Catalogue loadCatalogue(const QString& path, QString* error);

} // namespace zorvan::devsim
