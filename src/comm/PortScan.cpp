#include "comm/PortScan.h"

#include "components/ConfigPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <grp.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorvan {

namespace {

constexpr int MaxPortNumber = 255;

QString portLinkPath(const PortRoots& roots, int number) {
    return roots.ports + QStringLiteral("/COM%1").arg(number);
}

QString systemError(const QString& path) {
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(errno)));
}

QString groupName(gid_t gid) {
    const group* g = ::getgrgid(gid);
    return g ? QString::fromLocal8Bit(g->gr_name) : QString::number(gid);
}

// Judged from the mode bits the kernel would apply to this user, without opening the device.
bool mayOpen(const struct stat& st, const PortUser& user) {
    if (user.uid == 0)
        return true;
    mode_t rw = S_IROTH | S_IWOTH;
    if (st.st_uid == user.uid)
        rw = S_IRUSR | S_IWUSR;
    else if (user.groups.contains(st.st_gid))
        rw = S_IRGRP | S_IWGRP;
    return (st.st_mode & rw) == rw;
}

QStringList entries(const QString& folder, const QStringList& patterns = {}) {
    return QDir(folder).entryList(patterns, QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

// The stable name of every device that has one, by the device's real path.
QHash<QString, QString> stableNames(const PortRoots& roots) {
    QHash<QString, QString> names;
    for (const QString& name : entries(roots.byId)) {
        const QString path = roots.byId + u'/' + name;
        const QString real = QFileInfo(path).canonicalFilePath();
        if (!real.isEmpty())
            names.insert(real, path);
    }
    return names;
}

// ttyS<n> exist whether or not a UART answers; the serial driver knows.
bool isRealUart(const PortRoots& roots, const QString& name) {
    if (!name.startsWith(QStringLiteral("ttyS")))
        return true;
    QFile type(roots.sysTty + u'/' + name + QStringLiteral("/type"));
    if (!type.open(QIODevice::ReadOnly))
        return false;
    const QByteArray value = type.readAll().trimmed();
    return !value.isEmpty() && value != "0";
}

// The serial devices' paths: the usual names, and whatever a stable name leads to (some
// adapters' drivers name their devices otherwise).
QStringList devicePaths(const PortRoots& roots, const QHash<QString, QString>& stable) {
    QStringList paths;
    QSet<QString> seen;
    const QStringList patterns{QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*"),
                               QStringLiteral("ttyS*")};
    for (const QString& name : entries(roots.dev, patterns)) {
        if (!isRealUart(roots, name))
            continue;
        paths.append(roots.dev + u'/' + name);
        seen.insert(QFileInfo(paths.last()).canonicalFilePath());
    }
    for (auto it = stable.cbegin(); it != stable.cend(); ++it)
        if (!seen.contains(it.key()))
            paths.append(QFileInfo(it.value()).symLinkTarget());
    std::sort(paths.begin(), paths.end());
    return paths;
}

QList<SerialDevice> devicesIn(const PortRoots& roots, const PortUser& user,
                              const QHash<QString, QString>& stable) {
    QList<SerialDevice> devices;
    for (const QString& path : devicePaths(roots, stable)) {
        SerialDevice d;
        d.path = path;
        struct stat st {};
        if (::stat(QFile::encodeName(d.path).constData(), &st) != 0 || !S_ISCHR(st.st_mode))
            continue;
        d.byIdPath = stable.value(QFileInfo(d.path).canonicalFilePath());
        d.shortName =
            d.byIdPath.isEmpty() ? QString() : portShortName(QFileInfo(d.byIdPath).fileName());
        d.accessible = mayOpen(st, user);
        d.group = groupName(st.st_gid);
        devices.append(d);
    }
    return devices;
}

QList<PortEntry> linksIn(const PortRoots& roots, const PortUser& user,
                         const QHash<QString, QString>& stable) {
    QList<PortEntry> links;
    for (const QString& name : entries(roots.ports, {QStringLiteral("COM*")})) {
        bool isNumber = false;
        PortEntry p;
        p.number = name.mid(3).toInt(&isNumber);
        const QFileInfo link(roots.ports + u'/' + name);
        if (!isNumber || p.number < 1 || p.number > MaxPortNumber || !link.isSymLink())
            continue;
        p.target = link.symLinkTarget();
        const QString byId = stable.value(link.canonicalFilePath());
        p.shortName = byId.isEmpty() ? QString() : portShortName(QFileInfo(byId).fileName());
        struct stat st {};
        p.present = ::stat(QFile::encodeName(p.target).constData(), &st) == 0;
        p.accessible = p.present && mayOpen(st, user);
        p.group = p.present ? groupName(st.st_gid) : QString();
        links.append(p);
    }
    std::sort(links.begin(), links.end(),
              [](const PortEntry& a, const PortEntry& b) { return a.number < b.number; });
    return links;
}

} // namespace

PortRoots systemPortRoots() {
    return {QStringLiteral("/dev"), QStringLiteral("/dev/serial/by-id"),
            QStringLiteral("/sys/class/tty"), portsFolder()};
}

PortUser currentPortUser() {
    PortUser user{::geteuid(), {::getegid()}};
    const int count = ::getgroups(0, nullptr);
    if (count > 0) {
        QList<gid_t> groups(count);
        const int got = ::getgroups(count, groups.data());
        user.groups.append(groups.mid(0, std::max(got, 0)));
    }
    return user;
}

QString portShortName(const QString& byIdName) {
    static const QRegularExpression bus(QStringLiteral("^[a-z]+-"));
    static const QRegularExpression interface(QStringLiteral("-if\\d+(-port\\d+)?$"));
    QString name = byIdName;
    name.remove(bus).remove(interface);
    QStringList words = name.split(u'_', Qt::SkipEmptyParts);
    words.removeAll(QStringLiteral("USB"));
    words.removeAll(QStringLiteral("UART"));
    return words.join(u' ');
}

PortScan scanPorts(const PortRoots& roots, const PortUser& user) {
    const QHash<QString, QString> stable = stableNames(roots);
    PortScan scan{devicesIn(roots, user, stable), linksIn(roots, user, stable)};
    for (SerialDevice& d : scan.devices) {
        const QString real = QFileInfo(d.path).canonicalFilePath();
        for (const PortEntry& p : scan.ports)
            if (QFileInfo(p.target).canonicalFilePath() == real)
                d.numbers.append(p.number);
    }
    return scan;
}

PortChange linkPort(const PortRoots& roots, int number, const QString& device) {
    if (number < 1 || number > MaxPortNumber)
        return {false, QStringLiteral("port number out of range 1..255: %1").arg(number)};
    struct stat st {};
    if (::stat(QFile::encodeName(device).constData(), &st) != 0)
        return {false, systemError(device)};
    if (!S_ISCHR(st.st_mode))
        return {false,
                QStringLiteral("%1 is not a character device, so not a serial port").arg(device)};
    QString target = stableNames(roots).value(QFileInfo(device).canonicalFilePath());
    if (target.isEmpty())
        target = QFileInfo(device).absoluteFilePath();
    // A new link renamed over the old one: the number never reaches nothing in between.
    const QString link = portLinkPath(roots, number);
    const QString fresh = roots.ports + QStringLiteral("/.COM%1.new").arg(number);
    QDir().mkpath(roots.ports);
    ::unlink(QFile::encodeName(fresh).constData());
    if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(fresh).constData()) != 0)
        return {false, systemError(fresh)};
    if (::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(link).constData()) != 0) {
        const PortChange failed{false, systemError(link)};
        ::unlink(QFile::encodeName(fresh).constData());
        return failed;
    }
    return {true, target};
}

PortChange unlinkPort(const PortRoots& roots, int number) {
    const QString link = portLinkPath(roots, number);
    if (!QFileInfo(link).isSymLink())
        return {false, QStringLiteral("COM%1 is not linked").arg(number)};
    if (::unlink(QFile::encodeName(link).constData()) != 0)
        return {false, systemError(link)};
    return {true, link};
}

} // namespace zorvan
