// This unit alone talks termios2: <asm/termbits.h> defines its own struct termios and must not
// meet <termios.h> in one translation unit.
#include "comm/SerialLineSettings.h"

#include <asm/termbits.h>
#include <cerrno>
#include <cstring>
#include <sys/ioctl.h>

namespace zorvan {

namespace {

int ioctlRetry(int fd, unsigned long request, void* arg) {
    int rc;
    do {
        rc = ::ioctl(fd, request, arg);
    } while (rc < 0 && errno == EINTR);
    return rc;
}

tcflag_t sizeFlag(std::uint8_t byteSize) {
    switch (byteSize) {
    case 5:
        return CS5;
    case 6:
        return CS6;
    case 7:
        return CS7;
    default:
        return CS8;
    }
}

} // namespace

std::optional<TSerialTermiosImage> EncodeLineSettings(const TSerialLineSettings& s,
                                                      const TSerialTermiosImage& current) {
    if (s.BaudRate == 0 || s.ByteSize < 5 || s.ByteSize > 8 || s.Parity > 4 || s.StopBits > 2)
        return std::nullopt;
    TSerialTermiosImage t = current;
    // Raw mode: no line editing, no character translation, no signals, no parity checking.
    t.iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                         IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
    t.oflag &= ~tcflag_t(OPOST);
    t.lflag &= ~tcflag_t(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
    t.cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS | CBAUD |
                         (CBAUD << IBSHIFT) | HUPCL);
    t.cflag |= CREAD | CLOCAL | sizeFlag(s.ByteSize);
    switch (s.Parity) {
    case 1: // odd
        t.cflag |= PARENB | PARODD;
        break;
    case 2: // even
        t.cflag |= PARENB;
        break;
    case 3: // mark: sticky parity, set
        t.cflag |= PARENB | CMSPAR | PARODD;
        break;
    case 4: // space: sticky parity, clear
        t.cflag |= PARENB | CMSPAR;
        break;
    default:
        break;
    }
    if (s.StopBits != 0)
        t.cflag |= CSTOPB;
    if (s.RtsCtsHandshake)
        t.cflag |= CRTSCTS;
    if (s.XonXoff)
        t.iflag |= IXON | IXOFF;
    t.vstart = s.XonChar;
    t.vstop = s.XoffChar;
    // A read returns at once with what is queued (the port is non-blocking) and 0 only at the
    // end of a hung-up line; the driver waits in poll() with its own time-outs.
    t.vmin = 1;
    t.vtime = 0;
    t.cflag |= BOTHER | (BOTHER << IBSHIFT);
    t.ispeed = s.BaudRate;
    t.ospeed = s.BaudRate;
    return t;
}

bool WriteLineSettings(int fd, const TSerialLineSettings& s) {
    if (fd < 0)
        return false;
    struct termios2 t {};
    if (ioctlRetry(fd, TCGETS2, &t) < 0)
        return false;
    TSerialTermiosImage image;
    image.iflag = t.c_iflag;
    image.oflag = t.c_oflag;
    image.cflag = t.c_cflag;
    image.lflag = t.c_lflag;
    const auto encoded = EncodeLineSettings(s, image);
    if (!encoded)
        return false;
    t.c_iflag = encoded->iflag;
    t.c_oflag = encoded->oflag;
    t.c_cflag = encoded->cflag;
    t.c_lflag = encoded->lflag;
    t.c_cc[VSTART] = encoded->vstart;
    t.c_cc[VSTOP] = encoded->vstop;
    t.c_cc[VMIN] = encoded->vmin;
    t.c_cc[VTIME] = encoded->vtime;
    t.c_ispeed = encoded->ispeed;
    t.c_ospeed = encoded->ospeed;
    if (ioctlRetry(fd, TCSETS2, &t) < 0)
        return false;

    int dtr = TIOCM_DTR;
    ioctlRetry(fd, s.Dtr ? TIOCMBIS : TIOCMBIC, &dtr);
    if (!s.RtsCtsHandshake) {
        int rts = TIOCM_RTS;
        ioctlRetry(fd, s.RtsOn ? TIOCMBIS : TIOCMBIC, &rts);
    }
    return true;
}

std::optional<TSerialLineSettings> ReadLineSettings(int fd) {
    struct termios2 t {};
    if (fd < 0 || ioctlRetry(fd, TCGETS2, &t) < 0)
        return std::nullopt;
    TSerialLineSettings s;
    s.BaudRate = t.c_ospeed;
    switch (t.c_cflag & CSIZE) {
    case CS5:
        s.ByteSize = 5;
        break;
    case CS6:
        s.ByteSize = 6;
        break;
    case CS7:
        s.ByteSize = 7;
        break;
    default:
        s.ByteSize = 8;
        break;
    }
    if (!(t.c_cflag & PARENB))
        s.Parity = 0;
    else if (t.c_cflag & CMSPAR)
        s.Parity = (t.c_cflag & PARODD) ? 3 : 4;
    else
        s.Parity = (t.c_cflag & PARODD) ? 1 : 2;
    s.StopBits = (t.c_cflag & CSTOPB) ? 2 : 0;
    s.RtsCtsHandshake = (t.c_cflag & CRTSCTS) != 0;
    s.XonXoff = (t.c_iflag & (IXON | IXOFF)) == (IXON | IXOFF);
    s.XonChar = t.c_cc[VSTART];
    s.XoffChar = t.c_cc[VSTOP];
    return s;
}

static_assert(sizeof(termios2) <= sizeof(TSavedLineState::Bytes));

std::optional<TSavedLineState> SaveLineState(int fd) {
    struct termios2 t {};
    if (fd < 0 || ioctlRetry(fd, TCGETS2, &t) < 0)
        return std::nullopt;
    TSavedLineState state;
    std::memcpy(state.Bytes.data(), &t, sizeof t);
    return state;
}

bool RestoreLineState(int fd, const TSavedLineState& state) {
    struct termios2 t {};
    std::memcpy(&t, state.Bytes.data(), sizeof t);
    return fd >= 0 && ioctlRetry(fd, TCSETS2, &t) == 0;
}

} // namespace zorvan
