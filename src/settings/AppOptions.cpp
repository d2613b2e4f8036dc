#include "settings/AppOptions.h"

namespace zorvan {

namespace {
TOptions* instance = nullptr;

// Each setting is described by named fields, in this order, so that its line reads at once.
struct IntegerField {
    const char* name;
    TRegValueCategory* category;
    QString caption;
    bool visible = true;
    int value = 0; // also the default
    int min = 0;   // equal limits: no limit
    int max = 0;
};

struct BooleanField {
    const char* name;
    TRegValueCategory* category;
    QString caption;
    bool value = false;
    bool defValue = false;
};

struct FileField {
    const char* name;
    TRegValueCategory* category;
    QString caption;
    bool visible = true;
};

template <class Setting = TRegInteger> Setting* integer(QObject* owner, const IntegerField& field) {
    auto* v = new Setting(owner, QString::fromLatin1(field.name));
    v->setCategory(field.category);
    v->setCaption(field.caption);
    v->setVisible(field.visible);
    v->setMinValue(field.min);
    v->setMaxValue(field.max);
    v->setValue(field.value);
    v->setDefValue(field.value);
    return v;
}

TRegBoolean* boolean(QObject* owner, const BooleanField& field) {
    auto* v = new TRegBoolean(owner, QString::fromLatin1(field.name));
    v->setCategory(field.category);
    v->setCaption(field.caption);
    v->setValue(field.value);
    v->setDefValue(field.defValue);
    return v;
}

TRegFile* file(QObject* owner, const FileField& field) {
    auto* v = new TRegFile(owner, QString::fromLatin1(field.name));
    v->setCategory(field.category);
    v->setCaption(field.caption);
    v->setVisible(field.visible);
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

    createFrameworkSettings();
    createCommunicationSettings();

    DataContainer->RegisterValues();
    DataContainer->Load();
}

// The creation order is the settings' order in the store and in the options dialog.
void TOptions::createFrameworkSettings() {
    FrameworkOptions = new TRegValueCategory(this, QStringLiteral("FrameworkOptions"));
    FrameworkOptions->setDataContainer(DataContainer);
    FrameworkOptions->setCaption(QStringLiteral("Application options"));

    ViewToolBar = boolean(this, {.name = "ViewToolBar",
                                 .category = FrameworkOptions,
                                 .caption = QStringLiteral("Tool bar view"),
                                 .value = true,
                                 .defValue = true});
    const QString intCaption = QStringLiteral("int");
    MainFrmLeft = integer(this, {.name = "MainFrmLeft",
                                 .category = FrameworkOptions,
                                 .caption = intCaption,
                                 .visible = false});
    MainFrmTop = integer(this, {.name = "MainFrmTop",
                                .category = FrameworkOptions,
                                .caption = intCaption,
                                .visible = false});
    MainFrmHeight = integer(this, {.name = "MainFrmHeight",
                                   .category = FrameworkOptions,
                                   .caption = intCaption,
                                   .visible = false,
                                   .value = 450});
    MainFrmWidth = integer(this, {.name = "MainFrmWidth",
                                  .category = FrameworkOptions,
                                  .caption = intCaption,
                                  .visible = false,
                                  .value = 800});

    DataContainerDialog = new TDataContainerDialog(this, QStringLiteral("DataContainerDialog"));
    DataContainerDialog->setDataContainer(DataContainer);
    DataContainerDialog->setMaxInstrumentalWidth(150);

    // Both start on although "Set default" turns them off.
    WarningBeforeClosing =
        boolean(this, {.name = "WarningBeforeClosing",
                       .category = FrameworkOptions,
                       .caption = QStringLiteral("Warning before application closing"),
                       .value = true,
                       .defValue = false});
    RestoreLastDocument = boolean(this, {.name = "RestoreLastDocument",
                                         .category = FrameworkOptions,
                                         .caption = QStringLiteral("Open last file"),
                                         .value = true,
                                         .defValue = false});
    LastDocument = file(this, {.name = "LastDocument",
                               .category = FrameworkOptions,
                               .caption = QStringLiteral("Last file name"),
                               .visible = false});
    CurrLanguageID = integer(this, {.name = "CurrLanguageID",
                                    .category = FrameworkOptions,
                                    .caption = QStringLiteral("Current Language"),
                                    .visible = false,
                                    .value = 6400});
}

void TOptions::createCommunicationSettings() {
    ComunicationCategory = new TRegValueCategory(this, QStringLiteral("ComunicationCategory"));
    ComunicationCategory->setDataContainer(DataContainer);
    ComunicationCategory->setCaption(QStringLiteral("Подключение"));

    Port = integer<TRegComport>(this, {.name = "Port",
                                       .category = ComunicationCategory,
                                       .caption = QStringLiteral("Номер COM-порта"),
                                       .value = 1,
                                       .min = 1,
                                       .max = 255});
    Rate = integer<TRegBaudrate>(this, {.name = "Rate",
                                        .category = ComunicationCategory,
                                        .caption = QStringLiteral("Скорость обмена"),
                                        .value = 7,
                                        .min = 0,
                                        .max = 13});
    regDeviceAddress = integer(this, {.name = "regDeviceAddress",
                                      .category = ComunicationCategory,
                                      .caption = QStringLiteral("Адрес устройства"),
                                      .value = 1,
                                      .min = 1,
                                      .max = 254});
    regprmRxTimeout = integer(this, {.name = "regprmRxTimeout",
                                     .category = ComunicationCategory,
                                     .caption = QStringLiteral("Таймаут ответа от устройства"),
                                     .value = 50,
                                     .min = 10,
                                     .max = 10000});
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
