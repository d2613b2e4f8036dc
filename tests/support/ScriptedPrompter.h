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
        QString detail; // of a message
    };

    ScriptedPrompter() : m_previous(setPrompter(this)) {}
    ~ScriptedPrompter() override { setPrompter(m_previous); }

    std::deque<PromptAnswer> answers;
    std::deque<std::optional<QString>> texts;     // input boxes
    std::deque<std::optional<QString>> fileNames; // open, save and folder dialogs
    QList<Record> records;
    QStringList inputInitials; // the initial text of every input box, in order
    int waitDepth = 0;
    int waitCount = 0;
    // Runs at each prompt, once it is recorded and before it is answered: a test looks at the
    // program's state at the moment the prompt appears.
    std::function<void(const Record&)> onRecord;

    QStringList texts_of(const QString& kind) const {
        QStringList out;
        for (const auto& r : records)
            if (r.kind == kind)
                out << r.text;
        return out;
    }
    QStringList messages() const { return texts_of("tell"); }
    QStringList questions() const { return texts_of("ask"); }

    PromptAnswer ask(const QString& text, PromptButtons) override {
        record("ask", text);
        return take(answers).value_or(PromptAnswer::Cancel);
    }
    void tell(const QString& text, MessageKind, const QString& detail = {}) override {
        record("tell", text, detail);
    }
    std::optional<QString> inputText(const QString& caption, const QString& prompt,
                                     const QString& initial) override {
        record("input", caption + "|" + prompt);
        inputInitials.append(initial);
        return take(texts).value_or(std::nullopt);
    }
    std::optional<QString> openFileName(const QString& f) override { return file("open", f); }
    std::optional<QString> saveFileName(const QString& f) override { return file("save", f); }
    std::optional<QString> folderName(const QString& start) override {
        return file("folder", start);
    }
    void beginWait() override { ++waitDepth, ++waitCount; }
    void endWait() override { --waitDepth; }

private:
    void record(const QString& kind, const QString& text, const QString& detail = {}) {
        records.append({kind, text, detail});
        if (onRecord)
            onRecord(records.last());
    }
    template <typename T> static std::optional<T> take(std::deque<T>& queue) {
        if (queue.empty())
            return std::nullopt;
        T front = queue.front();
        queue.pop_front();
        return front;
    }
    std::optional<QString> file(const QString& kind, const QString& text) {
        record(kind, text);
        return take(fileNames).value_or(std::nullopt);
    }

    IPrompter* m_previous;
};

} // namespace zorvan::test
