#include "app/ui/CompositionRoot.h"

#include "app/ui/MainFrameUnit.h"
#include "device/ModbusMap.h"
#include "document/Document.h"
#include "editor/GlobalData.h"
#include "editor/ui/ChannelProps.h"
#include "editor/ui/CnlListVisor.h"
#include "execution/ui/ModbusMapExecUnit.h"
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
    // 4. CnlListVisorView: the editor view, placed into the main window at its first show.
    cnlListVisorView_ = std::make_unique<TCnlListVisorView>();
    mainFrameDlg_->CnlListVisorView = cnlListVisorView_.get();
    // 5. ChannelPropsDlg: hidden until Add or Edit runs it.
    channelPropsDlg_ = std::make_unique<TChannelPropsDlg>();
    cnlListVisorView_->SetChannelPropsDlg(channelPropsDlg_.get());
    // 6. ModbusMapConn: copies the communication settings onto the port and the device spaces.
    modbusMapConn_ = std::make_unique<TModbusMapConn>(*options_);
    // 7. GD: the drag-and-drop controller, which the editor view reaches through GD().
    gd_ = std::make_unique<TGD>();
    // 8. ModbusMapExecDlg: the traffic hook on the connection's transport from now on; a
    //    window of the main window's (centred over it), released before it.
    modbusMapExecDlg_ =
        std::make_unique<TModbusMapExecDlg>(modbusMapConn_.get(), mainFrameDlg_.get());
}

CompositionRoot::~CompositionRoot() {
    // Reverse order of creation: 8 ... 4 go first, when they exist.
    modbusMapExecDlg_.reset();
    gd_.reset();
    modbusMapConn_.reset();
    channelPropsDlg_.reset();
    cnlListVisorView_.reset();
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
