#pragma once

#include "editor/ui/DeviceProgress.h"

#include <QString>
#include <functional>
#include <tuple>
#include <vector>

class QWidget;

namespace zorvan {

class TChannelImage;
class TCustomCommand;

// What a document holds, to tell whether a command has changed it.
struct TImageContent {
    quint16 BaseAdr = 0;
    quint32 Options = 0;
    std::vector<std::tuple<int, int, int, QString, QString>> Channels;

    explicit TImageContent(const TChannelImage* image);
    bool operator==(const TImageContent&) const = default;
};

// Runs the editor's device commands (Download tags, Upload Map, Download Map) one at a time,
// each in the same frame: the hourglass, the progress window, then the caller's afterRun with
// the result and "No communication with the device" on false.
class TDeviceOperationRunner {
public:
    // parent: the window the progress window is centred on (not owned).
    explicit TDeviceOperationRunner(QWidget* parent) : m_parent(parent) {}

    // How long a command runs before its progress window shows.
    int ShowDelayMs = TDeviceProgress::DefaultShowDelayMs;
    // Running() has changed.
    std::function<void()> OnRunningChange;
    // A run has ended: after afterRun and the message, so that the owner shows the outcome.
    std::function<void()> OnFinished;

    bool Running() const { return m_running; }

    // Runs the command; false when it failed or another one runs (that one is left alone and
    // nothing else happens).
    bool Run(TCustomCommand& command, const QString& title, bool totalKnown,
             const TDeviceProgress::TStepText& stepText, const std::function<void(bool)>& afterRun);

private:
    void SetRunning(bool running);

    QWidget* m_parent;
    bool m_running = false;
};

} // namespace zorvan
