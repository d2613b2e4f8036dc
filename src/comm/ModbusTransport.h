#pragma once

#include <QPointer>
#include <QString>
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
// A slave refusing a request answers with the function code with this bit set, an exception
// code and the checksum: five bytes.
constexpr quint8 FnExceptionBit = 0x80;
constexpr int ExceptionReplyLength = 5;

// Why an exchange failed, kept apart so that a message or a log row can say it.
enum class TExchangeFailure : quint8 {
    efNone = 0,
    efPortClosed,     // no open port: nothing was sent
    efNotSent,        // the request did not fit or could not be written whole
    efNoReply,        // silence for the reply time-out
    efShortReply,     // fewer bytes than expected, then silence
    efBadChecksum,    // the reply's CRC does not come out 0
    efWrongSlave,     // a reply from another slave address
    efWrongFunction,  // a reply to another function
    efWrongByteCount, // a read reply whose byte count is not the registers asked
    efException,      // the slave refused the request (Modbus exception)
    efLineLost,       // the device went away (hang-up, adapter unplugged)
};

// How the last exchange ended: the failure, the reply bytes that arrived of those expected,
// and the exception code of a refusal.
struct TExchangeStatus {
    TExchangeFailure Failure = TExchangeFailure::efNone;
    int Received = 0;
    int Expected = 0;
    quint8 ExceptionCode = 0;
};

// "no reply", "short reply (3 of 33 bytes)", "bad checksum", "wrong slave", "exception 2"...;
// empty when the exchange succeeded.
QString ExchangeFailureText(const TExchangeStatus& status);

// Whether a complete reply answers the request it followed: the checksum, then the slave
// address and function code of the request and, for a read of `registers`, its byte count.
TExchangeFailure CheckReply(const TRequest& reply, int length, quint8 slave, quint8 function,
                            int registers);

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
    // The caller found the complete reply wrong (CheckReply): recorded as the exchange's end.
    virtual void RejectReply(TExchangeFailure failure);

    // How the last exchange ended.
    const TExchangeStatus& LastStatus() const { return m_status; }

    TOnModbusRequest OnRequest;

protected:
    explicit TModbusTransport(TModbusTransportType type) : m_type(type) {}
    TExchangeStatus m_status;

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
    // fit the buffer, or when the frame could not be written whole; false as soon as a complete
    // exception reply arrived; otherwise true exactly when `expected` bytes arrived, each within
    // the driver's InputTimeout of the one before. The first byte is waited for that long after
    // the request has left the line (its wire time at the port's rate is added): the kernel's
    // write returns long before. Whatever input is queued when the request goes out is
    // discarded first: it can only be the tail of an earlier reply, and would misalign this one.
    bool Transact(TRequest& request, quint16 expected) override;
    void RejectReply(TExchangeFailure failure) override;

private:
    bool fail(TExchangeFailure failure);
    // After a failed exchange a late or longer reply may still be on its way: discard input
    // until the line has been quiet for InputTimeout, so that it is not taken as the answer to
    // the next request (replies carry no request identity).
    void settle();

    QPointer<TSerialPortDriver> m_bus;
};

} // namespace zorvan
