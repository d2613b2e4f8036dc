#pragma once

#include "settings/DataContainer.h"

#include <QDateTime>
#include <functional>
#include <optional>
#include <vector>

namespace zorvan {

// One named value of an integer setting.
struct TIntValueItem {
    QString Caption;
    int Value = 0;
};

// The ordered named values of an integer setting.
class TIntValuesList {
public:
    void Add(const QString& caption, int value) { m_items.push_back({caption, value}); }
    void Clear() { m_items.clear(); }
    int Count() const { return static_cast<int>(m_items.size()); }
    bool IsEmpty() const { return m_items.empty(); }
    const TIntValueItem& Items(int index) const { return m_items.at(static_cast<size_t>(index)); }
    // Caption of the last item holding value; nullopt when none does.
    std::optional<QString> CaptionOf(int value) const;

    auto begin() const { return m_items.begin(); }
    auto end() const { return m_items.end(); }

private:
    std::vector<TIntValueItem> m_items;
};

// An integer setting. When MinValue differs from MaxValue, values outside them are refused (not
// clamped); equal limits mean no limit. OnModified may refuse a value within the limits.
class TRegInteger : public TRegistryValueShell {
    Q_OBJECT
public:
    explicit TRegInteger(QObject* owner = nullptr, const QString& name = QString());

    int Value() const { return m_value; }
    // True when the setting now holds v (it was accepted or already held).
    bool setValue(int v);
    int DefValue() const { return m_defValue; }
    bool setDefValue(int v); // refused outside the limits, like setValue
    int MinValue() const { return m_minValue; }
    void setMinValue(int v) { m_minValue = v; }
    int MaxValue() const { return m_maxValue; }
    void setMaxValue(int v) { m_maxValue = v; }
    bool HasLimits() const { return m_minValue != m_maxValue; }
    bool InLimits(int v) const;

    // The value in decimal; with named values the caption of the (last) item holding it, or an
    // empty text when none does.
    QString AsString() const;

    TIntValuesList& ValuesList() { return m_values; }
    const TIntValuesList& ValuesList() const { return m_values; }

    std::function<void(int NewValue, bool& CanModified)> OnModified;

    QVariant variantValue() const override { return m_value; }
    QVariant variantDefValue() const override { return m_defValue; }
    bool setVariantValue(const QVariant& v) override;

private:
    int m_value = 0;
    int m_defValue = 0;
    int m_minValue = 0;
    int m_maxValue = 0;
    TIntValuesList m_values;
};

class TRegBoolean : public TRegistryValueShell {
    Q_OBJECT
public:
    explicit TRegBoolean(QObject* owner = nullptr, const QString& name = QString());

    bool Value() const { return m_value; }
    void setValue(bool v);
    bool DefValue() const { return m_defValue; }
    void setDefValue(bool v) { m_defValue = v; }

    QVariant variantValue() const override { return m_value; }
    QVariant variantDefValue() const override { return m_defValue; }
    bool setVariantValue(const QVariant& v) override;

private:
    bool m_value = false;
    bool m_defValue = false;
};

class TRegFile : public TRegistryValueShell {
    Q_OBJECT
public:
    explicit TRegFile(QObject* owner = nullptr, const QString& name = QString());

    QString Value() const { return m_value; }
    void setValue(const QString& v);
    QString DefValue() const { return m_defValue; }
    void setDefValue(const QString& v) { m_defValue = v; }

    QVariant variantValue() const override { return m_value; }
    QVariant variantDefValue() const override { return m_defValue; }
    bool setVariantValue(const QVariant& v) override;

private:
    QString m_value;
    QString m_defValue;
};

// A COM port number 1 to 255, named "COM1" to "COM255".
class TRegComport : public TRegInteger {
    Q_OBJECT
public:
    explicit TRegComport(QObject* owner = nullptr, const QString& name = QString());
};

// A serial rate code 0 to 15; codes 1 to 15 are named after their rates ("110" to "460800").
class TRegBaudrate : public TRegInteger {
    Q_OBJECT
public:
    explicit TRegBaudrate(QObject* owner = nullptr, const QString& name = QString());
};

// Date-time values are days since 30 December 1899, the fraction being the time of day (for
// days before it the fraction still counts forward from midnight).
QDateTime DaysToDateTime(double days);
double DateTimeToDays(const QDateTime& dt);

// Formats a number with the first section of a FormatFloat mask ("0.000", "#,##0.0#") in the
// system locale: its separators and minus sign; a mask that shows no digit gives "0". An empty
// mask gives the shortest exact form, and NaN and infinities read as the locale writes them.
QString FormatFloatMask(double value, const QString& mask);
// Text typed by a user: decimal (or $hex / 0x hex) integers in the 32-bit range; numbers in the
// system locale's form or with a point.
std::optional<int> ParseIntText(const QString& text);
std::optional<double> ParseFloatText(const QString& text);
// The standard conversion error messages.
QString IntConvertErrorText(const QString& text);
QString FloatConvertErrorText(const QString& text);

// The text of a setting in the options dialog's Value column: its OnValueText when set, else
// AsString for integers, "true" or "false", dates and times in the system's short format,
// numbers with the setting's mask, the folder as stored, other texts as they are.
QString RegistryValueText(const TRegistryValueShell& value);

} // namespace zorvan
