#include "settings/ui/IPQuery.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace zorvan {

TIPQueryDlg::TIPQueryDlg(QWidget* parent)
    : QDialog(parent), m_edit(new QLineEdit(this)), m_ok(nullptr) {
    setObjectName(QStringLiteral("IPQueryDlg"));
    setWindowTitle(QStringLiteral("Input IP"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(new QLabel(QStringLiteral("Input IP:"), this));
    // Digits optional in every place, blanks shown as spaces: "   .   .   .   " when empty.
    m_edit->setObjectName(QStringLiteral("Edit"));
    m_edit->setInputMask(QStringLiteral("000.000.000.000; "));
    m_edit->setMaxLength(15);
    layout->addWidget(m_edit);
    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
    m_ok->setObjectName(QStringLiteral("OkButton"));
    m_ok->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

QString TIPQueryDlg::EnteredText() const {
    QStringList groups = m_edit->text().split(u'.');
    bool any = false;
    for (QString& g : groups) {
        g = g.simplified().remove(u' ');
        any = any || !g.isEmpty();
    }
    return any ? groups.join(u'.') : QString();
}

std::optional<QString> TIPQueryDlg::Execute(const QString& text) {
    // Each group is laid into its own three places, so "10.0.0.1" keeps its groups.
    QStringList groups = text.split(u'.');
    while (groups.size() < 4)
        groups << QString();
    QString masked;
    for (int i = 0; i < 4; ++i) {
        if (i > 0)
            masked += u'.';
        masked += groups[i].trimmed().left(3).leftJustified(3, u' ');
    }
    m_edit->setText(masked);
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return EnteredText();
}

} // namespace zorvan
