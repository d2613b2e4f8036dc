#include "components/Localization.h"

namespace zorvan {

void TLocalizeList::Add(TAppLocalization* language) {
    if (!language)
        return;
    m_items.push_back(language);
    if (!m_current)
        m_current = language;
}

bool TLocalizeList::Select(std::uint8_t primary, std::uint8_t sub) {
    for (TAppLocalization* language : m_items) {
        if (language->PrimaryID == primary && language->SubID == sub) {
            m_current = language;
            return true;
        }
    }
    return false;
}

} // namespace zorvan
