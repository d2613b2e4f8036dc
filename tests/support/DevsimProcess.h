#pragma once

#include <QProcess>
#include <QTemporaryDir>
#include <csignal>

namespace zorvan::test {

// The device simulator (zorvan-devsim) as a child process: started with the given options, it
// is ready once its first line has named its pseudo-terminal. Standard error goes to a file, so
// a busy --log never blocks the simulator while the test waits in a blocking call.
class DevsimProcess {
public:
    // Stopped as by the user, so that a build with coverage counts its run.
    ~DevsimProcess() { stop(SIGTERM, 5000); }

    // Path of the simulator binary; empty when the build has none.
    static QString program();

    // Environment of the next start (the test's own when the object was made).
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

    // Starts and waits for the first line. False (see errorText) when the simulator did not
    // come up, for example because it refused its options and ended.
    bool start(const QStringList& arguments, int timeoutMs = 15000);
    // Sends the signal (none when the simulator has ended by itself) and waits for the end: the
    // exit code, or -1 after a crash, a kill or a hang.
    int stop(int signal = SIGTERM, int timeoutMs = 15000);

    bool running() const { return m_process.state() != QProcess::NotRunning; }
    qint64 processId() const { return m_process.processId(); }
    const QString& ptyPath() const { return m_ptyPath; }
    const QString& errorText() const { return m_errorText; }
    // Everything written to standard error so far.
    QString standardError() const;

private:
    QProcess m_process;
    QTemporaryDir m_scratch;
    QString m_ptyPath;
    QString m_errorText;
};

} // namespace zorvan::test
