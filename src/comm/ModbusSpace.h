#pragma once

#include "comm/ModbusParameter.h"
#include "comm/ModbusTransport.h"

#include <QObject>
#include <array>
#include <functional>
#include <memory>

class QTimer;

namespace zorvan {

// A block of consecutive holding registers on one device: a base address, typed parameters
// laid out one after another from it, and the register image, the local copy of the registers
// (register k at bytes 2k and 2k+1, in wire order). An exchange writes what was changed locally,
// then reads the block back. The read timer only marks a read as due; owners decide when to
// exchange, with RefreshWithRetries or FlushWithRetries.
class TModbusSpace : public QObject {
    Q_OBJECT
public:
    static constexpr int ImageSize = 1025;
    // The frame's one-byte counts: a read asks for at most 255 registers, a write (whose byte
    // count is 2 x registers) for at most 127.
    static constexpr int MaxReadRegisters = 255;
    static constexpr int MaxWriteRegisters = 127;

    explicit TModbusSpace(QObject* parent = nullptr);
    // Parameters still attached are left without a space (they do not reach a freed image).
    ~TModbusSpace() override;

    // Not owned; without one every exchange fails.
    TModbusTransport* ModbusTransport() const { return m_transport; }
    void setModbusTransport(TModbusTransport* transport) { m_transport = transport; }
    quint8 DeviceAddress() const { return m_deviceAddress; }
    void setDeviceAddress(quint8 address) { m_deviceAddress = address; }
    // Set it before attaching parameters: their addresses come from the last layout.
    quint16 BaseAddress() const { return m_baseAddress; }
    void setBaseAddress(quint16 address) { m_baseAddress = address; }
    // Period of the read timer; 0 or less stops it.
    int ReadInterval() const { return m_readInterval; }
    void setReadInterval(int ms);
    int WriteInterval() const { return m_writeInterval; }
    void setWriteInterval(int ms) { m_writeInterval = ms; }
    bool Enabled() const { return m_enabled; }
    void setEnabled(bool on) { m_enabled = on; }
    bool RefreshIAC() const { return m_refreshIAC; }
    void setRefreshIAC(bool on) { m_refreshIAC = on; }
    bool WriteIAC() const { return m_writeIAC; }
    void setWriteIAC(bool on) { m_writeIAC = on; }
    bool SingleWriteMode() const { return m_singleWriteMode; }
    void setSingleWriteMode(bool on) { m_singleWriteMode = on; }
    bool SingleReadMode() const { return m_singleReadMode; }
    void setSingleReadMode(bool on) { m_singleReadMode = on; }
    bool IsSlave() const { return m_isSlave; }
    void setIsSlave(bool on) { m_isSlave = on; }

    // Raised after every successful Refresh or Flush, also when nothing was sent.
    std::function<void(TModbusSpace* Sender)> OnAfterRefresh;

    TRequest& Request() { return m_request; }
    const TModbusParamList& Params() const { return m_params; }
    quint8* Image() { return m_image.data(); }
    const quint8* Image() const { return m_image.data(); }
    // Registers of the last layout (one byte: at most 255).
    quint8 RegisterCount() const { return static_cast<quint8>(std::min(m_layoutRegisters, 255)); }
    bool ReadDue() const { return m_readDue; }
    void setReadDue(bool due) { m_readDue = due; }
    // Attempts per exchange = RetryCount + 1 (at least one).
    int RetryCount() const { return m_retryCount; }
    void setRetryCount(int count) { m_retryCount = count; }

    // Gives each parameter, in list order, its RegisterOffset and RegisterAddress.
    void Relayout();

    // Write phase, then read phase (when due or RefreshIAC); false at the first failure.
    bool Refresh();
    // Write phase only.
    bool Flush();
    bool RefreshWithRetries();
    bool FlushWithRetries();

    // The four request kinds, one transaction each. A block larger than a frame can carry fails
    // without sending anything.
    bool WriteBlock();
    bool ReadBlock();
    bool WriteParameter(TModbusParameter* parameter);
    bool ReadParameter(TModbusParameter* parameter);

private:
    friend class TModbusParameter;
    void attach(TModbusParameter* parameter);
    void detach(TModbusParameter* parameter);

    bool usable() const;
    bool writePhase();
    bool readPhase();
    // One request through m_request; image bytes from `at` are the data sent (function 16) or
    // the place of the data received (function 3).
    bool transaction(quint8 function, quint16 first, int registers, int at);

    TModbusTransport* m_transport = nullptr;
    quint8 m_deviceAddress = 1;
    quint16 m_baseAddress = 4096;
    int m_readInterval = 100;
    int m_writeInterval = 100;
    bool m_enabled = true;
    bool m_refreshIAC = false;
    bool m_writeIAC = false;
    bool m_singleWriteMode = true;
    bool m_singleReadMode = false;
    bool m_isSlave = false;

    TRequest m_request;
    TModbusParamList m_params;
    std::array<quint8, ImageSize> m_image{};
    int m_layoutRegisters = 0;
    bool m_readDue = false;
    int m_retryCount = 0;
    std::unique_ptr<QTimer> m_readTimer;
};

} // namespace zorvan
