#pragma once

#include "comm/PortPicker.h"

#include <functional>
#include <optional>

namespace zorvan {

class TRegInteger;

// Picks the port for the setting from the choices given to choose (with the index of the
// current number); returns the index picked, nullopt when the user picked nothing.
using PortChooser =
    std::function<std::optional<int>(const QList<PortChoice>& choices, int current)>;

// Gives the port setting its caption in the options list and its own editor: a device without
// a number is linked to the lowest free one first; a failed link is told and changes nothing.
void attachPortPicker(TRegInteger& port, const PortRoots& roots,
                      std::function<PortPickerTexts()> texts, PortChooser choose);

} // namespace zorvan
