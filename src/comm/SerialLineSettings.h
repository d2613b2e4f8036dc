#pragma once

#include <array>
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

// The kernel's terminal settings as plain numbers, so that code outside this unit can look at
// them without the kernel's header.
struct TSerialTermiosImage {
    std::uint32_t iflag = 0;
    std::uint32_t oflag = 0;
    std::uint32_t cflag = 0;
    std::uint32_t lflag = 0;
    std::uint8_t vstart = 0;
    std::uint8_t vstop = 0;
    std::uint8_t vmin = 0;
    std::uint8_t vtime = 0;
    std::uint32_t ispeed = 0;
    std::uint32_t ospeed = 0;
};

// The settings applied to `current`: raw mode (no editing, translation, signals or parity
// checking; reads return at once with what is queued), size, parity, stop bits, flow control,
// and the rate as an arbitrary rate (BOTHER). Nothing when a setting is out of range.
std::optional<TSerialTermiosImage> EncodeLineSettings(const TSerialLineSettings& settings,
                                                      const TSerialTermiosImage& current);

// Puts the port into raw mode with these settings (every rate through termios2/BOTHER, so the
// non-standard rates work too) and sets DTR and RTS. One and a half stop bits has no POSIX
// form: it becomes CSTOPB, which 16550-type UARTs send as 1.5 stop bits with 5 data bits and as
// 2 otherwise. Modem-line changes that the device refuses (a pty has no lines) are ignored.
// Returns false when the kernel refuses the settings or the rate is 0 (which would hang up).
bool WriteLineSettings(int fd, const TSerialLineSettings& settings);

// The kernel's whole terminal state of a port, kept as it was found so that closing the port can
// put it back (a terminal opened by mistake is left usable). Opaque: only this unit reads it.
struct TSavedLineState {
    std::array<std::uint8_t, 64> Bytes{};
};
std::optional<TSavedLineState> SaveLineState(int fd);
bool RestoreLineState(int fd, const TSavedLineState& state);

// What the kernel holds for the port (rate, size, parity, stop bits, flow control, the XON and
// XOFF characters); DTR/RTS and the limits are left at their defaults. Nothing on failure. A
// pseudo-terminal always reports 8 bits without parity, whatever was set.
std::optional<TSerialLineSettings> ReadLineSettings(int fd);

} // namespace zorvan
