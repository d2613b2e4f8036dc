#pragma once

#include <QIcon>

namespace zorvan {

// Image 0 of the options dialog's image list: marks a setting changed since it was last read or
// written, and the current entry in the named-value picker.
QIcon changedSettingIcon();

} // namespace zorvan
