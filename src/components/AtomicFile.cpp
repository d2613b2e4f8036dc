#include "components/AtomicFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace zorvan {

namespace {

QString systemError(const QString& what, int error) {
    return what + ": " + QString::fromLocal8Bit(std::strerror(error));
}

// The process umask without changing it (umask() would, and other threads may create files
// meanwhile): the kernel publishes it in /proc/self/status.
mode_t currentUmask() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = status.readAll().split('\n');
        for (const QByteArray& line : lines) {
            if (!line.startsWith("Umask:"))
                continue;
            bool ok = false;
            const uint mask = line.mid(6).trimmed().toUInt(&ok, 8);
            if (ok)
                return static_cast<mode_t>(mask & 0777);
        }
    }
    return 022;
}

bool writeAll(int fd, const char* data, qsizetype size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, static_cast<size_t>(size));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= n;
    }
    return true;
}

void syncFolder(const QByteArray& folder) {
    const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd); // best effort: the rename itself has already happened
    ::close(fd);
}

// Follows symbolic links from path to the name the chain ends at, which is what gets replaced:
// a link in the chain is never overwritten. st and exists describe that end (a dangling end
// does not exist yet and may be created). Empty, with error set, on a loop or a failed lookup.
QString chainEnd(QString path, struct stat& st, bool& exists, QString* error) {
    constexpr int maxLinks = 40; // as the kernel's own bound on a path's links
    for (int hops = 0; hops <= maxLinks; ++hops) {
        const QByteArray name = QFile::encodeName(path);
        if (::lstat(name.constData(), &st) != 0) {
            exists = false;
            if (errno == ENOENT)
                return path;
            if (error)
                *error = systemError(path, errno);
            return QString();
        }
        exists = true;
        if (!S_ISLNK(st.st_mode))
            return path;
        // readlink, not QFileInfo: a target with ".." is resolved by the kernel from the
        // link's real folder, not by cleaning the text.
        QByteArray link(PATH_MAX, '\0');
        const ssize_t n =
            ::readlink(name.constData(), link.data(), static_cast<size_t>(link.size()));
        if (n <= 0 || n >= link.size())
            break;
        link.truncate(n);
        const QString next = QFile::decodeName(link);
        path = next.startsWith(u'/') ? next : path.left(path.lastIndexOf(u'/')) + u'/' + next;
    }
    if (error)
        *error = systemError(path, ELOOP);
    return QString();
}

} // namespace

bool isWriteProtected(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return false;
    if (st.st_uid == ::geteuid())
        return (st.st_mode & S_IWUSR) == 0;
    bool member = st.st_gid == ::getegid();
    const int count = ::getgroups(0, nullptr);
    std::vector<gid_t> groups(static_cast<size_t>(std::max(count, 0)));
    if (count > 0 && ::getgroups(count, groups.data()) == count)
        member = member || std::find(groups.begin(), groups.end(), st.st_gid) != groups.end();
    return (st.st_mode & (member ? S_IWGRP : S_IWOTH)) == 0;
}

bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error) {
    auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    if (path.isEmpty())
        return fail(QStringLiteral("no file name"));

    struct stat old {};
    bool exists = false;
    const QString target = chainEnd(QFileInfo(path).absoluteFilePath(), old, exists, error);
    if (target.isEmpty())
        return false;
    // Replacing a device node or a folder by a file would destroy it (as root, /dev/null).
    if (exists && !S_ISREG(old.st_mode))
        return fail(QStringLiteral("%1 is not a regular file").arg(target));
    const QFileInfo targetInfo(target);
    const QByteArray targetName = QFile::encodeName(target);
    const QByteArray folder = QFile::encodeName(targetInfo.absolutePath());

    QByteArray tempName = folder + '/' + '.' + QFile::encodeName(targetInfo.fileName()) + ".XXXXXX";
    const int fd = ::mkostemp(tempName.data(), O_CLOEXEC);
    if (fd < 0)
        return fail(systemError(
            QStringLiteral("cannot create a file in %1").arg(targetInfo.absolutePath()), errno));

    bool ok = true;
    QString reason;
    auto step = [&](bool done, const QString& what) {
        if (ok && !done) {
            ok = false;
            reason = systemError(what, errno);
        }
    };
    step(writeAll(fd, data.constData(), data.size()), QStringLiteral("cannot write"));
    if (exists) {
        // Owner and group can only be kept by a privileged user; a failure there is not one
        // of the save.
        if (old.st_uid != ::geteuid() || old.st_gid != ::getegid()) {
            const int kept = ::fchown(fd, old.st_uid, old.st_gid);
            Q_UNUSED(kept);
        }
        step(::fchmod(fd, old.st_mode & 07777) == 0, QStringLiteral("cannot set permissions"));
    } else {
        step(::fchmod(fd, 0666 & ~currentUmask()) == 0, QStringLiteral("cannot set permissions"));
    }
    step(::fsync(fd) == 0, QStringLiteral("cannot flush to disk"));
    step(::close(fd) == 0, QStringLiteral("cannot close"));
    step(ok && ::rename(tempName.constData(), targetName.constData()) == 0,
         QStringLiteral("cannot replace %1").arg(targetInfo.absoluteFilePath()));
    if (!ok) {
        ::unlink(tempName.constData());
        return fail(reason);
    }
    syncFolder(folder);
    return true;
}

} // namespace zorvan
