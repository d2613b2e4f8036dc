#include "components/XMLOptionsWriter.h"

#include "components/XMLPropertyText.h"

#include <utility>
#include <vector>

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

// The document's text laid out as QXmlStreamWriter lays it out with auto-formatting (an
// element per line, two blanks of indent per level, <Name/> for an empty element, a line
// break at the end) but with CR LF line ends, written straight into one string: the stream
// writer's many small device writes took most of a save's time.
class Markup {
public:
    explicit Markup(bool indent) : m_indent(indent) {
        m_text += QLatin1String("<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
    }

    void start(const QString& name) {
        const bool afterText = std::exchange(m_afterText, false);
        closeStartTag();
        if (!afterText)
            breakLine(m_open.size());
        m_text += u'<';
        m_text += name;
        m_open.push_back(name);
        m_inStartTag = true;
        m_lastWasStart = true;
    }

    void attribute(QLatin1String name, const QString& value) {
        m_text += u' ';
        m_text += name;
        m_text += QLatin1String("=\"");
        escape(writable(value), true);
        m_text += u'"';
    }

    // Line breaks inside a text are written as character references: raw ones would be
    // taken for the file's own line ends and not read back as they were.
    void text(const QString& value) {
        const QString clean = writable(value);
        if (clean.isEmpty())
            return;
        closeStartTag();
        m_afterText = true;
        escape(clean, false);
    }

    void end() {
        if (m_inStartTag) {
            m_text += QLatin1String("/>");
            m_inStartTag = false;
        } else {
            if (!std::exchange(m_afterText, false) && !m_lastWasStart)
                breakLine(m_open.size() - 1);
            m_text += QLatin1String("</");
            m_text += m_open.back();
            m_text += u'>';
        }
        m_open.pop_back();
        m_lastWasStart = false;
    }

    QByteArray finish() {
        while (!m_open.empty())
            end();
        m_text += QLatin1String("\r\n");
        return m_text.toUtf8();
    }

private:
    void closeStartTag() {
        if (std::exchange(m_inStartTag, false))
            m_text += u'>';
    }

    void breakLine(std::size_t depth) {
        if (!m_indent)
            return;
        m_text += QLatin1String("\r\n");
        m_text += QString(static_cast<qsizetype>(2 * depth), u' ');
    }

    // Markup characters as entities, and in an attribute the blanks that reading would
    // normalize; runs between them are copied whole.
    static QString writable(const QString& value) {
        return needsCare(value) ? withoutForbidden(value) : value;
    }

    void escape(const QString& clean, bool inAttribute) {
        qsizetype from = 0;
        for (qsizetype i = 0; i < clean.size(); ++i) {
            const QLatin1String entity = entityOf(clean[i].unicode(), inAttribute);
            if (entity.isEmpty())
                continue;
            m_text += QStringView(clean).sliced(from, i - from);
            m_text += entity;
            from = i + 1;
        }
        m_text += QStringView(clean).sliced(from);
    }

    static QLatin1String entityOf(char16_t c, bool inAttribute) {
        switch (c) {
        case u'<':
            return QLatin1String("&lt;");
        case u'>':
            return QLatin1String("&gt;");
        case u'&':
            return QLatin1String("&amp;");
        case u'"':
            return QLatin1String("&quot;");
        case u'\n':
            return QLatin1String("&#10;");
        case u'\r':
            return QLatin1String("&#13;");
        case u'\t':
            return inAttribute ? QLatin1String("&#9;") : QLatin1String();
        default:
            return QLatin1String();
        }
    }

    QString m_text;
    std::vector<QString> m_open; // names of the elements begun and not ended
    bool m_indent;
    bool m_inStartTag = false;
    bool m_lastWasStart = false;
    bool m_afterText = false; // text was written since the last tag
};

class Writer {
public:
    Writer(Markup& out, const QString& itemName) : m_out(out), m_itemName(itemName) {}

    void WriteObject(const TXMLClass* object) {
        if (const auto* list = qobject_cast<const TXMLClassList*>(object)) {
            for (int i = 0; i < list->Count(); ++i) {
                m_out.start(m_itemName);
                if (const TXMLClass* item = list->Items(i))
                    WriteObject(item);
                m_out.end();
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
                m_out.start(p.name);
                WriteObject(held);
                m_out.end();
            }
            return;
        }
        m_out.start(p.name);
        m_out.text(valueText(p, p.meta.read(object)));
        m_out.end();
    }

    Markup& m_out;
    const QString& m_itemName;
    PropertyCache m_cache;
};

} // namespace

QByteArray writeOptionsDocument(const TXMLOptionsSerializer& serializer) {
    Markup out(serializer.NodeAutoIndent);
    out.start(serializer.RootNodeName);
    if (serializer.UseVersionControl) {
        out.attribute(QLatin1String("Application"), serializer.ApplicationName);
        out.attribute(QLatin1String("Version"), QString::number(serializer.Version));
    }
    Writer(out, serializer.ItemNodeCaption).WriteObject(serializer.Root);
    return out.finish();
}

} // namespace zorvan::xmlstore
