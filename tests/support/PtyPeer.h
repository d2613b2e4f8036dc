#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <future>
#include <mutex>
#include <vector>

namespace zorvan::test {

// A scripted raw peer on the master side of a pseudo-terminal. The code under test opens
// slavePath() as its serial port and may block there, while the script runs on a thread of
// its own: expect these bytes, answer those bytes (whole, in pieces with gaps, late, or not at
// all), hang up. The peer keeps a descriptor of the slave side open, so the line stays up
// while the code under test closes and reopens the port.
class PtyPeer {
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }

    // Script steps, added before start(); times in milliseconds.
    // Reads bytes.size() bytes (for at most timeoutMs) and records a failure when they differ;
    // with no bytes, anything coming within timeoutMs is a failure.
    PtyPeer& expect(const QByteArray& bytes, int timeoutMs = 5000);
    // Writes the bytes after delayMs; with pieceSize > 0 in pieces of that size, each one
    // delayMs after the one before.
    PtyPeer& send(const QByteArray& bytes, int delayMs = 0, int pieceSize = 0);
    // Closes the master side after delayMs: the code under test sees a hang-up.
    PtyPeer& hangUp(int delayMs = 0);

    void start();
    // Waits for the script to end; false when it was still running after timeoutMs.
    bool wait(int timeoutMs = 10000);
    // Ends the script at once (the destructor does it too).
    void stop();
    // What went differently from the script.
    QStringList failures() const;

    // "01 03 30 00" -> bytes.
    static QByteArray hex(const char* text) { return QByteArray::fromHex(text); }

private:
    // Sleeps ms unless stopped; false when stopped.
    bool sleepFor(int ms);
    QByteArray readUpTo(qsizetype count, int timeoutMs);

    int m_master = -1, m_slave = -1;
    QString m_slavePath;
    std::vector<std::function<void()>> m_steps;
    std::future<void> m_run;
    std::atomic<bool> m_stop{false};
    std::condition_variable m_changed; // of m_stop
    mutable std::mutex m_mutex;
    QStringList m_failures;
};

} // namespace zorvan::test
