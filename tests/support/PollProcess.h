#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QProcess>
#include <QStringList>
#include <csignal>
#include <functional>

namespace zorvan::test {

// `zorvanctl poll` as a child process: its CSV lines parsed as they arrive (while the test's
// event loop runs), its standard error kept, its memory read from /proc.
class PollProcess {
public:
    struct Line {
        QDateTime time;     // the line's own time column
        QStringList fields; // the channel columns
    };

    PollProcess();
    ~PollProcess();

    // Environment of the next start (the test's own when the object was made).
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Called for each data line; a line that does not parse counts in malformed instead.
    std::function<void(const Line&)> onLine;

    // Starts `zorvanctl poll` with these arguments (after "poll").
    bool start(const QStringList& arguments);
    // Sends the signal and waits for the end: the exit code, or -1 after a crash or a hang.
    int stop(int signal = SIGINT);
    bool running() const { return m_process.state() != QProcess::NotRunning; }

    QStringList header;
    qint64 lines = 0;
    qint64 malformed = 0;
    QElapsedTimer sinceLine; // restarted at start and at each data line
    QString standardError;

    // VmRSS of the running poll in KiB; -1 when unreadable.
    qint64 residentKiB() const;
    // From the summary "requests: N, errors: M" at the end of the run; -1 before it.
    int requests() const { return count(1); }
    int errors() const { return count(2); }

private:
    int count(int which) const;
    void readOutput();

    QProcess m_process;
    QByteArray m_pending;
};

} // namespace zorvan::test
