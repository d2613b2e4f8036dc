#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace zorvan {

// One interface language, known by the Windows primary and sub-language identifiers.
class TAppLocalization {
public:
    TAppLocalization(std::uint8_t primary, std::uint8_t sub, QString name)
        : PrimaryID(primary), SubID(sub), Name(std::move(name)) {}
    virtual ~TAppLocalization() = default;
    TAppLocalization(const TAppLocalization&) = delete;
    TAppLocalization& operator=(const TAppLocalization&) = delete;

    // Primary identifier in the high byte, as the settings store it.
    std::uint16_t LanguageID() const { return static_cast<std::uint16_t>(PrimaryID * 256 + SubID); }

    const std::uint8_t PrimaryID;
    const std::uint8_t SubID;
    const QString Name;
};

// Ordered languages (referenced, not owned) and the one in force. The first language added
// becomes current, so once anything is added there is always a current language.
class TLocalizeList {
public:
    void Add(TAppLocalization* language);
    int Count() const { return static_cast<int>(m_items.size()); }
    TAppLocalization* Items(int index) const { return m_items.at(static_cast<size_t>(index)); }
    TAppLocalization* Current() const { return m_current; }

    // The first language with both identifiers becomes current; false (current unchanged)
    // when none matches.
    bool Select(std::uint8_t primary, std::uint8_t sub);

private:
    std::vector<TAppLocalization*> m_items;
    TAppLocalization* m_current = nullptr;
};

} // namespace zorvan
