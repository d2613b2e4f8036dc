#pragma once

#include <cstdint>
#include <optional>

namespace zorvan {

// The line settings of an open serial port in the driver's own terms (the counterpart of the
// device-control block the driver fills). Kept free of the C library's termios types, because
// arbitrary rates need the kernel's termios2, whose header cannot share a translation unit
// with <termios.h>.
struct TSerialLineSettings {
    std::uint32_t BaudRate = 9600;
    std::uint8_t ByteSize = 8;    // 5..8
    std::uint8_t Parity = 0;      // TParity ordinal: none, odd, even, mark, space
    std::uint8_t StopBits = 0;    // TStopBits ordinal: 1, 1.5, 2
    bool Dtr = true;              // raise DTR while open
    bool RtsOn = false;           // hold RTS raised (no handshake)
    bool RtsCtsHandshake = false; // RTS/CTS flow control
    bool XonXoff = false;         // XON/XOFF flow control on output and input
    std::uint16_t XonLim = 512;   // kept as numbers: the kernel has no such thresholds
    std::uint16_t XoffLim = 512;
    std::uint8_t XonChar = 17;
    std::uint8_t XoffChar = 19;

    bool operator==(const TSerialLineSettings&) const = default;
};

// Puts the port into raw mode with these settings (every rate through termios2/BOTHER, so the
// non-standard rates work too) and sets DTR and RTS. One and a half stop bits has no POSIX
// form: it becomes CSTOPB, which 16550-type UARTs send as 1.5 stop bits with 5 data bits and as
// 2 otherwise. Modem-line changes that the device refuses (a pty has no lines) are ignored.
// Returns false when the kernel refuses the settings or the rate is 0 (which would hang up).
bool WriteLineSettings(int fd, const TSerialLineSettings& settings);

// What the kernel holds for the port (rate, size, parity, stop bits, flow control, the XON and
// XOFF characters); DTR/RTS and the limits are left at their defaults. Nothing on failure.
std::optional<TSerialLineSettings> ReadLineSettings(int fd);

} // namespace zorvan
