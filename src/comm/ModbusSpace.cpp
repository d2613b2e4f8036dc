#include "comm/ModbusSpace.h"

#include <QTimer>
#include <cstring>

namespace zorvan {

TModbusSpace::TModbusSpace(QObject* parent) : QObject(parent), m_readTimer(new QTimer) {
    connect(m_readTimer.get(), &QTimer::timeout, this, [this] { m_readDue = true; });
    m_readTimer->start(m_readInterval);
}

TModbusSpace::~TModbusSpace() {
    for (TModbusParameter* p : m_params)
        p->m_space = nullptr;
}

void TModbusSpace::setReadInterval(int ms) {
    m_readInterval = ms;
    if (ms > 0)
        m_readTimer->start(ms);
    else
        m_readTimer->stop();
}

void TModbusSpace::attach(TModbusParameter* parameter) {
    m_params.Add(parameter);
    Relayout();
}

void TModbusSpace::detach(TModbusParameter* parameter) {
    if (m_params.Remove(parameter))
        Relayout();
}

void TModbusSpace::Relayout() {
    int count = 0;
    for (TModbusParameter* p : m_params) {
        p->m_registerOffset = static_cast<quint16>(count);
        p->m_registerAddress = static_cast<quint16>(m_baseAddress + count);
        count += RegistersOf(p->ParamType());
    }
    m_layoutRegisters = count;
}

bool TModbusSpace::usable() const {
    return m_enabled && m_transport != nullptr && !m_isSlave;
}

bool TModbusSpace::transaction(quint8 function, quint16 first, int registers, int at) {
    if (m_transport == nullptr || at < 0 || at + 2 * registers > ImageSize)
        return false;
    const bool read = function == FnReadHoldingRegisters;
    const bool built =
        read ? BuildReadRequest(m_request, m_deviceAddress, first, registers)
             : BuildWriteRequest(m_request, m_deviceAddress, first, registers, m_image.data() + at);
    if (!built)
        return false;
    const int expected = read ? ReadReplyLength(registers) : WriteReplyLength;
    TModbusTransport& transport = *m_transport;
    if (transport.OnRequest)
        transport.OnRequest(true, m_request);
    if (!transport.Transact(m_request, static_cast<quint16>(expected)))
        return false;
    m_request.Length = static_cast<quint16>(expected);
    if (transport.OnRequest)
        transport.OnRequest(false, m_request);
    // A reply is taken only when it answers this request: on a shared line another slave's
    // reply, or a late one to an earlier request, would otherwise pass for this one.
    const TExchangeFailure failure =
        CheckReply(m_request, expected, m_deviceAddress, function, registers);
    if (failure != TExchangeFailure::efNone) {
        transport.RejectReply(failure);
        return false;
    }
    if (read)
        std::memcpy(m_image.data() + at, m_request.Data.data() + 3, std::size_t(2 * registers));
    return true;
}

bool TModbusSpace::WriteBlock() {
    if (m_layoutRegisters > MaxWriteRegisters)
        return false;
    return transaction(FnWriteMultipleRegisters, m_baseAddress, m_layoutRegisters, 0);
}

bool TModbusSpace::ReadBlock() {
    if (m_layoutRegisters > MaxReadRegisters)
        return false;
    return transaction(FnReadHoldingRegisters, m_baseAddress, m_layoutRegisters, 0);
}

bool TModbusSpace::WriteParameter(TModbusParameter* parameter) {
    if (parameter == nullptr)
        return false;
    return transaction(FnWriteMultipleRegisters, parameter->RegisterAddress(),
                       RegistersOf(parameter->ParamType()), 2 * parameter->RegisterOffset());
}

bool TModbusSpace::ReadParameter(TModbusParameter* parameter) {
    if (parameter == nullptr)
        return false;
    // Two registers for every type: a one-register parameter refreshes the next one too.
    return transaction(FnReadHoldingRegisters, parameter->RegisterAddress(), 2,
                       2 * parameter->RegisterOffset());
}

bool TModbusSpace::writePhase() {
    if (m_singleWriteMode) {
        for (int i = 0; i < m_params.Count(); ++i) {
            TModbusParameter* p = m_params.Items(i);
            if (!p->Modified() && !m_writeIAC)
                continue;
            if (!WriteParameter(p))
                return false;
            p->setModified(false);
        }
        return true;
    }
    bool modified = false;
    for (const TModbusParameter* p : m_params)
        modified = modified || p->Modified();
    if (!modified && !(m_writeIAC && m_params.Count() > 0))
        return true;
    if (!WriteBlock())
        return false;
    m_params.ClearModified();
    return true;
}

bool TModbusSpace::readPhase() {
    if (!m_readDue && !m_refreshIAC)
        return true;
    m_readDue = false;
    if (!m_singleReadMode)
        return ReadBlock();
    for (int i = 0; i < m_params.Count(); ++i) {
        TModbusParameter* p = m_params.Items(i);
        if (p->Access() == TModbusParamAccess::mpaWriteOnly)
            continue;
        if (!ReadParameter(p))
            return false;
    }
    return true;
}

bool TModbusSpace::Refresh() {
    if (!usable() || !writePhase() || !readPhase())
        return false;
    if (OnAfterRefresh)
        OnAfterRefresh(this);
    return true;
}

bool TModbusSpace::Flush() {
    if (!usable() || !writePhase())
        return false;
    if (OnAfterRefresh)
        OnAfterRefresh(this);
    return true;
}

bool TModbusSpace::RefreshWithRetries() {
    const int attempts = std::max(m_retryCount, 0) + 1;
    for (int i = 0; i < attempts; ++i)
        if (Refresh())
            return true;
    return false;
}

bool TModbusSpace::FlushWithRetries() {
    const int attempts = std::max(m_retryCount, 0) + 1;
    for (int i = 0; i < attempts; ++i)
        if (Flush())
            return true;
    return false;
}

} // namespace zorvan
