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

} // namespace zorvan
