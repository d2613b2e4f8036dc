#pragma once

#include "settings/DataContainer.h"
#include "settings/DataContainerDialog.h"
#include "settings/StandartStoreObjects.h"

#include <QObject>

namespace zorvan {

// The program's settings module. Its components are created in the order below, which is also
// the order in which the settings are registered, loaded and saved; each setting is stored under
// its component's name in \Software\Belmat\Quillmark\0\MainOptions.
//
// Creating it registers and loads the settings; destroying it takes the current state into them
// (update resource with false, outside a save, so that changes are flagged) and saves.
class TOptions : public QObject {
    Q_OBJECT
public:
    explicit TOptions(QObject* parent = nullptr);
    ~TOptions() override;

    // The command line lists settings without writing anything back.
    void setSaveOnDestroy(bool save) { m_saveOnDestroy = save; }

    TDCAppInfo* DCAppInfo;
    TDataContainer* DataContainer;
    TRegValueCategory* FrameworkOptions;
    TRegBoolean* ViewToolBar;
    TRegInteger* MainFrmLeft;
    TRegInteger* MainFrmTop;
    TRegInteger* MainFrmHeight;
    TRegInteger* MainFrmWidth;
    TDataContainerDialog* DataContainerDialog;
    TRegBoolean* WarningBeforeClosing;
    TRegBoolean* RestoreLastDocument;
    TRegFile* LastDocument;
    TRegInteger* CurrLanguageID;
    TRegValueCategory* ComunicationCategory;
    TRegComport* Port;
    TRegBaudrate* Rate;
    TRegInteger* regDeviceAddress;
    TRegInteger* regprmRxTimeout;

private:
    void createFrameworkSettings();
    void createCommunicationSettings();

    bool m_saveOnDestroy = true;
};

// The program-wide settings module: the first TOptions created, until it is destroyed; null
// before that.
TOptions* Options();

} // namespace zorvan
