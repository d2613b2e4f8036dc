#include "comm/SerialLineSettings.h"
#include "comm/SerialPortDriver.h"

#include "PtyPeer.h"
#include "TempConfigHome.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTest>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

using namespace zorvan;
using zorvan::test::PtyPeer;
using zorvan::test::TempConfigHome;

Q_DECLARE_METATYPE(zorvan::TBaudRate)
Q_DECLARE_METATYPE(zorvan::TDataBits)
Q_DECLARE_METATYPE(zorvan::TParity)
Q_DECLARE_METATYPE(zorvan::TStopBits)
Q_DECLARE_METATYPE(zorvan::THwFlowControl)
Q_DECLARE_METATYPE(zorvan::TSwFlowControl)
Q_DECLARE_METATYPE(zorvan::TPacketMode)

namespace {

double threadCpuMs() {
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// Runs fn in a child process as an unprivileged user (the exclusive-open mark does not stop
// root); its exit status is fn's result.
bool asUnprivileged(const std::function<bool()>& fn) {
    const pid_t pid = fork();
    if (pid == 0) {
        if (getuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            _exit(3);
        _exit(fn() ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

} // namespace

class tst_SerialPortDriver : public QObject {
    Q_OBJECT
private slots:
    void closedPort();
    void clamps_data();
    void clamps();
    void baudRates_data();
    void baudRates();
    void portNaming_data();
    void portNaming();
    void settingsFixedWhileOpen();
    void openFailures();
    void exclusiveOpen();
    void encodedLineSettings_data();
    void encodedLineSettings();
    void lineSettingsOnPty_data();
    void lineSettingsOnPty();
    void settingChangeReappliesWhileOpen();
    void readBytes_data();
    void readBytes();
    void hangUpEndsTransfers();
    void relinkedPortFollowedOnOpen();
    void silentWaitCostsNoCpu();
    void writeBytesAndLineStatus();
    void writeInPiecesAndTimeOut();
    void purgeAndQueues();
    void pollPath_data();
    void pollPath();
    void rxTime_data();
    void rxTime();
};

void tst_SerialPortDriver::closedPort() {
    TSerialPortDriver d;
    QCOMPARE(d.IsOpen(), false);
    QCOMPARE(d.BytesWaiting(), 65535u);
    QCOMPARE(d.OutputRoom(), qint16(-1));
    QVERIFY(!d.ModemLines());
    char buffer[4] = {1, 2, 3, 4};
    QCOMPARE(d.WriteBytes(buffer, 4), 0);
    QCOMPARE(d.ReadBytes(buffer, 4), 0);
    QVERIFY(!d.PurgeQueues(true, true));
    QVERIFY(!d.ApplyLineSettings());
    d.ClosePort(); // nothing to close: no effect
    QCOMPARE(d.IsOpen(), false);
}

void tst_SerialPortDriver::clamps_data() {
    QTest::addColumn<QString>("property");
    QTest::addColumn<int>("value");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("xonLimit");
    QTest::newRow("in 100") << "in" << 100 << 128 << 32;
    QTest::newRow("in 127") << "in" << 127 << 128 << 32;
    QTest::newRow("in 2048") << "in" << 2048 << 2048 << 512;
    QTest::newRow("in 8193") << "in" << 8193 << 8192 << 2048;
    QTest::newRow("in 20000") << "in" << 20000 << 8192 << 2048;
    QTest::newRow("in 10000") << "in" << 10000 << 8192 << 2048;
    QTest::newRow("out 100") << "out" << 100 << 128 << 512;
    QTest::newRow("out 10000") << "out" << 10000 << 8192 << 512;
    QTest::newRow("out 3000") << "out" << 3000 << 3000 << 512;
    QTest::newRow("poll 2") << "poll" << 2 << 5 << 512;
    QTest::newRow("poll 0") << "poll" << 0 << 5 << 512;
    QTest::newRow("poll 5") << "poll" << 5 << 5 << 512;
    QTest::newRow("poll 6") << "poll" << 6 << 6 << 512;
}

void tst_SerialPortDriver::clamps() {
    QFETCH(QString, property);
    QFETCH(int, value);
    QFETCH(int, stored);
    QFETCH(int, xonLimit);
    TSerialPortDriver d;
    if (property == "in") {
        d.setInBufSize(quint32(value));
        QCOMPARE(int(d.InBufSize()), stored);
    } else if (property == "out") {
        d.setOutBufSize(quint32(value));
        QCOMPARE(int(d.OutBufSize()), stored);
    } else {
        d.setPollingDelay(quint16(value));
        QCOMPARE(int(d.PollingDelay()), stored);
    }
    QCOMPARE(int(d.LineSettings().XonLim), xonLimit);
    QCOMPARE(int(d.LineSettings().XoffLim), xonLimit);
}

void tst_SerialPortDriver::baudRates_data() {
    QTest::addColumn<TBaudRate>("rate");
    QTest::addColumn<quint32>("bits");
    const quint32 table[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                             19200, 38400, 56000, 57600, 115200, 128000, 256000};
    for (int i = 1; i <= 15; ++i)
        QTest::addRow("%u", table[i - 1]) << TBaudRate(i) << table[i - 1];
}

void tst_SerialPortDriver::baudRates() {
    QFETCH(TBaudRate, rate);
    QFETCH(quint32, bits);
    TSerialPortDriver d;
    d.setBaudRateValue(1234);
    QCOMPARE(d.BaudRate(), TBaudRate::brCustom);
    d.setBaudRate(rate);
    QCOMPARE(d.BaudRate(), rate);
    QCOMPARE(d.BaudRateValue(), bits);
    QCOMPARE(d.LineSettings().BaudRate, bits);
    // brCustom keeps whatever value was there.
    d.setBaudRate(TBaudRate::brCustom);
    QCOMPARE(d.BaudRateValue(), bits);
}

void tst_SerialPortDriver::portNaming_data() {
    QTest::addColumn<int>("port");
    QTest::addColumn<QString>("link"); // target of ports/COM<port>, relative to the scratch dir
    QTest::addColumn<QString>("expected");
    QTest::newRow("COM1") << 1 << ""
                          << "/dev/ttyS0";
    QTest::newRow("COM12") << 12 << ""
                           << "/dev/ttyS11";
    QTest::newRow("COM255") << 255 << ""
                            << "/dev/ttyS254";
    QTest::newRow("linked") << 3 << "dev/ttyUSB0"
                            << "@dev/ttyUSB0";
    QTest::newRow("linked 200") << 200 << "by-id/usb-x"
                                << "@by-id/usb-x";
}

void tst_SerialPortDriver::portNaming() {
    QFETCH(int, port);
    QFETCH(QString, link);
    QFETCH(QString, expected);
    TempConfigHome home;
    if (!link.isEmpty()) {
        // The target need not exist: a dangling link still names the port.
        QVERIFY(QDir().mkpath(home.path() + "/Belmat/Quillmark/ports"));
        QVERIFY(QFile::link(home.path() + "/" + link,
                            home.path() + QString("/Belmat/Quillmark/ports/COM%1").arg(port)));
        expected.replace("@", home.path() + "/");
    }
    TSerialPortDriver d;
    d.setPort(quint8(port));
    QCOMPARE(int(d.Port()), port);
    QCOMPARE(d.PortName(), expected);
    // Port 0 leaves the name as it was; a name makes the port custom.
    d.setPort(TPortNumber::pnCustom);
    QCOMPARE(d.PortName(), expected);
    d.setPortName("/dev/ttyACM0");
    QCOMPARE(int(d.Port()), 0);
    QCOMPARE(d.PortName(), QString("/dev/ttyACM0"));
}

void tst_SerialPortDriver::settingsFixedWhileOpen() {
    PtyPeer peer;
    QVERIFY(peer.isValid());
    TSerialPortDriver d;
    d.setPortName(peer.slavePath());
    QVERIFY(d.OpenPort());
    d.setPort(5);
    QCOMPARE(int(d.Port()), 0);
    QCOMPARE(d.PortName(), peer.slavePath());
    d.setPortName("/dev/null");
    QCOMPARE(d.PortName(), peer.slavePath());
    d.setInBufSize(4096);
    d.setOutBufSize(4096);
    QCOMPARE(d.InBufSize(), 2048u);
    QCOMPARE(d.OutBufSize(), 2048u);
    QCOMPARE(d.OutputRoom(), qint16(2048));

    // Opening an open port touches nothing: queued input survives.
    peer.send("abc").start();
    QVERIFY(peer.wait());
    QTRY_COMPARE(d.BytesWaiting(), 3u);
    QVERIFY(d.OpenPort());
    QCOMPARE(d.BytesWaiting(), 3u);
    d.ClosePort();
    QVERIFY(!d.IsOpen());
    d.setInBufSize(4096);
    QCOMPARE(d.InBufSize(), 4096u);
}

void tst_SerialPortDriver::openFailures() {
    TSerialPortDriver d;
    d.setPortName("/nonexistent/ttyZ9");
    QVERIFY(!d.OpenPort());
    QVERIFY(!d.IsOpen());
    // A file that is not a terminal refuses the line settings.
    const QString file = QString(ZORVAN_TEST_OUTPUT_DIR) + "/not-a-tty";
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    d.setPortName(file);
    QVERIFY(!d.OpenPort());
    QVERIFY(!d.IsOpen());
    // A numbered port without a link goes to /dev/ttyS<n-1>; port 250 is not there.
    TempConfigHome home;
    d.setPort(250);
    QVERIFY(!d.OpenPort());
    QCOMPARE(d.PortName(), QString("/dev/ttyS249"));
}

void tst_SerialPortDriver::exclusiveOpen() {
    PtyPeer peer;
    QVERIFY(peer.isValid());
    const QByteArray path = QFile::encodeName(peer.slavePath());
    QVERIFY(::chmod(path.constData(), 0666) == 0);
    auto canOpen = [path] {
        const int fd = ::open(path.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd < 0)
            return false;
        ::close(fd);
        return true;
    };
    QVERIFY(asUnprivileged(canOpen));
    TSerialPortDriver d;
    d.setPortName(peer.slavePath());
    QVERIFY(d.OpenPort());
    QVERIFY(!asUnprivileged(canOpen));
    d.ClosePort();
    // The mark is lifted on close: the next program can have the port.
    QVERIFY(asUnprivileged(canOpen));
    QVERIFY(d.OpenPort());
}

void tst_SerialPortDriver::encodedLineSettings_data() {
    QTest::addColumn<TDataBits>("dataBits");
    QTest::addColumn<TParity>("parity");
    QTest::addColumn<TStopBits>("stopBits");
    QTest::addColumn<THwFlowControl>("hw");
    QTest::addColumn<TSwFlowControl>("sw");
    QTest::addColumn<uint>("cflagMask"); // the bits compared
    QTest::addColumn<uint>("cflag");
    QTest::addColumn<uint>("iflag"); // IXON | IXOFF part
    const uint parityBits = PARENB | PARODD | CMSPAR;
    QTest::newRow("8N1") << TDataBits::db8BITS << TParity::ptNONE << TStopBits::sb1BITS
                         << THwFlowControl::hfNONERTSON << TSwFlowControl::sfNONE
                         << uint(CSIZE | parityBits | CSTOPB | CRTSCTS) << uint(CS8) << 0u;
    QTest::newRow("5 bits, 1.5 stop")
        << TDataBits::db5BITS << TParity::ptNONE << TStopBits::sb1HALFBITS << THwFlowControl::hfNONE
        << TSwFlowControl::sfNONE << uint(CSIZE | CSTOPB) << uint(CS5 | CSTOPB) << 0u;
    QTest::newRow("6 bits odd") << TDataBits::db6BITS << TParity::ptODD << TStopBits::sb1BITS
                                << THwFlowControl::hfNONE << TSwFlowControl::sfNONE
                                << uint(CSIZE | parityBits) << uint(CS6 | PARENB | PARODD) << 0u;
    QTest::newRow("7 bits even 2 stop")
        << TDataBits::db7BITS << TParity::ptEVEN << TStopBits::sb2BITS << THwFlowControl::hfNONE
        << TSwFlowControl::sfNONE << uint(CSIZE | parityBits | CSTOPB)
        << uint(CS7 | PARENB | CSTOPB) << 0u;
    QTest::newRow("mark") << TDataBits::db8BITS << TParity::ptMARK << TStopBits::sb1BITS
                          << THwFlowControl::hfNONE << TSwFlowControl::sfNONE << parityBits
                          << uint(PARENB | PARODD | CMSPAR) << 0u;
    QTest::newRow("space") << TDataBits::db8BITS << TParity::ptSPACE << TStopBits::sb1BITS
                           << THwFlowControl::hfNONE << TSwFlowControl::sfNONE << parityBits
                           << uint(PARENB | CMSPAR) << 0u;
    QTest::newRow("rts/cts") << TDataBits::db8BITS << TParity::ptNONE << TStopBits::sb1BITS
                             << THwFlowControl::hfRTSCTS << TSwFlowControl::sfNONE << uint(CRTSCTS)
                             << uint(CRTSCTS) << 0u;
    QTest::newRow("xon/xoff") << TDataBits::db8BITS << TParity::ptNONE << TStopBits::sb1BITS
                              << THwFlowControl::hfNONE << TSwFlowControl::sfXONXOFF
                              << uint(CRTSCTS) << 0u << uint(IXON | IXOFF);
}

void tst_SerialPortDriver::encodedLineSettings() {
    QFETCH(TDataBits, dataBits);
    QFETCH(TParity, parity);
    QFETCH(TStopBits, stopBits);
    QFETCH(THwFlowControl, hw);
    QFETCH(TSwFlowControl, sw);
    QFETCH(uint, cflagMask);
    QFETCH(uint, cflag);
    QFETCH(uint, iflag);
    TSerialPortDriver d;
    d.setBaudRate(TBaudRate::br14400);
    d.setDataBits(dataBits);
    d.setParity(parity);
    d.setStopBits(stopBits);
    d.setHwFlow(hw);
    d.setSwFlow(sw);
    // Start from a cooked terminal with every flag the raw mode must clear.
    TSerialTermiosImage cooked;
    cooked.iflag = ICRNL | IXON | IXOFF | INPCK | ISTRIP | BRKINT;
    cooked.oflag = OPOST | ONLCR;
    cooked.lflag = ICANON | ECHO | ISIG | IEXTEN;
    cooked.cflag = CS7 | PARENB | PARODD | CSTOPB | CRTSCTS | HUPCL | B38400;
    const auto t = EncodeLineSettings(d.LineSettings(), cooked);
    QVERIFY(t.has_value());
    QCOMPARE(t->cflag & cflagMask, cflag);
    QCOMPARE(t->iflag & uint(IXON | IXOFF), iflag);
    QCOMPARE(t->iflag & uint(ICRNL | INPCK | ISTRIP | BRKINT), 0u);
    QCOMPARE(t->oflag & uint(OPOST), 0u);
    QCOMPARE(t->lflag & uint(ICANON | ECHO | ISIG | IEXTEN), 0u);
    QCOMPARE(t->cflag & uint(CREAD | CLOCAL), uint(CREAD | CLOCAL));
    QCOMPARE(t->cflag & uint(HUPCL), 0u);
    const uint other = 0010000; // BOTHER: the rate is taken from the speed fields
    QCOMPARE(t->cflag & uint(CBAUD), other);
    QCOMPARE(t->ospeed, 14400u);
    QCOMPARE(t->ispeed, 14400u);
    QCOMPARE(int(t->vstart), 17);
    QCOMPARE(int(t->vstop), 19);
    QCOMPARE(int(t->vmin), 1);
    QCOMPARE(int(t->vtime), 0);
    // Out of range settings are refused.
    TSerialLineSettings bad = d.LineSettings();
    bad.BaudRate = 0;
    QVERIFY(!EncodeLineSettings(bad, cooked));
}

void tst_SerialPortDriver::lineSettingsOnPty_data() {
    QTest::addColumn<quint32>("rate");
    QTest::addColumn<TStopBits>("stopBits");
    QTest::addColumn<THwFlowControl>("hw");
    QTest::addColumn<TSwFlowControl>("sw");
    const quint32 rates[] = {110,   300,   600,   1200,  2400,   4800,   9600,  14400,
                             19200, 38400, 56000, 57600, 115200, 128000, 256000};
    for (quint32 r : rates)
        QTest::addRow("rate %u", r)
            << r << TStopBits::sb1BITS << THwFlowControl::hfNONERTSON << TSwFlowControl::sfNONE;
    QTest::newRow("custom 250000")
        << 250000u << TStopBits::sb2BITS << THwFlowControl::hfNONE << TSwFlowControl::sfNONE;
    QTest::newRow("rts/cts") << 38400u << TStopBits::sb1BITS << THwFlowControl::hfRTSCTS
                             << TSwFlowControl::sfNONE;
    QTest::newRow("xon/xoff") << 38400u << TStopBits::sb1BITS << THwFlowControl::hfNONE
                              << TSwFlowControl::sfXONXOFF;
}

void tst_SerialPortDriver::lineSettingsOnPty() {
    QFETCH(quint32, rate);
    QFETCH(TStopBits, stopBits);
    QFETCH(THwFlowControl, hw);
    QFETCH(TSwFlowControl, sw);
    PtyPeer peer;
    QVERIFY(peer.isValid());
    TSerialPortDriver d;
    d.setPortName(peer.slavePath());
    d.setBaudRateValue(rate);
    d.setStopBits(stopBits);
    d.setHwFlow(hw);
    d.setSwFlow(sw);
    QVERIFY(d.OpenPort());
    const auto s = ReadLineSettings(d.Handle());
    QVERIFY(s.has_value());
    QCOMPARE(s->BaudRate, rate);
    QCOMPARE(int(s->StopBits), stopBits == TStopBits::sb1BITS ? 0 : 2);
    QCOMPARE(s->RtsCtsHandshake, hw == THwFlowControl::hfRTSCTS);
    QCOMPARE(s->XonXoff, sw == TSwFlowControl::sfXONXOFF);
    QCOMPARE(int(s->XonChar), 17);
    QCOMPARE(int(s->XoffChar), 19);
}

void tst_SerialPortDriver::settingChangeReappliesWhileOpen() {
    PtyPeer peer;
    QVERIFY(peer.isValid());
    TSerialPortDriver d;
    d.setPortName(peer.slavePath());
    QVERIFY(d.OpenPort());
    QCOMPARE(ReadLineSettings(d.Handle())->BaudRate, 9600u);
    d.setBaudRate(TBaudRate::br56000);
    QCOMPARE(ReadLineSettings(d.Handle())->BaudRate, 56000u);
    d.setStopBits(TStopBits::sb2BITS);
    QCOMPARE(int(ReadLineSettings(d.Handle())->StopBits), 2);
    d.setBaudRateValue(0); // a rate of 0 would hang the line up: refused, port stays open
    QVERIFY(d.IsOpen());
    QCOMPARE(ReadLineSettings(d.Handle())->BaudRate, 56000u);
}

void tst_SerialPortDriver::readBytes_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<int>("piece");
    QTest::addColumn<int>("gap");
    QTest::addColumn<int>("want");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<int>("got");
    QTest::addColumn<int>("minMs");
    QTest::addColumn<int>("maxMs");
    const QByteArray nine = PtyPeer::hex("01 02 03 04 05 06 07 08 09");
    QTest::newRow("whole") << nine << 9 << 0 << 9 << 1000 << 9 << 0 << 900;
    QTest::newRow("five then silence") << nine.left(5) << 5 << 0 << 9 << 150 << 5 << 140 << 1000;
    QTest::newRow("nothing") << QByteArray() << 1 << 0 << 4 << 100 << 0 << 90 << 1000;
    // Each gap is below the time-out, the whole reply takes far longer than it.
    QTest::newRow("trickle") << nine << 1 << 40 << 9 << 250 << 9 << 300 << 2000;
    QTest::newRow("pieces") << nine << 4 << 60 << 9 << 250 << 9 << 110 << 2000;
    QTest::newRow("more than asked") << nine << 9 << 0 << 3 << 1000 << 3 << 0 << 900;
}

void tst_SerialPortDriver::readBytes() {
    QFETCH(QByteArray, bytes);
    QFETCH(int, piece);
    QFETCH(int, gap);
    QFETCH(int, want);
    QFETCH(int, timeout);
    QFETCH(int, got);
    QFETCH(int, minMs);
    QFETCH(int, maxMs);
    PtyPeer peer;
    QVERIFY(peer.isValid());
    TSerialPortDriver d;
    d.setPortName(peer.slavePath());
    d.setInputTimeout(quint32(timeout));
    QVERIFY(d.OpenPort());
    if (!bytes.isEmpty())
        peer.sendSplit(bytes, piece, gap);
    peer.start();
    QByteArray buffer(want, '\0');
    QElapsedTimer clock;
    clock.start();
    const int n = d.ReadBytes(buffer.data(), want);
    const qint64 elapsed = clock.elapsed();
    QCOMPARE(n, got);
    QCOMPARE(buffer.left(n), bytes.left(n));
    QCOMPARE(d.PollPause(), 0);
    QVERIFY2(elapsed >= minMs && elapsed <= maxMs, qPrintable(QString::number(elapsed)));
    QVERIFY(peer.wait());
}

void tst_SerialPortDriver::hangUpEndsTransfers() {
    PtyPeer peer;
    QVERIFY(peer.isValid());
    TSerialPortDriver d;
    d.setPortName(peer.slavePath());
    d.setInputTimeout(3000);
    d.setOutputTimeout(3000);
    QVERIFY(d.OpenPort());
    peer.send(PtyPeer::hex("0A 0B 0C")).hangUp(50).start();
    char buffer[16];
    QElapsedTimer clock;
    clock.start();
    const int n = d.ReadBytes(buffer, 16);
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    QVERIFY(n <= 3); // what arrived before the hang-up, if the kernel kept it
    QVERIFY(d.LineLost());
    QVERIFY(peer.wait());
    clock.restart();
    QCOMPARE(d.ReadBytes(buffer, 16), 0);
    QCOMPARE(d.WriteBytes(buffer, 16), 0);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));
    d.ClosePort();
    QVERIFY(!d.IsOpen());
    // A new line behind the same name: the port opens afresh.
    PtyPeer again;
    d.setPortName(again.slavePath());
    QVERIFY(d.OpenPort());
    QVERIFY(!d.LineLost());
}

void tst_SerialPortDriver::relinkedPortFollowedOnOpen() {
    // A numbered port is looked up when opened: a device that came back on another pty under
    // the same ports/COMn link is found.
    TempConfigHome home;
    const QString ports = home.path() + "/Belmat/Quillmark/ports";
    QVERIFY(QDir().mkpath(ports));
    PtyPeer first, second;
    QVERIFY(QFile::link(first.slavePath(), ports + "/COM4"));
    TSerialPortDriver d;
    d.setPort(4);
    QCOMPARE(d.PortName(), first.slavePath());
    QVERIFY(QFile::remove(ports + "/COM4"));
    QVERIFY(QFile::link(second.slavePath(), ports + "/COM4"));
    QVERIFY(d.OpenPort());
    QCOMPARE(d.PortName(), second.slavePath());
    QCOMPARE(int(d.Port()), 4);
}

void tst_SerialPortDriver::silentWaitCostsNoCpu() {
    PtyPeer peer;
    QVERIFY(peer.isValid());
    TSerialPortDriver d;
    d.setPortName(peer.slavePath());
    d.setInputTimeout(400);
    QVERIFY(d.OpenPort());
    char buffer[8];
    const double cpu0 = threadCpuMs();
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(d.ReadBytes(buffer, 8), 0);
    const double cpu = threadCpuMs() - cpu0;
    QVERIFY(clock.elapsed() >= 395);
    QVERIFY2(cpu < 40.0, qPrintable(QString("%1 ms CPU").arg(cpu)));
}

void tst_SerialPortDriver::writeBytesAndLineStatus() {
    PtyPeer peer;
    QVERIFY(peer.isValid());
    const QByteArray frame = PtyPeer::hex("01 03 30 00 00 0E CB 0E");
    peer.expect(frame).start();
    TSerialPortDriver d;
    d.setPortName(peer.slavePath());
    QVERIFY(d.OpenPort());
    QCOMPARE(d.WriteBytes(frame.constData(), int(frame.size())), int(frame.size()));
    QVERIFY(peer.wait());
    QCOMPARE(peer.failures(), QStringList());
    // A pty has no modem lines, so a line-status check finds none and writes nothing, at once.
    QVERIFY(!d.ModemLines());
    d.setCheckLineStatus(true);
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(d.WriteBytes(frame.constData(), int(frame.size())), 0);
    QVERIFY(clock.elapsed() < 200);
}

void tst_SerialPortDriver::writeInPiecesAndTimeOut() {
    PtyPeer peer;
    QVERIFY(peer.isValid());
    QByteArray data(1000, '\0');
    for (int i = 0; i < data.size(); ++i)
        data[i] = char(i * 7);
    peer.expect(data).start();
    TSerialPortDriver d;
    d.setPortName(peer.slavePath());
    d.setOutBufSize(128); // more than the output queue may hold: written in pieces
    QVERIFY(d.OpenPort());
    QCOMPARE(d.WriteBytes(data.constData(), int(data.size())), int(data.size()));
    QVERIFY(peer.wait());
    QCOMPARE(peer.failures(), QStringList());
    // Nobody reads any more: the kernel's buffer fills up, and the call gives up once the
    // time-out has passed without progress, having waited without spinning.
    const QByteArray flood(1 << 20, 'x');
    const double cpu0 = threadCpuMs();
    QElapsedTimer clock;
    clock.start();
    const int n = d.WriteBytes(flood.constData(), int(flood.size()), 150);
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(n > 0 && n < flood.size(), qPrintable(QString::number(n)));
    QVERIFY2(elapsed >= 150 && elapsed < 2000, qPrintable(QString::number(elapsed)));
    QVERIFY2(threadCpuMs() - cpu0 < 100, qPrintable(QString::number(threadCpuMs() - cpu0)));
}

void tst_SerialPortDriver::purgeAndQueues() {
    PtyPeer peer;
    QVERIFY(peer.isValid());
    TSerialPortDriver d;
    d.setPortName(peer.slavePath());
    d.SuspendPolling();
    QVERIFY(d.OpenPort());
    peer.send("123456").start();
    QVERIFY(peer.wait());
    QTRY_COMPARE(d.BytesWaiting(), 6u);
    QVERIFY(d.PurgeQueues(false, true));
    QCOMPARE(d.BytesWaiting(), 6u);
    QVERIFY(d.PurgeQueues(true, false));
    QCOMPARE(d.BytesWaiting(), 0u);
}

void tst_SerialPortDriver::pollPath_data() {
    QTest::addColumn<int>("packetSize");
    QTest::addColumn<int>("packetTimeout");
    QTest::addColumn<TPacketMode>("mode");
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QList<QByteArray>>("delivered");
    QTest::addColumn<bool>("data"); // through OnReceiveData rather than OnReceivePacket
    QTest::newRow("unpacketed") << -1 << -1 << TPacketMode::pmDiscard << QByteArray("abcdefg")
                                << QList<QByteArray>{"abcdefg"} << true;
    QTest::newRow("packets, tail kept") << 3 << -1 << TPacketMode::pmPass << QByteArray("abcdefg")
                                        << QList<QByteArray>{"abc", "def"} << false;
    QTest::newRow("tail passed") << 3 << 60 << TPacketMode::pmPass << QByteArray("abcdefg")
                                 << QList<QByteArray>{"abc", "def", "g"} << false;
    QTest::newRow("tail discarded") << 3 << 60 << TPacketMode::pmDiscard << QByteArray("abcdefg")
                                    << QList<QByteArray>{"abc", "def"} << false;
    QTest::newRow("packet above buffer") << 300 << -1 << TPacketMode::pmPass << QByteArray(300, 'x')
                                         << QList<QByteArray>{QByteArray(300, 'x')} << false;
}

void tst_SerialPortDriver::pollPath() {
    QFETCH(int, packetSize);
    QFETCH(int, packetTimeout);
    QFETCH(TPacketMode, mode);
    QFETCH(QByteArray, bytes);
    QFETCH(QList<QByteArray>, delivered);
    QFETCH(bool, data);
    PtyPeer peer;
    QVERIFY(peer.isValid());
    TSerialPortDriver d;
    d.setPortName(peer.slavePath());
    d.setInBufSize(128);
    d.setPacketSize(qint16(packetSize));
    d.setPacketTimeout(packetTimeout);
    d.setPacketMode(mode);
    d.setPollingDelay(10);
    QList<QByteArray> got;
    int dataCalls = 0;
    d.OnReceiveData = [&](TSerialPortDriver* sender, const quint8* p, int n) {
        QCOMPARE(sender, &d);
        ++dataCalls;
        got << QByteArray(reinterpret_cast<const char*>(p), n);
    };
    d.OnReceivePacket = [&](TSerialPortDriver*, const quint8* p, int n) {
        got << QByteArray(reinterpret_cast<const char*>(p), n);
    };
    QVERIFY(d.OpenPort());
    // While suspended nothing is taken.
    d.SuspendPolling();
    peer.send(bytes).start();
    QVERIFY(peer.wait());
    QTRY_COMPARE(d.BytesWaiting(), quint32(bytes.size()));
    QTest::qWait(50);
    QVERIFY(got.isEmpty());
    d.ResumePolling();
    QTRY_COMPARE(got.size(), delivered.size());
    QTest::qWait(packetTimeout > 0 ? 3 * packetTimeout : 60);
    QCOMPARE(got, delivered);
    QCOMPARE(dataCalls > 0, data);
    const int left = packetTimeout > 0 ? 0 : int(bytes.size() - delivered.join().size());
    QCOMPARE(int(d.BytesWaiting()), left);
}

void tst_SerialPortDriver::rxTime_data() {
    QTest::addColumn<quint32>("rate");
    QTest::addColumn<int>("chars");
    QTest::addColumn<int>("ms");
    QTest::newRow("9600 x 10") << 9600u << 10 << 10;
    QTest::newRow("9600 x 33") << 9600u << 33 << 34;
    QTest::newRow("110 x 1") << 110u << 1 << 91;
    QTest::newRow("115200 x 100") << 115200u << 100 << 9;
    QTest::newRow("zero rate") << 0u << 10 << 0;
}

void tst_SerialPortDriver::rxTime() {
    QFETCH(quint32, rate);
    QFETCH(int, chars);
    QFETCH(int, ms);
    TSerialPortDriver d;
    d.setBaudRateValue(rate);
    QCOMPARE(d.RxTime(chars), ms);
}

QTEST_GUILESS_MAIN(tst_SerialPortDriver)
#include "tst_SerialPortDriver.moc"
