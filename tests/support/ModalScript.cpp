#include "ModalScript.h"

#include <QEvent>
#include <QTimer>

namespace zorvan::test {

ModalScript::ModalScript(QDialog* dialog) : m_dialog(dialog) {
    if (m_dialog)
        m_dialog->installEventFilter(this);
}

ModalScript::~ModalScript() {
    if (m_dialog)
        m_dialog->removeEventFilter(this);
}

bool ModalScript::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_dialog && event->type() == QEvent::Show) {
        ++shows;
        // After the show has finished: exec() is then running its own loop.
        QTimer::singleShot(0, this, &ModalScript::RunNext);
    }
    return QObject::eventFilter(watched, event);
}

void ModalScript::RunNext() {
    if (!m_dialog || !m_dialog->isVisible())
        return;
    if (steps.empty()) {
        ++unscripted;
        m_dialog->reject();
        return;
    }
    Step step = std::move(steps.front());
    steps.pop_front();
    step(*m_dialog);
    if (m_dialog && m_dialog->isVisible()) {
        ++leftOpen;
        m_dialog->reject();
    }
}

} // namespace zorvan::test
