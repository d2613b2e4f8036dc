#include "PortLink.h"

#include <QDir>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace zorvan::devsim {

namespace {

QString systemError() {
    return QString::fromLocal8Bit(std::strerror(errno));
}

QString readLink(const QString& path) {
    char buffer[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer - 1);
    if (n < 0) {
        return {};
    }
    return QFile::decodeName(QByteArray(buffer, n));
}

} // namespace

PortLink::~PortLink() {
    remove();
}

QString PortLink::linkPath(int port) {
    QString home = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (home.isEmpty()) {
        home = QDir::homePath() + QStringLiteral("/.config");
    }
    return home + QStringLiteral("/Belmat/Quillmark/ports/COM%1").arg(port);
}

bool PortLink::create(int port, const QString& target, QString* error) {
    const QString path = linkPath(port);
    const QString folder = QFileInfo(path).path();
    if (!QDir().mkpath(folder)) {
        *error = QStringLiteral("cannot create %1").arg(folder);
        return false;
    }
    const QByteArray encoded = QFile::encodeName(path);
    struct stat info {};
    if (::lstat(encoded.constData(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            *error = QStringLiteral("%1 exists and is not a link; not replacing it").arg(path);
            return false;
        }
        const QString old = readLink(path);
        const bool dangling = !QFileInfo::exists(path);
        if (!dangling && !old.startsWith(QLatin1String("/dev/pts/"))) {
            *error = QStringLiteral("%1 links to %2, which is not a simulator's port; pick "
                                    "another --com number or remove the link")
                         .arg(path, old);
            return false;
        }
    }
    // Made beside it and renamed over it, so the host never finds the link missing.
    const QString temporary = path + QStringLiteral(".devsim-%1").arg(::getpid());
    const QByteArray encodedTemporary = QFile::encodeName(temporary);
    ::unlink(encodedTemporary.constData());
    if (::symlink(QFile::encodeName(target).constData(), encodedTemporary.constData()) != 0 ||
        ::rename(encodedTemporary.constData(), encoded.constData()) != 0) {
        *error = QStringLiteral("cannot link %1 to %2: %3").arg(path, target, systemError());
        ::unlink(encodedTemporary.constData());
        return false;
    }
    m_path = path;
    m_target = target;
    return true;
}

void PortLink::remove() {
    if (m_path.isEmpty()) {
        return;
    }
    // Another simulator may have taken the number over meanwhile: leave its link alone.
    if (readLink(m_path) == m_target) {
        ::unlink(QFile::encodeName(m_path).constData());
    }
    m_path.clear();
}

} // namespace zorvan::devsim
