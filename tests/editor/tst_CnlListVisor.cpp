#include "Child.h"
#include "ModalScript.h"
#include "ScriptedPrompter.h"
#include "components/ui/MDVViewsContainer.h"
#include "components/ui/ReportListView.h"
#include "device/AppDataTypes.h"
#include "document/ChannelMapText.h"
#include "document/CnlImage.h"
#include "document/Document.h"
#include "editor/DragDropController.h"
#include "editor/ui/ChannelMapModel.h"
#include "editor/ui/ChannelProps.h"
#include "editor/ui/CnlListVisor.h"

#include <QAction>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QSignalSpy>
#include <QSplitter>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolBar>
#include <QToolButton>

using namespace zorvan;
using zorvan::test::child;
using zorvan::test::ModalScript;
using zorvan::test::ScriptedPrompter;

namespace {

// The editor as the program wires it, over a fresh document.
struct Editor {
    TDm dm;
    TChannelPropsDlg dlg;
    TCnlListVisorView view;
    TDragDropController controller;
    ModalScript script{&dlg};
    ScriptedPrompter prompter;

    Editor() {
        view.SetChannelPropsDlg(&dlg);
        view.SetDragDropController(&controller);
        view.resize(1100, 420);
    }

    TChannelList& map() { return *dm.Image()->Map(); }
    bool modified() const { return dm.Link.Modified(); }

    // Channels named A, B, C... of the given types; channel 10+i, tag index i, note "n<i>".
    void fill(const QList<int>& types) {
        for (int i = 0; i < types.size(); ++i) {
            TChannelItem* item = map().Add();
            item->Channel = 10 + i;
            item->ParamType = types[i];
            item->TagIndex = i;
            item->TagName = QString(QChar('A' + i));
            item->Note = QStringLiteral("n%1").arg(i);
        }
        view.UpdateView();
    }

    // The document's map: "Channel,ParamType,TagIndex,TagName,Note" per channel.
    QStringList document() {
        QStringList rows;
        for (int i = 0; i < map().Count(); ++i) {
            const TChannelItem* c = map()[i];
            rows << QStringLiteral("%1,%2,%3,%4,%5")
                        .arg(c->Channel)
                        .arg(c->ParamType)
                        .arg(c->TagIndex)
                        .arg(c->TagName, c->Note);
        }
        return rows;
    }
    QString names() {
        QString out;
        for (int i = 0; i < map().Count(); ++i)
            out += map()[i]->TagName;
        return out;
    }

    QString cell(int row, int column) const {
        return view.MapModel()->index(row, column).data().toString();
    }
    // The Map list as shown: one column of every row.
    QStringList column(int column) const {
        QStringList out;
        for (int row = 0; row < view.MapModel()->rowCount(); ++row)
            out << cell(row, column);
        return out;
    }

    void select(const QList<int>& rows) {
        QItemSelectionModel* selection = child<TReportListView>(view, "LV")->selectionModel();
        selection->clearSelection();
        for (int row : rows)
            selection->select(view.MapModel()->index(row, 0),
                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
    }
};

// Tags "t0", "t1"...: channel 100+i, types cycling through 0..4; names padded as the device
// pads them.
void fillTags(TTagList& tags, int count) {
    for (int i = 0; i < count; ++i) {
        TTagListItem* tag = tags.Add();
        tag->Channel = static_cast<quint32>(100 + i);
        tag->DataType = static_cast<quint32>(i % 5);
        tag->TagName = QStringLiteral("t%1").arg(i).leftJustified(12, QChar(0));
    }
}

QStringList numbers(const QList<int>& values) {
    QStringList out;
    for (int v : values)
        out << QString::number(v);
    return out;
}

QList<QAction*> toolbarEntries(const QToolBar* bar) {
    return bar->actions();
}

} // namespace

class tst_CnlListVisor : public QObject {
    Q_OBJECT
private slots:
    void layout();
    void offsets_data();
    void offsets();
    void offsetsWrapAt65536();
    void offsetsFollowRowChanges_data();
    void offsetsFollowRowChanges();
    void editDeleteEnabling_data();
    void editDeleteEnabling();
    void enterAndDoubleClick_data();
    void enterAndDoubleClick();
    void deleteAsks_data();
    void deleteAsks();
    void dropOnMap_data();
    void dropOnMap();
    void dropThroughListEvents();
    void dragStartCarriesSelectedRows();
    void tagsList();
    void dropTags_data();
    void dropTags();
    void unknownOptionsShowsFirstEntry();
    void optionsPick_data();
    void optionsPick();
    void openingDoesNotMarkModified();
    void addThenApply();
    void addThenCancel();
    void edit_data();
    void edit();
    void renders();
};

void tst_CnlListVisor::layout() {
    Editor e;
    TCnlListVisorView& v = e.view;
    // Top strip.
    QCOMPARE(child<QLineEdit>(v, "BaseAdrEdit")->text(), QStringLiteral("0x4000"));
    QVERIFY(child<QLineEdit>(v, "BaseAdrEdit")->isReadOnly());
    e.dm.Image()->BaseAdr = 100; // the box does not follow the document
    v.UpdateView();
    QCOMPARE(child<QLineEdit>(v, "BaseAdrEdit")->text(), QStringLiteral("0x4000"));
    QVERIFY(!child<QComboBox>(v, "OptionsCB")->isEditable());
    QStringList entries;
    for (int i = 0; i < child<QComboBox>(v, "OptionsCB")->count(); ++i)
        entries << child<QComboBox>(v, "OptionsCB")->itemText(i);
    QCOMPARE(entries,
             (QStringList{"w:10 - dw:3210", "w:10 - dw:0123", "w:10 - dw:1032", "w:10 - dw:2301",
                          "w:01 - dw:3210", "w:01 - dw:0123", "w:01 - dw:1032", "w:01 - dw:2301"}));
    QCOMPARE(child<QComboBox>(v, "OptionsCB")->currentIndex(), 0);

    // Toolbars: texts in order, separators as empty entries.
    QStringList mapBar;
    for (QAction* a : toolbarEntries(child<QToolBar>(v, "MapToolBar")))
        mapBar << (a->isSeparator() ? QStringLiteral("|") : a->iconText());
    QCOMPARE(mapBar, (QStringList{"E&xecute Map", "|", "&Edit", "De&lete", "|", "&Upload Map",
                                  "&Download Map"}));
    QStringList tagsBar;
    for (QAction* a : toolbarEntries(child<QToolBar>(v, "TagsToolBar")))
        tagsBar << a->iconText();
    QCOMPARE(tagsBar, QStringList{"&Download tags"});
    QCOMPARE(child<QAction>(v, "actAdd")->text(), QStringLiteral("Add"));
    QCOMPARE(child<QAction>(v, "actEdit")->text(), QStringLiteral("Edit"));
    QCOMPARE(child<QAction>(v, "actDelete")->text(), QStringLiteral("Delete"));
    QVERIFY(
        !toolbarEntries(child<QToolBar>(v, "MapToolBar")).contains(child<QAction>(v, "actAdd")));
    QVERIFY(child<QAction>(v, "actAdd")->isEnabled());
    // The device actions on an empty map: nothing to upload or execute.
    for (QAction* a : {child<QAction>(v, "actExecuteMap"), child<QAction>(v, "actUpLoad")})
        QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
    for (QAction* a : {child<QAction>(v, "actDownLoadCurrMap"), child<QAction>(v, "actDownLoad")})
        QVERIFY2(a->isEnabled(), qPrintable(a->objectName()));

    // Lists: titles, widths, centring.
    QStringList titles, widths, centred;
    for (int c = 0; c < v.MapModel()->columnCount(); ++c) {
        titles << v.MapModel()->headerData(c, Qt::Horizontal).toString();
        widths << QString::number(
            child<TReportListView>(v, "LV")->horizontalHeader()->sectionSize(c));
        if (v.MapModel()->headerData(c, Qt::Horizontal, Qt::TextAlignmentRole).toInt() &
            Qt::AlignHCenter)
            centred << titles.last();
    }
    QCOMPARE(titles, (QStringList{"Offset", "Type", "Channel", "Name", "Note"}));
    QCOMPARE(widths, (QStringList{"130", "80", "80", "130", "200"}));
    QCOMPARE(centred, (QStringList{"Type", "Channel", "Note"}));
    QStringList tagTitles;
    for (int c = 0; c < v.TagModel()->columnCount(); ++c)
        tagTitles << v.TagModel()->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(tagTitles, (QStringList{"#", "Channel", "Type", "Name"}));
    QCOMPARE(child<TReportListView>(v, "TagLV")->horizontalHeader()->sectionSize(1), 70);
    QCOMPARE(v.TagModel()->rowCount(), 0);
    for (const TReportListView* list :
         {child<TReportListView>(v, "LV"), child<TReportListView>(v, "TagLV")}) {
        QVERIFY(list->showGrid());
        QCOMPARE(list->selectionBehavior(), QAbstractItemView::SelectRows);
        QCOMPARE(list->selectionMode(), QAbstractItemView::ExtendedSelection);
        QCOMPARE(list->editTriggers(), QAbstractItemView::NoEditTriggers);
        QVERIFY(!list->isSortingEnabled());
        QVERIFY(!list->horizontalHeader()->sectionsClickable());
    }

    // Pages: one tab each, on the left edge, Tags left of Map, Tags 425 wide at first.
    QCOMPARE(child<QTabWidget>(v, "TagsPageControl")->count(), 1);
    QCOMPARE(child<QTabWidget>(v, "MapPageControl")->count(), 1);
    QCOMPARE(child<QTabWidget>(v, "TagsPageControl")->tabText(0), QStringLiteral("Tags"));
    QCOMPARE(child<QTabWidget>(v, "MapPageControl")->tabText(0), QStringLiteral("Map"));
    QCOMPARE(child<QTabWidget>(v, "TagsPageControl")->tabPosition(), QTabWidget::West);
    QCOMPARE(child<QTabWidget>(v, "MapPageControl")->tabPosition(), QTabWidget::West);
    QCOMPARE(child<QTabWidget>(v, "TagsPageControl")->iconSize(), QSize(32, 32));
    v.show();
    QVERIFY(QTest::qWaitForWindowExposed(&v));
    QCOMPARE(child<QSplitter>(v, "Splitter")->widget(0), child<QTabWidget>(v, "TagsPageControl"));
    QCOMPARE(child<QSplitter>(v, "Splitter")->sizes().first(), 425);
}

// Types of the rows -> offsets and type texts shown.
void tst_CnlListVisor::offsets_data() {
    QTest::addColumn<QList<int>>("types");
    QTest::addColumn<QList<int>>("offsets");
    QTest::addColumn<QStringList>("typeTexts");
    QTest::newRow("Int Float UInt")
        << QList<int>{0, 4, 1} << QList<int>{0, 1, 3} << QStringList{"Int", "Float", "UInt"};
    QTest::newRow("every type") << QList<int>{0, 1, 2, 3, 4, 0} << QList<int>{0, 1, 2, 4, 6, 8}
                                << QStringList{"Int", "UInt", "Long", "ULong", "Float", "Int"};
    QTest::newRow("unknown type takes no register")
        << QList<int>{0, 7, 1} << QList<int>{0, 1, 1} << QStringList{"Int", "", "UInt"};
    QTest::newRow("negative and large codes")
        << QList<int>{-1, 2, 5, 2147483647, 3} << QList<int>{0, 0, 2, 2, 2}
        << QStringList{"", "Long", "", "", "ULong"};
    QTest::newRow("empty map") << QList<int>{} << QList<int>{} << QStringList{};
}

void tst_CnlListVisor::offsets() {
    QFETCH(QList<int>, types);
    QFETCH(QList<int>, offsets);
    QFETCH(QStringList, typeTexts);
    Editor e;
    e.fill(types);
    QCOMPARE(e.column(TChannelMapModel::colOffset), numbers(offsets));
    QCOMPARE(e.column(TChannelMapModel::colType), typeTexts);
    for (int row = 0; row < types.size(); ++row) {
        // Channel shown plus one; name and note as stored.
        QCOMPARE(e.cell(row, TChannelMapModel::colChannel), QString::number(11 + row));
        QCOMPARE(e.cell(row, TChannelMapModel::colName), QString(QChar('A' + row)));
        QCOMPARE(e.cell(row, TChannelMapModel::colNote), QStringLiteral("n%1").arg(row));
        // The row icon of the type: 16-bit, 32-bit integer, floating point, or none.
        const QIcon icon = e.view.MapModel()->index(row, 0).data(Qt::DecorationRole).value<QIcon>();
        int image = -1;
        for (int i = 0; i < e.view.RowImageList.size(); ++i)
            if (icon.cacheKey() == e.view.RowImageList[i].cacheKey())
                image = i;
        QCOMPARE(image, types[row] == 0 || types[row] == 1   ? 0
                        : types[row] == 2 || types[row] == 3 ? 1
                        : types[row] == 4                    ? 2
                                                             : -1);
    }
}

void tst_CnlListVisor::offsetsWrapAt65536() {
    Editor e;
    QList<int> types(32767, 2); // 65534 registers
    types << 0 << 1 << 4;
    e.fill(types);
    QCOMPARE(e.cell(32766, 0), QStringLiteral("65532"));
    QCOMPARE(e.cell(32767, 0), QStringLiteral("65534"));
    QCOMPARE(e.cell(32768, 0), QStringLiteral("65535"));
    QCOMPARE(e.cell(32769, 0), QStringLiteral("0"));
}

// Rows appended, changed and removed one at a time keep every offset equal to a full count.
void tst_CnlListVisor::offsetsFollowRowChanges_data() {
    QTest::addColumn<quint32>("seed");
    for (quint32 seed : {1u, 7u, 42u, 2024u, 65535u})
        QTest::newRow(qPrintable(QString::number(seed))) << seed;
}

void tst_CnlListVisor::offsetsFollowRowChanges() {
    QFETCH(quint32, seed);
    TChannelList list;
    TChannelMapModel model([&list] { return &list; }, {});
    model.Reset();
    quint32 state = seed;
    const auto next = [&state](int bound) {
        state = state * 1664525u + 1013904223u;
        return static_cast<int>((state >> 8) % static_cast<quint32>(bound));
    };
    const QList<int> types{0, 1, 2, 3, 4, 9, -3};
    for (int step = 0; step < 400; ++step) {
        const int op = list.Count() == 0 ? 0 : next(4);
        if (op <= 1) { // append, as Add does
            list.Add()->ParamType = types[next(types.size())];
            model.AppendRow();
        } else if (op == 2) { // a row's channel changed, as Edit does
            const int row = next(list.Count());
            list[row]->ParamType = types[next(types.size())];
            model.UpdateRow(row);
        } else { // some rows removed, as Delete does
            QList<int> rows;
            for (int row = 0; row < list.Count(); ++row)
                if (next(5) == 0)
                    rows << row;
            for (int k = static_cast<int>(rows.size()) - 1; k >= 0; --k)
                list.Delete(rows[k]);
            model.RemoveRows(rows);
        }
        QCOMPARE(model.rowCount(), list.Count());
        const std::vector<quint16> expected = ChannelOffsets(list);
        for (int row = 0; row < list.Count(); ++row)
            QCOMPARE(model.Offset(row), expected[static_cast<size_t>(row)]);
    }
}

void tst_CnlListVisor::editDeleteEnabling_data() {
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<bool>("edit");
    QTest::addColumn<bool>("del");
    QTest::newRow("none") << QList<int>{} << false << false;
    QTest::newRow("one") << QList<int>{1} << true << true;
    QTest::newRow("two") << QList<int>{0, 2} << false << true;
    QTest::newRow("all") << QList<int>{0, 1, 2} << false << true;
}

void tst_CnlListVisor::editDeleteEnabling() {
    QFETCH(QList<int>, selected);
    QFETCH(bool, edit);
    QFETCH(bool, del);
    Editor e;
    e.fill({0, 1, 2});
    e.select({1}); // a selection before, so that each case is a change
    e.select(selected);
    QCOMPARE(child<QAction>(e.view, "actEdit")->isEnabled(), edit);
    QCOMPARE(child<QAction>(e.view, "actDelete")->isEnabled(), del);
    // A refresh empties the selection and both go off.
    e.view.UpdateView();
    QVERIFY(!child<QAction>(e.view, "actEdit")->isEnabled());
    QVERIFY(!child<QAction>(e.view, "actDelete")->isEnabled());
}

// Enter and double click in either list run Edit only with exactly one Map row selected.
void tst_CnlListVisor::enterAndDoubleClick_data() {
    QTest::addColumn<QString>("list");
    QTest::addColumn<QString>("gesture");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<int>("dialogs");
    const QList<QList<int>> selections{{1}, {0, 2}, {}};
    const QStringList names{"one row", "two rows", "no row"};
    for (const char* list : {"LV", "TagLV"})
        for (const char* gesture : {"enter", "keypad-enter", "double-click"})
            for (int s = 0; s < selections.size(); ++s) {
                // A double click on a Map row selects just that row first, so it edits it.
                const bool onMapRow =
                    QByteArray(list) == "LV" && QByteArray(gesture) == "double-click";
                QTest::newRow(qPrintable(QStringLiteral("%1 %2 %3").arg(list, gesture, names[s])))
                    << list << gesture << selections[s] << (onMapRow || s == 0 ? 1 : 0);
            }
    // A double click in the Map list where no row is keeps the selection; Edit follows it.
    QTest::newRow("LV double-click below the rows, one row")
        << "LV"
        << "double-click-empty" << QList<int>{1} << 1;
    QTest::newRow("LV double-click below the rows, two rows")
        << "LV"
        << "double-click-empty" << QList<int>{0, 2} << 0;
}

void tst_CnlListVisor::enterAndDoubleClick() {
    QFETCH(QString, list);
    QFETCH(QString, gesture);
    QFETCH(QList<int>, selected);
    QFETCH(int, dialogs);
    Editor e;
    e.fill({0, 1, 2});
    e.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e.view));
    e.select(selected);
    TReportListView* target = list == "LV" ? child<TReportListView>(e.view, "LV")
                                           : child<TReportListView>(e.view, "TagLV");
    target->setFocus();
    const QPoint onRow1 =
        child<TReportListView>(e.view, "LV")->visualRect(e.view.MapModel()->index(1, 1)).center();
    if (gesture == "enter")
        QTest::keyClick(target, Qt::Key_Return);
    else if (gesture == "keypad-enter")
        QTest::keyClick(target, Qt::Key_Enter, Qt::KeypadModifier);
    else if (gesture == "double-click" && list == "LV")
        QTest::mouseDClick(target->viewport(), Qt::LeftButton, {}, onRow1);
    else if (gesture == "double-click")
        QTest::mouseDClick(target->viewport(), Qt::LeftButton, {}, QPoint(40, 10));
    else
        QTest::mouseDClick(target->viewport(), Qt::LeftButton, {},
                           QPoint(40, target->viewport()->height() - 2));
    QCOMPARE(e.script.shows, dialogs);
    QCOMPARE(e.script.unscripted, dialogs); // each dialog shown was closed unapplied
    QCOMPARE(e.document(), (QStringList{"10,0,0,A,n0", "11,1,1,B,n1", "12,2,2,C,n2"}));
    QVERIFY(!e.modified());
}

void tst_CnlListVisor::deleteAsks_data() {
    QTest::addColumn<PromptAnswer>("answer");
    QTest::addColumn<QList<int>>("selected");
    QTest::addColumn<QString>("left");
    QTest::addColumn<QStringList>("offsets");
    QTest::newRow("Yes, two apart")
        << PromptAnswer::Yes << QList<int>{0, 2} << "BD" << QStringList{"0", "2"};
    QTest::newRow("Yes, a run") << PromptAnswer::Yes << QList<int>{1, 2} << "AD"
                                << QStringList{"0", "1"};
    QTest::newRow("Yes, all") << PromptAnswer::Yes << QList<int>{0, 1, 2, 3} << "" << QStringList{};
    QTest::newRow("No") << PromptAnswer::No << QList<int>{0, 2} << "ABCD"
                        << QStringList{"0", "1", "3", "5"};
    QTest::newRow("box closed") << PromptAnswer::Cancel << QList<int>{1} << "ABCD"
                                << QStringList{"0", "1", "3", "5"};
}

void tst_CnlListVisor::deleteAsks() {
    QFETCH(PromptAnswer, answer);
    QFETCH(QList<int>, selected);
    QFETCH(QString, left);
    QFETCH(QStringList, offsets);
    Editor e;
    e.fill({0, 4, 2, 1}); // offsets 0, 1, 3, 5
    QSignalSpy resets(e.view.MapModel(), &QAbstractItemModel::modelReset);
    e.select(selected);
    e.prompter.answers.push_back(answer);
    child<QAction>(e.view, "actDelete")->trigger();
    QCOMPARE(e.prompter.questions(), QStringList{"Delete items?"});
    QCOMPARE(e.names(), left);
    QCOMPARE(e.modified(), answer == PromptAnswer::Yes);
    // The list follows the document, with its offsets counted again, without a rebuild.
    QCOMPARE(e.column(TChannelMapModel::colOffset), offsets);
    QCOMPARE(e.column(TChannelMapModel::colName).join(QString()), left);
    QCOMPARE(resets.count(), 0);
}

// The drop logic, without a drag: source, dragged rows, target row.
void tst_CnlListVisor::dropOnMap_data() {
    QTest::addColumn<QString>("source");
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<int>("target");
    QTest::addColumn<bool>("accepted"); // the drag-over answer
    QTest::addColumn<QString>("after");
    QTest::newRow("first onto fourth") << "MapList" << QList<int>{0} << 3 << true << "DBCAE";
    QTest::newRow("fourth onto second") << "MapList" << QList<int>{3} << 1 << true << "ADCBE";
    QTest::newRow("neighbours") << "MapList" << QList<int>{4} << 3 << true << "ABCED";
    QTest::newRow("two rows refused") << "MapList" << QList<int>{0, 1} << 3 << false << "ABCDE";
    QTest::newRow("three rows refused")
        << "MapList" << QList<int>{0, 1, 4} << 2 << false << "ABCDE";
    QTest::newRow("onto itself") << "MapList" << QList<int>{2} << 2 << true << "ABCDE";
    QTest::newRow("no row under pointer") << "MapList" << QList<int>{1} << -1 << true << "ABCDE";
    QTest::newRow("target past the end") << "MapList" << QList<int>{1} << 5 << true << "ABCDE";
    QTest::newRow("dragged row gone") << "MapList" << QList<int>{7} << 1 << true << "ABCDE";
    QTest::newRow("nothing carried") << "MapList" << QList<int>{} << 2 << true << "ABCDE";
    QTest::newRow("no drag under way") << "Sender" << QList<int>{1} << 2 << true << "ABCDE";
}

void tst_CnlListVisor::dropOnMap() {
    QFETCH(QString, source);
    QFETCH(QList<int>, rows);
    QFETCH(int, target);
    QFETCH(bool, accepted);
    QFETCH(QString, after);
    Editor e;
    e.fill({0, 4, 1, 2, 3});
    const QStringList before = e.document();
    QCOMPARE(TCnlListVisorView::LVDragOver(source, static_cast<int>(rows.size())), accepted);
    const bool changed = e.view.DropOnMap(source, rows, target);
    QCOMPARE(changed, after != QStringLiteral("ABCDE"));
    QCOMPARE(e.names(), after);
    QCOMPARE(e.modified(), changed);
    // Exactly the two channels swap, whole; the list shows the new order and offsets.
    if (changed) {
        QStringList expected = before;
        expected.swapItemsAt(rows.first(), target);
        QCOMPARE(e.document(), expected);
    }
    QCOMPARE(e.column(TChannelMapModel::colName).join(QString()), after);
    QStringList types;
    for (int i = 0; i < e.map().Count(); ++i)
        types << QString::number(e.map()[i]->ParamType);
    QList<int> offsets;
    int counter = 0;
    for (const QString& t : types) {
        offsets << counter;
        counter += t.toInt() <= 1 ? 1 : 2;
    }
    QCOMPARE(e.column(TChannelMapModel::colOffset), numbers(offsets));
}

// The same rules through the lists' own drag events, delivered as a real drag delivers them:
// an enter, moves and the drop go to the widget that took the enter.
void tst_CnlListVisor::dropThroughListEvents() {
    Editor e;
    e.fill({0, 1, 2, 3, 4});
    e.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e.view));
    QWidget* viewport = child<TReportListView>(e.view, "LV")->viewport();
    const QPoint onRow3 =
        child<TReportListView>(e.view, "LV")->visualRect(e.view.MapModel()->index(3, 1)).center();
    const QPoint belowRows = QPoint(onRow3.x(), viewport->height() - 2);
    QVERIFY(!child<TReportListView>(e.view, "LV")->indexAt(belowRows).isValid());

    QMimeData ours;
    ours.setData(TReportListView::DragMimeType(), "LV");
    const auto enter = [](QWidget* to, const QPoint& at, const QMimeData* data) {
        QDragEnterEvent ev(at, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(to, &ev);
        return ev.isAccepted();
    };
    const auto move = [](QWidget* to, const QPoint& at, const QMimeData* data) {
        QDragMoveEvent ev(at, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(to, &ev);
        return ev.isAccepted();
    };
    const auto drop = [](QWidget* to, const QPoint& at, const QMimeData* data) {
        QDropEvent ev(at, Qt::MoveAction, data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(to, &ev);
        return ev.isAccepted();
    };

    // Two Map rows: the Map list refuses the drag.
    e.select({0, 1});
    QVERIFY(e.view.LVStartDrag());
    QVERIFY(!enter(viewport, onRow3, &ours));
    e.controller.EndDrag();

    // One Map row: the Tags list refuses it, the Map list takes it and swaps on the drop.
    e.select({1});
    QVERIFY(e.view.LVStartDrag());
    QVERIFY(!enter(child<TReportListView>(e.view, "TagLV")->viewport(), QPoint(20, 20), &ours));
    QVERIFY(enter(viewport, onRow3, &ours));
    QVERIFY(move(viewport, onRow3, &ours));
    QCOMPARE(e.names(), QStringLiteral("ABCDE"));
    QVERIFY(drop(viewport, onRow3, &ours));
    QCOMPARE(e.names(), QStringLiteral("ADCBE"));
    QCOMPARE(e.column(TChannelMapModel::colName).join(QString()), QStringLiteral("ADCBE"));
    QVERIFY(e.modified());
    QCOMPARE(e.controller.SourceName(), QStringLiteral("Sender"));
    QCOMPARE(e.controller.Count(), 0);

    // One row dropped below the last row: taken, and ignored.
    e.dm.Link.ClearModified();
    e.select({0});
    QVERIFY(e.view.LVStartDrag());
    QVERIFY(enter(viewport, belowRows, &ours));
    drop(viewport, belowRows, &ours);
    QCOMPARE(e.names(), QStringLiteral("ADCBE"));
    QVERIFY(!e.modified());
    QCOMPARE(e.controller.Count(), 0);

    // Something that is not one of the editor's drags is not taken.
    QMimeData foreign;
    foreign.setText(QStringLiteral("1"));
    e.select({0});
    QVERIFY(e.view.LVStartDrag());
    QVERIFY(!enter(viewport, onRow3, &foreign));
    e.controller.EndDrag();
}

void tst_CnlListVisor::dragStartCarriesSelectedRows() {
    Editor e;
    e.fill({0, 1, 2, 3, 4});
    e.select({4, 1, 3});
    QVERIFY(e.view.LVStartDrag());
    QCOMPARE(e.controller.SourceName(), QStringLiteral("MapList"));
    QCOMPARE(e.controller.Rows(), (QList<int>{1, 3, 4}));
    // No selection: the drag carries nothing, and a drop of it changes nothing.
    e.select({});
    QVERIFY(!e.view.LVStartDrag());
    QCOMPARE(e.controller.Count(), 0);
    e.view.LVDragDrop(2);
    QCOMPARE(e.names(), QStringLiteral("ABCDE"));
    QVERIFY(!e.modified());
    // The Tags list starts its own drags (empty until tags are read).
    QVERIFY(!e.view.TagLVStartDrag());
    QCOMPARE(e.controller.SourceName(), QStringLiteral("TagList"));
}

void tst_CnlListVisor::tagsList() {
    Editor e;
    TTagList tags;
    fillTags(tags, 6);
    tags[5]->Channel = 4294967295u;
    tags[5]->DataType = 4294967295u;
    QCOMPARE(e.view.TagModel()->rowCount(), 0); // empty until a tag list is read
    e.view.SetTagList(&tags);
    const auto text = [&](int row, int column) {
        return e.view.TagModel()->index(row, column).data().toString();
    };
    QStringList rows;
    for (int row = 0; row < e.view.TagModel()->rowCount(); ++row)
        rows << QStringLiteral("%1|%2|%3|%4")
                    .arg(text(row, 0), text(row, 1), text(row, 2), text(row, 3));
    QCOMPARE(rows, (QStringList{"1|101|Int|t0", "2|102|UInt|t1", "3|103|Long|t2", "4|104|ULong|t3",
                                "5|105|Float|t4", "6|4294967296||t5"}));
    // The type's icon stands in the Type column.
    QCOMPARE(e.view.TagModel()->index(4, 2).data(Qt::DecorationRole).value<QIcon>().cacheKey(),
             e.view.RowImageList[2].cacheKey());
    // The rows are those of the list when it was set; a later read sets it again.
    fillTags(tags, 2);
    QCOMPARE(e.view.TagModel()->rowCount(), 6);
    e.view.SetTagList(&tags);
    QCOMPARE(e.view.TagModel()->rowCount(), 8);
    e.view.SetTagList(nullptr);
    QCOMPARE(e.view.TagModel()->rowCount(), 0);
}

// Tags dropped on the Map list: source TagList, Tags rows, Map row under the pointer.
void tst_CnlListVisor::dropTags_data() {
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<int>("target");
    QTest::addColumn<QStringList>("after"); // names of the map
    QTest::newRow("three onto row 5")
        << QList<int>{0, 2, 3} << 5 << QStringList{"A", "B", "C", "D", "E", "t0", "t2", "t3", "F"};
    QTest::newRow("one onto the first row")
        << QList<int>{4} << 0 << QStringList{"t4", "A", "B", "C", "D", "E", "F"};
    QTest::newRow("below the last row")
        << QList<int>{1, 3} << -1 << QStringList{"A", "B", "C", "D", "E", "F", "t1", "t3"};
    QTest::newRow("a row the list no longer has")
        << QList<int>{7, 2} << 1 << QStringList{"A", "t2", "B", "C", "D", "E", "F"};
    QTest::newRow("nothing carried")
        << QList<int>{} << 2 << QStringList{"A", "B", "C", "D", "E", "F"};
}

void tst_CnlListVisor::dropTags() {
    QFETCH(QList<int>, rows);
    QFETCH(int, target);
    QFETCH(QStringList, after);
    Editor e;
    e.fill({0, 1, 2, 3, 4, 0});
    TTagList tags;
    fillTags(tags, 5);
    e.view.SetTagList(&tags);
    QSignalSpy resets(e.view.MapModel(), &QAbstractItemModel::modelReset);
    QVERIFY(
        TCnlListVisorView::LVDragOver(QStringLiteral("TagList"), static_cast<int>(rows.size())));
    const bool changed = e.view.DropOnMap(QStringLiteral("TagList"), rows, target);
    QStringList names;
    for (int i = 0; i < e.map().Count(); ++i)
        names << TagNameText(e.map()[i]->TagName);
    QCOMPARE(names, after);
    QCOMPARE(changed, after.size() > 6);
    QCOMPARE(e.modified(), changed);
    QCOMPARE(resets.count(), changed ? 1 : 0);
    QCOMPARE(e.column(TChannelMapModel::colName), after);
    // Each new channel is its tag: channel, type, the name as read, its Tags row; no note.
    for (int i = 0; i < e.map().Count(); ++i) {
        const TChannelItem* c = e.map()[i];
        if (!c->TagName.startsWith('t'))
            continue;
        const int tag = c->TagName.mid(1, 1).toInt();
        QCOMPARE(c->Channel, 100 + tag);
        QCOMPARE(c->ParamType, tag % 5);
        QCOMPARE(c->TagIndex, tag);
        QCOMPARE(c->TagName, tags[tag]->TagName);
        QCOMPARE(c->Note, QString());
    }
}

void tst_CnlListVisor::unknownOptionsShowsFirstEntry() {
    Editor e;
    child<QComboBox>(e.view, "OptionsCB")->setCurrentIndex(5);
    e.dm.Image()->Options = 9;
    e.view.UpdateView();
    QCOMPARE(child<QComboBox>(e.view, "OptionsCB")->currentIndex(), 0);
    QCOMPARE(e.dm.Image()->Options, 9u);
    QVERIFY(!e.modified());
    e.view.UpdateView();
    QCOMPARE(e.dm.Image()->Options, 9u);
    // Until the user picks an entry.
    e.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e.view));
    QTest::keyClick(child<QComboBox>(e.view, "OptionsCB"), Qt::Key_Down);
    QCOMPARE(e.dm.Image()->Options, 1u);
    QVERIFY(e.modified());
}

// A pick by the user sets Options to the entry's position and marks the document.
void tst_CnlListVisor::optionsPick_data() {
    QTest::addColumn<quint32>("start");
    QTest::addColumn<int>("key");
    QTest::addColumn<quint32>("picked");
    QTest::newRow("0 down") << 0u << int(Qt::Key_Down) << 1u;
    QTest::newRow("3 down") << 3u << int(Qt::Key_Down) << 4u;
    QTest::newRow("7 up") << 7u << int(Qt::Key_Up) << 6u;
    QTest::newRow("5 to first") << 5u << int(Qt::Key_Home) << 0u;
    QTest::newRow("2 to last") << 2u << int(Qt::Key_End) << 7u;
    QTest::newRow("2147483648 down") << 2147483648u << int(Qt::Key_Down) << 1u;
}

void tst_CnlListVisor::optionsPick() {
    QFETCH(quint32, start);
    QFETCH(int, key);
    QFETCH(quint32, picked);
    Editor e;
    e.dm.Image()->Options = start;
    e.view.UpdateView();
    QVERIFY(!e.modified());
    e.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e.view));
    QTest::keyClick(child<QComboBox>(e.view, "OptionsCB"), Qt::Key(key));
    QCOMPARE(child<QComboBox>(e.view, "OptionsCB")->currentIndex(), int(picked));
    QCOMPARE(e.dm.Image()->Options, picked);
    QVERIFY(e.modified());
}

// Opening a file through the document framework shows its map and Options entry, unmodified.
void tst_CnlListVisor::openingDoesNotMarkModified() {
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString file = dir.filePath(QStringLiteral("map.zorvan"));
    {
        TDm writer;
        TChannelItem* c = writer.Image()->Map()->Add();
        c->Clear();
        c->ParamType = 4;
        c->TagName = QStringLiteral("Flow");
        writer.Image()->Map()->Add()->Clear();
        writer.Image()->Options = 6;
        writer.Serializer.XMLFilePath = file;
        QVERIFY(writer.Serializer.Save());
    }
    Editor e;
    TMDVViewsContainer container;
    container.AddView(&e.view);
    container.SetActiveView(&e.view);
    TMDVAgent agent;
    agent.SetDocument(&e.dm.Link);
    agent.ViewsContainer = &container;
    QVERIFY(agent.OpenDocument(file));
    QCOMPARE(child<QComboBox>(e.view, "OptionsCB")->currentIndex(), 6);
    QCOMPARE(e.dm.Image()->Options, 6u);
    QVERIFY(!e.modified());
    QCOMPARE(e.column(TChannelMapModel::colName), (QStringList{"Flow", "Unknown"}));
    QCOMPARE(e.column(TChannelMapModel::colOffset), (QStringList{"0", "2"}));
    e.view.setParent(nullptr);
}

void tst_CnlListVisor::addThenApply() {
    Editor e;
    e.fill({4, 2});
    QSignalSpy resets(e.view.MapModel(), &QAbstractItemModel::modelReset);
    QSignalSpy inserts(e.view.MapModel(), &QAbstractItemModel::rowsInserted);
    e.script.steps.push_back([](QDialog& d) { child<QPushButton>(d, "ApplyBtn")->click(); });
    child<QAction>(e.view, "actAdd")->trigger();
    QCOMPARE(e.script.shows, 1);
    QCOMPARE(e.document().last(), QStringLiteral("0,0,0,Unknown,"));
    QCOMPARE(e.map().Count(), 3);
    QVERIFY(e.modified());
    // Shown: offset after the two 32-bit rows, channel 1, "Int", "Unknown", no note.
    QCOMPARE(e.cell(2, TChannelMapModel::colOffset), QStringLiteral("4"));
    QCOMPARE(e.cell(2, TChannelMapModel::colType), QStringLiteral("Int"));
    QCOMPARE(e.cell(2, TChannelMapModel::colChannel), QStringLiteral("1"));
    QCOMPARE(e.cell(2, TChannelMapModel::colName), QStringLiteral("Unknown"));
    QCOMPARE(e.cell(2, TChannelMapModel::colNote), QString());
    // One row appended; the list was not rebuilt.
    QCOMPARE(resets.count(), 0);
    QCOMPARE(inserts.count(), 1);
    QCOMPARE(inserts.first().at(1).toInt(), 2);
    QCOMPARE(inserts.first().at(2).toInt(), 2);
}

void tst_CnlListVisor::addThenCancel() {
    Editor e;
    e.fill({0});
    e.script.steps.push_back([](QDialog& d) { QTest::keyClick(&d, Qt::Key_Escape); });
    child<QAction>(e.view, "actAdd")->trigger();
    QCOMPARE(e.script.shows, 1);
    QCOMPARE(e.map().Count(), 1);
    QCOMPARE(e.view.MapModel()->rowCount(), 1);
    QVERIFY(!e.modified());
}

void tst_CnlListVisor::edit_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<QStringList>("after");
    const QStringList unchanged{"10,1,0,A,n0", "11,4,1,B,n1", "12,0,2,C,n2"};
    QTest::newRow("Enter") << int(Qt::Key_Return)
                           << QStringList{"10,1,0,A,n0", "11,4,1,B,pump 3", "12,0,2,C,n2"};
    QTest::newRow("Esc") << int(Qt::Key_Escape) << unchanged;
}

void tst_CnlListVisor::edit() {
    QFETCH(int, key);
    QFETCH(QStringList, after);
    Editor e;
    e.fill({1, 4, 0});
    QSignalSpy resets(e.view.MapModel(), &QAbstractItemModel::modelReset);
    e.select({1});
    QString shownName;
    e.script.steps.push_back([&](QDialog& d) {
        auto& props = static_cast<TChannelPropsDlg&>(d);
        shownName = child<QLineEdit>(props, "ParamNameEdit")->text();
        child<QLineEdit>(props, "NoteEdit")->selectAll();
        QTest::keyClicks(child<QLineEdit>(props, "NoteEdit"), QStringLiteral("pump 3"));
        QTest::keyClick(child<QLineEdit>(props, "NoteEdit"), Qt::Key(key));
    });
    child<QAction>(e.view, "actEdit")->trigger();
    QCOMPARE(shownName, QStringLiteral("B"));
    QCOMPARE(e.document(), after);
    QCOMPARE(e.modified(), key == Qt::Key_Return);
    QCOMPARE(e.cell(1, TChannelMapModel::colNote), after[1].section(',', 4));
    QCOMPARE(e.column(TChannelMapModel::colOffset), (QStringList{"0", "1", "3"}));
    QCOMPARE(resets.count(), 0);
    // The row stays selected for the next edit.
    QCOMPARE(child<TReportListView>(e.view, "LV")->SelectedRows(), QList<int>{1});
}

void tst_CnlListVisor::renders() {
    Editor e;
    e.fill({0, 1, 2, 3, 4, 9});
    e.map()[1]->Note = QStringLiteral("насос 2");
    e.dm.Image()->Options = 5;
    e.view.UpdateView();
    TTagList tags;
    fillTags(tags, 7);
    e.view.SetTagList(&tags);
    e.select({2});
    e.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&e.view));
    const QImage image = e.view.grab().toImage();
    QVERIFY(image.save(QStringLiteral(ZORVAN_TEST_OUTPUT_DIR "/editor_view.png")));
}

QTEST_MAIN(tst_CnlListVisor)
#include "tst_CnlListVisor.moc"
