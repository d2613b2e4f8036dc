#include "app/ui/CompositionRoot.h"

#include "app/ui/MainFrameUnit.h"
#include "device/ModbusMap.h"
#include "document/Document.h"
#include "editor/GlobalData.h"
#include "editor/ui/ChannelProps.h"
#include "editor/ui/CnlListVisor.h"
#include "execution/ui/ModbusMapExecUnit.h"
#include "settings/AppOptions.h"
#include "settings/ui/PortPickerDlg.h"

#include <QApplication>

namespace zorvan {

CompositionRoot::CompositionRoot() {
    // Not the display name: that one would be appended to every window title.
    QApplication::setApplicationName(QStringLiteral("Zorvan"));
    m_previousPrompter = setPrompter(&m_prompter);

    // 1. Options (settings module): loads the settings.
    m_options = std::make_unique<TOptions>();
    // 2. Dm (document data module): a new, empty, untitled document; its Link goes to the
    //    main window's agent.
    m_dm = std::make_unique<TDm>();
    // 3. The main window: the first window, so the application's main window.
    m_mainFrameDlg = std::make_unique<TMainFrameDlg>(&m_dm->Link);
    m_prompter.setParent(m_mainFrameDlg.get());
    // 4. CnlListVisorView: the editor view, placed into the main window at its first show.
    m_cnlListVisorView = std::make_unique<TCnlListVisorView>();
    m_mainFrameDlg->SetCnlListVisorView(m_cnlListVisorView.get());
    // 5. ChannelPropsDlg: hidden until Add or Edit runs it.
    m_channelPropsDlg = std::make_unique<TChannelPropsDlg>();
    m_cnlListVisorView->SetChannelPropsDlg(m_channelPropsDlg.get());
    // 6. ModbusMapConn: copies the communication settings onto the port and the device spaces.
    m_modbusMapConn = std::make_unique<TModbusMapConn>(*m_options);
    // The port number is picked among the serial devices, in the document's language.
    InstallPortPicker(*m_options->Port, [] {
        static const TMDVLocalizationEnglish english;
        const TMDVLanguage& language = Dm() ? Dm()->Link.Localization().Current() : english;
        return PortPickerTexts{language.PortNotPresentText, language.PortNoNumberText,
                               language.PortLinkFailedText};
    });
    // 7. GD: the drag-and-drop controller, which the editor view reaches through GD().
    m_gd = std::make_unique<TGD>();
    // 8. ModbusMapExecDlg: the traffic hook on the connection's transport from now on; a
    //    window of the main window's (centred over it), released before it.
    m_modbusMapExecDlg =
        std::make_unique<TModbusMapExecDlg>(m_modbusMapConn.get(), m_mainFrameDlg.get());
    m_cnlListVisorView->OnExecuteMap = [dialog = m_modbusMapExecDlg.get()] {
        dialog->ExecuteMap();
    };
}

CompositionRoot::~CompositionRoot() {
    // Reverse order of creation: 8 ... 4 go first, when they exist.
    if (m_cnlListVisorView)
        m_cnlListVisorView->OnExecuteMap = nullptr;
    m_modbusMapExecDlg.reset();
    m_gd.reset();
    m_modbusMapConn.reset();
    m_channelPropsDlg.reset();
    m_cnlListVisorView.reset();
    m_prompter.setParent(nullptr);
    m_mainFrameDlg.reset();
    m_dm.reset();
    // 1. Options, last: writes the settings.
    m_options.reset();
    setPrompter(m_previousPrompter);
}

int CompositionRoot::Run() {
    m_mainFrameDlg->show();
    return QApplication::exec();
}

} // namespace zorvan
