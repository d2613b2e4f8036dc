#include "components/XMLOptionsReader.h"

#include "components/XMLPropertyText.h"

#include <QDomDocument>
#include <QXmlStreamReader>
#include <algorithm>
#include <optional>

namespace zorvan::xmlstore {

TXMLReadError readFailure(TXMLReadStatus status, const QString& detail, int line, int column) {
    TXMLReadError error;
    error.Status = status;
    error.Text = detail;
    error.Line = line;
    error.Column = column;
    return error;
}

namespace {

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
            TXMLReadError error =
                readFailure(TXMLReadStatus::rsBadValue, text, std::max(child.lineNumber(), 0),
                            std::max(child.columnNumber(), 0));
            error.Element = pathOf(&at);
            throw ReadFailure{error};
        }
    }

    const QString& m_itemName;
    PropertyCache m_cache;
};

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

// The root element as version control wants it; Version is taken over from it.
TXMLReadError checkRoot(const QDomElement& root, TXMLOptionsSerializer& serializer) {
    if (root.tagName() != serializer.RootNodeName)
        return readFailure(TXMLReadStatus::rsForeignRoot, root.tagName());
    const QString application = QStringLiteral("Application");
    if (!root.hasAttribute(application))
        return readFailure(TXMLReadStatus::rsForeignApplication);
    if (root.attribute(application) != serializer.ApplicationName)
        return readFailure(TXMLReadStatus::rsForeignApplication,
                           present(root.attribute(application)));
    const QString version = QStringLiteral("Version");
    if (!root.hasAttribute(version))
        return readFailure(TXMLReadStatus::rsBadVersion);
    const auto number = parseInt32(root.attribute(version));
    if (!number)
        return readFailure(TXMLReadStatus::rsBadVersion, present(root.attribute(version)));
    serializer.Version = static_cast<quint8>(*number);
    return {};
}

} // namespace

TXMLReadError readOptionsDocument(const QByteArray& data, TXMLOptionsSerializer& serializer) {
    if (const auto at = documentTypeAt(data))
        return readFailure(TXMLReadStatus::rsDocumentType, {}, at->first, at->second);
    QDomDocument document;
    QString message;
    int line = 0;
    int column = 0;
    if (!document.setContent(data, false, &message, &line, &column))
        return readFailure(TXMLReadStatus::rsParseError, message, line, column);
    const QDomElement root = document.documentElement();
    if (serializer.UseVersionControl) {
        TXMLReadError error = checkRoot(root, serializer);
        if (error.Status != TXMLReadStatus::rsOk)
            return error;
    }
    const QString rootName = root.tagName();
    const Place top{nullptr, &rootName, 0};
    try {
        Reader(serializer.ItemNodeCaption).ReadObject(serializer.Root, root, &top);
    } catch (const ReadFailure& failure) {
        return failure.error;
    }
    return {};
}

} // namespace zorvan::xmlstore
