#pragma once

#include <QByteArray>
#include <QString>

namespace zorvan {

// Writes data to path so that at every instant either the old or the new complete file
// exists: a temporary file in the same folder, fsync, rename over the target. A chain of
// symbolic links is followed to its end, and the regular file there is replaced (or created,
// when the end does not exist yet); any other end (a device, a FIFO, a folder, a loop) is
// refused. The new file keeps the old one's permission bits (new files get 0666 less the
// umask). Returns false and leaves the target untouched on any failure; error then names the
// reason.
bool writeFileAtomically(const QString& path, const QByteArray& data, QString* error = nullptr);

// True when path (a symbolic link followed) is an existing file whose permission bits give the
// effective user no write permission: the owner's bits when the user owns it, else the group's
// when the user is in its group, else the others'. Judged by the bits alone, since root may
// write anyway and writeFileAtomically replaces the file rather than writing into it.
bool isWriteProtected(const QString& path);

} // namespace zorvan
