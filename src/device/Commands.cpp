#include "device/Commands.h"

#include "components/Prompter.h"
#include "device/AppDataTypes.h"
#include "device/ModbusMap.h"
#include "document/CnlImage.h"

namespace zorvan {

namespace {

// A command's first exchange must not carry writes left pending by an earlier command that
// broke off: a stale Append action would add a tag to the device's map behind the user's back.
void dropPendingWrites(const TModbusSpace& space) {
    for (TModbusParameter* p : space.Params())
        p->setModified(false);
}

class CloseGuard {
public:
    explicit CloseGuard(TModbusMapConn& connection) : m_connection(connection) {}
    ~CloseGuard() { m_connection.CloseLink(); }
    CloseGuard(const CloseGuard&) = delete;
    CloseGuard& operator=(const CloseGuard&) = delete;

private:
    TModbusMapConn& m_connection;
};

class RunningGuard {
public:
    RunningGuard(TModbusMapConn*& slot, TModbusMapConn* connection) : m_slot(slot) {
        m_slot = connection;
    }
    ~RunningGuard() { m_slot = nullptr; }
    RunningGuard(const RunningGuard&) = delete;
    RunningGuard& operator=(const RunningGuard&) = delete;

private:
    TModbusMapConn*& m_slot;
};

} // namespace

// --- TCustomCommand ------------------------------------------------------------------------

bool TCustomCommand::Execute() {
    TModbusMapConn* connection = m_connection ? m_connection : ModbusMapConn();
    if (connection == nullptr || !connection->OpenLink()) {
        prompter().tell(QStringLiteral("Не удалось подключиться к COM-порту"), MessageKind::Error,
                        connection ? connection->PortDrv.OpenError() : QString());
        return false;
    }
    CloseGuard close(*connection);
    RunningGuard running(m_running, connection);
    dropPendingWrites(connection->ZorvanSpace);
    dropPendingWrites(connection->ZorvanSpaceAdd);
    return DoExecute();
}

bool TCustomCommand::DoExecute() {
    return false;
}

void TCustomCommand::Progress(int done, int total) const {
    if (OnProgress)
        OnProgress(done, total);
}

// --- TUpdateTagListCmd ---------------------------------------------------------------------

TUpdateTagListCmd::TUpdateTagListCmd(TModbusMapConn* connection)
    : TCustomCommand(connection), m_tagList(std::make_unique<TTagList>()) {}

TUpdateTagListCmd::~TUpdateTagListCmd() = default;

bool TUpdateTagListCmd::DoExecute() {
    TModbusMapConn& c = Conn();
    m_tagList->Clear();
    if (!c.ZorvanSpace.RefreshWithRetries())
        return false;
    // Index 0 goes out even when the image holds 0 already.
    c.TagIndex.setModified(true);
    for (int i = 0; i < MaxTags; ++i) {
        c.TagIndex.Data()->setAsWord(quint32(i));
        if (!c.ZorvanSpace.FlushWithRetries())
            return false;
        if (!c.ZorvanSpace.RefreshWithRetries())
            return false;
        if (c.HasError(MapError::IncorrectTag))
            return true; // past the end of the catalogue
        if (c.TagIndex.Data()->AsWord() != i)
            return false; // the device shows another tag than the one asked for
        TTagListItem* tag = m_tagList->Add();
        tag->Channel = c.Channel.Data()->AsWord();
        tag->DataType = c.TagType.Data()->AsWord();
        tag->TagName = c.CurrentTagName();
        Progress(i + 1, MaxTags);
    }
    return true;
}

// --- TUploadCurrMapCmd ---------------------------------------------------------------------

bool TUploadCurrMapCmd::DoExecute() {
    m_deviceError = 0;
    m_flashFailed = false;
    if (m_target == nullptr)
        return false;
    TModbusMapConn& c = Conn();
    TModbusSpace& space = c.ZorvanSpace;

    c.setAction(MapAction::Begin);
    if (!space.FlushWithRetries())
        return false;
    c.setAction(MapAction::Clear);
    if (!space.FlushWithRetries())
        return false;
    // The options always go out: the image may hold the same value from an earlier read while
    // the device, its map just cleared, holds another.
    c.ZorvanOptions.Data()->setAsDWord(m_target->Options);
    c.ZorvanOptions.setModified(true);
    if (!space.FlushWithRetries())
        return false;

    const TChannelList& map = *m_target->Map();
    const int count = map.Count();
    // The first entry's tag index goes out even when the image holds it already. An empty map
    // marks nothing, so that no stray index write goes out with Action 4.
    if (count > 0)
        c.TagIndex.setModified(true);
    for (int k = 0; k < count; ++k) {
        const TChannelItem& item = *map.Items(k);
        c.TagIndex.Data()->setAsWord(quint32(item.TagIndex));
        c.setAction(MapAction::Append);
        if (!space.FlushWithRetries())
            return false;
        if (!space.RefreshWithRetries())
            return false;
        if (c.HasError(MapError::IncorrectTag)) {
            m_deviceError = quint16(MapError::IncorrectTag);
            prompter().tell(QStringLiteral("Tag #") + QString::number(item.TagIndex) +
                                QStringLiteral(" incorrect!"),
                            MessageKind::Error);
            return true;
        }
        if (c.HasError(MapError::MapFull)) {
            m_deviceError = quint16(MapError::MapFull);
            prompter().tell(QStringLiteral("List of parameters is overflow!"), MessageKind::Error);
            return true;
        }
        Progress(k + 1, count);
    }

    c.setAction(MapAction::End);
    if (!space.FlushWithRetries())
        return false;
    // The flash request goes to the device the map went to.
    c.Space1.setDeviceAddress(space.DeviceAddress());
    if (!c.StoreToFlash()) {
        m_flashFailed = true;
        prompter().tell(QStringLiteral("Ошибка конфигурирования устройства"), MessageKind::Error);
    }
    return true;
}

// --- TDownloadCurrMapCmd -------------------------------------------------------------------

bool TDownloadCurrMapCmd::DoExecute() {
    m_deviceCount = -1;
    if (m_target == nullptr)
        return false;
    TModbusMapConn& c = Conn();
    if (!c.ZorvanSpace.RefreshWithRetries())
        return false;
    const quint32 options = c.ZorvanOptions.Data()->AsDWord();
    if (!c.ZorvanSpaceAdd.RefreshWithRetries())
        return false;
    const int n = c.prmCurrMapTagCount.Data()->AsWord();
    m_deviceCount = n;

    m_target->Clear();
    m_target->Options = options;
    if (n == 0)
        return false;

    TChannelList& map = *m_target->Map();
    c.prmCurrMapTagIndex.setModified(true);
    for (int i = 0; i < n; ++i) {
        c.prmCurrMapTagIndex.Data()->setAsWord(quint32(i));
        if (!c.ZorvanSpaceAdd.FlushWithRetries())
            return false;
        if (!c.ZorvanSpace.RefreshWithRetries())
            return false;
        TChannelItem* item = map.Add();
        item->TagIndex = c.TagIndex.Data()->AsWord();
        item->Channel = c.Channel.Data()->AsWord();
        item->ParamType = c.TagType.Data()->AsWord();
        item->TagName = c.CurrentTagName();
        Progress(i + 1, n);
    }
    return true;
}

// --- The program-wide objects ----------------------------------------------------------------

namespace {
struct TCommandObjects {
    TUpdateTagListCmd TagList;
    TUploadCurrMapCmd Upload;
    TDownloadCurrMapCmd Download;
};
// The unit's initialisation: members are created in declaration order at program start and
// destroyed in reverse at its end.
TCommandObjects Objects;
} // namespace

TUpdateTagListCmd* UpdateTagListCmd() {
    return &Objects.TagList;
}

TUploadCurrMapCmd* UploadCurrMapCmd() {
    return &Objects.Upload;
}

TDownloadCurrMapCmd* DownloadCurrMapCmd() {
    return &Objects.Download;
}

} // namespace zorvan
