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
#include <optional>
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

// An exit status when the command ends early; nothing when it goes on.
using EarlyExit = std::optional<int>;

// One read or write of consecutive holding registers.
struct RawRequest {
    bool write = false;
    quint16 first = 0;
    int count = 0;
    std::vector<quint16> values; // a write's, count of them
};

// Parses args with the link options; the positional arguments, or nothing after a usage
// message.
std::optional<QStringList> parseArguments(QCommandLineParser& parser, const QStringList& args) {
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    zorvanctl::addLinkOptions(parser);
    parser.addPositionalArgument("action", "read or write");
    QStringList argv{"raw"};
    for (const QString& a : args)
        argv << (a.size() > 1 && a[0] == u'-' && a[1].isDigit() ? QChar(minusSign) + a.mid(1) : a);
    if (!parser.parse(argv)) {
        usageError(parser.errorText());
        return std::nullopt;
    }
    QStringList pos = parser.positionalArguments();
    for (QString& a : pos)
        a.replace(QChar(minusSign), u'-');
    return pos;
}

EarlyExit readValues(const QStringList& pos, RawRequest& request) {
    if (pos.size() - 2 > maxWriteCount)
        return usageError(QStringLiteral("at most %1 values").arg(maxWriteCount));
    for (const QString& text : pos.mid(2)) {
        const auto v = number(text, -32768, 65535);
        if (!v)
            return usageError(QStringLiteral("value out of range: %1").arg(text));
        request.values.push_back(quint16(*v & 0xFFFF));
    }
    request.count = int(request.values.size());
    return std::nullopt;
}

EarlyExit readCount(const QStringList& pos, RawRequest& request) {
    if (pos.size() > 3)
        return usageError("read takes ADDR and COUNT only");
    const auto n = number(pos[2], 1, maxReadCount);
    if (!n)
        return usageError(
            QStringLiteral("count out of range 1..%1: %2").arg(maxReadCount).arg(pos[2]));
    request.count = int(*n);
    return std::nullopt;
}

// The action and its numbers from the positional arguments.
EarlyExit readRequest(const QStringList& pos, RawRequest& request) {
    if (pos.isEmpty())
        return usageError("read or write expected");
    const QString action = pos[0];
    if (action != "read" && action != "write")
        return usageError(QStringLiteral("unknown action '%1'").arg(action));
    request.write = action == "write";
    if (pos.size() < 3)
        return usageError(request.write ? "ADDR and at least one VALUE expected"
                                        : "ADDR and COUNT expected");
    const auto first = number(pos[1], 0, 65535);
    if (!first)
        return usageError(QStringLiteral("register address out of range 0..65535: %1").arg(pos[1]));
    request.first = quint16(*first);
    if (const EarlyExit exit = request.write ? readValues(pos, request) : readCount(pos, request))
        return exit;
    if (request.first + request.count - 1 > 65535)
        return usageError("the registers run past address 65535");
    return std::nullopt;
}

// The program's port, transport and one register space over the requested block.
class RegisterBlock {
public:
    RegisterBlock(const zorvanctl::LinkOptions& link, const RawRequest& request)
        : m_transport(&m_port) {
        link.applyTo(m_port);
        m_port.SuspendPolling(); // every byte is left to the transport's reads
        zorvanctl::traceTransport(m_transport, link.trace);
        m_space.setModbusTransport(&m_transport);
        m_space.setDeviceAddress(link.address);
        m_space.setBaseAddress(request.first);
        for (int i = 0; i < request.count; ++i) {
            m_params.push_back(std::make_unique<TModbusParameter>());
            m_params.back()->setIndex(quint16(i));
            m_params.back()->setModbusSpace(&m_space);
        }
    }
    RegisterBlock(const RegisterBlock&) = delete;
    RegisterBlock& operator=(const RegisterBlock&) = delete;

    TSerialPortDriver& port() { return m_port; }
    // Why the last exchange failed.
    QString failure() const { return ExchangeFailureText(m_transport.LastStatus()); }

    // One request with the space's retries; true when the device answered it.
    bool exchange(const RawRequest& request) {
        if (!request.write) {
            m_space.setReadDue(true);
            return m_space.RefreshWithRetries();
        }
        // The whole block in one function 16 request, whatever the image held.
        m_space.setSingleWriteMode(false);
        m_space.setWriteIAC(true);
        for (std::size_t i = 0; i < m_params.size(); ++i)
            m_params[i]->Data()->setAsWord(request.values[i]);
        return m_space.FlushWithRetries();
    }

    // One line per register: address, value, value in hex.
    QString table() const {
        QString text;
        for (const auto& p : m_params) {
            const quint16 v = p->Data()->AsWord();
            text += QStringLiteral("%1\t%2\t0x%3\n")
                        .arg(p->RegisterAddress())
                        .arg(v)
                        .arg(QString::number(v, 16).rightJustified(4, u'0').toUpper());
        }
        return text;
    }

private:
    TSerialPortDriver m_port;
    TCOMPortTransport m_transport;
    TModbusSpace m_space;
    std::vector<std::unique_ptr<TModbusParameter>> m_params;
};

int run(const QStringList& args) {
    QCommandLineParser parser;
    const std::optional<QStringList> pos = parseArguments(parser, args);
    if (!pos)
        return exitUsage;
    RawRequest request;
    if (const EarlyExit exit = readRequest(*pos, request))
        return *exit;
    QString error;
    const auto link = zorvanctl::readLinkOptions(parser, zorvanctl::storedLinkOptions(), &error);
    if (!link)
        return usageError(error);

    RegisterBlock block(*link, request);
    TSerialPortDriver& port = block.port();
    if (!port.OpenPort()) {
        err(QStringLiteral("zorvanctl raw: cannot open the serial port %1\n")
                .arg(port.OpenError()));
        return exitNoCommunication;
    }
    const bool ok = block.exchange(request);
    port.ClosePort();
    if (!ok) {
        err(QStringLiteral("zorvanctl raw: no valid reply from device %1 on %2 within %3 ms: %4\n")
                .arg(link->address)
                .arg(port.PortName())
                .arg(link->timeoutMs)
                .arg(block.failure()));
        return exitNoCommunication;
    }
    if (!request.write)
        out(block.table());
    return 0;
}

static zorvanctl::Registration reg({"raw", "read or write holding registers", usage(), run});

} // namespace
