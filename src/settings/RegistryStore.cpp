#include "settings/RegistryStore.h"

#include "components/ConfigPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QtEndian>

#include <cerrno>
#include <fcntl.h>
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

const RegistryValue* RegistryKeyContents::find(const QString& name) const {
    for (const auto& [n, v] : values)
        if (n == name)
            return &v;
    return nullptr;
}

void RegistryKeyContents::set(const QString& name, const RegistryValue& value) {
    for (auto& [n, v] : values) {
        if (n == name) {
            v = value;
            return;
        }
    }
    values.append({name, value});
}

namespace {

constexpr qint64 MaxStoreSize = 16 * 1024 * 1024;
const QString Hive = QStringLiteral("HKEY_LOCAL_MACHINE");

std::optional<QString> decodeText(const QByteArray& data) {
    QByteArray body = data;
    auto encoding = QStringConverter::Utf8;
    if (body.startsWith("\xEF\xBB\xBF")) {
        body.remove(0, 3);
    } else if (body.startsWith("\xFF\xFE")) {
        body.remove(0, 2);
        encoding = QStringConverter::Utf16LE;
    }
    QStringDecoder decoder(encoding, QStringConverter::Flag::Stateless);
    QString text = decoder(body);
    if (decoder.hasError())
        return std::nullopt;
    // The UTF-16 decoder lets unpaired surrogates through: damage all the same, and they could
    // not be written back.
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        else if (text[i].isSurrogate())
            return std::nullopt;
    }
    return text;
}

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

bool writeAll(int fd, const QByteArray& data) {
    const char* p = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        p += n;
        left -= n;
    }
    return true;
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

// dword: and exactly eight digits.
std::optional<RegistryValue> dwordValue(const QString& rest) {
    const QString digits = rest.mid(6).trimmed();
    const auto v = digits.size() == 8 ? hexNumber(digits) : std::nullopt;
    if (!v)
        return std::nullopt;
    return RegistryValue::fromDword(*v);
}

// A text whose trailing backslash continues it on the next line, joined with what follows;
// i moves to the last line taken.
std::optional<QString> joinContinued(QString text, const QStringList& lines, qsizetype& i) {
    while (text.endsWith(u'\\')) {
        text.chop(1);
        if (++i >= lines.size())
            return std::nullopt;
        text += lines[i].trimmed();
    }
    return text;
}

// hex:bytes (REG_BINARY) or hex(N):bytes, the bytes possibly continued on the next lines.
std::optional<RegistryValue> hexFormValue(const QString& rest, const QStringList& lines,
                                          qsizetype& i) {
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
    const auto text = joinContinued(rest.mid(p + 1).trimmed(), lines, i);
    const auto bytes = text ? parseHexBytes(*text) : std::nullopt;
    if (!bytes)
        return std::nullopt;
    return hexValue(type, *bytes);
}

// A "name"=value or @=value line into contents; false when it does not parse.
bool readValueLine(const QString& line, const QStringList& lines, qsizetype& i,
                   RegistryKeyContents& contents) {
    qsizetype pos = 0;
    std::optional<QString> name = QString();
    if (line.startsWith(u'@'))
        pos = 1;
    else
        name = readQuoted(line, pos);
    if (!name || pos >= line.size() || line[pos] != u'=')
        return false;
    const QString rest = line.mid(pos + 1);
    std::optional<RegistryValue> value;
    if (rest.startsWith(u'"'))
        value = stringValue(rest);
    else if (rest.startsWith(QLatin1String("dword:")))
        value = dwordValue(rest);
    else if (rest.startsWith(QLatin1String("hex")))
        value = hexFormValue(rest, lines, i);
    if (!value)
        return false;
    contents.set(*name, *value);
    return true;
}

// The lines of a text that ends with a line end, without their LF or CR LF.
QStringList linesOf(const QString& text) {
    QStringList lines = text.split(u'\n');
    lines.removeLast();
    for (QString& l : lines)
        if (l.endsWith(u'\r'))
            l.chop(1);
    return lines;
}

bool isHeaderLine(const QString& line) {
    return line == QLatin1String("Windows Registry Editor Version 5.00") ||
           line == QLatin1String("REGEDIT4");
}

} // namespace

namespace RegistryText {

std::optional<RegistryKeyContents> parse(const QByteArray& data) {
    const auto decoded = decodeText(data);
    if (!decoded)
        return std::nullopt;
    RegistryKeyContents contents;
    if (decoded->isEmpty())
        return contents;
    if (!decoded->endsWith(u'\n'))
        return std::nullopt; // cut inside a line
    const QStringList lines = linesOf(*decoded);
    bool seenContent = false;
    bool seenKey = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines[i].trimmed();
        if (line.isEmpty() || line.startsWith(u';'))
            continue;
        const bool first = !seenContent;
        seenContent = true;
        if (first && isHeaderLine(line))
            continue;
        if (line.startsWith(u'[')) {
            if (seenKey || !line.endsWith(u']') || line.startsWith(QLatin1String("[-")))
                return std::nullopt;
            seenKey = true;
            contents.keyPath = line.mid(1, line.size() - 2);
        } else if (!readValueLine(line, lines, i, contents)) {
            return std::nullopt;
        }
    }
    return contents;
}

QByteArray format(const RegistryKeyContents& contents) {
    QString out = QStringLiteral("Windows Registry Editor Version 5.00\n\n");
    if (!contents.keyPath.isEmpty())
        out += u'[' + contents.keyPath + QStringLiteral("]\n");
    for (const auto& [name, v] : contents.values) {
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
        out += line + u'\n';
    }
    out += u'\n';
    return out.toUtf8();
}

} // namespace RegistryText

RegistryStoreKey::RegistryStoreKey(const QString& keyPath) : m_file(fileOfKey(keyPath)) {
    QStringList levels = keyPath.split(u'\\');
    if (!levels.isEmpty() && levels.front().isEmpty())
        levels.removeFirst();
    if (!levels.isEmpty() && levels.front().compare(Hive, Qt::CaseInsensitive) == 0)
        levels.removeFirst();
    m_contents.keyPath = Hive + u'\\' + levels.join(u'\\');
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

bool RegistryStoreKey::openRead() {
    m_writable = false;
    m_contents.values.clear();
    if (m_file.isEmpty())
        return false;
    QFile f(m_file);
    if (!f.exists())
        return true;
    if (f.size() > MaxStoreSize || !f.open(QIODevice::ReadOnly))
        return false;
    const auto parsed = RegistryText::parse(f.readAll());
    if (!parsed)
        return false;
    m_contents.values = parsed->values;
    return true;
}

bool RegistryStoreKey::openWrite() {
    m_writable = false;
    m_dirty = false;
    m_replacesUnreadable = false;
    m_contents.values.clear();
    if (m_file.isEmpty())
        return false;
    if (!QDir().mkpath(QFileInfo(m_file).absolutePath()))
        return false;
    QFile f(m_file);
    if (f.exists()) {
        if (f.size() > MaxStoreSize) {
            m_replacesUnreadable = true;
        } else {
            // A file that cannot even be opened is someone else's business: leave it alone.
            if (!f.open(QIODevice::ReadOnly))
                return false;
            const auto parsed = RegistryText::parse(f.readAll());
            if (parsed)
                m_contents.values = parsed->values;
            else
                m_replacesUnreadable = true;
        }
    }
    m_writable = true;
    return true;
}

void RegistryStoreKey::setValue(const QString& name, const RegistryValue& v) {
    m_contents.set(name, v);
    m_dirty = true;
}

bool RegistryStoreKey::commit() {
    if (!m_writable)
        return false;
    if (!m_dirty)
        return true;
    if (m_replacesUnreadable) {
        const QString copy = m_file + QStringLiteral(".unreadable");
        QFile::remove(copy);
        QFile::copy(m_file, copy);
    }
    if (!writeFileAtomically(m_file, RegistryText::format(m_contents)))
        return false;
    m_dirty = false;
    m_replacesUnreadable = false;
    return true;
}

bool writeFileAtomically(const QString& file, const QByteArray& data) {
    QString target = file;
    const QFileInfo info(file);
    if (info.isSymLink())
        target = info.symLinkTarget();
    const QFileInfo targetInfo(target);
    const QString dir = targetInfo.absolutePath();

    mode_t mode = 0;
    struct stat st {};
    if (::stat(QFile::encodeName(target).constData(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }

    QByteArray tmp = QFile::encodeName(dir + QStringLiteral("/.") + targetInfo.fileName() +
                                       QStringLiteral(".XXXXXX"));
    const int fd = ::mkostemp(tmp.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, data) && ::fsync(fd) == 0;
    if (::close(fd) != 0)
        ok = false;
    if (ok)
        ok = ::rename(tmp.constData(), QFile::encodeName(target).constData()) == 0;
    if (!ok) {
        ::unlink(tmp.constData());
        return false;
    }
    // Make the rename itself durable.
    const int dirFd =
        ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd >= 0) {
        ::fsync(dirFd);
        ::close(dirFd);
    }
    return true;
}

} // namespace zorvan
