// zorvanctl upload: writes a channel map file into the device as its current map and has the
// device store it in flash, with the program's own upload command.

#include "Command.h"
#include "DeviceLink.h"

#include "components/XMLOptionsSerializer.h"
#include "device/Commands.h"
#include "document/CnlImage.h"
#include "document/Document.h"

namespace {

using namespace zorvan;
using namespace zorvanctl;

QString usage() {
    return QStringLiteral(
               "Usage: zorvanctl upload FILE [options]\n"
               "\n"
               "Writes the channel map of FILE (a .zorvan document) into the device as its\n"
               "current map, then has the device store it in flash memory. When the device\n"
               "refuses an entry (an incorrect tag, or its map is full) its message is shown\n"
               "and nothing is stored.\n") +
           deviceCommandHelp();
}

int run(const QStringList& args) {
    DeviceLink link(QStringLiteral("upload"));
    QCommandLineParser parser;
    if (!link.configure(parser, args))
        return exitUsage;
    if (parser.positionalArguments().size() != 1)
        return link.usageError(QStringLiteral("upload takes one FILE"));

    TChannelImage image;
    TXMLOptionsSerializer serializer;
    ConfigureDocumentSerializer(serializer);
    serializer.Root = &image;
    serializer.XMLFilePath = parser.positionalArguments().at(0);
    if (!serializer.Load()) {
        err(QStringLiteral("zorvanctl upload: %1: %2\n")
                .arg(serializer.XMLFilePath, serializer.LastReadError().Describe()));
        return exitUsage;
    }

    TUploadCurrMapCmd command(&link.Conn());
    command.setTarget(&image);
    if (!command.Execute() || command.FlashFailed())
        return link.noCommunication();
    return command.DeviceError() != 0 ? exitRefused : exitDone;
}

static Registration reg({"upload", "write a map file into the device and store it in flash",
                         usage(), run});

} // namespace
