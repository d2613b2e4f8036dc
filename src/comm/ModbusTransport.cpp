#include "comm/ModbusTransport.h"

#include "comm/ModbusCrc.h"
#include "comm/SerialPortDriver.h"

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

bool TModbusTransport::Transact(TRequest&, quint16) {
    return false;
}

TCOMPortTransport::TCOMPortTransport(TSerialPortDriver* bus)
    : TModbusTransport(TModbusTransportType::mttCOM), m_bus(bus) {}

TSerialPortDriver* TCOMPortTransport::Bus() const {
    return m_bus.data();
}

void TCOMPortTransport::setBus(TSerialPortDriver* bus) {
    m_bus = bus;
}

bool TCOMPortTransport::Transact(TRequest& request, quint16 expected) {
    if (m_bus.isNull() || !m_bus->IsOpen())
        return false;
    if (request.Length > TRequest::Capacity || expected > TRequest::Capacity)
        return false;
    m_bus->PurgeQueues(true, false);
    if (m_bus->WriteBytes(request.Data.data(), request.Length) != request.Length)
        return false;
    return m_bus->ReadBytes(request.Data.data(), expected) == expected;
}

} // namespace zorvan
