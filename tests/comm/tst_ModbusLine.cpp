// The serial line and Modbus on it: the port driver on real pseudo-terminals (line settings
// as the kernel holds them, port naming, exclusive open, writes and the timer-driven receive
// path, termios restored on close), the transport against a scripted peer (requests checked with
// the tests' own encoder; which replies it takes and why it refuses the others), and register
// spaces on a fake device: write and read phases, failures and retries, byte orders, the Modified
// rules and the value texts.

#include "comm/ModbusCrc.h"
#include "comm/ModbusSpace.h"
#include "comm/SerialPortDriver.h"

#include "Cases.h"
#include "FakeModbusTransport.h"
#include "MapControlFrames.h"
#include "PtyPeer.h"
#include "TempConfigHome.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QTest>
#include <ctime>
#include <fcntl.h>
#include <numeric>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace zorvan;
using namespace zorvan::test;

namespace {

// Wall-clock and thread CPU milliseconds that fn takes.
template <typename F> std::pair<qint64, double> cost(F fn) {
    timespec a{}, b{};
    QElapsedTimer clock;
    clock.start();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &a);
    fn();
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &b);
    return {clock.elapsed(), (b.tv_sec - a.tv_sec) * 1e3 + (b.tv_nsec - a.tv_nsec) / 1e6};
}

// Whether an unprivileged user (the exclusive mark does not stop root) can open the path.
bool othersCanOpen(const QByteArray& path) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        _exit(::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK) >= 0 ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

const QByteArray BlockRead = frames::readRequest(1, 12288, 14);

// A reply to BlockRead showing 7, index, and "n" bytes.
QByteArray blockReply(quint16 index, quint8 slave = 1) {
    return frames::readReply(slave, frames::word(7) + frames::word(index) + QByteArray(24, 'n'));
}

QByteArray bytesOf(const quint8* data, int size) {
    return QByteArray(reinterpret_cast<const char*>(data), size);
}

using Events = QList<QPair<bool, QByteArray>>; // requests out, replies in

// Parameters of the types named by letters (Single, Word, Integer, I16) with indices 0, 1, 2...
// in a space at 12288, on a fake device whose register k holds 0x1000 + k, or with a time-out
// given, on a pty line to a scripted peer.
struct Bench {
    FakeModbusTransport device;
    PtyPeer peer;
    TSerialPortDriver port;
    TCOMPortTransport line{&port};
    TModbusSpace space;
    std::vector<std::unique_ptr<TModbusParameter>> params;
    Events events; // of the line
    int afterRefresh = 0;

    explicit Bench(const QString& types, quint32 lineTimeoutMs = 0) {
        space.setBaseAddress(12288);
        space.setReadInterval(0); // reads become due only when a test says so
        space.setModbusTransport(lineTimeoutMs ? &line : static_cast<TModbusTransport*>(&device));
        for (int k = 0; k < 12; ++k)
            device.registers[quint16(12288 + k)] = quint16(0x1000 + k);
        for (QChar type : types)
            add(type, int(params.size()));
        space.OnAfterRefresh = [this](TModbusSpace* sender) { afterRefresh += sender == &space; };
        line.OnRequest = [this](bool out, const TRequest& r) {
            events << qMakePair(out, bytesOf(r.Data.data(), r.Length));
        };
        port.setPortName(peer.slavePath());
        port.setInputTimeout(lineTimeoutMs);
        port.SuspendPolling();
        QVERIFY(!lineTimeoutMs || port.OpenPort());
    }
    TModbusParameter& add(QChar type, int index, TModbusSpace* to = nullptr) {
        params.push_back(std::make_unique<TModbusParameter>());
        params.back()->setIndex(quint16(index));
        params.back()->setParamType(TModbusParamType(QString("SWIH").indexOf(type)));
        params.back()->setModbusSpace(to ? to : &space);
        return *params.back();
    }
};

struct Line {
    const char* frame; // data bits, parity (N O E M S) and stop bits (1, 1.5, 2): "7E2"
    quint32 rate;
    THwFlowControl hw;
    bool xon;
    uint cflag; // the size, parity, stop and handshake bits
};

struct Poll {
    int packetSize, packetTimeout;
    TPacketMode mode;
    QByteArray bytes;
    QList<QByteArray> delivered; // "D" data or "P" packet, and the bytes
};

struct Reply {
    QByteArray bytes;
    int piece, gapMs;
    QString failure; // as a message names it; empty: the reply is taken
};

struct Scenario {
    const char* types;
    const char* steps; // see scenarios()
    QStringList requests;
};

} // namespace

Q_DECLARE_METATYPE(Line)
Q_DECLARE_METATYPE(Poll)
Q_DECLARE_METATYPE(Reply)
Q_DECLARE_METATYPE(Scenario)

class tst_ModbusLine : public QObject {
    Q_OBJECT
private slots:
    void cleanup() { QLocale::setDefault(QLocale::c()); }

    void lineSettings_data() {
        using H = THwFlowControl;
        // clang-format off
        addCases<Line>({
            {"8N1",      {"8N1", 56000, H::hfNONERTSON, false, CS8}},
            {"5N1.5",    {"5N1.5", 110, H::hfNONE, false, CS5 | CSTOPB}},
            {"6O1",      {"6O1", 300, H::hfNONE, false, CS6 | PARENB | PARODD}},
            {"7E2",      {"7E2", 19200, H::hfNONE, false, CS7 | PARENB | CSTOPB}},
            {"mark",     {"8M1", 9600, H::hfNONE, false, CS8 | PARENB | PARODD | CMSPAR}},
            {"space",    {"8S1", 9600, H::hfNONE, false, CS8 | PARENB | CMSPAR}},
            {"rts/cts",  {"8N2", 250000, H::hfRTSCTS, false, CS8 | CSTOPB | CRTSCTS}},
            {"xon/xoff", {"8N1", 38400, H::hfNONE, true, CS8}},
        });
        // clang-format on
    }

    void lineSettings() {
        QFETCH(Line, c);
        Bench p("");
        QVERIFY(p.port.OpenPort()); // each setting is applied at once
        p.port.setBaudRateValue(c.rate);
        p.port.setDataBits(TDataBits(c.frame[0] - '5'));
        p.port.setParity(TParity(QByteArray("NOEMS").indexOf(c.frame[1])));
        p.port.setStopBits(TStopBits(QByteArrayList{"1", "1.5", "2"}.indexOf(c.frame + 2)));
        p.port.setHwFlow(c.hw);
        p.port.setSwFlow(c.xon ? TSwFlowControl::sfXONXOFF : TSwFlowControl::sfNONE);
        // From a cooked terminal with every flag the raw mode must clear.
        const TSerialTermiosImage cooked{ICRNL | IXON | IXOFF | INPCK | ISTRIP | BRKINT,
                                         OPOST | ONLCR,
                                         CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL | B38400,
                                         ICANON | ECHO | ISIG | IEXTEN};
        const auto t = EncodeLineSettings(p.port.LineSettings(), cooked);
        QVERIFY(t);
        const uint bother = 0010000; // BOTHER of <asm/termbits.h>: the rate in the speed fields
        QCOMPARE(
            QList<uint>({t->cflag & (CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS),
                         t->cflag & (CREAD | CLOCAL | HUPCL | CBAUD), t->iflag, t->oflag,
                         t->lflag}),
            QList<uint>({c.cflag, CREAD | CLOCAL | bother, c.xon ? IXON | IXOFF : 0u, ONLCR, 0}));
        QCOMPARE(QList<uint>({t->ispeed, t->ospeed, t->vstart, t->vstop, t->vmin, t->vtime}),
                 QList<uint>({c.rate, c.rate, 17, 19, 1, 0}));
        // On the port: a pty keeps the rate, stop bits and flow control.
        const bool two = c.cflag & CSTOPB;
        const auto s = ReadLineSettings(p.port.Handle());
        QCOMPARE(QList<uint>({s->BaudRate, s->StopBits, s->RtsCtsHandshake, s->XonXoff}),
                 QList<uint>({c.rate, two ? 2u : 0u, c.hw == THwFlowControl::hfRTSCTS, c.xon}));
        p.port.setStopBits(two ? TStopBits::sb1BITS : TStopBits::sb2BITS);
        QCOMPARE(int(ReadLineSettings(p.port.Handle())->StopBits), two ? 0 : 2);
    }

    void opening() {
        TempConfigHome home;
        const QString ports = home.path() + "/Belmat/Quillmark/ports";
        QVERIFY(QDir().mkpath(ports));
        TSerialPortDriver d;
        char buffer[4] = {};
        QVERIFY(!d.PurgeQueues(true, true) && !d.ApplyLineSettings() && d.OutputRoom() == -1);
        QVERIFY(d.WriteBytes(buffer, 4) + d.ReadBytes(buffer, 4) == 0 && d.BytesWaiting() == 65535);
        QVERIFY(!ReadLineSettings(-1) && !WriteLineSettings(-1, d.LineSettings()));
        QCOMPARE(d.RxTime(33), 34); // 33 characters of 10 bits at 9600 bit/s
        d.setPort(250);
        QCOMPARE(d.PortName(), QString("/dev/ttyS249"));
        QVERIFY(!d.OpenPort());
        d.setPortName("/dev/null"); // not a terminal
        QVERIFY(!d.OpenPort());

        // A numbered port is looked up again when opened: a device back on another line under
        // the same link is found. Nobody else may open it then.
        PtyPeer first, second;
        QVERIFY(QFile::link(first.slavePath(), ports + "/COM4"));
        d.setPort(4);
        QCOMPARE(d.PortName(), first.slavePath());
        QVERIFY(QFile::remove(ports + "/COM4"));
        QVERIFY(QFile::link(second.slavePath(), ports + "/COM4"));
        const QByteArray path = QFile::encodeName(second.slavePath());
        QVERIFY(::chmod(path.constData(), 0666) == 0 && othersCanOpen(path));
        d.setBaudRateValue(0); // would hang the line up
        QVERIFY(!d.OpenPort() && !d.IsOpen());
        d.setBaudRateValue(9600);
        QVERIFY(d.OpenPort() && !othersCanOpen(path));
        d.setPort(5);
        d.setPortName("/dev/null");
        QCOMPARE(d.PortName(), second.slavePath()); // fixed while open

        // Opening again touches nothing; purging the output keeps the input.
        d.SuspendPolling(); // or the receive path would take the bytes
        second.send("abc").start();
        QTRY_COMPARE(d.BytesWaiting(), 3u);
        QVERIFY(d.OpenPort() && d.PurgeQueues(false, true) && d.BytesWaiting() == 3);
        QVERIFY(d.PurgeQueues(true, false) && d.BytesWaiting() == 0);
        d.ClosePort();
        QVERIFY(othersCanOpen(path)); // the mark is lifted on close
    }

    void closeRestoresTheLineSettings() {
        // A terminal opened by mistake is left as it was found.
        PtyPeer peer;
        const int fd = ::open(QFile::encodeName(peer.slavePath()).constData(), O_RDWR | O_NOCTTY);
        termios before{}, raw{}, after{};
        QVERIFY(fd >= 0 && ::tcgetattr(fd, &before) == 0);
        before.c_lflag |= ICANON | ECHO;
        cfsetospeed(&before, B4800);
        QCOMPARE(::tcsetattr(fd, TCSANOW, &before), 0);
        TSerialPortDriver d;
        d.setPortName(peer.slavePath());
        QVERIFY(d.OpenPort() && ::tcgetattr(fd, &raw) == 0 && !(raw.c_lflag & ICANON));
        d.ClosePort();
        QCOMPARE(::tcgetattr(fd, &after), 0);
        ::close(fd);
        QCOMPARE(after.c_lflag & (ICANON | ECHO), tcflag_t(ICANON | ECHO));
        QCOMPARE(cfgetospeed(&after), speed_t(B4800));
    }

    void writeBytes() {
        Bench p("");
        const QByteArray data = QByteArray("0123456789abcdefghijklmnopqrstuvwxyz").repeated(28);
        p.peer.expect(data).start();
        p.port.setOutBufSize(100); // taken as 128, far less than the data: written in pieces
        QVERIFY(p.port.OpenPort());
        QCOMPARE(p.port.OutputRoom(), qint16(128));
        QCOMPARE(p.port.WriteBytes(data.constData(), int(data.size())), int(data.size()));
        QVERIFY(p.peer.wait() && p.peer.failures().isEmpty());
        // A pty has no modem lines: with the line-status check nothing goes out.
        p.port.setCheckLineStatus(true);
        QCOMPARE(p.port.WriteBytes(data.constData(), 8), 0);
        p.port.setCheckLineStatus(false);
        // Nobody reads any more: the call gives up once the time-out has passed without
        // progress, having waited without spinning.
        QByteArray flood(1 << 20, 'x');
        int n = 0;
        auto [ms, cpu] = cost([&] { n = p.port.WriteBytes(flood.data(), 1 << 20, 150); });
        QVERIFY2(n > 0 && n < (1 << 20) && ms >= 150 && ms < 2000 && cpu < 100,
                 qPrintable(QString("%1 bytes, %2 ms, %3 ms CPU").arg(n).arg(ms).arg(cpu)));
    }

    void pollPath_data() {
        using M = TPacketMode;
        const QByteArray x(150, 'x');
        // clang-format off
        addCases<Poll>({
            {"unpacketed",                    {-1, -1, M::pmDiscard, "abcdefg", {"Dabcdefg"}}},
            {"tail passed",                   {3, 60, M::pmPass, "abcdefg", {"Pabc", "Pdef", "Pg"}}},
            {"above the buffer, tail dropped", {150, 60, M::pmDiscard, x + x + "tail", {"P" + x, "P" + x}}},
        });
        // clang-format on
    }

    void pollPath() {
        QFETCH(Poll, c);
        Bench p("");
        p.port.setInBufSize(128);
        p.port.setPacketSize(qint16(c.packetSize));
        p.port.setPacketTimeout(c.packetTimeout);
        p.port.setPacketMode(c.mode);
        QList<QByteArray> got;
        p.port.OnReceiveData = [&](TSerialPortDriver*, const quint8* d, int n) {
            got << 'D' + bytesOf(d, n);
        };
        p.port.OnReceivePacket = [&](TSerialPortDriver*, const quint8* d, int n) {
            got << 'P' + bytesOf(d, n);
        };
        QVERIFY(p.port.OpenPort());
        p.port.setPollingDelay(10);
        p.peer.send(c.bytes).start();
        QTRY_COMPARE(p.port.BytesWaiting(), quint32(c.bytes.size())); // polling is suspended
        p.port.ResumePolling();
        QTRY_COMPARE(got.size(), c.delivered.size());
        QTest::qWait(3 * 60); // nothing more comes
        QCOMPARE(got, c.delivered);
        QCOMPARE(p.port.BytesWaiting(), 0u);
    }

    void replies_data() {
        QByteArray badCrc = blockReply(5), badData = blockReply(5), function = blockReply(5);
        QByteArray count = blockReply(5);
        badCrc[32] = char(badCrc[32] ^ 0x01);
        badData[10] = char(badData[10] ^ 0x40);
        function[1] = 4;
        count[2] = 26;
        // clang-format off
        addCases<Reply>({
            {"whole",          {blockReply(5), 0, 0, ""}},
            {"trickle",        {blockReply(5), 3, 20, ""}}, // longer than the time-out
            {"one byte short", {blockReply(5).left(32), 0, 0, "short reply (32 of 33 bytes)"}},
            {"silence",        {{}, 0, 0, "no reply"}},
            {"bad checksum",   {badCrc, 0, 0, "bad checksum"}},
            {"corrupted data", {badData, 0, 0, "bad checksum"}},
            {"other slave",    {blockReply(5, 7), 0, 0, "wrong slave"}},
            {"other function", {frames::withCrc(function.left(31)), 0, 0, "wrong function"}},
            {"byte count",     {frames::withCrc(count.left(31)), 0, 0, "wrong byte count"}},
            {"exception",      {frames::withCrc(QByteArray::fromHex("018302")), 0, 0, "exception 2"}},
        });
        // clang-format on
    }

    void replies() {
        QFETCH(Reply, c);
        // Both encoders give the CRC-16/MODBUS check value of the CRC catalogue.
        QCOMPARE(ModbusCrc16(reinterpret_cast<const quint8*>("123456789"), 9), quint16(0x4B37));
        QCOMPARE(frames::crc16("123456789"), quint16(0x4B37));
        Bench b(QString(14, 'W'), 150);
        b.space.setReadDue(true);
        b.peer.expect(BlockRead).send(c.bytes, c.gapMs, c.piece).start();
        const bool ok = c.failure.isEmpty();
        const auto [ms, cpu] = cost([&] { QCOMPARE(b.space.RefreshWithRetries(), ok); });
        // A taken reply and an exception end the exchange at once; after any other the line
        // must first stay quiet for the time-out. Waited for in poll(), costing no CPU.
        const bool atOnce = ok || c.failure.startsWith("exception");
        QVERIFY2((atOnce ? ms < (ok ? 1000 : 150) : ms >= 150) && cpu < 40,
                 qPrintable(QString("%1 %2").arg(ms).arg(cpu)));
        QCOMPARE(ExchangeFailureText(b.line.LastStatus()), c.failure);
        QVERIFY(b.peer.wait());
        QCOMPARE(b.peer.failures(), QStringList());
        QCOMPARE(b.events.value(0), qMakePair(true, BlockRead));
        QCOMPARE(b.events.size() - 1, int(c.bytes.size() == 33));
        // The image takes the data of an accepted reply only.
        QCOMPARE(bytesOf(b.space.Image(), 28), ok ? c.bytes.mid(3, 28) : QByteArray(28, '\0'));
    }

    void staleInputDiscarded() {
        // The first reply comes just after the time-out, the next ones are of the same length:
        // none may be taken for the answer to a later request.
        Bench b(QString(14, 'W'), 100);
        b.space.setRefreshIAC(true);
        b.peer.expect(BlockRead).send(blockReply(1), 130).expect(BlockRead).send(blockReply(2));
        b.peer.expect(BlockRead).send(blockReply(3)).start();
        QVERIFY(!b.space.RefreshWithRetries());
        QVERIFY(b.space.RefreshWithRetries() && b.params[1]->Data()->AsWord() == 2);
        QVERIFY(b.space.RefreshWithRetries() && b.params[1]->Data()->AsWord() == 3);
    }

    void waitCountsTheRequestsWireTime() {
        // At 300 bit/s the 8-byte request alone is on the wire for 294 ms, longer than the
        // time-out: the wait for the reply starts when the request has left.
        Bench b(QString(14, 'W'), 100);
        b.port.setBaudRateValue(300);
        b.space.setRefreshIAC(true);
        b.peer.expect(BlockRead).send(blockReply(1), 100 + 294 / 2).start();
        QVERIFY(b.space.RefreshWithRetries());
    }

    void peerHangsUp() {
        // Half a reply, then the line is gone: this and every later exchange fail at once.
        Bench b(QString(14, 'W'), 2000);
        b.space.setRefreshIAC(true);
        b.peer.expect(BlockRead).send(blockReply(1).left(10)).hangUp(20).start();
        const auto [ms, cpu] = cost([&] {
            QVERIFY(!b.space.RefreshWithRetries() && b.peer.wait());
            b.params[1]->Data()->setAsWord(9);
            QVERIFY(!b.space.FlushWithRetries() && !b.space.RefreshWithRetries());
        });
        QVERIFY(ms < 1000 && b.params[1]->Modified() && b.port.LineLost());
        b.port.ClosePort(); // a new line behind the same name opens afresh
        PtyPeer again;
        b.port.setPortName(again.slavePath());
        QVERIFY(b.port.OpenPort() && !b.port.LineLost());
    }

    void refusedWithoutTraffic() {
        // Blocks larger than a frame carries: 128 registers are not written, 256 not read.
        Bench b(QString(64, 'S'), 100);
        b.space.setWriteIAC(true);
        b.space.setSingleWriteMode(false);
        b.peer.expect({}, 300).start();
        QVERIFY(!b.space.FlushWithRetries());
        for (int i = 0; i < 64; ++i)
            b.add('S', 64);
        QVERIFY(!b.space.ReadBlock());
        TRequest r;
        QVERIFY(!BuildReadRequest(r, 1, 0, 256) && !BuildWriteRequest(r, 1, 0, 128, r.Data.data()));
        BuildReadRequest(r, 1, 0, 1);
        QVERIFY(!b.line.Transact(r, TRequest::Capacity + 1) && !TModbusTransport().Transact(r, 7));
        b.port.ClosePort();
        QVERIFY(!b.line.Transact(r, 7));
        b.line.setBus(std::make_unique<TSerialPortDriver>().get()); // a port destroyed at once
        QVERIFY(b.line.Bus() == nullptr && !b.line.Transact(r, 7));
        QVERIFY(b.peer.wait() && b.events.isEmpty() && b.peer.failures().isEmpty());
    }

    void scenarios_data() {
        // The value steps act on the middle parameter of "WSW", so that a stray write shows.
        // clang-format off
        addCases<Scenario>({
            {"single write",           {"WHI", "set=1 refreshIAC R=ok shows modified=000 after=1", {"W 12289 1", "R 12288 4"}}},
            {"integer is 2 registers", {"WHI", "set=2 set=0 refreshIAC R=ok shows", {"W 12288 1", "W 12290 2", "R 12288 4"}}},
            {"single, write IAC",      {"WHS", "writeIAC refreshIAC R=ok shows", {"W 12288 1", "W 12289 1", "W 12290 2", "R 12288 4"}}},
            {"block write",            {"WHI", "block set=2 refreshIAC R=ok shows modified=000", {"W 12288 4", "R 12288 4"}}},
            {"block, write IAC",       {"I", "block writeIAC refreshIAC R=ok", {"W 12288 2", "R 12288 2"}}},
            {"empty block, write IAC", {"", "block writeIAC refreshIAC R=ok", {"R 12288 0"}}},
            // Two registers per read, whatever the type; a write-only parameter is not read.
            {"single read",            {"IWWH", "writeOnly=1 singleRead refreshIAC R=ok shows", {"R 12288 2", "R 12291 2", "R 12292 2"}}},
            {"block read",             {"IWWH", "writeOnly=1 refreshIAC R=ok shows", {"R 12288 5"}}},
            {"failed write",           {"WWW", "set=0 set=1 set=2 silent=1 F=fail modified=011 after=0 F=ok modified=000 after=1", {"W 12288 1", "W 12289 1", "W 12289 1", "W 12290 1"}}},
            {"spoilt block write",     {"WW", "block set=1 spoil=0 F=fail modified=01 F=ok", {"W 12288 2", "W 12288 2"}}},
            {"failed read",            {"WWW", "singleRead due silent=1 R=fail R=ok", {"R 12288 2", "R 12289 2"}}}, // no longer due
            {"read when due",          {"WW", "R=ok interval=20 waitDue interval=0 F=ok R=ok after=3 R=ok", {"R 12288 2"}}},
            {"retries",                {"W", "refreshIAC retries=1 silent=0 silent=1 silent=2 R=fail R=ok after=1", {"R 12288 1", "R 12288 1", "R 12288 1", "R 12288 1"}}},
            {"disabled",               {"W", "set=0 refreshIAC off R=fail F=fail modified=1 after=0", {}}},
            {"no transport",           {"W", "set=0 refreshIAC unlinked R=fail F=fail modified=1", {}}},
            {"slave",                  {"W", "set=0 refreshIAC slave R=fail F=fail modified=1 after=0", {}}},
            {"dword 3210",             {"WSW", "dword=11223344 reads=11223344 bytes=0000112233440000 modified=010", {}}},
            {"dword 0123",             {"WSW", "order=1 dword=11223344 reads=11223344 bytes=0000334411220000", {}}},
            {"dword 1032",             {"WSW", "order=2 dword=11223344 reads=11223344 bytes=0000221144330000", {}}},
            {"dword 2301",             {"WSW", "order=3 dword=11223344 reads=11223344 bytes=0000443322110000", {}}},
            {"word 3210",              {"WSW", "word=1234 bytes=0000123400000000", {}}},
            {"word, low byte first",   {"WSW", "order=1 word=1234 bytes=0000341200000000", {}}},
            {"word 2301",              {"WSW", "order=3 word=1234 bytes=0000341200000000", {}}},
            {"word keeps low 16 bits", {"WSW", "order=2 word=12345 bytes=0000452300000000", {}}},
            {"single",                 {"WSW", "order=3 single=-2 reads=-2.0 bytes=0000000000C00000", {}}},
            {"equal changes nothing",  {"WSW", "order=1 load=33441122 dword=11223344 word=4433 modified=000", {}}},
            {"equal keeps the flag",   {"WSW", "load=3FC00000 flag single=1.5 modified=010", {}}},
            // Value texts with a point, whatever the locale's separator (read in C's own).
            {"format",                 {"", "locale=de_DE format=#,##0.00:1234.5:1.234.50 locale=fr_FR format=0.00:9.999:10.00", {}}},
            {"format exponents",       {"", "locale=C format=0.00E+00:12345:1.23E+04 format=0.0E-0:0.00123:1.2E-3", {}}},
            {"format sections",        {"", "locale=C format=0.0;(0.0);'zero':-2:(2.0) format=0.0;(0.0);'zero':0:zero", {}}},
            {"format literals",        {"", "locale=C format='x='0.0'V':5:x=5.0V format=#.##:0.5:.5 format=0.0:-inf:-INF", {}}},
            {"format, ru_RU",          {"", "locale=ru_RU format=0.00:-0.25:-0.25 locale=C format=0.0:2.5:2.5", {}}},
            {"parse",                  {"", "locale=de_DE parse=_-0.5_:-0.5 parse=12,5:12.5 parse=1.2.3:0 locale=ru_RU parse=1e3:1000", {}}},
            {"parse refused",          {"", "locale=C parse=abc:0 parse=1e60:0 parse=1,000:0", {}}},
            {"replace",                {"", "replace=aaa:aa:b:ba replace=a.b::x:a.b replace=x:x:x:x", {}}}, // from the left
        });
        // clang-format on
    }

    void scenarios() {
        QFETCH(Scenario, c);
        Bench b(c.types);
        TModbusSpace& s = b.space;
        TModbusData* middle = b.params.size() > 1 ? b.params[1]->Data() : nullptr;
        QString arg;
        QSet<int> set;
        auto number = [&] { return arg.toUInt(nullptr, 16); };
        auto part = [&](int k) { return arg.section(':', k, k); };
        // What was written reached the device, and what was read shows the device's registers.
        auto shows = [&] {
            for (int i = 0; i < int(b.params.size()); ++i) {
                const quint16 reg = b.device.registers[b.params[i]->RegisterAddress()];
                const bool unread =
                    s.SingleReadMode() && b.params[i]->Access() == TModbusParamAccess::mpaWriteOnly;
                QCOMPARE(b.params[i]->Data()->AsWord(), unread ? quint16(0) : reg);
                QVERIFY(!set.contains(i) || reg == 0xA000 + i);
            }
        };
        // clang-format off
        const std::map<QString, std::function<void()>> steps = {
            {"block",      [&] { s.setSingleWriteMode(false); }},
            {"singleRead", [&] { s.setSingleReadMode(true); }},
            {"writeIAC",   [&] { s.setWriteIAC(true); }},
            {"refreshIAC", [&] { s.setRefreshIAC(true); }},
            {"due",        [&] { s.setReadDue(true); }},
            {"off",        [&] { s.setEnabled(false); }},
            {"slave",      [&] { s.setIsSlave(true); }},
            {"unlinked",   [&] { s.setModbusTransport(nullptr); }},
            {"retries",    [&] { s.setRetryCount(arg.toInt()); }},
            {"interval",   [&] { s.setReadInterval(arg.toInt()); }},
            {"waitDue",    [&] { QTRY_VERIFY(s.ReadDue()); }},
            {"writeOnly",  [&] { b.params[arg.toInt()]->setAccess(TModbusParamAccess::mpaWriteOnly); }},
            {"silent",     [&] { b.device.silentAt << arg.toInt(); }},
            {"spoil",      [&] { b.device.corruptAt << arg.toInt(); }},
            {"set",        [&] { b.params[*set.insert(arg.toInt())]->Data()->setAsWord(0xA000 + arg.toInt()); }},
            {"R",          [&] { QCOMPARE(s.RefreshWithRetries(), arg == "ok"); }},
            {"F",          [&] { QCOMPARE(s.FlushWithRetries(), arg == "ok"); }},
            {"after",      [&] { QCOMPARE(b.afterRefresh, arg.toInt()); }},
            {"shows",      shows},
            {"modified",   [&] { QCOMPARE(std::accumulate(b.params.begin(), b.params.end(), QString(), [](QString f, auto& p) { return f + (p->Modified() ? '1' : '0'); }), arg); }},
            {"order",      [&] { b.params[1]->setByteOrder(TModbusParamByteOrder(arg.toInt())); }},
            {"load",       [&] { std::ranges::copy(QByteArray::fromHex(arg.toLatin1()), s.Image() + 2); }},
            {"flag",       [&] { b.params[1]->setModified(true); }},
            {"word",       [&] { middle->setAsWord(number()); }},
            {"dword",      [&] { middle->setAsDWord(number()); }},
            {"single",     [&] { middle->setAsSingle(arg.toFloat()); }},
            {"reads",      [&] { QCOMPARE(arg.contains('.') ? middle->AsSingle() : double(middle->AsDWord()), arg.contains('.') ? arg.toDouble() : number()); }},
            {"bytes",      [&] { QCOMPARE(bytesOf(s.Image(), 8).toHex().toUpper(), arg.toLatin1()); }},
            {"locale",     [&] { QLocale::setDefault(QLocale(arg)); QCOMPARE(DecimalSeparatorText(), QLocale().decimalPoint()); }},
            {"format",     [&] { QCOMPARE(FormatFloatDot(part(0), part(1).toFloat()), part(2)); }},
            {"parse",      [&] { QCOMPARE(StrToFloatDot(part(0).replace('_', ' ')), part(1).toFloat()); }},
            {"replace",    [&] { QCOMPARE(ReplaceAll(part(0), part(1), part(2)), part(3)); }},
        };
        // clang-format on
        for (const QString& step : QString(c.steps).split(' ')) {
            arg = step.section('=', 1);
            QVERIFY2(steps.count(step.section('=', 0, 0)), qPrintable(step));
            steps.at(step.section('=', 0, 0))();
            if (QTest::currentTestFailed())
                QFAIL(qPrintable("at " + step));
        }
        QCOMPARE(b.device.described(), c.requests);
    }

    void parameterLifetime() {
        // Laid out by index, equal indices in the order of attaching; a destroyed parameter
        // leaves and the rest close up.
        auto space = std::make_unique<TModbusSpace>();
        Bench b("");
        TModbusParameter &s = b.add('S', 5, space.get()), &w = b.add('W', 5, space.get());
        b.add('I', 1, space.get());
        w.setModbusSpace(space.get()); // listed once
        QVERIFY(s.RegisterAddress() == 4098 && w.RegisterAddress() == 4100 &&
                space->RegisterCount() == 5);
        b.params.pop_back();
        QVERIFY(s.RegisterAddress() == 4096 && w.RegisterAddress() == 4098 &&
                space->RegisterCount() == 3);
        space.reset(); // leaves its parameters without one: they read 0 and take nothing
        w.Data()->setAsWord(7);
        QVERIFY(w.ModbusSpace() == nullptr && w.Data()->AsWord() == 0 && !w.Modified());
        for (int i = 0; i < 257; ++i) // registers past the image: the same
            b.add('I', 2).Data()->setAsDWord(5);
        QVERIFY(b.params.back()->Data()->AsDWord() == 0 && !b.params.back()->Modified());
    }
};

QTEST_GUILESS_MAIN(tst_ModbusLine)
#include "tst_ModbusLine.moc"
