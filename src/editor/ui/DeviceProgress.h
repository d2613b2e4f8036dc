#pragma once

#include <QDialog>
#include <QElapsedTimer>
#include <QString>
#include <functional>
#include <memory>

class QLabel;
class QProgressBar;
class QWidget;

namespace zorvan {

// The window of TDeviceProgress: modal, without buttons; Esc and the window's close request
// do nothing, since a device command cannot be broken off half-way.
class TDeviceProgressDlg : public QDialog {
    Q_OBJECT
public:
    explicit TDeviceProgressDlg(QWidget* parent = nullptr);

    void SetText(const QString& text);
    // The bar fills to done of total.
    void SetProgress(int done, int total);
    // A busy bar: the end is not known.
    void SetBusy();

public slots:
    void reject() override {}

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    // The controls; each one's object name is its member name.
    QLabel* TextLabel;
    QProgressBar* Bar;
};

// Progress of one device command that runs synchronously on the user-interface thread. Fed by
// the command's OnProgress, it shows a modal window once the command has run for ShowDelayMs
// (quick commands show nothing) and lets that window repaint at each step. Only paint, timer
// and other non-input events are processed meanwhile, so no user action starts while the
// command runs. Closing it, the input that queued up while it was shown is taken by the modal
// window and dropped, instead of reaching the program once the command has ended.
class TDeviceProgress {
public:
    // The text of a step: done of total steps.
    using TStepText = std::function<QString(int done, int total)>;

    static constexpr int DefaultShowDelayMs = 300;

    // parent: the window to centre on (not owned). totalKnown: whether total is the real
    // number of steps (a bar that fills) or only an upper bound (a busy bar).
    TDeviceProgress(QWidget* parent, QString title, TStepText stepText, bool totalKnown);
    ~TDeviceProgress();
    TDeviceProgress(const TDeviceProgress&) = delete;
    TDeviceProgress& operator=(const TDeviceProgress&) = delete;

    int ShowDelayMs = DefaultShowDelayMs;

    // One more step done; shows the window when its time has come and repaints it.
    void Step(int done, int total);
    // Takes the queued input and hides the window; the destructor calls it.
    void Finish();

    // The window, once it has been shown; null before.
    TDeviceProgressDlg* Dialog() const { return m_dialog.get(); }

private:
    void Show();

    QWidget* m_parent;
    QString m_title;
    TStepText m_stepText;
    bool m_totalKnown;
    QElapsedTimer m_clock;
    std::unique_ptr<TDeviceProgressDlg> m_dialog;
};

} // namespace zorvan
