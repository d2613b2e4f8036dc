#pragma once

#include "comm/ModbusParameter.h"

#include <QString>
#include <QtGlobal>
#include <optional>

namespace zorvan {

// How a channel of the map becomes a parameter of a run, and how a run's parameter is shown,
// plotted and set from text. Shared by the execution window and `zorvanctl poll`, so both show
// the same texts.

// The parameter type of a channel's value type code: 0 Int mptI16, 1 UInt mptWord, 2 Long and
// 3 ULong mptInteger, 4 Float mptSingle. Any other code has no type (the channel takes no
// register and is not polled).
std::optional<TModbusParamType> ChannelParamType(int code);

// The byte order of a parameter of that type under a map's Options: bits 0-1 for the
// two-register types (mbo3210, mbo0123, mbo1032, mbo2301), bit 2 for the one-register ones
// (mbo3210 or mbo0123).
TModbusParamByteOrder ChannelByteOrder(TModbusParamType type, quint32 options);

// Whether a parameter's 32-bit integer is read unsigned: its channel (a run's parameter has it
// as UserData, see TMapRun) is a "ULong". Other mptInteger values, and those of a parameter
// without a channel, are "Long": signed.
bool IsUnsigned32(const TModbusParameter& parameter);

// The value as the list shows it: mptSingle through FormatFloatDot with the parameter's
// FloatMask (always "." as the decimal separator), mptInteger signed or unsigned as
// IsUnsigned32 says, mptWord unsigned, mptI16 signed.
QString ValueText(const TModbusParameter& parameter);

// The register address in upper-case hexadecimal, at least two digits; "4001/4002" for the
// two-register types.
QString OffsetText(const TModbusParameter& parameter);

// The value as the chart plots it: the number ValueText shows.
double PlotValue(const TModbusParameter& parameter);

// A 32-bit signed decimal integer (surrounding blanks allowed, optional sign); nullopt for
// anything else, a value out of range included.
std::optional<qint32> IntegerFromText(const QString& text);

// Sets the parameter from text by its type: mptSingle through StrToFloatDot ("." or the locale's
// separator; unreadable text gives 0); a "ULong" reads 0 to 4294967295, the other integer types
// a 32-bit signed integer, the 16-bit ones keeping its low 16 bits; text that is not such a
// number is ignored. Only a different value marks the parameter Modified. False when the text
// was ignored.
bool SetValueFromText(TModbusParameter& parameter, const QString& text);

// The Set Value command's object: refers to (does not own) the parameters to set, and sets each
// of them from one text.
class TSetPrmValue {
public:
    TModbusParamList Params;

    // Sets every listed parameter that is not read-only; returns how many took the value.
    int SetValue(const QString& text);
};

} // namespace zorvan
