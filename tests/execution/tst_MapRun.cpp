// The run model of map execution without a window: spaces and addresses built from a map, the
// poll tick and its counters, the save to flash, value and offset texts, plotted values and the
// text-to-value rules.

#include "comm/ModbusSpace.h"
#include "execution/MapRun.h"
#include "execution/ValueText.h"

#include "ChannelMaps.h"
#include "FakeModbusTransport.h"
#include "ScriptedPrompter.h"

#include <QLocale>
#include <QtTest>
#include <cstring>

using namespace zorvan;
using zorvan::test::channelMap;
using zorvan::test::FakeModbusTransport;
using zorvan::test::ScriptedPrompter;

namespace {

using T = TModbusParamType;
using B = TModbusParamByteOrder;

// A parameter alone in a space of its own, for the text rules.
struct Single {
    TModbusSpace space;
    TModbusParameter parameter;
    explicit Single(T type, quint16 base = 16384) {
        space.setReadInterval(0);
        space.setBaseAddress(base);
        parameter.setParamType(type);
        parameter.setFloatMask("0.000");
        parameter.setModbusSpace(&space);
    }
    void setRaw(quint32 value) {
        if (RegistersOf(parameter.ParamType()) == 2)
            parameter.Data()->setAsDWord(value);
        else
            parameter.Data()->setAsWord(value);
        parameter.setModified(false);
    }
    quint32 raw() const {
        return RegistersOf(parameter.ParamType()) == 2 ? parameter.Data()->AsDWord()
                                                       : parameter.Data()->AsWord();
    }
};

quint32 floatBits(float f) {
    quint32 bits;
    std::memcpy(&bits, &f, sizeof bits);
    return bits;
}

// Restores the default locale when a case changed it.
struct LocaleScope {
    QLocale saved;
    explicit LocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(saved); }
};

} // namespace

class tst_MapRun : public QObject {
    Q_OBJECT
private slots:
    void spacesFromMap_data();
    void spacesFromMap();
    void parameterOfChannel();
    void byteOrders_data();
    void byteOrders();
    void fullCycleEveryThirdTick();
    void failedPollsCounted();
    void flashRequest_data();
    void flashRequest();
    void valueTexts_data();
    void valueTexts();
    void offsetTexts_data();
    void offsetTexts();
    void setFromText_data();
    void setFromText();
    void setPrmValueSetsAll();
};

void tst_MapRun::spacesFromMap_data() {
    QTest::addColumn<QList<int>>("types");
    QTest::addColumn<QList<int>>("sizes"); // parameters per space
    QTest::addColumn<QList<int>>("bases");
    QTest::addColumn<QList<int>>("registers");

    QTest::newRow("45 Int") << QList<int>(45, 0) << QList<int>{20, 20, 5}
                            << QList<int>{16384, 16404, 16424} << QList<int>{20, 20, 5};
    QTest::newRow("45 Float") << QList<int>(45, 4) << QList<int>{20, 20, 5}
                              << QList<int>{16384, 16424, 16464} << QList<int>{40, 40, 10};
    QList<int> mixed;
    for (int i = 0; i < 45; ++i)
        mixed << i % 5;
    // Per 5 channels: 1 + 1 + 2 + 2 + 2 = 8 registers, so 20 channels take 32.
    QTest::newRow("45 mixed") << mixed << QList<int>{20, 20, 5} << QList<int>{16384, 16416, 16448}
                              << QList<int>{32, 32, 8};
    QTest::newRow("exactly 20") << QList<int>(20, 1) << QList<int>{20} << QList<int>{16384}
                                << QList<int>{20};
    QTest::newRow("21") << QList<int>(21, 2) << QList<int>{20, 1} << QList<int>{16384, 16424}
                        << QList<int>{40, 2};
    // Unknown type codes take no register and no place in a space.
    QList<int> withUnknown = QList<int>(20, 0);
    withUnknown.insert(3, 5);
    withUnknown.insert(10, -1);
    withUnknown << 65535 << 4;
    QTest::newRow("unknown types skipped")
        << withUnknown << QList<int>{20, 1} << QList<int>{16384, 16404} << QList<int>{20, 2};
    QTest::newRow("only unknown types")
        << QList<int>{5, 6, -3} << QList<int>{} << QList<int>{} << QList<int>{};
    QTest::newRow("empty map") << QList<int>{} << QList<int>{} << QList<int>{} << QList<int>{};
}

void tst_MapRun::spacesFromMap() {
    QFETCH(QList<int>, types);
    QFETCH(QList<int>, sizes);
    QFETCH(QList<int>, bases);
    QFETCH(QList<int>, registers);

    auto image = channelMap(types);
    // The document's base address is not what the device serves from.
    image->BaseAdr = 100;
    FakeModbusTransport transport;
    TMapRun run(*image, &transport, 7);

    QCOMPARE(run.SpaceCount(), sizes.size());
    QCOMPARE(run.IsEmpty(), sizes.isEmpty());
    int total = 0;
    for (int s = 0; s < run.SpaceCount(); ++s) {
        TModbusSpace& space = *run.Spaces()[std::size_t(s)];
        QCOMPARE(space.Params().Count(), sizes[s]);
        QCOMPARE(int(space.BaseAddress()), bases[s]);
        QCOMPARE(int(space.RegisterCount()), registers[s]);
        QCOMPARE(int(space.DeviceAddress()), 7);
        QCOMPARE(space.ModbusTransport(), &transport);
        QVERIFY(space.RefreshIAC());
        // Indices count from 0 within each space.
        for (int p = 0; p < space.Params().Count(); ++p)
            QCOMPARE(int(space.Params().Items(p)->Index()), p);
        total += sizes[s];
    }
    QCOMPARE(int(run.Parameters().size()), total);
    // Map order is kept across spaces: channel numbers ascend as the map gave them.
    for (int i = 1; i < total; ++i)
        QVERIFY(run.ChannelOf(i) > run.ChannelOf(i - 1));
}

void tst_MapRun::parameterOfChannel() {
    auto image = channelMap(QList<int>{0, 1, 2, 3, 4, 9});
    image->Map()->Items(4)->TagName = "PRESSURE";
    TMapRun run(*image, nullptr, 1);
    const QList<T> expected{T::mptI16, T::mptWord, T::mptInteger, T::mptInteger, T::mptSingle};
    QCOMPARE(int(run.Parameters().size()), expected.size());
    for (int i = 0; i < expected.size(); ++i) {
        const TModbusParameter& p = *run.Parameters()[std::size_t(i)];
        QCOMPARE(p.ParamType(), expected[i]);
        QCOMPARE(p.FloatMask(), QString("0.000"));
        QCOMPARE(p.Access(), TModbusParamAccess::mpaReadWrite);
        QCOMPARE(p.UserData(), static_cast<void*>(image->Map()->Items(i)));
        QCOMPARE(run.ChannelOf(i), 10 + i);
    }
    QCOMPARE(run.Parameters()[4]->Description(), QString("PRESSURE"));
}

void tst_MapRun::byteOrders_data() {
    QTest::addColumn<quint32>("options");
    QTest::addColumn<B>("twoRegister");
    QTest::addColumn<B>("oneRegister");
    QTest::newRow("0") << 0u << B::mbo3210 << B::mbo3210;
    QTest::newRow("1") << 1u << B::mbo0123 << B::mbo3210;
    QTest::newRow("2") << 2u << B::mbo1032 << B::mbo3210;
    QTest::newRow("3") << 3u << B::mbo2301 << B::mbo3210;
    QTest::newRow("4") << 4u << B::mbo3210 << B::mbo0123;
    QTest::newRow("5 (w:01 - dw:0123)") << 5u << B::mbo0123 << B::mbo0123;
    QTest::newRow("7") << 7u << B::mbo2301 << B::mbo0123;
    // Only bits 0-2 count.
    QTest::newRow("0xFFFFFFF9") << 0xFFFFFFF9u << B::mbo0123 << B::mbo3210;
}

void tst_MapRun::byteOrders() {
    QFETCH(quint32, options);
    QFETCH(B, twoRegister);
    QFETCH(B, oneRegister);
    TMapRun run(*channelMap(QList<int>{0, 1, 2, 3, 4}, options), nullptr, 1);
    const QList<B> expected{oneRegister, oneRegister, twoRegister, twoRegister, twoRegister};
    for (int i = 0; i < expected.size(); ++i)
        QCOMPARE(run.Parameters()[std::size_t(i)]->ByteOrder(), expected[i]);
}

void tst_MapRun::fullCycleEveryThirdTick() {
    auto image = channelMap(45, 0);
    FakeModbusTransport device;
    for (int i = 0; i < 45; ++i)
        device.registers[quint16(16384 + i)] = quint16(100 + i);
    TMapRun run(*image, &device, 1);
    QStringList seen; // the last parameter's value text at each update
    run.OnUpdateValues = [&] { seen << ValueText(*run.Parameters().back()); };

    for (int tick = 1; tick <= 6; ++tick) {
        run.Tick();
        QCOMPARE(run.RequestCount, tick);
        QCOMPARE(run.CurrentSpace, (tick - 1) % 3 + 1);
        QCOMPARE(seen.size(), tick / 3);
    }
    QCOMPARE(device.described(), QStringList({"R 16384 20", "R 16404 20", "R 16424 5", "R 16384 20",
                                              "R 16404 20", "R 16424 5"}));
    QCOMPARE(seen, QStringList({"144", "144"}));
    QCOMPARE(run.ErrorCount, 0);
    QVERIFY(!run.InTick());

    // A new start polls from the first space again.
    run.Tick();
    run.ResetCounters();
    QCOMPARE(run.RequestCount, 0);
    run.Tick();
    QCOMPARE(device.described().last(), QString("R 16384 20"));
}

void tst_MapRun::failedPollsCounted() {
    auto image = channelMap(25, 2);
    FakeModbusTransport device;
    device.registers[16424] = 0x1234;
    device.registers[16425] = 0x5678;
    TMapRun run(*image, &device, 1);
    int updates = 0;
    run.OnUpdateValues = [&] { ++updates; };
    // The write of the first tick and the read of the second get no reply: the set value stays
    // pending and goes out again with the next refresh of its space.
    device.silentAt = {0, 1};
    run.Parameters()[0]->Data()->setAsDWord(42);
    run.Tick();
    QCOMPARE(run.ErrorCount, 1);
    QVERIFY(run.Parameters()[0]->Modified());
    run.Tick();
    QCOMPARE(run.ErrorCount, 2);
    QCOMPARE(updates, 0);
    run.Tick(); // first space again
    run.Tick(); // second space: a complete cycle
    QCOMPARE(run.RequestCount, 4);
    QCOMPARE(run.ErrorCount, 2);
    QCOMPARE(updates, 1);
    QCOMPARE(ValueText(*run.Parameters()[20]), QString::number(0x12345678));
    QCOMPARE(device.registers[16384], quint16(0));
    QCOMPARE(device.registers[16385], quint16(42));
    QVERIFY(!run.Parameters()[0]->Modified());
    QCOMPARE(device.described(),
             QStringList({"W 16384 2", "R 16424 10", "W 16384 2", "R 16384 40", "R 16424 10"}));
}

void tst_MapRun::flashRequest_data() {
    QTest::addColumn<bool>("deviceTakesIt");
    QTest::addColumn<QString>("message");
    QTest::newRow("saved") << true << "Данные сохранены";
    QTest::newRow("failed") << false << "Ошибка при сохранении настроек";
}

void tst_MapRun::flashRequest() {
    QFETCH(bool, deviceTakesIt);
    QFETCH(QString, message);
    ScriptedPrompter prompter;
    FakeModbusTransport device;
    TMapRun run(*channelMap(3, 4), &device, 1);
    QStringList order;
    run.OnSaveToFlash = [&] {
        order << "flash";
        return deviceTakesIt;
    };
    run.OnUpdateValues = [&] { order << "values"; };
    run.FlashRequest = true;
    run.Tick();
    // The save comes first, then the poll of the same tick.
    QCOMPARE(order, QStringList({"flash", "values"}));
    QCOMPARE(prompter.messages(), QStringList{message});
    QVERIFY(!run.FlashRequest);
    QCOMPARE(run.RequestCount, 1);
    run.Tick();
    QCOMPARE(order.count("flash"), 1);
    QCOMPARE(prompter.messages().size(), 1);

    // Without a save handler the request fails with the message, polling goes on.
    TMapRun bare(*channelMap(1, 4), &device, 1);
    bare.FlashRequest = true;
    bare.Tick();
    QCOMPARE(prompter.messages().last(), QString("Ошибка при сохранении настроек"));
    QCOMPARE(bare.RequestCount, 1);
}

void tst_MapRun::valueTexts_data() {
    QTest::addColumn<T>("type");
    QTest::addColumn<quint32>("raw");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("plotted");

    QTest::newRow("Long -1 shown signed, plotted unsigned") << T::mptInteger << 0xFFFFFFFFu << "C"
                                                            << "-1" << 4294967295.0;
    QTest::newRow("Long min") << T::mptInteger << 0x80000000u << "C"
                              << "-2147483648" << 2147483648.0;
    QTest::newRow("Word unsigned") << T::mptWord << 0xFFFFu << "C"
                                   << "65535" << 65535.0;
    QTest::newRow("I16 signed") << T::mptI16 << 0xFFFFu << "C"
                                << "-1" << -1.0;
    QTest::newRow("I16 min") << T::mptI16 << 0x8000u << "C"
                             << "-32768" << -32768.0;
    QTest::newRow("Float 12.5, comma locale") << T::mptSingle << floatBits(12.5f) << "de_DE"
                                              << "12.500" << 12.5;
    QTest::newRow("Float rounds to mask") << T::mptSingle << floatBits(-0.0004f) << "ru_RU"
                                          << "0.000" << double(-0.0004f);
    QTest::newRow("Float thousands, comma locale")
        << T::mptSingle << floatBits(1234.5678f) << "de_DE"
        << "1234.568" << double(1234.5678f);
}

void tst_MapRun::valueTexts() {
    QFETCH(T, type);
    QFETCH(quint32, raw);
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(double, plotted);
    LocaleScope scope{QLocale(locale)};
    // In every byte order the same value shows the same text.
    for (int order = 0; order < 4; ++order) {
        Single s(type);
        s.parameter.setByteOrder(B(order));
        s.setRaw(raw);
        QCOMPARE(ValueText(s.parameter), text);
        QCOMPARE(PlotValue(s.parameter), plotted);
    }
}

void tst_MapRun::offsetTexts_data() {
    QTest::addColumn<QList<int>>("types");
    QTest::addColumn<QStringList>("offsets");
    QTest::newRow("Int Float UInt")
        << QList<int>{0, 4, 1} << QStringList{"4000", "4001/4002", "4003"};
    QTest::newRow("Long ULong Int")
        << QList<int>{2, 3, 0} << QStringList{"4000/4001", "4002/4003", "4004"};
    QTest::newRow("upper case") << QList<int>(6, 4)
                                << QStringList{"4000/4001", "4002/4003", "4004/4005",
                                               "4006/4007", "4008/4009", "400A/400B"};
    // The second space goes on where the first ended (20 Float take 40 registers).
    QList<int> across(20, 4);
    across << 0 << 3;
    QStringList acrossOffsets(20, QString());
    acrossOffsets << "4028"
                  << "4029/402A";
    QTest::newRow("across spaces") << across << acrossOffsets;
}

void tst_MapRun::offsetTexts() {
    QFETCH(QList<int>, types);
    QFETCH(QStringList, offsets);
    TMapRun run(*channelMap(types), nullptr, 1);
    QStringList texts;
    for (const TModbusParameter* p : run.Parameters())
        texts << OffsetText(*p);
    QCOMPARE(texts.size(), offsets.size());
    // Empty entries are not checked.
    for (int i = 0; i < texts.size(); ++i)
        if (!offsets[i].isEmpty())
            QCOMPARE(texts[i], offsets[i]);

    // At least two digits for low addresses.
    Single low(T::mptWord, 0x0A);
    QCOMPARE(OffsetText(low.parameter), QString("0A"));
    Single lowPair(T::mptSingle, 0x0F);
    QCOMPARE(OffsetText(lowPair.parameter), QString("0F/10"));
}

void tst_MapRun::setFromText_data() {
    QTest::addColumn<T>("type");
    QTest::addColumn<QString>("locale");
    QTest::addColumn<quint32>("before");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("taken");
    QTest::addColumn<quint32>("after");

    const quint32 f0 = floatBits(3.0f);
    QTest::newRow("Float with point, comma locale")
        << T::mptSingle << "de_DE" << f0 << "12.5" << true << floatBits(12.5f);
    QTest::newRow("Float with comma, comma locale")
        << T::mptSingle << "de_DE" << f0 << "12,5" << true << floatBits(12.5f);
    QTest::newRow("Float with point, C locale")
        << T::mptSingle << "C" << f0 << "-0.25" << true << floatBits(-0.25f);
    QTest::newRow("Float abc gives 0") << T::mptSingle << "de_DE" << f0 << "abc" << true << 0u;
    QTest::newRow("Float empty gives 0") << T::mptSingle << "C" << f0 << "" << true << 0u;
    QTest::newRow("Long negative") << T::mptInteger << "C" << 5u << "-2" << true << 0xFFFFFFFEu;
    QTest::newRow("Long max") << T::mptInteger << "C" << 5u << "2147483647" << true << 0x7FFFFFFFu;
    QTest::newRow("Long out of range ignored")
        << T::mptInteger << "C" << 5u << "2147483648" << false << 5u;
    QTest::newRow("Long non-integer ignored")
        << T::mptInteger << "de_DE" << 5u << "1,5" << false << 5u;
    QTest::newRow("Long abc ignored") << T::mptInteger << "C" << 5u << "abc" << false << 5u;
    QTest::newRow("Long blanks around") << T::mptInteger << "C" << 5u << " 42 " << true << 42u;
    QTest::newRow("Word low 16 bits") << T::mptWord << "C" << 5u << "70000" << true << 4464u;
    QTest::newRow("Word negative") << T::mptWord << "C" << 5u << "-1" << true << 0xFFFFu;
    QTest::newRow("Word decimal ignored") << T::mptWord << "C" << 5u << "1.0" << false << 5u;
    QTest::newRow("I16 negative") << T::mptI16 << "C" << 5u << "-32768" << true << 0x8000u;
    QTest::newRow("I16 hex ignored") << T::mptI16 << "C" << 5u << "0x10" << false << 5u;
    QTest::newRow("I16 empty ignored") << T::mptI16 << "C" << 5u << "" << false << 5u;
}

void tst_MapRun::setFromText() {
    QFETCH(T, type);
    QFETCH(QString, locale);
    QFETCH(quint32, before);
    QFETCH(QString, text);
    QFETCH(bool, taken);
    QFETCH(quint32, after);
    LocaleScope scope{QLocale(locale)};
    Single s(type);
    s.parameter.setByteOrder(B::mbo1032);
    s.setRaw(before);
    QCOMPARE(SetValueFromText(s.parameter, text), taken);
    QCOMPARE(s.raw(), after);
    // Only a change is sent to the device.
    QCOMPARE(s.parameter.Modified(), after != before);
}

void tst_MapRun::setPrmValueSetsAll() {
    Single a(T::mptSingle), b(T::mptWord), c(T::mptInteger), readOnly(T::mptWord);
    readOnly.parameter.setAccess(TModbusParamAccess::mpaReadOnly);
    {
        TSetPrmValue setter;
        for (Single* s : {&a, &b, &c, &readOnly})
            setter.Params.Add(&s->parameter);
        QCOMPARE(setter.SetValue("7"), 3);
    }
    QCOMPARE(a.parameter.Data()->AsSingle(), 7.0f);
    QCOMPARE(b.raw(), 7u);
    QCOMPARE(c.raw(), 7u);
    QCOMPARE(readOnly.raw(), 0u);
    QVERIFY(!readOnly.parameter.Modified());

    TSetPrmValue none;
    QCOMPARE(none.SetValue("9"), 0);
    // The setter referred to the parameters; they outlive it untouched.
    QCOMPARE(b.raw(), 7u);
}

QTEST_GUILESS_MAIN(tst_MapRun)
#include "tst_MapRun.moc"
