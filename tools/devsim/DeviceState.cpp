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
    : m_catalogue(std::move(catalogue)), m_capacity(std::size_t(std::max(capacity, 0))),
      m_map(std::move(map)), m_flash(std::move(flash)), m_written(m_map.entries.size()) {
    m_control[offsetOf(reg::baseAddress)] = reg::valueBase;
    // As if TagIndex 0 had been written: the first tag shows, or Error 1 for no tags.
    selectCatalogueTag(0);
    m_notes.clear();
}

int DeviceState::valueRegisterCount() const {
    int total = 0;
    for (const MapEntry& entry : m_map.entries) {
        total += registerCount(entry.tag.type);
    }
    return total;
}

QStringList DeviceState::takeNotes() {
    QStringList notes;
    notes.swap(m_notes);
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
        std::copy_n(m_flashRegisters.begin() + (address - reg::saveToFlash), count, out);
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
        std::copy_n(values, count, m_flashRegisters.begin() + (address - reg::saveToFlash));
        const std::uint32_t command =
            (std::uint32_t(m_flashRegisters[0]) << 16) | m_flashRegisters[1];
        if (command != 1) {
            note(QStringLiteral("SaveToFlash := %1 (only 1 stores)").arg(command));
            return WriteOutcome::Done;
        }
        if (!m_flash) {
            note(QStringLiteral("SaveToFlash: no flash file given, map kept in memory only"));
            return WriteOutcome::Done;
        }
        QString error;
        if (!m_flash(m_map, &error)) {
            note(QStringLiteral("SaveToFlash failed: %1").arg(error));
            return WriteOutcome::DeviceFailure;
        }
        note(QStringLiteral("SaveToFlash: stored %1 entries, options %2")
                 .arg(m_map.entries.size())
                 .arg(m_map.options));
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
        return std::uint16_t(m_map.options >> 16);
    case offsetOf(reg::options) + 1:
        return std::uint16_t(m_map.options);
    case offsetOf(reg::mapTagCount):
        return std::uint16_t(std::min<std::size_t>(m_map.entries.size(), 0xFFFF));
    default:
        return m_control[offset];
    }
}

void DeviceState::writeControl(int offset, std::uint16_t value) {
    switch (offset) {
    case offsetOf(reg::tagIndex):
        m_control[offset] = value;
        selectCatalogueTag(value);
        return;
    case offsetOf(reg::action):
        runAction(value);
        return;
    case offsetOf(reg::options):
        m_map.options = (std::uint32_t(value) << 16) | (m_map.options & 0xFFFFu);
        note(QStringLiteral("ZorvanOptions := %1").arg(m_map.options));
        return;
    case offsetOf(reg::options) + 1:
        m_map.options = (m_map.options & 0xFFFF0000u) | value;
        note(QStringLiteral("ZorvanOptions := %1").arg(m_map.options));
        return;
    case offsetOf(reg::mapTagCount):
        note(QStringLiteral("prmCurrMapTagCount is the map's size; write ignored"));
        return;
    case offsetOf(reg::mapTagIndex):
        m_control[offset] = value;
        selectMapEntry(value);
        return;
    default:
        m_control[offset] = value;
        note(QStringLiteral("register %1 := %2").arg(reg::controlBase + offset).arg(value));
        return;
    }
}

void DeviceState::showTag(const Tag& tag) {
    m_control[offsetOf(reg::channel)] = tag.channel;
    m_control[offsetOf(reg::tagType)] = tag.type;
    for (int i = 0; i < 6; ++i) {
        m_control[offsetOf(reg::name) + i] =
            std::uint16_t((tag.name[2 * i] << 8) | tag.name[2 * i + 1]);
    }
}

void DeviceState::clearShownTag() {
    showTag(Tag{});
}

void DeviceState::selectCatalogueTag(std::uint16_t index) {
    if (index >= m_catalogue.size()) {
        setError(MapError::IncorrectTag);
        clearShownTag();
        note(QStringLiteral("TagIndex %1: past the catalogue's %2 tags, Error 1")
                 .arg(index)
                 .arg(m_catalogue.size()));
        return;
    }
    const Tag& tag = m_catalogue[index];
    setError(MapError::None);
    showTag(tag);
    note(QStringLiteral("TagIndex %1: channel %2, type %3, \"%4\"")
             .arg(index)
             .arg(tag.channel)
             .arg(tag.type)
             .arg(tagNameText(tag)));
}

void DeviceState::selectMapEntry(std::uint16_t index) {
    if (index >= m_map.entries.size()) {
        setError(MapError::IncorrectTag);
        clearShownTag();
        note(QStringLiteral("prmCurrMapTagIndex %1: past the map's %2 entries, Error 1")
                 .arg(index)
                 .arg(m_map.entries.size()));
        return;
    }
    const MapEntry& entry = m_map.entries[index];
    setError(MapError::None);
    m_control[offsetOf(reg::tagIndex)] = entry.tagIndex;
    showTag(entry.tag);
    note(QStringLiteral("prmCurrMapTagIndex %1: tag %2, \"%3\"")
             .arg(index)
             .arg(entry.tagIndex)
             .arg(tagNameText(entry.tag)));
}

void DeviceState::setError(MapError error) {
    m_control[offsetOf(reg::error)] = std::uint16_t(error);
}

void DeviceState::runAction(std::uint16_t code) {
    switch (MapAction(code)) {
    case MapAction::Begin:
        m_uploading = true;
        setError(MapError::None);
        note(QStringLiteral("Action 1: map upload begins"));
        return;
    case MapAction::Clear:
        // The options stay: the host may send the same options again, and a host that sees no
        // change in them does not send them at all.
        m_map.entries.clear();
        m_written.clear();
        setError(MapError::None);
        note(QStringLiteral("Action 2: current map cleared"));
        return;
    case MapAction::Append:
        appendTag();
        return;
    case MapAction::End:
        setError(MapError::None);
        note(QStringLiteral("Action 4: map upload ends%1: %2 entries, options %3")
                 .arg(m_uploading ? QString() : QStringLiteral(" (none had begun)"))
                 .arg(m_map.entries.size())
                 .arg(m_map.options));
        m_uploading = false;
        return;
    }
    note(QStringLiteral("Action %1: unknown code, ignored").arg(code));
}

void DeviceState::appendTag() {
    const std::uint16_t index = m_control[offsetOf(reg::tagIndex)];
    if (index >= m_catalogue.size()) {
        setError(MapError::IncorrectTag);
        note(QStringLiteral("Action 3: tag %1 is not in the catalogue, Error 1").arg(index));
    } else if (m_map.entries.size() >= m_capacity) {
        setError(MapError::MapFull);
        note(QStringLiteral("Action 3: map full (%1 entries), Error 2").arg(m_capacity));
    } else {
        m_map.entries.push_back({index, m_catalogue[index]});
        m_written.emplace_back();
        setError(MapError::None);
        note(QStringLiteral("Action 3: tag %1 \"%2\" appended as entry %3")
                 .arg(index)
                 .arg(tagNameText(m_catalogue[index]))
                 .arg(m_map.entries.size() - 1));
    }
}

std::uint32_t DeviceState::entryValue(std::size_t i) const {
    if (m_written[i]) {
        return *m_written[i];
    }
    const double seconds = std::chrono::duration<double>(Clock::now() - m_start).count();
    return liveValue(i, m_map.entries[i].tag.type, seconds);
}

void DeviceState::readValues(int offset, int count, std::uint16_t* out) const {
    int at = 0;
    for (std::size_t i = 0; i < m_map.entries.size() && at < offset + count; ++i) {
        const int n = registerCount(m_map.entries[i].tag.type);
        if (n > 0 && at + n > offset) {
            std::uint16_t regs[2] = {};
            encodeValue(entryValue(i), n, m_map.options, regs);
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
    for (std::size_t i = 0; i < m_map.entries.size() && at < offset + count; ++i) {
        const std::uint16_t type = m_map.entries[i].tag.type;
        const int n = registerCount(type);
        if (n > 0 && at + n > offset) {
            // A write of one half of a two-register value keeps the other half as it reads now.
            std::uint16_t regs[2] = {};
            encodeValue(entryValue(i), n, m_map.options, regs);
            for (int k = 0; k < n; ++k) {
                const int pos = at + k - offset;
                if (pos >= 0 && pos < count) {
                    regs[k] = values[pos];
                }
            }
            const std::uint32_t value = decodeValue(regs, n, m_map.options);
            m_written[i] = value;
            note(QStringLiteral("entry %1 \"%2\" := %3")
                     .arg(i)
                     .arg(tagNameText(m_map.entries[i].tag))
                     .arg(valueText(value, type)));
        }
        at += n;
    }
}

} // namespace zorvan::devsim
