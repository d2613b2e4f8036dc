#include "CliPrompter.h"

#include "Command.h"

namespace zorvanctl {

using namespace zorvan;

CliPrompter::CliPrompter() : m_previous(setPrompter(this)) {}

CliPrompter::~CliPrompter() {
    setPrompter(m_previous);
}

PromptAnswer CliPrompter::ask(const QString& text, PromptButtons buttons) {
    err(text + QLatin1Char('\n'));
    return buttons == PromptButtons::YesNoCancel ? PromptAnswer::Cancel : PromptAnswer::No;
}

void CliPrompter::tell(const QString& text, MessageKind, const QString& detail) {
    err(text + QLatin1Char('\n'));
    if (!detail.isEmpty())
        err(detail + QLatin1Char('\n'));
}

std::optional<QString> CliPrompter::inputText(const QString&, const QString&, const QString&) {
    return std::nullopt;
}

std::optional<QString> CliPrompter::openFileName(const QString&) {
    return std::nullopt;
}

std::optional<QString> CliPrompter::saveFileName(const QString&) {
    return std::nullopt;
}

std::optional<QString> CliPrompter::folderName(const QString&) {
    return std::nullopt;
}

} // namespace zorvanctl
