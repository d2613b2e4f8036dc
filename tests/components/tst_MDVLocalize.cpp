#include "components/MDVLocalize.h"

#include <QTest>

using namespace zorvan;

class TestMDVLocalize : public QObject {
    Q_OBJECT

private slots:
    void languageTable_data();
    void languageTable();
    void texts_data();
    void texts();
    void select_data();
    void select();
    void listOwnsNothingAndStartsWithFirst();
};

void TestMDVLocalize::languageTable_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<int>("primary");
    QTest::addColumn<int>("sub");
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("name");
    QTest::newRow("english") << 0 << 9 << 1 << 2305 << "English";
    QTest::newRow("russian") << 1 << 25 << 0 << 6400 << "Русский";
    QTest::newRow("ukrainian") << 2 << 34 << 0 << 8704 << "Український";
}

void TestMDVLocalize::languageTable() {
    QFETCH(int, index);
    QFETCH(int, primary);
    QFETCH(int, sub);
    QFETCH(int, id);
    QFETCH(QString, name);
    TMDVLocalization localization;
    QCOMPARE(localization.List().Count(), 3);
    const TAppLocalization* language = localization.List().Items(index);
    QCOMPARE(int(language->PrimaryID), primary);
    QCOMPARE(int(language->SubID), sub);
    QCOMPARE(int(language->LanguageID()), id);
    QCOMPARE(language->Name, name);
    QCOMPARE(static_cast<const TMDVLanguage*>(language)->Texts().size(), 16);
}

// Positions 1..16 of the table; checked by position so that a swapped pair shows.
void TestMDVLocalize::texts_data() {
    QTest::addColumn<int>("id");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("english") << 2305
                             << QStringList{"File",
                                            "New",
                                            "Open",
                                            "Save",
                                            "Save As...",
                                            "Close",
                                            "Exit",
                                            "Options",
                                            "Close Application?",
                                            "Document not loaded. Unknown file version",
                                            "File already exists. Replace?",
                                            "Document has been modified. Save changes?",
                                            "Framework options",
                                            "Open last file",
                                            "View toolbar",
                                            "Warning before clossing"};
    QTest::newRow("russian") << 6400
                             << QStringList{"Файл",
                                            "Новый",
                                            "Открыть",
                                            "Сохранить",
                                            "Сохранить как...",
                                            "Закрыть",
                                            "Выход",
                                            "Опции",
                                            "Закрыть приложение?",
                                            "Документ не загружен. Неизвестная версия файла",
                                            "Файл уже существует. Заменить?",
                                            "Документ был изменён. Сохранить изменения?",
                                            "Опции каркаса",
                                            "Открывать последний файл",
                                            "Отображать панель инструментов",
                                            "Предупреждать о закрытии приложения"};
    QTest::newRow("ukrainian") << 8704
                               << QStringList{"Файл",
                                              "Новий",
                                              "Вiдкрити",
                                              "Зберегти",
                                              "Зберегти як...",
                                              "Закрити",
                                              "Вихiд",
                                              "Опцiї",
                                              "Закрити програму?",
                                              "Документ не загружений. Невiдома версiя файла",
                                              "Файл вже iснує. Замiнить?",
                                              "Документ був змiнений. Зберегти змiни?",
                                              "Опциї каркаса",
                                              "Вiдкрити останнiй файл",
                                              "Показувати панель iнструментiв",
                                              "Попереджувати про закриття програми"};
}

void TestMDVLocalize::texts() {
    QFETCH(int, id);
    QFETCH(QStringList, expected);
    TMDVLocalization localization;
    QVERIFY(localization.SelectID(id));
    const TMDVLanguage& language = localization.Current();
    QCOMPARE(language.Texts(), expected);
    // The named members are the table's positions.
    QCOMPARE(language.OpenText, expected[2]);
    QCOMPARE(language.SaveAsText, expected[4]);
    QCOMPARE(language.SaveChangesQuestion, expected[11]);
    QCOMPARE(language.WarningBeforeClosingText, expected[15]);
    // The stored Ukrainian texts use the Latin i, never the Cyrillic one (U+0456).
    for (const QString& text : language.Texts())
        QVERIFY2(!text.contains(QChar(0x0456)), qPrintable(text));
    if (id == 8704)
        QCOMPARE(language.OpenText.at(1), QChar('i'));
}

// A selection from each starting language: either the requested one becomes current or the
// starting one stays.
void TestMDVLocalize::select_data() {
    QTest::addColumn<int>("startID");
    QTest::addColumn<int>("primary");
    QTest::addColumn<int>("sub");
    QTest::addColumn<bool>("selected");
    QTest::addColumn<int>("currentID");
    QTest::newRow("english -> russian") << 2305 << 25 << 0 << true << 6400;
    QTest::newRow("russian -> ukrainian") << 6400 << 34 << 0 << true << 8704;
    QTest::newRow("ukrainian -> english") << 8704 << 9 << 1 << true << 2305;
    QTest::newRow("primary matches, sub does not") << 6400 << 9 << 0 << false << 6400;
    QTest::newRow("sub matches, primary does not") << 8704 << 34 << 1 << false << 8704;
    QTest::newRow("zero") << 6400 << 0 << 0 << false << 6400;
    QTest::newRow("swapped bytes") << 2305 << 1 << 9 << false << 2305;
}

void TestMDVLocalize::select() {
    QFETCH(int, startID);
    QFETCH(int, primary);
    QFETCH(int, sub);
    QFETCH(bool, selected);
    QFETCH(int, currentID);
    TMDVLocalization localization;
    QVERIFY(localization.SelectID(startID));
    QCOMPARE(localization.Select(primary, sub), selected);
    QCOMPARE(int(localization.CurrentID()), currentID);
    // The same through the stored identifier form.
    TMDVLocalization byID;
    QVERIFY(byID.SelectID(startID));
    QCOMPARE(byID.SelectID(primary * 256 + sub), selected);
    QCOMPARE(int(byID.CurrentID()), currentID);
}

void TestMDVLocalize::listOwnsNothingAndStartsWithFirst() {
    TLocalizeList list;
    QVERIFY(list.Current() == nullptr);
    QVERIFY(!list.Select(9, 1));
    TAppLocalization a(7, 2, "A"), b(7, 2, "B"), c(8, 0, "C");
    list.Add(&a);
    list.Add(nullptr);
    list.Add(&b);
    list.Add(&c);
    QCOMPARE(list.Count(), 3);
    QCOMPARE(list.Current(), &a);
    QVERIFY(list.Select(8, 0));
    QCOMPARE(list.Current(), &c);
    // Two languages with the same identifiers: the first one wins.
    QVERIFY(list.Select(7, 2));
    QCOMPARE(list.Current(), &a);
    // A fresh localization starts in English, the first of the table.
    TMDVLocalization localization;
    QCOMPARE(int(localization.CurrentID()), 2305);
}

QTEST_GUILESS_MAIN(TestMDVLocalize)
#include "tst_MDVLocalize.moc"
