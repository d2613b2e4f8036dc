#pragma once

#include <QString>
#include <QtGlobal>
#include <memory>
#include <vector>

namespace zorvan {

class TModbusSpace;
class TModbusParameter;

enum class TModbusParamType : quint8 { mptSingle = 0, mptWord, mptInteger, mptI16 };
enum class TModbusParamByteOrder : quint8 { mbo3210 = 0, mbo0123, mbo1032, mbo2301 };
enum class TModbusParamAccess : quint8 { mpaReadOnly = 0, mpaWriteOnly, mpaReadWrite };

// Registers a value of the type takes: 2 for mptSingle and mptInteger, 1 for mptWord and mptI16.
int RegistersOf(TModbusParamType type);

// A 32-bit value with bytes B3 (most significant) .. B0 stands in the image, first byte first:
//   mbo3210 B3 B2 B1 B0   mbo0123 B1 B0 B3 B2   mbo1032 B2 B3 B0 B1   mbo2301 B0 B1 B2 B3
// whatever the names suggest. A 16-bit value is high byte first only in mbo3210; the three other
// orders put the low byte first. Each conversion is its own inverse.
void EncodeDWord(TModbusParamByteOrder order, quint32 value, quint8* out4);
quint32 DecodeDWord(TModbusParamByteOrder order, const quint8* in4);
void EncodeWord(TModbusParamByteOrder order, quint16 value, quint8* out2);
quint16 DecodeWord(TModbusParamByteOrder order, const quint8* in2);

// The typed view of a parameter's registers in its space's image. Reading and writing touch
// only the image; the device sees a change at the space's next exchange. The accessors do not
// look at ParamType: a 32-bit accessor on a one-register parameter reaches into the next
// register. Without a space, or where the registers would lie outside the image, reads give 0
// and writes change nothing.
class TModbusData {
public:
    explicit TModbusData(TModbusParameter& parameter) : m_parameter(parameter) {}

    quint32 AsDWord() const;
    // A different value marks the parameter Modified; an equal one changes nothing.
    void setAsDWord(quint32 value);
    float AsSingle() const;
    void setAsSingle(float value);
    quint16 AsWord() const;
    // Only the low 16 bits count.
    void setAsWord(quint32 value);

private:
    quint8* bytes(int count) const;
    TModbusParameter& m_parameter;
};

// One typed value inside a register space.
class TModbusParameter {
public:
    TModbusParameter();
    // Leaves the space's list, so that the space never reaches a destroyed parameter.
    ~TModbusParameter();
    TModbusParameter(const TModbusParameter&) = delete;
    TModbusParameter& operator=(const TModbusParameter&) = delete;

    // Setting a space attaches the parameter: it is inserted into the space's Params by Index
    // and the space is laid out again. Setting the space it is in already changes nothing;
    // moving to another space (or to none) first takes it out of the previous one, so a
    // parameter is never listed twice.
    TModbusSpace* ModbusSpace() const { return m_space; }
    void setModbusSpace(TModbusSpace* space);

    quint16 Index() const { return m_index; }
    void setIndex(quint16 index) { m_index = index; }
    TModbusParamByteOrder ByteOrder() const { return m_byteOrder; }
    void setByteOrder(TModbusParamByteOrder order) { m_byteOrder = order; }
    TModbusParamType ParamType() const { return m_type; }
    void setParamType(TModbusParamType type) { m_type = type; }
    QString Description() const { return m_description; }
    void setDescription(const QString& text) { m_description = text; }
    QString FloatMask() const { return m_floatMask; }
    void setFloatMask(const QString& mask) { m_floatMask = mask; }
    TModbusParamAccess Access() const { return m_access; }
    void setAccess(TModbusParamAccess access) { m_access = access; }
    QString UnitOfMeasure() const { return m_unit; }
    void setUnitOfMeasure(const QString& text) { m_unit = text; }
    bool Modified() const { return m_modified; }
    void setModified(bool modified) { m_modified = modified; }

    TModbusData* Data() const { return m_data.get(); }
    // From the space's last layout.
    quint16 RegisterOffset() const { return m_registerOffset; }
    quint16 RegisterAddress() const { return m_registerAddress; }
    // Free for the creator's use.
    void* UserData() const { return m_userData; }
    void setUserData(void* data) { m_userData = data; }

private:
    friend class TModbusSpace;

    TModbusSpace* m_space = nullptr;
    quint16 m_index = 0;
    TModbusParamByteOrder m_byteOrder = TModbusParamByteOrder::mbo3210;
    TModbusParamType m_type = TModbusParamType::mptWord;
    QString m_description;
    QString m_floatMask = QStringLiteral("0.00");
    TModbusParamAccess m_access = TModbusParamAccess::mpaReadWrite;
    QString m_unit;
    bool m_modified = false;
    std::unique_ptr<TModbusData> m_data;
    quint16 m_registerOffset = 0;
    quint16 m_registerAddress = 0;
    void* m_userData = nullptr;
};

// An ordered list of parameters that does not own them, kept sorted by Index.
class TModbusParamList {
public:
    // Inserts before the first parameter with a greater Index, so equal indices keep the order
    // of adding.
    void Add(TModbusParameter* parameter);
    int Count() const { return static_cast<int>(m_items.size()); }
    TModbusParameter* Items(int position) const { return m_items.at(std::size_t(position)); }
    // Empties the list; the parameters are untouched.
    void Clear() { m_items.clear(); }
    void ClearModified();
    // Takes the parameter out; false when it was not listed.
    bool Remove(const TModbusParameter* parameter);

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::vector<TModbusParameter*> m_items;
};

// Value texts with a point as the decimal separator, whatever the current locale (QLocale()).
// The locale's decimal separator, one character.
QString DecimalSeparatorText();
// Every non-overlapping occurrence of oldPiece, scanning from the left, replaced by newPiece;
// S unchanged when oldPiece is empty or equal to newPiece.
QString ReplaceAll(const QString& S, const QString& oldPiece, const QString& newPiece);
// The value formatted with the mask ("0.00", "#,##0.0", "0.000E+00", sections "pos;neg;zero"...)
// under the locale, then the locale's decimal separator replaced by ".".
QString FormatFloatDot(const QString& mask, float value);
// "." taken as the decimal separator; text that is not a number gives 0.
float StrToFloatDot(const QString& S);

} // namespace zorvan
