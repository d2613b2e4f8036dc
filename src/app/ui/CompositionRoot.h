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
// the reverse order. One instance lives in main() for the program's run. Each module registers
// its first instance and code reaches it through the module's own accessor (Options(), Dm(),
// ModbusMapConn(), GD(), ModbusMapExecDlg()); the windows without one are reached here.
class CompositionRoot {
public:
    // Requires a QApplication. Sets the application title and installs the GUI prompter.
    CompositionRoot();
    ~CompositionRoot();
    CompositionRoot(const CompositionRoot&) = delete;
    CompositionRoot& operator=(const CompositionRoot&) = delete;

    TMainFrameDlg* MainFrameDlg() const { return m_mainFrameDlg.get(); }
    TCnlListVisorView* CnlListVisorView() const { return m_cnlListVisorView.get(); }
    TChannelPropsDlg* ChannelPropsDlg() const { return m_channelPropsDlg.get(); }

    // Shows the main window and runs the event loop until it has closed.
    int Run();

private:
    QtPrompter m_prompter;
    IPrompter* m_previousPrompter = nullptr;

    // In creation order; the destructor releases them from the bottom up. Options, the
    // settings module, is first created and last destroyed.
    std::unique_ptr<TOptions> m_options;
    std::unique_ptr<TDm> m_dm;
    std::unique_ptr<TMainFrameDlg> m_mainFrameDlg;
    std::unique_ptr<TCnlListVisorView> m_cnlListVisorView;
    std::unique_ptr<TChannelPropsDlg> m_channelPropsDlg;
    std::unique_ptr<TModbusMapConn> m_modbusMapConn;
    std::unique_ptr<TGD> m_gd;
    std::unique_ptr<TModbusMapExecDlg> m_modbusMapExecDlg;
};

} // namespace zorvan
