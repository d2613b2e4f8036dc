#include "editor/ui/DeviceOperationRunner.h"

#include "components/Prompter.h"
#include "device/Commands.h"
#include "document/CnlImage.h"

namespace zorvan {

namespace {

// Restores a command's progress handler after a run; the runner's step runs first, then the
// handler that was there before.
class ProgressHook {
public:
    ProgressHook(TCustomCommand& command, TDeviceProgress& progress)
        : m_command(command), m_previous(command.OnProgress) {
        m_command.OnProgress = [&progress, previous = m_previous](int done, int total) {
            progress.Step(done, total);
            if (previous)
                previous(done, total);
        };
    }
    ~ProgressHook() { m_command.OnProgress = m_previous; }
    ProgressHook(const ProgressHook&) = delete;
    ProgressHook& operator=(const ProgressHook&) = delete;

private:
    TCustomCommand& m_command;
    TCustomCommand::TProgressEvent m_previous;
};

} // namespace

TImageContent::TImageContent(const TChannelImage* image) {
    if (!image)
        return;
    BaseAdr = image->BaseAdr;
    Options = image->Options;
    const TChannelList& map = *image->Map();
    Channels.reserve(static_cast<size_t>(map.Count()));
    for (int i = 0; i < map.Count(); ++i) {
        const TChannelItem& c = *map.Items(i);
        Channels.emplace_back(c.Channel, c.ParamType, c.TagIndex, c.TagName, c.Note);
    }
}

void TDeviceOperationRunner::SetRunning(bool running) {
    m_running = running;
    if (OnRunningChange)
        OnRunningChange();
}

bool TDeviceOperationRunner::Run(TCustomCommand& command, const QString& title, bool totalKnown,
                                 const TDeviceProgress::TStepText& stepText,
                                 const std::function<void(bool)>& afterRun) {
    if (m_running)
        return false;
    bool result = false;
    {
        struct Running {
            TDeviceOperationRunner& Runner;
            explicit Running(TDeviceOperationRunner& runner) : Runner(runner) {
                Runner.SetRunning(true);
            }
            ~Running() { Runner.SetRunning(false); }
        } running(*this);
        WaitCursor wait;
        TDeviceProgress progress(m_parent, title, stepText, totalKnown);
        progress.ShowDelayMs = ShowDelayMs;
        ProgressHook hook(command, progress);
        result = command.Execute();
    }
    if (afterRun)
        afterRun(result);
    if (!result)
        prompter().tell(QStringLiteral("No communication with the device"), MessageKind::Error);
    if (OnFinished)
        OnFinished();
    return result;
}

} // namespace zorvan
