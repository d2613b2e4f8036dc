#pragma once

#include "FaultInjector.h"

#include <QString>
#include <QStringList>

namespace zorvan::devsim {

// The simulator's command line.
struct Options {
    int address = 1;
    int capacity = 64;
    int comPort = 0; // 0: no ports/COMn link
    QString cataloguePath;
    QString flashPath;
    FaultSettings faults;
    bool seedGiven = false;
    int wireBaud = 0;
    bool log = false;
};

enum class ParseResult { Run, ExitOk, ExitError };

// Parses arguments (argv[0] first). Prints help or errors itself.
ParseResult parseOptions(const QStringList& arguments, Options* options);

} // namespace zorvan::devsim
