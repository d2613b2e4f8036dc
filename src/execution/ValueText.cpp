#include "execution/ValueText.h"

#include "document/CnlImage.h"

#include <limits>

namespace zorvan {

std::optional<TModbusParamType> ChannelParamType(int code) {
    switch (code) {
    case 0:
        return TModbusParamType::mptI16;
    case 1:
        return TModbusParamType::mptWord;
    case 2:
    case 3:
        return TModbusParamType::mptInteger;
    case 4:
        return TModbusParamType::mptSingle;
    default:
        return std::nullopt;
    }
}

TModbusParamByteOrder ChannelByteOrder(TModbusParamType type, quint32 options) {
    if (RegistersOf(type) == 2)
        return static_cast<TModbusParamByteOrder>(options & 3u);
    return (options & 4u) ? TModbusParamByteOrder::mbo0123 : TModbusParamByteOrder::mbo3210;
}

namespace {

constexpr int kULongCode = 3;

// A decimal integer (surrounding blanks allowed, optional sign) within [lo, hi].
std::optional<qint64> decimalFromText(const QString& text, qint64 lo, qint64 hi) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    // Decimal digits only: toLongLong would also take a locale-free "0x" or blanks inside.
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed[i];
        if (!(c >= u'0' && c <= u'9') && !(i == 0 && (c == u'-' || c == u'+')))
            return std::nullopt;
    }
    bool ok = false;
    const qlonglong value = trimmed.toLongLong(&ok, 10);
    if (!ok || value < lo || value > hi)
        return std::nullopt;
    return value;
}

} // namespace

bool IsUnsigned32(const TModbusParameter& parameter) {
    const auto* channel = static_cast<const TChannelItem*>(parameter.UserData());
    return parameter.ParamType() == TModbusParamType::mptInteger && channel &&
           channel->ParamType == kULongCode;
}

QString ValueText(const TModbusParameter& parameter) {
    const TModbusData& data = *parameter.Data();
    switch (parameter.ParamType()) {
    case TModbusParamType::mptSingle:
        return FormatFloatDot(parameter.FloatMask(), data.AsSingle());
    case TModbusParamType::mptInteger:
        if (IsUnsigned32(parameter))
            return QString::number(data.AsDWord());
        return QString::number(static_cast<qint32>(data.AsDWord()));
    case TModbusParamType::mptWord:
        return QString::number(data.AsWord());
    case TModbusParamType::mptI16:
        return QString::number(static_cast<qint16>(data.AsWord()));
    }
    return {};
}

QString OffsetText(const TModbusParameter& parameter) {
    const auto hex = [](quint16 address) {
        return QStringLiteral("%1").arg(address, 2, 16, QLatin1Char('0')).toUpper();
    };
    const quint16 address = parameter.RegisterAddress();
    if (RegistersOf(parameter.ParamType()) == 2)
        return hex(address) + QLatin1Char('/') + hex(static_cast<quint16>(address + 1));
    return hex(address);
}

double PlotValue(const TModbusParameter& parameter) {
    const TModbusData& data = *parameter.Data();
    switch (parameter.ParamType()) {
    case TModbusParamType::mptSingle:
        return double(data.AsSingle());
    case TModbusParamType::mptInteger:
        if (IsUnsigned32(parameter))
            return double(data.AsDWord());
        return double(static_cast<qint32>(data.AsDWord()));
    case TModbusParamType::mptWord:
        return double(data.AsWord());
    case TModbusParamType::mptI16:
        return double(static_cast<qint16>(data.AsWord()));
    }
    return 0.0;
}

std::optional<qint32> IntegerFromText(const QString& text) {
    const std::optional<qint64> value = decimalFromText(text, std::numeric_limits<qint32>::min(),
                                                        std::numeric_limits<qint32>::max());
    if (!value)
        return std::nullopt;
    return static_cast<qint32>(*value);
}

bool SetValueFromText(TModbusParameter& parameter, const QString& text) {
    TModbusData& data = *parameter.Data();
    if (parameter.ParamType() == TModbusParamType::mptSingle) {
        data.setAsSingle(StrToFloatDot(text));
        return true;
    }
    const std::optional<qint64> value =
        IsUnsigned32(parameter) ? decimalFromText(text, 0, std::numeric_limits<quint32>::max())
                                : decimalFromText(text, std::numeric_limits<qint32>::min(),
                                                  std::numeric_limits<qint32>::max());
    if (!value)
        return false;
    if (parameter.ParamType() == TModbusParamType::mptInteger)
        data.setAsDWord(static_cast<quint32>(*value));
    else
        data.setAsWord(static_cast<quint32>(*value) & 0xFFFFu);
    return true;
}

int TSetPrmValue::SetValue(const QString& text) {
    int set = 0;
    for (TModbusParameter* parameter : Params)
        if (parameter->Access() != TModbusParamAccess::mpaReadOnly &&
            SetValueFromText(*parameter, text))
            ++set;
    return set;
}

} // namespace zorvan
