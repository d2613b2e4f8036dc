// zorvanctl poll: runs a channel map against the device as the execution window does (the same
// spaces, the same 20 ms tick, the same value texts) and prints one CSV line per complete cycle.

#include "Command.h"
#include "DeviceLink.h"
#include "PortOptions.h"

#include "comm/ProcessTimer.h"
#include "components/Prompter.h"
#include "components/XMLOptionsSerializer.h"
#include "document/ChannelMapText.h"
#include "document/CnlImage.h"
#include "document/Document.h"
#include "execution/CsvRecorder.h"
#include "execution/MapRun.h"
#include "execution/PortRecovery.h"
#include "execution/ValueText.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <optional>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using namespace zorvan;
using namespace zorvanctl;

QString usage() {
    return QStringLiteral(
               "Usage: zorvanctl poll FILE [--cycles N] [--set NAME=VALUE]... [--flash] [options]\n"
               "\n"
               "Polls the device for the map of FILE (a .zorvan document) as the execution\n"
               "window does: the device's current map is read from register 16384 on, in\n"
               "spaces of at most 20 channels, one space every 20 ms. After each complete\n"
               "cycle one CSV line goes to standard output: the local time (ISO 8601), then\n"
               "one column per channel, headed by its name on the first line. Channels of an\n"
               "unknown type code are not polled.\n"
               "\n"
               "  --cycles N        stop after N cycles attempted, complete or not (default:\n"
               "                    until SIGINT); the exit status is then 1 when any\n"
               "                    exchange failed\n"
               "  --set NAME=VALUE  set the channel NAME to VALUE before polling (repeatable;\n"
               "                    Float takes '.' or the locale's decimal separator, the\n"
               "                    integer types a whole number)\n"
               "  --flash           have the device save its settings to flash on the first\n"
               "                    tick\n"
               "\n"
               "When the line is lost (the device hung up, the adapter was pulled out), the\n"
               "port is closed and opened again about once a reply time-out until the device\n"
               "is back; each attempt that fails counts as a failed request.\n"
               "SIGINT or SIGTERM ends the run. The request and error counts go to standard\n"
               "error at the end; --trace prints the packets there as well, so that standard\n"
               "output holds only the CSV.\n") +
           deviceCommandHelp();
}

// The write end of the signal pipe; the handler only writes one byte to it.
int signalWriteFd = -1;

void onSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = ::write(signalWriteFd, &byte, 1);
    errno = saved;
}

// SIGINT and SIGTERM turned into an event of the event loop, for the lifetime of the object.
class SignalGate {
public:
    SignalGate() {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, m_fds) != 0)
            return;
        ::fcntl(m_fds[0], F_SETFL, O_NONBLOCK);
        ::fcntl(m_fds[1], F_SETFL, O_NONBLOCK);
        signalWriteFd = m_fds[1];
        m_notifier = std::make_unique<QSocketNotifier>(m_fds[0], QSocketNotifier::Read);
        struct sigaction action {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        ::sigaction(SIGINT, &action, &m_oldInt);
        ::sigaction(SIGTERM, &action, &m_oldTerm);
    }
    ~SignalGate() {
        if (m_fds[0] < 0)
            return;
        ::sigaction(SIGINT, &m_oldInt, nullptr);
        ::sigaction(SIGTERM, &m_oldTerm, nullptr);
        m_notifier.reset();
        signalWriteFd = -1;
        ::close(m_fds[0]);
        ::close(m_fds[1]);
    }
    SignalGate(const SignalGate&) = delete;
    SignalGate& operator=(const SignalGate&) = delete;

    QSocketNotifier* notifier() const { return m_notifier.get(); }
    void drain() {
        char buffer[16];
        while (::read(m_fds[0], buffer, sizeof buffer) > 0) {
        }
    }

private:
    int m_fds[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
    struct sigaction m_oldInt {};
    struct sigaction m_oldTerm {};
};

// An exit status when the command ends early; nothing when it goes on.
using EarlyExit = std::optional<int>;

struct Assignment {
    QString name;
    QString value;
};

// What the command line asks of a run.
struct PollRequest {
    QString path;
    long long cycles = -1; // cycles to attempt; -1: until SIGINT or SIGTERM
    QList<Assignment> assignments;
    bool flash = false;
    bool trace = false;
};

const QCommandLineOption cyclesOption(QStringLiteral("cycles"),
                                      QStringLiteral("Stop after N cycles attempted."),
                                      QStringLiteral("N"));
const QCommandLineOption setOption(QStringLiteral("set"),
                                   QStringLiteral("Set a channel before polling."),
                                   QStringLiteral("NAME=VALUE"));
const QCommandLineOption flashOption(QStringLiteral("flash"),
                                     QStringLiteral("Save to flash on the first tick."));

EarlyExit readCycles(DeviceLink& link, const QCommandLineParser& parser, PollRequest& request) {
    if (!parser.isSet(cyclesOption))
        return std::nullopt;
    bool ok = false;
    request.cycles = parser.value(cyclesOption).toLongLong(&ok);
    if (!ok || request.cycles < 1)
        return link.usageError(QStringLiteral("--cycles must be a whole number from 1 on: %1")
                                   .arg(parser.value(cyclesOption)));
    return std::nullopt;
}

EarlyExit readAssignments(DeviceLink& link, const QCommandLineParser& parser,
                          PollRequest& request) {
    for (const QString& item : parser.values(setOption)) {
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return link.usageError(QStringLiteral("--set needs NAME=VALUE: %1").arg(item));
        request.assignments.append({item.left(eq), item.mid(eq + 1)});
    }
    return std::nullopt;
}

// The command line into request; the link takes its own options.
EarlyExit readArguments(DeviceLink& link, const QStringList& args, PollRequest& request) {
    QCommandLineParser parser;
    parser.addOption(cyclesOption);
    parser.addOption(setOption);
    parser.addOption(flashOption);
    if (!link.configure(parser, args))
        return exitUsage;
    if (parser.positionalArguments().size() != 1)
        return link.usageError(QStringLiteral("poll takes one FILE"));
    if (const EarlyExit exit = readCycles(link, parser, request))
        return exit;
    if (const EarlyExit exit = readAssignments(link, parser, request))
        return exit;
    request.path = parser.positionalArguments().at(0);
    request.flash = parser.isSet(flashOption);
    request.trace = parser.isSet(QStringLiteral("trace"));
    return std::nullopt;
}

bool loadImage(const QString& path, TChannelImage& image) {
    TXMLOptionsSerializer serializer;
    ConfigureDocumentSerializer(serializer);
    serializer.Root = &image;
    serializer.XMLFilePath = path;
    if (serializer.Load())
        return true;
    err(QStringLiteral("zorvanctl poll: %1: %2\n")
            .arg(path, serializer.LastReadError().Describe()));
    return false;
}

// The packets go to standard error, so that standard output holds only the CSV.
void traceToStandardError(TModbusTransport& transport) {
    transport.OnRequest = [](bool aOut, const TRequest& request) {
        err(traceLine(aOut, request) + QLatin1Char('\n'));
    };
}

EarlyExit assign(DeviceLink& link, const Assignment& a,
                 const std::vector<TModbusParameter*>& parameters) {
    bool found = false;
    for (TModbusParameter* parameter : parameters) {
        if (TagNameText(parameter->Description()) != a.name)
            continue;
        found = true;
        if (!SetValueFromText(*parameter, a.value))
            return link.usageError(
                QStringLiteral("%1 takes a whole number: %2").arg(a.name, a.value));
        // Written at the first refresh even when it equals the (still empty) image.
        parameter->setModified(true);
    }
    if (!found)
        return link.usageError(QStringLiteral("no channel named %1").arg(a.name));
    return std::nullopt;
}

EarlyExit assignAll(DeviceLink& link, const QList<Assignment>& assignments,
                    const std::vector<TModbusParameter*>& parameters) {
    for (const Assignment& a : assignments)
        if (const EarlyExit exit = assign(link, a, parameters))
            return exit;
    return std::nullopt;
}

void printHeader(const std::vector<TModbusParameter*>& parameters) {
    out(CsvHeader(parameters) + QLatin1Char('\n'));
}

void printValues(const std::vector<TModbusParameter*>& parameters) {
    out(CsvValues(parameters, QDateTime::currentDateTime()) + QLatin1Char('\n'));
}

void printCounts(const TMapRun& mapRun) {
    err(QStringLiteral("requests: %1, errors: %2\n")
            .arg(mapRun.RequestCount)
            .arg(mapRun.ErrorCount));
}

// The cycle loop: ticks the map run at the execution window's pace inside the event loop,
// brings the port back when the line is lost, and ends after the cycles asked for or at
// SIGINT or SIGTERM.
class PollLoop {
public:
    PollLoop(TModbusMapConn& conn, TMapRun& mapRun, long long cycles)
        : m_mapRun(mapRun), m_cycles(cycles), m_recovery(conn.PortDrv, m_timer) {
        m_mapRun.OnUpdateValues = [this] { onCycle(); };
        m_timer.OnTimer = [this] { onTick(); };
        if (m_gate.notifier())
            QObject::connect(m_gate.notifier(), &QSocketNotifier::activated, [this] {
                m_gate.drain();
                m_signalled = true;
                finish();
            });
    }
    PollLoop(const PollLoop&) = delete;
    PollLoop& operator=(const PollLoop&) = delete;

    // Until the run ends; the exit status.
    int exec() {
        m_mapRun.ResetCounters();
        m_timer.Start();
        QCoreApplication::exec();
        m_timer.Stop();
        // A run that ended by itself says whether every exchange went through; one ended by a
        // signal was stopped on purpose.
        return m_signalled || m_mapRun.ErrorCount == 0 ? exitDone : exitNoCommunication;
    }

private:
    void onCycle() { printValues(m_mapRun.Parameters()); }

    void onTick() {
        const TPortRecovery::State state = m_recovery.Tick(m_mapRun);
        if (state == TPortRecovery::State::Lost)
            err(QStringLiteral("zorvanctl poll: the line was lost; opening the port again\n"));
        else if (state == TPortRecovery::State::Reopened)
            err(QStringLiteral("zorvanctl poll: port opened again\n"));
        // A failed attempt to open the port counts as a cycle attempted; so does the tick after
        // the last space, which starts the next cycle.
        if (state == TPortRecovery::State::AttemptFailed ||
            (TPortRecovery::Polled(state) && m_mapRun.CurrentSpace >= m_mapRun.SpaceCount()))
            ++m_attempted;
        if (m_cycles > 0 && m_attempted >= m_cycles) {
            m_timer.Stop();
            finish();
        }
    }

    void finish() {
        if (m_finished)
            return;
        m_finished = true;
        QCoreApplication::exit(0);
    }

    TMapRun& m_mapRun;
    const long long m_cycles;
    TProcessTimer m_timer;
    TPortRecovery m_recovery; // after the timer it paces
    SignalGate m_gate;
    long long m_attempted = 0;
    bool m_signalled = false;
    bool m_finished = false;
};

int run(const QStringList& args) {
    DeviceLink link(QStringLiteral("poll"));
    PollRequest request;
    if (const EarlyExit exit = readArguments(link, args, request))
        return *exit;
    TChannelImage image;
    if (!loadImage(request.path, image))
        return exitUsage;

    TModbusMapConn& conn = link.Conn();
    if (request.trace)
        traceToStandardError(conn.Transport);
    const std::unique_ptr<TMapRun> mapRun = TMapRun::ForConnection(image, conn);
    if (mapRun->IsEmpty())
        return link.usageError(QStringLiteral("%1 has no channel to poll").arg(request.path));
    if (const EarlyExit exit = assignAll(link, request.assignments, mapRun->Parameters()))
        return *exit;
    mapRun->FlashRequest = request.flash;

    if (!conn.OpenLink()) {
        prompter().tell(QStringLiteral("Не удалось подключиться к COM-порту"), MessageKind::Error,
                        conn.PortDrv.OpenError());
        return link.noCommunication();
    }
    printHeader(mapRun->Parameters());
    // Lives to the end: its signal gate keeps a late SIGINT from cutting the closing counts.
    PollLoop loop(conn, *mapRun, request.cycles);
    const int status = loop.exec();
    conn.CloseLink();
    printCounts(*mapRun);
    return status;
}

static Registration reg({"poll", "poll a map's values from the device and print them as CSV",
                         usage(), run});

} // namespace
