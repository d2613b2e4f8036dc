#pragma once

#include "Catalogue.h"

#include <cstdint>
#include <vector>

namespace zorvan::devsim {

// One entry of the current map: the catalogue index it was appended from and the tag as it was
// then (the map keeps it even if a later run has another catalogue).
struct MapEntry {
    std::uint16_t tagIndex = 0;
    Tag tag;

    bool operator==(const MapEntry&) const = default;
};

// The map the device serves in its value block, with its options word (byte orders).
struct CurrentMap {
    std::uint32_t options = 0;
    std::vector<MapEntry> entries;

    bool operator==(const CurrentMap&) const = default;
};

} // namespace zorvan::devsim
