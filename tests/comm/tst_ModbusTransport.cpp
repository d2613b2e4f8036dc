#include "comm/ModbusCrc.h"
#include "comm/ModbusParameter.h"
#include "comm/ModbusSpace.h"
#include "comm/ModbusTransport.h"
#include "comm/SerialPortDriver.h"

#include "PtyPeer.h"

#include <QElapsedTimer>
#include <QTest>
#include <memory>

using namespace zorvan;
using zorvan::test::PtyPeer;

namespace {

QByteArray hex(const char* text) {
    return PtyPeer::hex(text);
}

const QByteArray ReadRequest = hex("01 03 30 00 00 0E CB 0E");
// 14 registers: TagIndex 5, options 3, channel 0x11, type 4, name "TEMP1" and zero bytes.
const QByteArray ReadReply = hex("01 03 1C 00 00 00 05 00 00 00 00 00 00 00 03 00 11 00 04 54 45"
                                 "4D 50 31 00 00 00 00 00 00 00 AA F6");

// A reply to the read above with TagIndex = index (checksum appended).
QByteArray replyWithTagIndex(int index) {
    QByteArray r = ReadReply.left(31);
    r[6] = char(index);
    const quint16 crc = ModbusCrc16(reinterpret_cast<const quint8*>(r.constData()), 31);
    r.append(char(crc & 0xFF)).append(char(crc >> 8));
    return r;
}

// A serial line to a scripted peer with a space laid out like the device's map-control block.
struct Line {
    PtyPeer peer;
    TSerialPortDriver port;
    TCOMPortTransport transport{&port};
    TModbusSpace space;
    std::vector<std::unique_ptr<TModbusParameter>> params;
    QList<QPair<bool, QByteArray>> events;

    explicit Line(int inputTimeout = 100, bool open = true) {
        port.setPortName(peer.slavePath());
        port.setInputTimeout(quint32(inputTimeout));
        port.SuspendPolling();
        space.setModbusTransport(&transport);
        space.setBaseAddress(12288);
        space.setRefreshIAC(true);
        const TModbusParamType types[] = {
            TModbusParamType::mptWord,   TModbusParamType::mptWord,    TModbusParamType::mptWord,
            TModbusParamType::mptWord,   TModbusParamType::mptInteger, TModbusParamType::mptWord,
            TModbusParamType::mptWord,   TModbusParamType::mptInteger, TModbusParamType::mptInteger,
            TModbusParamType::mptInteger};
        for (int i = 0; i < 10; ++i) {
            params.push_back(std::make_unique<TModbusParameter>());
            params.back()->setIndex(quint16(i));
            params.back()->setParamType(types[i]);
            params.back()->setModbusSpace(&space);
        }
        transport.OnRequest = [this](bool out, const TRequest& r) {
            events << qMakePair(out,
                                QByteArray(reinterpret_cast<const char*>(r.Data.data()), r.Length));
        };
        if (open)
            port.OpenPort();
    }
    TModbusParameter& tagIndex() { return *params[1]; }
    QByteArray image(int bytes) const {
        return QByteArray(reinterpret_cast<const char*>(space.Image()), bytes);
    }
};

} // namespace

class tst_ModbusTransport : public QObject {
    Q_OBJECT
private slots:
    void checksum_data();
    void checksum();
    void frames_data();
    void frames();
    void baseTransport();
    void blockRead();
    void replies_data();
    void replies();
    void tagIndexWrite();
    void flashWrite();
    void closedPortFailsAtOnce();
    void staleInputDiscarded();
    void peerHangsUp();
    void oversizedRequests();
};

void tst_ModbusTransport::checksum_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("crc");
    QTest::newRow("check string") << QByteArray("123456789") << 0x4B37;
    QTest::newRow("read 10 at 0") << hex("01 03 00 00 00 0A") << 0xCDC5;
    QTest::newRow("read 14 at 12288") << hex("01 03 30 00 00 0E") << 0x0ECB;
    QTest::newRow("TagIndex 5") << hex("01 10 30 01 00 01 02 00 05") << 0x8157;
    QTest::newRow("flash") << hex("01 10 00 08 00 02 04 00 00 00 01") << 0xC933;
    QTest::newRow("empty") << QByteArray() << 0xFFFF;
}

void tst_ModbusTransport::checksum() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, crc);
    const auto* data = reinterpret_cast<const quint8*>(bytes.constData());
    QCOMPARE(int(ModbusCrc16(data, std::size_t(bytes.size()))), crc);
    if (bytes.isEmpty())
        return;
    // Followed by its own checksum, low byte first, a frame checks to 0.
    bytes.append(char(crc & 0xFF)).append(char(crc >> 8));
    QCOMPARE(int(ModbusCrc16(reinterpret_cast<const quint8*>(bytes.constData()),
                             std::size_t(bytes.size()))),
             0);
}

void tst_ModbusTransport::frames_data() {
    QTest::addColumn<bool>("write");
    QTest::addColumn<int>("slave");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("registers");
    QTest::addColumn<QByteArray>("frame"); // empty: refused
    QTest::newRow("read 14") << false << 1 << 12288 << 14 << ReadRequest;
    QTest::newRow("read 0") << false << 1 << 4096 << 0 << hex("01 03 10 00 00 00 41 0A");
    QTest::newRow("read 255") << false << 1 << 0 << 255 << hex("01 03 00 00 00 FF 05 8A");
    QTest::newRow("read 256") << false << 1 << 0 << 256 << QByteArray();
    QTest::newRow("write 1") << true << 1 << 12289 << 1 << hex("01 10 30 01 00 01 02 00 05 57 81");
    QTest::newRow("write 2") << true << 1 << 8 << 2
                             << hex("01 10 00 08 00 02 04 00 00 00 01 33 C9");
    QTest::newRow("write 128") << true << 1 << 0 << 128 << QByteArray();
}

void tst_ModbusTransport::frames() {
    QFETCH(bool, write);
    QFETCH(int, slave);
    QFETCH(int, first);
    QFETCH(int, registers);
    QFETCH(QByteArray, frame);
    TRequest r;
    r.Length = 77;
    const quint8 values[2][4] = {{0x00, 0x05}, {0x00, 0x00, 0x00, 0x01}};
    std::vector<quint8> data(std::size_t(2 * std::max(registers, 0)), 0);
    if (registers == 1 || registers == 2)
        std::copy_n(values[registers - 1], 2 * registers, data.begin());
    const bool ok =
        write ? BuildWriteRequest(r, quint8(slave), quint16(first), registers, data.data())
              : BuildReadRequest(r, quint8(slave), quint16(first), registers);
    QCOMPARE(ok, !frame.isEmpty());
    if (frame.isEmpty()) {
        QCOMPARE(int(r.Length), 77);
        return;
    }
    QCOMPARE(QByteArray(reinterpret_cast<const char*>(r.Data.data()), r.Length), frame);
}

void tst_ModbusTransport::baseTransport() {
    TModbusTransport base;
    TCOMPortTransport com;
    QCOMPARE(base.TransportType(), TModbusTransportType::mttCOM);
    QCOMPARE(com.TransportType(), TModbusTransportType::mttCOM);
    QVERIFY(!base.OnRequest);
    QVERIFY(!com.OnRequest);
    TRequest r;
    BuildReadRequest(r, 1, 0, 1);
    QVERIFY(!base.Transact(r, 7));
    QVERIFY(!com.Transact(r, 7)); // no port at all
    // A port destroyed under the transport is noticed.
    auto port = std::make_unique<TSerialPortDriver>();
    com.setBus(port.get());
    QCOMPARE(com.Bus(), port.get());
    port.reset();
    QCOMPARE(com.Bus(), nullptr);
    QVERIFY(!com.Transact(r, 7));
}

void tst_ModbusTransport::blockRead() {
    Line line;
    QVERIFY(line.port.IsOpen());
    line.peer.expect(ReadRequest).send(ReadReply).start();
    QVERIFY(line.space.RefreshWithRetries());
    QVERIFY(line.peer.wait());
    QCOMPARE(line.peer.failures(), QStringList());
    QCOMPARE(line.peer.received(), ReadRequest);
    QCOMPARE(line.events.size(), 2);
    QCOMPARE(line.events[0], qMakePair(true, ReadRequest));
    QCOMPARE(line.events[1], qMakePair(false, ReadReply));
    QCOMPARE(int(line.space.Request().Length), 33);
    QCOMPARE(line.image(28), ReadReply.mid(3, 28));
    QCOMPARE(int(line.tagIndex().Data()->AsWord()), 5);
    QCOMPARE(line.params[4]->Data()->AsDWord(), 3u);
    QCOMPARE(line.params[7]->Data()->AsDWord(), 0x54454D50u);
    QCOMPARE(line.params[8]->Data()->AsDWord(), 0x31000000u);
}

void tst_ModbusTransport::replies_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<int>("piece");
    QTest::addColumn<int>("gap");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("events");
    QTest::addColumn<bool>("waitsTimeout");
    QByteArray badCrc = ReadReply;
    badCrc[32] = char(badCrc[32] ^ 0x01);
    QByteArray badData = ReadReply;
    badData[10] = char(badData[10] ^ 0x40);
    QTest::newRow("whole") << ReadReply << 33 << 0 << true << 2 << false;
    QTest::newRow("trickle") << ReadReply << 3 << 50 << true << 2 << false;
    QTest::newRow("one byte short") << ReadReply.left(32) << 32 << 0 << false << 1 << true;
    QTest::newRow("silence") << QByteArray() << 1 << 0 << false << 1 << true;
    QTest::newRow("bad checksum") << badCrc << 33 << 0 << false << 2 << false;
    QTest::newRow("corrupted data") << badData << 33 << 0 << false << 2 << false;
    QTest::newRow("other slave") << hex("07 03 1C 00 00 00 05 00 00 00 00 00 00 00 03 00 11 00 04"
                                        "54 45 4D 50 31 00 00 00 00 00 00 00 CA F5")
                                 << 33 << 0 << true << 2 << false;
    // An exception reply is not told apart: it is a short reply.
    QTest::newRow("exception") << hex("01 83 02 C0 F1") << 5 << 0 << false << 1 << true;
}

void tst_ModbusTransport::replies() {
    QFETCH(QByteArray, reply);
    QFETCH(int, piece);
    QFETCH(int, gap);
    QFETCH(bool, ok);
    QFETCH(int, events);
    QFETCH(bool, waitsTimeout);
    const int timeout = 150;
    Line line(timeout);
    QVERIFY(line.port.IsOpen());
    line.peer.expect(ReadRequest);
    if (!reply.isEmpty())
        line.peer.sendSplit(reply, piece, gap);
    line.peer.start();
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(line.space.RefreshWithRetries(), ok);
    const qint64 elapsed = clock.elapsed();
    QVERIFY(line.peer.wait());
    QCOMPARE(line.peer.failures(), QStringList());
    QCOMPARE(line.events.size(), events);
    QCOMPARE(line.events[0], qMakePair(true, ReadRequest));
    if (events == 2)
        QCOMPARE(line.events[1], qMakePair(false, reply));
    if (waitsTimeout)
        QVERIFY2(elapsed >= timeout, qPrintable(QString::number(elapsed)));
    else
        QVERIFY2(elapsed < 2000, qPrintable(QString::number(elapsed)));
    // The image takes the data of an accepted reply only.
    QCOMPARE(line.image(28), ok ? reply.mid(3, 28) : QByteArray(28, '\0'));
}

void tst_ModbusTransport::tagIndexWrite() {
    Line line;
    const QByteArray request = hex("01 10 30 01 00 01 02 00 05 57 81");
    const QByteArray reply = hex("01 10 30 01 00 01 5F 09");
    line.peer.expect(request).send(reply).start();
    line.tagIndex().Data()->setAsWord(5);
    QVERIFY(line.tagIndex().Modified());
    QVERIFY(line.space.FlushWithRetries());
    QVERIFY(line.peer.wait());
    QCOMPARE(line.peer.failures(), QStringList());
    QCOMPARE(line.peer.received(), request);
    QVERIFY(!line.tagIndex().Modified());
    QCOMPARE(line.events, (QList<QPair<bool, QByteArray>>{{true, request}, {false, reply}}));
}

void tst_ModbusTransport::flashWrite() {
    Line line;
    TModbusSpace space1;
    space1.setModbusTransport(&line.transport);
    space1.setBaseAddress(8);
    space1.setWriteIAC(true);
    space1.setSingleWriteMode(false);
    TModbusParameter flash;
    flash.setParamType(TModbusParamType::mptInteger);
    flash.setAccess(TModbusParamAccess::mpaWriteOnly);
    flash.setModbusSpace(&space1);
    const QByteArray request = hex("01 10 00 08 00 02 04 00 00 00 01 33 C9");
    line.peer.expect(request).send(hex("01 10 00 08 00 02 C0 0A")).start();
    flash.Data()->setAsDWord(1);
    QVERIFY(space1.FlushWithRetries());
    QVERIFY(line.peer.wait());
    QCOMPARE(line.peer.failures(), QStringList());
    QCOMPARE(line.peer.received(), request);
}

void tst_ModbusTransport::closedPortFailsAtOnce() {
    Line line(2000, false);
    QVERIFY(!line.port.IsOpen());
    line.peer.drain(150).start();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!line.space.RefreshWithRetries());
    TRequest r;
    BuildReadRequest(r, 1, 0, 1);
    QVERIFY(!line.transport.Transact(r, 7));
    QVERIFY(clock.elapsed() < 500);
    QCOMPARE(line.events, (QList<QPair<bool, QByteArray>>{{true, ReadRequest}}));
    QVERIFY(line.peer.wait());
    QCOMPARE(line.peer.received(), QByteArray());
}

void tst_ModbusTransport::staleInputDiscarded() {
    // The first reply comes after the time-out; the same space is polled again and again with
    // replies of the same length, which must not be taken from the stale bytes.
    Line line(100);
    line.peer.expect(ReadRequest)
        .send(replyWithTagIndex(1), 250)
        .expect(ReadRequest)
        .send(replyWithTagIndex(2))
        .expect(ReadRequest)
        .send(replyWithTagIndex(3))
        .start();
    QVERIFY(!line.space.RefreshWithRetries());
    QTRY_VERIFY(line.peer.stepsDone() >= 2);
    QTRY_COMPARE(line.port.BytesWaiting(), 33u); // the late reply is queued
    QVERIFY(line.space.RefreshWithRetries());
    QCOMPARE(int(line.tagIndex().Data()->AsWord()), 2);
    QVERIFY(line.space.RefreshWithRetries());
    QCOMPARE(int(line.tagIndex().Data()->AsWord()), 3);
    QVERIFY(line.peer.wait());
    QCOMPARE(line.peer.failures(), QStringList());
}

void tst_ModbusTransport::peerHangsUp() {
    Line line(2000);
    line.peer.expect(ReadRequest).send(ReadReply.left(10)).hangUp(20).start();
    QElapsedTimer clock;
    clock.start();
    QVERIFY(!line.space.RefreshWithRetries());
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(line.peer.wait());
    // Every later exchange fails at once as well, with the port still open.
    clock.restart();
    line.tagIndex().Data()->setAsWord(9);
    QVERIFY(!line.space.FlushWithRetries());
    QVERIFY(!line.space.RefreshWithRetries());
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(line.tagIndex().Modified());
    QVERIFY(line.port.IsOpen());
    line.port.ClosePort();
}

void tst_ModbusTransport::oversizedRequests() {
    Line line(100);
    line.peer.drain(200).start();
    TRequest r;
    BuildReadRequest(r, 1, 0, 1);
    QVERIFY(!line.transport.Transact(r, TRequest::Capacity + 1));
    r.Length = TRequest::Capacity + 1;
    QVERIFY(!line.transport.Transact(r, 7));
    // A space laid out beyond what a frame carries refuses its block requests.
    TModbusSpace big;
    big.setModbusTransport(&line.transport);
    big.setRefreshIAC(true);
    big.setWriteIAC(true);
    big.setSingleWriteMode(false);
    std::vector<std::unique_ptr<TModbusParameter>> params;
    for (int i = 0; i < 64; ++i) { // 128 registers: readable, not writable as a block
        params.push_back(std::make_unique<TModbusParameter>());
        params.back()->setParamType(TModbusParamType::mptInteger);
        params.back()->setModbusSpace(&big);
    }
    QCOMPARE(int(big.RegisterCount()), 128);
    QVERIFY(!big.WriteBlock());
    QVERIFY(!big.FlushWithRetries());
    QVERIFY(line.peer.wait());
    QCOMPARE(line.peer.received(), QByteArray());
    QVERIFY(line.events.isEmpty());
}

QTEST_GUILESS_MAIN(tst_ModbusTransport)
#include "tst_ModbusTransport.moc"
