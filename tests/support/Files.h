#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace zorvan::test {

// A file's bytes; "<missing>" when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

// Writes the bytes, making the folders on the way; false when that fails.
inline bool writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) &&
           f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
}

// Everything in a folder, hidden files too, by name.
inline QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

} // namespace zorvan::test
