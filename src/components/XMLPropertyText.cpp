#include "components/XMLPropertyText.h"

#include "components/XMLClass.h"

#include <QLocale>
#include <limits>

namespace zorvan::xmlstore {

int firstPublishedProperty() {
    return QObject::staticMetaObject.propertyCount();
}

bool isObjectProperty(const QMetaProperty& p) {
    return p.metaType().flags().testFlag(QMetaType::PointerToQObject);
}

TXMLClass* heldObject(const QObject* owner, const QMetaProperty& p) {
    return qobject_cast<TXMLClass*>(p.read(owner).value<QObject*>());
}

namespace {

Kind kindOf(const QMetaProperty& p) {
    if (p.isFlagType())
        return Kind::Set;
    if (p.isEnumType())
        return Kind::Enumeration;
    switch (p.metaType().id()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::SChar:
    case QMetaType::UChar:
        return Kind::Integer;
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return Kind::Int64;
    case QMetaType::Char:
    case QMetaType::QChar:
    case QMetaType::Char16:
        return Kind::Character;
    case QMetaType::Bool:
        return Kind::Boolean;
    case QMetaType::Double:
    case QMetaType::Float:
        return Kind::Float;
    case QMetaType::QString:
        return Kind::String;
    default:
        break;
    }
    return isObjectProperty(p) ? Kind::Object : Kind::Other;
}

} // namespace

const std::vector<Property>& PropertyCache::of(const QMetaObject* mo) {
    for (const auto& [klass, properties] : m_classes)
        if (klass == mo)
            return properties;
    std::vector<Property> properties;
    for (int i = firstPublishedProperty(); i < mo->propertyCount(); ++i) {
        const QMetaProperty p = mo->property(i);
        properties.push_back({p, kindOf(p), QString::fromLatin1(p.name())});
    }
    m_classes.emplace_back(mo, std::move(properties));
    return m_classes.back().second;
}

namespace {

// Strict decimal: optional sign, digits, nothing else (surrounding blanks tolerated).
std::optional<qint64> parseDecimal(QStringView text, qint64 low, qint64 high) {
    text = text.trimmed();
    qsizetype i = 0;
    bool negative = false;
    if (!text.isEmpty() && (text[0] == u'-' || text[0] == u'+')) {
        negative = text[0] == u'-';
        ++i;
    }
    if (i == text.size())
        return std::nullopt;
    // Accumulate negatively so that the lowest 64-bit value fits too.
    qint64 value = 0;
    constexpr qint64 lowest = std::numeric_limits<qint64>::min();
    for (; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < u'0' || c > u'9')
            return std::nullopt;
        const int digit = c - u'0';
        if (value < (lowest + digit) / 10)
            return std::nullopt;
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == lowest)
            return std::nullopt;
        value = -value;
    }
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

// Read as a signed 32-bit number, then kept in the property's own width.
std::optional<QVariant> integerValue(int type, const QString& text) {
    const auto v = parseInt32(text);
    if (!v)
        return std::nullopt;
    switch (type) {
    case QMetaType::UInt:
        return QVariant::fromValue(static_cast<quint32>(*v));
    case QMetaType::Short:
        return QVariant::fromValue(static_cast<qint16>(*v));
    case QMetaType::UShort:
        return QVariant::fromValue(static_cast<quint16>(*v));
    case QMetaType::SChar:
        return QVariant::fromValue(static_cast<qint8>(*v));
    case QMetaType::UChar:
        return QVariant::fromValue(static_cast<quint8>(*v));
    case QMetaType::Char:
        return QVariant::fromValue(static_cast<char>(*v));
    case QMetaType::QChar:
        return QVariant::fromValue(QChar(static_cast<char16_t>(*v)));
    case QMetaType::Char16:
        return QVariant::fromValue(static_cast<char16_t>(*v));
    default:
        return QVariant::fromValue(static_cast<qint32>(*v));
    }
}

std::optional<QVariant> int64Value(int type, const QString& text) {
    const auto v =
        parseDecimal(text, std::numeric_limits<qint64>::min(), std::numeric_limits<qint64>::max());
    if (!v)
        return std::nullopt;
    if (type == QMetaType::ULongLong || type == QMetaType::ULong)
        return QVariant::fromValue(static_cast<quint64>(*v));
    return QVariant::fromValue(*v);
}

std::optional<QVariant> booleanValue(const QString& text) {
    const QString t = text.trimmed();
    if (t.compare(QLatin1String("True"), Qt::CaseInsensitive) == 0)
        return QVariant(true);
    if (t.compare(QLatin1String("False"), Qt::CaseInsensitive) == 0)
        return QVariant(false);
    const auto v = parseInt32(t);
    if (!v)
        return std::nullopt;
    return QVariant(*v != 0);
}

// Either separator is taken: files written under a comma locale stay readable.
std::optional<QVariant> floatValue(int type, const QString& text) {
    QString t = text.trimmed();
    t.replace(QLatin1Char(','), QLatin1Char('.'));
    bool ok = false;
    const double d = QLocale::c().toDouble(t, &ok);
    if (!ok)
        return std::nullopt;
    if (type == QMetaType::Float)
        return QVariant::fromValue(static_cast<float>(d));
    return QVariant(d);
}

} // namespace

std::optional<qint32> parseInt32(QStringView text) {
    const auto v =
        parseDecimal(text, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max());
    if (!v)
        return std::nullopt;
    return static_cast<qint32>(*v);
}

QString valueText(const Property& p, const QVariant& v) {
    switch (p.kind) {
    case Kind::Integer:
        if (p.meta.metaType().id() == QMetaType::UInt)
            return QString::number(static_cast<qint32>(v.toUInt()));
        return QString::number(v.toInt());
    case Kind::Int64:
        if (p.meta.metaType().id() == QMetaType::ULongLong ||
            p.meta.metaType().id() == QMetaType::ULong)
            return QString::number(static_cast<qint64>(v.toULongLong()));
        return QString::number(v.toLongLong());
    case Kind::Character:
        if (p.meta.metaType().id() == QMetaType::Char)
            return QString::number(static_cast<uchar>(v.value<char>()));
        return QString::number(v.value<QChar>().unicode());
    case Kind::Set:
    case Kind::Enumeration:
        return QString::number(v.toInt());
    case Kind::Boolean:
        return v.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case Kind::Float:
        // The point, whatever the locale: a file must read the same everywhere.
        return QString::number(v.toDouble(), 'g', 15);
    case Kind::String:
        return v.toString();
    case Kind::Object:
    case Kind::Other:
        break;
    }
    return {};
}

std::optional<QVariant> parseValue(const Property& p, const QString& text) {
    const int type = p.meta.metaType().id();
    switch (p.kind) {
    case Kind::Integer:
    case Kind::Character:
    case Kind::Set:
    case Kind::Enumeration:
        return integerValue(type, text);
    case Kind::Int64:
        return int64Value(type, text);
    case Kind::Boolean:
        return booleanValue(text);
    case Kind::Float:
        return floatValue(type, text);
    case Kind::String:
        return QVariant(text);
    case Kind::Object:
    case Kind::Other:
        break;
    }
    return std::nullopt;
}

} // namespace zorvan::xmlstore
