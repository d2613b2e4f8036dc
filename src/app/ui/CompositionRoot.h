#pragma once

#include "components/ui/QtPrompter.h"

#include <memory>

namespace zorvan {

class TChannelPropsDlg;
class TCnlListVisorView;
class TDm;
class TGD;
class TMainFrameDlg;
class TModbusMapConn;
class TModbusMapExecDlg;
class TOptions;

// Creates the program-wide modules and windows once, in start-up order, and destroys them in
// the reverse order. One instance lives in main() for the program's run; code reaches the
// instances through its accessors.
class CompositionRoot {
public:
    // Requires a QApplication. Sets the application title and installs the GUI prompter.
    CompositionRoot();
    ~CompositionRoot();
    CompositionRoot(const CompositionRoot&) = delete;
    CompositionRoot& operator=(const CompositionRoot&) = delete;

    // The running root, or null outside its lifetime.
    static CompositionRoot* instance();

    // 1 Options: the settings module, first created and last destroyed.
    TOptions* Options() const { return options_.get(); }
    TDm* Dm() const { return dm_.get(); }
    TMainFrameDlg* MainFrameDlg() const { return mainFrameDlg_.get(); }
    TCnlListVisorView* CnlListVisorView() const { return cnlListVisorView_.get(); }
    TChannelPropsDlg* ChannelPropsDlg() const { return channelPropsDlg_.get(); }
    TModbusMapConn* ModbusMapConn() const { return modbusMapConn_.get(); }
    TGD* GD() const { return gd_.get(); }
    TModbusMapExecDlg* ModbusMapExecDlg() const { return modbusMapExecDlg_.get(); }

    // Shows the main window and runs the event loop until it has closed.
    int Run();

private:
    QtPrompter prompter_;
    IPrompter* previousPrompter_ = nullptr;

    // In creation order; the destructor releases them from the bottom up.
    std::unique_ptr<TOptions> options_;
    std::unique_ptr<TDm> dm_;
    std::unique_ptr<TMainFrameDlg> mainFrameDlg_;
    std::unique_ptr<TCnlListVisorView> cnlListVisorView_;
    std::unique_ptr<TChannelPropsDlg> channelPropsDlg_;
    std::unique_ptr<TModbusMapConn> modbusMapConn_;
    std::unique_ptr<TGD> gd_;
    std::unique_ptr<TModbusMapExecDlg> modbusMapExecDlg_;
};

} // namespace zorvan
