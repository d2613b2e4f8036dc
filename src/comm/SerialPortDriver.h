#pragma once

#include "comm/SerialLineSettings.h"

#include <QFlags>
#include <QObject>
#include <QString>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QTimer;

namespace zorvan {

// Named port numbers; the driver takes any number 0..255 (the options offer 1..255).
enum class TPortNumber : quint8 {
    pnCustom = 0,
    pnCOM1,
    pnCOM2,
    pnCOM3,
    pnCOM4,
    pnCOM5,
    pnCOM6,
    pnCOM7,
    pnCOM8,
    pnCOM9,
    pnCOM10,
    pnCOM11,
    pnCOM12,
    pnCOM13,
    pnCOM14,
    pnCOM15,
    pnCOM16,
};

enum class TBaudRate : quint8 {
    brCustom = 0,
    br110,
    br300,
    br600,
    br1200,
    br2400,
    br4800,
    br9600,
    br14400,
    br19200,
    br38400,
    br56000,
    br57600,
    br115200,
    br128000,
    br256000,
};

enum class TDataBits : quint8 { db5BITS = 0, db6BITS, db7BITS, db8BITS };
enum class TStopBits : quint8 { sb1BITS = 0, sb1HALFBITS, sb2BITS };
enum class TParity : quint8 { ptNONE = 0, ptODD, ptEVEN, ptMARK, ptSPACE };
enum class THwFlowControl : quint8 { hfNONE = 0, hfNONERTSON, hfRTSCTS };
enum class TSwFlowControl : quint8 { sfNONE = 0, sfXONXOFF };
enum class TPacketMode : quint8 { pmDiscard = 0, pmPass };

// Modem input lines.
enum class TModemLine : quint8 { CTS = 0x10, DSR = 0x20, RING = 0x40, RLSD = 0x80 };
using TLineState = QFlags<TModemLine>;
Q_DECLARE_OPERATORS_FOR_FLAGS(TLineState)

// Bits per second of a named rate; 0 for brCustom and values outside the table.
quint32 BaudRateBits(TBaudRate rate);

// The device path of port number n (1..255): the target of the link ports/COMn in the
// settings folder when that link exists, otherwise /dev/ttyS<n-1>.
QString SerialDevicePath(quint8 n);

// Owns one serial port: opens and closes it, applies the line settings and moves bytes
// synchronously for the Modbus transport. WriteBytes and ReadBytes block in poll(), with their
// time-outs counted from the last byte moved, so a long reply that keeps trickling in is read
// whole and a silent device costs no CPU while waited for. A timer-driven receive path hands
// arriving bytes to OnReceiveData/OnReceivePacket while polling is not suspended.
class TSerialPortDriver : public QObject {
    Q_OBJECT
public:
    using TReceiveDataEvent =
        std::function<void(TSerialPortDriver* Sender, const quint8* DataPtr, int DataSize)>;
    using TReceivePacketEvent =
        std::function<void(TSerialPortDriver* Sender, const quint8* Packet, int DataSize)>;

    explicit TSerialPortDriver(QObject* parent = nullptr);
    ~TSerialPortDriver() override;

    // Ignored while open. A number other than 0 also sets PortName to its device path.
    quint8 Port() const { return m_port; }
    void setPort(quint8 port);
    void setPort(TPortNumber port) { setPort(static_cast<quint8>(port)); }
    // Ignored while open; otherwise Port becomes pnCustom and the path is used as given.
    QString PortName() const { return m_portName; }
    void setPortName(const QString& name);

    // A named rate also sets BaudRateValue; a value sets BaudRate to brCustom. These and the
    // other line settings below are applied at once while the port is open.
    TBaudRate BaudRate() const { return m_baudRate; }
    void setBaudRate(TBaudRate rate);
    quint32 BaudRateValue() const { return m_baudRateValue; }
    void setBaudRateValue(quint32 value);
    TDataBits DataBits() const { return m_dataBits; }
    void setDataBits(TDataBits bits);
    TStopBits StopBits() const { return m_stopBits; }
    void setStopBits(TStopBits bits);
    TParity Parity() const { return m_parity; }
    void setParity(TParity parity);
    THwFlowControl HwFlow() const { return m_hwFlow; }
    void setHwFlow(THwFlowControl flow);
    TSwFlowControl SwFlow() const { return m_swFlow; }
    void setSwFlow(TSwFlowControl flow);

    // Queue sizes, ignored while open, clamped to 128..8192. The kernel's queues have fixed
    // sizes; the numbers still bound OutputRoom, the poll path's reads and the XON/XOFF limits.
    quint32 InBufSize() const { return m_inBufSize; }
    void setInBufSize(quint32 size);
    quint32 OutBufSize() const { return m_outBufSize; }
    void setOutBufSize(quint32 size);

    // Poll path. PacketSize below 1 means no packets; PacketTimeout below 1 means a partial
    // packet is never flushed.
    qint16 PacketSize() const { return m_packetSize; }
    void setPacketSize(qint16 size);
    qint32 PacketTimeout() const { return m_packetTimeout; }
    void setPacketTimeout(qint32 ms) { m_packetTimeout = ms; }
    TPacketMode PacketMode() const { return m_packetMode; }
    void setPacketMode(TPacketMode mode) { m_packetMode = mode; }
    // At least 5 ms; a change restarts the running poll timer.
    quint16 PollingDelay() const { return m_pollingDelay; }
    void setPollingDelay(quint16 ms);

    bool EnableDTROnOpen() const { return m_enableDtrOnOpen; }
    void setEnableDTROnOpen(bool on) { m_enableDtrOnOpen = on; }
    quint16 OutputTimeout() const { return m_outputTimeout; }
    void setOutputTimeout(quint16 ms) { m_outputTimeout = ms; }
    quint32 InputTimeout() const { return m_inputTimeout; }
    void setInputTimeout(quint32 ms) { m_inputTimeout = ms; }
    bool CheckLineStatus() const { return m_checkLineStatus; }
    void setCheckLineStatus(bool on) { m_checkLineStatus = on; }

    TReceiveDataEvent OnReceiveData;
    TReceivePacketEvent OnReceivePacket;

    // Opens PortName exclusively and applies the line settings; true at once when open.
    // A numbered port is looked up again first, since its ports/COMn link may have moved.
    bool OpenPort();
    // Why the last OpenPort failed: "COM1 → /dev/ttyS0: No such file or directory" for a
    // numbered port, the path alone otherwise; empty once a port opened.
    QString OpenError() const { return m_openError; }
    // Puts back the terminal settings the port had before it was opened, then closes it.
    void ClosePort();
    bool IsOpen() const { return m_fd >= 0; }
    // Writes the line settings and purges both queues; false when closed or refused.
    bool ApplyLineSettings();
    // The settings ApplyLineSettings writes, built from the properties.
    TSerialLineSettings LineSettings() const;
    bool PurgeQueues(bool input, bool output);

    // Bytes in the input queue; 65535 when closed.
    quint32 BytesWaiting() const;
    // OutBufSize minus the bytes in the output queue; -1 when closed.
    qint16 OutputRoom() const;
    // Active modem input lines; empty when closed or when the port has none (a pty).
    TLineState ModemLines() const;

    // Bytes handed to the port. Gives up after OutputTimeout (or timeoutMs) without progress;
    // a write error (the device went away) ends the call at once.
    int WriteBytes(const void* data, int size);
    int WriteBytes(const void* data, int size, quint32 timeoutMs);
    // Bytes stored into buffer. Gives up after InputTimeout without a new byte; a read error or
    // a hang-up ends the call at once. The overload waits firstWaitMs for the first byte instead.
    int ReadBytes(void* buffer, int size);
    int ReadBytes(void* buffer, int size, quint32 firstWaitMs);

    void SuspendPolling() { ++m_pollPause; }
    void ResumePolling() { --m_pollPause; }
    int PollPause() const { return m_pollPause; }

    // Milliseconds to receive n characters of 10 bits at BaudRateValue.
    int RxTime(int n) const;
    // Milliseconds n characters take on the wire at BaudRateValue, counting 11 bits each (start,
    // eight data bits, parity or a second stop bit, stop), rounded up.
    int WireTimeMs(int n) const;

    // True once a read or write found the device gone (a hang-up, an adapter unplugged) since
    // the port was opened: the port stays useless until it is closed and opened again.
    bool LineLost() const { return m_lineLost; }

    // The descriptor of the open port (-1 when closed), for inspection.
    int Handle() const { return m_fd; }

private:
    void PollTick();
    bool refuseOpen(const QString& reason);
    void resizeReceiveBuffer();

    quint8 m_port = 2;
    QString m_portName;
    TBaudRate m_baudRate = TBaudRate::br9600;
    quint32 m_baudRateValue = 9600;
    TDataBits m_dataBits = TDataBits::db8BITS;
    TStopBits m_stopBits = TStopBits::sb1BITS;
    TParity m_parity = TParity::ptNONE;
    THwFlowControl m_hwFlow = THwFlowControl::hfNONERTSON;
    TSwFlowControl m_swFlow = TSwFlowControl::sfNONE;
    quint32 m_inBufSize = 2048;
    quint32 m_outBufSize = 2048;
    qint16 m_packetSize = -1;
    qint32 m_packetTimeout = -1;
    TPacketMode m_packetMode = TPacketMode::pmDiscard;
    quint16 m_pollingDelay = 50;
    bool m_enableDtrOnOpen = true;
    quint16 m_outputTimeout = 500;
    quint32 m_inputTimeout = 200;
    bool m_checkLineStatus = false;

    int m_fd = -1;
    // The terminal settings found at open, put back at close.
    std::optional<TSavedLineState> m_foundState;
    std::vector<quint8> m_receiveBuffer;
    std::unique_ptr<QTimer> m_pollTimer;
    std::optional<std::chrono::steady_clock::time_point> m_packetStart;
    int m_pollPause = 0;
    bool m_lineLost = false;
    QString m_openError;
};

} // namespace zorvan
