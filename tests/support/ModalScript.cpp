#include "ModalScript.h"

#include <QEvent>
#include <QTimer>

namespace zorvan::test {

ModalScript::ModalScript(QDialog* dialog) : dialog_(dialog) {
    if (dialog_)
        dialog_->installEventFilter(this);
}

ModalScript::~ModalScript() {
    if (dialog_)
        dialog_->removeEventFilter(this);
}

bool ModalScript::eventFilter(QObject* watched, QEvent* event) {
    if (watched == dialog_ && event->type() == QEvent::Show) {
        ++shows;
        // After the show has finished: exec() is then running its own loop.
        QTimer::singleShot(0, this, &ModalScript::RunNext);
    }
    return QObject::eventFilter(watched, event);
}

void ModalScript::RunNext() {
    if (!dialog_ || !dialog_->isVisible())
        return;
    if (steps.empty()) {
        ++unscripted;
        dialog_->reject();
        return;
    }
    Step step = std::move(steps.front());
    steps.pop_front();
    step(*dialog_);
    if (dialog_ && dialog_->isVisible()) {
        ++leftOpen;
        dialog_->reject();
    }
}

} // namespace zorvan::test
