#pragma once

#include "components/Prompter.h"

class QWidget;

namespace zorvan {

// The GUI's prompter: message boxes, input boxes, file and folder dialogs, the wait cursor.
class QtPrompter final : public IPrompter {
public:
    explicit QtPrompter(QWidget* parent = nullptr) : m_parent(parent) {}
    void setParent(QWidget* parent) { m_parent = parent; }

    PromptAnswer ask(const QString& text, PromptButtons buttons) override;
    void tell(const QString& text, MessageKind kind, const QString& detail = {}) override;
    std::optional<QString> inputText(const QString& caption, const QString& prompt,
                                     const QString& initial) override;
    std::optional<QString> openFileName(const QString& filter) override;
    std::optional<QString> saveFileName(const QString& filter) override;
    std::optional<QString> folderName(const QString& start) override;
    void beginWait() override;
    void endWait() override;

private:
    QWidget* m_parent;
};

} // namespace zorvan
