#include "device/ModbusMap.h"

#include "device/Cp1251.h"
#include "settings/AppOptions.h"

#include <algorithm>

namespace zorvan {

namespace {
TModbusMapConn* instance = nullptr;

void declare(TModbusParameter& p, TModbusSpace& space, quint16 index, TModbusParamType type,
             const QString& description,
             TModbusParamAccess access = TModbusParamAccess::mpaReadWrite) {
    p.setIndex(index);
    p.setParamType(type);
    p.setByteOrder(TModbusParamByteOrder::mbo3210);
    p.setFloatMask(QStringLiteral("0.00"));
    p.setAccess(access);
    p.setDescription(description);
    // Last: attaching lays the space out with the final index and type.
    p.setModbusSpace(&space);
}

void deviceSpace(TModbusSpace& space, TModbusTransport& transport, quint16 base) {
    space.setModbusTransport(&transport);
    space.setDeviceAddress(1);
    space.setBaseAddress(base);
}
} // namespace

TModbusMapConn::TModbusMapConn(const TOptions& options) : Transport(&PortDrv), m_options(options) {
    PortDrv.setPortName(QStringLiteral("\\\\.\\COM2"));

    deviceSpace(ZorvanSpace, Transport, ZorvanSpaceBase);
    ZorvanSpace.setRefreshIAC(true);
    deviceSpace(ZorvanSpaceAdd, Transport, ZorvanSpaceAddBase);
    ZorvanSpaceAdd.setRefreshIAC(true);
    deviceSpace(Space1, Transport, Space1Base);
    Space1.setWriteIAC(true);
    Space1.setSingleWriteMode(false);

    using T = TModbusParamType;
    const QString start = QStringLiteral("Старт");
    declare(BaseAddress, ZorvanSpace, 0, T::mptWord, start);
    declare(TagIndex, ZorvanSpace, 1, T::mptWord, start);
    declare(Action, ZorvanSpace, 2, T::mptWord, start);
    declare(Error, ZorvanSpace, 3, T::mptWord, start);
    declare(ZorvanOptions, ZorvanSpace, 4, T::mptInteger, start);
    declare(Channel, ZorvanSpace, 5, T::mptWord, start);
    declare(TagType, ZorvanSpace, 6, T::mptWord, start);
    declare(Name1234, ZorvanSpace, 7, T::mptInteger, start);
    declare(Name5678, ZorvanSpace, 8, T::mptInteger, start);
    declare(Name9ABC, ZorvanSpace, 9, T::mptInteger, start);
    declare(prmCurrMapTagCount, ZorvanSpaceAdd, 0, T::mptWord,
            QStringLiteral("Количество тегов в текущей карте"));
    declare(prmCurrMapTagIndex, ZorvanSpaceAdd, 1, T::mptWord,
            QStringLiteral("Индекс тега из текущей карты"));
    declare(SaveToFlash, Space1, 0, T::mptInteger, QString(), TModbusParamAccess::mpaWriteOnly);

    DataModuleCreate();
    if (!instance)
        instance = this;
}

TModbusMapConn::~TModbusMapConn() {
    if (instance == this)
        instance = nullptr;
    CloseLink();
}

void TModbusMapConn::DataModuleCreate() {
    ApplyOptions();
    PortDrv.SuspendPolling();
}

void TModbusMapConn::ApplyOptions() {
    PortDrv.setPort(static_cast<quint8>(m_options.Port->Value() & 0xFF));
    PortDrv.setBaudRate(static_cast<TBaudRate>(m_options.Rate->Value() & 0xFF));
    PortDrv.setInputTimeout(static_cast<quint32>(m_options.regprmRxTimeout->Value()));
    const auto address = static_cast<quint8>(m_options.regDeviceAddress->Value() & 0xFF);
    ZorvanSpace.setDeviceAddress(address);
    ZorvanSpaceAdd.setDeviceAddress(address);
}

bool TModbusMapConn::OpenLink() {
    return PortDrv.OpenPort();
}

void TModbusMapConn::CloseLink() {
    PortDrv.ClosePort();
}

bool TModbusMapConn::StoreToFlash() {
    // The device answers once its flash is written, which takes far longer than a register
    // read: wait at least FlashWriteMs for the reply (or the reply time-out when longer).
    const quint32 timeout = PortDrv.InputTimeout();
    PortDrv.setInputTimeout(std::max(timeout, FlashWriteMs));
    SaveToFlash.Data()->setAsDWord(1);
    const bool sent = Space1.FlushWithRetries();
    SaveToFlash.Data()->setAsDWord(0);
    PortDrv.setInputTimeout(timeout);
    return sent;
}

void TModbusMapConn::setAction(MapAction code) {
    Action.Data()->setAsWord(static_cast<quint32>(code));
    // Sent whatever the image held: the image only mirrors what was last written or read, and
    // a device may keep the last code or an earlier write may have failed.
    Action.setModified(true);
}

bool TModbusMapConn::HasError(MapError code) const {
    return Error.Data()->AsWord() == static_cast<quint16>(code);
}

QString TModbusMapConn::CurrentTagName() const {
    return DWordToText(Name1234.Data()->AsDWord()) + DWordToText(Name5678.Data()->AsDWord()) +
           DWordToText(Name9ABC.Data()->AsDWord());
}

QString DWordToText(quint32 value) {
    QString text(4, QChar());
    for (int i = 0; i < 4; ++i)
        text[i] = Cp1251ToChar(static_cast<quint8>(value >> (24 - 8 * i)));
    return text;
}

TModbusMapConn* ModbusMapConn() {
    return instance;
}

} // namespace zorvan
