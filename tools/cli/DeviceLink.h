#pragma once

// What zorvanctl's device subcommands (tags, upload, download, flash) share: the settings, the
// program's device connection module on the line the options name, the prompter that prints
// the program's messages on standard error, and the exit statuses.

#include "CliPrompter.h"

#include "device/ModbusMap.h"
#include "settings/AppOptions.h"

#include <QCommandLineParser>
#include <QString>
#include <QStringList>

namespace zorvanctl {

constexpr int exitDone = 0;
constexpr int exitNoCommunication = 1; // port or device
constexpr int exitUsage = 2;           // bad arguments, or a file that cannot be read or written
constexpr int exitRefused = 3;         // the device refused the map

class DeviceLink {
public:
    // name: the subcommand, for messages.
    explicit DeviceLink(const QString& name);
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;

    // Parses the arguments with the link options (and whatever the caller added to parser)
    // and puts the line settings and the device address onto the connection. False after a
    // usage message on standard error.
    bool configure(QCommandLineParser& parser, const QStringList& args);

    zorvan::TModbusMapConn& Conn() { return m_conn; }

    // "No communication with the device" on standard error; the status to exit with.
    int noCommunication();
    int usageError(const QString& message);

private:
    QString m_name;
    CliPrompter m_prompter;
    zorvan::TOptions m_options;
    zorvan::TModbusMapConn m_conn;
};

// The help text that ends every device subcommand's usage.
QString deviceCommandHelp();

} // namespace zorvanctl
