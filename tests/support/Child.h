#pragma once

#include <QObject>
#include <QString>

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

} // namespace zorvan::test
