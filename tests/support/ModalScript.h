#pragma once

#include <QDialog>
#include <QObject>
#include <QPointer>
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

    explicit ModalScript(QDialog* dialog);
    ~ModalScript() override;

    std::deque<Step> steps;
    int shows = 0;      // times the dialog was shown
    int unscripted = 0; // shows without a step
    int leftOpen = 0;   // steps after which the dialog was still open

    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void RunNext();
    QPointer<QDialog> m_dialog;
};

} // namespace zorvan::test
