#include "Cases.h"
#include "Child.h"
#include "Files.h"
#include "GenericRegValue.h"
#include "NextModal.h"
#include "PtyPeer.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"
#include "settings/AppOptions.h"
#include "settings/ui/DataContainerDlg.h"
#include "settings/ui/DateTimeValueEditor.h"
#include "settings/ui/IPQuery.h"
#include "settings/ui/IntValuesListDlg.h"
#include "settings/ui/PortPickerDlg.h"

#include <QAction>
#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtTest>

using namespace zorvan;
using namespace zorvan::test;
using K = zorvan::TRegistryValueType;

namespace {

// Runs the options dialog with driver working on it while it is shown modally; false when no
// dialog was shown.
bool runDialog(const TDataContainerDialog& component,
               const std::function<void(TDtContainerDlg&, QTableWidget&)>& driver) {
    bool ran = false;
    QObject scope; // a timer that never fired dies with the call
    onNextModal<TDtContainerDlg>(&scope, [&](TDtContainerDlg& dialog) {
        ran = true, driver(dialog, *child<QTableWidget>(dialog, "ValueList"));
    });
    ExecuteDataContainerDialog(component);
    return ran;
}

void clickCell(QTableWidget& list, int row, int column, bool twice) {
    list.scrollToItem(list.item(row, column));
    const QPoint at = list.visualItemRect(list.item(row, column)).center();
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, at);
    if (twice)
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, at);
}

// A row as "<cells>|", starting with "*" when it carries the changed icon.
QString row(const QTableWidget& list, int r) {
    QString text = list.item(r, 0)->icon().isNull() ? "" : "*";
    for (int c = 0; c < list.columnCount(); ++c)
        text += list.item(r, c)->text() + '|';
    return text;
}

// The application's settings with their store written, and, in the category "Kinds", one
// setting of every other kind and two with a user editor ("Hooked" goes on to the standard one).
struct Settings {
    TempConfigHome home;
    std::unique_ptr<TOptions> options;
    explicit Settings(bool kinds = true) {
        { TOptions first; }
        options = std::make_unique<TOptions>();
        auto* category = new TRegValueCategory(options.get());
        category->setCaption("Kinds");
        const double start = DateTimeToDays(QDateTime(QDate(2021, 3, 1), QTime(12, 0)));
        const QList<std::tuple<const char*, K, QVariant>> kindsShown{
            {"Number", K::rvtFloat, -1.5},     {"Text", K::rvtString, "abc"},
            {"File", K::rvtFileName, "/a"},    {"Folder", K::rvtFolderName, "/tmp"},
            {"Address", K::rvtIP, "10.0.0.1"}, {"When", K::rvtDateTime, start},
            {"Day", K::rvtDate, start},        {"Time", K::rvtTime, start},
            {"Hooked", K::rvtString, "x"},     {"Replaced", K::rvtString, "y"}};
        for (const auto& [name, kind, value] : kinds ? kindsShown : decltype(kindsShown)()) {
            auto* v = new GenericRegValue(options.get(), name, kind, value, "0.000");
            v->setCategory(category), v->setDescriptor(QString("Edit ") + name);
            v->setUserEditor(QByteArray(name).endsWith("ed"));
            v->OnUserEditor = [v](bool& go) {
                go = v->objectName() == "Hooked" || !v->setVariantValue("by hook");
            };
        }
        options->DataContainer->RegisterValues();
        options->DataContainer->Load(), options->DataContainer->Save();
    }
};

// A setting edited with an answer to its editor: "text:" an input box, "file:" a file or folder
// dialog ("-" cancels), "pick:" the named-value picker's entry, "ip:" the address input,
// "date" the date and time picker; the row afterwards and what the editors showed.
struct Edit {
    const char* setting;
    const char* answer;
    const char* outcome;
};

} // namespace

class tst_DataContainerDlg : public QObject {
    Q_OBJECT
private slots:
    // The application's options: the categories sorted, all parameters first; the entry at the
    // position of the number of categories selected at the start; visible settings only,
    // sorted within a category. One picture of the dialog, in which no text is cut short.
    // Set default asks first; Esc closes the dialog, and the changes are written all the same.
    void listingPictureDefaults() {
        Settings s(false);
        ScriptedPrompter prompter;
        prompter.answers = {PromptAnswer::No, PromptAnswer::Yes};
        s.options->Port->setValue(9), s.options->DataContainer->Save();
        QString shown;
        QStringList cut;
        QVERIFY(runDialog(*s.options->DataContainerDialog, [&](TDtContainerDlg& dlg,
                                                               QTableWidget& list) {
            auto* categories = child<TCategoryToolDlg>(dlg, "CategoryToolDlg");
            shown = dlg.windowTitle() + '|' + categories->EntryTexts().join('|') + '\n';
            for (int entry : {2, 0}) {
                QVERIFY(categories->SelectEntry(entry));
                for (int r = 0; r < list.rowCount(); ++r)
                    shown +=
                        row(list, r) + (list.selectionModel()->isRowSelected(r) ? "<\n" : "\n");
            }
            for (const QLabel* label : dlg.findChildren<QLabel*>())
                if (label->fontMetrics().horizontalAdvance(label->text()) > label->width())
                    cut << label->text();
            const QTreeWidget* tree = child<QTreeWidget>(dlg, "List");
            for (int i = 0; i < tree->topLevelItemCount(); ++i)
                if (QFontMetrics(tree->font()).horizontalAdvance(tree->topLevelItem(i)->text(0)) >=
                    tree->columnWidth(0))
                    cut << tree->topLevelItem(i)->text(0);
            for (int r = 0; r < list.rowCount(); ++r)
                for (int c = 0; c < list.columnCount(); ++c) {
                    const QTableWidgetItem* cell = list.item(r, c);
                    const int icon = cell->icon().isNull() ? 0 : list.iconSize().width() + 4;
                    if (list.fontMetrics().horizontalAdvance(cell->text()) + icon + 8 >
                        list.columnWidth(c))
                        cut << cell->text();
                }
            QVERIFY(dlg.grab().save(ZORVAN_TEST_OUTPUT_DIR "/settings-options-dialog.png"));
            for (int k = 0; k < 2; ++k)
                child<QAction>(dlg, "actSetDefault")->trigger(), shown += row(list, 3) + '\n';
            QTest::keyClick(&dlg, Qt::Key_Escape);
            shown += QString::number(dlg.isVisible());
        }));
        QCOMPARE(cut.join(", "), QString());
        QCOMPARE(shown + prompter.questions().join('|'),
                 "Options|(All Parameters)|Application options|Подключение\n"
                 "Адрес устройства|1|<\nНомер COM-порта|COM9|\nСкорость обмена|9600|\n"
                 "Таймаут ответа от устройства|50|\nApplication options|Tool bar view|true|<\n"
                 "|Warning before application closing|true|\n|Open last file|true|\n"
                 "Подключение|Номер COM-порта|COM9|\n|Скорость обмена|9600|\n"
                 "|Адрес устройства|1|\n|Таймаут ответа от устройства|50|\n"
                 "Подключение|Номер COM-порта|COM9|\n*Подключение|Номер COM-порта|COM1|\n0"
                 "Set default data?|Set default data?");
        QVERIFY(readFile(s.home.optionsFile()).contains("\"WarningBeforeClosing\"=dword:00000000"));
        QVERIFY(!runDialog(TDataContainerDialog(), [](TDtContainerDlg&, QTableWidget&) {}));
    }

    // The port's row and its picker show what the number's link reaches, whole.
    void portPicker() {
        Settings s(false);
        PtyPeer pty; // behind a name longer than the value column
        const QString device = s.home.path() + "/a-serial-adapter-without-a-stable-name";
        QVERIFY(QFile::link(pty.slavePath(), device) && linkPort(systemPortRoots(), 5, device).ok);
        const QString caption = "COM5 — " + device;
        InstallPortPicker(*s.options->Port, [] { return PortPickerTexts(); });
        s.options->Port->setValue(5), s.options->DataContainer->Save();
        QStringList shown;
        QVERIFY(runDialog(*s.options->DataContainerDialog, [&](TDtContainerDlg& dlg,
                                                               QTableWidget& list) {
            QVERIFY(child<TCategoryToolDlg>(dlg, "CategoryToolDlg")->SelectEntry(0));
            const int r = dlg.RowOf(s.options->Port);
            onNextModal<TIntValuesListDialog>(&dlg, [&](TIntValuesListDialog& picker) {
                const QTableWidget& entries = *child<QTableWidget>(picker, "List");
                for (int k = 0; k < entries.rowCount(); ++k)
                    if (!entries.item(k, 0)->icon().isNull() &&
                        entries.fontMetrics().horizontalAdvance(caption) < entries.columnWidth(1))
                        shown << entries.item(k, 1)->text();
            });
            clickCell(list, r, 2, true);
            if (list.fontMetrics().horizontalAdvance(caption) < list.columnWidth(2))
                shown << list.item(r, 2)->text();
        }));
        QCOMPARE(shown, QStringList({caption, caption}));
    }

    void edit_data() {
        // clang-format off
        addCases<Edit>({
            {"port: the third entry",         {"Port", "pick:3", "*Подключение|Номер COM-порта|COM3| marked 1"}},
            {"rate: 230400 out of limits",    {"Rate", "pick:14", "|Скорость обмена|9600| marked 7"}},
            {"address 17",                    {"regDeviceAddress", "text: 17 ", "*|Адрес устройства|17| input |Value 1"}},
            {"address 0 refused",             {"regDeviceAddress", "text:0", "|Адрес устройства|1| input |Value 1"}},
            {"address not a number",          {"regDeviceAddress", "text:abc", "|Адрес устройства|1| input |Value 1, tell 'abc' is not a valid integer value"}},
            {"address input cancelled",       {"regDeviceAddress", "", "|Адрес устройства|1| input |Value 1"}},
            {"boolean toggles",               {"WarningBeforeClosing", "", "*|Warning before application closing|false|"}},
            {"number",                        {"Number", "text:2.25", "*Kinds|Number|2.250| input Edit Number|Value -1.500"}},
            {"not a number",                  {"Number", "text:x1", "Kinds|Number|-1.500| input Edit Number|Value -1.500, tell 'x1' is not a valid floating point value"}},
            {"text",                          {"Text", "text:new", "*|Text|new| input Edit Text|Value abc"}},
            {"file",                          {"File", "file:/home/u/m.zorvan", "*|File|/home/u/m.zorvan| open All files (*)"}},
            {"folder",                        {"Folder", "file:/srv", "*|Folder|/srv/| folder /tmp/"}},
            {"folder browser cancelled",      {"Folder", "file:-", "|Folder|/tmp/| folder /tmp/"}},
            {"address",                       {"Address", "ip:192.168.1  .5", "*|Address|192.168.1.5| shown 10.0.0.1"}},
            {"date and time",                 {"When", "date", "*|When|5 Mar 2021 08:30:00| calendar time"}},
            {"date",                          {"Day", "date", "*|Day|5 Mar 2021| calendar"}},
            {"time",                          {"Time", "date", "*|Time|08:30:00| time"}},
            {"user editor, then standard",    {"Hooked", "text:z", "*|Hooked|z| input Edit Hooked|Value x"}},
            {"user editor instead",           {"Replaced", "", "*|Replaced|by hook|"}},
        });
        // clang-format on
    }
    void edit() {
        QFETCH(Edit, c);
        Settings s;
        ScriptedPrompter prompter;
        const QString answer = QString(c.answer).section(':', 0, 0);
        const QString given = QString(c.answer).section(':', 1);
        if (answer == "text")
            prompter.texts = {given};
        if (answer == "file")
            prompter.fileNames = {given == "-" ? std::nullopt : std::optional(given)};
        QStringList log;
        QString shown;
        QVERIFY(runDialog(
            *s.options->DataContainerDialog, [&](TDtContainerDlg& dlg, QTableWidget& list) {
                QVERIFY(child<TCategoryToolDlg>(dlg, "CategoryToolDlg")->SelectEntry(0));
                const int r = dlg.RowOf(s.options->DataContainer->FindItem(c.setting));
                if (answer == "pick")
                    onNextModal<TIntValuesListDialog>(&dlg, [&](TIntValuesListDialog& picker) {
                        QTableWidget& entries = *child<QTableWidget>(picker, "List");
                        for (int k = 0; k < entries.rowCount(); ++k)
                            if (!entries.item(k, 0)->icon().isNull())
                                log << "marked " + entries.item(k, 0)->text();
                        clickCell(entries, given.toInt() - 1, 1, false); // a selection closes it
                    });
                if (answer == "ip")
                    onNextModal<TIPQueryDlg>(&dlg, [&](TIPQueryDlg& input) {
                        log << "shown " + input.EnteredText();
                        child<QLineEdit>(input, "Edit")->setText(given);
                        QTest::mouseClick(child<QPushButton>(input, "OkButton"), Qt::LeftButton);
                    });
                if (answer == "date")
                    onNextModal<TDateTimeValueDlg>(&dlg, [&](TDateTimeValueDlg& picker) {
                        auto* calendar = child<QCalendarWidget>(picker, "Calendar");
                        auto* time = child<QDateTimeEdit>(picker, "TimePicker");
                        log << QString(calendar->isVisible() ? "calendar " : "") +
                                   (time->isVisible() ? "time" : "");
                        calendar->setSelectedDate(QDate(2021, 3, 5)), time->setTime(QTime(8, 30));
                        QTest::keyClick(child<QPushButton>(picker, "SetButton"), Qt::Key_Space);
                    });
                if (answer == "text")
                    list.selectRow(r), QTest::keyClick(&list, Qt::Key_Return);
                else
                    clickCell(list, r, 2, true);
                shown = row(list, r);
            }));
        for (const auto& record : prompter.records)
            log << (record.kind + ' ' + record.text +
                    (record.kind == "input" ? ' ' + prompter.inputInitials[0] : ""))
                       .trimmed();
        QCOMPARE((QStringList{shown} << log.join(", ")).join(' ').trimmed(), c.outcome);
    }
};

QTEST_MAIN(tst_DataContainerDlg)
#include "tst_DataContainerDlg.moc"
