#include "settings/StandartStoreObjects.h"

#include "components/FormatFloat.h"

#include <QLocale>
#include <cmath>
#include <limits>

namespace zorvan {

std::optional<QString> TIntValuesList::CaptionOf(int value) const {
    std::optional<QString> found;
    for (const auto& item : m_items)
        if (item.Value == value)
            found = item.Caption;
    return found;
}

TRegInteger::TRegInteger(QObject* owner, const QString& name)
    : TRegistryValueShell(owner, name, TRegistryValueType::rvtInteger, QStringLiteral("int")) {}

bool TRegInteger::InLimits(int v) const {
    return !HasLimits() || (v >= m_minValue && v <= m_maxValue);
}

bool TRegInteger::setValue(int v) {
    if (v == m_value)
        return true;
    if (!InLimits(v))
        return false;
    if (OnModified) {
        bool canModified = true;
        OnModified(v, canModified);
        if (!canModified)
            return false;
    }
    m_value = v;
    markChanged();
    return true;
}

bool TRegInteger::setDefValue(int v) {
    if (!InLimits(v))
        return false;
    m_defValue = v;
    return true;
}

QString TRegInteger::AsString() const {
    if (m_values.IsEmpty())
        return QString::number(m_value);
    return m_values.CaptionOf(m_value).value_or(QString());
}

bool TRegInteger::setVariantValue(const QVariant& v) {
    bool ok = false;
    const int i = v.toInt(&ok);
    return ok && setValue(i);
}

TRegBoolean::TRegBoolean(QObject* owner, const QString& name)
    : TRegistryValueShell(owner, name, TRegistryValueType::rvtBoolean, QStringLiteral("bool")) {}

void TRegBoolean::setValue(bool v) {
    if (v == m_value)
        return;
    m_value = v;
    markChanged();
}

bool TRegBoolean::setVariantValue(const QVariant& v) {
    if (!v.canConvert<bool>())
        return false;
    setValue(v.toBool());
    return true;
}

TRegFile::TRegFile(QObject* owner, const QString& name)
    : TRegistryValueShell(owner, name, TRegistryValueType::rvtFileName,
                          QStringLiteral("FileName")) {}

void TRegFile::setValue(const QString& v) {
    if (v == m_value)
        return;
    m_value = v;
    markChanged();
}

bool TRegFile::setVariantValue(const QVariant& v) {
    if (!v.canConvert<QString>())
        return false;
    setValue(v.toString());
    return true;
}

TRegComport::TRegComport(QObject* owner, const QString& name) : TRegInteger(owner, name) {
    for (int n = 1; n <= 255; ++n)
        ValuesList().Add(QStringLiteral("COM") + QString::number(n), n);
    setMinValue(1);
    setMaxValue(255);
    setValue(1);
    setDefValue(1);
}

TRegBaudrate::TRegBaudrate(QObject* owner, const QString& name) : TRegInteger(owner, name) {
    static const char* const rates[] = {"110",   "300",   "600",    "1200",   "2400",
                                        "4800",  "9600",  "14400",  "19200",  "38400",
                                        "56000", "57600", "115200", "230400", "460800"};
    int code = 1;
    for (const char* rate : rates)
        ValuesList().Add(QString::fromLatin1(rate), code++);
    setMinValue(0);
    setMaxValue(15);
    setValue(6);
    setDefValue(0);
}

namespace {
const QDateTime& epoch() {
    static const QDateTime e(QDate(1899, 12, 30), QTime(0, 0));
    return e;
}
constexpr qint64 MsPerDay = 86400000;
} // namespace

QDateTime DaysToDateTime(double days) {
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6)
        return QDateTime();
    const double whole = std::trunc(days);
    const qint64 ms = std::llround(std::fabs(days - whole) * MsPerDay);
    return epoch().addDays(static_cast<qint64>(whole)).addMSecs(std::min(ms, MsPerDay - 1));
}

double DateTimeToDays(const QDateTime& dt) {
    if (!dt.isValid())
        return 0;
    const qint64 whole = epoch().date().daysTo(dt.date());
    const double fraction = dt.time().msecsSinceStartOfDay() / static_cast<double>(MsPerDay);
    return whole >= 0 ? whole + fraction : whole - fraction;
}

namespace {
QLocale userLocale() {
    QLocale l = QLocale::system();
    l.setNumberOptions(QLocale::OmitGroupSeparator);
    return l;
}
} // namespace

QString FormatFloatMask(double value, const QString& mask) {
    const QLocale locale = userLocale();
    if (!std::isfinite(value))
        return locale.toString(value);
    // A setting's mask has one section: negative values take it too, with the minus sign.
    const QString section = mask.section(u';', 0, 0);
    if (section.isEmpty())
        return locale.toString(value, 'g', QLocale::FloatingPointShortest);
    const QString text = FormatFloat(section, value, locale, locale.negativeSign());
    // A mask of '#' placeholders shows no digit for zero; the options list shows "0".
    return text.isEmpty() ? QStringLiteral("0") : text;
}

std::optional<int> ParseIntText(const QString& text) {
    QString t = text.trimmed();
    bool negative = false;
    if (t.startsWith(u'-') || t.startsWith(u'+')) {
        negative = t.startsWith(u'-');
        t.remove(0, 1);
    }
    int base = 10;
    if (t.startsWith(u'$')) {
        base = 16;
        t.remove(0, 1);
    } else if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        base = 16;
        t.remove(0, 2);
    }
    if (t.isEmpty() || t.startsWith(u'-') || t.startsWith(u'+'))
        return std::nullopt;
    bool ok = false;
    const qlonglong v = t.toLongLong(&ok, base);
    if (!ok)
        return std::nullopt;
    const qlonglong signedValue = negative ? -v : v;
    if (signedValue < std::numeric_limits<int>::min() ||
        signedValue > std::numeric_limits<int>::max())
        return std::nullopt;
    return static_cast<int>(signedValue);
}

std::optional<double> ParseFloatText(const QString& text) {
    const QString t = text.trimmed();
    bool ok = false;
    double v = userLocale().toDouble(t, &ok);
    if (!ok)
        v = QLocale::c().toDouble(t, &ok);
    if (!ok)
        return std::nullopt;
    return v;
}

QString IntConvertErrorText(const QString& text) {
    return QStringLiteral("'%1' is not a valid integer value").arg(text);
}

QString FloatConvertErrorText(const QString& text) {
    return QStringLiteral("'%1' is not a valid floating point value").arg(text);
}

QString RegistryValueText(const TRegistryValueShell& value) {
    if (value.OnValueText)
        return value.OnValueText();
    const QVariant v = value.variantValue();
    const QLocale locale = QLocale::system();
    switch (value.DateType()) {
    case TRegistryValueType::rvtInteger:
        if (const auto* i = qobject_cast<const TRegInteger*>(&value))
            return i->AsString();
        return QString::number(v.toInt());
    case TRegistryValueType::rvtBoolean:
        return v.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case TRegistryValueType::rvtDateTime:
        return locale.toString(DaysToDateTime(v.toDouble()), QLocale::ShortFormat);
    case TRegistryValueType::rvtDate:
        return locale.toString(DaysToDateTime(v.toDouble()).date(), QLocale::ShortFormat);
    case TRegistryValueType::rvtTime:
        return locale.toString(DaysToDateTime(v.toDouble()).time(), QLocale::ShortFormat);
    case TRegistryValueType::rvtFloat:
        return FormatFloatMask(v.toDouble(), value.FloatMask());
    case TRegistryValueType::rvtFolderName:
        return FolderStoreForm(v.toString());
    case TRegistryValueType::rvtString:
    case TRegistryValueType::rvtFileName:
    case TRegistryValueType::rvtIP:
        return v.toString();
    }
    return v.toString();
}

} // namespace zorvan
