#include "Child.h"
#include "GenericRegValue.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"
#include "settings/AppOptions.h"
#include "settings/RegistryStore.h"
#include "settings/ui/DataContainerDlg.h"
#include "settings/ui/DateTimeValueEditor.h"
#include "settings/ui/IPQuery.h"
#include "settings/ui/IntValuesListDlg.h"

#include <QAction>
#include <QApplication>
#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>

using namespace zorvan;
using zorvan::test::child;
using zorvan::test::GenericRegValue;
using zorvan::test::ScriptedPrompter;
using zorvan::test::TempConfigHome;

namespace {

// Opens the dialog of the component, lets driver work on it while it runs modally, then closes
// it (if the driver did not) so that a failing check never leaves the test waiting.
bool runDialog(const TDataContainerDialog& component,
               const std::function<void(TDtContainerDlg&)>& driver) {
    bool ran = false;
    QObject scope; // a timer that never fired dies with the call
    QTimer::singleShot(0, &scope, [&] {
        auto* dialog = qobject_cast<TDtContainerDlg*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        ran = true;
        driver(*dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    ExecuteDataContainerDialog(component);
    return ran;
}

// Answers the next modal window of type T with answer, once it is shown, unless scope has gone.
template <typename T> void answerNextModal(QObject* scope, const std::function<void(T&)>& answer) {
    QTimer::singleShot(0, scope, [answer] {
        if (auto* window = qobject_cast<T*>(QApplication::activeModalWidget())) {
            answer(*window);
            if (window->isVisible())
                window->reject();
        }
    });
}

void doubleClickRow(QTableWidget* list, int row) {
    const QRect rect = list->visualRect(list->model()->index(row, list->columnCount() - 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
}

QStringList rowTexts(const QTableWidget* list, int row) {
    QStringList out;
    for (int c = 0; c < list->columnCount(); ++c)
        out << (list->item(row, c) ? list->item(row, c)->text() : QString());
    return out;
}

bool rowHasIcon(const QTableWidget* list, int row) {
    return list->item(row, 0) && !list->item(row, 0)->icon().isNull();
}

QStringList headers(const QTableWidget* list) {
    QStringList out;
    for (int c = 0; c < list->columnCount(); ++c)
        out << list->horizontalHeaderItem(c)->text();
    return out;
}

RegistryKeyContents readStore(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return RegistryText::parse(f.readAll()).value_or(RegistryKeyContents{});
}

// The application's options with a store already written, so that nothing starts flagged.
struct StoredOptions {
    TempConfigHome home;
    std::unique_ptr<TOptions> options;
    StoredOptions() {
        { TOptions first; }
        options = std::make_unique<TOptions>();
    }
};

// A module of generic settings, one of each kind the application does not use.
struct KindsModule {
    QObject owner;
    TDataContainer* container = new TDataContainer(&owner);
    TDataContainerDialog* dialog = new TDataContainerDialog(&owner);
    TRegValueCategory* category = new TRegValueCategory(&owner);
    GenericRegValue* number;
    GenericRegValue* text;
    GenericRegValue* file;
    GenericRegValue* folder;
    GenericRegValue* address;
    GenericRegValue* date;
    KindsModule() {
        container->setRegPath("Test\\Dialog");
        dialog->setDataContainer(container);
        category->setCaption("Kinds");
        number = add("Number", TRegistryValueType::rvtFloat, 1.5, "0.000");
        text = add("Text", TRegistryValueType::rvtString, "abc");
        file = add("File", TRegistryValueType::rvtFileName, "/a/b");
        folder = add("Folder", TRegistryValueType::rvtFolderName, "/tmp");
        address = add("Address", TRegistryValueType::rvtIP, "10.0.0.1");
        // 1 March 2021 12:00
        date = add("Date", TRegistryValueType::rvtDateTime,
                   DateTimeToDays(QDateTime(QDate(2021, 3, 1), QTime(12, 0))));
        container->RegisterValues();
    }
    GenericRegValue* add(const char* name, TRegistryValueType kind, const QVariant& v,
                         const QString& mask = QString()) {
        auto* value = new GenericRegValue(&owner, name, kind, v, v, mask);
        value->setCaption(name);
        value->setCategory(category);
        value->setDescriptor(QString("Edit ") + name);
        return value;
    }
};

} // namespace

class TestDataContainerDlg : public QObject {
    Q_OBJECT
private slots:
    void categoriesAndFirstSelection();
    void valueListRows_data();
    void valueListRows();
    void namedValuePicker_data();
    void namedValuePicker();
    void integerInput_data();
    void integerInput();
    void booleanToggles();
    void escapeStillWrites();
    void setDefault_data();
    void setDefault();
    void otherKinds();
    void dateTimePicker_data();
    void dateTimePicker();
    void userEditorHook_data();
    void userEditorHook();
    void noContainerDoesNothing();
    void renderToPng();
};

void TestDataContainerDlg::categoriesAndFirstSelection() {
    StoredOptions s;
    ScriptedPrompter prompter;
    const bool ran = runDialog(*s.options->DataContainerDialog, [&](TDtContainerDlg& dlg) {
        QCOMPARE(dlg.windowTitle(), QString("Options"));
        QCOMPARE(child<TCategoryToolDlg>(dlg, "CategoryToolDlg")->windowTitle(),
                 QString("Категория"));
        QCOMPARE(child<TCategoryToolDlg>(dlg, "CategoryToolDlg")->EntryTexts(),
                 (QStringList{"(All Parameters)", "Application options", "Подключение"}));
        QVERIFY(child<QTreeWidget>(child<TCategoryToolDlg>(dlg, "CategoryToolDlg"), "List")
                    ->font()
                    .bold());
        // The entry at the position of the number of categories: the third one.
        QCOMPARE(dlg.SelectedCategory(), s.options->ComunicationCategory);
        QCOMPARE(dlg.CategoryPaneWidth(), 250);
        QCOMPARE(child<QSplitter>(dlg, "Splitter")->handleWidth(), 4);
        QCOMPARE(
            child<QTableWidget>(dlg, "ValueList")->selectionModel()->selectedRows().value(0).row(),
            0);
    });
    QVERIFY(ran);
}

void TestDataContainerDlg::valueListRows_data() {
    QTest::addColumn<int>("entry");
    QTest::addColumn<QStringList>("header");
    QTest::addColumn<QStringList>("rows");
    QTest::newRow("all parameters") << 0 << QStringList{"Category", "Parameter", "Value"}
                                    << QStringList{"Application options|Tool bar view|true",
                                                   "|Warning before application closing|true",
                                                   "|Open last file|true",
                                                   "Подключение|Номер COM-порта|COM1",
                                                   "|Скорость обмена|9600",
                                                   "|Адрес устройства|1",
                                                   "|Таймаут ответа от устройства|50"};
    QTest::newRow("application options") << 1 << QStringList{"Parameter", "Value"}
                                         << QStringList{"Open last file|true", "Tool bar view|true",
                                                        "Warning before application closing|true"};
    QTest::newRow("connection") << 2 << QStringList{"Parameter", "Value"}
                                << QStringList{"Адрес устройства|1", "Номер COM-порта|COM1",
                                               "Скорость обмена|9600",
                                               "Таймаут ответа от устройства|50"};
}

void TestDataContainerDlg::valueListRows() {
    QFETCH(int, entry);
    QFETCH(QStringList, header);
    QFETCH(QStringList, rows);
    StoredOptions s;
    ScriptedPrompter prompter;
    QVERIFY(runDialog(*s.options->DataContainerDialog, [&](TDtContainerDlg& dlg) {
        QVERIFY(child<TCategoryToolDlg>(dlg, "CategoryToolDlg")->SelectEntry(entry));
        QCOMPARE(headers(child<QTableWidget>(dlg, "ValueList")), header);
        QStringList shown;
        for (int r = 0; r < child<QTableWidget>(dlg, "ValueList")->rowCount(); ++r) {
            shown << rowTexts(child<QTableWidget>(dlg, "ValueList"), r).join('|');
            QVERIFY(!rowHasIcon(child<QTableWidget>(dlg, "ValueList"), r));
            QVERIFY(dlg.RowValue(r)->Visible());
        }
        QCOMPARE(shown, rows);
    }));
}

void TestDataContainerDlg::namedValuePicker_data() {
    QTest::addColumn<QString>("setting");
    QTest::addColumn<int>("pickRow");
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("text");
    QTest::newRow("third port") << "Port" << 2 << 3 << "COM3";
    QTest::newRow("last port") << "Port" << 254 << 255 << "COM255";
    QTest::newRow("rate 110") << "Rate" << 0 << 1 << "110";
    QTest::newRow("rate 230400 refused") << "Rate" << 13 << 7 << "9600";
}

void TestDataContainerDlg::namedValuePicker() {
    QFETCH(QString, setting);
    QFETCH(int, pickRow);
    QFETCH(int, expected);
    QFETCH(QString, text);
    StoredOptions s;
    ScriptedPrompter prompter;
    auto* value = qobject_cast<TRegInteger*>(s.options->DataContainer->FindItem(setting));
    const int before = value->Value();
    QStringList pickerRow;
    int markedRows = 0;
    int markedRow = -1;
    QVERIFY(runDialog(*s.options->DataContainerDialog, [&](TDtContainerDlg& dlg) {
        const int row = dlg.RowOf(value);
        QVERIFY(row >= 0);
        answerNextModal<TIntValuesListDialog>(&dlg, [&](TIntValuesListDialog& picker) {
            QCOMPARE(picker.windowTitle(), QString("Data List"));
            QTableWidget* list = child<QTableWidget>(picker, "List");
            QCOMPARE(list->rowCount(), value->ValuesList().Count());
            for (int r = 0; r < list->rowCount(); ++r)
                if (!list->item(r, 0)->icon().isNull()) {
                    ++markedRows;
                    markedRow = r;
                }
            pickerRow = rowTexts(list, pickRow);
            list->scrollToItem(list->item(pickRow, 1));
            QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                              list->visualItemRect(list->item(pickRow, 1)).center());
            QVERIFY(!picker.isVisible()); // a selection closes it at once
        });
        doubleClickRow(child<QTableWidget>(dlg, "ValueList"), row);
        QCOMPARE(rowTexts(child<QTableWidget>(dlg, "ValueList"), row).last(), text);
        QCOMPARE(rowHasIcon(child<QTableWidget>(dlg, "ValueList"), row), expected != before);
    }));
    QCOMPARE(pickerRow, (QStringList{QString::number(pickRow + 1),
                                     value->ValuesList().Items(pickRow).Caption}));
    QCOMPARE(markedRows, 1);
    QCOMPARE(value->ValuesList().Items(markedRow).Value, before);
    QCOMPARE(value->Value(), expected);
}

void TestDataContainerDlg::integerInput_data() {
    QTest::addColumn<QString>("setting");
    QTest::addColumn<QVariant>("answer"); // a string, or nothing for Cancel
    QTest::addColumn<int>("expected");
    QTest::addColumn<QString>("message");
    QTest::newRow("address 17") << "regDeviceAddress" << QVariant(" 17 ") << 17 << "";
    QTest::newRow("address 0 refused") << "regDeviceAddress" << QVariant("0") << 1 << "";
    QTest::newRow("address 254") << "regDeviceAddress" << QVariant("254") << 254 << "";
    QTest::newRow("not a number") << "regDeviceAddress" << QVariant("abc") << 1
                                  << "'abc' is not a valid integer value";
    QTest::newRow("too large") << "regDeviceAddress" << QVariant("99999999999") << 1
                               << "'99999999999' is not a valid integer value";
    QTest::newRow("cancelled") << "regDeviceAddress" << QVariant() << 1 << "";
    QTest::newRow("timeout 5 refused") << "regprmRxTimeout" << QVariant("5") << 50 << "";
    QTest::newRow("timeout 200") << "regprmRxTimeout" << QVariant("200") << 200 << "";
}

void TestDataContainerDlg::integerInput() {
    QFETCH(QString, setting);
    QFETCH(QVariant, answer);
    QFETCH(int, expected);
    QFETCH(QString, message);
    StoredOptions s;
    ScriptedPrompter prompter;
    prompter.texts.push_back(answer.isValid() ? std::optional<QString>(answer.toString())
                                              : std::nullopt);
    auto* value = qobject_cast<TRegInteger*>(s.options->DataContainer->FindItem(setting));
    const int before = value->Value();
    QVERIFY(runDialog(*s.options->DataContainerDialog, [&](TDtContainerDlg& dlg) {
        const int row = dlg.RowOf(value);
        child<QTableWidget>(dlg, "ValueList")->selectRow(row);
        QTest::keyClick(child<QTableWidget>(dlg, "ValueList"), Qt::Key_Return);
        QCOMPARE(rowTexts(child<QTableWidget>(dlg, "ValueList"), row).last(),
                 QString::number(expected));
        QCOMPARE(rowHasIcon(child<QTableWidget>(dlg, "ValueList"), row), expected != before);
    }));
    QCOMPARE(prompter.texts_of("input"), QStringList{"|Value"});
    QCOMPARE(value->Value(), expected);
    QCOMPARE(prompter.messages(), message.isEmpty() ? QStringList() : QStringList{message});
}

void TestDataContainerDlg::booleanToggles() {
    StoredOptions s;
    ScriptedPrompter prompter;
    QVERIFY(runDialog(*s.options->DataContainerDialog, [&](TDtContainerDlg& dlg) {
        QVERIFY(child<TCategoryToolDlg>(dlg, "CategoryToolDlg")->SelectEntry(0));
        const int row = dlg.RowOf(s.options->WarningBeforeClosing);
        QVERIFY(!rowHasIcon(child<QTableWidget>(dlg, "ValueList"), row));
        doubleClickRow(child<QTableWidget>(dlg, "ValueList"), row);
        QCOMPARE(rowTexts(child<QTableWidget>(dlg, "ValueList"), row),
                 (QStringList{"", "Warning before application closing", "false"}));
        QVERIFY(rowHasIcon(child<QTableWidget>(dlg, "ValueList"), row));
        QCOMPARE(s.options->WarningBeforeClosing->Value(), false);
        doubleClickRow(child<QTableWidget>(dlg, "ValueList"), row);
        QCOMPARE(rowTexts(child<QTableWidget>(dlg, "ValueList"), row).last(), QString("true"));
        // The first row keeps its category text when rebuilt.
        doubleClickRow(child<QTableWidget>(dlg, "ValueList"), 0);
        QCOMPARE(rowTexts(child<QTableWidget>(dlg, "ValueList"), 0),
                 (QStringList{"Application options", "Tool bar view", "false"}));
    }));
    QVERIFY(prompter.records.isEmpty());
}

void TestDataContainerDlg::escapeStillWrites() {
    StoredOptions s;
    ScriptedPrompter prompter;
    QVERIFY(runDialog(*s.options->DataContainerDialog, [&](TDtContainerDlg& dlg) {
        QVERIFY(child<TCategoryToolDlg>(dlg, "CategoryToolDlg")->SelectEntry(0));
        doubleClickRow(child<QTableWidget>(dlg, "ValueList"), dlg.RowOf(s.options->ViewToolBar));
        QTest::keyClick(&dlg, Qt::Key_Escape);
        QVERIFY(!dlg.isVisible());
    }));
    QCOMPARE(readStore(s.home.optionsFile()).find("ViewToolBar")->dword, 0u);
    QVERIFY(!s.options->ViewToolBar->Modified());
}

void TestDataContainerDlg::setDefault_data() {
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("applied");
    QTest::newRow("no") << int(PromptAnswer::No) << false;
    QTest::newRow("closed") << int(PromptAnswer::Cancel) << false;
    QTest::newRow("yes") << int(PromptAnswer::Yes) << true;
}

void TestDataContainerDlg::setDefault() {
    QFETCH(int, answer);
    QFETCH(bool, applied);
    StoredOptions s;
    s.options->Port->setValue(9);
    s.options->DataContainer->Save();
    ScriptedPrompter prompter;
    prompter.answers.push_back(static_cast<PromptAnswer>(answer));
    QVERIFY(runDialog(*s.options->DataContainerDialog, [&](TDtContainerDlg& dlg) {
        QVERIFY(child<TCategoryToolDlg>(dlg, "CategoryToolDlg")->SelectEntry(0));
        child<QAction>(dlg, "actSetDefault")->trigger();
        QCOMPARE(dlg.AllCategories(), true);
        const int row = dlg.RowOf(s.options->WarningBeforeClosing);
        QCOMPARE(rowTexts(child<QTableWidget>(dlg, "ValueList"), row).last(),
                 QString(applied ? "false" : "true"));
        QCOMPARE(rowHasIcon(child<QTableWidget>(dlg, "ValueList"), row), applied);
        QCOMPARE(rowTexts(child<QTableWidget>(dlg, "ValueList"), dlg.RowOf(s.options->Port)).last(),
                 QString(applied ? "COM1" : "COM9"));
    }));
    QCOMPARE(prompter.questions(), QStringList{"Set default data?"});
    QCOMPARE(s.options->WarningBeforeClosing->Value(), !applied);
    QCOMPARE(s.options->RestoreLastDocument->Value(), !applied);
    QCOMPARE(s.options->Port->Value(), applied ? 1 : 9);
    const auto stored = readStore(s.home.optionsFile());
    QCOMPARE(stored.find("WarningBeforeClosing")->dword, applied ? 0u : 1u);
    QCOMPARE(stored.find("Port")->dword, applied ? 1u : 9u);
}

void TestDataContainerDlg::otherKinds() {
    TempConfigHome home;
    KindsModule m;
    ScriptedPrompter prompter;
    prompter.texts = {QString("x1"), QString("2.25"), QString("new text")};
    prompter.fileNames = {QString("/home/u/m.zorvan"), std::nullopt, QString("/srv")};
    QVERIFY(runDialog(*m.dialog, [&](TDtContainerDlg& dlg) {
        QTableWidget* list = child<QTableWidget>(dlg, "ValueList");
        QCOMPARE(rowTexts(list, dlg.RowOf(m.number)).last(), QString("1.500"));
        QCOMPARE(rowTexts(list, dlg.RowOf(m.folder)).last(), QString("/tmp/"));
        doubleClickRow(list, dlg.RowOf(m.number)); // "x1": refused with a message
        QCOMPARE(rowTexts(list, dlg.RowOf(m.number)).last(), QString("1.500"));
        doubleClickRow(list, dlg.RowOf(m.number));
        QCOMPARE(rowTexts(list, dlg.RowOf(m.number)).last(), QString("2.250"));
        doubleClickRow(list, dlg.RowOf(m.text));
        QCOMPARE(rowTexts(list, dlg.RowOf(m.text)).last(), QString("new text"));
        doubleClickRow(list, dlg.RowOf(m.file));
        QCOMPARE(rowTexts(list, dlg.RowOf(m.file)).last(), QString("/home/u/m.zorvan"));
        doubleClickRow(list, dlg.RowOf(m.folder)); // cancelled
        QCOMPARE(rowTexts(list, dlg.RowOf(m.folder)).last(), QString("/tmp/"));
        QCOMPARE(m.folder->variantValue(), QVariant("/tmp"));
        doubleClickRow(list, dlg.RowOf(m.folder));
        QCOMPARE(rowTexts(list, dlg.RowOf(m.folder)).last(), QString("/srv/"));
        answerNextModal<TIPQueryDlg>(&dlg, [](TIPQueryDlg& ip) {
            QCOMPARE(ip.windowTitle(), QString("Input IP"));
            QCOMPARE(ip.EnteredText(), QString("10.0.0.1"));
            child<QLineEdit>(ip, "Edit")->setText("192.168.1  .5");
            QTest::mouseClick(child<QPushButton>(ip, "OkButton"), Qt::LeftButton);
        });
        doubleClickRow(list, dlg.RowOf(m.address));
        QCOMPARE(rowTexts(list, dlg.RowOf(m.address)).last(), QString("192.168.1.5"));
    }));
    QCOMPARE(prompter.texts_of("input"),
             (QStringList{"Edit Number|Value", "Edit Number|Value", "Edit Text|Value"}));
    QCOMPARE(prompter.messages(), QStringList{"'x1' is not a valid floating point value"});
    QCOMPARE(prompter.texts_of("folder"), (QStringList{"/tmp", "/tmp"}));
    const auto stored = readStore(home.path() + "/Test/Dialog.reg");
    QCOMPARE(stored.find("Text")->text, QString("new text"));
    QCOMPARE(stored.find("Folder")->text, QString("/srv/"));
    QCOMPARE(stored.find("Address")->text, QString("192.168.1.5"));
}

void TestDataContainerDlg::dateTimePicker_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<bool>("calendarShown");
    QTest::addColumn<bool>("timeShown");
    QTest::addColumn<QDateTime>("expected");
    // Starts at 1 March 2021 12:00; the picker is set to 5 March and 08:30.
    QTest::newRow("date and time") << int(TRegistryValueType::rvtDateTime) << true << true
                                   << QDateTime(QDate(2021, 3, 5), QTime(8, 30));
    QTest::newRow("date") << int(TRegistryValueType::rvtDate) << true << false
                          << QDateTime(QDate(2021, 3, 5), QTime(8, 30));
    QTest::newRow("time") << int(TRegistryValueType::rvtTime) << false << true
                          << QDateTime(QDate(2021, 3, 5), QTime(8, 30));
}

void TestDataContainerDlg::dateTimePicker() {
    QFETCH(int, kind);
    QFETCH(bool, calendarShown);
    QFETCH(bool, timeShown);
    QFETCH(QDateTime, expected);
    TempConfigHome home;
    QObject owner;
    auto* container = new TDataContainer(&owner);
    container->setRegPath("Test\\Date");
    auto* component = new TDataContainerDialog(&owner);
    component->setDataContainer(container);
    auto* value = new GenericRegValue(&owner, "When", static_cast<TRegistryValueType>(kind),
                                      DateTimeToDays(QDateTime(QDate(2021, 3, 1), QTime(12, 0))));
    auto* category = new TRegValueCategory(&owner);
    value->setCategory(category);
    container->RegisterValues();
    bool calendarVisible = false;
    bool timeVisible = false;
    QVERIFY(runDialog(*component, [&](TDtContainerDlg& dlg) {
        answerNextModal<TDateTimeValueDlg>(&dlg, [&](TDateTimeValueDlg& picker) {
            QCOMPARE(picker.windowTitle(), QString("Datetime"));
            QCOMPARE(child<QCalendarWidget>(picker, "Calendar")->firstDayOfWeek(), Qt::Monday);
            calendarVisible = child<QCalendarWidget>(picker, "Calendar")->isVisible();
            timeVisible = child<QDateTimeEdit>(picker, "TimePicker")->isVisible();
            child<QCalendarWidget>(picker, "Calendar")->setSelectedDate(QDate(2021, 3, 5));
            child<QDateTimeEdit>(picker, "TimePicker")->setTime(QTime(8, 30));
            QVERIFY(child<QPushButton>(picker, "SetButton")->isDefault());
            QTest::mouseClick(child<QPushButton>(picker, "SetButton"), Qt::LeftButton);
        });
        doubleClickRow(child<QTableWidget>(dlg, "ValueList"), 0);
    }));
    QCOMPARE(calendarVisible, calendarShown);
    QCOMPARE(timeVisible, timeShown);
    QCOMPARE(DaysToDateTime(value->variantValue().toDouble()), expected);
}

void TestDataContainerDlg::userEditorHook_data() {
    QTest::addColumn<bool>("userEditor");
    QTest::addColumn<bool>("continueStd");
    QTest::addColumn<bool>("standardRan");
    QTest::newRow("hook replaces the editor") << true << false << false;
    QTest::newRow("hook then the editor") << true << true << true;
    QTest::newRow("hook not enabled") << false << false << true;
}

void TestDataContainerDlg::userEditorHook() {
    QFETCH(bool, userEditor);
    QFETCH(bool, continueStd);
    QFETCH(bool, standardRan);
    TempConfigHome home;
    KindsModule m;
    ScriptedPrompter prompter;
    int hookCalls = 0;
    m.text->setUserEditor(userEditor);
    m.text->OnUserEditor = [&](bool& aContinueStd) {
        ++hookCalls;
        QCOMPARE(aContinueStd, false);
        m.text->setVariantValue("from hook");
        aContinueStd = continueStd;
    };
    QString shown;
    QVERIFY(runDialog(*m.dialog, [&](TDtContainerDlg& dlg) {
        doubleClickRow(child<QTableWidget>(dlg, "ValueList"), dlg.RowOf(m.text));
        shown = rowTexts(child<QTableWidget>(dlg, "ValueList"), dlg.RowOf(m.text)).last();
    }));
    QCOMPARE(hookCalls, userEditor ? 1 : 0);
    QCOMPARE(prompter.texts_of("input").size(), standardRan ? 1 : 0);
    // The row is rebuilt in either case.
    QCOMPARE(shown, userEditor ? QString("from hook") : QString("abc"));
}

void TestDataContainerDlg::noContainerDoesNothing() {
    TDataContainerDialog component;
    QVERIFY(!runDialog(component, [](TDtContainerDlg&) {}));
    component.setMaxInstrumentalWidth(0);
    component.setMaxInstrumentalWidth(-5);
    QCOMPARE(component.MaxInstrumentalWidth(), 150);
}

void TestDataContainerDlg::renderToPng() {
    StoredOptions s;
    ScriptedPrompter prompter;
    s.options->Port->setValue(3);
    const QString dir = QStringLiteral(ZORVAN_TEST_OUTPUT_DIR);
    QVERIFY(runDialog(*s.options->DataContainerDialog, [&](TDtContainerDlg& dlg) {
        QVERIFY(child<TCategoryToolDlg>(dlg, "CategoryToolDlg")->SelectEntry(0));
        doubleClickRow(child<QTableWidget>(dlg, "ValueList"),
                       dlg.RowOf(s.options->WarningBeforeClosing));
        QVERIFY(dlg.grab().save(dir + "/settings-options-dialog.png"));
        answerNextModal<TIntValuesListDialog>(&dlg, [&](TIntValuesListDialog& picker) {
            QVERIFY(picker.grab().save(dir + "/settings-named-value-picker.png"));
        });
        doubleClickRow(child<QTableWidget>(dlg, "ValueList"), dlg.RowOf(s.options->Rate));
    }));
    QVERIFY(QFileInfo(dir + "/settings-options-dialog.png").size() > 0);
}

QTEST_MAIN(TestDataContainerDlg)
#include "tst_DataContainerDlg.moc"
