// zorvanctl map: show and edit channel map files through the program's own serializer, so
// that what it writes is the program's file format.

#include "Command.h"

#include "components/AtomicFile.h"
#include "components/XMLOptionsSerializer.h"
#include "document/ChannelMapText.h"
#include "document/CnlImage.h"
#include "document/Document.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <limits>
#include <optional>

namespace {

using namespace zorvan;
using zorvanctl::err;
using zorvanctl::out;

constexpr int exitFailure = 1; // the file could not be written
constexpr int exitUsage = 2;   // bad arguments, or a file that cannot be read

const char* const usageText =
    "Usage: zorvanctl map show FILE\n"
    "       zorvanctl map new FILE [--force]\n"
    "       zorvanctl map add FILE --channel N --type TYPE --tag-index I --name TEXT\n"
    "                             [--note TEXT] [--at POS] [--force]\n"
    "       zorvanctl map options FILE N [--force]\n"
    "\n"
    "Shows and edits channel map documents (.zorvan files).\n"
    "\n"
    "  show     BaseAdr, Options with its byte-order label, then one tab-separated row per\n"
    "           channel: Offset, Type, Channel, Name, Note, TagIndex. Channel is shown as\n"
    "           the editor shows it: the device's channel number plus one.\n"
    "  new      writes an empty map (refuses to replace an existing file unless --force).\n"
    "  add and options refuse a read-only FILE unless --force.\n"
    "  add      appends a channel (or inserts it at 0-based position POS).\n"
    "           --channel N   the tag's channel number on the device, stored as given\n"
    "           --type TYPE   Int, UInt, Long, ULong, Float or a numeric type code\n"
    "           --tag-index I the tag's position in the device's tag list\n"
    "  options  sets the byte-order option N (0 to 7 name the entries below).\n"
    "\n"
    "Byte-order options:\n";

QString usage() {
    QString text = QString::fromLatin1(usageText);
    for (int i = 0; i < ByteOrderLabels().size(); ++i)
        text += QStringLiteral("  %1  %2\n").arg(i).arg(ByteOrderLabels().at(i));
    text += QStringLiteral(
        "\nExit status: 0 done, 1 the file could not be written, 2 bad arguments or a file\n"
        "that cannot be read (a broken file is never taken for an empty map).\n");
    return text;
}

int usageError(const QString& message) {
    err(QStringLiteral("zorvanctl map: %1\nRun 'zorvanctl map --help' for usage.\n").arg(message));
    return exitUsage;
}

// Checked before the file is read, as the refusal of an existing file is.
int refuseReadOnly(const QString& path) {
    err(QStringLiteral("zorvanctl map: %1 is read-only; use --force to replace it\n").arg(path));
    return exitFailure;
}

std::optional<qint64> parseNumber(const QString& text, qint64 low, qint64 high) {
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok || value < low || value > high || text.trimmed() != text)
        return std::nullopt;
    return value;
}

// A map read from a file, or the reason it could not be.
class MapFile {
public:
    MapFile(const QString& path, bool force) {
        ConfigureDocumentSerializer(m_serializer);
        m_serializer.ReplaceReadOnly = force;
        m_serializer.Root = &m_image;
        m_serializer.XMLFilePath = path;
    }

    TChannelImage& Image() { return m_image; }

    // True when the whole file was read; otherwise says why on standard error.
    bool Load() {
        if (m_serializer.Load())
            return true;
        err(QStringLiteral("zorvanctl map: %1: %2\n")
                .arg(m_serializer.XMLFilePath, m_serializer.LastReadError().Describe()));
        return false;
    }

    bool Save() {
        if (m_serializer.Save())
            return true;
        err(QStringLiteral("zorvanctl map: cannot save %1: %2\n")
                .arg(m_serializer.XMLFilePath, m_serializer.LastSaveError()));
        return false;
    }

private:
    TChannelImage m_image;
    TXMLOptionsSerializer m_serializer;
};

int show(const QStringList& args) {
    if (args.size() != 1)
        return usageError(QStringLiteral("show takes one FILE"));
    MapFile file(args.at(0), false);
    if (!file.Load())
        return exitUsage;
    out(ChannelMapReport(file.Image()));
    return 0;
}

int makeNew(const QStringList& args) {
    QCommandLineParser parser;
    parser.addOption({QStringLiteral("force"), QStringLiteral("replace an existing file")});
    if (!parser.parse(QStringList{QStringLiteral("new")} + args))
        return usageError(parser.errorText());
    if (parser.positionalArguments().size() != 1)
        return usageError(QStringLiteral("new takes one FILE"));
    const QString path = parser.positionalArguments().at(0);
    if (QFileInfo::exists(path) && !parser.isSet(QStringLiteral("force")))
        return usageError(QStringLiteral("%1 exists; use --force to replace it").arg(path));
    MapFile file(path, parser.isSet(QStringLiteral("force")));
    return file.Save() ? 0 : exitFailure;
}

int add(const QStringList& args) {
    QCommandLineParser parser;
    const QCommandLineOption channel(QStringLiteral("channel"), QStringLiteral("channel"),
                                     QStringLiteral("N"));
    const QCommandLineOption type(QStringLiteral("type"), QStringLiteral("type"),
                                  QStringLiteral("TYPE"));
    const QCommandLineOption tagIndex(QStringLiteral("tag-index"), QStringLiteral("tag index"),
                                      QStringLiteral("I"));
    const QCommandLineOption name(QStringLiteral("name"), QStringLiteral("name"),
                                  QStringLiteral("TEXT"));
    const QCommandLineOption note(QStringLiteral("note"), QStringLiteral("note"),
                                  QStringLiteral("TEXT"));
    const QCommandLineOption at(QStringLiteral("at"), QStringLiteral("position"),
                                QStringLiteral("POS"));
    const QCommandLineOption force(QStringLiteral("force"),
                                   QStringLiteral("replace a read-only file"));
    parser.addOptions({channel, type, tagIndex, name, note, at, force});
    if (!parser.parse(QStringList{QStringLiteral("add")} + args))
        return usageError(parser.errorText());
    if (parser.positionalArguments().size() != 1)
        return usageError(QStringLiteral("add takes one FILE"));
    for (const auto* required : {&channel, &type, &tagIndex, &name})
        if (!parser.isSet(*required))
            return usageError(QStringLiteral("add needs --%1").arg(required->names().constFirst()));

    constexpr qint64 lowest = std::numeric_limits<qint32>::min();
    constexpr qint64 highest = std::numeric_limits<qint32>::max();
    const auto channelNumber = parseNumber(parser.value(channel), lowest, highest);
    if (!channelNumber)
        return usageError(QStringLiteral("--channel wants a 32-bit integer, not '%1'")
                              .arg(parser.value(channel)));
    const auto typeCode = ParamTypeFromText(parser.value(type));
    if (!typeCode)
        return usageError(QStringLiteral("--type wants Int, UInt, Long, ULong, Float or a code, "
                                         "not '%1'")
                              .arg(parser.value(type)));
    const auto index = parseNumber(parser.value(tagIndex), lowest, highest);
    if (!index)
        return usageError(QStringLiteral("--tag-index wants a 32-bit integer, not '%1'")
                              .arg(parser.value(tagIndex)));

    const QString path = parser.positionalArguments().at(0);
    if (isWriteProtected(path) && !parser.isSet(force))
        return refuseReadOnly(path);
    MapFile file(path, parser.isSet(force));
    if (!file.Load())
        return exitUsage;
    TChannelList& map = *file.Image().Map();
    int position = map.Count();
    if (parser.isSet(at)) {
        const auto pos = parseNumber(parser.value(at), 0, map.Count());
        if (!pos)
            return usageError(QStringLiteral("--at wants a position from 0 to %1, not '%2'")
                                  .arg(map.Count())
                                  .arg(parser.value(at)));
        position = static_cast<int>(*pos);
    }
    TChannelItem* item = map.Insert(position);
    item->Channel = static_cast<int>(*channelNumber);
    item->ParamType = *typeCode;
    item->TagIndex = static_cast<int>(*index);
    item->TagName = parser.value(name);
    item->Note = parser.value(note);
    return file.Save() ? 0 : exitFailure;
}

int options(QStringList args) {
    // Taken out by hand: a parser would read a negative N as an option.
    const bool force = args.removeAll(QStringLiteral("--force")) > 0;
    if (args.size() != 2)
        return usageError(QStringLiteral("options takes FILE and N"));
    const auto value = parseNumber(args.at(1), 0, std::numeric_limits<quint32>::max());
    if (!value)
        return usageError(QStringLiteral("options wants a number from 0 to 4294967295, not '%1'")
                              .arg(args.at(1)));
    if (isWriteProtected(args.at(0)) && !force)
        return refuseReadOnly(args.at(0));
    MapFile file(args.at(0), force);
    if (!file.Load())
        return exitUsage;
    file.Image().Options = static_cast<quint32>(*value);
    if (*value >= static_cast<qint64>(ByteOrderLabels().size()))
        err(QStringLiteral("zorvanctl map: note: option %1 names no byte order\n").arg(*value));
    return file.Save() ? 0 : exitFailure;
}

int run(const QStringList& args) {
    if (args.isEmpty())
        return usageError(QStringLiteral("missing subcommand (show, new, add, options)"));
    const QString sub = args.at(0);
    const QStringList rest = args.mid(1);
    if (sub == u"show")
        return show(rest);
    if (sub == u"new")
        return makeNew(rest);
    if (sub == u"add")
        return add(rest);
    if (sub == u"options")
        return options(rest);
    return usageError(QStringLiteral("unknown subcommand '%1'").arg(sub));
}

zorvanctl::Registration reg({QStringLiteral("map"),
                             QStringLiteral("show and edit channel map files (.zorvan)"), usage(),
                             run});

} // namespace
