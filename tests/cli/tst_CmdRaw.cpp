#include "ModbusPtySlave.h"
#include "PtyPeer.h"
#include "TempConfigHome.h"

#include "ZorvanctlRun.h"
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>

#include <QTest>

using zorvan::test::ModbusPtySlave;
using zorvan::test::PtyPeer;
using zorvan::test::TempConfigHome;

namespace {

using Run = zorvan::test::CtlRun;

Run zorvanctl(const QStringList& args) {
    return zorvan::test::runZorvanctl(QStringList{"raw"} + args, 20000);
}

void writeStore(const QString& home, const QString& values) {
    const QString folder = home + "/Belmat/Quillmark/0";
    QVERIFY(QDir().mkpath(folder));
    QFile f(folder + "/MainOptions.reg");
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(QString("Windows Registry Editor Version 5.00\n\n"
                    "[HKEY_LOCAL_MACHINE\\Software\\Belmat\\Quillmark\\0\\MainOptions]\n" +
                    values)
                .toUtf8());
}

} // namespace

class tst_CmdRaw : public QObject {
    Q_OBJECT
private slots:
    void readWithTrace();
    void writeValues_data();
    void writeValues();
    void portByNumberAndStoredDefaults();
    void noReply_data();
    void noReply();
    void badArguments_data();
    void badArguments();
};

void tst_CmdRaw::readWithTrace() {
    TempConfigHome home;
    ModbusPtySlave slave;
    QVERIFY(slave.isValid());
    slave.setRegister(12289, 5);
    slave.setRegister(12290, 0xFFFE);
    slave.start();
    const Run r = zorvanctl({"read", "12288", "14", "--trace", "--port", slave.slavePath()});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = r.out.split('\n');
    QCOMPARE(lines.size(), 2 + 14 + 1);
    QCOMPARE(lines[0], QString("out 01 03 30 00 00 0E CB 0E "));
    QVERIFY2(lines[1].startsWith("in 01 03 1C 30 00 00 05 FF FE 30 03 "), qPrintable(lines[1]));
    QCOMPARE(lines[1].size(), 3 + 33 * 3);
    QCOMPARE(lines[2], QString("12288\t12288\t0x3000"));
    QCOMPARE(lines[3], QString("12289\t5\t0x0005"));
    QCOMPARE(lines[4], QString("12290\t65534\t0xFFFE"));
    QCOMPARE(lines[15], QString("12301\t12301\t0x300D"));
    QCOMPARE(lines[16], QString());
}

void tst_CmdRaw::writeValues_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("trace");
    QTest::addColumn<int>("first");
    QTest::addColumn<QList<int>>("values");
    QTest::newRow("TagIndex 5") << QStringList{"write", "12289", "5"}
                                << "out 01 10 30 01 00 01 02 00 05 57 81 " << 12289
                                << QList<int>{5};
    QTest::newRow("flash") << QStringList{"write", "8", "0", "1"}
                           << "out 01 10 00 08 00 02 04 00 00 00 01 33 C9 " << 8
                           << QList<int>{0, 1};
    QTest::newRow("negative and hex") << QStringList{"write", "0x10", "-2", "0xBEEF", "-32768"}
                                      << "" << 16 << QList<int>{0xFFFE, 0xBEEF, 0x8000};
}

void tst_CmdRaw::writeValues() {
    QFETCH(QStringList, args);
    QFETCH(QString, trace);
    QFETCH(int, first);
    QFETCH(QList<int>, values);
    TempConfigHome home;
    ModbusPtySlave slave;
    QVERIFY(slave.isValid());
    slave.start();
    const Run r = zorvanctl(args + QStringList{"--trace", "--port", slave.slavePath()});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = r.out.split('\n');
    QCOMPARE(lines.size(), 3);
    if (!trace.isEmpty())
        QCOMPARE(lines[0], trace);
    QVERIFY(lines[1].startsWith(QString("in 01 10 ")));
    slave.stop();
    for (int i = 0; i < values.size(); ++i)
        QCOMPARE(int(slave.registerValue(first + i)), values[i]);
    QCOMPARE(int(slave.registerValue(first + int(values.size()))), first + int(values.size()));
}

void tst_CmdRaw::portByNumberAndStoredDefaults() {
    TempConfigHome home;
    ModbusPtySlave slave(3);
    QVERIFY(slave.isValid());
    slave.start();
    QVERIFY(QDir().mkpath(home.path() + "/Belmat/Quillmark/ports"));
    QVERIFY(QFile::link(slave.slavePath(), home.path() + "/Belmat/Quillmark/ports/COM7"));
    // Port, address and rate come from the settings store.
    writeStore(home.path(), "\"Port\"=dword:00000007\n\"Rate\"=dword:0000000d\n"
                            "\"regDeviceAddress\"=dword:00000003\n"
                            "\"regprmRxTimeout\"=dword:000000c8\n");
    Run r = zorvanctl({"read", "100", "1", "--trace"});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.out.startsWith("out 03 03 00 64 00 01 "), qPrintable(r.out));
    QVERIFY(r.out.endsWith("100\t100\t0x0064\n"));
    // The command line wins over the store; the port by number follows the link.
    r = zorvanctl({"read", "100", "1", "--port", "7", "--address", "9", "--timeout", "60"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY(r.err.contains("device 9"));
    QVERIFY(r.err.contains(slave.slavePath()));
}

void tst_CmdRaw::noReply_data() {
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<bool>("waits"); // for the time-out's silence
    QTest::newRow("silent") << QByteArray() << true;
    QTest::newRow("one byte short") << PtyPeer::hex("01 03 02 00 05 78") << true;
    QTest::newRow("bad checksum") << PtyPeer::hex("01 03 02 00 05 78 46") << false;
}

void tst_CmdRaw::noReply() {
    QFETCH(QByteArray, reply);
    QFETCH(bool, waits);
    TempConfigHome home;
    PtyPeer peer;
    QVERIFY(peer.isValid());
    // The port is flushed when opened: answer only after the request came.
    peer.expect(PtyPeer::hex("01 03 00 05 00 01 94 0B"));
    if (!reply.isEmpty())
        peer.send(reply);
    peer.start();
    const Run r = zorvanctl({"read", "5", "1", "--port", peer.slavePath(), "--timeout", "150"});
    QCOMPARE(r.exitCode, 1);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.err.count('\n'), 1);
    QVERIFY(r.err.startsWith("zorvanctl raw: "));
    if (waits)
        QVERIFY(r.ms >= 150);
    QVERIFY(peer.wait());
    QCOMPARE(peer.failures(), QStringList());
}

void tst_CmdRaw::badArguments_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("nothing") << QStringList{} << 2;
    QTest::newRow("unknown action") << QStringList{"frob", "1", "2"} << 2;
    QTest::newRow("read without count") << QStringList{"read", "1"} << 2;
    QTest::newRow("count 0") << QStringList{"read", "1", "0"} << 2;
    QTest::newRow("count 126") << QStringList{"read", "1", "126"} << 2;
    QTest::newRow("past 65535") << QStringList{"read", "65535", "2"} << 2;
    QTest::newRow("address 65536") << QStringList{"read", "65536", "1"} << 2;
    QTest::newRow("write without value") << QStringList{"write", "1"} << 2;
    QTest::newRow("value 65536") << QStringList{"write", "1", "65536"} << 2;
    QTest::newRow("value -32769") << QStringList{"write", "1", "-32769"} << 2;
    QTest::newRow("port 0") << QStringList{"read", "1", "1", "--port", "0"} << 2;
    QTest::newRow("port 256") << QStringList{"read", "1", "1", "--port", "256"} << 2;
    QTest::newRow("baud 20") << QStringList{"read", "1", "1", "--baud", "20"} << 2;
    QTest::newRow("address 0") << QStringList{"read", "1", "1", "--address", "0"} << 2;
    QTest::newRow("timeout x") << QStringList{"read", "1", "1", "--timeout", "x"} << 2;
    QTest::newRow("unknown option") << QStringList{"read", "1", "1", "--frob"} << 2;
    QTest::newRow("no such port") << QStringList{"read", "1", "1", "--port", "/nonexistent/tty"}
                                  << 1;
}

void tst_CmdRaw::badArguments() {
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    TempConfigHome home;
    const Run r = zorvanctl(args);
    QCOMPARE(r.exitCode, exitCode);
    QCOMPARE(r.out, QString());
    QVERIFY(r.err.startsWith("zorvanctl raw: "));
    // Nothing was written into the settings.
    QVERIFY(!QFile::exists(home.optionsFile()));
}

QTEST_GUILESS_MAIN(tst_CmdRaw)
#include "tst_CmdRaw.moc"
