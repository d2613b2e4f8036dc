// Any bytes as the settings store file (registry-export text). The parser must neither crash
// nor leak; a text it accepts is written back in a form that reads to the same key and values
// and writes to the same bytes; settings loaded from the file keep their limits, stay at their
// defaults when the file is refused, and every value's shown text can be made.

#include "FuzzCheck.h"

#include "components/ConfigPaths.h"
#include "settings/AppOptions.h"
#include "settings/DataContainer.h"
#include "settings/RegistryStore.h"
#include "settings/StandartStoreObjects.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace {

using namespace zorvan;

// A setting of any kind holding whatever form the store gives it, for the kinds that the
// program's own settings do not use (dates, numbers, texts, folders, addresses).
class AnyKindValue final : public TRegistryValueShell {
public:
    AnyKindValue(QObject* owner, const QString& name, TRegistryValueType kind, QVariant start)
        : TRegistryValueShell(owner, name, kind, name), m_value(std::move(start)) {}
    QVariant variantValue() const override { return m_value; }
    QVariant variantDefValue() const override { return QVariant(); }
    bool setVariantValue(const QVariant& v) override {
        m_value = v;
        return true;
    }
    QString FloatMask() const override { return QStringLiteral("#,##0.00#"); }

private:
    QVariant m_value;
};

QString storeFile;
std::vector<QVariant> defaults; // of the program's settings, in their order

void writeStore(const QByteArray& bytes) {
    QFile f(storeFile);
    FUZZ_CHECK(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    FUZZ_CHECK(f.write(bytes) == bytes.size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The store is a file: keep it in memory where there is a memory file system.
    static QTemporaryDir home(QDir(QStringLiteral("/dev/shm")).exists()
                                  ? QStringLiteral("/dev/shm/zorvan-fuzz-XXXXXX")
                                  : QDir::tempPath() + QStringLiteral("/zorvan-fuzz-XXXXXX"));
    FUZZ_CHECK(home.isValid());
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
    storeFile = applicationFolder() + QStringLiteral("/0/MainOptions.reg");
    FUZZ_CHECK(QDir().mkpath(applicationFolder() + QStringLiteral("/0")));
    TOptions fresh;
    fresh.setSaveOnDestroy(false);
    for (TRegistryValueShell* item : fresh.DataContainer->Items())
        defaults.push_back(item->variantValue());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));

    const std::optional<RegistryKeyContents> parsed = RegistryText::parse(bytes);
    if (parsed) {
        const QByteArray written = RegistryText::format(*parsed);
        const std::optional<RegistryKeyContents> again = RegistryText::parse(written);
        FUZZ_CHECK(again.has_value());
        FUZZ_CHECK(again->keyPath == parsed->keyPath);
        FUZZ_CHECK(again->values == parsed->values);
        FUZZ_CHECK(RegistryText::format(*again) == written);
    }

    writeStore(bytes);
    {
        TOptions options;
        options.setSaveOnDestroy(false);
        const QList<TRegistryValueShell*> items = options.DataContainer->Items();
        FUZZ_CHECK(static_cast<std::size_t>(items.size()) == defaults.size());
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (const auto* integer = qobject_cast<const TRegInteger*>(items[i]))
                FUZZ_CHECK(integer->InLimits(integer->Value()));
            if (!parsed)
                FUZZ_CHECK(items[i]->variantValue() == defaults[static_cast<std::size_t>(i)]);
            (void)RegistryValueText(*items[i]);
        }
    }

    // Every kind of setting, from the same key, as the options dialog would show them.
    QObject owner;
    auto* container = new TDataContainer(&owner);
    container->setRegPath(QStringLiteral("Belmat\\Quillmark\\0\\MainOptions"));
    const std::pair<const char*, TRegistryValueType> kinds[] = {
        {"Int", TRegistryValueType::rvtInteger},       {"Bool", TRegistryValueType::rvtBoolean},
        {"DateTime", TRegistryValueType::rvtDateTime}, {"Date", TRegistryValueType::rvtDate},
        {"Time", TRegistryValueType::rvtTime},         {"Float", TRegistryValueType::rvtFloat},
        {"String", TRegistryValueType::rvtString},     {"File", TRegistryValueType::rvtFileName},
        {"Folder", TRegistryValueType::rvtFolderName}, {"IP", TRegistryValueType::rvtIP},
    };
    for (const auto& [name, kind] : kinds)
        new AnyKindValue(&owner, QString::fromLatin1(name), kind, QVariant());
    container->RegisterValues();
    container->Load();
    for (TRegistryValueShell* item : container->Items())
        (void)RegistryValueText(*item);
    return 0;
}
