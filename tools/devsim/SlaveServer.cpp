#include "SlaveServer.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <modbus.h>
#include <poll.h>
#include <thread>
#include <unistd.h>

namespace zorvan::devsim {

namespace {

constexpr auto stopCheck = std::chrono::milliseconds(50);
constexpr int sendGiveUpMs = 1000;

QString hex(const std::uint8_t* data, int length) {
    return QString::fromLatin1(
        QByteArray(reinterpret_cast<const char*>(data), length).toHex(' ').toUpper());
}

QString hex(const QByteArray& frame) {
    return QString::fromLatin1(frame.toHex(' ').toUpper());
}

void waitUntil(SlaveServer::Clock::time_point due, const volatile std::sig_atomic_t& stop) {
    while (stop == 0) {
        const auto now = SlaveServer::Clock::now();
        if (now >= due) {
            return;
        }
        std::this_thread::sleep_for(std::min<SlaveServer::Clock::duration>(due - now, stopCheck));
    }
}

int word(const std::uint8_t* at) {
    return (at[0] << 8) | at[1];
}

QString requestText(const std::uint8_t* request, int length) {
    if (length < 8) {
        return QStringLiteral("function %1").arg(request[1]);
    }
    const int address = word(request + 2);
    switch (request[1]) {
    case MODBUS_FC_READ_HOLDING_REGISTERS:
        return QStringLiteral("read %1 at %2").arg(word(request + 4)).arg(address);
    case MODBUS_FC_WRITE_SINGLE_REGISTER:
        return QStringLiteral("write 1 at %1").arg(address);
    case MODBUS_FC_WRITE_MULTIPLE_REGISTERS:
        return QStringLiteral("write %1 at %2").arg(word(request + 4)).arg(address);
    default:
        return QStringLiteral("function %1").arg(request[1]);
    }
}

} // namespace

SlaveServer::SlaveServer(int lineFd, int address, DeviceState& device, FaultInjector& faults,
                         WirePacer& pacer, bool log)
    : m_lineFd(lineFd), m_address(address), m_device(device), m_faults(faults), m_pacer(pacer),
      m_log(log) {}

SlaveServer::~SlaveServer() {
    if (m_ctx != nullptr) {
        // Not modbus_close: the line belongs to the pseudo-terminal, the pipe to us.
        modbus_free(m_ctx);
    }
    if (m_mapping != nullptr) {
        modbus_mapping_free(m_mapping);
    }
    for (const int fd : m_pipe) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

bool SlaveServer::open(QString* error) {
    if (::pipe2(m_pipe, O_CLOEXEC) != 0) {
        *error = QStringLiteral("cannot create a pipe: %1")
                     .arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    ::fcntl(m_pipe[0], F_SETFL, ::fcntl(m_pipe[0], F_GETFL) | O_NONBLOCK);
    // Registers are set per request: start and count of the request, values from the device.
    m_mapping = modbus_mapping_new(0, 0, MODBUS_MAX_READ_REGISTERS, 0);
    if (m_mapping == nullptr) {
        *error = QStringLiteral("cannot allocate the register mapping");
        return false;
    }
    return newContext(error);
}

bool SlaveServer::newContext(QString* error) {
    if (m_ctx != nullptr) {
        modbus_free(m_ctx);
    }
    // The path is only a name here: the context is never connected, it serves the line
    // descriptor it is given.
    m_ctx = modbus_new_rtu("/dev/null", 9600, 'N', 8, 1);
    if (m_ctx == nullptr || modbus_set_slave(m_ctx, m_address) != 0 ||
        modbus_set_socket(m_ctx, m_lineFd) != 0 ||
        modbus_set_indication_timeout(m_ctx, 0, 100000) != 0 ||
        modbus_set_byte_timeout(m_ctx, 0, 100000) != 0 ||
        modbus_set_response_timeout(m_ctx, 0, 1000) != 0) {
        *error = QStringLiteral("cannot set up libmodbus: %1")
                     .arg(QString::fromLocal8Bit(modbus_strerror(errno)));
        return false;
    }
    return true;
}

void SlaveServer::run(const volatile std::sig_atomic_t& stop) {
    std::uint8_t request[MODBUS_RTU_MAX_ADU_LENGTH];
    while (stop == 0) {
        const int length = modbus_receive(m_ctx, request);
        const auto seen = Clock::now();
        if (length > 0) {
            serve(request, length, seen, stop);
            continue;
        }
        if (length == 0) {
            // A request for another slave. libmodbus would now take the next frame on the line
            // for that slave's reply and swallow it; a fresh context expects a request again.
            if (m_log) {
                log(QStringLiteral("request for another slave address ignored"));
            }
            QString error;
            if (!newContext(&error)) {
                log(error);
                return;
            }
            continue;
        }
        const int code = errno;
        if (code == ETIMEDOUT || code == EINTR) {
            continue;
        }
        if (m_log) {
            log(QStringLiteral("bad request ignored: %1")
                    .arg(QString::fromLocal8Bit(modbus_strerror(code))));
        }
        if (code != EMBBADCRC && code != EMBBADDATA && code != EMBMDATA) {
            // An error of the line itself: wait a moment rather than spin on it.
            ::poll(nullptr, 0, 100);
        }
    }
}

void SlaveServer::serve(const std::uint8_t* request, int length, Clock::time_point seen,
                        const volatile std::sig_atomic_t& stop) {
    const std::uint64_t number = ++m_requests;
    const FaultPlan plan = m_faults.planFor(number);
    QByteArray reply = buildReply(request, length);
    if (m_log) {
        QString line = QStringLiteral("#%1 rx %2 | %3")
                           .arg(number)
                           .arg(hex(request, length), requestText(request, length));
        const QStringList notes = m_device.takeNotes();
        if (!notes.isEmpty()) {
            line += QStringLiteral(" | ") + notes.join(QStringLiteral("; "));
        }
        log(line);
    } else {
        m_device.takeNotes();
    }
    if (reply.isEmpty()) {
        m_pacer.account(length, 0);
        if (m_log) {
            log(QStringLiteral("#%1 no reply (broadcast)").arg(number));
        }
        return;
    }
    if (plan.drop) {
        m_pacer.account(length, 0);
        if (m_log) {
            log(QStringLiteral("#%1 tx -- | reply %2 dropped").arg(number).arg(hex(reply)));
        }
        return;
    }
    if (plan.wrongAddress) {
        FaultInjector::readdress(reply, m_address);
    }
    if (plan.corrupt) {
        FaultInjector::spoilChecksum(reply);
    }
    const bool sent = sendPaced(
        reply, m_pacer.replyStart(seen, length) + std::chrono::milliseconds(plan.delayMs), stop);
    m_pacer.account(length, sent ? int(reply.size()) : 0);
    if (sent) {
        ++m_replies;
    }
    if (m_log) {
        QString line = QStringLiteral("#%1 tx %2").arg(number).arg(hex(reply));
        if (!sent) {
            line += QStringLiteral(" | not sent: the line does not take it");
        } else if (plan.any()) {
            line += QStringLiteral(" | ") + plan.text();
        }
        if (reply.size() >= 3 && (std::uint8_t(reply[1]) & 0x80) != 0) {
            line += QStringLiteral(" | exception %1").arg(std::uint8_t(reply[2]));
        }
        if (m_pacer.enabled()) {
            line += QStringLiteral(" | wire %1 ms in all").arg(m_pacer.totalMs(), 0, 'f', 3);
        }
        log(line);
    }
}

QByteArray SlaveServer::buildReply(const std::uint8_t* request, int length) {
    const bool broadcast = request[0] == MODBUS_BROADCAST_ADDRESS;
    modbus_set_socket(m_ctx, m_pipe[1]);
    const auto exception = [&](unsigned code) { modbus_reply_exception(m_ctx, request, code); };
    const int function = request[1];
    const int address = length >= 6 ? word(request + 2) : 0;
    int count = 0;
    bool writes = false;
    bool valid = true;
    switch (function) {
    case MODBUS_FC_READ_HOLDING_REGISTERS:
        count = word(request + 4);
        valid = count >= 1 && count <= MODBUS_MAX_READ_REGISTERS;
        break;
    case MODBUS_FC_WRITE_SINGLE_REGISTER:
        count = 1;
        writes = true;
        break;
    case MODBUS_FC_WRITE_MULTIPLE_REGISTERS:
        count = word(request + 4);
        writes = true;
        valid = count >= 1 && count <= MODBUS_MAX_WRITE_REGISTERS && request[6] == 2 * count;
        break;
    default:
        exception(MODBUS_EXCEPTION_ILLEGAL_FUNCTION);
        modbus_set_socket(m_ctx, m_lineFd);
        return broadcast ? QByteArray() : captured();
    }
    m_mapping->start_registers = address;
    m_mapping->nb_registers = count;
    if (!valid) {
        exception(MODBUS_EXCEPTION_ILLEGAL_DATA_VALUE);
    } else if (!m_device.read(std::uint16_t(address), count, m_mapping->tab_registers)) {
        exception(MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
    } else if (modbus_reply(m_ctx, request, length, m_mapping) >= 0 && writes) {
        // libmodbus has put the written values into the mapping and built its echo; the
        // device now does what the writes mean.
        const WriteOutcome outcome =
            m_device.write(std::uint16_t(address), m_mapping->tab_registers, count);
        if (outcome != WriteOutcome::Done) {
            captured(); // the echo is not the answer
            exception(outcome == WriteOutcome::DeviceFailure
                          ? MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE
                          : MODBUS_EXCEPTION_ILLEGAL_DATA_ADDRESS);
        }
    }
    modbus_set_socket(m_ctx, m_lineFd);
    QByteArray reply = captured();
    return broadcast ? QByteArray() : reply;
}

QByteArray SlaveServer::captured() {
    QByteArray frame;
    char buffer[MODBUS_RTU_MAX_ADU_LENGTH];
    for (;;) {
        const ssize_t n = ::read(m_pipe[0], buffer, sizeof buffer);
        if (n <= 0) {
            break;
        }
        frame.append(buffer, n);
    }
    return frame;
}

bool SlaveServer::sendPaced(const QByteArray& reply, Clock::time_point start,
                            const volatile std::sig_atomic_t& stop) {
    waitUntil(start, stop);
    if (!m_pacer.enabled()) {
        return stop == 0 && sendToLine(reply, stop);
    }
    // A real line hands the host each byte as its last bit arrives, not the whole frame at its
    // end: every byte whose time has come goes out, then the next one is waited for.
    const auto perByte = m_pacer.characterTime();
    qsizetype sent = 0;
    while (sent < reply.size() && stop == 0) {
        const qsizetype due = std::min<qsizetype>(reply.size(), (Clock::now() - start) / perByte);
        if (due > sent) {
            if (!sendToLine(reply.mid(sent, due - sent), stop)) {
                return false;
            }
            sent = due;
        } else {
            waitUntil(start + perByte * (sent + 1), stop);
        }
    }
    return sent == reply.size();
}

bool SlaveServer::sendToLine(const QByteArray& frame, const volatile std::sig_atomic_t& stop) {
    qsizetype done = 0;
    int waitedMs = 0;
    while (done < frame.size()) {
        const ssize_t n = ::write(m_lineFd, frame.constData() + done, size_t(frame.size() - done));
        if (n > 0) {
            done += n;
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        }
        // Nobody reads the port and its buffer is full: wait a little, then give the reply up.
        if (stop != 0 || waitedMs >= sendGiveUpMs) {
            return false;
        }
        pollfd out{m_lineFd, POLLOUT, 0};
        ::poll(&out, 1, 50);
        waitedMs += 50;
    }
    return true;
}

void SlaveServer::log(const QString& line) const {
    std::fprintf(stderr, "zorvan-devsim: %s\n", line.toUtf8().constData());
    std::fflush(stderr);
}

} // namespace zorvan::devsim
