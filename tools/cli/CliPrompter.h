#pragma once

#include "components/Prompter.h"

namespace zorvanctl {

// The prompter of the command line: messages go to standard error, one line each; there is
// nobody to answer questions or dialogs, so questions answer No (Cancel where offered) and
// dialogs are cancelled. Installs itself for its lifetime.
class CliPrompter final : public zorvan::IPrompter {
public:
    CliPrompter();
    ~CliPrompter() override;
    CliPrompter(const CliPrompter&) = delete;
    CliPrompter& operator=(const CliPrompter&) = delete;

    zorvan::PromptAnswer ask(const QString& text, zorvan::PromptButtons buttons) override;
    void tell(const QString& text, zorvan::MessageKind kind, const QString& detail = {}) override;
    std::optional<QString> inputText(const QString& caption, const QString& prompt,
                                     const QString& initial) override;
    std::optional<QString> openFileName(const QString& filter) override;
    std::optional<QString> saveFileName(const QString& filter) override;
    std::optional<QString> folderName(const QString& start) override;
    void beginWait() override {}
    void endWait() override {}

private:
    zorvan::IPrompter* m_previous = nullptr;
};

} // namespace zorvanctl
