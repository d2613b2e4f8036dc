#pragma once

#include "components/Localization.h"

#include <QStringList>
#include <memory>

namespace zorvan {

// The framework's texts in one language, in table order.
class TMDVLanguage : public TAppLocalization {
public:
    using TAppLocalization::TAppLocalization;

    QString FileText;
    QString NewText;
    QString OpenText;
    QString SaveText;
    QString SaveAsText;
    QString CloseText;
    QString ExitText;
    QString OptionsText;
    QString CloseAppQuestion;
    QString FileVersionError;
    QString FileExistsQuestion;
    QString SaveChangesQuestion;
    QString FrameworkOptionsText;
    QString OpenLastFileText;
    QString ViewToolbarText;
    QString WarningBeforeClosingText;
    // A save that failed: %1 the file, %2 the reason; added after the table's sixteen, so not
    // in Texts().
    QString SaveFailedText;
    // The device progress window's steps: %1 done, %2 of all.
    QString TagsReadText;
    QString EntryWrittenText;
    QString EntryReadText;
    // The execution window's traffic log and recording actions.
    QString SaveToFileText;
    QString RecordText;
    // The options' port picker: a link whose target is missing, a device no number reaches, and
    // a link not made (%1 the device, %2 the number).
    QString PortNotPresentText;
    QString PortNoNumberText;
    QString PortLinkFailedText;
    // The locale of Qt's own texts (message-box buttons, file dialogs) in this language; empty
    // for Qt's untranslated English.
    QString QtLocale;

    // The sixteen of the table, in table order.
    QStringList Texts() const;
};

class TMDVLocalizationEnglish final : public TMDVLanguage {
public:
    TMDVLocalizationEnglish();
};

class TMDVLocalizationRussian final : public TMDVLanguage {
public:
    TMDVLocalizationRussian();
};

class TMDVLocalizationUkrainian final : public TMDVLanguage {
public:
    TMDVLocalizationUkrainian();
};

// The three languages of the framework, English first (and so current until a selection).
class TMDVLocalization {
public:
    TMDVLocalization();
    ~TMDVLocalization();
    TMDVLocalization(const TMDVLocalization&) = delete;
    TMDVLocalization& operator=(const TMDVLocalization&) = delete;

    // True when a language with both identifiers exists and is now current.
    bool Select(std::uint8_t primary, std::uint8_t sub);
    // Selects by a stored language identifier: primary from the high byte, sub from the low.
    bool SelectID(std::uint32_t languageID);

    const TMDVLanguage& Current() const;
    std::uint16_t CurrentID() const { return Current().LanguageID(); }
    const TLocalizeList& List() const { return *m_list; }

private:
    std::unique_ptr<TMDVLocalizationEnglish> m_english;
    std::unique_ptr<TMDVLocalizationRussian> m_russian;
    std::unique_ptr<TMDVLocalizationUkrainian> m_ukrainian;
    std::unique_ptr<TLocalizeList> m_list;
};

} // namespace zorvan
