#pragma once

#include <QPointer>
#include <QtGlobal>
#include <array>
#include <functional>

namespace zorvan {

class TSerialPortDriver;

// The frame buffer of one register space: the request to send, later overwritten by the reply.
struct TRequest {
    static constexpr int Capacity = 1052;
    std::array<quint8, Capacity> Data{};
    quint16 Length = 0; // valid bytes: the frame before sending, the reply after it
};

enum class TModbusTransportType : quint8 { mttCOM = 0, mttLAN = 1 };

// Function codes the system speaks.
constexpr quint8 FnReadHoldingRegisters = 3;
constexpr quint8 FnWriteMultipleRegisters = 16;

// Reply lengths: slave, function, byte count, data, checksum / slave, function, address, count,
// checksum.
constexpr int ReadReplyLength(int registers) {
    return 5 + 2 * registers;
}
constexpr int WriteReplyLength = 8;

// Fills the buffer with a function 3 request (with its checksum) and sets Length. False, with
// the buffer untouched, when the count does not fit the frame's one-byte count (0..255).
bool BuildReadRequest(TRequest& request, quint8 slave, quint16 first, int registers);
// The same for function 16, taking 2 x registers data bytes; the one-byte byte count limits
// it to 0..127 registers.
bool BuildWriteRequest(TRequest& request, quint8 slave, quint16 first, int registers,
                       const quint8* data);
// True when the checksum over the first `length` bytes of the buffer (its own two included)
// comes out 0.
bool ChecksumOk(const TRequest& request, int length);

// Base of transports: carries one request and reads a reply of the expected length back into
// the same buffer. OnRequest belongs to the transport but is raised by the register spaces,
// which know when a frame goes out and when a complete reply came in.
class TModbusTransport {
public:
    // aOut: the request is about to be sent (Length = request length); otherwise a complete
    // reply arrived (Length = reply length).
    using TOnModbusRequest = std::function<void(bool aOut, const TRequest& aRequest)>;

    TModbusTransport() = default;
    virtual ~TModbusTransport() = default;
    TModbusTransport(const TModbusTransport&) = delete;
    TModbusTransport& operator=(const TModbusTransport&) = delete;

    TModbusTransportType TransportType() const { return m_type; }

    // Sends the request's Length bytes and reads `expected` bytes into the start of its Data.
    virtual bool Transact(TRequest& request, quint16 expected);

    TOnModbusRequest OnRequest;

protected:
    explicit TModbusTransport(TModbusTransportType type) : m_type(type) {}

private:
    TModbusTransportType m_type = TModbusTransportType::mttCOM;
};

// The transport over the serial port driver.
class TCOMPortTransport : public TModbusTransport {
public:
    explicit TCOMPortTransport(TSerialPortDriver* bus = nullptr);

    TSerialPortDriver* Bus() const;
    void setBus(TSerialPortDriver* bus);

    // False at once when there is no open port, when the frame or the expected reply would not
    // fit the buffer, or when the frame could not be written whole; otherwise true exactly when
    // `expected` bytes arrived, each within the driver's InputTimeout of the one before.
    // Whatever input is queued when the request goes out is discarded first: it can only be the
    // tail of an earlier reply that came too late, and would misalign this one.
    bool Transact(TRequest& request, quint16 expected) override;

private:
    QPointer<TSerialPortDriver> m_bus;
};

} // namespace zorvan
