#include "ReadOnce.h"

#include "comm/ModbusCrc.h"
#include "comm/ModbusSpace.h"
#include "comm/ModbusTransport.h"
#include "execution/MapRun.h"
#include "execution/ui/ModbusMapExecUnit.h"

#include <algorithm>

namespace zorvan::bench {

namespace {

class ZeroDevice : public TModbusTransport {
public:
    bool Transact(TRequest& request, quint16 expected) override {
        if (expected < ExceptionReplyLength || expected > TRequest::Capacity)
            return false;
        std::fill_n(request.Data.begin() + 2, expected - 2, 0); // address and function kept
        request.Data[2] = quint8(expected - ExceptionReplyLength);
        const quint16 crc = ModbusCrc16(request.Data.data(), std::size_t(expected - 2));
        request.Data[expected - 2] = quint8(crc & 0xFF);
        request.Data[expected - 1] = quint8(crc >> 8);
        return true;
    }
};

} // namespace

void readEverySpaceOnce(TModbusMapExecDlg& dlg) {
    ZeroDevice device;
    for (const auto& space : dlg.Run()->Spaces())
        space->setModbusTransport(&device);
    for (int i = 0; i < dlg.Run()->SpaceCount(); ++i)
        dlg.ProcessTimerTimer();
    for (const auto& space : dlg.Run()->Spaces())
        space->setModbusTransport(nullptr);
}

} // namespace zorvan::bench
