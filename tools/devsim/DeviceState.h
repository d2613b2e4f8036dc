#pragma once

#include "Catalogue.h"
#include "CurrentMap.h"

#include <QString>
#include <QStringList>
#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

namespace zorvan::devsim {

// Register addresses of the device.
namespace reg {
inline constexpr std::uint16_t saveToFlash = 8; // 8-9, 32-bit, high word first
inline constexpr std::uint16_t controlBase = 12288;
inline constexpr std::uint16_t baseAddress = 12288;
inline constexpr std::uint16_t tagIndex = 12289;
inline constexpr std::uint16_t action = 12290;
inline constexpr std::uint16_t error = 12291;
inline constexpr std::uint16_t options = 12292; // 12292-12293
inline constexpr std::uint16_t channel = 12294;
inline constexpr std::uint16_t tagType = 12295;
inline constexpr std::uint16_t name = 12296; // 12296-12301, characters in reading order
inline constexpr std::uint16_t mapTagCount = 12302;
inline constexpr std::uint16_t mapTagIndex = 12303;
inline constexpr int controlCount = 16;
inline constexpr std::uint16_t valueBase = 16384;
} // namespace reg

// The codes the host writes to Action (12290).
enum class MapAction : std::uint16_t {
    Begin = 1,  // a map upload begins
    Clear = 2,  // the current map is emptied (the options stay)
    Append = 3, // the catalogue tag at TagIndex joins the map
    End = 4,    // the upload ends
};

// What Error (12291) shows after a TagIndex, prmCurrMapTagIndex or Action write.
enum class MapError : std::uint16_t {
    None = 0,
    IncorrectTag = 1, // no such tag in the catalogue, or no such entry in the map
    MapFull = 2,      // the map holds capacity entries already
};

enum class WriteOutcome {
    Done,
    IllegalAddress, // not (entirely) device registers: Modbus exception 2
    DeviceFailure,  // the device could not do it (flash not written): Modbus exception 4
};

// The device's registers and what writing them does: the tag catalogue shown through TagIndex,
// the current map built by the Action codes and shown through prmCurrMapTagIndex, the value
// block of the current map and the save-to-flash pair. Each request must lie within one of the
// three windows (8-9, 12288-12303, the value block's registers from 16384).
class DeviceState {
public:
    using Clock = std::chrono::steady_clock;
    // Stores the map in flash; false with a reason when it could not.
    using FlashWriter = std::function<bool(const CurrentMap&, QString* error)>;

    DeviceState(Catalogue catalogue, int capacity, CurrentMap map, FlashWriter flash);

    // Fills out with count registers from address; false when they are not device registers.
    bool read(std::uint16_t address, int count, std::uint16_t* out);
    // Writes the registers one by one in address order, each with its effect.
    WriteOutcome write(std::uint16_t address, const std::uint16_t* values, int count);

    const CurrentMap& currentMap() const { return m_map; }
    const Catalogue& catalogue() const { return m_catalogue; }
    int valueRegisterCount() const;

    // What the last read or write did, for the log; taking clears it.
    QStringList takeNotes();

private:
    enum class Window { None, Flash, Control, Values };
    Window windowOf(std::uint16_t address, int count) const;

    std::uint16_t controlRegister(int offset) const;
    void writeControl(int offset, std::uint16_t value);
    void showTag(const Tag& tag);
    void clearShownTag();
    void selectCatalogueTag(std::uint16_t index);
    void selectMapEntry(std::uint16_t index);
    void setError(MapError error);
    void runAction(std::uint16_t code);
    void appendTag();

    // The value bits of entry i: the written value, else the live one.
    std::uint32_t entryValue(std::size_t i) const;
    void readValues(int offset, int count, std::uint16_t* out) const;
    void writeValues(int offset, const std::uint16_t* values, int count);

    void note(const QString& text) { m_notes.append(text); }

    Catalogue m_catalogue;
    std::size_t m_capacity;
    CurrentMap m_map;
    FlashWriter m_flash;
    std::vector<std::optional<std::uint32_t>> m_written; // per map entry
    Clock::time_point m_start = Clock::now();

    // Registers of the control window that hold what was last stored in them; options,
    // prmCurrMapTagCount and Action are not kept here.
    std::array<std::uint16_t, reg::controlCount> m_control{};
    std::array<std::uint16_t, 2> m_flashRegisters{};
    bool m_uploading = false;
    QStringList m_notes;
};

} // namespace zorvan::devsim
