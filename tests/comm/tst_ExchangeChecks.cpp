// A register space reading two registers from slave 17 over a real pseudo-terminal, answered by
// a scripted peer: which replies are taken, why the others fail, and that a failed exchange
// leaves nothing on the line for the next one. Frames are built with the test support's own CRC.

#include "comm/ModbusParameter.h"
#include "comm/ModbusSpace.h"
#include "comm/SerialPortDriver.h"

#include "Cases.h"
#include "MapControlFrames.h"
#include "PtyPeer.h"

#include <QElapsedTimer>
#include <QtTest>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

using namespace zorvan;
using namespace zorvan::test;

namespace {

constexpr int TimeoutMs = 100;
const QByteArray Request = frames::readRequest(17, 100, 2);

QByteArray answer(quint8 slave, quint8 function, const QByteArray& data) {
    return frames::withCrc(QByteArray(1, char(slave)) + char(function) + data);
}
const QByteArray Good = answer(17, 3, QByteArray::fromHex("04 12 34 56 78"));

struct Exchange {
    QByteArray answer; // what the peer sends after reading the request
    TExchangeFailure failure;
    QString text; // the failure as a message says it
};

// A master on the pty: port, transport and a space with one DWord at register 100.
struct Master {
    TSerialPortDriver port;
    TCOMPortTransport transport{&port};
    TModbusSpace space;
    TModbusParameter value;

    explicit Master(const QString& path, quint32 baud = 115200) {
        port.setPortName(path);
        port.setBaudRateValue(baud);
        port.setInputTimeout(TimeoutMs);
        space.setModbusTransport(&transport);
        space.setDeviceAddress(17);
        space.setBaseAddress(100);
        space.setSingleWriteMode(false);
        value.setParamType(TModbusParamType::mptInteger);
        value.setModbusSpace(&space);
    }
};

} // namespace

class tst_ExchangeChecks : public QObject {
    Q_OBJECT
private slots:
    void reply_data() {
        const QByteArray data = QByteArray::fromHex("04 12 34 56 78");
        QByteArray corrupt = Good;
        corrupt[4] = char(corrupt[4] ^ 1);
        // clang-format off
        addCases<Exchange>({
            {"answered",         {Good, TExchangeFailure::efNone, ""}},
            {"another slave",    {answer(18, 3, data), TExchangeFailure::efWrongSlave, "wrong slave"}},
            {"another function", {answer(17, 4, data), TExchangeFailure::efWrongFunction, "wrong function"}},
            {"byte count",       {answer(17, 3, QByteArray::fromHex("06 12 34 56 78")), TExchangeFailure::efWrongByteCount, "wrong byte count"}},
            {"checksum",         {corrupt, TExchangeFailure::efBadChecksum, "bad checksum"}},
            {"exception",        {answer(17, 0x83, QByteArray::fromHex("02")), TExchangeFailure::efException, "exception 2"}},
            {"short",            {Good.left(3), TExchangeFailure::efShortReply, "short reply (3 of 9 bytes)"}},
            {"silence",          {{}, TExchangeFailure::efNoReply, "no reply"}},
        });
        // clang-format on
    }

    void reply() {
        QFETCH(Exchange, c);
        PtyPeer peer;
        peer.expect(Request);
        if (!c.answer.isEmpty())
            peer.send(c.answer);
        // The line is used once more only when the first reply was taken.
        if (c.failure == TExchangeFailure::efNone)
            peer.expect(Request).send(Good);
        peer.start();
        Master m(peer.slavePath());
        QVERIFY(m.port.OpenPort());
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(m.space.ReadBlock(), c.failure == TExchangeFailure::efNone);
        const qint64 elapsed = clock.elapsed();
        QCOMPARE(m.transport.LastStatus().Failure, c.failure);
        QCOMPARE(ExchangeFailureText(m.transport.LastStatus()), c.text);
        if (c.failure == TExchangeFailure::efNone) {
            QCOMPARE(m.value.Data()->AsDWord(), 0x12345678u);
            QVERIFY(m.space.ReadBlock());
        } else if (c.failure == TExchangeFailure::efException) {
            // Refused at once, not waited on until the time-out.
            QVERIFY2(elapsed < TimeoutMs, qPrintable(QString::number(elapsed)));
        }
        QVERIFY(peer.wait());
        QCOMPARE(peer.failures(), QStringList());
    }

    // A reply that comes after the time-out must not pass for the answer to the next request,
    // even when both have the same size.
    void lateReplyIsNotTheNextOne() {
        const QByteArray second = answer(17, 3, QByteArray::fromHex("04 00 00 00 07"));
        PtyPeer peer;
        peer.expect(Request).send(Good, TimeoutMs + 30).expect(Request).send(second);
        peer.start();
        Master m(peer.slavePath());
        QVERIFY(m.port.OpenPort());
        QVERIFY(!m.space.ReadBlock());
        QCOMPARE(m.transport.LastStatus().Failure, TExchangeFailure::efNoReply);
        QVERIFY(m.space.ReadBlock());
        QCOMPARE(m.value.Data()->AsDWord(), 7u);
        QVERIFY(peer.wait());
    }

    // At 300 bit/s the 8-byte request alone is on the wire for 294 ms, longer than the
    // time-out: the wait for the reply starts when the request has left.
    void waitCountsTheRequestsWireTime() {
        constexpr int wireMs = 294;
        PtyPeer peer;
        peer.expect(Request).send(Good, TimeoutMs + wireMs / 2);
        peer.start();
        Master m(peer.slavePath(), 300);
        QVERIFY(m.port.OpenPort());
        QVERIFY(m.space.ReadBlock());
        QVERIFY(peer.wait());
    }

    // A terminal opened by mistake is left as it was found.
    void closeRestoresTheLineSettings() {
        PtyPeer peer;
        peer.start();
        const int fd = ::open(QFile::encodeName(peer.slavePath()).constData(), O_RDWR | O_NOCTTY);
        QVERIFY(fd >= 0);
        termios before{};
        QCOMPARE(::tcgetattr(fd, &before), 0);
        before.c_lflag |= ICANON | ECHO;
        cfsetospeed(&before, B4800);
        QCOMPARE(::tcsetattr(fd, TCSANOW, &before), 0);
        {
            Master m(peer.slavePath(), 19200);
            QVERIFY(m.port.OpenPort());
            termios raw{};
            QCOMPARE(::tcgetattr(fd, &raw), 0);
            QCOMPARE(raw.c_lflag & ICANON, tcflag_t(0));
            m.port.ClosePort();
        }
        termios after{};
        QCOMPARE(::tcgetattr(fd, &after), 0);
        QCOMPARE(after.c_lflag & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
        QCOMPARE(cfgetospeed(&after), speed_t(B4800));
        ::close(fd);
    }
};

QTEST_GUILESS_MAIN(tst_ExchangeChecks)
#include "tst_ExchangeChecks.moc"
