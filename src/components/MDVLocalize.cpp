#include "components/MDVLocalize.h"

namespace zorvan {

QStringList TMDVLanguage::Texts() const {
    return {FileText,
            NewText,
            OpenText,
            SaveText,
            SaveAsText,
            CloseText,
            ExitText,
            OptionsText,
            CloseAppQuestion,
            FileVersionError,
            FileExistsQuestion,
            SaveChangesQuestion,
            FrameworkOptionsText,
            OpenLastFileText,
            ViewToolbarText,
            WarningBeforeClosingText};
}

TMDVLocalizationEnglish::TMDVLocalizationEnglish() : TMDVLanguage(9, 1, QStringLiteral("English")) {
    FileText = QStringLiteral("File");
    NewText = QStringLiteral("New");
    OpenText = QStringLiteral("Open");
    SaveText = QStringLiteral("Save");
    SaveAsText = QStringLiteral("Save As...");
    CloseText = QStringLiteral("Close");
    ExitText = QStringLiteral("Exit");
    OptionsText = QStringLiteral("Options");
    CloseAppQuestion = QStringLiteral("Close Application?");
    FileVersionError = QStringLiteral("Document not loaded. Unknown file version");
    FileExistsQuestion = QStringLiteral("File already exists. Replace?");
    SaveChangesQuestion = QStringLiteral("Document has been modified. Save changes?");
    FrameworkOptionsText = QStringLiteral("Framework options");
    OpenLastFileText = QStringLiteral("Open last file");
    ViewToolbarText = QStringLiteral("View toolbar");
    // The spelling is the product's own and is kept as shipped.
    WarningBeforeClosingText = QStringLiteral("Warning before clossing");
    SaveFailedText = QStringLiteral("Could not save %1: %2");
    TagsReadText = QStringLiteral("Tags read: %1");
    EntryWrittenText = QStringLiteral("Entry %1 of %2 written");
    EntryReadText = QStringLiteral("Entry %1 of %2 read");
    SaveToFileText = QStringLiteral("Save to File…");
    RecordText = QStringLiteral("Record…");
    PortNotPresentText = QStringLiteral("(not present)");
    PortNoNumberText = QStringLiteral("(no number)");
    PortLinkFailedText = QStringLiteral("Could not link %1 to COM%2");
}

TMDVLocalizationRussian::TMDVLocalizationRussian()
    : TMDVLanguage(25, 0, QStringLiteral("Русский")) {
    FileText = QStringLiteral("Файл");
    NewText = QStringLiteral("Новый");
    OpenText = QStringLiteral("Открыть");
    SaveText = QStringLiteral("Сохранить");
    SaveAsText = QStringLiteral("Сохранить как...");
    CloseText = QStringLiteral("Закрыть");
    ExitText = QStringLiteral("Выход");
    OptionsText = QStringLiteral("Опции");
    CloseAppQuestion = QStringLiteral("Закрыть приложение?");
    FileVersionError = QStringLiteral("Документ не загружен. Неизвестная версия файла");
    FileExistsQuestion = QStringLiteral("Файл уже существует. Заменить?");
    SaveChangesQuestion = QStringLiteral("Документ был изменён. Сохранить изменения?");
    FrameworkOptionsText = QStringLiteral("Опции каркаса");
    OpenLastFileText = QStringLiteral("Открывать последний файл");
    ViewToolbarText = QStringLiteral("Отображать панель инструментов");
    WarningBeforeClosingText = QStringLiteral("Предупреждать о закрытии приложения");
    SaveFailedText = QStringLiteral("Не удалось сохранить %1: %2");
    TagsReadText = QStringLiteral("Прочитано тегов: %1");
    EntryWrittenText = QStringLiteral("Записана запись %1 из %2");
    EntryReadText = QStringLiteral("Прочитана запись %1 из %2");
    SaveToFileText = QStringLiteral("Сохранить в файл…");
    RecordText = QStringLiteral("Запись…");
    PortNotPresentText = QStringLiteral("(отсутствует)");
    PortNoNumberText = QStringLiteral("(без номера)");
    PortLinkFailedText = QStringLiteral("Не удалось связать %1 с COM%2");
    QtLocale = QStringLiteral("ru");
}

// The Ukrainian texts write the letter "i" as the Latin i, as the product always stored them;
// "ї" and "є" are Cyrillic.
TMDVLocalizationUkrainian::TMDVLocalizationUkrainian()
    : TMDVLanguage(34, 0, QStringLiteral("Український")) {
    FileText = QStringLiteral("Файл");
    NewText = QStringLiteral("Новий");
    OpenText = QStringLiteral("Вiдкрити");
    SaveText = QStringLiteral("Зберегти");
    SaveAsText = QStringLiteral("Зберегти як...");
    CloseText = QStringLiteral("Закрити");
    ExitText = QStringLiteral("Вихiд");
    OptionsText = QStringLiteral("Опцiї");
    CloseAppQuestion = QStringLiteral("Закрити програму?");
    FileVersionError = QStringLiteral("Документ не загружений. Невiдома версiя файла");
    FileExistsQuestion = QStringLiteral("Файл вже iснує. Замiнить?");
    SaveChangesQuestion = QStringLiteral("Документ був змiнений. Зберегти змiни?");
    FrameworkOptionsText = QStringLiteral("Опциї каркаса");
    OpenLastFileText = QStringLiteral("Вiдкрити останнiй файл");
    ViewToolbarText = QStringLiteral("Показувати панель iнструментiв");
    WarningBeforeClosingText = QStringLiteral("Попереджувати про закриття програми");
    SaveFailedText = QStringLiteral("Не вдалося зберегти %1: %2");
    TagsReadText = QStringLiteral("Прочитано тегiв: %1");
    EntryWrittenText = QStringLiteral("Записано запис %1 з %2");
    EntryReadText = QStringLiteral("Прочитано запис %1 з %2");
    SaveToFileText = QStringLiteral("Зберегти у файл…");
    RecordText = QStringLiteral("Запис…");
    PortNotPresentText = QStringLiteral("(вiдсутнiй)");
    PortNoNumberText = QStringLiteral("(без номера)");
    PortLinkFailedText = QStringLiteral("Не вдалося зв'язати %1 з COM%2");
    QtLocale = QStringLiteral("uk");
}

TMDVLocalization::TMDVLocalization()
    : m_english(std::make_unique<TMDVLocalizationEnglish>()),
      m_russian(std::make_unique<TMDVLocalizationRussian>()),
      m_ukrainian(std::make_unique<TMDVLocalizationUkrainian>()),
      m_list(std::make_unique<TLocalizeList>()) {
    m_list->Add(m_english.get());
    m_list->Add(m_russian.get());
    m_list->Add(m_ukrainian.get());
}

TMDVLocalization::~TMDVLocalization() = default;

bool TMDVLocalization::Select(std::uint8_t primary, std::uint8_t sub) {
    return m_list->Select(primary, sub);
}

bool TMDVLocalization::SelectID(std::uint32_t languageID) {
    return Select(static_cast<std::uint8_t>((languageID / 256) & 0xFF),
                  static_cast<std::uint8_t>(languageID & 0xFF));
}

const TMDVLanguage& TMDVLocalization::Current() const {
    // Only TMDVLanguage objects are ever added to the list.
    return static_cast<const TMDVLanguage&>(*m_list->Current());
}

} // namespace zorvan
