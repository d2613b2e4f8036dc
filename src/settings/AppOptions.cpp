#include "settings/AppOptions.h"

namespace zorvan {

namespace {
TOptions* instance = nullptr;

TRegInteger* integer(QObject* owner, const char* name, TRegValueCategory* category,
                     const QString& caption, bool visible, int value, int min, int max) {
    auto* v = new TRegInteger(owner, QString::fromLatin1(name));
    v->setCategory(category);
    v->setCaption(caption);
    v->setVisible(visible);
    v->setMinValue(min);
    v->setMaxValue(max);
    v->setValue(value);
    v->setDefValue(value);
    return v;
}

TRegBoolean* boolean(QObject* owner, const char* name, TRegValueCategory* category,
                     const QString& caption, bool value, bool def) {
    auto* v = new TRegBoolean(owner, QString::fromLatin1(name));
    v->setCategory(category);
    v->setCaption(caption);
    v->setValue(value);
    v->setDefValue(def);
    return v;
}
} // namespace

TOptions* Options() {
    return instance;
}

TOptions::TOptions(QObject* parent) : QObject(parent) {
    setObjectName(QStringLiteral("Options"));
    if (!instance)
        instance = this;

    DCAppInfo = new TDCAppInfo(this, QStringLiteral("DCAppInfo"));
    DCAppInfo->setUserName(QStringLiteral("DefUser"));
    DCAppInfo->setApplicationName(QStringLiteral("Quillmark"));
    DCAppInfo->setFirmName(QStringLiteral("Belmat"));

    DataContainer = new TDataContainer(this, QStringLiteral("DataContainer"));
    DataContainer->setDCAppInfo(DCAppInfo);
    DataContainer->setRegistryKey(QStringLiteral("MainOptions"));
    DataContainer->setImageIndex(0);
    DataContainer->setDescription(QStringLiteral("Options"));

    FrameworkOptions = new TRegValueCategory(this, QStringLiteral("FrameworkOptions"));
    FrameworkOptions->setDataContainer(DataContainer);
    FrameworkOptions->setCaption(QStringLiteral("Application options"));

    ViewToolBar =
        boolean(this, "ViewToolBar", FrameworkOptions, QStringLiteral("Tool bar view"), true, true);
    const QString intCaption = QStringLiteral("int");
    MainFrmLeft = integer(this, "MainFrmLeft", FrameworkOptions, intCaption, false, 0, 0, 0);
    MainFrmTop = integer(this, "MainFrmTop", FrameworkOptions, intCaption, false, 0, 0, 0);
    MainFrmHeight = integer(this, "MainFrmHeight", FrameworkOptions, intCaption, false, 450, 0, 0);
    MainFrmWidth = integer(this, "MainFrmWidth", FrameworkOptions, intCaption, false, 800, 0, 0);

    DataContainerDialog = new TDataContainerDialog(this, QStringLiteral("DataContainerDialog"));
    DataContainerDialog->setDataContainer(DataContainer);
    DataContainerDialog->setMaxInstrumentalWidth(150);

    // Both start on although "Set default" turns them off.
    WarningBeforeClosing =
        boolean(this, "WarningBeforeClosing", FrameworkOptions,
                QStringLiteral("Warning before application closing"), true, false);
    RestoreLastDocument = boolean(this, "RestoreLastDocument", FrameworkOptions,
                                  QStringLiteral("Open last file"), true, false);
    LastDocument = new TRegFile(this, QStringLiteral("LastDocument"));
    LastDocument->setCategory(FrameworkOptions);
    LastDocument->setCaption(QStringLiteral("Last file name"));
    LastDocument->setVisible(false);
    CurrLanguageID = integer(this, "CurrLanguageID", FrameworkOptions,
                             QStringLiteral("Current Language"), false, 6400, 0, 0);

    ComunicationCategory = new TRegValueCategory(this, QStringLiteral("ComunicationCategory"));
    ComunicationCategory->setDataContainer(DataContainer);
    ComunicationCategory->setCaption(QStringLiteral("Подключение"));

    Port = new TRegComport(this, QStringLiteral("Port"));
    Port->setCategory(ComunicationCategory);
    Port->setCaption(QStringLiteral("Номер COM-порта"));
    Port->setMinValue(1);
    Port->setMaxValue(255);
    Port->setValue(1);
    Port->setDefValue(1);

    Rate = new TRegBaudrate(this, QStringLiteral("Rate"));
    Rate->setCategory(ComunicationCategory);
    Rate->setCaption(QStringLiteral("Скорость обмена"));
    Rate->setMinValue(0);
    Rate->setMaxValue(13);
    Rate->setValue(7);
    Rate->setDefValue(7);

    regDeviceAddress = integer(this, "regDeviceAddress", ComunicationCategory,
                               QStringLiteral("Адрес устройства"), true, 1, 1, 254);
    regprmRxTimeout = integer(this, "regprmRxTimeout", ComunicationCategory,
                              QStringLiteral("Таймаут ответа от устройства"), true, 50, 10, 10000);

    DataContainer->RegisterValues();
    DataContainer->Load();
}

TOptions::~TOptions() {
    if (m_saveOnDestroy) {
        // Outside the save, so that what the handlers put into the settings is flagged.
        DataContainer->FireUpdateResource(false);
        DataContainer->Save();
    }
    if (instance == this)
        instance = nullptr;
}

} // namespace zorvan
