#include "DevsimProcess.h"

#include <QFile>
#include <signal.h>

namespace zorvan::test {

QString DevsimProcess::program() {
#ifdef ZORVAN_DEVSIM_PATH
    return QStringLiteral(ZORVAN_DEVSIM_PATH);
#else
    return {};
#endif
}

QString DevsimProcess::standardError() const {
    QFile file(m_scratch.filePath("stderr"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

bool DevsimProcess::start(const QStringList& arguments, int timeoutMs) {
    m_ptyPath.clear();
    m_errorText = QStringLiteral("no simulator in this build");
    if (program().isEmpty())
        return false;
    m_process.setProcessEnvironment(environment);
    m_process.setStandardErrorFile(m_scratch.filePath("stderr"));
    m_process.start(program(), arguments);
    // waitForReadyRead returns false once the process has ended.
    while (!m_process.canReadLine() && m_process.waitForReadyRead(timeoutMs)) {
    }
    m_errorText = m_process.errorString() + QStringLiteral("; stderr: ") + standardError();
    if (!m_process.canReadLine())
        return false;
    m_ptyPath = QString::fromLocal8Bit(m_process.readLine()).trimmed().section(u' ', -1);
    m_errorText.clear();
    return true;
}

int DevsimProcess::stop(int signal, int timeoutMs) {
    if (running()) {
        ::kill(pid_t(m_process.processId()), signal);
        if (!m_process.waitForFinished(timeoutMs)) {
            m_process.kill();
            m_process.waitForFinished(timeoutMs);
            return -1;
        }
    }
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

} // namespace zorvan::test
