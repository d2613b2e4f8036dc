#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

namespace zorvan::devsim {

// Tag names travel to the host as bytes of the Windows-1251 code page, the page of the systems
// the device was built for.

// The bytes of text, or nothing when a character has no Windows-1251 code.
std::optional<QByteArray> toWindows1251(const QString& text);

// Readable form of device bytes for the log: zero bytes end the text, every other byte is
// decoded.
QString fromWindows1251(const QByteArray& bytes);

} // namespace zorvan::devsim
