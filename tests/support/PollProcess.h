#pragma once

#include <QProcess>
#include <QStringList>
#include <csignal>

namespace zorvan::test {

// `zorvanctl poll` as a child process: its standard output and error collected as they arrive
// (while the test's event loop runs), its memory read from /proc.
class PollProcess {
public:
    PollProcess();
    ~PollProcess();

    // Environment of the next start (the test's own when the object was made).
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

    // Starts `zorvanctl poll` with these arguments (after "poll").
    bool start(const QStringList& arguments);
    // Sends the signal and waits for the end: the exit code, or -1 after a crash or a hang.
    int stop(int signal = SIGINT);
    bool running() const { return m_process.state() != QProcess::NotRunning; }

    // The complete lines so far: the CSV header, then one line a cycle.
    QStringList lines() const {
        return QString::fromUtf8(m_out).split(u'\n').mid(0, m_out.count('\n'));
    }
    QString standardError;
    // VmRSS of the running poll in KiB; -1 when unreadable.
    qint64 residentKiB() const;
    // From the summary "requests: N, errors: M" at the end of the run; -1 before it.
    int requests() const { return count(1); }
    int errors() const { return count(2); }

private:
    int count(int which) const;

    QProcess m_process;
    QByteArray m_out;
};

} // namespace zorvan::test
