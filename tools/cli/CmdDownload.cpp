// zorvanctl download: reads the device's current map into a channel map file with the
// program's own download command.

#include "Command.h"
#include "DeviceLink.h"

#include "components/XMLOptionsSerializer.h"
#include "device/Commands.h"
#include "document/CnlImage.h"
#include "document/Document.h"

#include <QFileInfo>

namespace {

using namespace zorvan;
using namespace zorvanctl;

QString usage() {
    return QStringLiteral(
               "Usage: zorvanctl download FILE [--force] [options]\n"
               "\n"
               "Reads the device's current map and its options and writes them to FILE as a\n"
               ".zorvan document (base address 16384, empty notes). An existing FILE is\n"
               "replaced only with --force (a read-only one too). A device whose map is empty\n"
               "gives an empty map.\n"
               "Nothing is written when the read fails.\n") +
           deviceCommandHelp();
}

int run(const QStringList& args) {
    DeviceLink link(QStringLiteral("download"));
    QCommandLineParser parser;
    const QCommandLineOption force(QStringLiteral("force"),
                                   QStringLiteral("replace an existing file"));
    parser.addOption(force);
    if (!link.configure(parser, args))
        return exitUsage;
    if (parser.positionalArguments().size() != 1)
        return link.usageError(QStringLiteral("download takes one FILE"));
    const QString path = parser.positionalArguments().at(0);
    // Checked before talking to the device, so that a refusal costs no exchange.
    if (QFileInfo::exists(path) && !parser.isSet(force))
        return link.usageError(QStringLiteral("%1 exists; use --force to replace it").arg(path));

    TChannelImage image;
    TDownloadCurrMapCmd command(&link.Conn());
    command.setTarget(&image);
    // The command fails on an empty device map although every exchange went through; the
    // file then holds what the device has: no entries, the device's options.
    if (!command.Execute() && command.DeviceCount() != 0)
        return link.noCommunication();

    TXMLOptionsSerializer serializer;
    ConfigureDocumentSerializer(serializer);
    serializer.Root = &image;
    serializer.XMLFilePath = path;
    serializer.ReplaceReadOnly = parser.isSet(force);
    if (!serializer.Save()) {
        err(QStringLiteral("zorvanctl download: cannot save %1: %2\n")
                .arg(path, serializer.LastSaveError()));
        return exitUsage;
    }
    return exitDone;
}

static Registration reg({"download", "read the device's current map into a map file", usage(),
                         run});

} // namespace
