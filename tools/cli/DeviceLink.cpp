#include "DeviceLink.h"

#include "Command.h"
#include "PortOptions.h"

namespace zorvanctl {

using namespace zorvan;

DeviceLink::DeviceLink(const QString& name) : m_name(name), m_conn(m_options) {
    m_options.setSaveOnDestroy(false);
}

bool DeviceLink::configure(QCommandLineParser& parser, const QStringList& args) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    addLinkOptions(parser);
    if (!parser.parse(QStringList{m_name} + args)) {
        usageError(parser.errorText());
        return false;
    }
    QString error;
    const auto link = readLinkOptions(parser, storedLinkOptions(m_options), &error);
    if (!link) {
        usageError(error);
        return false;
    }
    link->applyTo(m_conn.PortDrv);
    m_conn.ZorvanSpace.setDeviceAddress(link->address);
    m_conn.ZorvanSpaceAdd.setDeviceAddress(link->address);
    // Space1 follows ZorvanSpace, as the program's callers set it before using it.
    m_conn.Space1.setDeviceAddress(link->address);
    traceTransport(m_conn.Transport, link->trace);
    return true;
}

int DeviceLink::noCommunication() {
    err(QStringLiteral("No communication with the device\n"));
    // Why, when an exchange was tried: the port that did not open has its own message.
    const QString why = ExchangeFailureText(m_conn.Transport.LastStatus());
    if (!why.isEmpty() && m_conn.Transport.LastStatus().Failure != TExchangeFailure::efPortClosed)
        err(QStringLiteral("zorvanctl %1: %2\n").arg(m_name, why));
    return exitNoCommunication;
}

int DeviceLink::usageError(const QString& message) {
    err(QStringLiteral("zorvanctl %1: %2\nRun 'zorvanctl %1 --help' for usage.\n")
            .arg(m_name, message));
    return exitUsage;
}

QString deviceCommandHelp() {
    return QStringLiteral("\nOptions:\n") + linkOptionsHelp() +
           QStringLiteral(
               "\nMessages are the program's own, on standard error.\n"
               "Exit status: 0 done, 1 no communication with the device (the port did not\n"
               "open, or an exchange failed), 2 bad arguments or a file that cannot be read or\n"
               "written, 3 the device refused the map.\n");
}

} // namespace zorvanctl
