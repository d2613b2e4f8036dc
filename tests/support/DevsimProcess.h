#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <csignal>

namespace zorvan::test {

// The device simulator (zorvan-devsim) as a child process: started with the given options, it
// is ready once its first line has named its pseudo-terminal. Standard error goes to a file, so
// a busy --log never blocks the simulator while the test waits in a blocking call.
class DevsimProcess {
public:
    DevsimProcess();
    ~DevsimProcess();
    DevsimProcess(const DevsimProcess&) = delete;
    DevsimProcess& operator=(const DevsimProcess&) = delete;

    // Path of the simulator binary; empty when the build has none.
    static QString program();

    // Environment of the next start (defaults to the test's own).
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();

    // Starts and waits for the first line. False (see errorText) when the simulator did not
    // come up, for example because it refused its options.
    bool start(const QStringList& arguments, int timeoutMs = 15000);
    // Waits for the simulator to end by itself (after refusing its options).
    bool waitForExit(int timeoutMs = 15000);

    // Sends the signal and waits for the end. Exit code, or -1 when it crashed or hung.
    int stop(int signal = SIGTERM, int timeoutMs = 15000);

    bool running() const { return m_process.state() != QProcess::NotRunning; }
    // Process id while running (0 otherwise), for signalling it from another thread.
    qint64 processId() const { return m_process.processId(); }
    int exitCode() const { return m_process.exitCode(); }
    QProcess::ExitStatus exitStatus() const { return m_process.exitStatus(); }
    const QString& firstLine() const { return m_firstLine; }
    const QString& ptyPath() const { return m_ptyPath; }
    QString errorText() const { return m_errorText; }
    // Everything written to standard error so far.
    QString standardError() const;
    // Standard output after the first line (the simulator writes nothing more there).
    QByteArray remainingOutput() { return m_process.readAllStandardOutput(); }

private:
    QProcess m_process;
    QTemporaryDir m_scratch;
    QString m_firstLine;
    QString m_ptyPath;
    QString m_errorText;
};

} // namespace zorvan::test
