#pragma once

#include "components/Prompter.h"

#include <QStringList>
#include <deque>
#include <functional>
#include <optional>

namespace zorvan::test {

// Records every prompt and answers from queues; an unscripted question answers Cancel and an
// unscripted dialog is cancelled, so a test never blocks. Installs itself for its lifetime.
class ScriptedPrompter final : public IPrompter {
public:
    struct Record {
        QString kind; // "ask", "tell", "input", "open", "save", "folder"
        QString text;
    };

    ScriptedPrompter();
    ~ScriptedPrompter() override;

    std::deque<PromptAnswer> answers;
    std::deque<std::optional<QString>> texts;     // input boxes
    std::deque<std::optional<QString>> fileNames; // open, save and folder dialogs
    QList<Record> records;
    // The initial text of every input box, in order.
    QStringList inputInitials;
    int waitDepth = 0;
    int waitCount = 0;
    // Runs at each prompt, once it is recorded and before it is answered: a test looks at the
    // program's state at the moment the prompt appears.
    std::function<void(const Record&)> onRecord;

    QStringList texts_of(const QString& kind) const;
    QStringList messages() const { return texts_of("tell"); }
    QStringList questions() const { return texts_of("ask"); }

    PromptAnswer ask(const QString& text, PromptButtons buttons) override;
    void tell(const QString& text, MessageKind kind) override;
    std::optional<QString> inputText(const QString& caption, const QString& prompt,
                                     const QString& initial) override;
    std::optional<QString> openFileName(const QString& filter) override;
    std::optional<QString> saveFileName(const QString& filter) override;
    std::optional<QString> folderName(const QString& start) override;
    void beginWait() override;
    void endWait() override;

private:
    void add(const QString& kind, const QString& text);
    std::optional<QString> nextFile(const QString& kind, const QString& text);
    IPrompter* m_previous = nullptr;
};

} // namespace zorvan::test
