#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

namespace zorvan {

// One value of a store key, in one of the registry's forms.
struct RegistryValue {
    enum class Type {
        Dword,  // REG_DWORD: dword:xxxxxxxx
        String, // REG_SZ: "text", or hex(1): when the text holds control characters
        Binary, // REG_BINARY: hex:aa,bb,...
        Other,  // any other registry type, hex(N):..., kept as it is but read by no setting
    };
    Type type = Type::Dword;
    quint32 dword = 0;
    QString text;
    QByteArray bytes;
    int otherType = 0; // N of hex(N): for Type::Other

    static RegistryValue fromDword(quint32 v);
    static RegistryValue fromString(const QString& s);
    static RegistryValue fromBinary(const QByteArray& b);
    friend bool operator==(const RegistryValue& a, const RegistryValue& b);
};

// A stretch of a store file as it was read: a value (one line, or several joined by trailing
// backslashes), or a run of lines holding none (header, key, blanks, comments), or a run of
// lines that cannot be read.
struct RegistryLine {
    qsizetype begin = 0;     // bytes [begin, end) of RegistryKeyContents::data, line ends
    qsizetype end = 0;       // included: written back as they are while the value is unchanged
    qsizetype value = -1;    // index into RegistryKeyContents::values, or -1
    int number = 0;          // the file's line number of its first line, from 1
    bool unreadable = false; // RegistryText::forEachUnreadableLine says why
};

// The values of one key in file order, with every line of the file they came from, so that
// writing them back changes only the values set and drops nothing. Names match without regard
// to case, as the registry's do; a value keeps the spelling of its first line. Values are
// changed through set() only.
struct RegistryKeyContents {
    enum class Encoding { Utf8, Utf8Bom, Utf16LE, Utf16BE };

    QString keyPath; // as written between the brackets of the key line
    QList<std::pair<QString, RegistryValue>> values;
    QList<RegistryLine> lines;
    QByteArray data; // the file as read, which lines refer to
    Encoding encoding = Encoding::Utf8;
    QString lineEnd = QStringLiteral("\n"); // the file's first one; new lines get it too

    const RegistryValue* find(const QString& name) const;
    // Replaces a value where it stands, or appends a new one.
    void set(const QString& name, const RegistryValue& value);
    // A value read from the file (the last of one name wins); returns its index in values.
    qsizetype add(const QString& name, const RegistryValue& value);
    // Whether set() changed the value at index i since it was read.
    bool changed(qsizetype i) const { return i < m_changed.size() && m_changed[i]; }

private:
    QHash<QString, qsizetype> m_index; // case-folded name -> index in values
    QList<bool> m_changed;
};

// The text of a registry export, one value a line, readable and editable by a person:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\Software\Belmat\Quillmark\0\MainOptions]
//   "Port"=dword:00000001
//   "LastDocument"="/home/u/map.zorvan"
//   "Start"=hex:00,00,00,00,00,00,f0,3f
//
// Read as the registry would take it: every well-formed line is a value, and a line that
// cannot be read (kept in lines as it is) hides no other. Lenient forms are taken: any
// of LF, CR LF or CR as line ends, no final line end, blanks around '=', dwords of one to eight
// digits, UTF-8 with or without a byte-order mark and UTF-16 LE or BE with one. A text is
// written back in its own encoding and line ends, and a new one in UTF-8 with LF.
namespace RegistryText {
// Always holds a value: damage is confined to the lines it is in.
std::optional<RegistryKeyContents> parse(const QByteArray& data);
QByteArray format(const RegistryKeyContents& contents);
// Calls visit with the number (from 1) and the reason of each line parse could not read, in
// file order.
void forEachUnreadableLine(const RegistryKeyContents& contents,
                           const std::function<void(int line, const QString& reason)>& visit);
} // namespace RegistryText

// One key of the settings store: the file <config>/<path>.reg, where <path> is the key path
// below Software, one folder per key level. A key path may begin with a backslash, the hive
// name HKEY_LOCAL_MACHINE and Software; any of these is dropped. So
// \Software\Belmat\Quillmark\0\MainOptions is $XDG_CONFIG_HOME/Belmat/Quillmark/0/MainOptions.reg
// and a RegPath of Acme\Tool\Main is $XDG_CONFIG_HOME/Acme/Tool/Main.reg. A path with an empty
// level, "." or "..", or a level holding '/' names no key and cannot be opened.
class RegistryStoreKey {
public:
    explicit RegistryStoreKey(const QString& keyPath);
    ~RegistryStoreKey();
    RegistryStoreKey(const RegistryStoreKey&) = delete;
    RegistryStoreKey& operator=(const RegistryStoreKey&) = delete;

    static QString fileOfKey(const QString& keyPath); // empty when the path names no key

    // Read-only open: false when the path names no key, or its file is not a regular file,
    // is larger than 16 MiB or cannot be read; error() says why. A file that does not exist is
    // an empty key.
    bool openRead();
    // Open or create for writing: takes the key's lock (held until commit or destruction, so
    // that writers take turns) and reads the file as it is now, so that commit writes the
    // values set over what other writers left. False as openRead, or when the folder cannot
    // be made or locked.
    bool openWrite();

    const RegistryValue* value(const QString& name) const { return m_contents.find(name); }
    void setValue(const QString& name, const RegistryValue& v);

    // Writes the key when a value was set since opening, through writeFileAtomically (not past
    // the 16 MiB a read takes), and releases the lock. Returns true when written or when there
    // was nothing to write.
    bool commit();

    QString fileName() const { return m_file; }
    QString error() const { return m_error; }
    const RegistryKeyContents& contents() const { return m_contents; }

private:
    void unlock();

    QString m_file;
    QString m_keyPath; // for the key line of a new file
    RegistryKeyContents m_contents;
    QString m_error;
    int m_lockFd = -1;
    bool m_writable = false;
    bool m_dirty = false;
};

} // namespace zorvan
