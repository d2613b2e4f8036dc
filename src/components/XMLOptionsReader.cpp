#include "components/XMLOptionsReader.h"

#include "components/XMLPropertyText.h"

#include <QFileDevice>
#include <QStringDecoder>
#include <QStringEncoder>
#include <QVarLengthArray>
#include <QXmlStreamReader>
#include <algorithm>
#include <optional>
#include <span>
#include <utility>
#include <vector>

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

constexpr qint64 kChunkBytes = 64 * 1024;

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
QString present(QStringView value) {
    return value.isEmpty() ? QStringLiteral("") : value.toString();
}

// The file does not fit the format's limits or is not well-formed: the read stops at once.
struct ReadFailure {
    TXMLReadError error;
};
// The content does not fit the object: the rest is still read, since a file that is not
// well-formed reports that instead.
struct ContentFailure {
    TXMLReadError error;
};

// Looks at the text before the stream reader does, for what the reader would spend unbounded
// time on: it compares every attribute of an element with every earlier one (40,000
// attributes took seconds), and it would parse whatever a document type declaration defines.
// Knows just enough of the markup to find attributes outside comments, sections,
// instructions and quoted values; counts lines so that a refusal says where.
class MarkupScanner {
public:
    // The first refusal in text (UTF-16, or UTF-8 bytes: markup is ASCII in both), which
    // continues the text of the previous calls; *stop is then the refused unit's index.
    template <typename View> std::optional<TXMLReadError> scan(View text, qsizetype* stop) {
        using Unit = typename View::value_type;
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (m_state == State::Text) { // passed over in one search
                if ((i = text.indexOf(static_cast<Unit>(u'<'), i)) < 0)
                    break;
                m_state = State::Open;
            } else if (const std::optional<TXMLReadStatus> refused = step(unit(text[i]))) {
                *stop = i;
                advance(text.first(i + 1));
                return readFailure(*refused, {}, m_line, m_column);
            }
        }
        advance(text);
        return std::nullopt;
    }
    int line() const { return m_line; }
    int column() const { return m_column; }

private:
    static char16_t unit(QChar c) { return c.unicode(); }
    static char16_t unit(char c) { return static_cast<uchar>(c); }

    // Lines are counted per piece of text, not per character.
    template <typename View> void advance(View text) {
        const auto lineFeed = static_cast<typename View::value_type>(u'\n');
        m_line += static_cast<int>(std::count(text.begin(), text.end(), lineFeed));
        qsizetype lastBreak = text.size() - 1;
        while (lastBreak >= 0 && text[lastBreak] != lineFeed)
            --lastBreak;
        m_column =
            static_cast<int>(lastBreak < 0 ? m_column + text.size() : text.size() - lastBreak - 1);
    }

    enum class State {
        Text,
        Open,
        Bang,
        Comment,
        Section,
        Instruction,
        Tag,
        Quoted,
        Doctype,
        Subset
    };

    std::optional<TXMLReadStatus> step(char16_t c) {
        switch (m_state) {
        case State::Text: // scan passes text over by itself
            break;
        case State::Open:
            m_run = 0;
            m_attributes = 0;
            m_state = c == u'!' ? State::Bang : c == u'?' ? State::Instruction : State::Tag;
            break;
        case State::Bang:
            // "<!-" opens a comment, "<![" a section, anything else a declaration.
            m_state = c == u'-' ? State::Comment : c == u'[' ? State::Section : State::Doctype;
            m_run = -1; // the comment's second dash does not count towards its end
            break;
        case State::Comment:
        case State::Section:
            if (c == u'>' && m_run >= 2)
                m_state = State::Text;
            else
                m_run = c == (m_state == State::Comment ? u'-' : u']') ? m_run + 1 : 0;
            break;
        case State::Instruction:
            if (c == u'>' && m_run == 1)
                m_state = State::Text;
            m_run = c == u'?' ? 1 : 0;
            break;
        case State::Tag:
            if (c == u'>')
                m_state = State::Text;
            else if (c == u'"' || c == u'\'') {
                m_quote = c;
                m_state = State::Quoted;
            } else if (c == u'=' && ++m_attributes > MaxElementAttributes)
                return TXMLReadStatus::rsTooManyAttributes;
            break;
        case State::Quoted:
            if (c == m_quote)
                m_state = State::Tag;
            break;
        case State::Doctype:
            return doctype(c);
        case State::Subset:
            // An internal subset that holds nothing but blanks defines nothing.
            if (c == u']')
                m_state = State::Doctype;
            else if (c != u' ' && c != u'\t' && c != u'\r' && c != u'\n')
                return TXMLReadStatus::rsDocumentType;
            break;
        }
        return std::nullopt;
    }

    // Only "<!DOCTYPE name>" is taken: a definition in the internal subset can make a small
    // file expand into gigabytes, and an external one would be a file the reader never sees.
    std::optional<TXMLReadStatus> doctype(char16_t c) {
        if (c == u'>')
            m_state = State::Text;
        else if (c == u'[')
            m_state = State::Subset;
        else if (c == u'"' || c == u'\'')
            return TXMLReadStatus::rsDocumentType;
        return std::nullopt;
    }

    State m_state = State::Text;
    char16_t m_quote = 0;
    int m_run = 0; // dashes or brackets in a row, or 1 after a question mark
    int m_attributes = 0;
    int m_line = 1;
    int m_column = 0;
};

class StreamReader {
public:
    StreamReader(QIODevice& source, TXMLOptionsSerializer& serializer)
        : m_source(source), m_serializer(serializer) {
        m_reader.setNamespaceProcessing(false);
    }

    TXMLReadError Read() {
        try {
            if (!m_source.isSequential() && m_source.size() > MaxDocumentBytes)
                throw ReadFailure{readFailure(TXMLReadStatus::rsTooLarge)};
            ReadDocument();
        } catch (const ReadFailure& failure) {
            return failure.error;
        }
        return {};
    }

private:
    void ReadDocument() {
        while (Next() != QXmlStreamReader::StartElement) {
        }
        TXMLReadError content;
        try {
            if (m_serializer.UseVersionControl)
                CheckRoot();
            const QString rootName = m_reader.qualifiedName().toString();
            const Place top{nullptr, &rootName, 0};
            ReadObject(m_serializer.Root, &top);
        } catch (const ContentFailure& failure) {
            content = failure.error;
        }
        // To the end in every case: whether the file is well-formed decides first.
        while (Next() != QXmlStreamReader::EndDocument) {
        }
        if (m_version)
            m_serializer.Version = *m_version;
        if (content.Status != TXMLReadStatus::rsOk)
            throw ReadFailure{content};
    }

    // The next token, feeding the reader chunk by chunk; the depth limit is kept here.
    QXmlStreamReader::TokenType Next() {
        for (;;) {
            const QXmlStreamReader::TokenType token = m_reader.readNext();
            if (token == QXmlStreamReader::StartElement && ++m_depth > MaxDocumentDepth)
                throw ReadFailure{Failure(TXMLReadStatus::rsTooDeep)};
            if (token == QXmlStreamReader::EndElement)
                --m_depth;
            // The stream reader lets a document type declaration stand among the elements.
            if (token == QXmlStreamReader::DTD && m_rootSeen)
                throw ReadFailure{Failure(TXMLReadStatus::rsParseError,
                                          QStringLiteral("Unexpected document type declaration"))};
            m_rootSeen = m_rootSeen || token == QXmlStreamReader::StartElement;
            // After the root element the reader ends at the end of what it was given, so
            // whatever follows is given to it too; it then first reports once more that it
            // ran out.
            const bool ended = token == QXmlStreamReader::EndDocument;
            const bool starved = m_reader.error() == QXmlStreamReader::PrematureEndOfDocumentError;
            if (std::exchange(m_resumed, false) && starved)
                continue;
            if ((ended || starved) && Feed()) {
                m_resumed = ended;
                continue;
            }
            if (token == QXmlStreamReader::Invalid)
                throw ReadFailure{Failure(TXMLReadStatus::rsParseError, m_reader.errorString())};
            return token;
        }
    }

    TXMLReadError Failure(TXMLReadStatus status, const QString& detail = {}) const {
        return readFailure(status, detail, static_cast<int>(m_reader.lineNumber()),
                           static_cast<int>(m_reader.columnNumber()));
    }

    // Gives the reader the next chunk, looked at by the scanner first; false at the end of
    // the source. What the scanner refuses is held back, and the refusal raised once the
    // reader has read all before it, so that an earlier error of the reader's own comes first.
    bool Feed() {
        if (m_refused)
            throw ReadFailure{*m_refused};
        const QByteArray bytes = m_source.read(kChunkBytes);
        if (bytes.isEmpty()) {
            const auto* file = qobject_cast<const QFileDevice*>(&m_source);
            if (file && file->error() != QFileDevice::NoError)
                throw ReadFailure{
                    readFailure(TXMLReadStatus::rsFileUnreadable, file->errorString())};
            return false;
        }
        const bool first = m_bytesRead == 0;
        m_bytesRead += bytes.size();
        if (m_bytesRead > MaxDocumentBytes)
            throw ReadFailure{readFailure(TXMLReadStatus::rsTooLarge)};
        if (first)
            ChooseDecoding(bytes);
        if (!m_decoder.isValid()) {
            qsizetype end = bytes.size();
            m_refused = m_scanner.scan(QByteArrayView(bytes), &end);
            m_reader.addData(bytes.first(end));
            return true;
        }
        QString text = first ? m_head + m_decoder(QByteArrayView(bytes).sliced(m_headBytes))
                             : m_decoder(bytes);
        const qsizetype bad = m_decoder.hasError() ? text.indexOf(QChar::ReplacementCharacter) : -1;
        qsizetype end = bad < 0 ? text.size() : bad;
        m_refused = m_scanner.scan(QStringView(text).first(end), &end);
        if (!m_refused && bad >= 0)
            m_refused = readFailure(TXMLReadStatus::rsParseError,
                                    QStringLiteral("Encountered incorrectly encoded content."),
                                    m_scanner.line(), m_scanner.column());
        text.truncate(end);
        // Text given as a string is read as it is: the reader no longer decodes, nor follows
        // the declaration's encoding.
        m_reader.addData(text);
        return true;
    }

    // The reader's own rule: a byte-order mark or the zero bytes of UTF-16 or UTF-32 around
    // the first "<" choose the encoding of the declaration, which may name another one for
    // the rest (UTF-8 when there is neither). UTF-8 throughout goes to the reader as it is;
    // anything else is decoded here (m_decoder; m_head is the declaration, decoded).
    void ChooseDecoding(const QByteArray& head) {
        const auto initial =
            QStringDecoder::encodingForData(head, u'<').value_or(QStringDecoder::Utf8);
        QXmlStreamReader probe(head);
        const QXmlStreamReader::TokenType token = probe.readNext();
        if (token == QXmlStreamReader::Invalid &&
            probe.error() != QXmlStreamReader::PrematureEndOfDocumentError)
            throw ReadFailure{readFailure(TXMLReadStatus::rsParseError, probe.errorString(),
                                          static_cast<int>(probe.lineNumber()),
                                          static_cast<int>(probe.columnNumber()))};
        const QByteArray declared = probe.documentEncoding().toLatin1();
        const bool switches =
            !declared.isEmpty() && QStringDecoder::encodingForName(declared) != initial;
        // A declaration longer than the chunk is read as text, and its encoding not followed.
        if (initial == QStringDecoder::Utf8 && !switches && token != QXmlStreamReader::Invalid)
            return;
        m_decoder = QStringDecoder(initial);
        if (!switches)
            return;
        const QByteArray end = QStringEncoder(initial)(u"?>");
        m_headBytes = head.indexOf(end) + end.size();
        m_head = m_decoder(QByteArrayView(head).first(m_headBytes));
        m_decoder = QStringDecoder(declared.constData());
    }

    // The root element as version control wants it; Version is taken over from a file that
    // turns out well-formed.
    void CheckRoot() {
        const QStringView name = m_reader.qualifiedName();
        if (name != m_serializer.RootNodeName)
            throw ContentFailure{readFailure(TXMLReadStatus::rsForeignRoot, name.toString())};
        const QXmlStreamAttributes attributes = m_reader.attributes();
        const QString application = QStringLiteral("Application");
        if (!attributes.hasAttribute(application))
            throw ContentFailure{readFailure(TXMLReadStatus::rsForeignApplication)};
        if (attributes.value(application) != m_serializer.ApplicationName)
            throw ContentFailure{readFailure(TXMLReadStatus::rsForeignApplication,
                                             present(attributes.value(application)))};
        const QString version = QStringLiteral("Version");
        if (!attributes.hasAttribute(version))
            throw ContentFailure{readFailure(TXMLReadStatus::rsBadVersion)};
        const auto number = parseInt32(attributes.value(version));
        if (!number)
            throw ContentFailure{
                readFailure(TXMLReadStatus::rsBadVersion, present(attributes.value(version)))};
        m_version = static_cast<quint8>(*number);
    }

    // From the object's start tag to its end tag: the first element named after each
    // property; every other element is passed over.
    void ReadObject(TXMLClass* object, const Place* place) {
        if (auto* list = qobject_cast<TXMLClassList*>(object)) {
            ReadList(list, place);
            return;
        }
        // A span, not the cache's vector: reading a nested object may move the vector.
        const std::span<const Property> properties = m_cache.of(object->metaObject());
        QVarLengthArray<bool, 16> done(static_cast<qsizetype>(properties.size()), false);
        for (QXmlStreamReader::TokenType token; (token = Next()) != QXmlStreamReader::EndElement;) {
            if (token != QXmlStreamReader::StartElement)
                continue;
            const QStringView name = m_reader.qualifiedName();
            std::size_t i = 0;
            while (i < properties.size() &&
                   (done[i] || properties[i].kind == Kind::Other || properties[i].name != name))
                ++i;
            if (i == properties.size()) {
                SkipElement();
                continue;
            }
            done[i] = true;
            const Property& p = properties[i];
            const Place at{place, &p.name, 0};
            if (p.kind != Kind::Object)
                ReadValue(object, p, &at);
            else if (TXMLClass* held = heldObject(object, p.meta))
                ReadObject(held, &at);
            else
                SkipElement();
        }
    }

    // No child node leaves the list as it is. Otherwise every element from the first one
    // named ItemNodeCaption on is an item, whatever its name; with no such element, one item
    // is read from nothing.
    void ReadList(TXMLClassList* list, const Place* place) {
        bool anyNode = false;
        bool inItems = false;
        int index = 0;
        for (QXmlStreamReader::TokenType token; (token = Next()) != QXmlStreamReader::EndElement;) {
            if (token == QXmlStreamReader::Characters)
                anyNode = anyNode || !m_reader.isWhitespace() || m_reader.isCDATA();
            anyNode = anyNode || token == QXmlStreamReader::Comment ||
                      token == QXmlStreamReader::ProcessingInstruction;
            if (token != QXmlStreamReader::StartElement)
                continue;
            anyNode = true;
            const bool isItem = m_reader.qualifiedName() == m_serializer.ItemNodeCaption;
            inItems = inItems || isItem;
            if (!inItems) {
                SkipElement();
                continue;
            }
            const QString other = isItem ? QString() : m_reader.qualifiedName().toString();
            const Place at{place, isItem ? &m_serializer.ItemNodeCaption : &other, ++index};
            if (TXMLClass* added = list->Add())
                ReadObject(added, &at);
            else
                SkipElement();
        }
        if (anyNode && !inItems)
            list->Add();
    }

    void ReadValue(TXMLClass* object, const Property& p, const Place* at) {
        const int line = static_cast<int>(m_reader.lineNumber());
        const int column = static_cast<int>(m_reader.columnNumber());
        const QString text = ElementText();
        const std::optional<QVariant> value = parseValue(p, text);
        if (!value || !p.meta.write(object, *value)) {
            TXMLReadError error = readFailure(TXMLReadStatus::rsBadValue, text, line, column);
            error.Element = pathOf(at);
            throw ContentFailure{error};
        }
    }

    // An element's text: all of it when it holds no element, so that a value made only of
    // blanks or line breaks is kept; else the text of its descendants without the blanks
    // that only lay them out.
    QString ElementText() {
        const int depth = m_depth;
        QString all;
        std::vector<std::pair<qsizetype, qsizetype>> blanks; // where in all, and how long
        bool nested = false;
        for (QXmlStreamReader::TokenType token;
             (token = Next()) != QXmlStreamReader::EndElement || m_depth >= depth;) {
            nested = nested || token == QXmlStreamReader::StartElement;
            if (token != QXmlStreamReader::Characters)
                continue;
            if (m_reader.isWhitespace() && !m_reader.isCDATA())
                blanks.emplace_back(all.size(), m_reader.text().size());
            if (all.isEmpty())
                all = m_reader.text().toString(); // one allocation of the right size
            else
                all += m_reader.text();
        }
        if (!nested)
            return all;
        for (auto blank = blanks.rbegin(); blank != blanks.rend(); ++blank)
            all.remove(blank->first, blank->second);
        return all;
    }

    void SkipElement() {
        const int depth = m_depth;
        while (Next() != QXmlStreamReader::EndElement || m_depth >= depth) {
        }
    }

    QIODevice& m_source;
    TXMLOptionsSerializer& m_serializer;
    QXmlStreamReader m_reader;
    QStringDecoder m_decoder; // none for UTF-8, which the reader decodes itself
    QString m_head;
    qsizetype m_headBytes = 0;
    MarkupScanner m_scanner;
    std::optional<TXMLReadError> m_refused;
    std::optional<quint8> m_version; // of a well-formed file with a fitting root
    qint64 m_bytesRead = 0;
    int m_depth = 0;
    bool m_rootSeen = false;
    bool m_resumed = false; // fed after the reader had ended
    PropertyCache m_cache;
};

} // namespace

TXMLReadError readOptionsDocument(QIODevice& source, TXMLOptionsSerializer& serializer) {
    return StreamReader(source, serializer).Read();
}

} // namespace zorvan::xmlstore
