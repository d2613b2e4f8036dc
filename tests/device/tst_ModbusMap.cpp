// The device connection module: the map-control registers as the device sees them, the
// communication options, the name decoding and the flash request.

#include "components/ConfigPaths.h"
#include "device/Cp1251.h"
#include "device/ModbusMap.h"
#include "settings/AppOptions.h"

#include "MapControlFrames.h"
#include "PtyPeer.h"
#include "TempConfigHome.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTest>
#include <memory>

using namespace zorvan;
using zorvan::test::DeviceFrames;
using zorvan::test::PtyPeer;
using zorvan::test::TempConfigHome;

namespace {

// A connection module built alone on fresh settings.
struct Module {
    TempConfigHome home;
    std::unique_ptr<TOptions> options;
    std::unique_ptr<TModbusMapConn> conn;

    Module() {
        options = std::make_unique<TOptions>();
        options->setSaveOnDestroy(false);
        conn = std::make_unique<TModbusMapConn>(*options);
    }
};

TModbusParameter* parameterNamed(TModbusMapConn& c, const QString& name) {
    const std::pair<const char*, TModbusParameter*> all[] = {
        {"BaseAddress", &c.BaseAddress},
        {"TagIndex", &c.TagIndex},
        {"Action", &c.Action},
        {"Error", &c.Error},
        {"ZorvanOptions", &c.ZorvanOptions},
        {"Channel", &c.Channel},
        {"TagType", &c.TagType},
        {"Name1234", &c.Name1234},
        {"Name5678", &c.Name5678},
        {"Name9ABC", &c.Name9ABC},
        {"prmCurrMapTagCount", &c.prmCurrMapTagCount},
        {"prmCurrMapTagIndex", &c.prmCurrMapTagIndex},
        {"SaveToFlash", &c.SaveToFlash},
    };
    for (const auto& [n, p] : all)
        if (name == QLatin1String(n))
            return p;
    return nullptr;
}

QString spaceName(TModbusMapConn& c, const TModbusSpace* s) {
    if (s == &c.ZorvanSpace)
        return "ZorvanSpace";
    if (s == &c.ZorvanSpaceAdd)
        return "ZorvanSpaceAdd";
    if (s == &c.Space1)
        return "Space1";
    return "none";
}

} // namespace

class TestModbusMap : public QObject {
    Q_OBJECT
private slots:
    void registers_data();
    void registers();
    void spaces();
    void applyOptions_data();
    void applyOptions();
    void deviceAddressReachesDeviceSpacesOnly_data();
    void deviceAddressReachesDeviceSpacesOnly();
    void framesOnTheLine();
    void dwordToText_data();
    void dwordToText();
    void tagNameFromRegisters();
    void codePageIsOneToOne();
};

void TestModbusMap::registers_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("space");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("type");
    QTest::addColumn<int>("access");
    QTest::addColumn<QString>("description");

    const int word = int(TModbusParamType::mptWord);
    const int integer = int(TModbusParamType::mptInteger);
    const int rw = int(TModbusParamAccess::mpaReadWrite);
    const QString start = QStringLiteral("Старт");
    QTest::newRow("BaseAddress") << "BaseAddress"
                                 << "ZorvanSpace" << 12288 << word << rw << start;
    QTest::newRow("TagIndex") << "TagIndex"
                              << "ZorvanSpace" << 12289 << word << rw << start;
    QTest::newRow("Action") << "Action"
                            << "ZorvanSpace" << 12290 << word << rw << start;
    QTest::newRow("Error") << "Error"
                           << "ZorvanSpace" << 12291 << word << rw << start;
    QTest::newRow("ZorvanOptions") << "ZorvanOptions"
                                   << "ZorvanSpace" << 12292 << integer << rw << start;
    QTest::newRow("Channel") << "Channel"
                             << "ZorvanSpace" << 12294 << word << rw << start;
    QTest::newRow("TagType") << "TagType"
                             << "ZorvanSpace" << 12295 << word << rw << start;
    QTest::newRow("Name1234") << "Name1234"
                              << "ZorvanSpace" << 12296 << integer << rw << start;
    QTest::newRow("Name5678") << "Name5678"
                              << "ZorvanSpace" << 12298 << integer << rw << start;
    QTest::newRow("Name9ABC") << "Name9ABC"
                              << "ZorvanSpace" << 12300 << integer << rw << start;
    QTest::newRow("prmCurrMapTagCount") << "prmCurrMapTagCount"
                                        << "ZorvanSpaceAdd" << 12302 << word << rw
                                        << QStringLiteral("Количество тегов в текущей карте");
    QTest::newRow("prmCurrMapTagIndex") << "prmCurrMapTagIndex"
                                        << "ZorvanSpaceAdd" << 12303 << word << rw
                                        << QStringLiteral("Индекс тега из текущей карты");
    QTest::newRow("SaveToFlash") << "SaveToFlash"
                                 << "Space1" << 8 << integer
                                 << int(TModbusParamAccess::mpaWriteOnly) << QString();
}

void TestModbusMap::registers() {
    QFETCH(QString, name);
    QFETCH(QString, space);
    QFETCH(int, address);
    QFETCH(int, type);
    QFETCH(int, access);
    QFETCH(QString, description);
    Module m;
    TModbusParameter* p = parameterNamed(*m.conn, name);
    QVERIFY(p);
    QCOMPARE(spaceName(*m.conn, p->ModbusSpace()), space);
    QCOMPARE(int(p->RegisterAddress()), address);
    QCOMPARE(int(p->ParamType()), type);
    QCOMPARE(int(p->Access()), access);
    QCOMPARE(p->Description(), description);
    QCOMPARE(p->Description().toUtf8(), description.toUtf8());
    QCOMPARE(p->ByteOrder(), TModbusParamByteOrder::mbo3210);
    QCOMPARE(p->FloatMask(), QString("0.00"));
    QVERIFY(!p->Modified());
}

void TestModbusMap::spaces() {
    Module m;
    TModbusMapConn& c = *m.conn;
    struct Expect {
        TModbusSpace* space;
        int base, registers;
        bool refreshIAC, writeIAC, singleWrite, singleRead;
    };
    const Expect expected[] = {
        {&c.ZorvanSpace, 12288, 14, true, false, true, false},
        {&c.ZorvanSpaceAdd, 12302, 2, true, false, true, false},
        {&c.Space1, 8, 2, false, true, false, false},
    };
    for (const Expect& e : expected) {
        QCOMPARE(int(e.space->BaseAddress()), e.base);
        QCOMPARE(int(e.space->RegisterCount()), e.registers);
        QCOMPARE(e.space->RefreshIAC(), e.refreshIAC);
        QCOMPARE(e.space->WriteIAC(), e.writeIAC);
        QCOMPARE(e.space->SingleWriteMode(), e.singleWrite);
        QCOMPARE(e.space->SingleReadMode(), e.singleRead);
        QCOMPARE(e.space->ModbusTransport(), static_cast<TModbusTransport*>(&c.Transport));
        QCOMPARE(int(e.space->DeviceAddress()), 1);
    }
    QCOMPARE(c.Transport.Bus(), &c.PortDrv);
    // Polling is suspended once, for good.
    QCOMPARE(c.PortDrv.PollPause(), 1);
    QVERIFY(!c.PortDrv.IsOpen());
    QCOMPARE(ModbusMapConn(), m.conn.get());
}

void TestModbusMap::applyOptions_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<bool>("linked");
    QTest::addColumn<int>("rate");
    QTest::addColumn<int>("address");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<int>("bits");

    // -1: the settings' own start values (port 1, rate code 7, address 1, 50 ms).
    QTest::newRow("defaults") << -1 << false << -1 << -1 << -1 << 9600;
    QTest::newRow("defaults, COM1 linked") << -1 << true << -1 << -1 << -1 << 9600;
    QTest::newRow("COM4 115200 addr 17") << 4 << false << 13 << 17 << 300 << 115200;
    QTest::newRow("COM12 linked 110 addr 254") << 12 << true << 1 << 254 << 10 << 110;
}

void TestModbusMap::applyOptions() {
    QFETCH(int, port);
    QFETCH(bool, linked);
    QFETCH(int, rate);
    QFETCH(int, address);
    QFETCH(int, timeout);
    QFETCH(int, bits);
    Module m;
    TOptions& o = *m.options;
    if (port >= 0)
        QVERIFY(o.Port->setValue(port));
    if (rate >= 0)
        QVERIFY(o.Rate->setValue(rate));
    if (address >= 0)
        QVERIFY(o.regDeviceAddress->setValue(address));
    if (timeout >= 0)
        QVERIFY(o.regprmRxTimeout->setValue(timeout));
    const int n = port >= 0 ? port : 1;
    QString path = QString("/dev/ttyS%1").arg(n - 1);
    if (linked) {
        path = m.home.path() + "/device-" + QString::number(n);
        QFile target(path);
        QVERIFY(target.open(QIODevice::WriteOnly));
        QVERIFY(QDir().mkpath(portsFolder()));
        QVERIFY(QFile::link(path, portsFolder() + QString("/COM%1").arg(n)));
    }
    m.conn->ApplyOptions();
    const TModbusMapConn& c = *m.conn;
    QCOMPARE(int(c.PortDrv.Port()), n);
    QCOMPARE(c.PortDrv.PortName(), path);
    QCOMPARE(int(c.PortDrv.BaudRateValue()), bits);
    QCOMPARE(int(c.PortDrv.InputTimeout()), timeout >= 0 ? timeout : 50);
    QCOMPARE(int(c.ZorvanSpace.DeviceAddress()), address >= 0 ? address : 1);
    QCOMPARE(int(c.ZorvanSpaceAdd.DeviceAddress()), address >= 0 ? address : 1);
    QCOMPARE(int(c.Space1.DeviceAddress()), 1);
    // Applying again does not suspend polling a second time.
    QCOMPARE(c.PortDrv.PollPause(), 1);
}

void TestModbusMap::deviceAddressReachesDeviceSpacesOnly_data() {
    QTest::addColumn<int>("address");
    QTest::newRow("1") << 1;
    QTest::newRow("7") << 7;
    QTest::newRow("254") << 254;
}

void TestModbusMap::deviceAddressReachesDeviceSpacesOnly() {
    QFETCH(int, address);
    Module m;
    TModbusMapConn& c = *m.conn;
    QVERIFY(m.options->regDeviceAddress->setValue(address));
    c.ApplyOptions();
    c.PortDrv.setPortName(QString()); // replaced below by the peer's line

    PtyPeer peer;
    QVERIFY(peer.isValid());
    const DeviceFrames device{quint8(address)};
    const DeviceFrames first{1};
    QByteArray expected;
    expected += device.readBlock();
    peer.expect(device.readBlock()).send(device.readBlockReply({}));
    expected += device.readAdd();
    peer.expect(device.readAdd()).send(device.readAddReply(0, 0));
    expected += first.flash();
    peer.expect(first.flash()).send(first.flashReply());
    peer.start();

    c.PortDrv.setPortName(peer.slavePath());
    c.PortDrv.setInputTimeout(1000);
    QVERIFY(c.OpenLink());
    QVERIFY(c.ZorvanSpace.RefreshWithRetries());
    QVERIFY(c.ZorvanSpaceAdd.RefreshWithRetries());
    QVERIFY(c.StoreToFlash());
    c.CloseLink();
    QVERIFY(!c.PortDrv.IsOpen());
    QVERIFY(peer.wait());
    QCOMPARE(peer.failures(), QStringList());
    QCOMPARE(peer.received().toHex(' '), expected.toHex(' '));
}

void TestModbusMap::framesOnTheLine() {
    Module m;
    TModbusMapConn& c = *m.conn;
    PtyPeer peer;
    QVERIFY(peer.isValid());
    const QByteArray blockRead = PtyPeer::hex("01 03 30 00 00 0E CB 0E");
    const QByteArray addRead = PtyPeer::hex("01 03 30 0E 00 02");
    const QByteArray tagIndex5 = PtyPeer::hex("01 10 30 01 00 01 02 00 05 57 81");
    const QByteArray flash = PtyPeer::hex("01 10 00 08 00 02 04 00 00 00 01 33 C9");
    test::MapControlRegs regs;
    regs.tagIndex = 3;
    regs.error = 0;
    regs.options = 0x01020304;
    regs.channel = 0x1234;
    regs.tagType = 4;
    regs.name = QByteArray("TEMP1");
    peer.expect(blockRead).send(DeviceFrames().readBlockReply(regs));
    peer.expect(test::frames::withCrc(addRead)).send(DeviceFrames().readAddReply(9, 2));
    peer.expect(tagIndex5).send(DeviceFrames().writeWordReply(12289));
    peer.expect(flash).send(DeviceFrames().flashReply());
    // A second flash sends 1 again: the image went back to 0 after the first.
    peer.expect(flash).send(DeviceFrames().flashReply());
    peer.start();

    c.PortDrv.setPortName(peer.slavePath());
    c.PortDrv.setInputTimeout(1000);
    QVERIFY(c.OpenLink());
    QVERIFY(c.ZorvanSpace.RefreshWithRetries());
    QCOMPARE(int(c.TagIndex.Data()->AsWord()), 3);
    QCOMPARE(c.ZorvanOptions.Data()->AsDWord(), 0x01020304u);
    QCOMPARE(int(c.Channel.Data()->AsWord()), 0x1234);
    QCOMPARE(int(c.TagType.Data()->AsWord()), 4);
    QVERIFY(c.ZorvanSpaceAdd.RefreshWithRetries());
    QCOMPARE(int(c.prmCurrMapTagCount.Data()->AsWord()), 9);
    QCOMPARE(int(c.prmCurrMapTagIndex.Data()->AsWord()), 2);
    // Only the changed TagIndex goes out, one register.
    c.TagIndex.Data()->setAsWord(5);
    QVERIFY(c.ZorvanSpace.FlushWithRetries());
    QVERIFY(c.StoreToFlash());
    QCOMPARE(c.SaveToFlash.Data()->AsDWord(), 0u);
    QVERIFY(c.StoreToFlash());
    c.CloseLink();
    QVERIFY(peer.wait());
    QCOMPARE(peer.failures(), QStringList());
}

void TestModbusMap::dwordToText_data() {
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("ABCD") << 0x41424344u << "ABCD";
    QTest::newRow("zero bytes kept") << 0x41420000u << QString("AB") + QChar(0) + QChar(0);
    QTest::newRow("leading zero") << 0x00410042u << QString(QChar(0)) + "A" + QChar(0) + "B";
    QTest::newRow("all zero") << 0u << QString(4, QChar(0));
    QTest::newRow("Cyrillic") << 0xC4E0E2EBu << QStringLiteral("Давл");
    QTest::newRow("Yo, No, yo, ya") << 0xA8B9B8FFu << QStringLiteral("Ё№ёя");
    QTest::newRow("Ukrainian") << 0xAAAFB2A5u << QStringLiteral("ЄЇІҐ");
    QTest::newRow("punctuation") << 0x8896A0B0u << QStringLiteral("€–\u00A0°");
    QTest::newRow("unassigned 0x98") << 0x98414243u << QString(QChar(0x98)) + "ABC";
}

void TestModbusMap::dwordToText() {
    QFETCH(quint32, value);
    QFETCH(QString, text);
    const QString got = DWordToText(value);
    QCOMPARE(got.size(), 4);
    QCOMPARE(got, text);
}

void TestModbusMap::tagNameFromRegisters() {
    Module m;
    TModbusMapConn& c = *m.conn;
    c.Name1234.Data()->setAsDWord(0x54454D50);
    c.Name5678.Data()->setAsDWord(0x31000000);
    c.Name9ABC.Data()->setAsDWord(0);
    const QString name = c.CurrentTagName();
    QCOMPARE(name.size(), 12);
    QCOMPARE(name, QString("TEMP1") + QString(7, QChar(0)));
    // A name of all 12 characters reads in wire order.
    c.Name1234.Data()->setAsDWord(0x54574546);
    c.Name5678.Data()->setAsDWord(0x4C564543);
    c.Name9ABC.Data()->setAsDWord(0x48415253);
    QCOMPARE(c.CurrentTagName(), QString("TWEFLVECHARS"));
}

void TestModbusMap::codePageIsOneToOne() {
    QSet<char16_t> seen;
    for (int b = 0; b < 256; ++b) {
        const QChar ch = Cp1251ToChar(quint8(b));
        QVERIFY2(!seen.contains(ch.unicode()), qPrintable(QString::number(b, 16)));
        seen.insert(ch.unicode());
        quint8 back = 0;
        QVERIFY(CharToCp1251(ch, &back));
        QCOMPARE(int(back), b);
    }
    QCOMPARE(Cp1251ToString(QByteArray::fromHex("cff0e8e2e5f2")), QStringLiteral("Привет"));
    quint8 none = 0;
    QVERIFY(!CharToCp1251(QChar(0x4E2D), &none));
}

QTEST_GUILESS_MAIN(TestModbusMap)
#include "tst_ModbusMap.moc"
