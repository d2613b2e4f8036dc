// zorvanctl flash: has the device store its settings in flash memory, through the program's
// own connection module and command runner.

#include "Command.h"
#include "DeviceLink.h"

#include "device/Commands.h"

namespace {

using namespace zorvan;
using namespace zorvanctl;

QString usage() {
    return QStringLiteral("Usage: zorvanctl flash [options]\n"
                          "\n"
                          "Has the device store its current map and options in flash memory\n"
                          "(1 written to registers 8-9).\n") +
           deviceCommandHelp();
}

class FlashCommand : public TCustomCommand {
public:
    using TCustomCommand::TCustomCommand;

protected:
    bool DoExecute() override {
        Conn().Space1.setDeviceAddress(Conn().ZorvanSpace.DeviceAddress());
        return Conn().StoreToFlash();
    }
};

int run(const QStringList& args) {
    DeviceLink link(QStringLiteral("flash"));
    QCommandLineParser parser;
    if (!link.configure(parser, args))
        return exitUsage;
    if (!parser.positionalArguments().isEmpty())
        return link.usageError(QStringLiteral("flash takes no arguments"));
    FlashCommand command(&link.Conn());
    return command.Execute() ? exitDone : link.noCommunication();
}

static Registration reg({"flash", "have the device store its settings in flash", usage(), run});

} // namespace
