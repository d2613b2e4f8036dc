#include "components/XMLOptionsWriter.h"

#include "components/XMLPropertyText.h"

#include <QXmlStreamWriter>

namespace zorvan::xmlstore {

namespace {

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

} // namespace

QByteArray writeOptionsDocument(const TXMLOptionsSerializer& serializer) {
    QByteArray data;
    {
        QXmlStreamWriter w(&data);
        w.setAutoFormatting(serializer.NodeAutoIndent);
        w.setAutoFormattingIndent(2);
        w.writeStartDocument();
        w.writeStartElement(serializer.RootNodeName);
        if (serializer.UseVersionControl) {
            w.writeAttribute(QStringLiteral("Application"),
                             withoutForbidden(serializer.ApplicationName));
            w.writeAttribute(QStringLiteral("Version"), QString::number(serializer.Version));
        }
        Writer(w, serializer.ItemNodeCaption).WriteObject(serializer.Root);
        w.writeEndElement();
        w.writeEndDocument();
    }
    // Every raw line feed is now one the layout put there: the file's lines end with CR LF.
    data.replace("\n", "\r\n");
    return data;
}

} // namespace zorvan::xmlstore
