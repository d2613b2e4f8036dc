#include "comm/ModbusParameter.h"

#include "comm/ModbusSpace.h"
#include "components/FormatFloat.h"

#include <QLocale>
#include <algorithm>
#include <bit>
#include <cmath>

namespace zorvan {

int RegistersOf(TModbusParamType type) {
    switch (type) {
    case TModbusParamType::mptSingle:
    case TModbusParamType::mptInteger:
        return 2;
    case TModbusParamType::mptWord:
    case TModbusParamType::mptI16:
        return 1;
    }
    return 1;
}

namespace {
// Position in the image of each value byte B3 B2 B1 B0, per 32-bit byte order.
constexpr int DWordPlace[4][4] = {
    {0, 1, 2, 3}, // mbo3210: B3 B2 B1 B0
    {2, 3, 0, 1}, // mbo0123: B1 B0 B3 B2
    {1, 0, 3, 2}, // mbo1032: B2 B3 B0 B1
    {3, 2, 1, 0}, // mbo2301: B0 B1 B2 B3
};

int orderIndex(TModbusParamByteOrder order) {
    return std::clamp(static_cast<int>(order), 0, 3);
}
} // namespace

void EncodeDWord(TModbusParamByteOrder order, quint32 value, quint8* out4) {
    const int* place = DWordPlace[orderIndex(order)];
    for (int b = 0; b < 4; ++b) // b = 0 is B3
        out4[place[b]] = static_cast<quint8>(value >> (8 * (3 - b)));
}

quint32 DecodeDWord(TModbusParamByteOrder order, const quint8* in4) {
    const int* place = DWordPlace[orderIndex(order)];
    quint32 value = 0;
    for (int b = 0; b < 4; ++b)
        value |= quint32(in4[place[b]]) << (8 * (3 - b));
    return value;
}

void EncodeWord(TModbusParamByteOrder order, quint16 value, quint8* out2) {
    const quint8 high = static_cast<quint8>(value >> 8);
    const quint8 low = static_cast<quint8>(value & 0xFF);
    const bool highFirst = order == TModbusParamByteOrder::mbo3210;
    out2[0] = highFirst ? high : low;
    out2[1] = highFirst ? low : high;
}

quint16 DecodeWord(TModbusParamByteOrder order, const quint8* in2) {
    if (order == TModbusParamByteOrder::mbo3210)
        return static_cast<quint16>(in2[0] << 8 | in2[1]);
    return static_cast<quint16>(in2[1] << 8 | in2[0]);
}

// --- TModbusData ---------------------------------------------------------------------------

quint8* TModbusData::bytes(int count) const {
    TModbusSpace* space = m_parameter.ModbusSpace();
    if (space == nullptr)
        return nullptr;
    const int at = 2 * int(m_parameter.RegisterOffset());
    if (at + count > TModbusSpace::ImageSize)
        return nullptr;
    return space->Image() + at;
}

quint32 TModbusData::AsDWord() const {
    const quint8* b = bytes(4);
    return b ? DecodeDWord(m_parameter.ByteOrder(), b) : 0;
}

void TModbusData::setAsDWord(quint32 value) {
    quint8* b = bytes(4);
    if (b == nullptr || DecodeDWord(m_parameter.ByteOrder(), b) == value)
        return;
    m_parameter.setModified(true);
    EncodeDWord(m_parameter.ByteOrder(), value, b);
}

float TModbusData::AsSingle() const {
    return std::bit_cast<float>(AsDWord());
}

void TModbusData::setAsSingle(float value) {
    setAsDWord(std::bit_cast<quint32>(value));
}

quint16 TModbusData::AsWord() const {
    const quint8* b = bytes(2);
    return b ? DecodeWord(m_parameter.ByteOrder(), b) : 0;
}

void TModbusData::setAsWord(quint32 value) {
    const auto word = static_cast<quint16>(value & 0xFFFF);
    quint8* b = bytes(2);
    if (b == nullptr || DecodeWord(m_parameter.ByteOrder(), b) == word)
        return;
    m_parameter.setModified(true);
    EncodeWord(m_parameter.ByteOrder(), word, b);
}

// --- TModbusParameter ----------------------------------------------------------------------

TModbusParameter::TModbusParameter() : m_data(std::make_unique<TModbusData>(*this)) {}

TModbusParameter::~TModbusParameter() {
    setModbusSpace(nullptr);
}

void TModbusParameter::setModbusSpace(TModbusSpace* space) {
    if (space == m_space)
        return;
    if (m_space != nullptr)
        m_space->detach(this);
    m_space = space;
    if (m_space != nullptr)
        m_space->attach(this);
}

// --- TModbusParamList ----------------------------------------------------------------------

void TModbusParamList::Add(TModbusParameter* parameter) {
    if (parameter == nullptr)
        return;
    const auto at = std::upper_bound(
        m_items.begin(), m_items.end(), parameter->Index(),
        [](quint16 index, const TModbusParameter* p) { return index < p->Index(); });
    m_items.insert(at, parameter);
}

void TModbusParamList::ClearModified() {
    for (TModbusParameter* p : m_items)
        p->setModified(false);
}

bool TModbusParamList::Remove(const TModbusParameter* parameter) {
    const auto it = std::find(m_items.begin(), m_items.end(), parameter);
    if (it == m_items.end())
        return false;
    m_items.erase(it);
    return true;
}

// --- Value texts ---------------------------------------------------------------------------

QString DecimalSeparatorText() {
    return FormatFloat(QStringLiteral("0.0"), 0.0, QLocale()).mid(1, 1);
}

QString ReplaceAll(const QString& S, const QString& oldPiece, const QString& newPiece) {
    if (oldPiece.isEmpty() || oldPiece == newPiece)
        return S;
    QString result;
    qsizetype from = 0;
    for (;;) {
        const qsizetype at = S.indexOf(oldPiece, from);
        if (at < 0)
            break;
        result += QStringView(S).mid(from, at - from);
        result += newPiece;
        from = at + oldPiece.size();
    }
    result += QStringView(S).mid(from);
    return result;
}

QString FormatFloatDot(const QString& mask, float value) {
    const QLocale locale;
    return ReplaceAll(FormatFloat(mask, double(value), locale), locale.decimalPoint(),
                      QStringLiteral("."));
}

float StrToFloatDot(const QString& S) {
    QLocale locale;
    locale.setNumberOptions(QLocale::RejectGroupSeparator);
    bool ok = false;
    const float value =
        locale.toFloat(ReplaceAll(S, QStringLiteral("."), locale.decimalPoint()).trimmed(), &ok);
    return ok && std::isfinite(value) ? value : 0.0f;
}

} // namespace zorvan
