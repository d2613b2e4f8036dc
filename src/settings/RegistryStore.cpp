#include "settings/RegistryStore.h"

#include "components/AtomicFile.h"
#include "components/ConfigPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QtEndian>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorvan {

RegistryValue RegistryValue::fromDword(quint32 v) {
    RegistryValue r;
    r.type = Type::Dword;
    r.dword = v;
    return r;
}

RegistryValue RegistryValue::fromString(const QString& s) {
    RegistryValue r;
    r.type = Type::String;
    r.text = s;
    return r;
}

RegistryValue RegistryValue::fromBinary(const QByteArray& b) {
    RegistryValue r;
    r.type = Type::Binary;
    r.bytes = b;
    return r;
}

bool operator==(const RegistryValue& a, const RegistryValue& b) {
    if (a.type != b.type)
        return false;
    switch (a.type) {
    case RegistryValue::Type::Dword:
        return a.dword == b.dword;
    case RegistryValue::Type::String:
        return a.text == b.text;
    case RegistryValue::Type::Binary:
        return a.bytes == b.bytes;
    case RegistryValue::Type::Other:
        return a.otherType == b.otherType && a.bytes == b.bytes;
    }
    return false;
}

namespace {

// Registry names compare as the registry does, without regard to case.
QString nameKey(const QString& name) {
    return name.toCaseFolded();
}

} // namespace

const RegistryValue* RegistryKeyContents::find(const QString& name) const {
    const auto it = m_index.constFind(nameKey(name));
    return it == m_index.cend() ? nullptr : &values[*it].second;
}

void RegistryKeyContents::set(const QString& name, const RegistryValue& value) {
    const auto it = m_index.constFind(nameKey(name));
    if (it == m_index.cend()) {
        m_changed.resize(values.size());
        m_index.insert(nameKey(name), values.size());
        values.append({name, value});
        m_changed.append(true);
        return;
    }
    if (values[*it].second == value)
        return; // the line keeps the file's own spelling of the value
    values[*it].second = value;
    m_changed.resize(values.size());
    m_changed[*it] = true;
}

qsizetype RegistryKeyContents::add(const QString& name, const RegistryValue& value) {
    const QString key = nameKey(name);
    const auto it = m_index.constFind(key);
    if (it != m_index.cend()) {
        values[*it].second = value;
        return *it;
    }
    m_index.insert(key, values.size());
    values.append({name, value});
    return values.size() - 1;
}

namespace {

constexpr qint64 MaxStoreSize = 16 * 1024 * 1024;
const QString Hive = QStringLiteral("HKEY_LOCAL_MACHINE");
using Encoding = RegistryKeyContents::Encoding;

std::pair<Encoding, int> encodingOf(const QByteArray& data) {
    if (data.startsWith("\xEF\xBB\xBF"))
        return {Encoding::Utf8Bom, 3};
    if (data.startsWith("\xFF\xFE"))
        return {Encoding::Utf16LE, 2};
    if (data.startsWith("\xFE\xFF"))
        return {Encoding::Utf16BE, 2};
    return {Encoding::Utf8, 0};
}

bool isUtf16(Encoding e) {
    return e == Encoding::Utf16LE || e == Encoding::Utf16BE;
}

char16_t unitAt(const QByteArray& body, qsizetype i, Encoding e) {
    const auto byte = [&](qsizetype k) {
        return static_cast<char16_t>(static_cast<uchar>(body[k]));
    };
    if (!isUtf16(e))
        return byte(i);
    return e == Encoding::Utf16LE ? static_cast<char16_t>(byte(i) | byte(i + 1) << 8)
                                  : static_cast<char16_t>(byte(i) << 8 | byte(i + 1));
}

// The lines of bytes [from, to) of a file, one at a time, split at LF, CR LF or a lone CR.
class LineCursor {
public:
    LineCursor(const QByteArray& data, qsizetype from, qsizetype to, Encoding e)
        : m_data(data), m_pos(from), m_to(to), m_encoding(e), m_width(isUtf16(e) ? 2 : 1) {}

    bool atEnd() const { return m_pos >= m_to; }
    qsizetype pos() const { return m_pos; }
    int number() const { return m_number; } // of the next line, from 1
    void seek(qsizetype pos, int number) {
        m_pos = pos;
        m_number = number;
    }

    // Moves past the next line; text is without its line end. False when the line is not
    // valid text (a bad UTF-8 sequence, an unpaired surrogate, an odd byte).
    bool next(QString& text) {
        const qsizetype unitsEnd = m_pos + (m_to - m_pos) / m_width * m_width;
        qsizetype i = m_pos;
        if (m_width == 1) {
            const char* bytes = m_data.constData();
            while (i < unitsEnd && bytes[i] != '\n' && bytes[i] != '\r')
                ++i;
        } else {
            while (i < unitsEnd && unitAt(m_data, i, m_encoding) != u'\n' &&
                   unitAt(m_data, i, m_encoding) != u'\r')
                i += 2;
        }
        qsizetype next = m_to; // a last line without a line end takes an odd byte along
        if (i < unitsEnd) {
            const bool crlf = unitAt(m_data, i, m_encoding) == u'\r' && i + m_width < unitsEnd &&
                              unitAt(m_data, i + m_width, m_encoding) == u'\n';
            next = i + (crlf ? 2 : 1) * m_width;
            if (firstLineEnd.isEmpty())
                firstLineEnd =
                    crlf ? QStringLiteral("\r\n") : QString(QChar(unitAt(m_data, i, m_encoding)));
        }
        const bool valid = decode(m_pos, i, text) && (i < unitsEnd || next == i);
        m_pos = next;
        ++m_number;
        return valid;
    }

    QString firstLineEnd; // empty while none was met

private:
    bool decode(qsizetype from, qsizetype to, QString& text) {
        // Into text's own buffer: one allocation for the file rather than one a line.
        if (from == to && text.isNull())
            return true;
        if (!isUtf16(m_encoding)) {
            m_utf8.resetState();
            text.resize(to - from);
            const QChar* end =
                m_utf8.appendToBuffer(text.data(), QByteArrayView(m_data).sliced(from, to - from));
            text.truncate(end - text.constData());
            return !m_utf8.hasError();
        }
        text.resize(0);
        for (qsizetype i = from; i < to; i += 2)
            text += QChar(unitAt(m_data, i, m_encoding));
        for (qsizetype i = 0; i < text.size(); ++i) {
            if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
                ++i;
            else if (text[i].isSurrogate())
                return false;
        }
        return true;
    }

    const QByteArray& m_data;
    qsizetype m_pos;
    qsizetype m_to;
    Encoding m_encoding;
    qsizetype m_width;
    int m_number = 1;
    QStringDecoder m_utf8{QStringConverter::Utf8, QStringConverter::Flag::Stateless};
};

// One to eight hex digits and nothing else.
std::optional<quint32> hexNumber(QStringView digits) {
    if (digits.isEmpty() || digits.size() > 8)
        return std::nullopt;
    quint32 value = 0;
    for (const QChar c : digits) {
        const char16_t u = c.unicode();
        quint32 digit = 0;
        if (u >= '0' && u <= '9')
            digit = u - '0';
        else if (u >= 'a' && u <= 'f')
            digit = u - 'a' + 10;
        else if (u >= 'A' && u <= 'F')
            digit = u - 'A' + 10;
        else
            return std::nullopt;
        value = value * 16 + digit;
    }
    return value;
}

// Reads a quoted text starting at pos (which holds the opening quote); a backslash takes the
// next character literally. Leaves pos after the closing quote.
std::optional<QString> readQuoted(const QString& line, qsizetype& pos) {
    if (pos >= line.size() || line[pos] != u'"')
        return std::nullopt;
    QString out;
    for (++pos; pos < line.size(); ++pos) {
        const QChar c = line[pos];
        if (c == u'\\') {
            if (++pos >= line.size())
                return std::nullopt;
            out += line[pos];
        } else if (c == u'"') {
            ++pos;
            return out;
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

std::optional<QByteArray> parseHexBytes(const QString& text) {
    QByteArray out;
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return out;
    for (const QString& token : trimmed.split(u',')) {
        const QString t = token.trimmed();
        const auto byte = t.size() == 2 ? hexNumber(t) : std::nullopt;
        if (!byte)
            return std::nullopt;
        out.append(static_cast<char>(*byte));
    }
    return out;
}

std::optional<RegistryValue> hexValue(int type, const QByteArray& bytes) {
    switch (type) {
    case 1: { // REG_SZ: UTF-16LE, cut at the first NUL
        if (bytes.size() % 2 != 0)
            return std::nullopt;
        QString s = QString::fromUtf16(reinterpret_cast<const char16_t*>(bytes.constData()),
                                       bytes.size() / 2);
        const qsizetype nul = s.indexOf(QChar(u'\0'));
        if (nul >= 0)
            s.truncate(nul);
        return RegistryValue::fromString(s);
    }
    case 3:
        return RegistryValue::fromBinary(bytes);
    case 4: // REG_DWORD, little-endian
        if (bytes.size() != 4)
            return std::nullopt;
        return RegistryValue::fromDword(qFromLittleEndian<quint32>(bytes.constData()));
    default: {
        RegistryValue r;
        r.type = RegistryValue::Type::Other;
        r.otherType = type;
        r.bytes = bytes;
        return r;
    }
    }
}

QString escaped(const QString& s) {
    QString out;
    out.reserve(s.size() + 2);
    for (const QChar c : s) {
        if (c == u'\\' || c == u'"')
            out += u'\\';
        out += c;
    }
    return out;
}

bool needsHexForm(const QString& s) {
    for (const QChar c : s)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            return true;
    return false;
}

QString hexText(const QByteArray& bytes, qsizetype lineStart) {
    QString out;
    qsizetype column = lineStart;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (i > 0) {
            out += u',';
            ++column;
            if (column > 76) {
                out += QStringLiteral("\\\n  ");
                column = 2;
            }
        }
        out += QString::asprintf("%02x", static_cast<unsigned char>(bytes[i]));
        column += 2;
    }
    return out;
}

// "text" with nothing after it. A registry string ends at its first zero character, as the
// hex(1): form is read: a text holding one would not read back the same once written.
std::optional<RegistryValue> stringValue(const QString& rest) {
    qsizetype p = 0;
    const auto s = readQuoted(rest, p);
    if (!s || !rest.mid(p).trimmed().isEmpty())
        return std::nullopt;
    QString text = *s;
    const qsizetype nul = text.indexOf(QChar(u'\0'));
    if (nul >= 0)
        text.truncate(nul);
    return RegistryValue::fromString(text);
}

// dword: and one to eight digits, as regedit takes them.
std::optional<RegistryValue> dwordValue(const QString& rest) {
    const auto v = hexNumber(rest.mid(6).trimmed());
    if (!v)
        return std::nullopt;
    return RegistryValue::fromDword(*v);
}

// Only hex bytes, commas and blanks, with a final backslash when it goes on: a line that is
// anything else (the next value, say) ends a continuation as damage rather than being eaten.
bool isHexContinuation(QStringView text) {
    for (const QChar c : text)
        if (!isxdigit(c.unicode() < 0x80 ? c.unicode() : 0) && c != u',' && c != u' ' &&
            c != u'\t' && c != u'\\')
            return false;
    return true;
}

// A text whose trailing backslash continues it on the next line, joined with what follows.
std::optional<QString> joinContinued(QString text, LineCursor& lines) {
    QString next;
    while (text.endsWith(u'\\')) {
        text.chop(1);
        if (lines.atEnd() || !lines.next(next) || !isHexContinuation(next))
            return std::nullopt;
        text += next.trimmed();
    }
    return text;
}

// hex:bytes (REG_BINARY) or hex(N):bytes, the bytes possibly continued on the next lines.
std::optional<RegistryValue> hexFormValue(const QString& rest, LineCursor& lines) {
    int type = 3;
    qsizetype p = 3;
    if (p < rest.size() && rest[p] == u'(') {
        const qsizetype close = rest.indexOf(u')', p);
        const auto n =
            close < 0 ? std::nullopt : hexNumber(QStringView(rest).mid(p + 1, close - p - 1));
        if (!n)
            return std::nullopt;
        type = static_cast<int>(*n);
        p = close + 1;
    }
    if (p >= rest.size() || rest[p] != u':')
        return std::nullopt;
    const auto text = joinContinued(rest.mid(p + 1).trimmed(), lines);
    const auto bytes = text ? parseHexBytes(*text) : std::nullopt;
    if (!bytes)
        return std::nullopt;
    return hexValue(type, *bytes);
}

void skipBlanks(const QString& line, qsizetype& pos) {
    while (pos < line.size() && (line[pos] == u' ' || line[pos] == u'\t'))
        ++pos;
}

using NamedValue = std::pair<QString, RegistryValue>;

// A "name"=value or @=value line; nullopt with the problem when it does not parse.
std::optional<NamedValue> readValueLine(const QString& line, LineCursor& lines, QString& problem) {
    qsizetype pos = 0;
    std::optional<QString> name = QString();
    if (line.startsWith(u'@'))
        pos = 1;
    else
        name = readQuoted(line, pos);
    skipBlanks(line, pos);
    if (!name || pos >= line.size() || line[pos] != u'=') {
        problem = QStringLiteral("not a value line (\"name\"=value)");
        return std::nullopt;
    }
    const QString rest = line.mid(pos + 1).trimmed();
    std::optional<RegistryValue> value;
    if (rest.startsWith(u'"')) {
        value = stringValue(rest);
        problem = QStringLiteral("not a quoted text");
    } else if (rest.startsWith(QLatin1String("dword:"), Qt::CaseInsensitive)) {
        value = dwordValue(rest);
        problem = QStringLiteral("not a dword of 1 to 8 hex digits");
    } else if (rest.startsWith(QLatin1String("hex"), Qt::CaseInsensitive)) {
        value = hexFormValue(rest, lines);
        problem = QStringLiteral("not a list of hex bytes");
    } else {
        problem = QStringLiteral("unknown value form");
    }
    if (!value)
        return std::nullopt;
    problem.clear();
    return NamedValue{*name, *value};
}

bool isHeaderLine(QStringView line) {
    return line == QLatin1String("Windows Registry Editor Version 5.00") ||
           line == QLatin1String("REGEDIT4");
}

// Reads the next line (with its continuations) into contents; returns why it cannot be read,
// empty when it can. value becomes the index of the value it holds, if any.
struct LineReader {
    // resumed: reading lines after the file's first content and its key line
    LineReader(RegistryKeyContents& c, LineCursor& l, bool resumed = false)
        : contents(c), lines(l), seenContent(resumed), seenKey(resumed) {}

    RegistryKeyContents& contents;
    LineCursor& lines;
    bool seenContent;
    bool seenKey;
    QString text; // of the line read last, its buffer kept for the next

    QString read(qsizetype& value) {
        if (!lines.next(text))
            return QStringLiteral("not valid text in the file's encoding");
        const QStringView line = QStringView(text).trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            return QString();
        const bool first = !seenContent;
        seenContent = true;
        if (first && isHeaderLine(line))
            return QString();
        if (line.startsWith(u'[')) {
            if (seenKey)
                return QStringLiteral("a second key");
            if (!line.endsWith(u']') || line.startsWith(QLatin1String("[-")))
                return QStringLiteral("not a key line");
            seenKey = true;
            contents.keyPath = line.sliced(1, line.size() - 2).toString();
            return QString();
        }
        QString problem;
        const qsizetype afterLine = lines.pos();
        const int nextNumber = lines.number();
        const auto named = readValueLine(line.toString(), lines, problem);
        if (!named) {
            lines.seek(afterLine, nextNumber); // continuation lines taken are lines of their own
            return problem;
        }
        value = contents.add(named->first, named->second);
        return QString();
    }
};

QString valueLineText(const QString& name, const RegistryValue& v) {
    QString line =
        name.isEmpty() ? QStringLiteral("@=") : u'"' + escaped(name) + QStringLiteral("\"=");
    switch (v.type) {
    case RegistryValue::Type::Dword:
        line += QString::asprintf("dword:%08x", v.dword);
        break;
    case RegistryValue::Type::String:
        if (needsHexForm(v.text)) {
            QByteArray utf16(reinterpret_cast<const char*>(v.text.utf16()), v.text.size() * 2);
            if constexpr (Q_BYTE_ORDER == Q_BIG_ENDIAN)
                for (qsizetype k = 0; k + 1 < utf16.size(); k += 2)
                    std::swap(utf16[k], utf16[k + 1]);
            utf16.append(2, '\0');
            line += QStringLiteral("hex(1):");
            line += hexText(utf16, line.size());
        } else {
            line += u'"' + escaped(v.text) + u'"';
        }
        break;
    case RegistryValue::Type::Binary:
        line += QStringLiteral("hex:");
        line += hexText(v.bytes, line.size());
        break;
    case RegistryValue::Type::Other:
        line += QString::asprintf("hex(%x):", static_cast<unsigned>(v.otherType));
        line += hexText(v.bytes, line.size());
        break;
    }
    return line + u'\n';
}

// Text with LF line ends into the bytes of the file's encoding and line ends.
QByteArray encoded(QString text, const RegistryKeyContents& c) {
    if (c.lineEnd != QLatin1String("\n"))
        text.replace(u'\n', c.lineEnd);
    if (!isUtf16(c.encoding))
        return text.toUtf8();
    QByteArray out;
    out.reserve(text.size() * 2);
    for (const QChar ch : text) {
        const char lo = static_cast<char>(ch.unicode() & 0xff);
        const char hi = static_cast<char>(ch.unicode() >> 8);
        out.append(c.encoding == Encoding::Utf16LE ? lo : hi);
        out.append(c.encoding == Encoding::Utf16LE ? hi : lo);
    }
    return out;
}

QByteArray byteOrderMark(Encoding e) {
    switch (e) {
    case Encoding::Utf8Bom:
        return QByteArrayLiteral("\xEF\xBB\xBF");
    case Encoding::Utf16LE:
        return QByteArrayLiteral("\xFF\xFE");
    case Encoding::Utf16BE:
        return QByteArrayLiteral("\xFE\xFF");
    case Encoding::Utf8:
        break;
    }
    return QByteArray();
}

bool endsWithLineEnd(const QByteArray& raw, Encoding e) {
    const qsizetype w = isUtf16(e) ? 2 : 1;
    if (raw.size() < w)
        return false;
    const char16_t u = unitAt(raw, raw.size() - w, e);
    return u == u'\n' || u == u'\r';
}

QByteArray newFileText(const RegistryKeyContents& contents) {
    QString out = QStringLiteral("Windows Registry Editor Version 5.00\n\n");
    if (!contents.keyPath.isEmpty())
        out += u'[' + contents.keyPath + QStringLiteral("]\n");
    for (const auto& [name, v] : contents.values)
        out += valueLineText(name, v);
    out += u'\n';
    return byteOrderMark(contents.encoding) + encoded(out, contents);
}

// Reads a store file: a regular file only (a FIFO would block, a device such as /dev/zero
// never end), and no more than the cap, counted in bytes read rather than the size stat gives.
// True with empty data when there is no file.
bool readStoreFile(const QString& file, QByteArray& data, QString& error) {
    const QByteArray name = QFile::encodeName(file);
    auto fail = [&](const QString& what, int code) {
        error = QStringLiteral("%1: %2").arg(what, QString::fromLocal8Bit(std::strerror(code)));
        return false;
    };
    struct stat st {};
    if (::stat(name.constData(), &st) != 0)
        return errno == ENOENT || fail(file, errno);
    if (!S_ISREG(st.st_mode)) {
        error = QStringLiteral("%1 is not a regular file").arg(file);
        return false;
    }
    const int fd = ::open(name.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return fail(file, errno);
    // The name may have been replaced since the check above.
    bool ok = (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) || fail(file, EINVAL);
    char chunk[65536];
    while (ok) {
        const qsizetype want = std::min<qsizetype>(sizeof chunk, MaxStoreSize + 1 - data.size());
        const ssize_t n = ::read(fd, chunk, static_cast<size_t>(want));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = n == 0 || fail(file, errno);
            break;
        }
        data.append(chunk, n);
        if (data.size() > MaxStoreSize) {
            error = QStringLiteral("%1 is larger than 16 MiB").arg(file);
            ok = false;
        }
    }
    ::close(fd);
    return ok;
}

} // namespace

namespace RegistryText {

std::optional<RegistryKeyContents> parse(const QByteArray& data) {
    RegistryKeyContents contents;
    contents.data = data;
    const auto [encoding, markSize] = encodingOf(data);
    contents.encoding = encoding;
    LineCursor lines(data, markSize, data.size(), encoding);
    LineReader reader(contents, lines);
    while (!lines.atEnd()) {
        RegistryLine line;
        line.begin = lines.pos();
        line.number = lines.number();
        line.unreadable = !reader.read(line.value).isEmpty();
        line.end = lines.pos();
        // Runs of lines that hold no value take one entry: a hostile file of line ends costs
        // no more than its bytes.
        RegistryLine* last = contents.lines.isEmpty() ? nullptr : &contents.lines.back();
        if (last && last->value < 0 && line.value < 0 && last->unreadable == line.unreadable)
            last->end = line.end;
        else
            contents.lines.append(line);
    }
    if (!lines.firstLineEnd.isEmpty())
        contents.lineEnd = lines.firstLineEnd;
    return contents;
}

void forEachUnreadableLine(const RegistryKeyContents& contents,
                           const std::function<void(int, const QString&)>& visit) {
    for (const RegistryLine& run : contents.lines) {
        if (!run.unreadable)
            continue;
        // Read again alone, as they were met the first time: after content and a key.
        RegistryKeyContents scratch;
        LineCursor lines(contents.data, run.begin, run.end, contents.encoding);
        lines.seek(run.begin, run.number);
        LineReader reader(scratch, lines, true);
        while (!lines.atEnd()) {
            const int number = lines.number();
            qsizetype value = -1;
            const QString problem = reader.read(value);
            if (!problem.isEmpty())
                visit(number, problem);
        }
    }
}

QByteArray format(const RegistryKeyContents& contents) {
    if (contents.lines.isEmpty())
        return newFileText(contents);
    // Values the file does not hold yet go after its last value (or at its end).
    QList<bool> placed(contents.values.size(), false);
    qsizetype insertAfter = contents.lines.size() - 1;
    for (qsizetype k = 0; k < contents.lines.size(); ++k) {
        const qsizetype v = contents.lines[k].value;
        if (v >= 0 && v < placed.size())
            placed[v] = true;
    }
    for (qsizetype k = contents.lines.size() - 1; k >= 0; --k) {
        if (contents.lines[k].value >= 0) {
            insertAfter = k;
            break;
        }
    }
    QString added;
    for (qsizetype v = 0; v < contents.values.size(); ++v)
        if (!placed[v])
            added += valueLineText(contents.values[v].first, contents.values[v].second);

    QByteArray out = byteOrderMark(contents.encoding);
    for (qsizetype k = 0; k < contents.lines.size(); ++k) {
        const RegistryLine& line = contents.lines[k];
        if (line.value >= 0 && contents.changed(line.value))
            out += encoded(valueLineText(contents.values[line.value].first,
                                         contents.values[line.value].second),
                           contents);
        else
            out += QByteArrayView(contents.data).sliced(line.begin, line.end - line.begin);
        if (k == insertAfter && !added.isEmpty()) {
            if (!endsWithLineEnd(out, contents.encoding))
                out += encoded(QStringLiteral("\n"), contents);
            out += encoded(added, contents);
        }
    }
    return out;
}

} // namespace RegistryText

RegistryStoreKey::RegistryStoreKey(const QString& keyPath) : m_file(fileOfKey(keyPath)) {
    QStringList levels = keyPath.split(u'\\');
    if (!levels.isEmpty() && levels.front().isEmpty())
        levels.removeFirst();
    if (!levels.isEmpty() && levels.front().compare(Hive, Qt::CaseInsensitive) == 0)
        levels.removeFirst();
    m_keyPath = Hive + u'\\' + levels.join(u'\\');
    m_contents.keyPath = m_keyPath;
}

QString RegistryStoreKey::fileOfKey(const QString& keyPath) {
    QStringList levels = keyPath.split(u'\\');
    if (!levels.isEmpty() && levels.front().isEmpty())
        levels.removeFirst();
    if (!levels.isEmpty() && levels.front().compare(Hive, Qt::CaseInsensitive) == 0)
        levels.removeFirst();
    if (!levels.isEmpty() &&
        levels.front().compare(QLatin1String("Software"), Qt::CaseInsensitive) == 0)
        levels.removeFirst();
    if (levels.isEmpty())
        return QString();
    for (const QString& level : levels) {
        if (level.isEmpty() || level == QLatin1String(".") || level == QLatin1String("..") ||
            level.contains(u'/') || level.contains(QChar(u'\0')))
            return QString();
    }
    return configFolder() + u'/' + levels.join(u'/') + QStringLiteral(".reg");
}

RegistryStoreKey::~RegistryStoreKey() {
    unlock();
}

bool RegistryStoreKey::openRead() {
    m_writable = false;
    m_contents = RegistryKeyContents();
    m_contents.keyPath = m_keyPath;
    if (m_file.isEmpty()) {
        m_error = QStringLiteral("the key path names no file");
        return false;
    }
    QByteArray data;
    if (!readStoreFile(m_file, data, m_error))
        return false;
    m_contents = *RegistryText::parse(data);
    if (m_contents.lines.isEmpty())
        m_contents.keyPath = m_keyPath;
    return true;
}

bool RegistryStoreKey::openWrite() {
    unlock();
    m_dirty = false;
    if (m_file.isEmpty()) {
        m_error = QStringLiteral("the key path names no file");
        return false;
    }
    const QString folder = QFileInfo(m_file).absolutePath();
    if (!QDir().mkpath(folder)) {
        m_error = QStringLiteral("cannot make the folder %1").arg(folder);
        return false;
    }
    // The folder is the lock: it outlives the file, which every write replaces, and leaves
    // nothing behind.
    m_lockFd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    int locked = m_lockFd < 0 ? -1 : 0;
    while (locked == 0 && ::flock(m_lockFd, LOCK_EX) != 0)
        locked = errno == EINTR ? 0 : -1;
    if (locked != 0) {
        m_error = QStringLiteral("cannot lock the folder %1: %2")
                      .arg(folder, QString::fromLocal8Bit(std::strerror(errno)));
        unlock();
        return false;
    }
    if (!openRead()) {
        unlock();
        return false;
    }
    m_writable = true;
    return true;
}

void RegistryStoreKey::setValue(const QString& name, const RegistryValue& v) {
    m_contents.set(name, v);
    m_dirty = true;
}

bool RegistryStoreKey::commit() {
    if (!m_writable) {
        if (m_error.isEmpty())
            m_error = QStringLiteral("the key is not open for writing");
        return false;
    }
    bool ok = !m_dirty;
    if (m_dirty) {
        const QByteArray text = RegistryText::format(m_contents);
        // A store past the cap would not be read again: everything in it would be lost.
        if (text.size() > MaxStoreSize)
            m_error = QStringLiteral("%1 would grow past 16 MiB").arg(m_file);
        else
            ok = writeFileAtomically(m_file, text, &m_error);
    }
    if (ok)
        m_dirty = false;
    m_writable = false;
    unlock();
    return ok;
}

void RegistryStoreKey::unlock() {
    if (m_lockFd >= 0)
        ::close(m_lockFd); // releases the lock
    m_lockFd = -1;
}

} // namespace zorvan
