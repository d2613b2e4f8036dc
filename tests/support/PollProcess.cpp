#include "PollProcess.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <signal.h>
#include <unistd.h>

namespace zorvan::test {

namespace {

QByteArray readProcFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

int summaryValue(const QString& text, const QString& name) {
    const QRegularExpression summary(QStringLiteral("requests: (\\d+), errors: (\\d+)"));
    const QRegularExpressionMatch match = summary.match(text);
    if (!match.hasMatch())
        return -1;
    return match.captured(name == QLatin1String("requests") ? 1 : 2).toInt();
}

} // namespace

PollProcess::PollProcess() {
    QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] { readOutput(); });
    QObject::connect(&m_process, &QProcess::readyReadStandardError,
                     [this] { m_stderr += QString::fromUtf8(m_process.readAllStandardError()); });
}

PollProcess::~PollProcess() {
    QObject::disconnect(&m_process, nullptr, nullptr, nullptr);
    if (running()) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool PollProcess::start(const QStringList& arguments) {
#ifdef ZORVAN_CTL_PATH
    m_process.setProcessEnvironment(environment);
    m_clock.start();
    m_process.start(QStringLiteral(ZORVAN_CTL_PATH),
                    QStringList{QStringLiteral("poll")} + arguments);
    return m_process.waitForStarted(15000);
#else
    Q_UNUSED(arguments);
    return false;
#endif
}

int PollProcess::stop(int signal, int timeoutMs) {
    if (running()) {
        ::kill(pid_t(m_process.processId()), signal);
        if (!m_process.waitForFinished(timeoutMs)) {
            m_process.kill();
            m_process.waitForFinished(timeoutMs);
            return -1;
        }
    }
    readOutput();
    m_stderr += QString::fromUtf8(m_process.readAllStandardError());
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

void PollProcess::readOutput() {
    m_pending += m_process.readAllStandardOutput();
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QByteArray line = m_pending.left(end);
        m_pending.remove(0, end + 1);
        readLine(line);
    }
}

void PollProcess::readLine(const QByteArray& text) {
    QStringList fields = QString::fromUtf8(text).split(QLatin1Char(','));
    if (m_header.isEmpty()) {
        m_header = fields.mid(1);
        return;
    }
    Line line;
    line.time = QDateTime::fromString(fields.takeFirst(), Qt::ISODateWithMs);
    line.fields = fields;
    line.arrivedMs = m_clock.elapsed();
    if (!line.time.isValid() || line.fields.size() != m_header.size()) {
        ++m_malformed;
        return;
    }
    if (m_lastLineMs >= 0)
        m_longestGapMs = std::max(m_longestGapMs, line.arrivedMs - m_lastLineMs);
    m_lastLineMs = line.arrivedMs;
    ++m_lines;
    if (onLine)
        onLine(line);
}

qint64 PollProcess::residentKiB() const {
    if (!running())
        return -1;
    const QByteArray status =
        readProcFile(QStringLiteral("/proc/%1/status").arg(m_process.processId()));
    for (const QByteArray& line : status.split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

double PollProcess::cpuMs() const {
    if (!running())
        return -1;
    // Nanoseconds on the processor, summed over the threads (schedstat); clock ticks of
    // /proc/PID/stat are too coarse for a process that mostly waits.
    const QString tasks = QStringLiteral("/proc/%1/task").arg(m_process.processId());
    double total = 0;
    bool any = false;
    for (const QString& task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QByteArray stat = readProcFile(tasks + QLatin1Char('/') + task + "/schedstat");
        bool ok = false;
        const double ns = stat.split(' ').value(0).toDouble(&ok);
        if (ok) {
            total += ns / 1e6;
            any = true;
        }
    }
    if (any)
        return total;
    const QByteArray stat =
        readProcFile(QStringLiteral("/proc/%1/stat").arg(m_process.processId()));
    // The fields after the command name in parentheses: utime and stime are the 12th and 13th.
    const QList<QByteArray> fields = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    const double ticks = fields[11].toDouble() + fields[12].toDouble();
    return ticks * 1000.0 / double(sysconf(_SC_CLK_TCK));
}

int PollProcess::requests() const {
    return summaryValue(m_stderr, QStringLiteral("requests"));
}

int PollProcess::errors() const {
    return summaryValue(m_stderr, QStringLiteral("errors"));
}

} // namespace zorvan::test
