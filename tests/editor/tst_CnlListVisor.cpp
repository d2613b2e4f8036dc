// The channel map editor: the Map list's register offsets, the enabling of the actions, drops on
// the map (the drop rules alone and through the lists' drag events) and Delete's question, Add and
// Edit through the channel properties dialog, and the device actions against the device simulator
// or without a port.

#include "Cases.h"
#include "Child.h"
#include "DevsimProcess.h"
#include "ModalScript.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"
#include "components/ui/ReportListView.h"
#include "device/AppDataTypes.h"
#include "device/Commands.h"
#include "device/ModbusMap.h"
#include "document/ChannelMapText.h"
#include "document/Document.h"
#include "editor/DragDropController.h"
#include "editor/ui/ChannelMapModel.h"
#include "editor/ui/ChannelProps.h"
#include "editor/ui/CnlListVisor.h"
#include "editor/ui/DeviceProgress.h"
#include "settings/AppOptions.h"

#include <QtTest>
#include <QtWidgets>

using namespace zorvan;
using namespace zorvan::test;

namespace {

const QString NoCommunication = QStringLiteral("No communication with the device");
constexpr auto SelectRow = QItemSelectionModel::Select | QItemSelectionModel::Rows;

// The editor as the program wires it, over a fresh document of channels "A", "B"... of the
// given types (channel 10 + i, tag index i, note "n<i>"), with a Tags list of five device tags
// "0".."4" (channel 100 + i, type i, names padded with zero bytes as the device sends them).
// The device is COM7 of a private settings folder, where the simulator links itself.
struct Editor {
    TempConfigHome home;
    std::unique_ptr<TOptions> options = std::make_unique<TOptions>();
    std::unique_ptr<TModbusMapConn> conn;
    TDm dm;
    TChannelPropsDlg dlg;
    TCnlListVisorView view;
    TDragDropController controller;
    ModalScript script{&dlg};
    ScriptedPrompter prompter;
    TTagList tags;
    DevsimProcess device;

    explicit Editor(const QList<int>& types = {}, int address = 1) {
        options->setSaveOnDestroy(false);
        options->Port->setValue(7);
        options->regDeviceAddress->setValue(address);
        options->regprmRxTimeout->setValue(700);
        conn = std::make_unique<TModbusMapConn>(*options);
        view.SetChannelPropsDlg(&dlg);
        view.SetDragDropController(&controller);
        for (int i = 0; i < types.size(); ++i) {
            TChannelItem* c = map().Add();
            c->Channel = 10 + i;
            c->ParamType = types[i];
            c->TagIndex = i;
            c->TagName = QChar(u'A' + i);
            c->Note = QStringLiteral("n%1").arg(i);
        }
        for (quint32 i = 0; i < 5; ++i) {
            TTagListItem* t = tags.Add();
            t->Channel = 100 + i;
            t->DataType = i;
            t->TagName = QString::number(i).leftJustified(12, QChar(0));
        }
        view.SetTagList(&tags);
        view.UpdateView();
        view.show();
        if (!QTest::qWaitForWindowExposed(&view))
            qFatal("the editor did not show");
    }
    TChannelList& map() { return *dm.Image()->Map(); }
    TReportListView* list(const char* name) { return child<TReportListView>(view, name); }
    QAction* action(const char* name) { return child<QAction>(view, name); }
    QString column(int c) const { return cells(view.MapModel(), 0, -1, c, c); }
    // The document's channel names, without their padding.
    QString names() {
        QString out;
        for (int i = 0; i < map().Count(); ++i)
            out += TagNameText(map()[i]->TagName);
        return out;
    }
    void select(const char* name, const QList<int>& rows) {
        for (int r : rows)
            list(name)->selectionModel()->select(list(name)->model()->index(r, 0), SelectRow);
    }
    // Download tags enabled, the hourglass depth, and the progress window's text while it is
    // shown modally.
    QString moment() {
        auto* progress = view.findChild<TDeviceProgressDlg*>();
        const bool shown = progress && QApplication::activeModalWidget() == progress;
        return QStringLiteral("%1 %2 %3")
            .arg(action("actDownLoad")->isEnabled())
            .arg(prompter.waitDepth)
            .arg(shown ? child<QLabel>(progress, "TextLabel")->text() : "-");
    }
};

// A drag of the editor's own kind delivered as a real one is: enter, move, drop. False when the
// list refuses it at the enter.
bool dragOnto(QWidget* viewport, const QPoint& at) {
    QMimeData data;
    data.setData(TReportListView::DragMimeType(), "LV");
    QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &enter);
    if (!enter.isAccepted())
        return false;
    QDragMoveEvent move(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &move);
    QDropEvent drop(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(viewport, &drop);
    return drop.isAccepted();
}

struct Offsets {
    QList<int> types; // after `longs` channels of type Long, the rows compared
    int longs;
    const char* shown; // offset and type of each row
};
struct Enabling {
    int rows;
    QList<int> selected;
    const char* enabled; // Add Edit Delete Execute Upload DownloadMap DownloadTags
};
// How the map is changed: dropped rows of "MapList" or "TagList" (the drop rules alone), of
// "LV" or "TagLV" (that list's drag events), or the rows deleted after the answer "Yes" or "No".
struct Change {
    const char *how, *after; // after: the map's names
    QList<int> rows;
    int target; // -1: below the last row
    bool accepted;
};
struct Props {
    const char *action, *typed, *shownName, *row;
    int close; // a key, or 0 for the apply button, 1 for the cancel button
    bool paddedName;
};
struct Device {
    const char *action, *faults; // the simulator's fault options; null: no simulator
    QList<int> types;
    quint32 options;
    int rowsAfter;
    bool open, modified;
};

} // namespace

class tst_CnlListVisor : public QObject {
    Q_OBJECT
private slots:
    // The one place of the offsets rule: registers of the rows above, wrapping at 65536.
    void offsets_data() {
        // clang-format off
        addCases<Offsets>({
            {"Int Float UInt", {{0, 4, 1}, 0, "0|Int|1|Float|3|UInt"}},
            {"every type", {{0, 1, 2, 3, 4, 0}, 0, "0|Int|1|UInt|2|Long|4|ULong|6|Float|8|Int"}},
            {"unknown types take no register", {{0, 7, -1, 1}, 0, "0|Int|1||1||1|UInt"}},
            {"wraps at 65536", {{0, 1, 4, 0}, 32767, "65534|Int|65535|UInt|0|Float|2|Int"}},
        });
        // clang-format on
    }
    void offsets() {
        QFETCH(Offsets, c);
        Editor e(QList<int>(c.longs, 2) + c.types);
        QCOMPARE(cells(e.view.MapModel(), c.longs, -1, 0, 1), QString(c.shown));
    }

    // Enter in either list and a double click in the Tags list run Edit (cancelled here) only
    // while it is enabled.
    void enabling_data() {
        // clang-format off
        addCases<Enabling>({
            {"empty map", {0, {}, "1000011"}},
            {"rows, none selected", {3, {}, "1001111"}},
            {"one row selected", {3, {1}, "1111111"}},
            {"two rows selected", {3, {0, 2}, "1011111"}},
        });
        // clang-format on
    }
    void enabling() {
        QFETCH(Enabling, c);
        Editor e(QList<int>(c.rows, 0));
        e.select("LV", c.selected);
        QString enabled;
        for (const char* name : {"actAdd", "actEdit", "actDelete", "actExecuteMap", "actUpLoad",
                                 "actDownLoadCurrMap", "actDownLoad"})
            enabled += e.action(name)->isEnabled() ? '1' : '0';
        QCOMPARE(enabled, QString(c.enabled));
        QTest::keyClick(e.list("LV"), Qt::Key_Return);
        QTest::mouseDClick(e.list("TagLV")->viewport(), Qt::LeftButton, {}, QPoint(40, 10));
        QCOMPARE(e.script.shows, c.selected.size() == 1 ? 2 : 0);
    }

    void change_data() {
        // Map ABCDE of types Int Float UInt Long ULong; tags 0..4.
        // clang-format off
        addCases<Change>({
            {"map row onto another", {"MapList", "DBCAE", {0}, 3, true}},
            {"neighbours, drag events", {"LV", "ABCED", {4}, 3, true}},
            {"two map rows refused", {"MapList", "ABCDE", {0, 1}, 3, false}},
            {"two map rows refused, drag events", {"LV", "ABCDE", {0, 1}, 3, false}},
            {"onto itself", {"MapList", "ABCDE", {2}, 2, true}},
            {"no row under the pointer, drag events", {"LV", "ABCDE", {1}, -1, true}},
            {"dragged row gone", {"MapList", "ABCDE", {7}, 1, true}},
            {"three tags onto row 3", {"TagList", "ABC023DE", {0, 2, 3}, 3, true}},
            {"tags below the rows, drag events", {"TagLV", "ABCDE14", {4, 1}, -1, true}},
            {"a tag onto the first row, drag events", {"TagLV", "2ABCDE", {2}, 0, true}},
            {"a tag the list no longer has", {"TagList", "A2BCDE", {7, 2}, 1, true}},
            {"nothing carried", {"TagList", "ABCDE", {}, 2, true}},
            {"deleted, two apart", {"Yes", "BDE", {0, 2}, 0, true}},
            {"deleted, a run", {"Yes", "ADE", {1, 2}, 0, true}},
            {"not deleted", {"No", "ABCDE", {0, 2}, 0, true}},
        });
        // clang-format on
    }
    void change() {
        QFETCH(Change, c);
        const QList<int> types{0, 4, 1, 2, 3};
        Editor e(types);
        const QByteArray how = c.how;
        if (how == "Yes" || how == "No") {
            e.select("LV", c.rows);
            e.prompter.answers.push_back(how == "Yes" ? PromptAnswer::Yes : PromptAnswer::No);
            e.action("actDelete")->trigger();
            QCOMPARE(e.prompter.questions(), QStringList{"Delete items?"});
        } else if (how == "LV" || how == "TagLV") {
            e.select(c.how, c.rows);
            QVERIFY(how == "LV" ? e.view.LVStartDrag() : e.view.TagLVStartDrag());
            QCOMPARE(e.controller.Rows(), e.list(c.how)->SelectedRows());
            QWidget* viewport = e.list("LV")->viewport();
            const QPoint at =
                c.target < 0
                    ? QPoint(20, viewport->height() - 2)
                    : e.list("LV")->visualRect(e.view.MapModel()->index(c.target, 1)).center();
            QVERIFY(!dragOnto(e.list("TagLV")->viewport(), QPoint(20, 20)));
            QCOMPARE(dragOnto(viewport, at), c.accepted);
        } else {
            QCOMPARE(TCnlListVisorView::LVDragOver(c.how, int(c.rows.size())), c.accepted);
            const bool changed = e.view.DropOnMap(c.how, c.rows, c.target);
            QCOMPARE(changed, QString(c.after) != "ABCDE");
        }
        QCOMPARE(e.names(), QString(c.after));
        QCOMPARE(e.column(TChannelMapModel::colName).remove(u'|'), QString(c.after));
        QCOMPARE(e.dm.Link.Modified(), QString(c.after) != "ABCDE");
        // The offsets as counted along the way are those of a fresh count.
        const QString offsets = e.column(TChannelMapModel::colOffset);
        e.view.UpdateView();
        QCOMPARE(e.column(TChannelMapModel::colOffset), offsets);
        // Channels move whole; a tag becomes its channel, type, name and Tags row, without note.
        for (int i = 0; i < e.map().Count(); ++i) {
            const TChannelItem& ch = *e.map()[i];
            const bool tag = ch.TagName[0].isDigit();
            const int k = tag ? ch.TagName[0].digitValue() : ch.TagName[0].unicode() - u'A';
            QCOMPARE(ch.Channel, (tag ? 100 : 10) + k);
            QCOMPARE(ch.ParamType, tag ? k : types[k]);
            QCOMPARE(ch.TagIndex, k);
            QCOMPARE(ch.TagName, tag ? e.tags[k]->TagName : QString(QChar(u'A' + k)));
            QCOMPARE(ch.Note, tag ? QString() : QStringLiteral("n%1").arg(k));
        }
    }

    // Typed into the box that has the focus, then the dialog closed; the new or edited row.
    void properties_data() {
        // Map A B C of types UInt Float Int (offsets 0 1 3); Edit works on row 1.
        // clang-format off
        addCases<Props>({
            {"Add, apply", {"actAdd", "", "Unknown", "4|Int|1|Unknown|", 0, false}},
            {"Add, Esc", {"actAdd", "x", "Unknown", "", Qt::Key_Escape, false}},
            {"Edit, Enter", {"actEdit", "pump 3", "B", "1|Float|12|B|pump 3", Qt::Key_Return, false}},
            {"Edit, Esc", {"actEdit", "pump 3", "B", "1|Float|12|B|n1", Qt::Key_Escape, false}},
            {"Edit, cancel button", {"actEdit", "pump 3", "B", "1|Float|12|B|n1", 1, false}},
            {"Edit a padded name, apply", {"actEdit", "boiler", "B", "1|Float|12|B|boiler", 0, true}},
        });
        // clang-format on
    }
    void properties() {
        QFETCH(Props, c);
        Editor e({1, 4, 0});
        const QString name = c.paddedName ? QStringLiteral("B").leftJustified(12, QChar(0)) : "B";
        e.map()[1]->TagName = name;
        e.select("LV", {1});
        QString shown;
        e.script.steps.push_back([&](QDialog& d) {
            shown = child<QLineEdit>(d, "ParamNameEdit")->text();
            if (auto* box = qobject_cast<QLineEdit*>(d.focusWidget())) {
                box->selectAll();
                QTest::keyClicks(box, c.typed);
            }
            if (c.close > 1)
                QTest::keyClick(d.focusWidget(), Qt::Key(c.close));
            else
                child<QPushButton>(d, c.close ? "CancelBtn" : "ApplyBtn")->click();
        });
        e.action(c.action)->trigger();
        QCOMPARE(shown, QString(c.shownName));
        const int row = QByteArray(c.action) == "actAdd" ? 3 : 1;
        const QString shownRow =
            row < e.map().Count() ? cells(e.view.MapModel(), row, row) : QString();
        QCOMPARE(shownRow, QString(c.row));
        QCOMPARE(e.dm.Link.Modified(), shownRow != (row == 3 ? "" : "1|Float|12|B|n1"));
        QCOMPARE(e.map()[1]->TagName, name); // a padded device name is kept byte for byte
    }

    // From the simulator's catalogue tags 0 and 1 come at once, tag 2's reply 350 ms late and
    // tag 4's never: the progress window shows once 300 ms have passed, in the interface
    // language, the tags read are listed before the message.
    void tagReadFrame() {
        if (DevsimProcess::program().isEmpty())
            QSKIP("no simulator in this build");
        Editor e;
        e.dm.Link.Localization().Select(34, 0);
        QVERIFY(e.device.start({"--com", "7", "--fail-requests", "7:delay=350,11"}));
        QElapsedTimer clock;
        QStringList steps, atMessage;
        UpdateTagListCmd()->OnProgress = [&](int, int) {
            const QString m = e.moment();
            // The view's clock starts after the test's.
            QVERIFY2(clock.elapsed() >= 300 || m.endsWith('-'), qPrintable(m));
            QVERIFY2(clock.elapsed() < 400 || !m.endsWith('-'), qPrintable(m));
            steps << m;
        };
        e.prompter.onRecord = [&](const ScriptedPrompter::Record&) {
            atMessage = {cells(e.view.TagModel(), 0, 3), e.moment()};
        };
        clock.start();
        e.action("actDownLoad")->trigger();
        UpdateTagListCmd()->OnProgress = nullptr;
        QCOMPARE(steps, (QStringList{"0 1 -", "0 1 -", "0 1 Прочитано тегiв: 3",
                                     "0 1 Прочитано тегiв: 4"}));
        QCOMPARE(e.prompter.messages(), QStringList{NoCommunication});
        QCOMPARE(atMessage, (QStringList{"1|1|Float|TEMP1|2|2|Float|TEMP2|3|3|Float|PRESSURE_IN|"
                                         "4|4|Float|PRESSURE_OUT",
                                         "1 0 -"}));
    }

    // Without a device on the port the command's message comes from inside the run, then the
    // view's. The simulator's map is empty (options 0): a download empties the document.
    void deviceActions_data() {
        // clang-format off
        addCases<Device>({
            {"Download tags, no port", {"actDownLoad", nullptr, {0}, 0, 1, true, false}},
            {"Upload Map, no port", {"actUpLoad", nullptr, {0}, 0, 1, true, false}},
            {"Download Map, no port", {"actDownLoadCurrMap", nullptr, {0}, 0, 1, true, false}},
            {"the same empty map", {"actDownLoadCurrMap", "", {}, 0, 0, true, false}},
            {"channels emptied", {"actDownLoadCurrMap", "", {1, 2}, 0, 0, true, true}},
            {"options changed", {"actDownLoadCurrMap", "", {}, 3, 0, true, true}},
            {"no answer: unchanged", {"actDownLoadCurrMap", "--fail-requests 1", {1, 2}, 0, 2, true, false}},
            {"no document open", {"actDownLoadCurrMap", "", {}, 3, 0, false, false}},
        });
        // clang-format on
    }
    void deviceActions() {
        QFETCH(Device, c);
        if (c.faults && DevsimProcess::program().isEmpty())
            QSKIP("no simulator in this build");
        Editor e({}, c.faults ? 1 : 9);
        QVERIFY(!c.faults ||
                e.device.start(
                    QStringLiteral("--com 7 %1").arg(c.faults).split(u' ', Qt::SkipEmptyParts)));
        if (!c.open)
            e.dm.Link.CloseDocument();
        for (int type : c.types)
            e.map().Add()->ParamType = type;
        e.dm.Image()->Options = c.options;
        e.view.UpdateView();
        QStringList messages;
        e.prompter.onRecord = [&](const ScriptedPrompter::Record& r) {
            messages << r.text + u' ' + e.moment();
        };
        e.action(c.action)->trigger();
        const QString port = QStringLiteral("Не удалось подключиться к COM-порту 0 1 -");
        const QString last = NoCommunication + " 1 0 -";
        QCOMPARE(messages, (c.faults ? QStringList{last} : QStringList{port, last}));
        QCOMPARE(e.map().Count(), c.rowsAfter);
        QCOMPARE(e.view.MapModel()->rowCount(), c.rowsAfter);
        QCOMPARE(e.dm.Link.Modified(), c.modified);
        QCOMPARE(e.dm.Link.Active(), c.open);
        // Before an upload the flash space takes the map-control space's device address.
        QCOMPARE(e.conn->Space1.DeviceAddress() == 9, QByteArray(c.action) == "actUpLoad");
    }
};

QTEST_MAIN(tst_CnlListVisor)
#include "tst_CnlListVisor.moc"
