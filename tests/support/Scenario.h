#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace zorvan::test {

// One finished run of the zorvanctl binary under test.
struct CtlRun {
    int exitCode = -1; // -1 when it crashed or did not finish in time (then it was killed)
    QString out;
    QString err;
};

CtlRun runZorvanctl(const QStringList& args, int timeoutMs = 60000);

// One channel of a map file: the device's tag index, channel, type code and name.
struct MapChannel {
    int tag;
    int channel;
    int type;
    QString name;
};

// Writes a channel map document (base address 16384) with these byte order options.
bool writeMapFile(const QString& path, quint32 options, const QList<MapChannel>& channels);

// A step of a scenario: a zorvanctl command line or one of the commands below, and the exit
// status, standard output and standard error it must give; an expected text that starts with
// "~" is a regular expression to find instead. $D is the scratch folder, $H the settings folder
// (XDG_CONFIG_HOME), $P the simulator's port.
//   device OPTIONS      (re)starts the simulator with the catalogue (OPTIONS may name another);
//                       when it refuses, its exit status and standard error
//   stop INT|HUP|TERM   stops it with that signal: its exit status
//   log                 its standard error so far
//   mb[@SLAVE] OP ; OP  libmodbus as the host on $P, answer time-out 500 ms. "read A N": the
//                       registers in hex; "write A V..."; "send B...": a request of these bytes
//                       (in hex) and a checksum, the reply's bytes ("post B..." waits for none);
//                       "upload OPTIONS TAG...": the host's map upload, the Errors; "map": the
//                       current map's tag indexes; "atleast MS": since the previous one began.
//                       A failed one gives libmodbus's message.
//   cat FILE, put FILE TEXT, ln TARGET LINK, readlink LINK, chmod OCTAL FILE
//   mkmap FILE OPTIONS TAG...  a map of these catalogue tags
struct Step {
    const char* cmd;
    int exit;
    const char* out;
    const char* err;
};
using Scenario = QList<Step>;

// Runs the steps in fresh folders, the simulator serving this catalogue text; fails the running
// test at the first step that goes otherwise, or that fails and changes a file in either folder.
void runScenario(const Scenario& steps, const char* catalogue);

} // namespace zorvan::test
