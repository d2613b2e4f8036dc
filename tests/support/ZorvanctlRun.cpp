#include "ZorvanctlRun.h"

#include <QElapsedTimer>
#include <QProcess>

namespace zorvan::test {

CtlRun runZorvanctl(const QStringList& args, int timeoutMs) {
    QProcess p;
    QElapsedTimer clock;
    clock.start();
    p.start(QStringLiteral(ZORVAN_CTL_PATH), args);
    CtlRun r;
    if (!p.waitForFinished(timeoutMs)) {
        p.kill();
        p.waitForFinished();
        return r;
    }
    r.ms = clock.elapsed();
    r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

} // namespace zorvan::test
