#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
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

// The values of one key in file order. Names are matched exactly.
struct RegistryKeyContents {
    QString keyPath; // as written in the [HKEY_LOCAL_MACHINE\...] line, without the hive
    QList<std::pair<QString, RegistryValue>> values;

    const RegistryValue* find(const QString& name) const;
    // Replaces a value in place, or appends a new one.
    void set(const QString& name, const RegistryValue& value);
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
// Reading is strict, so that a damaged file is recognised rather than half loaded: every line
// must parse, the text must end with a line end (a file cut inside a line fails), dwords have
// exactly eight digits, and at most one key is named. UTF-8 (with or without a byte-order mark)
// and the UTF-16 of regedit's own exports are read; UTF-8 is written.
namespace RegistryText {
std::optional<RegistryKeyContents> parse(const QByteArray& data);
QByteArray format(const RegistryKeyContents& contents);
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

    static QString fileOfKey(const QString& keyPath); // empty when the path names no key

    // Read-only open: false when the path names no key or the file cannot be read or parsed.
    // A file that does not exist is an empty key.
    bool openRead();
    // Open or create for writing: false when the path names no key or its folder cannot be
    // made. The values already in the file are kept; an unreadable file is taken as empty
    // and replaced at commit (a copy is kept beside it as <file>.unreadable).
    bool openWrite();

    const RegistryValue* value(const QString& name) const { return m_contents.find(name); }
    void setValue(const QString& name, const RegistryValue& v);

    // Writes the key when a value was set since opening: a temporary file in the same folder,
    // fsync, rename. Returns true when written or when there was nothing to write.
    bool commit();

    QString fileName() const { return m_file; }

private:
    QString m_file;
    RegistryKeyContents m_contents;
    bool m_writable = false;
    bool m_dirty = false;
    bool m_replacesUnreadable = false;
};

// Writes data to file atomically: the old contents or the new, never a mixture. Follows a
// symbolic link to the file it names. Leaves no temporary file behind, also on failure.
bool writeFileAtomically(const QString& file, const QByteArray& data);

} // namespace zorvan
