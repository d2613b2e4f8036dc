#include "GenericRegValue.h"
#include "TempConfigHome.h"
#include "settings/DataContainer.h"
#include "settings/RegistryStore.h"
#include "settings/StandartStoreObjects.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace zorvan;
using zorvan::test::GenericRegValue;
using zorvan::test::TempConfigHome;

namespace {

QByteArray readFile(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeFile(const QString& name, const QByteArray& data) {
    QDir().mkpath(QFileInfo(name).absolutePath());
    QFile f(name);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

// A settings module of one value, stored under RegPath Test\Kinds.
struct OneValueModule {
    QObject owner;
    TDataContainer* container;
    GenericRegValue* value;
    OneValueModule(TRegistryValueType kind, const QVariant& start) {
        container = new TDataContainer(&owner);
        container->setRegPath("Test\\Kinds");
        value = new GenericRegValue(&owner, "Value", kind, start);
        container->RegisterValues();
    }
};

} // namespace

class TestRegistryStore : public QObject {
    Q_OBJECT
private slots:
    void fileOfKey_data();
    void fileOfKey();
    void kindRoundTrip_data();
    void kindRoundTrip();
    void acceptedText_data();
    void acceptedText();
    void wrongKindIsRefused_data();
    void wrongKindIsRefused();
    void foreignValuesSurviveASave();
    void atomicWrite();
    void failedWriteKeepsFlags();
};

void TestRegistryStore::fileOfKey_data() {
    QTest::addColumn<QString>("keyPath");
    QTest::addColumn<QString>("relative"); // below the config folder; empty: no key
    QTest::newRow("built path") << "\\Software\\Belmat\\Quillmark\\0\\MainOptions"
                                << "Belmat/Quillmark/0/MainOptions.reg";
    QTest::newRow("hive named") << "HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\Tool"
                                << "Acme/Tool.reg";
    QTest::newRow("reg path without Software") << "Acme\\Tool\\Main"
                                               << "Acme/Tool/Main.reg";
    QTest::newRow("single level") << "Main"
                                  << "Main.reg";
    QTest::newRow("only Software") << "\\Software"
                                   << "";
    QTest::newRow("empty") << ""
                           << "";
    QTest::newRow("parent level") << "\\Software\\..\\x"
                                  << "";
    QTest::newRow("current level") << "a\\.\\b"
                                   << "";
    QTest::newRow("empty level") << "a\\\\b"
                                 << "";
    QTest::newRow("slash in level") << "a/b\\c"
                                    << "";
    QTest::newRow("trailing backslash") << "a\\b\\"
                                        << "";
}

void TestRegistryStore::fileOfKey() {
    QFETCH(QString, keyPath);
    QFETCH(QString, relative);
    TempConfigHome home;
    const QString expected = relative.isEmpty() ? QString() : home.path() + "/" + relative;
    QCOMPARE(RegistryStoreKey::fileOfKey(keyPath), expected);
    if (relative.isEmpty()) {
        RegistryStoreKey key(keyPath);
        QVERIFY(!key.openRead());
        QVERIFY(!key.openWrite());
    }
}

void TestRegistryStore::kindRoundTrip_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QVariant>("other"); // start value of the reading module
    QTest::addColumn<QString>("line");   // the value's line in the store
    QTest::addColumn<QVariant>("readBack");
    using K = TRegistryValueType;
    QTest::newRow("integer") << int(K::rvtInteger) << QVariant(1) << QVariant(7)
                             << "\"Value\"=dword:00000001" << QVariant(1);
    QTest::newRow("negative integer") << int(K::rvtInteger) << QVariant(-5) << QVariant(0)
                                      << "\"Value\"=dword:fffffffb" << QVariant(-5);
    QTest::newRow("integer extremes") << int(K::rvtInteger) << QVariant(INT_MIN) << QVariant(0)
                                      << "\"Value\"=dword:80000000" << QVariant(INT_MIN);
    QTest::newRow("boolean true") << int(K::rvtBoolean) << QVariant(true) << QVariant(false)
                                  << "\"Value\"=dword:00000001" << QVariant(true);
    QTest::newRow("boolean false") << int(K::rvtBoolean) << QVariant(false) << QVariant(true)
                                   << "\"Value\"=dword:00000000" << QVariant(false);
    QTest::newRow("float") << int(K::rvtFloat) << QVariant(1.0) << QVariant(0.0)
                           << "\"Value\"=hex:00,00,00,00,00,00,f0,3f" << QVariant(1.0);
    QTest::newRow("negative float") << int(K::rvtFloat) << QVariant(-2.5) << QVariant(0.0)
                                    << "\"Value\"=hex:00,00,00,00,00,00,04,c0" << QVariant(-2.5);
    // 2 January 1900, 12:00
    QTest::newRow("date time") << int(K::rvtDateTime) << QVariant(3.5) << QVariant(0.0)
                               << "\"Value\"=hex:00,00,00,00,00,00,0c,40" << QVariant(3.5);
    QTest::newRow("date") << int(K::rvtDate) << QVariant(45000.0) << QVariant(1.0)
                          << "\"Value\"=hex:00,00,00,00,00,f9,e5,40" << QVariant(45000.0);
    QTest::newRow("time") << int(K::rvtTime) << QVariant(0.25) << QVariant(0.0)
                          << "\"Value\"=hex:00,00,00,00,00,00,d0,3f" << QVariant(0.25);
    QTest::newRow("string") << int(K::rvtString) << QVariant("plain") << QVariant("x")
                            << "\"Value\"=\"plain\"" << QVariant("plain");
    QTest::newRow("escaped string")
        << int(K::rvtString) << QVariant("C:\\dir\\\"q\"") << QVariant("")
        << "\"Value\"=\"C:\\\\dir\\\\\\\"q\\\"\"" << QVariant("C:\\dir\\\"q\"");
    QTest::newRow("cyrillic string") << int(K::rvtString) << QVariant("Порт") << QVariant("")
                                     << "\"Value\"=\"Порт\"" << QVariant("Порт");
    QTest::newRow("string with line end")
        << int(K::rvtString) << QVariant("a\nb") << QVariant("")
        << "\"Value\"=hex(1):61,00,0a,00,62,00,00,00" << QVariant("a\nb");
    QTest::newRow("empty file name")
        << int(K::rvtFileName) << QVariant("") << QVariant("x") << "\"Value\"=\"\"" << QVariant("");
    QTest::newRow("file name") << int(K::rvtFileName) << QVariant("/home/u/map.zorvan")
                               << QVariant("") << "\"Value\"=\"/home/u/map.zorvan\""
                               << QVariant("/home/u/map.zorvan");
    QTest::newRow("folder gets separator")
        << int(K::rvtFolderName) << QVariant("/tmp/x") << QVariant("") << "\"Value\"=\"/tmp/x/\""
        << QVariant("/tmp/x/");
    QTest::newRow("no folder is root") << int(K::rvtFolderName) << QVariant("") << QVariant("a")
                                       << "\"Value\"=\"/\"" << QVariant("/");
    QTest::newRow("address") << int(K::rvtIP) << QVariant("192.168.1.5") << QVariant("")
                             << "\"Value\"=\"192.168.1.5\"" << QVariant("192.168.1.5");
}

void TestRegistryStore::kindRoundTrip() {
    QFETCH(int, kind);
    QFETCH(QVariant, value);
    QFETCH(QVariant, other);
    QFETCH(QString, line);
    QFETCH(QVariant, readBack);
    TempConfigHome home;
    const auto k = static_cast<TRegistryValueType>(kind);
    {
        OneValueModule writer(k, value);
        writer.container->Load(); // no store: flagged
        QVERIFY(writer.value->Modified());
        writer.container->Save();
        QVERIFY(!writer.value->Modified());
    }
    const QString file = home.path() + "/Test/Kinds.reg";
    const QString text = QString::fromUtf8(readFile(file));
    QVERIFY2(text.split('\n').contains(line), qPrintable(text));
    QVERIFY(text.startsWith("Windows Registry Editor Version 5.00\n\n"
                            "[HKEY_LOCAL_MACHINE\\Test\\Kinds]\n"));

    OneValueModule reader(k, other);
    reader.container->Load();
    QCOMPARE(reader.value->variantValue(), readBack);
    QVERIFY(!reader.value->Modified());
}

void TestRegistryStore::acceptedText_data() {
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("type");
    QTest::addColumn<QVariant>("value"); // dword as uint, string as QString, bytes as QByteArray
    using T = RegistryValue::Type;
    QTest::newRow("crlf and header") << QByteArray("Windows Registry Editor Version 5.00\r\n\r\n"
                                                   "[HKEY_LOCAL_MACHINE\\X]\r\n"
                                                   "\"Port\"=dword:0000000A\r\n")
                                     << "Port" << int(T::Dword) << QVariant(10u);
    QTest::newRow("utf-8 mark") << QByteArray("\xEF\xBB\xBF\"A\"=\"Б\"\n") << "A" << int(T::String)
                                << QVariant("Б");
    QTest::newRow("regedit utf-16") << QByteArray("\xFF\xFE\"\0A\0\"\0=\0d\0w\0o\0r\0d\0:\0"
                                                  "0\0"
                                                  "0\0"
                                                  "0\0"
                                                  "0\0"
                                                  "0\0"
                                                  "0\0"
                                                  "0\0"
                                                  "2\0\n\0",
                                                  2 + 2 * 19)
                                    << "A" << int(T::Dword) << QVariant(2u);
    QTest::newRow("comment and blank lines")
        << QByteArray("; note\n\n\"A\"=dword:00000001\n\n") << "A" << int(T::Dword) << QVariant(1u);
    QTest::newRow("continued hex") << QByteArray("\"B\"=hex:01,02,\\\n  03\n") << "B"
                                   << int(T::Binary) << QVariant(QByteArray("\1\2\3"));
    QTest::newRow("empty hex") << QByteArray("\"B\"=hex:\n") << "B" << int(T::Binary)
                               << QVariant(QByteArray());
    QTest::newRow("hex string cut at nul")
        << QByteArray("\"S\"=hex(1):41,00,00,00,42,00\n") << "S" << int(T::String) << QVariant("A");
    QTest::newRow("hex dword") << QByteArray("\"D\"=hex(4):01,01,00,00\n") << "D" << int(T::Dword)
                               << QVariant(257u);
    QTest::newRow("other type kept") << QByteArray("\"E\"=hex(2):41,00,00,00\n") << "E"
                                     << int(T::Other) << QVariant(QByteArray("A\0\0\0", 4));
    QTest::newRow("last of two wins") << QByteArray("\"A\"=dword:00000001\n\"A\"=dword:00000002\n")
                                      << "A" << int(T::Dword) << QVariant(2u);
    QTest::newRow("escaped name") << QByteArray("\"a\\\"b\"=\"\"\n") << "a\"b" << int(T::String)
                                  << QVariant("");
}

void TestRegistryStore::acceptedText() {
    QFETCH(QByteArray, text);
    QFETCH(QString, name);
    QFETCH(int, type);
    QFETCH(QVariant, value);
    const auto parsed = RegistryText::parse(text);
    QVERIFY(parsed);
    const RegistryValue* v = parsed->find(name);
    QVERIFY(v);
    QCOMPARE(int(v->type), type);
    switch (v->type) {
    case RegistryValue::Type::Dword:
        QCOMPARE(v->dword, value.toUInt());
        break;
    case RegistryValue::Type::String:
        QCOMPARE(v->text, value.toString());
        break;
    default:
        QCOMPARE(v->bytes, value.toByteArray());
    }
    // What is read is written back in a form that reads the same.
    const auto again = RegistryText::parse(RegistryText::format(*parsed));
    QVERIFY(again);
    QCOMPARE(again->values, parsed->values);
}

void TestRegistryStore::wrongKindIsRefused_data() {
    QTest::addColumn<int>("kind");
    QTest::addColumn<QByteArray>("stored");
    using K = TRegistryValueType;
    QTest::newRow("integer from string") << int(K::rvtInteger) << QByteArray("\"7\"");
    QTest::newRow("integer from binary") << int(K::rvtInteger) << QByteArray("hex:07,00,00,00");
    QTest::newRow("boolean from string") << int(K::rvtBoolean) << QByteArray("\"1\"");
    QTest::newRow("float from dword") << int(K::rvtFloat) << QByteArray("dword:00000001");
    QTest::newRow("float of 4 bytes") << int(K::rvtFloat) << QByteArray("hex:00,00,80,3f");
    QTest::newRow("date of 9 bytes")
        << int(K::rvtDate) << QByteArray("hex:00,00,00,00,00,00,f0,3f,00");
    QTest::newRow("string from dword") << int(K::rvtString) << QByteArray("dword:00000001");
    QTest::newRow("file from expand string")
        << int(K::rvtFileName) << QByteArray("hex(2):41,00,00,00");
}

// A value of the wrong kind ends the load: values before it are read, values after it are
// neither read nor flagged.
void TestRegistryStore::wrongKindIsRefused() {
    QFETCH(int, kind);
    QFETCH(QByteArray, stored);
    TempConfigHome home;
    writeFile(home.path() + "/Test/Kinds.reg",
              "\"Before\"=dword:00000005\n\"Value\"=" + stored + "\n\"After\"=dword:00000009\n");
    QObject owner;
    auto* container = new TDataContainer(&owner);
    container->setRegPath("Test\\Kinds");
    auto* missing = new TRegInteger(&owner, "Missing");
    auto* before = new TRegInteger(&owner, "Before");
    auto* value =
        new GenericRegValue(&owner, "Value", static_cast<TRegistryValueType>(kind), QVariant());
    auto* after = new TRegInteger(&owner, "After");
    container->RegisterValues();
    int applied = 0;
    container->OnUpdateResource = [&](bool) { ++applied; };
    container->Load();
    QVERIFY(missing->Modified());
    QCOMPARE(before->Value(), 5);
    QVERIFY(!value->variantValue().isValid());
    QCOMPARE(after->Value(), 0);
    QVERIFY(!after->Modified());
    QCOMPARE(applied, 0);
}

void TestRegistryStore::foreignValuesSurviveASave() {
    TempConfigHome home;
    const QString file = home.path() + "/Test/Kinds.reg";
    writeFile(file, "\"Foreign\"=hex(7):41,00,00,00,00,00\n\"Value\"=dword:00000001\n"
                    "\"Other\"=\"kept\"\n");
    OneValueModule m(TRegistryValueType::rvtInteger, 0);
    m.container->Load();
    QCOMPARE(m.value->variantValue(), QVariant(1));
    m.value->setVariantValue(2);
    m.container->Save();
    const auto parsed = RegistryText::parse(readFile(file));
    QVERIFY(parsed);
    QCOMPARE(parsed->values.size(), 3);
    QCOMPARE(parsed->values[0].first, QString("Foreign"));
    QCOMPARE(parsed->values[0].second.otherType, 7);
    QCOMPARE(parsed->values[1].second.dword, 2u);
    QCOMPARE(parsed->find("Other")->text, QString("kept"));
}

void TestRegistryStore::atomicWrite() {
    TempConfigHome home;
    const QString dir = home.path() + "/Test";
    OneValueModule m(TRegistryValueType::rvtString, "first");
    m.container->Load();
    m.container->Save();
    QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"Kinds.reg"});

    // A store reached through a link stays a link; the file it names is replaced.
    const QString real = home.path() + "/real.reg";
    QVERIFY(QFile::rename(dir + "/Kinds.reg", real));
    QVERIFY(QFile::link(real, dir + "/Kinds.reg"));
    m.value->setVariantValue("second");
    m.container->Save();
    QVERIFY(QFileInfo(dir + "/Kinds.reg").isSymLink());
    QVERIFY(readFile(real).contains("\"Value\"=\"second\""));
    QCOMPARE(QDir(dir).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"Kinds.reg"});
    QCOMPARE(QDir(home.path()).entryList(QStringList{".real*"}, QDir::Files | QDir::Hidden),
             QStringList());
}

void TestRegistryStore::failedWriteKeepsFlags() {
    TempConfigHome home;
    // The key's file is a folder: nothing can be written, nothing is lost.
    QVERIFY(QDir().mkpath(home.path() + "/Test/Kinds.reg"));
    OneValueModule m(TRegistryValueType::rvtInteger, 1);
    m.container->Load();
    m.value->setVariantValue(2);
    m.container->Save();
    QVERIFY(m.value->Modified());
    QCOMPARE(QDir(home.path() + "/Test")
                 .entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"Kinds.reg"});
    QVERIFY(QDir().rmdir(home.path() + "/Test/Kinds.reg"));
    m.container->Save();
    QVERIFY(!m.value->Modified());
    QVERIFY(readFile(home.path() + "/Test/Kinds.reg").contains("\"Value\"=dword:00000002"));
}

QTEST_GUILESS_MAIN(TestRegistryStore)
#include "tst_RegistryStore.moc"
