#include "comm/SerialPortDriver.h"

#include "components/ConfigPaths.h"

#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace zorvan {

namespace {

using Clock = std::chrono::steady_clock;

constexpr quint32 MinQueueSize = 128;
constexpr quint32 MaxQueueSize = 8192;
constexpr quint16 MinPollingDelay = 5;

// Milliseconds left of a time-out that started at `since`, rounded up; 0 when it is over.
int remainingMs(Clock::time_point since, quint32 timeoutMs) {
    const auto left = since + std::chrono::milliseconds(timeoutMs) - Clock::now();
    if (left <= Clock::duration::zero())
        return 0;
    const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(ms, 0x7fffffff));
}

// Waits for `events` on fd for at most ms: the revents, 0 on time-out, -1 when interrupted.
short waitFor(int fd, short events, int ms) {
    pollfd p{fd, events, 0};
    const int rc = ::poll(&p, 1, ms);
    if (rc < 0)
        return -1;
    return rc > 0 ? p.revents : 0;
}

bool wouldBlock(int error) {
    return error == EAGAIN || error == EWOULDBLOCK;
}

} // namespace

quint32 BaudRateBits(TBaudRate rate) {
    static constexpr quint32 bits[] = {0,     110,   300,   600,   1200,  2400,   4800,   9600,
                                       14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
    const auto i = static_cast<std::size_t>(rate);
    return i < std::size(bits) ? bits[i] : 0;
}

QString SerialDevicePath(quint8 n) {
    const QFileInfo link(portsFolder() + QStringLiteral("/COM%1").arg(n));
    if (link.isSymLink())
        return link.symLinkTarget();
    return QStringLiteral("/dev/ttyS%1").arg(int(n) - 1);
}

TSerialPortDriver::TSerialPortDriver(QObject* parent)
    : QObject(parent), m_portName(SerialDevicePath(m_port)), m_pollTimer(new QTimer) {
    resizeReceiveBuffer();
    connect(m_pollTimer.get(), &QTimer::timeout, this, [this] { PollTick(); });
}

TSerialPortDriver::~TSerialPortDriver() {
    ClosePort();
}

void TSerialPortDriver::setPort(quint8 port) {
    if (IsOpen())
        return;
    m_port = port;
    if (port != 0)
        m_portName = SerialDevicePath(port);
}

void TSerialPortDriver::setPortName(const QString& name) {
    if (IsOpen())
        return;
    m_port = 0;
    m_portName = name;
}

void TSerialPortDriver::setBaudRate(TBaudRate rate) {
    m_baudRate = rate;
    if (rate != TBaudRate::brCustom)
        m_baudRateValue = BaudRateBits(rate);
    if (IsOpen())
        ApplyLineSettings();
}

void TSerialPortDriver::setBaudRateValue(quint32 value) {
    m_baudRate = TBaudRate::brCustom;
    m_baudRateValue = value;
    if (IsOpen())
        ApplyLineSettings();
}

void TSerialPortDriver::setDataBits(TDataBits bits) {
    m_dataBits = bits;
    if (IsOpen())
        ApplyLineSettings();
}

void TSerialPortDriver::setStopBits(TStopBits bits) {
    m_stopBits = bits;
    if (IsOpen())
        ApplyLineSettings();
}

void TSerialPortDriver::setParity(TParity parity) {
    m_parity = parity;
    if (IsOpen())
        ApplyLineSettings();
}

void TSerialPortDriver::setHwFlow(THwFlowControl flow) {
    m_hwFlow = flow;
    if (IsOpen())
        ApplyLineSettings();
}

void TSerialPortDriver::setSwFlow(TSwFlowControl flow) {
    m_swFlow = flow;
    if (IsOpen())
        ApplyLineSettings();
}

void TSerialPortDriver::setInBufSize(quint32 size) {
    if (IsOpen())
        return;
    m_inBufSize = std::clamp(size, MinQueueSize, MaxQueueSize);
    resizeReceiveBuffer();
}

void TSerialPortDriver::setOutBufSize(quint32 size) {
    if (IsOpen())
        return;
    m_outBufSize = std::clamp(size, MinQueueSize, MaxQueueSize);
}

void TSerialPortDriver::setPacketSize(qint16 size) {
    m_packetSize = size;
    resizeReceiveBuffer();
}

void TSerialPortDriver::resizeReceiveBuffer() {
    // A packet is read whole into the buffer, so it must hold the larger of the two.
    const std::size_t packet = m_packetSize > 0 ? std::size_t(m_packetSize) : 0;
    m_receiveBuffer.assign(std::max<std::size_t>(m_inBufSize, packet), 0);
}

void TSerialPortDriver::setPollingDelay(quint16 ms) {
    ms = std::max(ms, MinPollingDelay);
    if (ms == m_pollingDelay)
        return;
    m_pollingDelay = ms;
    if (IsOpen())
        m_pollTimer->start(m_pollingDelay);
}

bool TSerialPortDriver::OpenPort() {
    if (IsOpen())
        return true;
    m_openError.clear();
    if (m_port != 0)
        m_portName = SerialDevicePath(m_port);
    const QByteArray path = QFile::encodeName(m_portName);
    if (path.isEmpty())
        return refuseOpen(QStringLiteral("no device path"));
    int fd;
    do {
        fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return refuseOpen(QString::fromLocal8Bit(std::strerror(errno)));
    // No sharing: nobody else may open the port while we hold it.
    if (::ioctl(fd, TIOCEXCL) < 0) {
        const int error = errno;
        ::close(fd);
        return refuseOpen(error == ENOTTY ? QStringLiteral("not a terminal")
                                          : QString::fromLocal8Bit(std::strerror(error)));
    }
    m_fd = fd;
    m_lineLost = false;
    m_foundState = SaveLineState(fd);
    if (!ApplyLineSettings()) {
        ClosePort();
        return refuseOpen(QStringLiteral("the line settings were refused"));
    }
    m_pollTimer->start(m_pollingDelay);
    return true;
}

bool TSerialPortDriver::refuseOpen(const QString& reason) {
    const QString where =
        m_port != 0 ? QStringLiteral("COM%1 → %2").arg(m_port).arg(m_portName) : m_portName;
    m_openError = where + QStringLiteral(": ") + reason;
    return false;
}

void TSerialPortDriver::ClosePort() {
    if (!IsOpen())
        return;
    m_pollTimer->stop();
    if (m_foundState && !m_lineLost)
        RestoreLineState(m_fd, *m_foundState);
    m_foundState.reset();
    // The exclusive mark stays on the terminal after close (a pty outlives us): lift it.
    ::ioctl(m_fd, TIOCNXCL);
    ::close(m_fd);
    m_fd = -1;
    m_packetStart.reset();
}

TSerialLineSettings TSerialPortDriver::LineSettings() const {
    TSerialLineSettings s;
    s.BaudRate = m_baudRateValue;
    s.ByteSize = static_cast<std::uint8_t>(static_cast<int>(m_dataBits) + 5);
    s.Parity = static_cast<std::uint8_t>(m_parity);
    s.StopBits = static_cast<std::uint8_t>(m_stopBits);
    s.Dtr = m_enableDtrOnOpen;
    s.RtsOn = m_hwFlow == THwFlowControl::hfNONERTSON;
    s.RtsCtsHandshake = m_hwFlow == THwFlowControl::hfRTSCTS;
    s.XonXoff = m_swFlow == TSwFlowControl::sfXONXOFF;
    s.XonLim = static_cast<std::uint16_t>(m_inBufSize / 4);
    s.XoffLim = s.XonLim;
    s.XonChar = 17;
    s.XoffChar = 19;
    return s;
}

bool TSerialPortDriver::ApplyLineSettings() {
    if (!IsOpen())
        return false;
    if (!WriteLineSettings(m_fd, LineSettings()))
        return false;
    // The queue sizes have nothing to be handed to: they are kept as numbers.
    return PurgeQueues(true, true);
}

bool TSerialPortDriver::PurgeQueues(bool input, bool output) {
    if (!IsOpen())
        return false;
    if (input || output) {
        const int which = input && output ? TCIOFLUSH : (input ? TCIFLUSH : TCOFLUSH);
        if (::tcflush(m_fd, which) < 0)
            return false;
    }
    m_packetStart.reset();
    return true;
}

quint32 TSerialPortDriver::BytesWaiting() const {
    if (!IsOpen())
        return 65535;
    int n = 0;
    if (::ioctl(m_fd, FIONREAD, &n) < 0 || n < 0)
        return 0;
    return static_cast<quint32>(n);
}

qint16 TSerialPortDriver::OutputRoom() const {
    if (!IsOpen())
        return -1;
    int queued = 0;
    if (::ioctl(m_fd, TIOCOUTQ, &queued) < 0 || queued < 0)
        queued = 0;
    const long long room = static_cast<long long>(m_outBufSize) - queued;
    return static_cast<qint16>(std::clamp<long long>(room, -32768, 32767));
}

TLineState TSerialPortDriver::ModemLines() const {
    TLineState lines;
    int bits = 0;
    if (!IsOpen() || ::ioctl(m_fd, TIOCMGET, &bits) < 0)
        return lines;
    if (bits & TIOCM_CTS)
        lines |= TModemLine::CTS;
    if (bits & TIOCM_DSR)
        lines |= TModemLine::DSR;
    if (bits & TIOCM_RNG)
        lines |= TModemLine::RING;
    if (bits & TIOCM_CAR)
        lines |= TModemLine::RLSD;
    return lines;
}

int TSerialPortDriver::WriteBytes(const void* data, int size) {
    return WriteBytes(data, size, m_outputTimeout);
}

int TSerialPortDriver::WriteBytes(const void* data, int size, quint32 timeoutMs) {
    if (!IsOpen() || data == nullptr || size <= 0)
        return 0;
    const auto* bytes = static_cast<const quint8*>(data);
    int total = 0;
    auto lastProgress = Clock::now();
    while (total < size) {
        const int room = OutputRoom();
        if (room > 0) {
            if (m_checkLineStatus && !ModemLines())
                break;
            const ssize_t n = ::write(m_fd, bytes + total, std::min(room, size - total));
            if (n > 0) {
                total += static_cast<int>(n);
                lastProgress = Clock::now();
                continue;
            }
            if (n < 0 && errno == EINTR)
                continue;
            if (n == 0 || !wouldBlock(errno)) {
                m_lineLost = true; // the device is gone: no point in waiting
                break;
            }
            const int wait = remainingMs(lastProgress, timeoutMs);
            if (wait == 0)
                break;
            const short ev = waitFor(m_fd, POLLOUT, wait);
            if (ev > 0 && (ev & (POLLERR | POLLNVAL)) != 0)
                break;
        } else {
            // Our own bound on the output queue is reached while the kernel may still take
            // more, so poll() would not wait: sleep for the time the line needs to drain it.
            const int wait = remainingMs(lastProgress, timeoutMs);
            if (wait == 0)
                break;
            const int drain = std::max(1, RxTime(1 - room));
            ::poll(nullptr, 0, std::min(wait, drain));
        }
    }
    return total;
}

int TSerialPortDriver::ReadBytes(void* buffer, int size) {
    return ReadBytes(buffer, size, m_inputTimeout);
}

int TSerialPortDriver::ReadBytes(void* buffer, int size, quint32 firstWaitMs) {
    if (!IsOpen() || buffer == nullptr || size <= 0)
        return 0;
    SuspendPolling();
    auto* bytes = static_cast<quint8*>(buffer);
    int total = 0;
    auto lastByte = Clock::now();
    while (total < size) {
        // Wait for input first (poll() returns at once when some is queued): a reply is never
        // there yet right after its request, so this saves a futile read().
        const quint32 timeout = total == 0 ? firstWaitMs : m_inputTimeout;
        const short ev = waitFor(m_fd, POLLIN, remainingMs(lastByte, timeout));
        if (ev == 0)
            break; // the time-out passed without a new byte
        if (ev < 0)
            continue; // interrupted
        const ssize_t n = ::read(m_fd, bytes + total, static_cast<size_t>(size - total));
        if (n > 0) {
            total += static_cast<int>(n);
            lastByte = Clock::now();
            continue;
        }
        // 0 is the end of a hung-up terminal; any error but "nothing queued" means the device
        // is gone. Either way no byte will come.
        if (n == 0 || (errno != EINTR && !wouldBlock(errno)) ||
            (ev & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
            m_lineLost = true;
            break;
        }
    }
    ResumePolling();
    return total;
}

int TSerialPortDriver::RxTime(int n) const {
    if (m_baudRateValue == 0)
        return 0;
    return static_cast<int>(std::lround(n / (m_baudRateValue / 10.0) * 1000.0));
}

int TSerialPortDriver::WireTimeMs(int n) const {
    if (m_baudRateValue == 0 || n <= 0)
        return 0;
    const long long bits = 11LL * n * 1000;
    return static_cast<int>((bits + m_baudRateValue - 1) / m_baudRateValue);
}

void TSerialPortDriver::PollTick() {
    if (!IsOpen() || m_pollPause > 0)
        return;
    quint32 waiting = BytesWaiting();
    // Reads what is queued without waiting, never more than the receive buffer holds.
    auto take = [this](quint32 count) -> int {
        count = std::min<quint32>(count, static_cast<quint32>(m_receiveBuffer.size()));
        const ssize_t n = ::read(m_fd, m_receiveBuffer.data(), count);
        return n > 0 ? static_cast<int>(n) : 0;
    };

    if (m_packetSize < 1) {
        if (waiting == 0)
            return;
        const int n = take(std::min(waiting, m_inBufSize));
        if (n > 0 && OnReceiveData)
            OnReceiveData(this, m_receiveBuffer.data(), n);
        return;
    }

    const auto packet = static_cast<quint32>(m_packetSize);
    if (waiting >= packet) {
        while (waiting >= packet && IsOpen()) {
            const int n = take(packet);
            if (n > 0 && OnReceivePacket)
                OnReceivePacket(this, m_receiveBuffer.data(), n);
            if (m_packetStart)
                *m_packetStart += std::chrono::milliseconds(RxTime(static_cast<int>(packet)));
            waiting -= packet;
            if (waiting == 0)
                m_packetStart.reset();
        }
        return;
    }

    const auto now = Clock::now();
    if (m_packetTimeout >= 1 && m_packetStart &&
        now - *m_packetStart > std::chrono::milliseconds(m_packetTimeout)) {
        const int n = take(waiting);
        m_packetStart.reset();
        if (m_packetMode == TPacketMode::pmPass && n > 0 && OnReceivePacket)
            OnReceivePacket(this, m_receiveBuffer.data(), n);
    } else if (waiting > 0 && !m_packetStart) {
        m_packetStart = now;
    }
}

} // namespace zorvan
