#pragma once

#include "components/ui/QtPrompter.h"

#include <memory>

namespace zorvan {

class TDm;
class TMainFrameDlg;
class TModbusMapConn;
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
    // 4 CnlListVisorView, 5 ChannelPropsDlg: to come
    TModbusMapConn* ModbusMapConn() const { return modbusMapConn_.get(); }
    // 7 GD, 8 ModbusMapExecDlg: to come

    // Shows the main window and runs the event loop until it has closed.
    int Run();

private:
    QtPrompter prompter_;
    IPrompter* previousPrompter_ = nullptr;

    // In creation order; the destructor releases them from the bottom up.
    std::unique_ptr<TOptions> options_;
    std::unique_ptr<TDm> dm_;
    std::unique_ptr<TMainFrameDlg> mainFrameDlg_;
    // 4: CnlListVisorView  5: ChannelPropsDlg
    std::unique_ptr<TModbusMapConn> modbusMapConn_;
    // 7: GD  8: ModbusMapExecDlg
};

} // namespace zorvan
