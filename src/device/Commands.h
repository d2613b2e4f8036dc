#pragma once

#include <QtGlobal>
#include <functional>
#include <memory>

namespace zorvan {

class TChannelImage;
class TModbusMapConn;
class TTagList;

// One complete exchange with the device, run synchronously between opening and closing the
// port. Commands report through their result and the prompter; they throw nothing.
class TCustomCommand {
public:
    // done of total steps; total is the size known when the call is made.
    using TProgressEvent = std::function<void(int done, int total)>;

    // Without a connection the program-wide ModbusMapConn is used, looked up at each run.
    explicit TCustomCommand(TModbusMapConn* connection = nullptr) : m_connection(connection) {}
    virtual ~TCustomCommand() = default;
    TCustomCommand(const TCustomCommand&) = delete;
    TCustomCommand& operator=(const TCustomCommand&) = delete;

    TModbusMapConn* Connection() const { return m_connection; }
    void setConnection(TModbusMapConn* connection) { m_connection = connection; }

    // Opens the port; when that fails shows "Не удалось подключиться к COM-порту" and returns
    // false. Otherwise runs DoExecute and closes the port whatever happened. True: every
    // exchange went through (the device may still have refused the content, which the command
    // has then reported itself).
    bool Execute();

    // Called between exchanges while a command runs; it changes no exchange and no result.
    TProgressEvent OnProgress;

protected:
    // The command's own work; the base does nothing and fails.
    virtual bool DoExecute();
    // The connection of the running command (valid inside DoExecute only).
    TModbusMapConn& Conn() const { return *m_running; }
    void Progress(int done, int total) const;

private:
    TModbusMapConn* m_connection = nullptr;
    TModbusMapConn* m_running = nullptr;
};

// Reads the device's tag catalogue into its tag list: for each index from 0 the index is
// written to TagIndex and the map-control registers are read back, until the device answers
// Error 1 or 256 tags have been read.
class TUpdateTagListCmd : public TCustomCommand {
public:
    static constexpr int MaxTags = 256;

    explicit TUpdateTagListCmd(TModbusMapConn* connection = nullptr);
    ~TUpdateTagListCmd() override;

    // Owned by the command. After a failed read it keeps the tags read before the failure.
    TTagList* TagList() const { return m_tagList.get(); }

protected:
    bool DoExecute() override;

private:
    std::unique_ptr<TTagList> m_tagList;
};

// Writes the target's channel map into the device as its current map, then has the device
// store it in flash. A refusal by the device (Error 1 or 2 after an entry) is shown as a
// message and still counts as a completed exchange.
class TUploadCurrMapCmd : public TCustomCommand {
public:
    explicit TUploadCurrMapCmd(TModbusMapConn* connection = nullptr) : TCustomCommand(connection) {}

    // Not owned; set before each run. Without one the command fails before any exchange.
    TChannelImage* Target() const { return m_target; }
    void setTarget(TChannelImage* target) { m_target = target; }

    // Outcome of the last run: the device's Error code that stopped it (a MapError), 0 when
    // the device took the whole map; and whether the flash request failed.
    quint16 DeviceError() const { return m_deviceError; }
    bool FlashFailed() const { return m_flashFailed; }

protected:
    bool DoExecute() override;

private:
    TChannelImage* m_target = nullptr;
    quint16 m_deviceError = 0;
    bool m_flashFailed = false;
};

// Reads the device's current map into the target's channel map, replacing it. A device whose
// map is empty leaves an empty map with the device's options, and the result is false.
class TDownloadCurrMapCmd : public TCustomCommand {
public:
    explicit TDownloadCurrMapCmd(TModbusMapConn* connection = nullptr)
        : TCustomCommand(connection) {}

    TChannelImage* Target() const { return m_target; }
    void setTarget(TChannelImage* target) { m_target = target; }

    // Entries the device reported in the last run; -1 when it was not read.
    int DeviceCount() const { return m_deviceCount; }

protected:
    bool DoExecute() override;

private:
    TChannelImage* m_target = nullptr;
    int m_deviceCount = -1;
};

// The program-wide command objects: created at program start (tag list, upload, download, in
// this order) before any module or window, and freed at its end.
TUpdateTagListCmd* UpdateTagListCmd();
TUploadCurrMapCmd* UploadCurrMapCmd();
TDownloadCurrMapCmd* DownloadCurrMapCmd();

} // namespace zorvan
