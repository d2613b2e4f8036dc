#include "device/Cp1251.h"

#include <array>

namespace zorvan {

namespace {
// Characters of bytes 0x80..0xFF.
constexpr std::array<char16_t, 128> High = {
    // 0x80
    u'\u0402', u'\u0403', u'\u201A', u'\u0453', u'\u201E', u'\u2026', u'\u2020', u'\u2021',
    u'\u20AC', u'\u2030', u'\u0409', u'\u2039', u'\u040A', u'\u040C', u'\u040B', u'\u040F',
    // 0x90
    u'\u0452', u'\u2018', u'\u2019', u'\u201C', u'\u201D', u'\u2022', u'\u2013', u'\u2014',
    u'\u0098', u'\u2122', u'\u0459', u'\u203A', u'\u045A', u'\u045C', u'\u045B', u'\u045F',
    // 0xA0
    u'\u00A0', u'\u040E', u'\u045E', u'\u0408', u'\u00A4', u'\u0490', u'\u00A6', u'\u00A7',
    u'\u0401', u'\u00A9', u'\u0404', u'\u00AB', u'\u00AC', u'\u00AD', u'\u00AE', u'\u0407',
    // 0xB0
    u'\u00B0', u'\u00B1', u'\u0406', u'\u0456', u'\u0491', u'\u00B5', u'\u00B6', u'\u00B7',
    u'\u0451', u'\u2116', u'\u0454', u'\u00BB', u'\u0458', u'\u0405', u'\u0455', u'\u0457',
    // 0xC0..0xFF: А..я, filled below
};

constexpr std::array<char16_t, 128> makeTable() {
    std::array<char16_t, 128> table = High;
    for (int i = 0x40; i < 0x80; ++i)
        table[std::size_t(i)] = char16_t(0x0410 + (i - 0x40));
    return table;
}

constexpr std::array<char16_t, 128> Table = makeTable();
} // namespace

QChar Cp1251ToChar(quint8 byte) {
    if (byte < 0x80)
        return QChar(char16_t(byte));
    return QChar(Table[byte - 0x80u]);
}

QString Cp1251ToString(const QByteArray& bytes) {
    QString text;
    text.reserve(bytes.size());
    for (const char b : bytes)
        text.append(Cp1251ToChar(static_cast<quint8>(b)));
    return text;
}

bool CharToCp1251(QChar ch, quint8* byte) {
    const char16_t code = ch.unicode();
    if (code < 0x80) {
        *byte = static_cast<quint8>(code);
        return true;
    }
    for (std::size_t i = 0; i < Table.size(); ++i) {
        if (Table[i] == code) {
            *byte = static_cast<quint8>(0x80 + i);
            return true;
        }
    }
    return false;
}

} // namespace zorvan
