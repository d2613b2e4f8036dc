#include "Cases.h"
#include "components/MDVLocalize.h"

#include <QTest>

using namespace zorvan;

namespace {

struct Language {
    int id;
    const char* name;
    const char* texts;
};

} // namespace

// The one place where the three languages' texts are checked, byte for byte: they are the
// product's own (the Ukrainian "i" is the Latin letter, "Warning before clossing" as shipped).
class tst_MDVLocalize : public QObject {
    Q_OBJECT
private slots:
    void texts_data() {
        test::addCases<Language>({
            {"English",
             {2305, "English",
              "File|New|Open|Save|Save As...|Close|Exit|Options|Close Application?|"
              "Document not loaded. Unknown file version|File already exists. Replace?|"
              "Document has been modified. Save changes?|Framework options|Open last file|"
              "View toolbar|Warning before clossing"}},
            {"Russian",
             {6400, "Русский",
              "Файл|Новый|Открыть|Сохранить|Сохранить как...|Закрыть|Выход|Опции|"
              "Закрыть приложение?|Документ не загружен. Неизвестная версия файла|"
              "Файл уже существует. Заменить?|Документ был изменён. Сохранить изменения?|"
              "Опции каркаса|Открывать последний файл|Отображать панель инструментов|"
              "Предупреждать о закрытии приложения"}},
            {"Ukrainian",
             {8704, "Український",
              "Файл|Новий|Вiдкрити|Зберегти|Зберегти як...|Закрити|Вихiд|Опцiї|"
              "Закрити програму?|Документ не загружений. Невiдома версiя файла|"
              "Файл вже iснує. Замiнить?|Документ був змiнений. Зберегти змiни?|"
              "Опциї каркаса|Вiдкрити останнiй файл|Показувати панель iнструментiв|"
              "Попереджувати про закриття програми"}},
        });
    }
    void texts() {
        QFETCH(Language, c);
        TMDVLocalization localization;
        QVERIFY(localization.SelectID(c.id));
        const TMDVLanguage& language = localization.Current();
        QCOMPARE(QString::number(language.LanguageID()) + ' ' + language.Name + '|' +
                     language.Texts().join('|'),
                 QString::number(c.id) + ' ' + QString::fromUtf8(c.name) + '|' +
                     QString::fromUtf8(c.texts));
    }

    // Selecting needs both identifiers; otherwise the current language stays.
    void select() {
        TMDVLocalization l;
        QCOMPARE(int(l.CurrentID()), 2305); // English first
        const QList<std::pair<int, bool>> steps{
            {6400, true}, {9 * 256, false},     {34 * 256 + 1, false}, {8704, true},
            {0, false},   {1 * 256 + 9, false}, {2305, true},          {25 * 256, true}};
        QString trace;
        for (const auto& [id, selected] : steps) {
            QCOMPARE(l.Select(quint8(id >> 8), quint8(id)), selected);
            trace += QString::number(l.CurrentID()) + ' ';
        }
        QCOMPARE(trace, QString("6400 6400 6400 8704 8704 8704 2305 6400 "));
        // A list of its own: the first language added is current; the first match wins.
        TLocalizeList list;
        TAppLocalization a(7, 2, "A"), b(7, 2, "B"), c(8, 0, "C");
        QVERIFY(!list.Current() && !list.Select(9, 1));
        list.Add(&a), list.Add(nullptr), list.Add(&b), list.Add(&c);
        QVERIFY(list.Count() == 3 && list.Current() == &a);
        QVERIFY(list.Select(8, 0) && list.Current() == &c && list.Select(7, 2) &&
                list.Current() == &a);
    }
};

QTEST_GUILESS_MAIN(tst_MDVLocalize)
#include "tst_MDVLocalize.moc"
