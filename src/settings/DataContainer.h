#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVariant>
#include <functional>

namespace zorvan {

class TDataContainer;
class TRegValueCategory;

// The kind of a setting; it fixes the form in which the store holds it.
enum class TRegistryValueType {
    rvtInteger = 0,    // dword
    rvtBoolean = 1,    // dword 1 or 0
    rvtDateTime = 2,   // 8-byte binary double: days since 30 December 1899
    rvtDate = 3,       // as rvtDateTime
    rvtTime = 4,       // as rvtDateTime
    rvtFloat = 5,      // 8-byte binary double
    rvtString = 6,     // string
    rvtFileName = 7,   // string
    rvtFolderName = 8, // string ending in a separator
    rvtIP = 9,         // string
};

// Where the key of a container lives: Software\<FirmName>\<ApplicationName>\<ApplicationIndex>.
class TDCAppInfo : public QObject {
    Q_OBJECT
public:
    explicit TDCAppInfo(QObject* owner = nullptr, const QString& name = QString());

    QString FirmName() const { return m_firmName; }
    QString ApplicationName() const { return m_applicationName; }
    quint16 ApplicationIndex() const { return 0; }
    QString UserName() const { return m_userName; }
    // Empty texts are ignored: each property keeps its value.
    void setFirmName(const QString& v);
    void setApplicationName(const QString& v);
    void setUserName(const QString& v);

private:
    QString m_firmName = QStringLiteral("Belmat");
    QString m_applicationName = QStringLiteral("Input_AppName");
    QString m_userName = QStringLiteral("DefUser");
};

// A category of settings, shown in the options dialog.
class TRegValueCategory : public QObject {
    Q_OBJECT
public:
    explicit TRegValueCategory(QObject* owner = nullptr, const QString& name = QString());

    TDataContainer* DataContainer() const { return m_container; }
    void setDataContainer(TDataContainer* c);
    QString Caption() const { return m_caption; }
    void setCaption(const QString& c) { m_caption = c; }
    int ImageIndex() const { return m_imageIndex; }
    void setImageIndex(int i) { m_imageIndex = i; }

private:
    QPointer<TDataContainer> m_container;
    QString m_caption;
    int m_imageIndex = -1;
};

// Base of every setting. The component's object name is the store's value name.
//
// The modified flag says that the store does not hold the current value yet: it is set by a
// change while the container is idle and by a value missing from the store at load, and is
// cleared when the value is written. Changes made during a load or a save leave it alone.
class TRegistryValueShell : public QObject {
    Q_OBJECT
public:
    ~TRegistryValueShell() override;

    TRegistryValueType DateType() const { return m_kind; }

    QString Caption() const { return m_caption; }
    void setCaption(const QString& c) { m_caption = c; }
    TRegValueCategory* Category() const { return m_category; }
    void setCategory(TRegValueCategory* c) { m_category = c; }
    bool Visible() const { return m_visible; }
    void setVisible(bool v) { m_visible = v; }
    // Title of the input box in which the options dialog edits the value.
    QString Descriptor() const { return m_descriptor; }
    void setDescriptor(const QString& d) { m_descriptor = d; }
    bool UserEditor() const { return m_userEditor; }
    void setUserEditor(bool u) { m_userEditor = u; }

    // Lets the owner replace the options dialog's editor: the standard editor runs afterwards
    // only when the handler sets aContinueStd.
    std::function<void(bool& aContinueStd)> OnUserEditor;
    // The value's text in the options list, when the owner shows more than the kind's own text.
    std::function<QString()> OnValueText;
    // true: the value was just loaded, apply it; false: a save is coming, take the current state.
    std::function<void(bool aUpdateResource)> OnUpdateResource;

    bool Modified() const { return m_modified; }
    void setModified(bool m) { m_modified = m; }
    // The container that registered this value, or none.
    TDataContainer* Container() const { return m_container; }
    void setContainer(TDataContainer* c);

    // Kind-neutral access, used by the store, the options dialog and the command line.
    // Forms: int (integer), bool (boolean), double (float; the date kinds as days since
    // 30 December 1899), QString (string, file, folder, address).
    virtual QVariant variantValue() const = 0;
    virtual QVariant variantDefValue() const = 0;
    // Assigns through the kind's setter; false when the setter refused it or the form does not
    // fit the kind.
    virtual bool setVariantValue(const QVariant& v) = 0;
    // Number mask of the float kind ("0.000"); empty formats in the shortest exact form.
    virtual QString FloatMask() const { return QString(); }

    // Returns true when the standard editor should run (no user editor, or it asked for it).
    bool runUserEditor();
    void fireUpdateResource(bool aUpdateResource);

protected:
    TRegistryValueShell(QObject* owner, const QString& name, TRegistryValueType kind,
                        const QString& defaultCaption);
    // Called by setters after they stored a new value.
    void markChanged();

private:
    friend class TDataContainer;
    TRegistryValueType m_kind;
    QString m_caption;
    QPointer<TRegValueCategory> m_category;
    bool m_visible = true;
    QString m_descriptor;
    bool m_userEditor = false;
    bool m_modified = false;
    // Flagged only because the store had no value at the last load, unchanged since: a value
    // another writer stored meanwhile is not overwritten with this start value.
    bool m_missingAtLoad = false;
    QPointer<TDataContainer> m_container;
};

// A folder as the store holds it: ending in a separator, so no folder at all is the root "/".
QString FolderStoreForm(const QString& folder);

enum class TDataContainerState { Idle, Loading, Saving };

// The settings container: collects the settings of its owner, loads them from one store key and
// writes the changed ones back.
class TDataContainer : public QObject {
    Q_OBJECT
public:
    explicit TDataContainer(QObject* owner = nullptr, const QString& name = QString());

    TDCAppInfo* DCAppInfo() const { return m_appInfo; }
    void setDCAppInfo(TDCAppInfo* info) { m_appInfo = info; }
    QString RegistryKey() const { return m_registryKey; }
    void setRegistryKey(const QString& k); // empty is ignored
    QString RegPath() const { return m_regPath; }
    void setRegPath(const QString& p) { m_regPath = p; }
    QString Description() const { return m_description; }
    void setDescription(const QString& d) { m_description = d; }
    int ImageIndex() const { return m_imageIndex; }
    void setImageIndex(int i) { m_imageIndex = i; }

    std::function<void(bool aUpdateResource)> OnUpdateResource;

    // The key below the machine hive: RegPath when set, else
    // \Software\<FirmName>\<ApplicationName>\<ApplicationIndex>\<RegistryKey>. Empty when there
    // is neither a RegPath nor a DCAppInfo: such a key cannot be opened.
    QString KeyPath() const;

    TDataContainerState State() const { return m_state; }
    bool Idle() const { return m_state == TDataContainerState::Idle; }

    // Categories in order of first use, without two of the same Caption.
    QList<TRegValueCategory*> Categories() const;
    // The registered settings in their owner's creation order.
    QList<TRegistryValueShell*> Items() const;
    TRegistryValueShell* FindItem(const QString& name) const;

    // Collects the owner's categories and settings.
    void RegisterValues();
    // Reads every registered value; a missing one is flagged for the next save. Ends silently
    // at the first value of the wrong kind; a store that cannot be read (not a regular file,
    // too large) loads nothing. Refused while a load or save is running.
    void Load();
    // Writes the flagged values over what the store holds at that moment. A failed write
    // keeps every flag, so nothing is lost, and LastSaveError() says why. Refused while a
    // load or save is running.
    void Save();
    // Why the last save wrote nothing; empty after one that succeeded.
    QString LastSaveError() const { return m_lastSaveError; }
    // Gives every value its default through its setter.
    void SetDefaults();
    void FireUpdateResource(bool aUpdateResource);

private:
    QPointer<TDCAppInfo> m_appInfo;
    QString m_registryKey = QStringLiteral("MainOptions");
    QString m_regPath;
    QString m_description = QStringLiteral("Options");
    int m_imageIndex = -1;
    TDataContainerState m_state = TDataContainerState::Idle;
    QList<QPointer<TRegValueCategory>> m_categories;
    QList<QPointer<TRegistryValueShell>> m_items;
    QString m_lastSaveError;
};

} // namespace zorvan
