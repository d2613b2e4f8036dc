#pragma once

#include <QString>
#include <optional>

namespace zorvan {

// Every question, message, input box, file dialog and the hourglass goes through one
// IPrompter, so that the GUI shows Qt dialogs, tests answer from a script and the command
// line prints to standard error.

enum class PromptAnswer { Yes, No, Cancel, Ok };

enum class PromptButtons { YesNo, YesNoCancel };

enum class MessageKind { Information, Warning, Error };

class IPrompter {
public:
    virtual ~IPrompter() = default;

    // A confirmation with Yes/No or Yes/No/Cancel; closing the box answers Cancel (No for YesNo).
    virtual PromptAnswer ask(const QString& text, PromptButtons buttons) = 0;
    // A message with one OK button; a detail (why, in the system's words) goes below the text.
    virtual void tell(const QString& text, MessageKind kind, const QString& detail = {}) = 0;
    // A text input box; nullopt when cancelled.
    virtual std::optional<QString> inputText(const QString& caption, const QString& prompt,
                                             const QString& initial) = 0;
    // File dialogs take a filter in the form "Document (*.zorvan)"; nullopt when cancelled.
    virtual std::optional<QString> openFileName(const QString& filter) = 0;
    virtual std::optional<QString> saveFileName(const QString& filter) = 0;
    virtual std::optional<QString> folderName(const QString& start) = 0;
    // The hourglass: calls nest.
    virtual void beginWait() = 0;
    virtual void endWait() = 0;
};

// The program-wide prompter. Without one installed, a silent prompter answers Cancel and
// shows nothing, so core code never dereferences null.
IPrompter& prompter();
// Installs p (not owned) and returns the previous one; nullptr restores the silent one.
IPrompter* setPrompter(IPrompter* p);

// Holds the hourglass for the lifetime of the object.
class WaitCursor {
public:
    WaitCursor() { prompter().beginWait(); }
    ~WaitCursor() { prompter().endWait(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace zorvan
