#pragma once

#include <QString>
#include <QStringList>

namespace zorvan::test {

// One finished run of the zorvanctl binary under test.
struct CtlRun {
    int exitCode = -1; // -1 when it crashed or did not finish in time (then it was killed)
    QString out;
    QString err;
    qint64 ms = 0; // wall time of the run
};

CtlRun runZorvanctl(const QStringList& args, int timeoutMs = 60000);

} // namespace zorvan::test
