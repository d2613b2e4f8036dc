#include "ScriptedPrompter.h"

namespace zorvan::test {

ScriptedPrompter::ScriptedPrompter() {
    m_previous = setPrompter(this);
}

ScriptedPrompter::~ScriptedPrompter() {
    setPrompter(m_previous);
}

void ScriptedPrompter::add(const QString& kind, const QString& text) {
    records.append({kind, text});
    if (onRecord)
        onRecord(records.last());
}

QStringList ScriptedPrompter::texts_of(const QString& kind) const {
    QStringList out;
    for (const auto& r : records)
        if (r.kind == kind)
            out << r.text;
    return out;
}

PromptAnswer ScriptedPrompter::ask(const QString& text, PromptButtons) {
    add("ask", text);
    if (answers.empty())
        return PromptAnswer::Cancel;
    auto a = answers.front();
    answers.pop_front();
    return a;
}

void ScriptedPrompter::tell(const QString& text, MessageKind) {
    add("tell", text);
}

std::optional<QString> ScriptedPrompter::inputText(const QString& caption, const QString& prompt,
                                                   const QString& initial) {
    add("input", caption + "|" + prompt);
    inputInitials.append(initial);
    if (texts.empty())
        return std::nullopt;
    auto t = texts.front();
    texts.pop_front();
    return t;
}

std::optional<QString> ScriptedPrompter::nextFile(const QString& kind, const QString& text) {
    add(kind, text);
    if (fileNames.empty())
        return std::nullopt;
    auto f = fileNames.front();
    fileNames.pop_front();
    return f;
}

std::optional<QString> ScriptedPrompter::openFileName(const QString& filter) {
    return nextFile("open", filter);
}

std::optional<QString> ScriptedPrompter::saveFileName(const QString& filter) {
    return nextFile("save", filter);
}

std::optional<QString> ScriptedPrompter::folderName(const QString& start) {
    return nextFile("folder", start);
}

void ScriptedPrompter::beginWait() {
    ++waitDepth;
    ++waitCount;
}

void ScriptedPrompter::endWait() {
    --waitDepth;
}

} // namespace zorvan::test
