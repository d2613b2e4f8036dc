#pragma once

#include <QString>

namespace zorvan {

// Text for a terminal, with every character that would steer it instead of showing shown as an
// escape: C0 controls other than tab and line feed, DEL and the C1 controls as \xHH, and the
// bidirectional formatting characters (which reorder what follows them) as \uHHHH. Tag names
// from a device and names and notes from a file pass through here before they are printed.
QString PrintableText(const QString& text);

} // namespace zorvan
