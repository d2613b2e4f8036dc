#pragma once

#include <QDialog>
#include <optional>

class QLineEdit;
class QPushButton;

namespace zorvan {

// The address input: four groups of up to three digits.
class TIPQueryDlg : public QDialog {
    Q_OBJECT
public:
    explicit TIPQueryDlg(QWidget* parent = nullptr);

    // Runs modally with the text; the entered address ("192.168.1.5", blanks removed) after OK.
    std::optional<QString> Execute(const QString& text);

    // The edit's text without the blanks of the mask; empty when no digit was entered.
    QString EnteredText() const;

private:
    // Object names "Edit" and "OkButton".
    QLineEdit* m_edit;
    QPushButton* m_ok;
};

} // namespace zorvan
