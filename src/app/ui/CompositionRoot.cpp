#include "app/ui/CompositionRoot.h"

#include "app/ui/MainFrameUnit.h"
#include "device/ModbusMap.h"
#include "document/Document.h"
#include "settings/AppOptions.h"

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

    // 1. Options (settings module): loads the settings.
    options_ = std::make_unique<TOptions>();
    // 2. Dm (document data module): a new, empty, untitled document; its Link goes to the
    //    main window's agent.
    dm_ = std::make_unique<TDm>();
    // 3. The main window: the first window, so the application's main window.
    mainFrameDlg_ = std::make_unique<TMainFrameDlg>(&dm_->Link);
    prompter_.setParent(mainFrameDlg_.get());
    // 4. CnlListVisorView  5. ChannelPropsDlg
    // 6. ModbusMapConn: copies the communication settings onto the port and the device spaces.
    modbusMapConn_ = std::make_unique<TModbusMapConn>(*options_);
    // 7. GD  8. ModbusMapExecDlg
}

CompositionRoot::~CompositionRoot() {
    // Reverse order of creation: 8 ... 4 go first, when they exist.
    modbusMapConn_.reset();
    prompter_.setParent(nullptr);
    mainFrameDlg_.reset();
    dm_.reset();
    // 1. Options, last: writes the settings.
    options_.reset();
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
