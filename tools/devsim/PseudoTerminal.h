#pragma once

#include <QString>

namespace zorvan::devsim {

// A pseudo-terminal pair: the simulator serves the master side, the host opens the slave side
// by its path. The simulator keeps its own descriptor of the slave side open for its whole life:
// without it the master side reports a hang-up whenever no host has the port open.
class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Opens the pair in raw mode (no echo, no line editing) with a non-blocking master side.
    bool open(QString* error);

    int masterFd() const { return m_master; }
    const QString& slavePath() const { return m_slavePath; }

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

} // namespace zorvan::devsim
