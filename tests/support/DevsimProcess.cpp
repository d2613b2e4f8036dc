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
    QFile file(m_scratch.filePath(QStringLiteral("stderr.txt")));
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

bool DevsimProcess::start(const QStringList& arguments, int timeoutMs) {
    m_firstLine.clear();
    m_ptyPath.clear();
    m_errorText.clear();
    if (program().isEmpty()) {
        m_errorText = QStringLiteral("no simulator in this build");
        return false;
    }
    m_process.setProcessEnvironment(environment);
    m_process.setStandardErrorFile(m_scratch.filePath(QStringLiteral("stderr.txt")));
    m_process.start(program(), arguments);
    if (!m_process.waitForStarted(timeoutMs)) {
        m_errorText = m_process.errorString();
        return false;
    }
    QDeadlineTimer deadline(timeoutMs);
    while (!m_process.canReadLine()) {
        if (deadline.hasExpired() || !m_process.waitForReadyRead(int(deadline.remainingTime()))) {
            if (m_process.canReadLine()) {
                break;
            }
            m_errorText = QStringLiteral("no first line; stderr: ") + standardError();
            return false;
        }
    }
    m_firstLine = QString::fromLocal8Bit(m_process.readLine()).trimmed();
    m_ptyPath = m_firstLine.section(QLatin1Char(' '), -1);
    return true;
}

bool DevsimProcess::waitForExit(int timeoutMs) {
    return !running() || m_process.waitForFinished(timeoutMs);
}

int DevsimProcess::stop(int signal, int timeoutMs) {
    if (!running()) {
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }
    ::kill(pid_t(m_process.processId()), signal);
    if (!m_process.waitForFinished(timeoutMs)) {
        m_process.kill();
        m_process.waitForFinished(timeoutMs);
        return -1;
    }
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

} // namespace zorvan::test
