#include "comm/ModbusTransport.h"

#include "comm/ModbusCrc.h"
#include "comm/SerialPortDriver.h"

#include <algorithm>
#include <cstring>

namespace zorvan {

namespace {

void putHeader(TRequest& r, quint8 slave, quint8 function, quint16 first, int registers) {
    r.Data[0] = slave;
    r.Data[1] = function;
    r.Data[2] = static_cast<quint8>(first >> 8);
    r.Data[3] = static_cast<quint8>(first & 0xFF);
    r.Data[4] = 0;
    r.Data[5] = static_cast<quint8>(registers);
}

void putChecksum(TRequest& r, int length) {
    const quint16 crc = ModbusCrc16(r.Data.data(), static_cast<std::size_t>(length));
    r.Data[length] = static_cast<quint8>(crc & 0xFF);
    r.Data[length + 1] = static_cast<quint8>(crc >> 8);
    r.Length = static_cast<quint16>(length + 2);
}

} // namespace

bool BuildReadRequest(TRequest& request, quint8 slave, quint16 first, int registers) {
    if (registers < 0 || registers > 255)
        return false;
    putHeader(request, slave, FnReadHoldingRegisters, first, registers);
    putChecksum(request, 6);
    return true;
}

bool BuildWriteRequest(TRequest& request, quint8 slave, quint16 first, int registers,
                       const quint8* data) {
    if (registers < 0 || registers > 127 || (registers > 0 && data == nullptr))
        return false;
    putHeader(request, slave, FnWriteMultipleRegisters, first, registers);
    const int bytes = 2 * registers;
    request.Data[6] = static_cast<quint8>(bytes);
    if (bytes > 0)
        std::memmove(request.Data.data() + 7, data, static_cast<std::size_t>(bytes));
    putChecksum(request, 7 + bytes);
    return true;
}

bool ChecksumOk(const TRequest& request, int length) {
    if (length < 0 || length > TRequest::Capacity)
        return false;
    return ModbusCrc16(request.Data.data(), static_cast<std::size_t>(length)) == 0;
}

QString ExchangeFailureText(const TExchangeStatus& status) {
    using F = TExchangeFailure;
    switch (status.Failure) {
    case F::efNone:
        return {};
    case F::efPortClosed:
        return QStringLiteral("port not open");
    case F::efNotSent:
        return QStringLiteral("request not sent");
    case F::efNoReply:
        return QStringLiteral("no reply");
    case F::efShortReply:
        return QStringLiteral("short reply (%1 of %2 bytes)")
            .arg(status.Received)
            .arg(status.Expected);
    case F::efBadChecksum:
        return QStringLiteral("bad checksum");
    case F::efWrongSlave:
        return QStringLiteral("wrong slave");
    case F::efWrongFunction:
        return QStringLiteral("wrong function");
    case F::efWrongByteCount:
        return QStringLiteral("wrong byte count");
    case F::efException:
        return QStringLiteral("exception %1").arg(status.ExceptionCode);
    case F::efLineLost:
        return QStringLiteral("line lost");
    }
    return {};
}

TExchangeFailure CheckReply(const TRequest& reply, int length, quint8 slave, quint8 function,
                            int registers) {
    if (!ChecksumOk(reply, length))
        return TExchangeFailure::efBadChecksum;
    if (reply.Data[0] != slave)
        return TExchangeFailure::efWrongSlave;
    if (reply.Data[1] != function)
        return TExchangeFailure::efWrongFunction;
    if (function == FnReadHoldingRegisters && reply.Data[2] != 2 * registers)
        return TExchangeFailure::efWrongByteCount;
    return TExchangeFailure::efNone;
}

bool TModbusTransport::Transact(TRequest&, quint16) {
    m_status = {TExchangeFailure::efNotSent, 0, 0, 0};
    return false;
}

void TModbusTransport::RejectReply(TExchangeFailure failure) {
    m_status.Failure = failure;
}

TCOMPortTransport::TCOMPortTransport(TSerialPortDriver* bus)
    : TModbusTransport(TModbusTransportType::mttCOM), m_bus(bus) {}

TSerialPortDriver* TCOMPortTransport::Bus() const {
    return m_bus.data();
}

void TCOMPortTransport::setBus(TSerialPortDriver* bus) {
    m_bus = bus;
}

bool TCOMPortTransport::fail(TExchangeFailure failure) {
    using F = TExchangeFailure;
    if (m_bus && m_bus->LineLost())
        failure = F::efLineLost;
    m_status.Failure = failure;
    if (failure != F::efPortClosed && failure != F::efNotSent && failure != F::efLineLost &&
        failure != F::efException)
        settle();
    return false;
}

void TCOMPortTransport::RejectReply(TExchangeFailure failure) {
    fail(failure);
}

void TCOMPortTransport::settle() {
    // Bounded: a line that never falls quiet (a babbling device) must not hold the caller.
    constexpr int MaxDiscards = 16;
    std::array<quint8, 256> scratch;
    for (int i = 0; i < MaxDiscards && m_bus->IsOpen() && !m_bus->LineLost(); ++i)
        if (m_bus->ReadBytes(scratch.data(), int(scratch.size())) == 0)
            return;
}

bool TCOMPortTransport::Transact(TRequest& request, quint16 expected) {
    using F = TExchangeFailure;
    m_status = {F::efNone, 0, expected, 0};
    if (m_bus.isNull() || !m_bus->IsOpen())
        return fail(F::efPortClosed);
    if (request.Length > TRequest::Capacity || expected > TRequest::Capacity)
        return fail(F::efNotSent);
    const quint8 function = request.Data[1];
    m_bus->PurgeQueues(true, false);
    if (m_bus->WriteBytes(request.Data.data(), request.Length) != request.Length)
        return fail(F::efNotSent);
    const quint32 firstWait = m_bus->InputTimeout() + quint32(m_bus->WireTimeMs(request.Length));
    // An exception reply is the shortest reply: read that much first, and stop there if it is one.
    const int head = std::min<int>(expected, ExceptionReplyLength);
    int received = m_bus->ReadBytes(request.Data.data(), head, firstWait);
    if (received == ExceptionReplyLength && request.Data[1] == (function | FnExceptionBit) &&
        ChecksumOk(request, ExceptionReplyLength)) {
        m_status.Received = received;
        m_status.ExceptionCode = request.Data[2];
        return fail(F::efException);
    }
    if (received == head && expected > head)
        received += m_bus->ReadBytes(request.Data.data() + head, expected - head);
    m_status.Received = received;
    if (received < expected)
        return fail(received == 0 ? F::efNoReply : F::efShortReply);
    return true;
}

} // namespace zorvan
