#include "editor/ui/ChannelProps.h"

#include "components/XMLOptionsSerializer.h"
#include "document/ChannelMapText.h"
#include "document/CnlImage.h"

#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <limits>

namespace zorvan {

TChannelPropsDlg::TChannelPropsDlg(QWidget* parent)
    : QDialog(parent), m_workChannel(std::make_unique<TChannelItem>()) {
    setObjectName(QStringLiteral("ChannelPropsDlg"));
    setWindowTitle(QStringLiteral("Свойства"));
    setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);

    ParamNameEdit = new QLineEdit;
    ParamNameEdit->setObjectName(QStringLiteral("ParamNameEdit"));
    ParamNameEdit->setReadOnly(true);
    NoteEdit = new QLineEdit;
    NoteEdit->setObjectName(QStringLiteral("NoteEdit"));
    NoteEdit->setMaxLength(std::numeric_limits<int>::max());
    ApplyBtn = new QPushButton(QStringLiteral("Применить"));
    ApplyBtn->setObjectName(QStringLiteral("ApplyBtn"));
    CancelBtn = new QPushButton(QStringLiteral("Отмена"));
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    ApplyBtn->setDefault(true);

    auto* paramLabel = new QLabel(QStringLiteral("Параметр"));
    paramLabel->setBuddy(ParamNameEdit);
    auto* noteLabel = new QLabel(QStringLiteral("Примечание"));
    noteLabel->setBuddy(NoteEdit);

    auto* fields = new QGridLayout;
    fields->setContentsMargins(8, 8, 8, 4);
    fields->setHorizontalSpacing(8);
    fields->addWidget(paramLabel, 0, 0);
    fields->addWidget(ParamNameEdit, 0, 1);
    fields->addWidget(noteLabel, 1, 0);
    fields->addWidget(NoteEdit, 1, 1);

    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(8, 4, 8, 8);
    buttons->addStretch(1);
    buttons->addWidget(CancelBtn);
    buttons->addWidget(ApplyBtn);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addLayout(fields);
    column->addStretch(1);
    column->addWidget(line);
    column->addLayout(buttons);

    setTabOrder(NoteEdit, ApplyBtn);
    setTabOrder(ApplyBtn, CancelBtn);
    setTabOrder(CancelBtn, ParamNameEdit);

    setFixedSize(436, 129);

    connect(ApplyBtn, &QPushButton::clicked, this, &TChannelPropsDlg::ApplyBtnClick);
    connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
    // Enter in either box applies.
    connect(NoteEdit, &QLineEdit::returnPressed, ApplyBtn, &QPushButton::click);
    connect(ParamNameEdit, &QLineEdit::returnPressed, ApplyBtn, &QPushButton::click);
}

TChannelPropsDlg::~TChannelPropsDlg() = default;

bool TChannelPropsDlg::Execute(const TChannelItem* channel) {
    if (channel)
        AssignProperties(m_workChannel.get(), channel);
    else
        m_workChannel->Clear();
    // Device names come padded with zero bytes; the box shows the name up to the padding.
    m_shownName = TagNameText(m_workChannel->TagName);
    ParamNameEdit->setText(m_shownName);
    NoteEdit->setText(m_workChannel->Note);
    NoteEdit->setFocus();
    return exec() == QDialog::Accepted;
}

void TChannelPropsDlg::ApplyBtnClick() {
    // The name box is read-only: its text only replaces the name when it differs from what was
    // shown, so a padded device name is kept byte for byte.
    if (ParamNameEdit->text() != m_shownName)
        m_workChannel->TagName = ParamNameEdit->text();
    m_workChannel->Note = NoteEdit->text();
    accept();
}

} // namespace zorvan
