// zorvanctl poll against the device simulator: the CSV it prints, values set before polling,
// the flash request, the end by SIGINT, faults on the line, and the refusals.

#include "components/XMLOptionsSerializer.h"
#include "document/CnlImage.h"
#include "document/Document.h"

#include "DevsimProcess.h"
#include "TempConfigHome.h"

#include "ZorvanctlRun.h"
#include <QDateTime>
#include <QDeadlineTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <QTest>
#include <csignal>
#include <memory>

using namespace zorvan;
using zorvan::test::DevsimProcess;
using zorvan::test::TempConfigHome;

namespace {

using Run = zorvan::test::CtlRun;

Run zorvanctl(const QStringList& args) {
    return zorvan::test::runZorvanctl(args);
}

// One tag of each value type, as the simulator's catalogue and as the map's channels.
const char* const CatalogueText = "0 4 TEMP1\n"
                                  "1 0 T\n"
                                  "2 1 UINT\n"
                                  "3 2 LONG\n"
                                  "4 3 ULONG\n";

struct Channel {
    int tag;
    int type;
    QString name;
};

bool saveMap(const QString& path, const QList<Channel>& channels, quint32 options = 0) {
    TChannelImage image;
    image.Options = options;
    for (const Channel& c : channels) {
        TChannelItem* item = image.Map()->Add();
        item->TagIndex = c.tag;
        item->Channel = c.tag;
        item->ParamType = c.type;
        item->TagName = c.name;
    }
    TXMLOptionsSerializer s;
    ConfigureDocumentSerializer(s);
    s.Root = &image;
    s.XMLFilePath = path;
    return s.Save();
}

const QList<Channel> FiveTypes{
    {0, 4, "TEMP1"}, {1, 0, "T"}, {2, 1, "UINT"}, {3, 2, "LONG"}, {4, 3, "ULONG"}};

// The CSV lines after the header, each split into fields; the time column checked and dropped.
QList<QStringList> dataRows(const QString& out, QString* header) {
    QStringList lines = out.split('\n', Qt::SkipEmptyParts);
    QList<QStringList> rows;
    if (lines.isEmpty())
        return rows;
    *header = lines.takeFirst();
    for (const QString& line : lines) {
        QStringList fields = line.split(',');
        const QDateTime time = QDateTime::fromString(fields.takeFirst(), Qt::ISODateWithMs);
        if (!time.isValid() || std::abs(time.secsTo(QDateTime::currentDateTime())) > 600)
            return {};
        rows << fields;
    }
    return rows;
}

} // namespace

class tst_ZorvanctlPoll : public QObject {
    Q_OBJECT

    std::unique_ptr<TempConfigHome> m_home;
    QTemporaryDir m_dir;
    QString m_catalogue;
    QString m_flash;

    QString file(const QString& name) const { return m_dir.filePath(name); }
    // A simulator whose current map (from its flash) is the map of `map`.
    std::unique_ptr<DevsimProcess> device(const QString& map, QStringList faults = {}) {
        m_flash = file(QString("flash-%1.bin").arg(QDateTime::currentMSecsSinceEpoch()));
        {
            DevsimProcess clean;
            if (!clean.start({"--catalogue", m_catalogue, "--flash", m_flash}))
                return nullptr;
            const Run up = zorvanctl({"upload", map, "--port", clean.ptyPath()});
            if (up.exitCode != 0) {
                qWarning() << "upload failed:" << up.err;
                return nullptr;
            }
            clean.stop();
        }
        auto sim = std::make_unique<DevsimProcess>();
        if (!sim->start(QStringList{"--catalogue", m_catalogue, "--flash", m_flash} + faults)) {
            qWarning() << "simulator did not start:" << sim->errorText();
            return nullptr;
        }
        return sim;
    }

private slots:
    void initTestCase();
    void init() { m_home = std::make_unique<TempConfigHome>(); }
    void cleanup() { m_home.reset(); }
    void csvOfSetValues_data();
    void csvOfSetValues();
    void spacesMakeOneLinePerCycle();
    void flashOnFirstTick();
    void sigintEndsCleanly();
    void faultsCountedPollingGoesOn();
    void refusals_data();
    void refusals();
};

void tst_ZorvanctlPoll::initTestCase() {
    if (DevsimProcess::program().isEmpty())
        QSKIP("no simulator in this build");
    QVERIFY(m_dir.isValid());
    m_catalogue = file("catalogue.txt");
    QFile f(m_catalogue);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(CatalogueText);
}

void tst_ZorvanctlPoll::csvOfSetValues_data() {
    QTest::addColumn<quint32>("options");
    QTest::newRow("big-endian") << 0u;
    QTest::newRow("w:01 - dw:0123") << 5u;
    QTest::newRow("w:01 - dw:2301") << 7u;
}

void tst_ZorvanctlPoll::csvOfSetValues() {
    QFETCH(quint32, options);
    const QString map = file("five.zorvan");
    QVERIFY(saveMap(map, FiveTypes, options));
    auto sim = device(map);
    QVERIFY(sim);
    // 0 for ULONG: the value a fresh image holds already, still sent.
    const Run r = zorvanctl({"poll", map, "--port", sim->ptyPath(), "--cycles", "3", "--set",
                             "TEMP1=-2.5", "--set", "T=-300", "--set", "UINT=65535", "--set",
                             "LONG=-70000", "--set", "ULONG=0"});
    QCOMPARE(r.exitCode, 0);
    QString header;
    const QList<QStringList> rows = dataRows(r.out, &header);
    QCOMPARE(header, QString("time,TEMP1,T,UINT,LONG,ULONG"));
    QCOMPARE(rows.size(), 3);
    for (const QStringList& row : rows)
        QCOMPARE(row, QStringList({"-2.500", "-300", "65535", "-70000", "0"}));
    QCOMPARE(r.err, QString("requests: 3, errors: 0\n"));
}

void tst_ZorvanctlPoll::spacesMakeOneLinePerCycle() {
    // 22 channels: two spaces, so a line every second tick; names that need quoting.
    QList<Channel> channels;
    for (int i = 0; i < 22; ++i)
        channels << Channel{i % 5, FiveTypes[i % 5].type, QString("C%1").arg(i)};
    channels[3].name = "say \"hi\", twice";
    const QString map = file("wide.zorvan");
    QVERIFY(saveMap(map, channels));
    auto sim = device(map);
    QVERIFY(sim);
    const Run r = zorvanctl(
        {"poll", map, "--port", sim->ptyPath(), "--cycles", "2", "--set", "C21=12345", "--trace"});
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 3);
    QVERIFY(lines[0].startsWith("time,C0,C1,C2,\"say \"\"hi\"\", twice\",C4,"));
    QVERIFY(lines[2].endsWith(",12345"));
    // Two cycles of two spaces, with the trace on standard error only: the write of C21 and
    // four reads, each with its reply.
    QVERIFY(r.err.endsWith("requests: 4, errors: 0\n"));
    QCOMPARE(r.err.count(QRegularExpression("^out 01 03 ", QRegularExpression::MultilineOption)),
             4);
    QCOMPARE(r.err.count(QRegularExpression("^out 01 10 ", QRegularExpression::MultilineOption)),
             1);
    QCOMPARE(r.err.count(QRegularExpression("^in ", QRegularExpression::MultilineOption)), 5);
    // The first space: 20 channels from 16384 (0x4000), 4 x 8 = 32 registers (0x20).
    QVERIFY(r.err.startsWith("out 01 03 40 00 00 20 "));
}

void tst_ZorvanctlPoll::flashOnFirstTick() {
    const QString map = file("flash.zorvan");
    QVERIFY(saveMap(map, FiveTypes));
    auto sim = device(map, {"--log"});
    QVERIFY(sim);
    const Run r =
        zorvanctl({"poll", map, "--port", sim->ptyPath(), "--cycles", "1", "--flash", "--trace"});
    QCOMPARE(r.exitCode, 0);
    QVERIFY2(r.err.contains("Данные сохранены\n"), qPrintable(r.err));
    // The save request (1 into registers 8-9 of device 1) goes before the first poll.
    QVERIFY2(r.err.startsWith("out 01 10 00 08 00 02 04 00 00 00 01 33 C9 \n"), qPrintable(r.err));
    QVERIFY(r.err.endsWith("requests: 1, errors: 0\n"));
}

void tst_ZorvanctlPoll::sigintEndsCleanly() {
    const QString map = file("sigint.zorvan");
    QVERIFY(saveMap(map, FiveTypes));
    auto sim = device(map);
    QVERIFY(sim);
    QProcess p;
    p.start(ZORVAN_CTL_PATH, {"poll", map, "--port", sim->ptyPath()});
    QVERIFY(p.waitForStarted());
    QByteArray out;
    QDeadlineTimer deadline(20000);
    while (out.count('\n') < 6 && !deadline.hasExpired()) {
        p.waitForReadyRead(500);
        out += p.readAllStandardOutput();
    }
    QVERIFY(out.count('\n') >= 6);
    ::kill(pid_t(p.processId()), SIGINT);
    QVERIFY(p.waitForFinished(10000));
    QCOMPARE(p.exitStatus(), QProcess::NormalExit);
    QCOMPARE(p.exitCode(), 0);
    out += p.readAllStandardOutput();
    // Every line complete; the counts at the end.
    QVERIFY(out.endsWith('\n'));
    const QString err = QString::fromUtf8(p.readAllStandardError());
    const QRegularExpression counts("^requests: (\\d+), errors: 0\n$");
    const auto m = counts.match(err);
    QVERIFY2(m.hasMatch(), qPrintable(err));
    QCOMPARE(m.captured(1).toLongLong(), out.count('\n') - 1);
}

void tst_ZorvanctlPoll::faultsCountedPollingGoesOn() {
    const QString map = file("faults.zorvan");
    QVERIFY(saveMap(map, FiveTypes));
    auto sim = device(map, {"--fail-requests", "2,3,4:corrupt,5", "--drop-rate", "0.2",
                            "--corrupt-rate", "0.1", "--seed", "11"});
    QVERIFY(sim);
    const Run r = zorvanctl({"poll", map, "--port", sim->ptyPath(), "--timeout", "60", "--cycles",
                             "20", "--set", "LONG=123456"});
    QCOMPARE(r.exitCode, 0);
    QString header;
    const QList<QStringList> rows = dataRows(r.out, &header);
    QCOMPARE(rows.size(), 20);
    // Requests 2-5 failed at least; each failed poll leaves a cycle without a line.
    const QRegularExpression counts("requests: (\\d+), errors: (\\d+)\n$");
    const auto m = counts.match(r.err);
    QVERIFY2(m.hasMatch(), qPrintable(r.err));
    const int requests = m.captured(1).toInt();
    const int errors = m.captured(2).toInt();
    QVERIFY(errors >= 4);
    QCOMPARE(requests - errors, 20);
    for (const QStringList& row : rows)
        QCOMPARE(row[3], QString("123456"));
}

void tst_ZorvanctlPoll::refusals_data() {
    QTest::addColumn<QStringList>("channels"); // "type:name"
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QStringList five{"4:TEMP1", "0:T"};
    QTest::newRow("unknown channel name")
        << five << QStringList{"--set", "NOPE=1"} << 2 << "no channel named NOPE";
    QTest::newRow("integer channel, not an integer")
        << five << QStringList{"--set", "T=1.5"} << 2 << "T takes a whole number: 1.5";
    QTest::newRow("set without value")
        << five << QStringList{"--set", "T"} << 2 << "--set needs NAME=VALUE: T";
    QTest::newRow("cycles 0") << five << QStringList{"--cycles", "0"} << 2
                              << "--cycles must be a whole number from 1 on: 0";
    QTest::newRow("only unknown types")
        << QStringList{"7:X", "9:Y"} << QStringList{} << 2 << "has no channel to poll";
    QTest::newRow("port does not open")
        << five << QStringList{"--port", "/nonexistent/tty"} << 1
        << "Не удалось подключиться к COM-порту\nNo communication with the device\n";
}

void tst_ZorvanctlPoll::refusals() {
    QFETCH(QStringList, channels);
    QFETCH(QStringList, args);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QList<Channel> list;
    for (const QString& c : channels)
        list << Channel{0, c.section(':', 0, 0).toInt(), c.section(':', 1)};
    const QString map = file("refused.zorvan");
    QVERIFY(saveMap(map, list));
    QStringList all{"poll", map};
    if (!args.contains("--port"))
        all << "--port"
            << "/nonexistent/tty";
    const Run r = zorvanctl(all + args);
    QCOMPARE(r.exitCode, exitCode);
    QVERIFY2(r.err.contains(message), qPrintable(r.err));
    QCOMPARE(r.out, QString());
}

QTEST_GUILESS_MAIN(tst_ZorvanctlPoll)
#include "tst_ZorvanctlPoll.moc"
