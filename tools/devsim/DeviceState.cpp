#include "DeviceState.h"

#include "ByteOrder.h"
#include "LiveValues.h"

#include <algorithm>
#include <bit>

namespace zorvan::devsim {

namespace {

constexpr int offsetOf(std::uint16_t address) {
    return address - reg::controlBase;
}

QString valueText(std::uint32_t bits, std::uint16_t type) {
    switch (type) {
    case 0:
        return QString::number(std::int16_t(bits));
    case 1:
        return QString::number(std::uint16_t(bits));
    case 2:
        return QString::number(std::int32_t(bits));
    case 4:
        return QString::number(double(std::bit_cast<float>(bits)), 'g', 9);
    default:
        return QString::number(bits);
    }
}

} // namespace

DeviceState::DeviceState(Catalogue catalogue, int capacity, CurrentMap map, FlashWriter flash)
    : catalogue_(std::move(catalogue)), capacity_(std::size_t(std::max(capacity, 0))),
      map_(std::move(map)), flash_(std::move(flash)), written_(map_.entries.size()) {
    control_[offsetOf(reg::baseAddress)] = reg::valueBase;
    // As if TagIndex 0 had been written: the first tag shows, or Error 1 for no tags.
    selectCatalogueTag(0);
    notes_.clear();
}

int DeviceState::valueRegisterCount() const {
    int total = 0;
    for (const MapEntry& entry : map_.entries) {
        total += registerCount(entry.tag.type);
    }
    return total;
}

QStringList DeviceState::takeNotes() {
    QStringList notes;
    notes.swap(notes_);
    return notes;
}

DeviceState::Window DeviceState::windowOf(std::uint16_t address, int count) const {
    const int first = address;
    const int end = first + count;
    if (count < 1) {
        return Window::None;
    }
    if (first >= reg::saveToFlash && end <= reg::saveToFlash + 2) {
        return Window::Flash;
    }
    if (first >= reg::controlBase && end <= reg::controlBase + reg::controlCount) {
        return Window::Control;
    }
    if (first >= reg::valueBase && end <= reg::valueBase + valueRegisterCount()) {
        return Window::Values;
    }
    return Window::None;
}

bool DeviceState::read(std::uint16_t address, int count, std::uint16_t* out) {
    switch (windowOf(address, count)) {
    case Window::Flash:
        std::copy_n(flashRegisters_.begin() + (address - reg::saveToFlash), count, out);
        return true;
    case Window::Control:
        for (int i = 0; i < count; ++i) {
            out[i] = controlRegister(offsetOf(address) + i);
        }
        return true;
    case Window::Values:
        readValues(address - reg::valueBase, count, out);
        return true;
    case Window::None:
        break;
    }
    return false;
}

WriteOutcome DeviceState::write(std::uint16_t address, const std::uint16_t* values, int count) {
    switch (windowOf(address, count)) {
    case Window::Flash: {
        std::copy_n(values, count, flashRegisters_.begin() + (address - reg::saveToFlash));
        const std::uint32_t command =
            (std::uint32_t(flashRegisters_[0]) << 16) | flashRegisters_[1];
        if (command != 1) {
            note(QStringLiteral("SaveToFlash := %1 (only 1 stores)").arg(command));
            return WriteOutcome::Done;
        }
        if (!flash_) {
            note(QStringLiteral("SaveToFlash: no flash file given, map kept in memory only"));
            return WriteOutcome::Done;
        }
        QString error;
        if (!flash_(map_, &error)) {
            note(QStringLiteral("SaveToFlash failed: %1").arg(error));
            return WriteOutcome::DeviceFailure;
        }
        note(QStringLiteral("SaveToFlash: stored %1 entries, options %2")
                 .arg(map_.entries.size())
                 .arg(map_.options));
        return WriteOutcome::Done;
    }
    case Window::Control:
        for (int i = 0; i < count; ++i) {
            writeControl(offsetOf(address) + i, values[i]);
        }
        return WriteOutcome::Done;
    case Window::Values:
        writeValues(address - reg::valueBase, values, count);
        return WriteOutcome::Done;
    case Window::None:
        break;
    }
    return WriteOutcome::IllegalAddress;
}

std::uint16_t DeviceState::controlRegister(int offset) const {
    switch (offset) {
    case offsetOf(reg::action):
        // A command register: it has done its work by the time anyone reads it.
        return 0;
    case offsetOf(reg::options):
        return std::uint16_t(map_.options >> 16);
    case offsetOf(reg::options) + 1:
        return std::uint16_t(map_.options);
    case offsetOf(reg::mapTagCount):
        return std::uint16_t(std::min<std::size_t>(map_.entries.size(), 0xFFFF));
    default:
        return control_[offset];
    }
}

void DeviceState::writeControl(int offset, std::uint16_t value) {
    switch (offset) {
    case offsetOf(reg::tagIndex):
        control_[offset] = value;
        selectCatalogueTag(value);
        return;
    case offsetOf(reg::action):
        runAction(value);
        return;
    case offsetOf(reg::options):
        map_.options = (std::uint32_t(value) << 16) | (map_.options & 0xFFFFu);
        note(QStringLiteral("ZorvanOptions := %1").arg(map_.options));
        return;
    case offsetOf(reg::options) + 1:
        map_.options = (map_.options & 0xFFFF0000u) | value;
        note(QStringLiteral("ZorvanOptions := %1").arg(map_.options));
        return;
    case offsetOf(reg::mapTagCount):
        note(QStringLiteral("prmCurrMapTagCount is the map's size; write ignored"));
        return;
    case offsetOf(reg::mapTagIndex):
        control_[offset] = value;
        selectMapEntry(value);
        return;
    default:
        control_[offset] = value;
        note(QStringLiteral("register %1 := %2").arg(reg::controlBase + offset).arg(value));
        return;
    }
}

void DeviceState::showTag(const Tag& tag) {
    control_[offsetOf(reg::channel)] = tag.channel;
    control_[offsetOf(reg::tagType)] = tag.type;
    for (int i = 0; i < 6; ++i) {
        control_[offsetOf(reg::name) + i] =
            std::uint16_t((tag.name[2 * i] << 8) | tag.name[2 * i + 1]);
    }
}

void DeviceState::clearShownTag() {
    showTag(Tag{});
}

void DeviceState::selectCatalogueTag(std::uint16_t index) {
    if (index >= catalogue_.size()) {
        control_[offsetOf(reg::error)] = 1;
        clearShownTag();
        note(QStringLiteral("TagIndex %1: past the catalogue's %2 tags, Error 1")
                 .arg(index)
                 .arg(catalogue_.size()));
        return;
    }
    const Tag& tag = catalogue_[index];
    control_[offsetOf(reg::error)] = 0;
    showTag(tag);
    note(QStringLiteral("TagIndex %1: channel %2, type %3, \"%4\"")
             .arg(index)
             .arg(tag.channel)
             .arg(tag.type)
             .arg(tagNameText(tag)));
}

void DeviceState::selectMapEntry(std::uint16_t index) {
    if (index >= map_.entries.size()) {
        control_[offsetOf(reg::error)] = 1;
        clearShownTag();
        note(QStringLiteral("prmCurrMapTagIndex %1: past the map's %2 entries, Error 1")
                 .arg(index)
                 .arg(map_.entries.size()));
        return;
    }
    const MapEntry& entry = map_.entries[index];
    control_[offsetOf(reg::error)] = 0;
    control_[offsetOf(reg::tagIndex)] = entry.tagIndex;
    showTag(entry.tag);
    note(QStringLiteral("prmCurrMapTagIndex %1: tag %2, \"%3\"")
             .arg(index)
             .arg(entry.tagIndex)
             .arg(tagNameText(entry.tag)));
}

void DeviceState::runAction(std::uint16_t code) {
    std::uint16_t& error = control_[offsetOf(reg::error)];
    switch (code) {
    case 1:
        uploading_ = true;
        error = 0;
        note(QStringLiteral("Action 1: map upload begins"));
        return;
    case 2:
        // The options stay: the host may send the same options again, and a host that sees no
        // change in them does not send them at all.
        map_.entries.clear();
        written_.clear();
        error = 0;
        note(QStringLiteral("Action 2: current map cleared"));
        return;
    case 3: {
        const std::uint16_t index = control_[offsetOf(reg::tagIndex)];
        if (index >= catalogue_.size()) {
            error = 1;
            note(QStringLiteral("Action 3: tag %1 is not in the catalogue, Error 1").arg(index));
        } else if (map_.entries.size() >= capacity_) {
            error = 2;
            note(QStringLiteral("Action 3: map full (%1 entries), Error 2").arg(capacity_));
        } else {
            map_.entries.push_back({index, catalogue_[index]});
            written_.emplace_back();
            error = 0;
            note(QStringLiteral("Action 3: tag %1 \"%2\" appended as entry %3")
                     .arg(index)
                     .arg(tagNameText(catalogue_[index]))
                     .arg(map_.entries.size() - 1));
        }
        return;
    }
    case 4:
        error = 0;
        note(QStringLiteral("Action 4: map upload ends%1: %2 entries, options %3")
                 .arg(uploading_ ? QString() : QStringLiteral(" (none had begun)"))
                 .arg(map_.entries.size())
                 .arg(map_.options));
        uploading_ = false;
        return;
    default:
        note(QStringLiteral("Action %1: unknown code, ignored").arg(code));
        return;
    }
}

std::uint32_t DeviceState::entryValue(std::size_t i) const {
    if (written_[i]) {
        return *written_[i];
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - start_).count();
    return liveValue(i, map_.entries[i].tag.type, seconds);
}

void DeviceState::readValues(int offset, int count, std::uint16_t* out) const {
    int at = 0;
    for (std::size_t i = 0; i < map_.entries.size() && at < offset + count; ++i) {
        const int n = registerCount(map_.entries[i].tag.type);
        if (n > 0 && at + n > offset) {
            std::uint16_t regs[2] = {};
            encodeValue(entryValue(i), n, map_.options, regs);
            for (int k = 0; k < n; ++k) {
                const int pos = at + k - offset;
                if (pos >= 0 && pos < count) {
                    out[pos] = regs[k];
                }
            }
        }
        at += n;
    }
}

void DeviceState::writeValues(int offset, const std::uint16_t* values, int count) {
    int at = 0;
    for (std::size_t i = 0; i < map_.entries.size() && at < offset + count; ++i) {
        const std::uint16_t type = map_.entries[i].tag.type;
        const int n = registerCount(type);
        if (n > 0 && at + n > offset) {
            // A write of one half of a two-register value keeps the other half as it reads now.
            std::uint16_t regs[2] = {};
            encodeValue(entryValue(i), n, map_.options, regs);
            for (int k = 0; k < n; ++k) {
                const int pos = at + k - offset;
                if (pos >= 0 && pos < count) {
                    regs[k] = values[pos];
                }
            }
            const std::uint32_t value = decodeValue(regs, n, map_.options);
            written_[i] = value;
            note(QStringLiteral("entry %1 \"%2\" := %3")
                     .arg(i)
                     .arg(tagNameText(map_.entries[i].tag))
                     .arg(valueText(value, type)));
        }
        at += n;
    }
}

} // namespace zorvan::devsim
