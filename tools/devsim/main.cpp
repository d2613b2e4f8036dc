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

} // namespace

int main(int argc, char** argv) {
    using namespace zorvan::devsim;
    installSignals();
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zorvan-devsim"));

    Options options;
    switch (parseOptions(QCoreApplication::arguments(), &options)) {
    case ParseResult::Run:
        break;
    case ParseResult::ExitOk:
        return 0;
    case ParseResult::ExitError:
        return 2;
    }

    QString error;
    Catalogue catalogue = builtInCatalogue();
    if (!options.cataloguePath.isEmpty()) {
        catalogue = loadCatalogue(options.cataloguePath, &error);
        if (!error.isEmpty()) {
            say(error);
            return 2;
        }
    }

    CurrentMap map;
    std::unique_ptr<FlashFile> flash;
    if (!options.flashPath.isEmpty()) {
        flash = std::make_unique<FlashFile>(options.flashPath);
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
    }
    const std::size_t loadedEntries = map.entries.size();

    PseudoTerminal line;
    if (!line.open(&error)) {
        say(error);
        return 1;
    }

    DeviceState::FlashWriter writer;
    if (flash) {
        writer = [&flash](const CurrentMap& current, QString* why) {
            return flash->save(current, why);
        };
    }
    DeviceState device(std::move(catalogue), options.capacity, std::move(map), writer);
    FaultInjector faults(options.faults);
    WirePacer pacer(options.wireBaud);
    SlaveServer server(line.masterFd(), options.address, device, faults, pacer, options.log);
    if (!server.open(&error)) {
        say(error);
        return 1;
    }

    PortLink link;
    if (options.comPort > 0 && !link.create(options.comPort, line.slavePath(), &error)) {
        say(error);
        return 1;
    }

    std::printf("zorvan-devsim: slave %d on %s\n", options.address,
                line.slavePath().toLocal8Bit().constData());
    std::fflush(stdout);
    if (options.log) {
        say(QStringLiteral("%1 catalogue tags, map of %2 entries (capacity %3), options %4, "
                           "fault seed %5%6")
                .arg(device.catalogue().size())
                .arg(loadedEntries)
                .arg(options.capacity)
                .arg(device.currentMap().options)
                .arg(options.faults.seed)
                .arg(link.path().isEmpty() ? QString()
                                           : QStringLiteral(", linked as ") + link.path()));
    }

    server.run(stopRequested);

    link.remove();
    if (options.log || pacer.enabled()) {
        QString summary =
            QStringLiteral("%1 requests, %2 replies").arg(server.requests()).arg(server.replies());
        if (pacer.enabled()) {
            summary += QStringLiteral(", modelled wire time %1 ms at %2 baud")
                           .arg(pacer.totalMs(), 0, 'f', 3)
                           .arg(pacer.baud());
        }
        say(summary);
    }
    return 0;
}
