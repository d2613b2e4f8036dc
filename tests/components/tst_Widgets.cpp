#include "Cases.h"
#include "NextModal.h"
#include "components/FormatFloat.h"
#include "components/ui/MDVViewsContainer.h"
#include "components/ui/QtPrompter.h"
#include "components/ui/ReportListView.h"
#include "components/ui/ThemeIcon.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QStandardItemModel>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>

using namespace zorvan;
using zorvan::test::onNextModal;

namespace {

// A report list whose drag start can be called.
struct List : TReportListView {
    using TReportListView::startDrag;
};

// Records its calls into a shared log.
class View final : public TCustomView {
public:
    View(QString& log, const QString& name) : m_log(log) { setObjectName(name); }
    void UpdateView() override { m_log += objectName() + "u "; }
    void UpdateLanguage() override { m_log += objectName() + "l "; }

private:
    QString& m_log;
};

// A number mask, a value and the text: FormatFloat's rules worked out by hand.
struct Mask {
    const char* mask;
    double value;
    const char* text;
    const char* locale = "C";
};

} // namespace

class tst_Widgets : public QObject {
    Q_OBJECT
private slots:
    void formatFloat_data() {
        // clang-format off
        test::addCases<Mask>({
            {"shortest of 15 digits",    {"", 1.0 / 3, "0.333333333333333"}},
            {"shortest, exponent",       {"", -1e20, "-1E+20"}},
            {"not a number",             {"0.0", NAN, "NAN"}},
            {"negative infinity",        {"0.0", -INFINITY, "-INF"}},
            {"half away from zero",      {"0.00", -0.125, "-0.13"}},
            {"carry into a new digit",   {"0.0", 9.96, "10.0"}},
            {"zero placeholders pad",    {"000.0", 7, "007.0"}},
            {"more digits than room",    {"0", 12345, "12345"}},
            {"optional fraction digits", {"0.0##", 1.23456, "1.235"}},
            {"no fraction, no point",    {"#.##", 1, "1"}},
            {"nothing to show",          {"#", 0, ""}},
            {"grouped",                  {"#,##0.0", 1234567.25, "1,234,567.3"}},
            {"grouped, German",          {"#,##0.00", 1234.5, "1.234,50", "de_DE"}},
            {"minus only when shown",    {"0.00", -0.001, "0.00"}},
            {"negative section",         {"0.00;(0.00);zero", -2.5, "(2.50)"}},
            {"zero section",             {"0.00;(0.00);zero", 0.001, "zero"}},
            {"empty negative section",   {"0.00;;zero", -2.5, "-2.50"}},
            {"scientific",               {"0.00E+00", 12345, "1.23E+04"}},
            {"scientific, small",        {"0.0e-0", 0.00012, "1.2e-4"}},
            {"quoted and other text",    {"'#'0 \"kg\" %", 5, "#5 kg %"}},
        });
        // clang-format on
    }
    void formatFloat() {
        QFETCH(Mask, c);
        QCOMPARE(FormatFloat(c.mask, c.value, QLocale(c.locale)), c.text);
    }

    // Views are shown one at a time and updated in registration order; the container does not
    // own them.
    void viewsContainer() {
        QString log;
        auto container = std::make_unique<TMDVViewsContainer>();
        container->show();
        View a(log, "a"), b(log, "b");
        container->AddView(nullptr);
        container->AddView(&a), container->AddView(&b);
        QCOMPARE(container->DefaultView(), &a);
        container->ActivateDefaultView();
        container->SetActiveView(&b);
        QVERIFY(!a.isVisible() && b.isVisible() && container->ActiveView() == &b);
        container->UpdateViews(), container->UpdateViews(&a), container->UpdateLanguage();
        {
            View gone(log, "c");
            container->AddView(&gone);
        }
        container->UpdateViews();
        container->DeactivateView();
        QVERIFY(!b.isVisible());
        container.reset();
        QVERIFY(!a.parent() && !b.parent());
        QCOMPARE(log, "au bu bu al bl au bu ");
    }

    // Icons: bundled drawings render; the theme's wins where it has the name.
    void icons() {
        const QImage image = bundledIcon("document-save").pixmap(24).toImage();
        QSet<QRgb> colours;
        for (int y = 0; y < 24; ++y)
            for (int x = 0; x < 24; ++x)
                colours.insert(image.pixel(x, y));
        QVERIFY(colours.size() > 2); // a drawing, not an empty or flat square
        QVERIFY(bundledIcon("absent").isNull() && bundledIcon("").isNull());
        QCOMPARE(themeIcon("absentname", "go-up").pixmap(16).toImage(),
                 bundledIcon(":/icons/go-up.svg").pixmap(16).toImage());
        QVERIFY(!applicationIcon().isNull() && !themeIcon("", "go-down").isNull());
        QVERIFY(bundledIconNames().contains(kValueKindIconNames[2]));
    }

    // The GUI's prompter: the answers given in its windows come back.
    void prompter() {
        QtPrompter p;
        QString seen;
        using B = QMessageBox;
        for (const auto& [buttons, button] : {std::pair{PromptButtons::YesNo, B::No},
                                              {PromptButtons::YesNoCancel, B::Yes},
                                              {PromptButtons::YesNoCancel, B::Cancel}}) {
            onNextModal<B>(
                this, [&, button](B& box) { seen += box.text(), box.button(button)->click(); });
            seen += QString::number(int(p.ask("q", buttons)));
        }
        onNextModal<B>(this, [&](B& box) { seen += box.text(), box.button(B::Ok)->click(); });
        p.tell("told", MessageKind::Warning);
        onNextModal<QInputDialog>(this, [](QInputDialog& input) {
            input.setTextValue(input.textValue() + "!"), input.accept();
        });
        seen += p.inputText("Title", "Value", "x").value_or("none");
        onNextModal(this, [](QDialog&) {});
        seen += p.inputText("Title", "Value", "x").value_or("none");
        QCOMPARE(seen, "q1q0q2toldx!none");
        QTemporaryDir dir;
        QFile(dir.filePath("x.zorvan")).open(QIODevice::WriteOnly);
        QStringList names;
        for (int k = 0; k < 3; ++k) {
            onNextModal<QFileDialog>(this, [&](QFileDialog& d) {
                d.setDirectory(dir.path()), d.selectFile(k < 2 ? "x.zorvan" : ""),
                    static_cast<QDialog&>(d).accept();
            });
            names << (k == 0   ? p.saveFileName("Document (*.zorvan)")
                      : k == 1 ? p.openFileName("Document (*.zorvan)")
                               : p.folderName("/"))
                         .value_or("none");
        }
        QCOMPARE(names,
                 QStringList({dir.filePath("x.zorvan"), dir.filePath("x.zorvan"), dir.path()}));
        p.beginWait();
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        p.endWait();
        QVERIFY(!QApplication::overrideCursor());
    }

    // The report list: selected rows ascending, Enter and double clicks reported, drags of its
    // own kind taken where the owner allows.
    void reportList() {
        QStandardItemModel model(3, 2);
        List list;
        list.setModel(&model);
        list.SetColumnWidths({40, 70});
        list.resize(200, 150);
        list.show();
        QString log;
        list.OnEnter = [&] { log += "enter "; };
        list.OnDblClick = [&] { log += "double "; };
        list.OnStartDrag = [&] { return (log += "start ", false); };
        list.OnEndDrag = [&] { log += "end "; };
        bool allowed = false;
        list.OnDragOver = [&] { return allowed; };
        list.OnDragDrop = [&](int row) { log += QString("drop%1 ").arg(row); };
        list.selectionModel()->select(model.index(2, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
        list.selectionModel()->select(model.index(0, 0),
                                      QItemSelectionModel::Select | QItemSelectionModel::Rows);
        QCOMPARE(list.SelectedRows(), (QList<int>{0, 2}));
        QCOMPARE(list.columnWidth(1), 70);
        QTest::keyClick(&list, Qt::Key_Return);
        QTest::keyClick(&list, Qt::Key_Enter, Qt::ShiftModifier); // not a plain Enter
        QTest::mouseDClick(list.viewport(), Qt::LeftButton, {},
                           list.visualRect(model.index(1, 0)).center());
        list.startDrag(Qt::MoveAction);
        QMimeData mime;
        mime.setData(TReportListView::DragMimeType(), "list");
        for (bool allow : {false, true}) {
            allowed = allow;
            const QPointF at = list.visualRect(model.index(1, 0)).center();
            QDragEnterEvent enter(at.toPoint(), Qt::MoveAction, &mime, Qt::LeftButton, {});
            QDragMoveEvent move(at.toPoint(), Qt::MoveAction, &mime, Qt::LeftButton, {});
            QDropEvent drop(at, Qt::MoveAction, &mime, Qt::LeftButton, {});
            for (QEvent* event : std::initializer_list<QEvent*>{&enter, &move, &drop})
                QApplication::sendEvent(list.viewport(), event);
            log += QString("%1%2%3 ")
                       .arg(enter.isAccepted())
                       .arg(move.isAccepted())
                       .arg(drop.isAccepted());
        }
        QCOMPARE(log, "enter double start end 000 drop1 111 ");
    }
};

QTEST_MAIN(tst_Widgets)
#include "tst_Widgets.moc"
