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
    TOptions* Options() const { return m_options.get(); }
    TDm* Dm() const { return m_dm.get(); }
    TMainFrameDlg* MainFrameDlg() const { return m_mainFrameDlg.get(); }
    TCnlListVisorView* CnlListVisorView() const { return m_cnlListVisorView.get(); }
    TChannelPropsDlg* ChannelPropsDlg() const { return m_channelPropsDlg.get(); }
    TModbusMapConn* ModbusMapConn() const { return m_modbusMapConn.get(); }
    TGD* GD() const { return m_gd.get(); }
    TModbusMapExecDlg* ModbusMapExecDlg() const { return m_modbusMapExecDlg.get(); }

    // Shows the main window and runs the event loop until it has closed.
    int Run();

private:
    QtPrompter m_prompter;
    IPrompter* m_previousPrompter = nullptr;

    // In creation order; the destructor releases them from the bottom up.
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
