#include "PortOptions.h"

#include "Command.h"

#include "execution/TrafficLog.h"
#include "settings/AppOptions.h"

namespace zorvanctl {

using namespace zorvan;

namespace {

// A number in decimal or with 0x in hex, within [min, max].
std::optional<qint64> number(const QString& text, qint64 min, qint64 max) {
    bool ok = false;
    const qint64 v = text.startsWith("0x", Qt::CaseInsensitive) ? text.mid(2).toLongLong(&ok, 16)
                                                                : text.toLongLong(&ok, 10);
    if (!ok || v < min || v > max)
        return std::nullopt;
    return v;
}

void setRate(LinkOptions& o, quint32 codeOrRate) {
    if (codeOrRate <= 15) {
        o.baudRate = TBaudRate(codeOrRate);
        o.baudRateValue = BaudRateBits(o.baudRate);
        return;
    }
    o.baudRate = TBaudRate::brCustom;
    o.baudRateValue = codeOrRate;
    for (int code = 1; code <= 15; ++code)
        if (BaudRateBits(TBaudRate(code)) == codeOrRate)
            o.baudRate = TBaudRate(code);
}

} // namespace

void LinkOptions::applyTo(TSerialPortDriver& driver) const {
    if (port != 0)
        driver.setPort(port);
    else
        driver.setPortName(portPath);
    if (baudRate != TBaudRate::brCustom)
        driver.setBaudRate(baudRate);
    else
        driver.setBaudRateValue(baudRateValue);
    driver.setInputTimeout(timeoutMs);
}

LinkOptions builtInLinkOptions() {
    return LinkOptions{};
}

LinkOptions storedLinkOptions(const TOptions& options) {
    LinkOptions o;
    o.port = quint8(options.Port->Value() & 0xFF);
    if (o.port == 0)
        o.port = 1;
    setRate(o, quint32(options.Rate->Value() & 0xFF));
    if (o.baudRate == TBaudRate::brCustom) // a code outside the table
        setRate(o, 7);
    o.address = quint8(options.regDeviceAddress->Value() & 0xFF);
    o.timeoutMs = quint32(std::max(options.regprmRxTimeout->Value(), 0));
    return o;
}

LinkOptions storedLinkOptions() {
    TOptions options;
    options.setSaveOnDestroy(false);
    return storedLinkOptions(options);
}

void addLinkOptions(QCommandLineParser& parser) {
    parser.addOption({"port", "Port number (1..255) or device path.", "N|PATH"});
    parser.addOption({"baud", "Rate code (1..15) or bits per second.", "CODE|RATE"});
    parser.addOption({"address", "Slave address (1..255).", "A"});
    parser.addOption({"timeout", "Reply time-out in milliseconds.", "MS"});
    parser.addOption({"trace", "Print every packet."});
}

QString linkOptionsHelp() {
    return QStringLiteral(
        "  --port N|PATH     port number 1..255 (the link ports/COMN in the settings folder,\n"
        "                    else /dev/ttyS<N-1>) or a device path\n"
        "  --baud CODE|RATE  rate code 1..15 (7 = 9600) or bits per second\n"
        "  --address A       slave address 1..255\n"
        "  --timeout MS      reply time-out: silence after the last byte, 0..600000 ms\n"
        "  --trace           print each packet: 'out ' or 'in ' and its bytes in hex\n"
        "The defaults are the program's communication settings.\n");
}

std::optional<LinkOptions> readLinkOptions(const QCommandLineParser& parser,
                                           const LinkOptions& defaults, QString* error) {
    LinkOptions o = defaults;
    auto bad = [error](const QString& text) {
        if (error)
            *error = text;
        return std::nullopt;
    };
    if (parser.isSet("port")) {
        const QString v = parser.value("port");
        if (!v.isEmpty() && std::all_of(v.begin(), v.end(), [](QChar c) { return c.isDigit(); })) {
            const auto n = number(v, 1, 255);
            if (!n)
                return bad(QStringLiteral("port number out of range 1..255: %1").arg(v));
            o.port = quint8(*n);
            o.portPath.clear();
        } else if (v.isEmpty()) {
            return bad(QStringLiteral("empty port"));
        } else {
            o.port = 0;
            o.portPath = v;
        }
    }
    if (parser.isSet("baud")) {
        const auto n = number(parser.value("baud"), 1, 100000000);
        if (!n || (*n > 15 && *n < 50))
            return bad(QStringLiteral("bad rate: %1").arg(parser.value("baud")));
        setRate(o, quint32(*n));
    }
    if (parser.isSet("address")) {
        const auto n = number(parser.value("address"), 1, 255);
        if (!n)
            return bad(QStringLiteral("slave address out of range 1..255: %1")
                           .arg(parser.value("address")));
        o.address = quint8(*n);
    }
    if (parser.isSet("timeout")) {
        const auto n = number(parser.value("timeout"), 0, 600000);
        if (!n)
            return bad(
                QStringLiteral("time-out out of range 0..600000: %1").arg(parser.value("timeout")));
        o.timeoutMs = quint32(*n);
    }
    o.trace = parser.isSet("trace");
    return o;
}

QString traceLine(bool aOut, const TRequest& request) {
    const QByteArrayView bytes(request.Data.data(), request.Length);
    return (aOut ? QStringLiteral("out ") : QStringLiteral("in ")) + formatPackage(bytes);
}

void traceTransport(TModbusTransport& transport, bool on) {
    if (!on) {
        transport.OnRequest = nullptr;
        return;
    }
    transport.OnRequest = [](bool aOut, const TRequest& request) {
        out(traceLine(aOut, request) + QLatin1Char('\n'));
    };
}

} // namespace zorvanctl
