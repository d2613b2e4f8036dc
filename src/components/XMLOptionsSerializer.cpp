#include "components/XMLOptionsSerializer.h"

#include "components/AtomicFile.h"

#include <QDomDocument>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMetaProperty>
#include <QXmlStreamReader>
#include <QXmlStreamWriter>
#include <algorithm>
#include <exception>
#include <limits>
#include <optional>

namespace zorvan {

// ---------------------------------------------------------------- TXMLClass

void TXMLClass::Assign(const QObject* source) {
    if (const auto* s = qobject_cast<const TXMLClass*>(source))
        AssignProperties(this, s);
}

// ---------------------------------------------------------------- TXMLClassList

TXMLClassList::~TXMLClassList() {
    // Items are destroyed while the list is still a list, as Clear would do.
    TXMLClassList::Clear();
}

void TXMLClassList::Clear() {
    // From position 0 on, without shifting the rest of the list after every item.
    std::vector<std::unique_ptr<TXMLClass>> items;
    items.swap(m_items);
    for (auto& item : items)
        item.reset();
}

TXMLClass* TXMLClassList::Items(int index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    return m_items[static_cast<size_t>(index)].get();
}

int TXMLClassList::IndexOf(const TXMLClass* item) const {
    for (int i = 0; i < Count(); ++i)
        if (m_items[static_cast<size_t>(i)].get() == item)
            return i;
    return -1;
}

TXMLClass* TXMLClassList::Add() {
    return Insert(Count());
}

TXMLClass* TXMLClassList::Insert(int index) {
    std::unique_ptr<TXMLClass> item = CreateItem();
    if (!item)
        return nullptr;
    index = std::clamp(index, 0, Count());
    TXMLClass* raw = item.get();
    m_items.insert(m_items.begin() + index, std::move(item));
    return raw;
}

void TXMLClassList::Delete(int index) {
    if (index < 0 || index >= Count())
        return;
    const auto at = m_items.begin() + index;
    at->reset();
    m_items.erase(at);
}

void TXMLClassList::Remove(TXMLClass* item) {
    const int index = IndexOf(item);
    if (index < 0)
        return;
    std::unique_ptr<TXMLClass> owned = std::move(m_items[static_cast<size_t>(index)]);
    m_items.erase(m_items.begin() + index);
    owned.reset();
}

void TXMLClassList::Exchange(int index1, int index2) {
    if (index1 < 0 || index1 >= Count() || index2 < 0 || index2 >= Count())
        return;
    std::swap(m_items[static_cast<size_t>(index1)], m_items[static_cast<size_t>(index2)]);
}

// ---------------------------------------------------------------- AssignProperties

namespace {

int firstPublishedProperty() {
    return QObject::staticMetaObject.propertyCount();
}

bool isObjectProperty(const QMetaProperty& p) {
    return p.metaType().flags().testFlag(QMetaType::PointerToQObject);
}

TXMLClass* heldObject(const QObject* owner, const QMetaProperty& p) {
    return qobject_cast<TXMLClass*>(p.read(owner).value<QObject*>());
}

} // namespace

void AssignProperties(TXMLClass* destination, const TXMLClass* source) {
    if (!destination || !source || destination == source)
        return;
    if (const auto* sourceList = qobject_cast<const TXMLClassList*>(source)) {
        auto* destinationList = qobject_cast<TXMLClassList*>(destination);
        if (!destinationList)
            return;
        destinationList->Clear();
        for (int i = 0; i < sourceList->Count(); ++i)
            AssignProperties(destinationList->Add(), sourceList->Items(i));
        return;
    }
    const QMetaObject* sm = source->metaObject();
    const QMetaObject* dm = destination->metaObject();
    // Properties are paired by position; both objects are of one class.
    const int count = std::min(sm->propertyCount(), dm->propertyCount());
    for (int i = firstPublishedProperty(); i < count; ++i) {
        const QMetaProperty sp = sm->property(i);
        const QMetaProperty dp = dm->property(i);
        if (isObjectProperty(sp)) {
            if (TXMLClass* from = heldObject(source, sp))
                AssignProperties(heldObject(destination, dp), from);
            continue;
        }
        if (dp.isWritable())
            dp.write(destination, sp.read(source));
    }
}

// ---------------------------------------------------------------- value texts

namespace {

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

// A published property with what the serializer needs of it, looked up once per class.
struct Property {
    QMetaProperty meta;
    Kind kind;
    QString name;
};

class PropertyCache {
public:
    const std::vector<Property>& of(const QMetaObject* mo) {
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

private:
    std::vector<std::pair<const QMetaObject*, std::vector<Property>>> m_classes;
};

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

// The value a text stands for in the property's type; nullopt for a malformed text.
std::optional<QVariant> parseValue(const Property& p, const QString& text) {
    const int type = p.meta.metaType().id();
    switch (p.kind) {
    case Kind::Integer:
    case Kind::Character:
    case Kind::Set:
    case Kind::Enumeration: {
        // Read as a signed 32-bit number, then kept in the property's own width.
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
    case Kind::Int64: {
        const auto v = parseDecimal(text, std::numeric_limits<qint64>::min(),
                                    std::numeric_limits<qint64>::max());
        if (!v)
            return std::nullopt;
        if (type == QMetaType::ULongLong || type == QMetaType::ULong)
            return QVariant::fromValue(static_cast<quint64>(*v));
        return QVariant::fromValue(*v);
    }
    case Kind::Boolean: {
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
    case Kind::Float: {
        // Either separator is taken: files written under a comma locale stay readable.
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
    case Kind::String:
        return QVariant(text);
    case Kind::Object:
    case Kind::Other:
        break;
    }
    return std::nullopt;
}

// Characters XML 1.0 allows: TAB, LF, CR, U+0020..U+D7FF, U+E000..U+FFFD and the planes
// above (surrogate pairs). Everything else cannot be written at all.
bool forbiddenAt(const QString& text, qsizetype i, qsizetype* width) {
    const char16_t c = text[i].unicode();
    *width = 1;
    if (c < 0x20)
        return c != 0x9 && c != 0xA && c != 0xD;
    if (c == 0xFFFE || c == 0xFFFF)
        return true;
    if (QChar::isHighSurrogate(c)) {
        if (i + 1 < text.size() && QChar::isLowSurrogate(text[i + 1].unicode())) {
            *width = 2;
            return false;
        }
        return true;
    }
    return QChar::isLowSurrogate(c);
}

QString withoutForbidden(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size();) {
        qsizetype width = 1;
        if (!forbiddenAt(text, i, &width))
            result.append(text.constData() + i, width);
        i += width;
    }
    return result;
}

bool needsCare(const QString& text) {
    for (const QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() >= 0xD800)
            return true;
    return false;
}

// An element's text. Line breaks inside a text are written as character references: raw
// ones would be taken for the file's own line ends (CR LF) and not read back as they were.
void writeText(QXmlStreamWriter& w, const QString& text) {
    if (text.isEmpty())
        return;
    if (!needsCare(text)) {
        w.writeCharacters(text);
        return;
    }
    const QString clean = withoutForbidden(text);
    qsizetype start = 0;
    for (qsizetype i = 0; i < clean.size(); ++i) {
        const char16_t c = clean[i].unicode();
        if (c != u'\r' && c != u'\n')
            continue;
        if (i > start)
            w.writeCharacters(clean.mid(start, i - start));
        w.writeEntityReference(c == u'\r' ? QStringLiteral("#13") : QStringLiteral("#10"));
        start = i + 1;
    }
    if (start < clean.size())
        w.writeCharacters(clean.mid(start));
}

// Where an element sits, kept as a chain so that a path text is made only for an error.
struct Place {
    const Place* parent;
    const QString* name;
    int index; // 1-based position among list items, 0 for a property element
};

QString pathOf(const Place* place) {
    QStringList parts;
    for (; place; place = place->parent)
        parts.prepend(place->index > 0
                          ? QStringLiteral("%1[%2]").arg(*place->name).arg(place->index)
                          : *place->name);
    return parts.join(QLatin1Char('/'));
}

// An attribute's value, never null: a null text stands for a missing attribute.
QString present(const QString& value) {
    return value.isNull() ? QStringLiteral("") : value;
}

struct ReadFailure {
    TXMLReadError error;
};

class Writer {
public:
    Writer(QXmlStreamWriter& w, const QString& itemName) : m_w(w), m_itemName(itemName) {}

    void WriteObject(const TXMLClass* object) {
        if (const auto* list = qobject_cast<const TXMLClassList*>(object)) {
            for (int i = 0; i < list->Count(); ++i) {
                m_w.writeStartElement(m_itemName);
                if (const TXMLClass* item = list->Items(i))
                    WriteObject(item);
                m_w.writeEndElement();
            }
            return;
        }
        for (const Property& p : m_cache.of(object->metaObject()))
            WriteProperty(object, p);
    }

private:
    void WriteProperty(const TXMLClass* object, const Property& p) {
        if (p.kind == Kind::Object) {
            if (const TXMLClass* held = heldObject(object, p.meta)) {
                m_w.writeStartElement(p.name);
                WriteObject(held);
                m_w.writeEndElement();
            }
            return;
        }
        m_w.writeStartElement(p.name);
        writeText(m_w, valueText(p, p.meta.read(object)));
        m_w.writeEndElement();
    }

    QXmlStreamWriter& m_w;
    const QString& m_itemName;
    PropertyCache m_cache;
};

class Reader {
public:
    explicit Reader(const QString& itemName) : m_itemName(itemName) {}

    void ReadObject(TXMLClass* object, const QDomElement& element, const Place* place) {
        if (auto* list = qobject_cast<TXMLClassList*>(object)) {
            ReadList(list, element, place);
            return;
        }
        for (const Property& p : m_cache.of(object->metaObject()))
            ReadProperty(object, p, element, place);
    }

private:
    void ReadList(TXMLClassList* list, const QDomElement& element, const Place* place) {
        if (!element.hasChildNodes())
            return;
        list->Clear();
        QDomElement item = element.firstChildElement(m_itemName);
        if (item.isNull()) {
            // Children, but no item among them: one item read from an empty element.
            QDomDocument scratch;
            const Place at{place, &m_itemName, 1};
            if (TXMLClass* added = list->Add())
                ReadObject(added, scratch.createElement(m_itemName), &at);
            return;
        }
        // Every element from the first item on is an item, whatever its name.
        int index = 0;
        for (; !item.isNull(); item = item.nextSiblingElement()) {
            const QString name = item.tagName();
            const Place at{place, &name, ++index};
            if (TXMLClass* added = list->Add())
                ReadObject(added, item, &at);
        }
    }

    void ReadProperty(TXMLClass* object, const Property& p, const QDomElement& element,
                      const Place* place) {
        if (p.kind == Kind::Other)
            return;
        const QDomElement child = element.firstChildElement(p.name);
        if (child.isNull())
            return;
        const Place at{place, &p.name, 0};
        if (p.kind == Kind::Object) {
            if (TXMLClass* held = heldObject(object, p.meta))
                ReadObject(held, child, &at);
            return;
        }
        const QString text = child.text();
        const std::optional<QVariant> value = parseValue(p, text);
        if (!value || !p.meta.write(object, *value)) {
            TXMLReadError error;
            error.Status = TXMLReadStatus::rsBadValue;
            error.Element = pathOf(&at);
            error.Text = text;
            error.Line = child.lineNumber() > 0 ? child.lineNumber() : 0;
            error.Column = child.columnNumber() > 0 ? child.columnNumber() : 0;
            throw ReadFailure{error};
        }
    }

    const QString& m_itemName;
    PropertyCache m_cache;
};

} // namespace

// ---------------------------------------------------------------- TXMLReadError

namespace {

// A text of the file as part of a one-line message: line breaks and other control characters
// (C0, DEL, C1, the Unicode line and paragraph separators) become spaces, so that neither the
// line nor a terminal showing it can be taken over by the file.
QString oneLine(QString text) {
    for (QChar& c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029)
            c = u' ';
    }
    return text;
}

} // namespace

QString TXMLReadError::Describe() const {
    const QString at =
        Line > 0 ? QStringLiteral(" at line %1, column %2").arg(Line).arg(Column) : QString();
    const QString text = oneLine(Text);
    const QString element = oneLine(Element);
    switch (Status) {
    case TXMLReadStatus::rsOk:
        return {};
    case TXMLReadStatus::rsNoRoot:
        return QStringLiteral("nothing to read into");
    case TXMLReadStatus::rsFileMissing:
        return QStringLiteral("file not found");
    case TXMLReadStatus::rsFileUnreadable:
        return QStringLiteral("cannot read the file: %1").arg(text);
    case TXMLReadStatus::rsParseError:
        return QStringLiteral("not well-formed XML%1: %2").arg(at, text);
    case TXMLReadStatus::rsForeignRoot:
        return QStringLiteral("root element is <%1>, not a channel map").arg(text);
    case TXMLReadStatus::rsForeignApplication:
        return Text.isNull() ? QStringLiteral("no Application attribute on the root element")
                             : QStringLiteral("written by another application (\"%1\")").arg(text);
    case TXMLReadStatus::rsBadVersion:
        return Text.isNull() ? QStringLiteral("no Version attribute on the root element")
                             : QStringLiteral("bad Version attribute \"%1\"").arg(text);
    case TXMLReadStatus::rsBadValue:
        return QStringLiteral("bad value \"%1\" in %2%3").arg(text, element, at);
    case TXMLReadStatus::rsDocumentType:
        return QStringLiteral("document type declaration%1 not accepted").arg(at);
    }
    return {};
}

// ---------------------------------------------------------------- TXMLOptionsSerializer

void TXMLOptionsSerializer::ResetObject(TXMLClass* object) {
    if (!object)
        return;
    object->Clear();
    PropertyCache cache;
    for (const Property& p : cache.of(object->metaObject()))
        if (p.kind == Kind::Object)
            ResetObject(heldObject(object, p.meta));
}

bool TXMLOptionsSerializer::Fail(TXMLReadError error) {
    m_lastReadError = std::move(error);
    try {
        ResetObject(Root);
    } catch (...) {
        // Load never raises; a Clear that throws leaves what it left.
    }
    return false;
}

bool TXMLOptionsSerializer::Load() {
    m_lastReadError = {};
    if (!Root)
        return Fail({TXMLReadStatus::rsNoRoot, {}, {}, 0, 0});
    try {
        ResetObject(Root);
        const QFileInfo info(XMLFilePath);
        if (XMLFilePath.isEmpty() || !info.exists())
            return Fail({TXMLReadStatus::rsFileMissing, {}, {}, 0, 0});
        // Devices and pipes could feed the reader without end.
        if (!info.isFile())
            return Fail(
                {TXMLReadStatus::rsFileUnreadable, {}, QStringLiteral("not a regular file"), 0, 0});
        QFile file(XMLFilePath);
        if (!file.open(QIODevice::ReadOnly))
            return Fail({TXMLReadStatus::rsFileUnreadable, {}, file.errorString(), 0, 0});
        const QByteArray data = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return Fail({TXMLReadStatus::rsFileUnreadable, {}, file.errorString(), 0, 0});
        return ReadDocument(data);
    } catch (...) {
        return Fail({TXMLReadStatus::rsFileUnreadable, {}, QStringLiteral("out of memory"), 0, 0});
    }
}

bool TXMLOptionsSerializer::LoadFromData(const QByteArray& data) {
    m_lastReadError = {};
    if (!Root)
        return Fail({TXMLReadStatus::rsNoRoot, {}, {}, 0, 0});
    try {
        ResetObject(Root);
        return ReadDocument(data);
    } catch (...) {
        return Fail({TXMLReadStatus::rsFileUnreadable, {}, QStringLiteral("out of memory"), 0, 0});
    }
}

namespace {

// Where the document type declaration ends, when the prolog has one. Such a declaration can
// define entities that a small file uses to expand into gigabytes of text (the parser limits
// how deep expansions nest, not how often an entity is used), and no file of this format has
// one; so it is refused before the tree is built. Only the prolog is read here.
std::optional<std::pair<int, int>> documentTypeAt(const QByteArray& data) {
    QXmlStreamReader reader(data);
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::DTD)
            return std::pair{static_cast<int>(reader.lineNumber()),
                             static_cast<int>(reader.columnNumber())};
        if (token == QXmlStreamReader::StartElement || reader.hasError())
            break;
    }
    return std::nullopt;
}

} // namespace

bool TXMLOptionsSerializer::ReadDocument(const QByteArray& data) {
    try {
        if (const auto at = documentTypeAt(data))
            return Fail({TXMLReadStatus::rsDocumentType, {}, {}, at->first, at->second});
        QDomDocument document;
        QString message;
        int line = 0;
        int column = 0;
        if (!document.setContent(data, false, &message, &line, &column))
            return Fail({TXMLReadStatus::rsParseError, {}, message, line, column});
        const QDomElement root = document.documentElement();
        if (UseVersionControl) {
            if (root.tagName() != RootNodeName)
                return Fail({TXMLReadStatus::rsForeignRoot, {}, root.tagName(), 0, 0});
            const QString application = QStringLiteral("Application");
            if (!root.hasAttribute(application))
                return Fail({TXMLReadStatus::rsForeignApplication, {}, QString(), 0, 0});
            if (root.attribute(application) != ApplicationName)
                return Fail({TXMLReadStatus::rsForeignApplication,
                             {},
                             present(root.attribute(application)),
                             0,
                             0});
            const QString version = QStringLiteral("Version");
            if (!root.hasAttribute(version))
                return Fail({TXMLReadStatus::rsBadVersion, {}, QString(), 0, 0});
            const auto number = parseInt32(root.attribute(version));
            if (!number)
                return Fail(
                    {TXMLReadStatus::rsBadVersion, {}, present(root.attribute(version)), 0, 0});
            Version = static_cast<quint8>(*number);
        }
        const QString rootName = root.tagName();
        const Place top{nullptr, &rootName, 0};
        Reader(ItemNodeCaption).ReadObject(Root, root, &top);
        if (OnAfterLoad)
            OnAfterLoad(*this);
        return true;
    } catch (const ReadFailure& failure) {
        return Fail(failure.error);
    } catch (const std::exception& e) {
        return Fail({TXMLReadStatus::rsFileUnreadable, {}, QString::fromLocal8Bit(e.what()), 0, 0});
    } catch (...) {
        return Fail({TXMLReadStatus::rsFileUnreadable, {}, QStringLiteral("unknown error"), 0, 0});
    }
}

QByteArray TXMLOptionsSerializer::SaveToData() const {
    if (!Root)
        return {};
    QByteArray data;
    {
        QXmlStreamWriter w(&data);
        w.setAutoFormatting(NodeAutoIndent);
        w.setAutoFormattingIndent(2);
        w.writeStartDocument();
        w.writeStartElement(RootNodeName);
        if (UseVersionControl) {
            w.writeAttribute(QStringLiteral("Application"), withoutForbidden(ApplicationName));
            w.writeAttribute(QStringLiteral("Version"), QString::number(Version));
        }
        Writer(w, ItemNodeCaption).WriteObject(Root);
        w.writeEndElement();
        w.writeEndDocument();
    }
    // Every raw line feed is now one the layout put there: the file's lines end with CR LF.
    data.replace("\n", "\r\n");
    return data;
}

bool TXMLOptionsSerializer::Save() {
    m_lastSaveError.clear();
    if (!Root) {
        m_lastSaveError = QStringLiteral("nothing to write");
        return false;
    }
    try {
        const QByteArray data = SaveToData();
        return writeFileAtomically(XMLFilePath, data, &m_lastSaveError);
    } catch (...) {
        m_lastSaveError = QStringLiteral("out of memory");
        return false;
    }
}

} // namespace zorvan
