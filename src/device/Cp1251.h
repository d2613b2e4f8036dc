#pragma once

#include <QByteArray>
#include <QChar>
#include <QString>
#include <QtGlobal>

namespace zorvan {

// Windows-1251, the code page of the systems the device was built for: device bytes (tag
// names) become characters through it. Bytes 0..127 are ASCII (0 included, kept as U+0000).
// The one byte the code page leaves unassigned, 0x98, maps to U+0098, so that every byte has
// exactly one character and back.
QChar Cp1251ToChar(quint8 byte);
QString Cp1251ToString(const QByteArray& bytes);

// The byte of a character; false when the code page has no such character.
bool CharToCp1251(QChar ch, quint8* byte);

} // namespace zorvan
