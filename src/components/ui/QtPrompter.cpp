#include "components/ui/QtPrompter.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>

namespace zorvan {

PromptAnswer QtPrompter::ask(const QString& text, PromptButtons buttons) {
    const auto set = buttons == PromptButtons::YesNoCancel
                         ? QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel
                         : QMessageBox::Yes | QMessageBox::No;
    const auto escape =
        buttons == PromptButtons::YesNoCancel ? QMessageBox::Cancel : QMessageBox::No;
    QMessageBox box(QMessageBox::Question, QApplication::applicationDisplayName(), text, set,
                    m_parent);
    box.setEscapeButton(escape);
    switch (box.exec()) {
    case QMessageBox::Yes:
        return PromptAnswer::Yes;
    case QMessageBox::No:
        return PromptAnswer::No;
    default:
        return PromptAnswer::Cancel;
    }
}

void QtPrompter::tell(const QString& text, MessageKind kind, const QString& detail) {
    const auto icon = kind == MessageKind::Error     ? QMessageBox::Critical
                      : kind == MessageKind::Warning ? QMessageBox::Warning
                                                     : QMessageBox::Information;
    QMessageBox box(icon, QApplication::applicationDisplayName(), text, QMessageBox::Ok, m_parent);
    box.setInformativeText(detail);
    box.exec();
}

std::optional<QString> QtPrompter::inputText(const QString& caption, const QString& prompt,
                                             const QString& initial) {
    bool ok = false;
    const QString text =
        QInputDialog::getText(m_parent, caption, prompt, QLineEdit::Normal, initial, &ok);
    if (!ok)
        return std::nullopt;
    return text;
}

std::optional<QString> QtPrompter::openFileName(const QString& filter) {
    const QString name = QFileDialog::getOpenFileName(m_parent, QString(), QString(), filter);
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

std::optional<QString> QtPrompter::saveFileName(const QString& filter) {
    // The agent asks about replacing an existing file itself, in the interface language.
    const QString name = QFileDialog::getSaveFileName(m_parent, QString(), QString(), filter,
                                                      nullptr, QFileDialog::DontConfirmOverwrite);
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

std::optional<QString> QtPrompter::folderName(const QString& start) {
    const QString name = QFileDialog::getExistingDirectory(m_parent, QString(), start);
    if (name.isEmpty())
        return std::nullopt;
    return name;
}

void QtPrompter::beginWait() {
    QApplication::setOverrideCursor(Qt::WaitCursor);
}

void QtPrompter::endWait() {
    QApplication::restoreOverrideCursor();
}

} // namespace zorvan
