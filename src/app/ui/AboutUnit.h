#pragma once

#include <QDialog>

class QAction;
class QLabel;

namespace zorvan {

class TAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit TAboutDlg(QWidget* parent = nullptr);

    QAction* actExit;
    QLabel* VersionLabel;
};

} // namespace zorvan
