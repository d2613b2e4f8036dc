// zorvanctl ports: the serial devices the machine has and the port numbers linked to them, and
// the links themselves, so that no one has to find /dev/serial/by-id and type ln -s.

#include "Command.h"

#include "comm/PortScan.h"

namespace {

using namespace zorvan;
using zorvanctl::err;
using zorvanctl::out;

constexpr int exitFailed = 1;
constexpr int exitUsage = 2;

const char usageText[] =
    "Usage: zorvanctl ports\n"
    "       zorvanctl ports link N DEVICE\n"
    "       zorvanctl ports unlink N\n"
    "\n"
    "Port number N (1..255) opens the target of the link ports/COMN in the settings folder,\n"
    "else /dev/ttyS<N-1>. 'ports' lists the serial devices present (the stable names under\n"
    "/dev/serial/by-id, /dev/ttyUSB*, /dev/ttyACM* and the /dev/ttyS* that are real UARTs) with\n"
    "the numbers linked to each, then every link with its target. 'link' makes or replaces\n"
    "ports/COMN, naming DEVICE by its /dev/serial/by-id name when it has one, so that the\n"
    "number survives plugging the adapter in another socket; 'unlink' removes it.\n"
    "\n"
    "Exit status: 0 done, 1 failed (not a serial device, no such link, a file not written),\n"
    "2 bad arguments.\n";

int usageError(const QString& message) {
    err(QStringLiteral("zorvanctl ports: %1\nRun 'zorvanctl ports --help' for usage.\n")
            .arg(message));
    return exitUsage;
}

QString noAccess(bool accessible, const QString& group) {
    if (accessible)
        return {};
    return QStringLiteral("; you may not open it: join the group %1 "
                          "(sudo usermod -aG %1 $USER) and log in again")
        .arg(group);
}

QString numbers(const QList<int>& list) {
    if (list.isEmpty())
        return QStringLiteral("no number");
    QStringList names;
    for (int n : list)
        names.append(QStringLiteral("COM%1").arg(n));
    return names.join(QStringLiteral(", "));
}

int list() {
    const PortRoots roots = systemPortRoots();
    const PortScan scan = scanPorts(roots, currentPortUser());
    QString text = QStringLiteral("Serial devices:\n");
    for (const SerialDevice& d : scan.devices) {
        const QString name = d.byIdPath.isEmpty() ? d.path : d.byIdPath + " -> " + d.path;
        text += QStringLiteral("  %1: %2%3\n")
                    .arg(name, numbers(d.numbers), noAccess(d.accessible, d.group));
    }
    if (scan.devices.isEmpty())
        text += QStringLiteral("  none\n");
    text += QStringLiteral("Port links in %1:\n").arg(roots.ports);
    for (const PortEntry& p : scan.ports) {
        const QString state =
            p.present ? noAccess(p.accessible, p.group) : QStringLiteral(" (not present)");
        text += QStringLiteral("  COM%1 -> %2%3\n").arg(p.number).arg(p.target, state);
    }
    if (scan.ports.isEmpty())
        text += QStringLiteral("  none\n");
    out(text);
    return 0;
}

int change(const QStringList& args) {
    const bool link = args.value(0) == u"link";
    if (args.size() != (link ? 3 : 2))
        return usageError(link ? QStringLiteral("link takes N and DEVICE")
                               : QStringLiteral("unlink takes N"));
    bool ok = false;
    const int number = args.value(1).toInt(&ok);
    if (!ok || number < 1 || number > 255)
        return usageError(QStringLiteral("port number out of range 1..255: %1").arg(args[1]));
    const PortRoots roots = systemPortRoots();
    const PortChange done = link ? linkPort(roots, number, args[2]) : unlinkPort(roots, number);
    if (!done.ok) {
        err(QStringLiteral("zorvanctl ports: %1\n").arg(done.text));
        return exitFailed;
    }
    if (link)
        out(QStringLiteral("COM%1 -> %2\n").arg(number).arg(done.text));
    return 0;
}

int run(const QStringList& args) {
    if (args.isEmpty())
        return list();
    if (args[0] == u"link" || args[0] == u"unlink")
        return change(args);
    return usageError(QStringLiteral("unknown subcommand '%1'").arg(args[0]));
}

zorvanctl::Registration reg({QStringLiteral("ports"),
                             QStringLiteral("list serial devices, link port numbers to them"),
                             QString::fromLatin1(usageText), run});

} // namespace
