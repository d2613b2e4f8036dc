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

void TDeviceProgressDlg::SetText(const QString& text) {
    TextLabel->setText(text);
}

void TDeviceProgressDlg::SetProgress(int done, int total) {
    Bar->setRange(0, total);
    Bar->setValue(qBound(0, done, total));
}

void TDeviceProgressDlg::SetBusy() {
    Bar->setRange(0, 0);
}

void TDeviceProgressDlg::closeEvent(QCloseEvent* event) {
    event->ignore();
}

// --- TDeviceProgress -------------------------------------------------------------------------

TDeviceProgress::TDeviceProgress(QWidget* parent, QString title, TStepText stepText,
                                 bool totalKnown)
    : m_parent(parent), m_title(std::move(title)), m_stepText(std::move(stepText)),
      m_totalKnown(totalKnown) {
    m_clock.start();
}

TDeviceProgress::~TDeviceProgress() {
    Finish();
}

void TDeviceProgress::Step(int done, int total) {
    if (!m_dialog) {
        if (m_clock.elapsed() < ShowDelayMs)
            return;
        Show();
    }
    m_dialog->SetText(m_stepText ? m_stepText(done, total) : QString());
    if (m_totalKnown && total > 0)
        m_dialog->SetProgress(done, total);
    QCoreApplication::processEvents(kBetweenExchanges);
}

void TDeviceProgress::Show() {
    m_dialog = std::make_unique<TDeviceProgressDlg>(m_parent);
    m_dialog->setWindowTitle(m_title);
    if (!m_totalKnown)
        m_dialog->SetBusy();
    m_dialog->show();
}

void TDeviceProgress::Finish() {
    if (!m_dialog)
        return;
    // Clicks and keys of the wait go to the modal window now, which ignores them.
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    m_dialog->hide();
    m_dialog.reset();
}

} // namespace zorvan
