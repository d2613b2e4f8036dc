#include "settings/DataContainer.h"

#include "settings/RegistryStore.h"

#include <QtEndian>
#include <cstring>
#include <optional>

namespace zorvan {

TDCAppInfo::TDCAppInfo(QObject* owner, const QString& name) : QObject(owner) {
    setObjectName(name);
}

void TDCAppInfo::setFirmName(const QString& v) {
    if (!v.isEmpty())
        m_firmName = v;
}

void TDCAppInfo::setApplicationName(const QString& v) {
    if (!v.isEmpty())
        m_applicationName = v;
}

void TDCAppInfo::setUserName(const QString& v) {
    if (!v.isEmpty())
        m_userName = v;
}

TRegValueCategory::TRegValueCategory(QObject* owner, const QString& name) : QObject(owner) {
    setObjectName(name);
}

void TRegValueCategory::setDataContainer(TDataContainer* c) {
    m_container = c;
}

TRegistryValueShell::TRegistryValueShell(QObject* owner, const QString& name,
                                         TRegistryValueType kind, const QString& defaultCaption)
    : QObject(owner), m_kind(kind), m_caption(defaultCaption) {
    setObjectName(name);
}

TRegistryValueShell::~TRegistryValueShell() = default;

void TRegistryValueShell::setContainer(TDataContainer* c) {
    m_container = c;
}

void TRegistryValueShell::markChanged() {
    if (m_container && m_container->Idle()) {
        m_modified = true;
        m_missingAtLoad = false;
    }
}

bool TRegistryValueShell::runUserEditor() {
    if (!m_userEditor || !OnUserEditor)
        return true;
    bool aContinueStd = false;
    OnUserEditor(aContinueStd);
    return aContinueStd;
}

void TRegistryValueShell::fireUpdateResource(bool aUpdateResource) {
    if (OnUpdateResource)
        OnUpdateResource(aUpdateResource);
}

QString FolderStoreForm(const QString& folder) {
    if (folder.endsWith(u'/'))
        return folder;
    return folder + u'/';
}

namespace {

QByteArray doubleBytes(double d) {
    quint64 bits = 0;
    std::memcpy(&bits, &d, sizeof bits);
    QByteArray out(8, '\0');
    qToLittleEndian(bits, out.data());
    return out;
}

double bytesDouble(const QByteArray& b) {
    const quint64 bits = qFromLittleEndian<quint64>(b.constData());
    double d = 0;
    std::memcpy(&d, &bits, sizeof d);
    return d;
}

RegistryValue encodeValue(const TRegistryValueShell& item) {
    const QVariant v = item.variantValue();
    switch (item.DateType()) {
    case TRegistryValueType::rvtInteger:
        return RegistryValue::fromDword(static_cast<quint32>(v.toInt()));
    case TRegistryValueType::rvtBoolean:
        return RegistryValue::fromDword(v.toBool() ? 1 : 0);
    case TRegistryValueType::rvtDateTime:
    case TRegistryValueType::rvtDate:
    case TRegistryValueType::rvtTime:
    case TRegistryValueType::rvtFloat:
        return RegistryValue::fromBinary(doubleBytes(v.toDouble()));
    case TRegistryValueType::rvtFolderName:
        return RegistryValue::fromString(FolderStoreForm(v.toString()));
    case TRegistryValueType::rvtString:
    case TRegistryValueType::rvtFileName:
    case TRegistryValueType::rvtIP:
        return RegistryValue::fromString(v.toString());
    }
    return RegistryValue::fromString(v.toString());
}

// nullopt: the stored value has the wrong form for the kind.
std::optional<QVariant> decodeValue(TRegistryValueType kind, const RegistryValue& r) {
    switch (kind) {
    case TRegistryValueType::rvtInteger:
        if (r.type != RegistryValue::Type::Dword)
            return std::nullopt;
        return QVariant(static_cast<int>(static_cast<qint32>(r.dword)));
    case TRegistryValueType::rvtBoolean:
        if (r.type != RegistryValue::Type::Dword)
            return std::nullopt;
        return QVariant(r.dword != 0);
    case TRegistryValueType::rvtDateTime:
    case TRegistryValueType::rvtDate:
    case TRegistryValueType::rvtTime:
    case TRegistryValueType::rvtFloat:
        if (r.type != RegistryValue::Type::Binary || r.bytes.size() != 8)
            return std::nullopt;
        return QVariant(bytesDouble(r.bytes));
    case TRegistryValueType::rvtString:
    case TRegistryValueType::rvtFileName:
    case TRegistryValueType::rvtFolderName:
    case TRegistryValueType::rvtIP:
        if (r.type != RegistryValue::Type::String)
            return std::nullopt;
        return QVariant(r.text);
    }
    return std::nullopt;
}

} // namespace

TDataContainer::TDataContainer(QObject* owner, const QString& name) : QObject(owner) {
    setObjectName(name);
}

void TDataContainer::setRegistryKey(const QString& k) {
    if (!k.isEmpty())
        m_registryKey = k;
}

QString TDataContainer::KeyPath() const {
    if (!m_regPath.isEmpty())
        return m_regPath;
    if (!m_appInfo)
        return QString();
    return QStringLiteral("\\Software\\") + m_appInfo->FirmName() + u'\\' +
           m_appInfo->ApplicationName() + u'\\' + QString::number(m_appInfo->ApplicationIndex()) +
           u'\\' + m_registryKey;
}

QList<TRegValueCategory*> TDataContainer::Categories() const {
    QList<TRegValueCategory*> out;
    for (const auto& c : m_categories)
        if (c)
            out << c.data();
    return out;
}

QList<TRegistryValueShell*> TDataContainer::Items() const {
    QList<TRegistryValueShell*> out;
    for (const auto& v : m_items)
        if (v)
            out << v.data();
    return out;
}

TRegistryValueShell* TDataContainer::FindItem(const QString& name) const {
    for (const auto& v : m_items)
        if (v && v->objectName() == name)
            return v.data();
    return nullptr;
}

void TDataContainer::RegisterValues() {
    m_categories.clear();
    m_items.clear();
    if (!parent())
        return;
    for (QObject* child : parent()->children()) {
        auto* value = qobject_cast<TRegistryValueShell*>(child);
        if (!value)
            continue;
        if (TRegValueCategory* category = value->Category()) {
            bool known = false;
            for (const auto& c : m_categories)
                known = known || (c && c->Caption() == category->Caption());
            if (!known)
                m_categories.append(category);
        }
        value->setContainer(this);
        m_items.append(value);
    }
}

void TDataContainer::Load() {
    if (!Idle())
        return;
    m_state = TDataContainerState::Loading;
    RegistryStoreKey key(KeyPath());
    bool complete = key.openRead();
    if (complete) {
        for (const auto& item : QList<QPointer<TRegistryValueShell>>(m_items)) {
            if (!item)
                continue;
            const RegistryValue* stored = key.value(item->objectName());
            item->m_missingAtLoad = !stored;
            if (!stored) {
                item->setModified(true);
                continue;
            }
            const auto v = decodeValue(item->DateType(), *stored);
            if (!v) {
                complete = false;
                break;
            }
            item->setVariantValue(*v);
        }
    }
    // An error ends the pass before the values are applied, as a registry error would.
    if (complete)
        FireUpdateResource(true);
    m_state = TDataContainerState::Idle;
}

void TDataContainer::Save() {
    if (!Idle())
        return;
    m_state = TDataContainerState::Saving;
    FireUpdateResource(false);
    m_lastSaveError.clear();
    RegistryStoreKey key(KeyPath());
    if (key.openWrite()) {
        QList<QPointer<TRegistryValueShell>> written;
        for (const auto& item : QList<QPointer<TRegistryValueShell>>(m_items)) {
            if (!item || !item->Modified())
                continue;
            item->setModified(false);
            if (item->m_missingAtLoad && key.value(item->objectName()))
                continue; // another writer stored it since: its value stands
            key.setValue(item->objectName(), encodeValue(*item));
            written << item;
        }
        // Nothing reached the disk: keep every flag so that the next save tries again.
        const bool committed = key.commit();
        if (!committed)
            m_lastSaveError = key.error();
        for (const auto& item : written) {
            if (item && committed)
                item->m_missingAtLoad = false;
            else if (item)
                item->setModified(true);
        }
    } else {
        m_lastSaveError = key.error();
    }
    m_state = TDataContainerState::Idle;
}

void TDataContainer::SetDefaults() {
    for (const auto& item : QList<QPointer<TRegistryValueShell>>(m_items))
        if (item)
            item->setVariantValue(item->variantDefValue());
}

void TDataContainer::FireUpdateResource(bool aUpdateResource) {
    if (OnUpdateResource)
        OnUpdateResource(aUpdateResource);
    for (const auto& item : QList<QPointer<TRegistryValueShell>>(m_items))
        if (item)
            item->fireUpdateResource(aUpdateResource);
}

} // namespace zorvan
