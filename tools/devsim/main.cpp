// zorvan-devsim: the device on a pseudo-terminal, for the demo and the end-to-end tests.

#include "Catalogue.h"
#include "DeviceState.h"
#include "FaultInjector.h"
#include "FlashFile.h"
#include "Options.h"
#include "PortLink.h"
#include "PseudoTerminal.h"
#include "SlaveServer.h"
#include "WirePacer.h"

#include <QCoreApplication>
#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int) {
    stopRequested = 1;
}

void installSignals() {
    struct sigaction action {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP}) {
        sigaction(signal, &action, nullptr);
    }
    std::signal(SIGPIPE, SIG_IGN);
}

void say(const QString& text) {
    std::fprintf(stderr, "zorvan-devsim: %s\n", text.toUtf8().constData());
}

using namespace zorvan::devsim;

constexpr int exitDone = 0;        // stopped by a signal, or --help
constexpr int exitSetupFailed = 1; // the pseudo-terminal or the port link
constexpr int exitBadOptions = 2;  // bad options or a bad catalogue file

// The catalogue --catalogue names, else the built-in one; nothing after saying why the file
// cannot be used.
std::optional<Catalogue> catalogueFor(const Options& options) {
    if (options.cataloguePath.isEmpty()) {
        return builtInCatalogue();
    }
    QString error;
    Catalogue catalogue = loadCatalogue(options.cataloguePath, &error);
    if (!error.isEmpty()) {
        say(error);
        return std::nullopt;
    }
    return catalogue;
}

// The map the flash file holds, at most capacity entries of it; empty without a flash file.
CurrentMap storedMap(const Options& options, const FlashFile* flash) {
    CurrentMap map;
    if (!flash) {
        return map;
    }
    QString error;
    if (auto stored = flash->load(&error)) {
        map = std::move(*stored);
    } else if (!error.isEmpty()) {
        // A device with unreadable flash starts empty; the file is kept until the next save.
        say(QStringLiteral("flash file %1 not used (%2); starting with an empty map")
                .arg(options.flashPath, error));
    }
    if (map.entries.size() > std::size_t(options.capacity)) {
        say(QStringLiteral("flash file holds %1 entries, more than --capacity %2; keeping "
                           "the first %2")
                .arg(map.entries.size())
                .arg(options.capacity));
        map.entries.resize(std::size_t(options.capacity));
    }
    return map;
}

DeviceState::FlashWriter flashWriter(FlashFile* flash) {
    if (!flash) {
        return {};
    }
    return [flash](const CurrentMap& current, QString* why) { return flash->save(current, why); };
}

// The slave line on standard output (what callers wait for), and with --log the device.
void announce(const Options& options, const PseudoTerminal& line, const DeviceState& device,
              std::size_t loadedEntries, const PortLink& link) {
    std::printf("zorvan-devsim: slave %d on %s\n", options.address,
                line.slavePath().toLocal8Bit().constData());
    std::fflush(stdout);
    if (!options.log) {
        return;
    }
    say(QStringLiteral("%1 catalogue tags, map of %2 entries (capacity %3), options %4, "
                       "fault seed %5%6")
            .arg(device.catalogue().size())
            .arg(loadedEntries)
            .arg(options.capacity)
            .arg(device.currentMap().options)
            .arg(options.faults.seed)
            .arg(link.path().isEmpty() ? QString() : QStringLiteral(", linked as ") + link.path()));
}

void sayTotals(const Options& options, const SlaveServer& server, const WirePacer& pacer) {
    if (!options.log && !pacer.enabled()) {
        return;
    }
    QString summary =
        QStringLiteral("%1 requests, %2 replies").arg(server.requests()).arg(server.replies());
    if (pacer.enabled()) {
        summary += QStringLiteral(", modelled wire time %1 ms at %2 baud")
                       .arg(pacer.totalMs(), 0, 'f', 3)
                       .arg(pacer.baud());
    }
    say(summary);
}

// The device on a new pseudo-terminal until a signal stops it; the exit status.
int serve(const Options& options, Catalogue catalogue, CurrentMap map, FlashFile* flash) {
    const std::size_t loadedEntries = map.entries.size();
    QString error;
    PseudoTerminal line;
    if (!line.open(&error)) {
        say(error);
        return exitSetupFailed;
    }

    DeviceState device(std::move(catalogue), options.capacity, std::move(map), flashWriter(flash));
    FaultInjector faults(options.faults);
    WirePacer pacer(options.wireBaud);
    SlaveServer server(line.masterFd(), options.address, device, faults, pacer, options.log);
    if (!server.open(&error)) {
        say(error);
        return exitSetupFailed;
    }
    PortLink link;
    if (options.comPort > 0 && !link.create(options.comPort, line.slavePath(), &error)) {
        say(error);
        return exitSetupFailed;
    }

    announce(options, line, device, loadedEntries, link);
    server.run(stopRequested);
    link.remove();
    sayTotals(options, server, pacer);
    return exitDone;
}

} // namespace

int main(int argc, char** argv) {
    installSignals();
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zorvan-devsim"));

    Options options;
    switch (parseOptions(QCoreApplication::arguments(), &options)) {
    case ParseResult::Run:
        break;
    case ParseResult::ExitOk:
        return exitDone;
    case ParseResult::ExitError:
        return exitBadOptions;
    }
    std::optional<Catalogue> catalogue = catalogueFor(options);
    if (!catalogue) {
        return exitBadOptions;
    }
    std::unique_ptr<FlashFile> flash;
    if (!options.flashPath.isEmpty()) {
        flash = std::make_unique<FlashFile>(options.flashPath);
    }
    CurrentMap map = storedMap(options, flash.get());
    return serve(options, std::move(*catalogue), std::move(map), flash.get());
}
