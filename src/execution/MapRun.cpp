#include "execution/MapRun.h"

#include "components/Prompter.h"
#include "device/ModbusMap.h"
#include "document/CnlImage.h"
#include "execution/ValueText.h"

namespace zorvan {

TMapRun::TMapRun(const TChannelImage& image, TModbusTransport* transport, quint8 deviceAddress) {
    const TChannelList& map = *image.Map();
    quint16 address = ValueBlockAddress;
    TModbusSpace* space = nullptr;
    for (int i = 0; i < map.Count(); ++i) {
        TChannelItem* channel = map.Items(i);
        const std::optional<TModbusParamType> type = ChannelParamType(channel->ParamType);
        if (!type)
            continue;
        if (!space || space->Params().Count() >= MaxSpaceParameters) {
            auto created = std::make_unique<TModbusSpace>();
            created->setModbusTransport(transport);
            created->setDeviceAddress(deviceAddress);
            created->setRefreshIAC(true);
            // Every refresh reads (RefreshIAC), so the read timer's mark is never needed; left
            // running it would wake the thread ten times a second per space for nothing.
            created->setReadInterval(0);
            created->setBaseAddress(address);
            space = created.get();
            m_spaces.push_back(std::move(created));
        }
        auto parameter = std::make_unique<TModbusParameter>();
        parameter->setParamType(*type);
        parameter->setDescription(channel->TagName);
        parameter->setFloatMask(QStringLiteral("0.000"));
        parameter->setIndex(static_cast<quint16>(space->Params().Count()));
        parameter->setUserData(channel);
        parameter->setByteOrder(ChannelByteOrder(*type, image.Options));
        // Last: attaching lays the space out with the final index and type.
        parameter->setModbusSpace(space);
        address = static_cast<quint16>(address + RegistersOf(*type));
        m_order.push_back(parameter.get());
        m_channels.push_back(channel->Channel);
        m_parameters.push_back(std::move(parameter));
    }
    m_reads.resize(m_spaces.size());
    // Marked before the values of the last space are handed on.
    for (std::size_t i = 0; i < m_spaces.size(); ++i)
        m_spaces[i]->OnAfterRefresh = [this, i](TModbusSpace*) {
            m_reads[i] = Read;
            if (i + 1 == m_spaces.size())
                UpdateValues();
        };
}

std::unique_ptr<TMapRun> TMapRun::ForConnection(const TChannelImage& image, TModbusMapConn& conn) {
    auto run = std::make_unique<TMapRun>(image, &conn.Transport, conn.ZorvanSpace.DeviceAddress());
    TModbusMapConn* device = &conn;
    run->OnSaveToFlash = [device] {
        // The request goes to the device that is polled.
        device->Space1.setDeviceAddress(device->ZorvanSpace.DeviceAddress());
        return device->StoreToFlash();
    };
    return run;
}

TMapRun::~TMapRun() = default;

void TMapRun::ResetCounters() {
    ErrorCount = 0;
    RequestCount = 0;
    CurrentSpace = 0;
}

void TMapRun::MarkStale() {
    for (quint8& reads : m_reads)
        reads |= Failed;
}

QString TMapRun::FlashSavedText() {
    return QStringLiteral("Данные сохранены");
}

QString TMapRun::FlashFailedText() {
    return QStringLiteral("Ошибка при сохранении настроек");
}

void TMapRun::Tick() {
    if (m_inTick)
        return;
    m_inTick = true;
    if (FlashRequest) {
        FlashRequest = false;
        const std::function<bool()> save = OnSaveToFlash;
        const bool saved = save && save();
        prompter().tell(saved ? FlashSavedText() : FlashFailedText(),
                        saved ? MessageKind::Information : MessageKind::Error);
    }
    if (!m_spaces.empty()) {
        if (CurrentSpace < 0 || CurrentSpace >= SpaceCount())
            CurrentSpace = 0;
        if (!m_spaces[std::size_t(CurrentSpace)]->RefreshWithRetries()) {
            ++ErrorCount;
            m_reads[std::size_t(CurrentSpace)] |= Failed;
        }
        ++CurrentSpace;
        ++RequestCount;
    }
    m_inTick = false;
}

void TMapRun::UpdateValues() {
    // Through a copy: the handler may reassign the member.
    const std::function<void()> handler = OnUpdateValues;
    if (handler)
        handler();
}

} // namespace zorvan
