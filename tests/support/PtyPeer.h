#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <atomic>
#include <mutex>
#include <thread>
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

    // Script steps, added before start(). Times are in milliseconds.
    // Reads exactly bytes.size() bytes (giving up after timeoutMs) and records a failure when
    // they differ.
    PtyPeer& expect(const QByteArray& bytes, int timeoutMs = 5000);
    // Reads whatever comes within ms.
    PtyPeer& drain(int ms);
    PtyPeer& send(const QByteArray& bytes, int delayMs = 0);
    // Sends the bytes in pieces of pieceSize, waiting gapMs before each piece after the first.
    PtyPeer& sendSplit(const QByteArray& bytes, int pieceSize, int gapMs);
    PtyPeer& pause(int ms);
    // Closes the master side: the code under test sees a hang-up.
    PtyPeer& hangUp(int delayMs = 0);

    void start();
    // Waits for the script to end; false when it was still running after timeoutMs.
    bool wait(int timeoutMs = 10000);
    // Steps finished so far.
    int stepsDone() const { return m_done.load(); }
    // Every byte read from the line, and the mismatches and time-outs of expect steps.
    QByteArray received() const;
    QStringList failures() const;

    // "01 03 30 00" -> bytes.
    static QByteArray hex(const char* text);

private:
    enum class Kind { Expect, Drain, Send, Pause, HangUp };
    struct Step {
        Kind kind;
        QByteArray bytes;
        int ms = 0;
        int pieceSize = 0;
    };

    void run();
    // Sleeps ms unless stopped; false when stopped.
    bool sleepFor(int ms);
    QByteArray readUpTo(int count, int timeoutMs);
    void fail(const QString& text);

    int m_master = -1;
    int m_slave = -1;
    int m_wake[2] = {-1, -1};
    QString m_slavePath;
    std::vector<Step> m_steps;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_finished{false};
    std::atomic<int> m_done{0};
    mutable std::mutex m_mutex;
    QByteArray m_received;
    QStringList m_failures;
};

} // namespace zorvan::test
