#include "Options.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <cstdio>
#include <random>

namespace zorvan::devsim {

namespace {

void printError(const QString& text) {
    std::fprintf(stderr, "zorvan-devsim: %s\n", text.toUtf8().constData());
}

const char* description =
    R"(Simulates the device on a pseudo-terminal: a Modbus RTU slave (libmodbus) with
the device's tag catalogue, map-control registers 12288-12303, save-to-flash
registers 8-9 and the current map's value block from 16384. The first line of
standard output is "zorvan-devsim: slave A on /dev/pts/N"; open that path (or
port COMn with --com n) as the device's serial port. Runs until SIGINT,
SIGTERM or SIGHUP.

Registers: writing TagIndex (12289) shows that catalogue tag in Channel,
TagType and the name registers (Error 12291 = 1 past the end). Action (12290):
1 begins a map upload, 2 clears the current map, 3 appends the tag at TagIndex
(Error 1: no such tag, 2: map full), 4 ends the upload; it reads back as 0.
ZorvanOptions (12292-12293) are the map's byte orders (bits 0-1: 32-bit order,
bit 2: 16-bit order). prmCurrMapTagCount (12302) is the map's size; writing
prmCurrMapTagIndex (12303) shows that map entry. The value block holds one
register per Int/UInt entry and two per Long/ULong/Float entry, moving as ramps,
sine waves and counters; a write holds an entry at the written value until the
next write. Writing 1 to SaveToFlash (8-9) stores map and options in the flash
file. Other registers and functions other than 3, 6 and 16 get Modbus
exceptions.

Faults act on the replies only (the request is always carried out). Every
request addressed to this slave counts, the first one being number 1.

Exit status: 0 after SIGINT, SIGTERM or SIGHUP; 1 when the pseudo-terminal or
the port link cannot be set up; 2 for bad options or a bad catalogue file.)";

bool parseRate(const QCommandLineParser& parser, const QString& name, double* rate) {
    if (!parser.isSet(name)) {
        return true;
    }
    bool ok = false;
    const double value = parser.value(name).toDouble(&ok);
    if (!ok || value < 0.0 || value > 1.0) {
        printError(QStringLiteral("--%1 must be a number from 0 to 1").arg(name));
        return false;
    }
    *rate = value;
    return true;
}

bool parseInt(const QCommandLineParser& parser, const QString& name, int low, int high,
              int* result) {
    if (!parser.isSet(name)) {
        return true;
    }
    bool ok = false;
    const int value = parser.value(name).toInt(&ok);
    if (!ok || value < low || value > high) {
        printError(QStringLiteral("--%1 must be a whole number from %2 to %3")
                       .arg(name)
                       .arg(low)
                       .arg(high));
        return false;
    }
    *result = value;
    return true;
}

} // namespace

ParseResult parseOptions(const QStringList& arguments, Options* options) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QString::fromUtf8(description));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    parser.addOption(help);
    parser.addOptions({
        {QStringLiteral("address"),
         QStringLiteral("Slave address the device answers to, 1-247 (default 1). Requests for "
                        "other addresses get no reply."),
         QStringLiteral("A")},
        {QStringLiteral("com"),
         QStringLiteral("Link ports/COMn in the settings folder ($XDG_CONFIG_HOME/Belmat/"
                        "Quillmark, ~/.config when unset) to the pseudo-terminal, so that the "
                        "program finds the device as port n; the link is removed at exit."),
         QStringLiteral("n")},
        {QStringLiteral("catalogue"),
         QStringLiteral("Tag catalogue file instead of the built-in demo catalogue (30 tags): "
                        "UTF-8 text, one \"channel type name\" a line (type 0 Int, 1 UInt, 2 "
                        "Long, 3 ULong, 4 Float; the name is the rest of the line, at most 12 "
                        "Windows-1251 characters; other type codes are served as they are but take "
                        "no value register), '#' starts a comment."),
         QStringLiteral("FILE")},
        {QStringLiteral("flash"),
         QStringLiteral("Flash memory file: the current map and options are read from it at "
                        "start-up and written to it when SaveToFlash is set to 1. Without it "
                        "the map lives in memory only."),
         QStringLiteral("FILE")},
        {QStringLiteral("capacity"),
         QStringLiteral("Entries the current map can hold (default 64); appending past it "
                        "gives Error 2."),
         QStringLiteral("N")},
        {QStringLiteral("drop-rate"),
         QStringLiteral("Share of replies not sent at all, 0-1 (the host times out)."),
         QStringLiteral("R")},
        {QStringLiteral("corrupt-rate"),
         QStringLiteral("Share of replies sent with a wrong checksum, 0-1."), QStringLiteral("R")},
        {QStringLiteral("wrong-address-rate"),
         QStringLiteral("Share of replies sent as from another slave address (address + 1, "
                        "with a valid checksum), 0-1."),
         QStringLiteral("R")},
        {QStringLiteral("delay-ms"),
         QStringLiteral("Delay replies by this many milliseconds (all of them, or the share "
                        "given by --delay-rate)."),
         QStringLiteral("MS")},
        {QStringLiteral("delay-rate"),
         QStringLiteral("Share of replies delayed by --delay-ms, 0-1 (default 1)."),
         QStringLiteral("R")},
        {QStringLiteral("fail-requests"),
         QStringLiteral("Faults by request number: a comma-separated list of N or N:KIND, "
                        "KIND being drop (the default), corrupt, wrong-address, delay (by "
                        "--delay-ms) or delay=MS. Example: 3,5:corrupt,9:delay=800."),
         QStringLiteral("LIST")},
        {QStringLiteral("seed"),
         QStringLiteral("Seed of the random fault decisions; the same seed and the same "
                        "requests give the same faults (default: a random seed, shown with "
                        "--log)."),
         QStringLiteral("S")},
        {QStringLiteral("wire-baud"),
         QStringLiteral("Answer no sooner than request and reply would take on a real line "
                        "at B baud (10 bits a byte, 3.5 characters of silence after each "
                        "frame); the modelled line time of the run is given on standard error "
                        "at exit (and with --log per reply)."),
         QStringLiteral("B")},
        {QStringLiteral("log"),
         QStringLiteral("One line per request and per reply on standard error: the bytes in "
                        "hexadecimal and what the device did; a summary at exit.")},
    });

    if (!parser.parse(arguments)) {
        printError(parser.errorText());
        return ParseResult::ExitError;
    }
    if (parser.isSet(help)) {
        std::fputs(parser.helpText().toUtf8().constData(), stdout);
        return ParseResult::ExitOk;
    }
    if (!parser.positionalArguments().isEmpty()) {
        printError(QStringLiteral("unexpected argument \"%1\" (see --help)")
                       .arg(parser.positionalArguments().first()));
        return ParseResult::ExitError;
    }

    Options result;
    FaultSettings& faults = result.faults;
    // The value block must stay below register 65536: two registers an entry from 16384.
    if (!parseInt(parser, QStringLiteral("address"), 1, 247, &result.address) ||
        !parseInt(parser, QStringLiteral("com"), 1, 255, &result.comPort) ||
        !parseInt(parser, QStringLiteral("capacity"), 0, 24576, &result.capacity) ||
        !parseInt(parser, QStringLiteral("delay-ms"), 0, 600000, &faults.delayMs) ||
        !parseInt(parser, QStringLiteral("wire-baud"), 50, 4000000, &result.wireBaud) ||
        !parseRate(parser, QStringLiteral("drop-rate"), &faults.dropRate) ||
        !parseRate(parser, QStringLiteral("corrupt-rate"), &faults.corruptRate) ||
        !parseRate(parser, QStringLiteral("wrong-address-rate"), &faults.wrongAddressRate) ||
        !parseRate(parser, QStringLiteral("delay-rate"), &faults.delayRate)) {
        return ParseResult::ExitError;
    }
    if (parser.isSet(QStringLiteral("fail-requests"))) {
        QString error;
        const auto listed =
            parseFailRequests(parser.value(QStringLiteral("fail-requests")), &error);
        if (!listed) {
            printError(error);
            return ParseResult::ExitError;
        }
        for (const auto& [number, fault] : *listed) {
            if (fault.kind == FaultKind::Delay && fault.delayMs == 0 && faults.delayMs == 0) {
                printError(QStringLiteral("--fail-requests: %1:delay needs --delay-ms or "
                                          "delay=MS")
                               .arg(number));
                return ParseResult::ExitError;
            }
        }
        faults.byRequest = *listed;
    }
    if (parser.isSet(QStringLiteral("seed"))) {
        bool ok = false;
        faults.seed = parser.value(QStringLiteral("seed")).toULongLong(&ok);
        if (!ok) {
            printError(QStringLiteral("--seed must be a whole number from 0 to 2^64-1"));
            return ParseResult::ExitError;
        }
        result.seedGiven = true;
    } else {
        std::random_device device;
        faults.seed = (std::uint64_t(device()) << 32) | device();
    }
    result.cataloguePath = parser.value(QStringLiteral("catalogue"));
    result.flashPath = parser.value(QStringLiteral("flash"));
    if (!result.flashPath.isEmpty()) {
        const QFileInfo flash(result.flashPath);
        if (!flash.absoluteDir().exists()) {
            printError(
                QStringLiteral("--flash: folder %1 does not exist").arg(flash.absolutePath()));
            return ParseResult::ExitError;
        }
        if (flash.isDir()) {
            printError(QStringLiteral("--flash: %1 is a folder").arg(result.flashPath));
            return ParseResult::ExitError;
        }
    }
    result.log = parser.isSet(QStringLiteral("log"));
    *options = result;
    return ParseResult::Run;
}

} // namespace zorvan::devsim
