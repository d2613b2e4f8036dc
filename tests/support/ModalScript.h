#pragma once

#include <QDialog>
#include <QEvent>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <deque>
#include <functional>

namespace zorvan::test {

// Drives a modal dialog from a test: each time the dialog is shown, the next scripted step
// runs inside its event loop. A step must close the dialog (accept, reject, a key that does);
// a show with no step left, or a step that leaves the dialog open, is counted and the dialog
// is rejected, so a test never blocks on exec().
class ModalScript : public QObject {
    Q_OBJECT
public:
    using Step = std::function<void(QDialog& dialog)>;

    explicit ModalScript(QDialog* dialog) : m_dialog(dialog) {
        if (m_dialog)
            m_dialog->installEventFilter(this);
    }
    ~ModalScript() override {
        if (m_dialog)
            m_dialog->removeEventFilter(this);
    }

    std::deque<Step> steps;
    int shows = 0;      // times the dialog was shown
    int unscripted = 0; // shows without a step
    int leftOpen = 0;   // steps after which the dialog was still open

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (watched == m_dialog && event->type() == QEvent::Show) {
            ++shows;
            // After the show has finished: exec() is then running its own loop.
            QTimer::singleShot(0, this, &ModalScript::RunNext);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void RunNext() {
        if (!m_dialog || !m_dialog->isVisible())
            return;
        const bool scripted = !steps.empty();
        if (scripted) {
            const Step step = std::move(steps.front());
            steps.pop_front();
            step(*m_dialog);
        }
        if (m_dialog && m_dialog->isVisible()) {
            ++(scripted ? leftOpen : unscripted);
            m_dialog->reject();
        }
    }

    QPointer<QDialog> m_dialog;
};

} // namespace zorvan::test
