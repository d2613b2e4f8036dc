#pragma once

#include <QAbstractItemModel>
#include <QStringList>

namespace zorvan::test {

// The parent's descendant of that object name and type. The windows name every control after
// its member, so a missing one is a fault: it ends the test run with a fatal error.
template <typename T> T* child(const QObject* parent, const char* name) {
    T* found = parent ? parent->findChild<T*>(QString::fromLatin1(name)) : nullptr;
    if (!found)
        qFatal("no child \"%s\" of the type asked for under \"%s\"", name,
               parent ? qPrintable(parent->objectName()) : "(null)");
    return found;
}

template <typename T> T* child(const QObject& parent, const char* name) {
    return child<T>(&parent, name);
}

// The texts of a block of a list's cells, row by row, joined by "|" (last row or column -1: to
// the end), as a compact picture of what a list shows.
inline QString cells(const QAbstractItemModel* m, int row = 0, int lastRow = -1, int column = 0,
                     int lastColumn = -1) {
    QStringList texts;
    for (int r = row; r <= (lastRow < 0 ? m->rowCount() - 1 : lastRow); ++r)
        for (int c = column; c <= (lastColumn < 0 ? m->columnCount() - 1 : lastColumn); ++c)
            texts << m->index(r, c).data().toString();
    return texts.join(u'|');
}

} // namespace zorvan::test
