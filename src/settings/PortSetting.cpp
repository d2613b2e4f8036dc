#include "settings/PortSetting.h"

#include "components/Prompter.h"
#include "settings/StandartStoreObjects.h"

namespace zorvan {

namespace {

void pickPort(TRegInteger& port, const PortRoots& roots, const PortPickerTexts& texts,
              const PortChooser& choose) {
    const PortScan scan = scanPorts(roots, currentPortUser());
    const QList<PortChoice> choices = portChoices(scan, roots, port.Value(), texts);
    int current = -1;
    for (int i = 0; i < choices.size(); ++i)
        if (choices[i].number == port.Value())
            current = i;
    const std::optional<int> picked = choose(choices, current);
    if (!picked || *picked < 0 || *picked >= choices.size())
        return;
    const PortChoice& choice = choices[*picked];
    int number = choice.number;
    if (number == 0) {
        number = lowestFreePort(scan, roots);
        const PortChange link = linkPort(roots, number, choice.device);
        if (!link.ok) {
            prompter().tell(texts.linkFailed.arg(choice.device).arg(number), MessageKind::Error,
                            link.text);
            return;
        }
    }
    port.setValue(number);
}

} // namespace

void attachPortPicker(TRegInteger& port, const PortRoots& roots,
                      std::function<PortPickerTexts()> texts, PortChooser choose) {
    port.setUserEditor(true);
    port.OnValueText = [&port, roots, texts] {
        return portCaption(scanPorts(roots, currentPortUser()), roots, port.Value(), texts());
    };
    port.OnUserEditor = [&port, roots, texts, choose](bool&) {
        pickPort(port, roots, texts(), choose);
    };
}

} // namespace zorvan
