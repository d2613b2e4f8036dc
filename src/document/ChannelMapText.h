#pragma once

#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <optional>
#include <vector>

namespace zorvan {

class TChannelImage;
class TChannelList;

// Value type codes of a channel's ParamType (and a device tag's DataType): 0 Int, 1 UInt,
// 2 Long, 3 ULong, 4 Float. Any other code has no text and takes no register.

// "Int", "UInt", "Long", "ULong", "Float"; empty for any other code.
QString ParamTypeText(int code);
// 1 for the 16-bit types, 2 for the 32-bit ones, 0 for any other code.
int ParamTypeRegisters(int code);
// A type text (letter case ignored) or a decimal code (any 32-bit value); nullopt otherwise.
std::optional<int> ParamTypeFromText(const QString& text);

// The byte-order entries; an Options value names the entry at its position.
const QStringList& ByteOrderLabels();
// The entry that Options names; empty when Options is 8 or more.
QString ByteOrderLabel(quint32 options);

// Register offset of every channel from the map's base address: a 16-bit counter from 0
// that grows by each channel's registers and wraps at 65536.
std::vector<quint16> ChannelOffsets(const TChannelList& map);

// The texts of a Map row as the editor shows them.
// Channel number as shown: the device's number plus one.
QString ChannelNumberText(int channel);
// A tag name up to its first zero character (device names are padded with zero bytes).
QString TagNameText(const QString& tagName);

// The map as `zorvanctl map show` prints it: BaseAdr, Options with its byte-order label, the
// channel count, a header line, then one tab-separated row per channel (Offset, Type, Channel,
// Name, Note, TagIndex). Tabs and line breaks inside names and notes become spaces, so that every
// row stays one line of six fields.
QString ChannelMapReport(const TChannelImage& image);

} // namespace zorvan
