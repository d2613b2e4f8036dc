#include "comm/ModbusParameter.h"
#include "comm/ModbusSpace.h"

#include "FakeModbusTransport.h"

#include <QTest>
#include <memory>

using namespace zorvan;
using zorvan::test::FakeModbusTransport;

Q_DECLARE_METATYPE(zorvan::TModbusParamType)

namespace {

using ParamPtr = std::unique_ptr<TModbusParameter>;

ParamPtr makeParam(TModbusSpace* space, quint16 index, TModbusParamType type,
                   TModbusParamAccess access = TModbusParamAccess::mpaReadWrite) {
    auto p = std::make_unique<TModbusParameter>();
    p->setIndex(index);
    p->setParamType(type);
    p->setAccess(access);
    p->setModbusSpace(space);
    return p;
}

// A space on a fake device with parameters of the given types, indices 0, 1, 2...
struct Bench {
    FakeModbusTransport device;
    TModbusSpace space;
    std::vector<ParamPtr> params;
    int afterRefresh = 0;

    explicit Bench(const QList<TModbusParamType>& types, quint16 base = 12288) {
        space.setModbusTransport(&device);
        space.setBaseAddress(base);
        space.setReadInterval(0); // reads become due only when a test says so
        for (int i = 0; i < types.size(); ++i)
            params.push_back(makeParam(&space, quint16(i), types[i]));
        space.OnAfterRefresh = [this](TModbusSpace* sender) {
            QCOMPARE(sender, &space);
            ++afterRefresh;
        };
    }
};

const auto Word = TModbusParamType::mptWord;
const auto I16 = TModbusParamType::mptI16;
const auto Integer = TModbusParamType::mptInteger;
const auto Single = TModbusParamType::mptSingle;

} // namespace

class tst_ModbusSpace : public QObject {
    Q_OBJECT
private slots:
    void defaults();
    void layout_data();
    void layout();
    void unusableSpaceFails_data();
    void unusableSpaceFails();
    void readTimerMarksReadDue();
    void writePhase_data();
    void writePhase();
    void singleWriteFailureKeepsLaterModified();
    void blockWriteFailureKeepsAllModified();
    void readPhase_data();
    void readPhase();
    void failedReadLeavesImageAndClearsDue();
    void zeroRegisterRead();
    void retries_data();
    void retries();
    void parameterLifetime();
    void moveBetweenSpaces();
};

void tst_ModbusSpace::defaults() {
    TModbusSpace s;
    QCOMPARE(s.ModbusTransport(), nullptr);
    QCOMPARE(int(s.DeviceAddress()), 1);
    QCOMPARE(int(s.BaseAddress()), 4096);
    QCOMPARE(s.ReadInterval(), 100);
    QCOMPARE(s.WriteInterval(), 100);
    QVERIFY(s.Enabled());
    QVERIFY(!s.RefreshIAC());
    QVERIFY(!s.WriteIAC());
    QVERIFY(s.SingleWriteMode());
    QVERIFY(!s.SingleReadMode());
    QVERIFY(!s.IsSlave());
    QVERIFY(!s.ReadDue());
    QCOMPARE(s.RetryCount(), 0);
    QCOMPARE(int(s.RegisterCount()), 0);
    QVERIFY(std::all_of(s.Image(), s.Image() + TModbusSpace::ImageSize,
                        [](quint8 b) { return b == 0; }));
    TModbusParameter p;
    QCOMPARE(p.ModbusSpace(), nullptr);
    QCOMPARE(int(p.Index()), 0);
    QCOMPARE(p.ByteOrder(), TModbusParamByteOrder::mbo3210);
    QCOMPARE(p.ParamType(), TModbusParamType::mptWord);
    QCOMPARE(p.FloatMask(), QString("0.00"));
    QCOMPARE(p.Access(), TModbusParamAccess::mpaReadWrite);
    QVERIFY(!p.Modified());
    QVERIFY(p.Data() != nullptr);
    QCOMPARE(p.UserData(), nullptr);
    // Without a space the accessors read 0 and change nothing.
    p.Data()->setAsWord(7);
    QCOMPARE(int(p.Data()->AsWord()), 0);
    QVERIFY(!p.Modified());
}

void tst_ModbusSpace::layout_data() {
    QTest::addColumn<QList<int>>("indices");
    QTest::addColumn<QList<TModbusParamType>>("types");
    QTest::addColumn<QList<int>>("order");     // attach positions, in list order
    QTest::addColumn<QList<int>>("addresses"); // per attach position
    QTest::addColumn<int>("registers");
    QTest::newRow("word, integer, i16 at 12288")
        << QList<int>{0, 1, 2} << QList<TModbusParamType>{Word, Integer, I16} << QList<int>{0, 1, 2}
        << QList<int>{12288, 12289, 12291} << 4;
    QTest::newRow("indices 3, 1, 2")
        << QList<int>{3, 1, 2} << QList<TModbusParamType>{Word, Word, Word} << QList<int>{1, 2, 0}
        << QList<int>{12290, 12288, 12289} << 3;
    QTest::newRow("equal indices keep attach order")
        << QList<int>{5, 5, 1, 5} << QList<TModbusParamType>{Single, Word, Integer, I16}
        << QList<int>{2, 0, 1, 3} << QList<int>{12290, 12292, 12288, 12293} << 6;
    QTest::newRow("map-control block")
        << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}
        << QList<TModbusParamType>{Word, Word, Word,    Word,    Integer,
                                   Word, Word, Integer, Integer, Integer}
        << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}
        << QList<int>{12288, 12289, 12290, 12291, 12292, 12294, 12295, 12296, 12298, 12300} << 14;
}

void tst_ModbusSpace::layout() {
    QFETCH(QList<int>, indices);
    QFETCH(QList<TModbusParamType>, types);
    QFETCH(QList<int>, order);
    QFETCH(QList<int>, addresses);
    QFETCH(int, registers);
    TModbusSpace space;
    space.setBaseAddress(12288);
    std::vector<ParamPtr> params;
    for (int i = 0; i < indices.size(); ++i)
        params.push_back(makeParam(&space, quint16(indices[i]), types[i]));
    QCOMPARE(space.Params().Count(), int(params.size()));
    for (int k = 0; k < order.size(); ++k)
        QCOMPARE(space.Params().Items(k), params[std::size_t(order[k])].get());
    for (std::size_t i = 0; i < params.size(); ++i) {
        QCOMPARE(int(params[i]->RegisterAddress()), addresses[int(i)]);
        QCOMPARE(int(params[i]->RegisterOffset()), addresses[int(i)] - 12288);
    }
    QCOMPARE(int(space.RegisterCount()), registers);
}

void tst_ModbusSpace::unusableSpaceFails_data() {
    QTest::addColumn<QString>("why");
    QTest::newRow("disabled") << "disabled";
    QTest::newRow("no transport") << "no transport";
    QTest::newRow("slave") << "slave";
}

void tst_ModbusSpace::unusableSpaceFails() {
    QFETCH(QString, why);
    Bench b({Word});
    b.space.setRefreshIAC(true);
    b.params[0]->Data()->setAsWord(3);
    if (why == "disabled")
        b.space.setEnabled(false);
    else if (why == "no transport")
        b.space.setModbusTransport(nullptr);
    else
        b.space.setIsSlave(true);
    QVERIFY(!b.space.RefreshWithRetries());
    QVERIFY(!b.space.FlushWithRetries());
    QVERIFY(b.device.requests.isEmpty());
    QCOMPARE(b.afterRefresh, 0);
    QVERIFY(b.params[0]->Modified());
}

void tst_ModbusSpace::readTimerMarksReadDue() {
    Bench b({Word, Word});
    // Nothing due and RefreshIAC off: no request, still a success with the event.
    QVERIFY(b.space.RefreshWithRetries());
    QVERIFY(b.device.requests.isEmpty());
    QCOMPARE(b.afterRefresh, 1);
    b.space.setReadInterval(20);
    QCOMPARE(b.space.ReadInterval(), 20);
    QTRY_VERIFY(b.space.ReadDue());
    b.device.registers[12289] = 0xBEEF;
    QVERIFY(b.space.RefreshWithRetries());
    QCOMPARE(b.device.described(), QStringList{"R 12288 2"});
    QVERIFY(!b.space.ReadDue());
    QCOMPARE(int(b.params[1]->Data()->AsWord()), 0xBEEF);
    QCOMPARE(b.afterRefresh, 2);
    // A flush never reads, due or not.
    b.space.setReadDue(true);
    QVERIFY(b.space.FlushWithRetries());
    QCOMPARE(b.device.requests.size(), 1);
    QVERIFY(b.space.ReadDue());
    QCOMPARE(b.afterRefresh, 3);
    // A stopped timer marks nothing.
    b.space.setReadInterval(0);
    b.space.setReadDue(false);
    QTest::qWait(60);
    QVERIFY(!b.space.ReadDue());
}

void tst_ModbusSpace::writePhase_data() {
    QTest::addColumn<bool>("single");
    QTest::addColumn<bool>("writeIAC");
    QTest::addColumn<QList<TModbusParamType>>("types");
    QTest::addColumn<QList<int>>("modified"); // parameters given a new value
    QTest::addColumn<QStringList>("requests");
    QTest::newRow("single, one modified")
        << true << false << QList<TModbusParamType>{Word, I16, Integer} << QList<int>{1}
        << QStringList{"W 12289 1", "R 12288 4"};
    QTest::newRow("single, integer is two registers")
        << true << false << QList<TModbusParamType>{Word, I16, Integer} << QList<int>{2, 0}
        << QStringList{"W 12288 1", "W 12290 2", "R 12288 4"};
    QTest::newRow("single, write IAC")
        << true << true << QList<TModbusParamType>{Word, I16, Single} << QList<int>{}
        << QStringList{"W 12288 1", "W 12289 1", "W 12290 2", "R 12288 4"};
    QTest::newRow("single, nothing") << true << false << QList<TModbusParamType>{Word, Integer}
                                     << QList<int>{} << QStringList{"R 12288 3"};
    QTest::newRow("block, one modified")
        << false << false << QList<TModbusParamType>{Word, I16, Integer} << QList<int>{2}
        << QStringList{"W 12288 4", "R 12288 4"};
    QTest::newRow("block, write IAC") << false << true << QList<TModbusParamType>{Integer}
                                      << QList<int>{} << QStringList{"W 12288 2", "R 12288 2"};
    QTest::newRow("block, write IAC, empty")
        << false << true << QList<TModbusParamType>{} << QList<int>{} << QStringList{"R 12288 0"};
}

void tst_ModbusSpace::writePhase() {
    QFETCH(bool, single);
    QFETCH(bool, writeIAC);
    QFETCH(QList<TModbusParamType>, types);
    QFETCH(QList<int>, modified);
    QFETCH(QStringList, requests);
    Bench b(types);
    b.space.setSingleWriteMode(single);
    b.space.setWriteIAC(writeIAC);
    b.space.setRefreshIAC(true);
    for (int i : modified)
        b.params[std::size_t(i)]->Data()->setAsDWord(0x01020304u + quint32(i));
    QVERIFY(b.space.RefreshWithRetries());
    QCOMPARE(b.device.described(), requests);
    QCOMPARE(b.afterRefresh, 1);
    for (const auto& p : b.params)
        QVERIFY(!p->Modified());
    // What was written is what the device holds and what is read back.
    for (int i : modified) {
        const auto& p = b.params[std::size_t(i)];
        const quint16 addr = p->RegisterAddress();
        if (RegistersOf(p->ParamType()) == 2) {
            QCOMPARE(b.device.registers[addr], quint16(0x0102));
            QCOMPARE(p->Data()->AsDWord(), 0x01020304u + quint32(i));
        } else {
            QCOMPARE(b.device.registers[addr], quint16(0x0102));
        }
    }
    // The flush after that writes again only what WriteIAC asks for.
    b.device.requests.clear();
    QVERIFY(b.space.FlushWithRetries());
    const int writes = writeIAC ? (single ? int(types.size()) : (types.isEmpty() ? 0 : 1)) : 0;
    QCOMPARE(int(b.device.requests.size()), writes);
}

void tst_ModbusSpace::singleWriteFailureKeepsLaterModified() {
    Bench b({Word, Word, Word});
    for (auto& p : b.params)
        p->Data()->setAsWord(9);
    b.device.silentAt = {1};
    QVERIFY(!b.space.FlushWithRetries());
    QCOMPARE(b.device.described(), (QStringList{"W 12288 1", "W 12289 1"}));
    QVERIFY(!b.params[0]->Modified());
    QVERIFY(b.params[1]->Modified());
    QVERIFY(b.params[2]->Modified());
    QCOMPARE(b.afterRefresh, 0);
    // The next flush writes the ones still pending.
    QVERIFY(b.space.FlushWithRetries());
    QCOMPARE(b.device.described().mid(2), (QStringList{"W 12289 1", "W 12290 1"}));
    QCOMPARE(b.afterRefresh, 1);
}

void tst_ModbusSpace::blockWriteFailureKeepsAllModified() {
    Bench b({Word, Integer});
    b.space.setSingleWriteMode(false);
    b.params[1]->Data()->setAsDWord(5);
    b.device.corruptAt = {0}; // a reply with a bad checksum fails as well
    QVERIFY(!b.space.FlushWithRetries());
    QVERIFY(!b.params[0]->Modified());
    QVERIFY(b.params[1]->Modified());
    QVERIFY(b.space.FlushWithRetries());
    QVERIFY(!b.params[1]->Modified());
    QCOMPARE(b.device.described(), (QStringList{"W 12288 3", "W 12288 3"}));
}

void tst_ModbusSpace::readPhase_data() {
    QTest::addColumn<bool>("single");
    QTest::addColumn<QStringList>("requests");
    QTest::addColumn<int>("writeOnlyValue"); // what the write-only parameter shows afterwards
    QTest::newRow("single skips write-only")
        << true << QStringList{"R 12288 2", "R 12291 2", "R 12292 2"} << 0;
    QTest::newRow("block reads all") << false << QStringList{"R 12288 5"} << 0x2222;
}

void tst_ModbusSpace::readPhase() {
    QFETCH(bool, single);
    QFETCH(QStringList, requests);
    QFETCH(int, writeOnlyValue);
    // Integer at 12288, write-only word at 12290, word at 12291, i16 at 12292.
    Bench b({Integer, Word, Word, I16});
    b.params[1]->setAccess(TModbusParamAccess::mpaWriteOnly);
    b.space.setSingleReadMode(single);
    b.space.setRefreshIAC(true);
    b.device.registers = {{12288, 0x1234}, {12289, 0x5678}, {12290, 0x2222},
                          {12291, 0x0042}, {12292, 0xFFFE}, {12293, 0x7777}};
    QVERIFY(b.space.RefreshWithRetries());
    QCOMPARE(b.device.described(), requests);
    QCOMPARE(b.params[0]->Data()->AsDWord(), 0x12345678u);
    QCOMPARE(int(b.params[1]->Data()->AsWord()), writeOnlyValue);
    QCOMPARE(int(b.params[2]->Data()->AsWord()), 0x42);
    QCOMPARE(qint16(b.params[3]->Data()->AsWord()), qint16(-2));
    // Per-parameter reads ask for two registers even for one-register types, and the image
    // takes both; the expected reply is 9 bytes.
    if (single) {
        QCOMPARE(b.device.expectedLengths, (QList<int>{9, 9, 9}));
        QCOMPARE(int(b.space.Image()[10]), 0x77);
    } else {
        QCOMPARE(b.device.expectedLengths, QList<int>{15});
    }
}

void tst_ModbusSpace::failedReadLeavesImageAndClearsDue() {
    Bench b({Word, Word, Word});
    b.space.setSingleReadMode(true);
    b.space.setReadDue(true);
    b.device.registers = {{12288, 1}, {12289, 2}, {12290, 3}};
    b.device.silentAt = {1};
    QVERIFY(!b.space.RefreshWithRetries());
    QVERIFY(!b.space.ReadDue());
    QCOMPARE(b.afterRefresh, 0);
    QCOMPARE(int(b.params[0]->Data()->AsWord()), 1);
    QCOMPARE(int(b.params[1]->Data()->AsWord()), 2); // from the first read's second register
    QCOMPARE(int(b.params[2]->Data()->AsWord()), 0);
    // Nothing due now: the next refresh sends nothing.
    QVERIFY(b.space.RefreshWithRetries());
    QCOMPARE(b.device.requests.size(), 2);
}

void tst_ModbusSpace::zeroRegisterRead() {
    Bench b({}, 4096);
    b.space.setReadDue(true);
    QVERIFY(b.space.RefreshWithRetries());
    QCOMPARE(b.device.described(), QStringList{"R 4096 0"});
    QCOMPARE(b.device.expectedLengths, QList<int>{5});
}

void tst_ModbusSpace::retries_data() {
    QTest::addColumn<int>("retryCount");
    QTest::addColumn<QList<int>>("silent");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("attempts");
    QTest::newRow("once, fails") << 0 << QList<int>{0} << false << 1;
    QTest::newRow("once, succeeds") << 0 << QList<int>{} << true << 1;
    QTest::newRow("third attempt") << 2 << QList<int>{0, 1} << true << 3;
    QTest::newRow("all fail") << 2 << QList<int>{0, 1, 2, 3} << false << 3;
}

void tst_ModbusSpace::retries() {
    QFETCH(int, retryCount);
    QFETCH(QList<int>, silent);
    QFETCH(bool, ok);
    QFETCH(int, attempts);
    Bench b({Word});
    b.space.setRefreshIAC(true);
    b.space.setRetryCount(retryCount);
    b.device.silentAt = QSet<int>(silent.begin(), silent.end());
    QCOMPARE(b.space.RefreshWithRetries(), ok);
    QCOMPARE(int(b.device.requests.size()), attempts);
    QCOMPARE(b.afterRefresh, ok ? 1 : 0);
}

void tst_ModbusSpace::parameterLifetime() {
    auto space = std::make_unique<TModbusSpace>();
    space->setBaseAddress(100);
    ParamPtr a = makeParam(space.get(), 0, Integer);
    ParamPtr b = makeParam(space.get(), 1, Word);
    ParamPtr c = makeParam(space.get(), 2, Word);
    QCOMPARE(int(c->RegisterAddress()), 103);
    // A destroyed parameter leaves the list; the rest close up.
    a.reset();
    QCOMPARE(space->Params().Count(), 2);
    QCOMPARE(int(b->RegisterAddress()), 100);
    QCOMPARE(int(c->RegisterAddress()), 101);
    QCOMPARE(int(space->RegisterCount()), 2);
    // Attaching to the same space again lists it once.
    c->setModbusSpace(space.get());
    QCOMPARE(space->Params().Count(), 2);
    c->Data()->setAsWord(0x0A0B);
    QCOMPARE(int(space->Image()[2]), 0x0A);
    // A destroyed space leaves its parameters without one.
    space.reset();
    QCOMPARE(c->ModbusSpace(), nullptr);
    QCOMPARE(int(c->Data()->AsWord()), 0);
}

void tst_ModbusSpace::moveBetweenSpaces() {
    TModbusSpace first, second;
    second.setBaseAddress(200);
    ParamPtr a = makeParam(&first, 0, Word);
    ParamPtr b = makeParam(&first, 1, Integer);
    b->setModbusSpace(&second);
    QCOMPARE(first.Params().Count(), 1);
    QCOMPARE(int(first.RegisterCount()), 1);
    QCOMPARE(second.Params().Count(), 1);
    QCOMPARE(int(b->RegisterAddress()), 200);
    b->setModbusSpace(nullptr);
    QCOMPARE(second.Params().Count(), 0);
    QCOMPARE(b->ModbusSpace(), nullptr);
}

QTEST_GUILESS_MAIN(tst_ModbusSpace)
#include "tst_ModbusSpace.moc"
