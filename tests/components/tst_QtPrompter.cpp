#include "NextModal.h"
#include "components/ui/QtPrompter.h"

#include <QApplication>
#include <QInputDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>

using namespace zorvan;
using zorvan::test::onNextModal;

class tst_QtPrompter : public QObject {
    Q_OBJECT
private slots:
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
        onNextModal<B>(this, [&](B& box) {
            seen += box.text() + box.informativeText(), box.button(B::Ok)->click();
        });
        p.tell("told", MessageKind::Warning, "/why");
        onNextModal<QInputDialog>(this, [](QInputDialog& input) {
            input.setTextValue(input.textValue() + "!"), input.accept();
        });
        seen += p.inputText("Title", "Value", "x").value_or("none");
        onNextModal(this, [](QDialog&) {});
        seen += p.inputText("Title", "Value", "x").value_or("none");
        QCOMPARE(seen, "q1q0q2told/whyx!none");
        p.beginWait();
        QCOMPARE(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
        p.endWait();
        QVERIFY(!QApplication::overrideCursor());
    }
};

QTEST_MAIN(tst_QtPrompter)
#include "tst_QtPrompter.moc"
