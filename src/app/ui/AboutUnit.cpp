#include "app/ui/AboutUnit.h"

#include "components/ui/MakeAction.h"

#include <QAction>
#include <QLabel>

namespace zorvan {

TAboutDlg::TAboutDlg(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint),
      actExit(makeAction(this, "actExit", QString(), {.Shortcut = QKeySequence(Qt::Key_Escape)})),
      VersionLabel(new QLabel(QStringLiteral("Version 2017.08.28"), this)) {
    setObjectName(QStringLiteral("AboutDlg"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(326, 111);
    VersionLabel->setObjectName(QStringLiteral("VersionLabel"));
    VersionLabel->move(116, 49);
    VersionLabel->adjustSize();

    addAction(actExit);
    connect(actExit, &QAction::triggered, this, &QDialog::close);
}

} // namespace zorvan
