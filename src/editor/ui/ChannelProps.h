#pragma once

#include <QDialog>
#include <memory>

class QLineEdit;
class QPushButton;

namespace zorvan {

class TChannelItem;

// The channel properties dialog: shows a channel's tag name read-only and lets the user edit
// its note. It edits only its own working channel; the caller copies that back after a true
// Execute. Its texts are fixed (they do not follow the interface language).
class TChannelPropsDlg : public QDialog {
    Q_OBJECT
public:
    explicit TChannelPropsDlg(QWidget* parent = nullptr);
    ~TChannelPropsDlg() override;

    // Without a channel the working channel is cleared (channel 0, "Int", "Unknown", no note);
    // with one it takes a copy of all of its published properties. Then the dialog runs
    // modally; true when the user applied.
    bool Execute(const TChannelItem* channel = nullptr);

    // The working channel: the edited copy of the last run.
    TChannelItem* WorkChannel() const { return m_workChannel.get(); }

    // ApplyBtn's click: the working channel takes the texts of the two boxes.
    void ApplyBtnClick();

private:
    // The controls; each one's object name is its member name.
    QLineEdit* NoteEdit;
    QPushButton* ApplyBtn;
    QPushButton* CancelBtn;
    QLineEdit* ParamNameEdit;

    std::unique_ptr<TChannelItem> m_workChannel;
    // The name as ParamNameEdit shows it, to tell whether the box was changed.
    QString m_shownName;
};

} // namespace zorvan
