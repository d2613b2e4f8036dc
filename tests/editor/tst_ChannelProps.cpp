#include "Child.h"
#include "ModalScript.h"
#include "document/CnlImage.h"
#include "editor/ui/ChannelProps.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <limits>
#include <memory>

using namespace zorvan;
using zorvan::test::child;
using zorvan::test::ModalScript;

namespace {

std::unique_ptr<TChannelItem> channel(int number, int type, int index, const QString& name,
                                      const QString& note) {
    auto c = std::make_unique<TChannelItem>();
    c->Channel = number;
    c->ParamType = type;
    c->TagIndex = index;
    c->TagName = name;
    c->Note = note;
    return c;
}

QString describe(const TChannelItem& c) {
    return QStringLiteral("%1|%2|%3|%4|%5")
        .arg(c.Channel)
        .arg(c.ParamType)
        .arg(c.TagIndex)
        .arg(c.TagName, c.Note);
}

} // namespace

class tst_ChannelProps : public QObject {
    Q_OBJECT
private slots:
    void layoutAndTexts();
    void runWithoutChannelStartsCleared();
    void runWithChannelShowsIt();
    void closing_data();
    void closing();
    void nextRunOverwritesLastCopy();
    void renders();
};

void tst_ChannelProps::layoutAndTexts() {
    TChannelPropsDlg dlg;
    QCOMPARE(dlg.windowTitle(), QStringLiteral("Свойства"));
    QCOMPARE(child<QPushButton>(dlg, "ApplyBtn")->text(), QStringLiteral("Применить"));
    QCOMPARE(child<QPushButton>(dlg, "CancelBtn")->text(), QStringLiteral("Отмена"));
    QStringList labels;
    for (const QLabel* label : dlg.findChildren<QLabel*>())
        labels << label->text();
    labels.sort();
    QCOMPARE(labels, (QStringList{QStringLiteral("Параметр"), QStringLiteral("Примечание")}));
    QVERIFY(child<QLineEdit>(dlg, "ParamNameEdit")->isReadOnly());
    QVERIFY(!child<QLineEdit>(dlg, "NoteEdit")->isReadOnly());
    QVERIFY(child<QLineEdit>(dlg, "NoteEdit")->maxLength() >= std::numeric_limits<int>::max() / 2);
    QCOMPARE(dlg.minimumSize(), QSize(436, 129));
    QCOMPARE(dlg.maximumSize(), QSize(436, 129));
    // Tab order: NoteEdit, ApplyBtn, CancelBtn, ParamNameEdit, and round again.
    QStringList chain;
    QWidget* w = child<QLineEdit>(dlg, "NoteEdit");
    do {
        if (w->focusPolicy() & Qt::TabFocus)
            chain << w->objectName();
        w = w->nextInFocusChain();
    } while (w != child<QLineEdit>(dlg, "NoteEdit") && chain.size() < 10);
    QCOMPARE(chain, (QStringList{"NoteEdit", "ApplyBtn", "CancelBtn", "ParamNameEdit"}));
    // The cancel button stands left of the apply button.
    dlg.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dlg));
    QVERIFY(child<QPushButton>(dlg, "CancelBtn")->geometry().right() <
            child<QPushButton>(dlg, "ApplyBtn")->geometry().left());
    QVERIFY(child<QPushButton>(dlg, "ApplyBtn")->geometry().bottom() >
            child<QLineEdit>(dlg, "NoteEdit")->geometry().bottom());
    dlg.hide();
}

void tst_ChannelProps::runWithoutChannelStartsCleared() {
    TChannelPropsDlg dlg;
    // A previous run left another channel in the working copy.
    const auto old = channel(7, 4, 3, QStringLiteral("Old"), QStringLiteral("n"));
    ModalScript script(&dlg);
    QString focused;
    script.steps.push_back([](QDialog& d) { d.reject(); });
    script.steps.push_back([&](QDialog& d) {
        focused = d.focusWidget() ? d.focusWidget()->objectName() : QStringLiteral("<none>");
        auto& props = static_cast<TChannelPropsDlg&>(d);
        QCOMPARE(child<QLineEdit>(props, "ParamNameEdit")->text(), QStringLiteral("Unknown"));
        QCOMPARE(child<QLineEdit>(props, "NoteEdit")->text(), QString());
        child<QPushButton>(props, "ApplyBtn")->click();
    });
    QVERIFY(!dlg.Execute(old.get()));
    QVERIFY(dlg.Execute());
    QCOMPARE(focused, QStringLiteral("NoteEdit"));
    QCOMPARE(describe(*dlg.WorkChannel()), QStringLiteral("0|0|0|Unknown|"));
    QCOMPARE(script.unscripted + script.leftOpen, 0);
}

void tst_ChannelProps::runWithChannelShowsIt() {
    TChannelPropsDlg dlg;
    const auto source = channel(12, 3, 5, QStringLiteral("Давление"), QStringLiteral("котёл 2"));
    ModalScript script(&dlg);
    QString name, note, focused;
    script.steps.push_back([&](QDialog& d) {
        auto& props = static_cast<TChannelPropsDlg&>(d);
        name = child<QLineEdit>(props, "ParamNameEdit")->text();
        note = child<QLineEdit>(props, "NoteEdit")->text();
        focused = d.focusWidget() ? d.focusWidget()->objectName() : QStringLiteral("<none>");
        props.reject();
    });
    QVERIFY(!dlg.Execute(source.get()));
    QCOMPARE(name, QStringLiteral("Давление"));
    QCOMPARE(note, QStringLiteral("котёл 2"));
    QCOMPARE(focused, QStringLiteral("NoteEdit"));
    // The working copy holds every property of the channel; the channel itself is untouched.
    QCOMPARE(describe(*dlg.WorkChannel()), describe(*source));
}

// How the dialog is closed after typing into the note box.
void tst_ChannelProps::closing_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<QString>("tagName");
    QTest::addColumn<bool>("applied");
    QTest::addColumn<QString>("expected"); // the working channel afterwards

    const QString padded = QStringLiteral("Temp") + QString(8, QChar(0));
    QTest::newRow("Enter in note") << "enter-note"
                                   << "T1" << true << "4|1|9|T1|new note";
    QTest::newRow("keypad Enter in note") << "keypad-note"
                                          << "T1" << true << "4|1|9|T1|new note";
    QTest::newRow("Enter in name box") << "enter-name"
                                       << "T1" << true << "4|1|9|T1|new note";
    QTest::newRow("apply button") << "apply"
                                  << "T1" << true << "4|1|9|T1|new note";
    QTest::newRow("Esc") << "esc"
                         << "T1" << false << "4|1|9|T1|old";
    QTest::newRow("cancel button") << "cancel"
                                   << "T1" << false << "4|1|9|T1|old";
    QTest::newRow("window closed") << "close"
                                   << "T1" << false << "4|1|9|T1|old";
    // A device name padded with zero bytes is shown up to the padding and kept as it was.
    QTest::newRow("padded name kept")
        << "enter-note" << padded << true << QStringLiteral("4|1|9|%1|new note").arg(padded);
}

void tst_ChannelProps::closing() {
    QFETCH(QString, how);
    QFETCH(QString, tagName);
    QFETCH(bool, applied);
    QFETCH(QString, expected);

    TChannelPropsDlg dlg;
    const auto source = channel(4, 1, 9, tagName, QStringLiteral("old"));
    ModalScript script(&dlg);
    script.steps.push_back([&](QDialog& d) {
        auto& props = static_cast<TChannelPropsDlg&>(d);
        child<QLineEdit>(props, "NoteEdit")->selectAll();
        QTest::keyClicks(child<QLineEdit>(props, "NoteEdit"), QStringLiteral("new note"));
        if (how == "enter-note")
            QTest::keyClick(child<QLineEdit>(props, "NoteEdit"), Qt::Key_Return);
        else if (how == "keypad-note")
            QTest::keyClick(child<QLineEdit>(props, "NoteEdit"), Qt::Key_Enter, Qt::KeypadModifier);
        else if (how == "enter-name")
            QTest::keyClick(child<QLineEdit>(props, "ParamNameEdit"), Qt::Key_Return);
        else if (how == "apply")
            QTest::mouseClick(child<QPushButton>(props, "ApplyBtn"), Qt::LeftButton);
        else if (how == "esc")
            QTest::keyClick(child<QLineEdit>(props, "NoteEdit"), Qt::Key_Escape);
        else if (how == "cancel")
            QTest::mouseClick(child<QPushButton>(props, "CancelBtn"), Qt::LeftButton);
        else if (how == "close")
            props.close();
    });
    QCOMPARE(dlg.Execute(source.get()), applied);
    QCOMPARE(script.leftOpen, 0);
    QCOMPARE(describe(*dlg.WorkChannel()), expected);
    QCOMPARE(source->Note, QStringLiteral("old"));
}

void tst_ChannelProps::nextRunOverwritesLastCopy() {
    TChannelPropsDlg dlg;
    const auto first = channel(1, 2, 3, QStringLiteral("A"), QStringLiteral("a"));
    const auto second = channel(5, 4, 6, QStringLiteral("B"), QString());
    ModalScript script(&dlg);
    script.steps.push_back([](QDialog& d) {
        auto& props = static_cast<TChannelPropsDlg&>(d);
        QTest::keyClicks(child<QLineEdit>(props, "NoteEdit"), QStringLiteral("x"));
        props.reject();
    });
    script.steps.push_back([](QDialog& d) {
        auto& props = static_cast<TChannelPropsDlg&>(d);
        QCOMPARE(child<QLineEdit>(props, "NoteEdit")->text(),
                 QString()); // not the typed text of the last run
        child<QPushButton>(props, "ApplyBtn")->click();
    });
    QVERIFY(!dlg.Execute(first.get()));
    QVERIFY(dlg.Execute(second.get()));
    QCOMPARE(describe(*dlg.WorkChannel()), QStringLiteral("5|4|6|B|"));
}

void tst_ChannelProps::renders() {
    TChannelPropsDlg dlg;
    const auto source = channel(2, 4, 1, QStringLiteral("Flow_1"), QStringLiteral("m3/h"));
    ModalScript script(&dlg);
    QImage image;
    script.steps.push_back([&](QDialog& d) {
        image = d.grab().toImage();
        d.reject();
    });
    dlg.Execute(source.get());
    QVERIFY(!image.isNull());
    QVERIFY(image.save(QStringLiteral(ZORVAN_TEST_OUTPUT_DIR "/editor_channel_props.png")));
}

QTEST_MAIN(tst_ChannelProps)
#include "tst_ChannelProps.moc"
