#include "DevsimProcess.h"

#include <QDeadlineTimer>
#include <QFile>
#include <signal.h>

namespace zorvan::test {

DevsimProcess::DevsimProcess() = default;

DevsimProcess::~DevsimProcess() {
    if (running()) {
        stop(SIGKILL, 5000);
    }
}

QString DevsimProcess::program() {
#ifdef ZORVAN_DEVSIM_PATH
    return QStringLiteral(ZORVAN_DEVSIM_PATH);
#else
    return {};
#endif
}

QString DevsimProcess::standardError() const {
    QFile file(scratch_.filePath(QStringLiteral("stderr.txt")));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

bool DevsimProcess::start(const QStringList& arguments, int timeoutMs) {
    firstLine_.clear();
    ptyPath_.clear();
    errorText_.clear();
    if (program().isEmpty()) {
        errorText_ = QStringLiteral("no simulator in this build");
        return false;
    }
    process_.setProcessEnvironment(environment);
    process_.setStandardErrorFile(scratch_.filePath(QStringLiteral("stderr.txt")));
    process_.start(program(), arguments);
    if (!process_.waitForStarted(timeoutMs)) {
        errorText_ = process_.errorString();
        return false;
    }
    QDeadlineTimer deadline(timeoutMs);
    while (!process_.canReadLine()) {
        if (deadline.hasExpired() || !process_.waitForReadyRead(int(deadline.remainingTime()))) {
            if (process_.canReadLine()) {
                break;
            }
            errorText_ = QStringLiteral("no first line; stderr: ") + standardError();
            return false;
        }
    }
    firstLine_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    ptyPath_ = firstLine_.section(QLatin1Char(' '), -1);
    return true;
}

bool DevsimProcess::waitForExit(int timeoutMs) {
    return !running() || process_.waitForFinished(timeoutMs);
}

int DevsimProcess::stop(int signal, int timeoutMs) {
    if (!running()) {
        return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
    }
    ::kill(pid_t(process_.processId()), signal);
    if (!process_.waitForFinished(timeoutMs)) {
        process_.kill();
        process_.waitForFinished(timeoutMs);
        return -1;
    }
    return process_.exitStatus() == QProcess::NormalExit ? process_.exitCode() : -1;
}

} // namespace zorvan::test
