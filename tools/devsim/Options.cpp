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

// The text of --help above the options.
constexpr const char* helpDescription =
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
    if (!ok || !(value >= 0.0 && value <= 1.0)) { // NaN compares false both ways
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

// One option of the command line; a null valueName for a switch.
struct OptionRow {
    const char* name;
    const char* description;
    const char* valueName;
};

// In the order --help lists them, after -h/--help.
constexpr OptionRow optionTable[] = {
    {"address",
     "Slave address the device answers to, 1-247 (default 1). Requests for other addresses get "
     "no reply.",
     "A"},
    {"com",
     "Link ports/COMn in the settings folder ($XDG_CONFIG_HOME/Belmat/Quillmark, ~/.config "
     "when unset) to the pseudo-terminal, so that the program finds the device as port n; the "
     "link is removed at exit.",
     "n"},
    {"catalogue",
     "Tag catalogue file instead of the built-in demo catalogue (30 tags): UTF-8 text, one "
     "\"channel type name\" a line (type 0 Int, 1 UInt, 2 Long, 3 ULong, 4 Float; the name is "
     "the rest of the line, at most 12 Windows-1251 characters; other type codes are served as "
     "they are but take no value register), '#' starts a comment.",
     "FILE"},
    {"flash",
     "Flash memory file: the current map and options are read from it at start-up and written "
     "to it when SaveToFlash is set to 1. Without it the map lives in memory only.",
     "FILE"},
    {"capacity", "Entries the current map can hold (default 64); appending past it gives Error 2.",
     "N"},
    {"drop-rate", "Share of replies not sent at all, 0-1 (the host times out).", "R"},
    {"corrupt-rate", "Share of replies sent with a wrong checksum, 0-1.", "R"},
    {"wrong-address-rate",
     "Share of replies sent as from another slave address (address + 1, with a valid "
     "checksum), 0-1.",
     "R"},
    {"delay-ms",
     "Delay replies by this many milliseconds (all of them, or the share given by "
     "--delay-rate).",
     "MS"},
    {"delay-rate", "Share of replies delayed by --delay-ms, 0-1 (default 1).", "R"},
    {"fail-requests",
     "Faults by request number: a comma-separated list of N or N:KIND, KIND being drop (the "
     "default), corrupt, wrong-address, delay (by --delay-ms) or delay=MS. Example: "
     "3,5:corrupt,9:delay=800.",
     "LIST"},
    {"seed",
     "Seed of the random fault decisions; the same seed and the same requests give the same "
     "faults (default: a random seed, shown with --log).",
     "S"},
    {"wire-baud",
     "Answer no sooner than request and reply would take on a real line at B baud (10 bits a "
     "byte, 3.5 characters of silence after each frame); the modelled line time of the run is "
     "given on standard error at exit (and with --log per reply).",
     "B"},
    {"log",
     "One line per request and per reply on standard error: the bytes in hexadecimal and what "
     "the device did; a summary at exit.",
     nullptr},
};

void addOptions(QCommandLineParser& parser) {
    for (const OptionRow& row : optionTable) {
        const QString name = QString::fromUtf8(row.name);
        const QString description = QString::fromUtf8(row.description);
        parser.addOption(
            row.valueName ? QCommandLineOption(name, description, QString::fromUtf8(row.valueName))
                          : QCommandLineOption(name, description));
    }
}

// Parses the command line and handles --help and stray arguments.
ParseResult parseCommandLine(QCommandLineParser& parser, const QStringList& arguments) {
    parser.setApplicationDescription(QString::fromUtf8(helpDescription));
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("Show this help and exit."));
    parser.addOption(help);
    addOptions(parser);
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
    return ParseResult::Run;
}

bool readNumbers(const QCommandLineParser& parser, Options& result) {
    FaultSettings& faults = result.faults;
    // The value block must stay below register 65536: two registers an entry from 16384.
    return parseInt(parser, QStringLiteral("address"), 1, 247, &result.address) &&
           parseInt(parser, QStringLiteral("com"), 1, 255, &result.comPort) &&
           parseInt(parser, QStringLiteral("capacity"), 0, 24576, &result.capacity) &&
           parseInt(parser, QStringLiteral("delay-ms"), 0, 600000, &faults.delayMs) &&
           parseInt(parser, QStringLiteral("wire-baud"), 50, 4000000, &result.wireBaud) &&
           parseRate(parser, QStringLiteral("drop-rate"), &faults.dropRate) &&
           parseRate(parser, QStringLiteral("corrupt-rate"), &faults.corruptRate) &&
           parseRate(parser, QStringLiteral("wrong-address-rate"), &faults.wrongAddressRate) &&
           parseRate(parser, QStringLiteral("delay-rate"), &faults.delayRate);
}

bool readFailRequests(const QCommandLineParser& parser, FaultSettings& faults) {
    if (!parser.isSet(QStringLiteral("fail-requests"))) {
        return true;
    }
    QString error;
    const auto listed = parseFailRequests(parser.value(QStringLiteral("fail-requests")), &error);
    if (!listed) {
        printError(error);
        return false;
    }
    for (const auto& [number, fault] : *listed) {
        if (fault.kind == FaultKind::Delay && fault.delayMs == 0 && faults.delayMs == 0) {
            printError(QStringLiteral("--fail-requests: %1:delay needs --delay-ms or delay=MS")
                           .arg(number));
            return false;
        }
    }
    faults.byRequest = *listed;
    return true;
}

bool readSeed(const QCommandLineParser& parser, Options& result) {
    if (!parser.isSet(QStringLiteral("seed"))) {
        std::random_device device;
        result.faults.seed = (std::uint64_t(device()) << 32) | device();
        return true;
    }
    bool ok = false;
    result.faults.seed = parser.value(QStringLiteral("seed")).toULongLong(&ok);
    if (!ok) {
        printError(QStringLiteral("--seed must be a whole number from 0 to 2^64-1"));
        return false;
    }
    result.seedGiven = true;
    return true;
}

// The flash file may be missing, but its folder must be there.
bool readFlashPath(const QCommandLineParser& parser, Options& result) {
    result.flashPath = parser.value(QStringLiteral("flash"));
    if (result.flashPath.isEmpty()) {
        return true;
    }
    const QFileInfo flash(result.flashPath);
    if (!flash.absoluteDir().exists()) {
        printError(QStringLiteral("--flash: folder %1 does not exist").arg(flash.absolutePath()));
        return false;
    }
    if (flash.isDir()) {
        printError(QStringLiteral("--flash: %1 is a folder").arg(result.flashPath));
        return false;
    }
    return true;
}

} // namespace

ParseResult parseOptions(const QStringList& arguments, Options* options) {
    QCommandLineParser parser;
    const ParseResult parsed = parseCommandLine(parser, arguments);
    if (parsed != ParseResult::Run) {
        return parsed;
    }
    Options result;
    if (!readNumbers(parser, result) || !readFailRequests(parser, result.faults) ||
        !readSeed(parser, result)) {
        return ParseResult::ExitError;
    }
    result.cataloguePath = parser.value(QStringLiteral("catalogue"));
    if (!readFlashPath(parser, result)) {
        return ParseResult::ExitError;
    }
    result.log = parser.isSet(QStringLiteral("log"));
    *options = result;
    return ParseResult::Run;
}

} // namespace zorvan::devsim
