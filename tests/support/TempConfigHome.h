#pragma once

#include <QFile>
#include <QTemporaryDir>

namespace zorvan::test {

// Points XDG_CONFIG_HOME at a fresh empty folder for the object's lifetime, so that each case
// starts without a settings store.
class TempConfigHome {
public:
    TempConfigHome() : m_previous(qgetenv("XDG_CONFIG_HOME")) {
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.path()));
    }
    ~TempConfigHome() { qputenv("XDG_CONFIG_HOME", m_previous); }

    QString path() const { return m_dir.path(); }
    // The file of the application's options key.
    QString optionsFile() const { return m_dir.path() + "/Belmat/Quillmark/0/MainOptions.reg"; }

private:
    QTemporaryDir m_dir;
    QByteArray m_previous;
};

} // namespace zorvan::test
