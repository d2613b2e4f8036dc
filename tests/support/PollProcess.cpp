#include "PollProcess.h"

#include <QFile>
#include <QRegularExpression>
#include <signal.h>

namespace zorvan::test {

PollProcess::PollProcess() {
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput,
                     [this] { m_out += m_process.readAllStandardOutput(); });
    QObject::connect(&m_process, &QProcess::readyReadStandardError, [this] {
        standardError += QString::fromUtf8(m_process.readAllStandardError());
    });
}

PollProcess::~PollProcess() {
    QObject::disconnect(&m_process, nullptr, nullptr, nullptr);
    m_process.kill();
    m_process.waitForFinished(5000);
}

bool PollProcess::start(const QStringList& arguments) {
    m_process.setProcessEnvironment(environment);
    m_process.start(QStringLiteral(ZORVAN_CTL_PATH), QStringList{"poll"} + arguments);
    return m_process.waitForStarted(15000);
}

int PollProcess::stop(int signal) {
    if (running() &&
        (::kill(pid_t(m_process.processId()), signal) != 0 || !m_process.waitForFinished(15000)))
        return -1;
    m_out += m_process.readAllStandardOutput();
    standardError += QString::fromUtf8(m_process.readAllStandardError());
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

qint64 PollProcess::residentKiB() const {
    QFile file(QString("/proc/%1/status").arg(m_process.processId()));
    const QByteArray status = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    const qsizetype at = status.indexOf("VmRSS:");
    return at < 0 ? -1 : status.mid(at + 6).trimmed().split(' ').value(0).toLongLong();
}

int PollProcess::count(int which) const {
    static const QRegularExpression summary("requests: (\\d+), errors: (\\d+)\n$");
    const QRegularExpressionMatch match = summary.match(standardError);
    return match.hasMatch() ? match.captured(which).toInt() : -1;
}

} // namespace zorvan::test
