#pragma once

#include <QDateTime>
#include <QElapsedTimer>
#include <QObject>
#include <QProcess>
#include <QStringList>
#include <csignal>
#include <functional>

namespace zorvan::test {

// `zorvanctl poll` as a child process: its CSV lines parsed as they arrive (while the test's
// event loop runs, for example in QTest::qWait), its standard error kept, and its resident
// memory and CPU time read from /proc while it runs.
class PollProcess {
public:
    struct Line {
        QDateTime time;     // the line's own time column
        QStringList fields; // the channel columns
        qint64 arrivedMs;   // on the process's clock (elapsedMs) when the line was read
    };

    PollProcess();
    ~PollProcess();
    PollProcess(const PollProcess&) = delete;
    PollProcess& operator=(const PollProcess&) = delete;

    // Environment of the next start (defaults to the test's own).
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Called for each data line as it is read; a line that does not parse (no valid time)
    // counts in malformedLines instead.
    std::function<void(const Line&)> onLine;

    // Starts `zorvanctl poll` with these arguments (after "poll").
    bool start(const QStringList& arguments);
    // Sends the signal and waits for the end: the exit code, or -1 after a crash or a hang.
    int stop(int signal = SIGINT, int timeoutMs = 15000);

    bool running() const { return m_process.state() != QProcess::NotRunning; }
    qint64 processId() const { return m_process.processId(); }
    // Milliseconds since start.
    qint64 elapsedMs() const { return m_clock.elapsed(); }

    const QStringList& header() const { return m_header; }
    qint64 lineCount() const { return m_lines; }
    qint64 malformedLines() const { return m_malformed; }
    // elapsedMs of the last data line; -1 before the first.
    qint64 lastLineMs() const { return m_lastLineMs; }
    // The longest time between two data lines so far.
    qint64 longestGapMs() const { return m_longestGapMs; }
    QString standardError() const { return m_stderr; }

    // Resident memory (VmRSS) of the running process in KiB; -1 when it cannot be read.
    qint64 residentKiB() const;
    // CPU time the process has used so far (all its threads), in milliseconds; -1 when it
    // cannot be read.
    double cpuMs() const;

    // From the summary line "requests: N, errors: M" on standard error after the end; -1 when
    // there is none.
    int requests() const;
    int errors() const;

private:
    void readOutput();
    void readLine(const QByteArray& text);

    QProcess m_process;
    QElapsedTimer m_clock;
    QByteArray m_pending;
    QStringList m_header;
    qint64 m_lines = 0;
    qint64 m_malformed = 0;
    qint64 m_lastLineMs = -1;
    qint64 m_longestGapMs = 0;
    QString m_stderr;
};

} // namespace zorvan::test
