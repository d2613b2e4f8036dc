#include "PtyPeer.h"

#include <QElapsedTimer>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <utility>

namespace zorvan::test {

PtyPeer::PtyPeer() {
    char name[128] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0)
        return;
    m_slavePath = QString::fromLocal8Bit(name);
    termios t{};
    ::tcgetattr(m_slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(m_slave, TCSANOW, &t);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
}

PtyPeer::~PtyPeer() {
    stop();
    for (int fd : {m_master, m_slave})
        if (fd >= 0)
            ::close(fd);
}

PtyPeer& PtyPeer::expect(const QByteArray& bytes, int timeoutMs) {
    m_steps.push_back([=, this] {
        const QByteArray got = readUpTo(std::max<qsizetype>(bytes.size(), 1), timeoutMs);
        std::lock_guard lock(m_mutex);
        if (got != bytes)
            m_failures << "expected " + bytes.toHex(' ') + ", got " + got.toHex(' ');
    });
    return *this;
}

PtyPeer& PtyPeer::send(const QByteArray& bytes, int delayMs, int pieceSize) {
    const qsizetype piece = pieceSize > 0 ? pieceSize : bytes.size();
    m_steps.push_back([=, this] {
        for (qsizetype at = 0; at < bytes.size() && sleepFor(delayMs); at += piece)
            if (::write(m_master, bytes.constData() + at, std::min(piece, bytes.size() - at)) < 0)
                break; // a pty takes far more than a reply at once
    });
    return *this;
}

PtyPeer& PtyPeer::hangUp(int delayMs) {
    m_steps.push_back([=, this] {
        if (sleepFor(delayMs))
            ::close(std::exchange(m_master, -1));
    });
    return *this;
}

void PtyPeer::start() {
    m_run = std::async(std::launch::async, [this] {
        for (const auto& step : m_steps)
            if (!m_stop && m_master >= 0)
                step();
    });
}

void PtyPeer::stop() {
    m_stop = true; // a sleep that misses the wake-up ends at its own time
    m_changed.notify_all();
    if (m_run.valid())
        m_run.wait();
}

bool PtyPeer::wait(int timeoutMs) {
    return m_run.valid() &&
           m_run.wait_for(std::chrono::milliseconds(timeoutMs)) == std::future_status::ready;
}

QStringList PtyPeer::failures() const {
    std::lock_guard lock(m_mutex);
    return m_failures;
}

bool PtyPeer::sleepFor(int ms) {
    std::unique_lock lock(m_mutex);
    return !m_changed.wait_for(lock, std::chrono::milliseconds(ms),
                               [this] { return m_stop.load(); });
}

QByteArray PtyPeer::readUpTo(qsizetype count, int timeoutMs) {
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    for (pollfd p{m_master, POLLIN, 0};
         got.size() < count && !m_stop && !clock.hasExpired(timeoutMs);) {
        if (::poll(&p, 1, 20) <= 0) // short waits, so that a stop is noticed
            continue;
        char buffer[512];
        const ssize_t n = ::read(m_master, buffer, std::min<qsizetype>(512, count - got.size()));
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        got.append(buffer, std::max<ssize_t>(n, 0));
    }
    return got;
}

} // namespace zorvan::test
