#include "app/ui/CompositionRoot.h"

#include "app/ui/MainFrameUnit.h"

#include <QApplication>

namespace zorvan {

namespace {
CompositionRoot* running = nullptr;
}

CompositionRoot::CompositionRoot() {
    // Not the display name: that one would be appended to every window title.
    QApplication::setApplicationName(QStringLiteral("Zorvan"));
    previousPrompter_ = setPrompter(&prompter_);
    running = this;

    // 1. Options (settings module): created here, first.
    // 2. Dm (document data module): created here; its Link goes to the main window.
    // 3. The main window: the first window, so the application's main window.
    mainFrameDlg_ = std::make_unique<TMainFrameDlg>(/* Dm's Link */ nullptr);
    prompter_.setParent(mainFrameDlg_.get());
    // 4. CnlListVisorView  5. ChannelPropsDlg  6. ModbusMapConn  7. GD  8. ModbusMapExecDlg
}

CompositionRoot::~CompositionRoot() {
    // Reverse order of creation: 8 ... 4 go first, when they exist.
    prompter_.setParent(nullptr);
    mainFrameDlg_.reset();
    // 2. Dm, then 1. Options (which writes the settings) go here.
    running = nullptr;
    setPrompter(previousPrompter_);
}

CompositionRoot* CompositionRoot::instance() {
    return running;
}

int CompositionRoot::Run() {
    mainFrameDlg_->show();
    return QApplication::exec();
}

} // namespace zorvan
