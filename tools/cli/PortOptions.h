#pragma once

// The serial-line options shared by zorvanctl's device subcommands (raw, tags, upload,
// download, flash, poll): --port N|PATH, --baud CODE|RATE, --address A, --timeout MS, --trace.
// Their defaults are the program's communication settings.

#include "comm/ModbusTransport.h"
#include "comm/SerialPortDriver.h"

#include <QCommandLineParser>
#include <QString>
#include <optional>

namespace zorvan {
class TOptions;
}

namespace zorvanctl {

struct LinkOptions {
    quint8 port = 1;  // port number; 0 when portPath names the device
    QString portPath; // an explicit device path
    zorvan::TBaudRate baudRate = zorvan::TBaudRate::br9600;
    quint32 baudRateValue = 9600; // the rate; the one used when baudRate is brCustom
    quint8 address = 1;
    quint32 timeoutMs = 50;
    bool trace = false;

    // Port, rate and reply time-out onto the driver, as the program applies its options.
    void applyTo(zorvan::TSerialPortDriver& driver) const;
};

// The program's defaults: port 1, rate code 7 (9600), address 1, 50 ms.
LinkOptions builtInLinkOptions();
// The communication settings of the settings store (its values, or their defaults when
// the store has none).
LinkOptions storedLinkOptions(const zorvan::TOptions& options);
// Reads the settings store without writing anything back.
LinkOptions storedLinkOptions();

// Adds the five options to a parser.
void addLinkOptions(QCommandLineParser& parser);
// The defaults overridden by what the command line gives; nullopt with a one-line reason in
// *error for a value out of range.
std::optional<LinkOptions> readLinkOptions(const QCommandLineParser& parser,
                                           const LinkOptions& defaults, QString* error);
// The help text of the five options, for a subcommand's usage.
QString linkOptionsHelp();

// With `on`, every packet is printed on standard output as the traffic log shows it:
// "out " or "in " and the bytes as two upper-case hex digits and a space each. Replaces the
// transport's OnRequest.
void traceTransport(zorvan::TModbusTransport& transport, bool on);
// The trace line of one packet (without the line end).
QString traceLine(bool aOut, const zorvan::TRequest& request);

} // namespace zorvanctl
