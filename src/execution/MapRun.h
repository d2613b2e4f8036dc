#pragma once

#include "comm/ModbusParameter.h"
#include "comm/ModbusSpace.h"

#include <QString>
#include <QtGlobal>
#include <functional>
#include <memory>
#include <vector>

namespace zorvan {

class TChannelImage;
class TChannelItem;
class TModbusMapConn;
class TModbusTransport;

// One run of a channel map against the device: the map's channels as typed parameters in
// register spaces of their own, read one space per tick. The execution window and
// `zorvanctl poll` both drive one.
//
// The device serves its current map from register ValueBlockAddress on, one or two registers
// per entry in map order, whatever the document's BaseAdr says. Spaces hold at most
// MaxSpaceParameters parameters (at most 40 registers, one read request each). A channel whose
// type code is not one of the five value types takes no register and gets no parameter.
class TMapRun {
public:
    static constexpr quint16 ValueBlockAddress = 16384;
    static constexpr int MaxSpaceParameters = 20;
    // The poll tick's period, from the end of one tick to the next.
    static constexpr int TickInterval = 20;

    // Builds the spaces and parameters from the map's channels: each space on `transport`,
    // slave `deviceAddress`, read on every refresh. The image must stay unchanged while the run
    // lives (UserData of each parameter points at its channel).
    TMapRun(const TChannelImage& image, TModbusTransport* transport, quint8 deviceAddress);
    // A run on the device connection: its Transport and ZorvanSpace's address; save to flash
    // through its Space1, addressed like ZorvanSpace.
    static std::unique_ptr<TMapRun> ForConnection(const TChannelImage& image, TModbusMapConn& conn);
    ~TMapRun();
    TMapRun(const TMapRun&) = delete;
    TMapRun& operator=(const TMapRun&) = delete;

    // In poll order; owned by the run.
    const std::vector<std::unique_ptr<TModbusSpace>>& Spaces() const { return m_spaces; }
    int SpaceCount() const { return int(m_spaces.size()); }
    // Every parameter, in map order (spaces in order, each space in Index order).
    const std::vector<TModbusParameter*>& Parameters() const { return m_order; }
    // The device's channel number of the parameter's channel, as the map gave it when built.
    int ChannelOf(int position) const { return m_channels.at(std::size_t(position)); }
    bool IsEmpty() const { return m_spaces.empty(); }
    // Whether the parameter's space was ever read, and whether its value is stale: the last read
    // of its space failed, or the line was lost since.
    bool EverRead(int position) const { return ReadsOf(position) & Read; }
    bool Stale(int position) const { return ReadsOf(position) & Failed; }
    // The line was lost: every value is stale until its space is read again.
    void MarkStale();

    int CurrentSpace = 0;
    bool FlashRequest = false;
    int ErrorCount = 0;
    int RequestCount = 0;

    // Counters and CurrentSpace to 0, as a new start of polling does.
    void ResetCounters();

    // One poll tick: a pending save to flash first (its message through the prompter), then a
    // refresh of the space at CurrentSpace (wrapping to 0), counted in RequestCount and, when it
    // failed, in ErrorCount. Nothing for a run without spaces.
    void Tick();
    // True while Tick runs. Pending user-interface events may run inside a tick (the chart
    // updater lets them), so an owner must not destroy the run then: see the window's deferred
    // teardown.
    bool InTick() const { return m_inTick; }

    // Raised after each successful refresh of the last space: every value of the run is fresh.
    std::function<void()> OnUpdateValues;
    // The save to flash; true when the device took the request. Unassigned: it fails.
    std::function<bool()> OnSaveToFlash;

    // The texts of the flash request's outcome.
    static QString FlashSavedText();
    static QString FlashFailedText();

private:
    enum ReadFlag : quint8 { Read = 1, Failed = 2 };
    quint8 ReadsOf(int position) const {
        return m_reads.at(std::size_t(position / MaxSpaceParameters));
    }
    void UpdateValues();

    std::vector<std::unique_ptr<TModbusSpace>> m_spaces;
    // Declared after the spaces: destroyed first (either order is safe, this one is plainer).
    std::vector<std::unique_ptr<TModbusParameter>> m_parameters;
    std::vector<TModbusParameter*> m_order;
    std::vector<int> m_channels;
    std::vector<quint8> m_reads; // ReadFlags per space
    bool m_inTick = false;
};

} // namespace zorvan
