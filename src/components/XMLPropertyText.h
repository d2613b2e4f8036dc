#pragma once

// The serializer's view of a stored class: its published properties, and the text each value
// is stored as (property value <-> element text). Used by the serializer's own files only.

#include <QMetaProperty>
#include <QString>
#include <QStringView>
#include <QVariant>
#include <optional>
#include <utility>
#include <vector>

namespace zorvan {

class TXMLClass;

namespace xmlstore {

// The index of the first property a class publishes itself (QObject's own are not stored).
int firstPublishedProperty();
bool isObjectProperty(const QMetaProperty& p);
// The stored object a pointer property holds; null when it holds none.
TXMLClass* heldObject(const QObject* owner, const QMetaProperty& p);

enum class Kind {
    Integer,
    Int64,
    Character,
    Set,
    Enumeration,
    Boolean,
    Float,
    String,
    Object,
    Other
};

// A published property with what the serializer needs of it, looked up once per class.
struct Property {
    QMetaProperty meta;
    Kind kind;
    QString name;
};

class PropertyCache {
public:
    const std::vector<Property>& of(const QMetaObject* mo);

private:
    std::vector<std::pair<const QMetaObject*, std::vector<Property>>> m_classes;
};

// Strict decimal in the signed 32-bit range: optional sign, digits, nothing else (surrounding
// blanks tolerated).
std::optional<qint32> parseInt32(QStringView text);
// The stored text of a value; empty for objects and kinds that are not stored.
QString valueText(const Property& p, const QVariant& v);
// The value a text stands for in the property's type; nullopt for a malformed text.
std::optional<QVariant> parseValue(const Property& p, const QString& text);

} // namespace xmlstore
} // namespace zorvan
