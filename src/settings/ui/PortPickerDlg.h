#pragma once

#include "settings/PortSetting.h"

namespace zorvan {

class TRegInteger;

// Gives the port setting the port picker over this machine's serial devices and the settings
// folder's links, in the named-value picker's window; texts are the interface language's.
void InstallPortPicker(TRegInteger& port, std::function<PortPickerTexts()> texts);

} // namespace zorvan
