// zorvanctl raw: reads and writes holding registers through the program's own serial driver,
// transport and register space, so that what it sends is what the program sends.

#include "Command.h"
#include "PortOptions.h"

#include "comm/ModbusParameter.h"
#include "comm/ModbusSpace.h"
#include "comm/ModbusTransport.h"
#include "comm/SerialPortDriver.h"

#include <QCommandLineParser>
#include <memory>
#include <vector>

namespace {

using namespace zorvan;
using zorvanctl::err;
using zorvanctl::out;

constexpr int exitNoCommunication = 1;
constexpr int exitUsage = 2;
// The Modbus limits of one request (the frames could carry a little more).
constexpr int maxReadCount = 125;
constexpr int maxWriteCount = 123;

QString usage() {
    return QStringLiteral(
               "Usage: zorvanctl raw read ADDR COUNT [options]\n"
               "       zorvanctl raw write ADDR VALUE... [options]\n"
               "\n"
               "Reads COUNT holding registers from ADDR (function 3), or writes the VALUEs to\n"
               "consecutive registers from ADDR (function 16), in one request.\n"
               "ADDR 0..65535; COUNT 1..125; 1..123 VALUEs, each 0..65535 or -32768..-1.\n"
               "Numbers are decimal or hexadecimal with 0x. A read prints one line per\n"
               "register: address, value, value in hex.\n"
               "\n"
               "Options:\n") +
           zorvanctl::linkOptionsHelp() +
           QStringLiteral("\nExit status: 0 done, 1 no communication (port or device), 2 bad "
                          "arguments.\n");
}

int usageError(const QString& message) {
    err(QStringLiteral("zorvanctl raw: %1\nRun 'zorvanctl raw --help' for usage.\n").arg(message));
    return exitUsage;
}

// Negative values would be taken for options: they pass the parser with this sign instead.
constexpr char16_t minusSign = u'\u2212';

std::optional<qint64> number(const QString& text, qint64 min, qint64 max) {
    bool ok = false;
    const bool negative = text.startsWith(u'-');
    const QString digits = negative ? text.mid(1) : text;
    qint64 v = digits.startsWith("0x", Qt::CaseInsensitive) ? digits.mid(2).toLongLong(&ok, 16)
                                                            : digits.toLongLong(&ok, 10);
    if (negative)
        v = -v;
    if (!ok || v < min || v > max)
        return std::nullopt;
    return v;
}

int run(const QStringList& args) {
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    zorvanctl::addLinkOptions(parser);
    parser.addPositionalArgument("action", "read or write");
    QStringList argv{"raw"};
    for (const QString& a : args)
        argv << (a.size() > 1 && a[0] == u'-' && a[1].isDigit() ? QChar(minusSign) + a.mid(1) : a);
    if (!parser.parse(argv))
        return usageError(parser.errorText());
    QStringList pos = parser.positionalArguments();
    for (QString& a : pos)
        a.replace(QChar(minusSign), u'-');
    if (pos.isEmpty())
        return usageError("read or write expected");
    const QString action = pos[0];
    if (action != "read" && action != "write")
        return usageError(QStringLiteral("unknown action '%1'").arg(action));
    const bool write = action == "write";
    if (pos.size() < 3)
        return usageError(write ? "ADDR and at least one VALUE expected"
                                : "ADDR and COUNT expected");
    const auto first = number(pos[1], 0, 65535);
    if (!first)
        return usageError(QStringLiteral("register address out of range 0..65535: %1").arg(pos[1]));

    std::vector<quint16> values;
    int count = 0;
    if (write) {
        if (pos.size() - 2 > maxWriteCount)
            return usageError(QStringLiteral("at most %1 values").arg(maxWriteCount));
        for (const QString& text : pos.mid(2)) {
            const auto v = number(text, -32768, 65535);
            if (!v)
                return usageError(QStringLiteral("value out of range: %1").arg(text));
            values.push_back(quint16(*v & 0xFFFF));
        }
        count = int(values.size());
    } else {
        if (pos.size() > 3)
            return usageError("read takes ADDR and COUNT only");
        const auto n = number(pos[2], 1, maxReadCount);
        if (!n)
            return usageError(
                QStringLiteral("count out of range 1..%1: %2").arg(maxReadCount).arg(pos[2]));
        count = int(*n);
    }
    if (*first + count - 1 > 65535)
        return usageError("the registers run past address 65535");

    QString error;
    const auto link = zorvanctl::readLinkOptions(parser, zorvanctl::storedLinkOptions(), &error);
    if (!link)
        return usageError(error);

    TSerialPortDriver port;
    link->applyTo(port);
    port.SuspendPolling(); // every byte is left to the transport's reads
    TCOMPortTransport transport(&port);
    zorvanctl::traceTransport(transport, link->trace);
    TModbusSpace space;
    space.setModbusTransport(&transport);
    space.setDeviceAddress(link->address);
    space.setBaseAddress(quint16(*first));
    std::vector<std::unique_ptr<TModbusParameter>> params;
    for (int i = 0; i < count; ++i) {
        params.push_back(std::make_unique<TModbusParameter>());
        params.back()->setIndex(quint16(i));
        params.back()->setModbusSpace(&space);
    }

    if (!port.OpenPort()) {
        err(QStringLiteral("zorvanctl raw: cannot open the serial port %1\n").arg(port.PortName()));
        return exitNoCommunication;
    }
    bool ok;
    if (write) {
        // The whole block in one function 16 request, whatever the image held.
        space.setSingleWriteMode(false);
        space.setWriteIAC(true);
        for (int i = 0; i < count; ++i)
            params[std::size_t(i)]->Data()->setAsWord(values[std::size_t(i)]);
        ok = space.FlushWithRetries();
    } else {
        space.setReadDue(true);
        ok = space.RefreshWithRetries();
    }
    port.ClosePort();
    if (!ok) {
        err(QStringLiteral("zorvanctl raw: no valid reply from device %1 on %2 within %3 ms\n")
                .arg(link->address)
                .arg(port.PortName())
                .arg(link->timeoutMs));
        return exitNoCommunication;
    }
    if (!write) {
        QString text;
        for (const auto& p : params) {
            const quint16 v = p->Data()->AsWord();
            text += QStringLiteral("%1\t%2\t0x%3\n")
                        .arg(p->RegisterAddress())
                        .arg(v)
                        .arg(QString::number(v, 16).rightJustified(4, u'0').toUpper());
        }
        out(text);
    }
    return 0;
}

static zorvanctl::Registration reg({"raw", "read or write holding registers", usage(), run});

} // namespace
