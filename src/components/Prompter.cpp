#include "components/Prompter.h"

namespace zorvan {
namespace {

class SilentPrompter final : public IPrompter {
public:
    PromptAnswer ask(const QString&, PromptButtons) override { return PromptAnswer::Cancel; }
    void tell(const QString&, MessageKind, const QString&) override {}
    std::optional<QString> inputText(const QString&, const QString&, const QString&) override {
        return std::nullopt;
    }
    std::optional<QString> openFileName(const QString&) override { return std::nullopt; }
    std::optional<QString> saveFileName(const QString&) override { return std::nullopt; }
    std::optional<QString> folderName(const QString&) override { return std::nullopt; }
    void beginWait() override {}
    void endWait() override {}
};

SilentPrompter silentPrompter;
IPrompter* current = &silentPrompter;

} // namespace

IPrompter& prompter() {
    return *current;
}

IPrompter* setPrompter(IPrompter* p) {
    IPrompter* previous = current == &silentPrompter ? nullptr : current;
    current = p ? p : &silentPrompter;
    return previous;
}

} // namespace zorvan
