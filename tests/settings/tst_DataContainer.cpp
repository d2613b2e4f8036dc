#include "GenericRegValue.h"
#include "TempConfigHome.h"
#include "settings/DataContainer.h"
#include "settings/RegistryStore.h"
#include "settings/StandartStoreObjects.h"

#include <QFile>
#include <QtTest>

using namespace zorvan;
using zorvan::test::TempConfigHome;

namespace {

std::optional<RegistryKeyContents> readStore(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return RegistryText::parse(f.readAll());
}

// A module with an application info, a container and the values a test adds.
struct Module {
    QObject owner;
    TDCAppInfo* info = new TDCAppInfo(&owner, "Info");
    TDataContainer* container = new TDataContainer(&owner, "Container");
    Module() {
        info->setApplicationName("Probe");
        container->setDCAppInfo(info);
    }
    QString file(const TempConfigHome& home) const {
        return home.path() + "/Belmat/Probe/0/MainOptions.reg";
    }
};

} // namespace

class TestDataContainer : public QObject {
    Q_OBJECT
private slots:
    void integerLimits_data();
    void integerLimits();
    void defValueLimits_data();
    void defValueLimits();
    void onModifiedMayRefuse();
    void asString_data();
    void asString();
    void modifiedFlagRules();
    void loadDoesNotFlagWhatItReads();
    void changeDuringSaveWaitsForALaterSave();
    void updateResourceOrder();
    void nestedPassesAreRefused();
    void registration();
    void keyPath();
    void setDefaultsFlagsOnlyChanges();
};

void TestDataContainer::integerLimits_data() {
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("newValue");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("below") << 10 << 10000 << 5 << false;
    QTest::newRow("above") << 10 << 10000 << 20000 << false;
    QTest::newRow("lower edge") << 10 << 10000 << 10 << true;
    QTest::newRow("upper edge") << 10 << 10000 << 10000 << true;
    QTest::newRow("no limits") << 0 << 0 << -70000 << true;
    QTest::newRow("equal non-zero limits") << 5 << 5 << 123456 << true;
    QTest::newRow("inverted limits") << 10 << 5 << 7 << false;
}

void TestDataContainer::integerLimits() {
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, newValue);
    QFETCH(bool, accepted);
    Module m;
    auto* v = new TRegInteger(&m.owner, "V");
    v->setMinValue(min);
    v->setMaxValue(max);
    v->setValue(max > min ? min + 1 : 0);
    const int before = v->Value();
    m.container->RegisterValues();
    int asked = 0;
    v->OnModified = [&](int, bool&) { ++asked; };
    QCOMPARE(v->setValue(newValue), accepted);
    QCOMPARE(v->Value(), accepted ? newValue : before);
    QCOMPARE(v->Modified(), accepted);
    // Out of limits is refused before OnModified is asked.
    QCOMPARE(asked, accepted ? 1 : 0);
}

void TestDataContainer::defValueLimits_data() {
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::addColumn<int>("def");
    QTest::addColumn<int>("expected");
    QTest::newRow("inside") << 1 << 254 << 7 << 7;
    QTest::newRow("outside") << 1 << 254 << 0 << 3;
    QTest::newRow("no limits") << 0 << 0 << -9 << -9;
}

void TestDataContainer::defValueLimits() {
    QFETCH(int, min);
    QFETCH(int, max);
    QFETCH(int, def);
    QFETCH(int, expected);
    TRegInteger v;
    v.setMinValue(min);
    v.setMaxValue(max);
    QVERIFY(v.setDefValue(3));
    v.setDefValue(def);
    QCOMPARE(v.DefValue(), expected);
}

void TestDataContainer::onModifiedMayRefuse() {
    Module m;
    auto* v = new TRegInteger(&m.owner, "V");
    m.container->RegisterValues();
    QList<int> asked;
    v->OnModified = [&](int newValue, bool& canModified) {
        asked << newValue;
        canModified = newValue % 2 != 0;
    };
    QVERIFY(!v->setValue(4));
    QCOMPARE(v->Value(), 0);
    QVERIFY(!v->Modified());
    QVERIFY(v->setValue(5));
    QVERIFY(v->setValue(5)); // equal: nothing to ask
    QCOMPARE(v->Value(), 5);
    QCOMPARE(asked, (QList<int>{4, 5}));
    QVERIFY(v->Modified());
}

void TestDataContainer::asString_data() {
    QTest::addColumn<QString>("list"); // none, comport, baudrate, duplicates
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("plain") << "none" << -42 << "-42";
    QTest::newRow("plain zero") << "none" << 0 << "0";
    QTest::newRow("COM1") << "comport" << 1 << "COM1";
    QTest::newRow("COM255") << "comport" << 255 << "COM255";
    QTest::newRow("rate 1") << "baudrate" << 1 << "110";
    QTest::newRow("rate 7") << "baudrate" << 7 << "9600";
    QTest::newRow("rate 13") << "baudrate" << 13 << "115200";
    QTest::newRow("rate 15") << "baudrate" << 15 << "460800";
    QTest::newRow("rate 0 has no caption") << "baudrate" << 0 << "";
    QTest::newRow("last match wins") << "duplicates" << 2 << "second two";
    QTest::newRow("no match") << "duplicates" << 3 << "";
}

void TestDataContainer::asString() {
    QFETCH(QString, list);
    QFETCH(int, value);
    QFETCH(QString, text);
    std::unique_ptr<TRegInteger> v;
    if (list == "comport") {
        v = std::make_unique<TRegComport>();
        QCOMPARE(v->ValuesList().Count(), 255);
    } else if (list == "baudrate") {
        v = std::make_unique<TRegBaudrate>();
        QCOMPARE(v->ValuesList().Count(), 15);
    } else {
        v = std::make_unique<TRegInteger>();
        if (list == "duplicates") {
            v->ValuesList().Add("first two", 2);
            v->ValuesList().Add("one", 1);
            v->ValuesList().Add("second two", 2);
        }
    }
    v->setMinValue(0);
    v->setMaxValue(0);
    QVERIFY(v->setValue(value));
    QCOMPARE(v->AsString(), text);
    QCOMPARE(RegistryValueText(*v), text);
}

void TestDataContainer::modifiedFlagRules() {
    Module m;
    auto* i = new TRegInteger(&m.owner, "I");
    auto* b = new TRegBoolean(&m.owner, "B");
    auto* f = new TRegFile(&m.owner, "F");
    // Without a container nothing is flagged.
    i->setValue(3);
    b->setValue(true);
    f->setValue("x");
    QVERIFY(!i->Modified() && !b->Modified() && !f->Modified());
    m.container->RegisterValues();
    // Equal values change nothing.
    i->setValue(3);
    b->setValue(true);
    f->setValue("x");
    QVERIFY(!i->Modified() && !b->Modified() && !f->Modified());
    i->setValue(4);
    b->setValue(false);
    f->setValue("y");
    QVERIFY(i->Modified() && b->Modified() && f->Modified());
}

void TestDataContainer::loadDoesNotFlagWhatItReads() {
    TempConfigHome home;
    Module writer;
    auto* w = new TRegInteger(&writer.owner, "I");
    writer.container->RegisterValues();
    w->setValue(9);
    writer.container->Save();

    Module m;
    auto* i = new TRegInteger(&m.owner, "I");
    auto* missing = new TRegBoolean(&m.owner, "Missing");
    m.container->RegisterValues();
    // What the handlers apply while the values are loaded is not flagged either.
    bool applied = false;
    i->OnUpdateResource = [&](bool update) {
        applied = update;
        i->setValue(i->Value() + 1);
    };
    m.container->Load();
    QVERIFY(applied);
    QCOMPARE(i->Value(), 10);
    QVERIFY(!i->Modified());
    QVERIFY(missing->Modified());
}

void TestDataContainer::changeDuringSaveWaitsForALaterSave() {
    TempConfigHome home;
    Module m;
    auto* v = new TRegInteger(&m.owner, "V");
    auto* other = new TRegInteger(&m.owner, "Other");
    m.container->RegisterValues();
    v->setValue(1);
    other->setValue(1);
    m.container->Save();
    m.container->OnUpdateResource = [&](bool update) {
        if (!update)
            v->setValue(2);
    };
    other->setValue(2);
    m.container->Save();
    QCOMPARE(v->Value(), 2);
    QVERIFY(!v->Modified());
    auto stored = readStore(m.file(home));
    QVERIFY(stored);
    QCOMPARE(stored->find("V")->dword, 1u);

    m.container->OnUpdateResource = nullptr;
    other->setValue(5);
    m.container->Save(); // V did not change in the idle state: still not written
    QCOMPARE(readStore(m.file(home))->find("V")->dword, 1u);
    v->setValue(3);
    m.container->Save();
    stored = readStore(m.file(home));
    QCOMPARE(stored->find("V")->dword, 3u);
    QCOMPARE(stored->find("Other")->dword, 5u);
}

void TestDataContainer::updateResourceOrder() {
    Module m;
    QStringList calls;
    auto* a = new TRegInteger(&m.owner, "A");
    auto* b = new TRegBoolean(&m.owner, "B");
    m.container->RegisterValues();
    m.container->OnUpdateResource = [&](bool f) { calls << QString("container %1").arg(f); };
    a->OnUpdateResource = [&](bool f) { calls << QString("A %1").arg(f); };
    b->OnUpdateResource = [&](bool f) { calls << QString("B %1").arg(f); };
    m.container->FireUpdateResource(true);
    m.container->FireUpdateResource(false);
    QCOMPARE(calls, (QStringList{"container 1", "A 1", "B 1", "container 0", "A 0", "B 0"}));
}

void TestDataContainer::nestedPassesAreRefused() {
    TempConfigHome home;
    Module m;
    auto* v = new TRegInteger(&m.owner, "V");
    m.container->RegisterValues();
    QList<TDataContainerState> seen;
    m.container->OnUpdateResource = [&](bool) {
        seen << m.container->State();
        m.container->Save();
        m.container->Load();
    };
    m.container->Load();
    QVERIFY(!QFile::exists(m.file(home)));
    QVERIFY(v->Modified());
    m.container->Save();
    QCOMPARE(seen, (QList<TDataContainerState>{TDataContainerState::Loading,
                                               TDataContainerState::Saving}));
    QVERIFY(m.container->Idle());
    QVERIFY(!v->Modified());
}

void TestDataContainer::registration() {
    QObject owner;
    auto* container = new TDataContainer(&owner);
    auto* catA = new TRegValueCategory(&owner, "CatA");
    catA->setCaption("Alpha");
    auto* catB = new TRegValueCategory(&owner, "CatB");
    catB->setCaption("Beta");
    auto* catA2 = new TRegValueCategory(&owner, "CatA2");
    catA2->setCaption("Alpha");
    auto* unused = new TRegValueCategory(&owner, "Unused");
    unused->setCaption("Unused");
    auto* v1 = new TRegInteger(&owner, "V1");
    v1->setCategory(catB);
    auto* v2 = new TRegBoolean(&owner, "V2");
    auto* v3 = new TRegFile(&owner, "V3");
    v3->setCategory(catA2);
    auto* v4 = new TRegInteger(&owner, "V4");
    v4->setCategory(catA);
    new QObject(&owner); // not a setting
    auto* stranger = new TRegInteger(nullptr, "Stranger");
    container->RegisterValues();
    QCOMPARE(container->Items(), (QList<TRegistryValueShell*>{v1, v2, v3, v4}));
    QCOMPARE(container->Categories(), (QList<TRegValueCategory*>{catB, catA2}));
    for (auto* v : container->Items())
        QCOMPARE(v->Container(), container);
    QCOMPARE(stranger->Container(), nullptr);
    QCOMPARE(container->FindItem("V3"), v3);
    QCOMPARE(container->FindItem("v3"), nullptr);
    delete v2;
    QCOMPARE(container->Items().size(), 3);
    container->RegisterValues(); // registering again does not duplicate
    QCOMPARE(container->Items().size(), 3);
    delete stranger;
}

void TestDataContainer::keyPath() {
    TempConfigHome home;
    QObject owner;
    auto* container = new TDataContainer(&owner);
    auto* v = new TRegInteger(&owner, "V");
    container->RegisterValues();
    // Neither an application info nor a path: no key, so nothing is read, flagged or written.
    QCOMPARE(container->KeyPath(), QString());
    container->Load();
    QVERIFY(!v->Modified());

    auto* info = new TDCAppInfo(&owner);
    info->setFirmName("");
    info->setApplicationName("");
    info->setUserName("");
    QCOMPARE(info->FirmName(), QString("Belmat"));
    QCOMPARE(info->ApplicationName(), QString("Input_AppName"));
    QCOMPARE(info->UserName(), QString("DefUser"));
    container->setDCAppInfo(info);
    container->setRegistryKey("");
    QCOMPARE(container->KeyPath(), QString("\\Software\\Belmat\\Input_AppName\\0\\MainOptions"));
    container->setRegPath("Acme\\Other");
    QCOMPARE(container->KeyPath(), QString("Acme\\Other"));
    container->Load();
    v->setValue(6);
    container->Save();
    QCOMPARE(readStore(home.path() + "/Acme/Other.reg")->find("V")->dword, 6u);
    QVERIFY(!QFile::exists(home.path() + "/Belmat"));
}

void TestDataContainer::setDefaultsFlagsOnlyChanges() {
    Module m;
    auto* same = new TRegInteger(&m.owner, "Same");
    same->setDefValue(0);
    auto* changed = new TRegInteger(&m.owner, "Changed");
    changed->setValue(5);
    changed->setDefValue(2);
    auto* refused = new TRegInteger(&m.owner, "Refused");
    refused->setDefValue(8);
    refused->OnModified = [](int, bool& can) { can = false; };
    auto* b = new TRegBoolean(&m.owner, "B");
    b->setValue(true);
    m.container->RegisterValues();
    m.container->SetDefaults();
    QVERIFY(!same->Modified());
    QCOMPARE(changed->Value(), 2);
    QVERIFY(changed->Modified());
    QCOMPARE(refused->Value(), 0);
    QVERIFY(!refused->Modified());
    QCOMPARE(b->Value(), false);
    QVERIFY(b->Modified());
}

QTEST_GUILESS_MAIN(TestDataContainer)
#include "tst_DataContainer.moc"
