#include "components/Localization.h"

namespace zorvan {

void TLocalizeList::Add(TAppLocalization* language) {
    if (!language)
        return;
    items_.push_back(language);
    if (!current_)
        current_ = language;
}

bool TLocalizeList::Select(std::uint8_t primary, std::uint8_t sub) {
    for (TAppLocalization* language : items_) {
        if (language->PrimaryID == primary && language->SubID == sub) {
            current_ = language;
            return true;
        }
    }
    return false;
}

} // namespace zorvan
