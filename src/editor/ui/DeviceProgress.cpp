#include "editor/ui/DeviceProgress.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

namespace zorvan {

namespace {

// What may run while a command waits between two exchanges: paints, timers, posted events.
// Input stays queued; the port's bytes are read by the command itself.
constexpr QEventLoop::ProcessEventsFlags kBetweenExchanges =
    QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers;

} // namespace

// --- TDeviceProgressDlg ----------------------------------------------------------------------

TDeviceProgressDlg::TDeviceProgressDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("DeviceProgressDlg"));
    setWindowModality(Qt::ApplicationModal);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 14, 16, 16);
    column->setSpacing(10);
    TextLabel = new QLabel;
    TextLabel->setObjectName(QStringLiteral("TextLabel"));
    Bar = new QProgressBar;
    Bar->setObjectName(QStringLiteral("Bar"));
    Bar->setTextVisible(false);
    column->addWidget(TextLabel);
    column->addWidget(Bar);
    // Sized once; the window is gone again before anybody could resize it.
    column->setSizeConstraint(QLayout::SetNoConstraint);
    resize(340, sizeHint().height());
}

void TDeviceProgressDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
}

// --- TDeviceProgress -------------------------------------------------------------------------

TDeviceProgress::TDeviceProgress(QWidget* parent, QString title, TStepText stepText,
                                 bool totalKnown)
    : Parent_(parent), Title_(std::move(title)), StepText_(std::move(stepText)),
      TotalKnown_(totalKnown) {
    Clock_.start();
}

TDeviceProgress::~TDeviceProgress() {
    Finish();
}

void TDeviceProgress::Step(int done, int total) {
    if (!Dialog_) {
        if (Clock_.elapsed() < ShowDelayMs)
            return;
        Show();
    }
    Dialog_->TextLabel->setText(StepText_ ? StepText_(done, total) : QString());
    if (TotalKnown_ && total > 0) {
        Dialog_->Bar->setRange(0, total);
        Dialog_->Bar->setValue(qBound(0, done, total));
    }
    QCoreApplication::processEvents(kBetweenExchanges);
}

void TDeviceProgress::Show() {
    Dialog_ = std::make_unique<TDeviceProgressDlg>(Parent_);
    Dialog_->setWindowTitle(Title_);
    if (!TotalKnown_)
        Dialog_->Bar->setRange(0, 0); // busy: the end is not known
    Dialog_->show();
}

void TDeviceProgress::Finish() {
    if (!Dialog_)
        return;
    // Clicks and keys of the wait go to the modal window now, which ignores them.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    Dialog_->hide();
    Dialog_.reset();
}

} // namespace zorvan
