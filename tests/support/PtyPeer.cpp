#include "PtyPeer.h"

#include <QElapsedTimer>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace zorvan::test {

PtyPeer::PtyPeer() {
    char name[128] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(name);
    termios t{};
    ::tcgetattr(m_slave, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(m_slave, TCSANOW, &t);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        m_wake[0] = m_wake[1] = -1;
}

PtyPeer::~PtyPeer() {
    m_stop = true;
    if (m_wake[1] >= 0)
        (void)!::write(m_wake[1], "x", 1);
    if (m_thread.joinable())
        m_thread.join();
    for (int fd : {m_master, m_slave, m_wake[0], m_wake[1]})
        if (fd >= 0)
            ::close(fd);
}

PtyPeer& PtyPeer::expect(const QByteArray& bytes, int timeoutMs) {
    m_steps.push_back({Kind::Expect, bytes, timeoutMs, 0});
    return *this;
}

PtyPeer& PtyPeer::drain(int ms) {
    m_steps.push_back({Kind::Drain, {}, ms, 0});
    return *this;
}

PtyPeer& PtyPeer::send(const QByteArray& bytes, int delayMs) {
    m_steps.push_back({Kind::Send, bytes, delayMs, int(bytes.size())});
    return *this;
}

PtyPeer& PtyPeer::sendSplit(const QByteArray& bytes, int pieceSize, int gapMs) {
    m_steps.push_back({Kind::Send, bytes, gapMs, pieceSize > 0 ? pieceSize : 1});
    return *this;
}

PtyPeer& PtyPeer::pause(int ms) {
    m_steps.push_back({Kind::Pause, {}, ms, 0});
    return *this;
}

PtyPeer& PtyPeer::hangUp(int delayMs) {
    m_steps.push_back({Kind::HangUp, {}, delayMs, 0});
    return *this;
}

void PtyPeer::start() {
    m_finished = false;
    m_thread = std::thread([this] { run(); });
}

bool PtyPeer::wait(int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    while (!m_finished.load()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (m_thread.joinable())
        m_thread.join();
    return true;
}

QByteArray PtyPeer::received() const {
    std::lock_guard lock(m_mutex);
    return m_received;
}

QStringList PtyPeer::failures() const {
    std::lock_guard lock(m_mutex);
    return m_failures;
}

QByteArray PtyPeer::hex(const char* text) {
    return QByteArray::fromHex(QByteArray(text).replace(' ', ""));
}

void PtyPeer::fail(const QString& text) {
    std::lock_guard lock(m_mutex);
    m_failures << text;
}

bool PtyPeer::sleepFor(int ms) {
    if (ms <= 0)
        return !m_stop;
    pollfd p{m_wake[0], POLLIN, 0};
    ::poll(&p, 1, ms);
    return !m_stop;
}

QByteArray PtyPeer::readUpTo(int count, int timeoutMs) {
    QByteArray got;
    QElapsedTimer clock;
    clock.start();
    while (got.size() < count && !m_stop && m_master >= 0) {
        char buffer[512];
        const ssize_t n =
            ::read(m_master, buffer,
                   std::min<std::size_t>(sizeof buffer, std::size_t(count - got.size())));
        if (n > 0) {
            got.append(buffer, n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            break;
        const int left = timeoutMs - int(clock.elapsed());
        if (left <= 0)
            break;
        pollfd p[2] = {{m_master, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        ::poll(p, 2, left);
    }
    std::lock_guard lock(m_mutex);
    m_received += got;
    return got;
}

void PtyPeer::run() {
    for (const Step& step : m_steps) {
        if (m_stop)
            break;
        switch (step.kind) {
        case Kind::Expect: {
            const QByteArray got = readUpTo(int(step.bytes.size()), step.ms);
            if (got != step.bytes)
                fail(QString("expected %1, got %2")
                         .arg(QString::fromLatin1(step.bytes.toHex(' ')),
                              QString::fromLatin1(got.toHex(' '))));
            break;
        }
        case Kind::Drain:
            readUpTo(1 << 20, step.ms);
            break;
        case Kind::Send: {
            const int piece = step.pieceSize > 0 ? step.pieceSize : int(step.bytes.size());
            const bool whole = piece >= step.bytes.size();
            if (whole && !sleepFor(step.ms))
                break;
            for (qsizetype at = 0; at < step.bytes.size() && !m_stop; at += piece) {
                if (!whole && at > 0 && !sleepFor(step.ms))
                    break;
                const QByteArray part = step.bytes.mid(at, piece);
                qsizetype written = 0;
                while (written < part.size() && m_master >= 0) {
                    const ssize_t n = ::write(m_master, part.constData() + written,
                                              std::size_t(part.size() - written));
                    if (n > 0)
                        written += n;
                    else if (n < 0 && errno != EAGAIN && errno != EINTR)
                        break;
                    else
                        sleepFor(1);
                }
            }
            break;
        }
        case Kind::Pause:
            sleepFor(step.ms);
            break;
        case Kind::HangUp:
            if (sleepFor(step.ms) && m_master >= 0) {
                ::close(m_master);
                m_master = -1;
            }
            break;
        }
        ++m_done;
    }
    m_finished = true;
}

} // namespace zorvan::test
