#pragma once

#include <QDialog>

class QAction;
class QLabel;

namespace zorvan {

class TAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit TAboutDlg(QWidget* parent = nullptr);

private:
    // The controls; each one's object name is its member name.
    QAction* actExit;
    QLabel* VersionLabel;
};

} // namespace zorvan
