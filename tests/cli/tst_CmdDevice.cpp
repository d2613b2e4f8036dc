// zorvanctl tags, upload, download and flash against the device simulator: the printed
// catalogue, the traffic trace, round trips through files, the device's refusals, the exit
// statuses and the program's messages on standard error.

#include "components/XMLOptionsSerializer.h"
#include "document/CnlImage.h"
#include "document/Document.h"

#include "DevsimProcess.h"
#include "TempConfigHome.h"

#include "ZorvanctlRun.h"
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <QTest>
#include <memory>

using namespace zorvan;
using zorvan::test::DevsimProcess;
using zorvan::test::TempConfigHome;

namespace {

using Run = zorvan::test::CtlRun;

Run zorvanctl(const QStringList& args) {
    return zorvan::test::runZorvanctl(args);
}

const char* const CatalogueText = "0 4 TEMP1\n"
                                  "1 0 T\n"
                                  "2 1 TWELVE_CHARS\n"
                                  "65535 2 Давление\n"
                                  "40 3 Ёж№\n";

// The catalogue as the Tags table shows it.
const char* const TagsTable = "#\tChannel\tType\tName\n"
                              "1\t1\tFloat\tTEMP1\n"
                              "2\t2\tInt\tT\n"
                              "3\t3\tUInt\tTWELVE_CHARS\n"
                              "4\t65536\tLong\tДавление\n"
                              "5\t41\tULong\tЁж№\n";

const QString NoPort = QStringLiteral("Не удалось подключиться к COM-порту\n");
const QString NoCommunication = QStringLiteral("No communication with the device\n");

bool saveMap(const QString& path, const QList<int>& tags, quint32 options) {
    TChannelImage image;
    image.Options = options;
    for (int t : tags)
        image.Map()->Add()->TagIndex = t;
    TXMLOptionsSerializer s;
    ConfigureDocumentSerializer(s);
    s.Root = &image;
    s.XMLFilePath = path;
    return s.Save();
}

std::unique_ptr<TChannelImage> loadMap(const QString& path) {
    auto image = std::make_unique<TChannelImage>();
    TXMLOptionsSerializer s;
    ConfigureDocumentSerializer(s);
    s.Root = image.get();
    s.XMLFilePath = path;
    if (!s.Load())
        return nullptr;
    return image;
}

QByteArray contents(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class tst_CmdDevice : public QObject {
    Q_OBJECT

    std::unique_ptr<TempConfigHome> m_home;
    QTemporaryDir m_dir;
    QString m_catalogue;

    std::unique_ptr<DevsimProcess> device(QStringList arguments = {}) {
        arguments << "--catalogue" << m_catalogue;
        auto sim = std::make_unique<DevsimProcess>();
        if (!sim->start(arguments)) {
            qWarning() << "simulator did not start:" << sim->errorText();
            return nullptr;
        }
        return sim;
    }
    QString file(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void tagsTable();
    void tagsTrace();
    void portFromNumberAndSettings();
    void uploadThenDownload();
    void downloadKeepsAnExistingFile();
    void downloadOfAnEmptyDeviceMap();
    void refusedMap_data();
    void refusedMap();
    void flash();
    void portThatDoesNotOpen_data();
    void portThatDoesNotOpen();
    void failedExchange_data();
    void failedExchange();
    void badArguments_data();
    void badArguments();
};

void tst_CmdDevice::initTestCase() {
    if (DevsimProcess::program().isEmpty())
        QSKIP("no simulator in this build");
    QVERIFY(m_dir.isValid());
    m_catalogue = file("catalogue.txt");
    QFile f(m_catalogue);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(CatalogueText);
}

void tst_CmdDevice::init() {
    m_home = std::make_unique<TempConfigHome>();
}

void tst_CmdDevice::cleanup() {
    m_home.reset();
}

void tst_CmdDevice::tagsTable() {
    auto sim = device();
    QVERIFY(sim);
    const Run r = zorvanctl({"tags", "--port", sim->ptyPath()});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QString::fromUtf8(TagsTable));
}

void tst_CmdDevice::tagsTrace() {
    auto sim = device();
    QVERIFY(sim);
    const Run r = zorvanctl({"tags", "--port", sim->ptyPath(), "--trace"});
    QCOMPARE(r.exitCode, 0);
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    // First read, then index write and read for each of 5 tags and the end: 13 exchanges.
    const QStringList traffic = lines.mid(0, 26);
    QCOMPARE(traffic.filter(QRegularExpression("^out ")).size(), 13);
    QCOMPARE(traffic.filter(QRegularExpression("^in ")).size(), 13);
    QCOMPARE(traffic[0], QString("out 01 03 30 00 00 0E CB 0E "));
    QVERIFY(traffic[1].startsWith("in 01 03 1C "));
    QCOMPARE(traffic[2], QString("out 01 10 30 01 00 01 02 00 00 97 82 "));
    QCOMPARE(traffic[3], QString("in 01 10 30 01 00 01 5F 09 "));
    QCOMPARE(traffic[4], QString("out 01 03 30 00 00 0E CB 0E "));
    // The tag's name bytes travel in Windows-1251: "Давление" for index 3.
    QVERIFY(traffic[17].contains("C4 E0 E2 EB E5 ED E8 E5"));
    QCOMPARE(lines.mid(26).join('\n') + '\n', QString::fromUtf8(TagsTable));
}

void tst_CmdDevice::portFromNumberAndSettings() {
    auto sim = device({"--com", "5"});
    QVERIFY(sim);
    Run r = zorvanctl({"tags", "--port", "5"});
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QString::fromUtf8(TagsTable));
    // Without --port the program's own setting names the port.
    const QString folder = m_home->path() + "/Belmat/Quillmark/0";
    QVERIFY(QDir().mkpath(folder));
    QFile store(folder + "/MainOptions.reg");
    QVERIFY(store.open(QIODevice::WriteOnly));
    store.write("Windows Registry Editor Version 5.00\n\n"
                "[HKEY_LOCAL_MACHINE\\Software\\Belmat\\Quillmark\\0\\MainOptions]\n"
                "\"Port\"=dword:00000005\n");
    store.close();
    r = zorvanctl({"tags"});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out, QString::fromUtf8(TagsTable));
}

void tst_CmdDevice::uploadThenDownload() {
    const QString flash = file("round-trip.flash");
    auto sim = device({"--flash", flash});
    QVERIFY(sim);
    const QString map = file("upload.zorvan");
    QVERIFY(saveMap(map, {3, 0, 3, 4}, 6));
    Run r = zorvanctl({"upload", map, "--port", sim->ptyPath()});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QVERIFY(QFile::exists(flash));

    const QString back = file("download.zorvan");
    r = zorvanctl({"download", back, "--port", sim->ptyPath()});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    const auto image = loadMap(back);
    QVERIFY(image);
    QCOMPARE(image->Options, 6u);
    QCOMPARE(image->BaseAdr, quint16(16384));
    const struct {
        int tagIndex, channel, type;
        QString name;
    } want[] = {{3, 65535, 2, QStringLiteral("Давление")},
                {0, 0, 4, "TEMP1"},
                {3, 65535, 2, QStringLiteral("Давление")},
                {4, 40, 3, QStringLiteral("Ёж№")}};
    QCOMPARE(image->Map()->Count(), 4);
    for (int i = 0; i < 4; ++i) {
        const TChannelItem& item = *image->Map()->Items(i);
        QCOMPARE(item.TagIndex, want[i].tagIndex);
        QCOMPARE(item.Channel, want[i].channel);
        QCOMPARE(item.ParamType, want[i].type);
        // The file drops the name's zero padding (XML cannot carry it).
        QCOMPARE(item.TagName, want[i].name);
        QCOMPARE(item.Note, QString());
    }
}

void tst_CmdDevice::downloadKeepsAnExistingFile() {
    auto sim = device();
    QVERIFY(sim);
    const QString map = file("existing.zorvan");
    QVERIFY(saveMap(map, {1}, 2));
    QVERIFY(saveMap(file("device.zorvan"), {2, 1}, 5));
    QCOMPARE(zorvanctl({"upload", file("device.zorvan"), "--port", sim->ptyPath()}).exitCode, 0);
    const QByteArray before = contents(map);

    Run r = zorvanctl({"download", map, "--port", sim->ptyPath(), "--trace"});
    QCOMPARE(r.exitCode, 2);
    QVERIFY(r.err.contains("--force"));
    QCOMPARE(r.out, QString()); // refused before any exchange
    QCOMPARE(contents(map), before);

    r = zorvanctl({"download", map, "--force", "--port", sim->ptyPath()});
    QCOMPARE(r.exitCode, 0);
    const auto image = loadMap(map);
    QVERIFY(image);
    QCOMPARE(image->Options, 5u);
    QCOMPARE(image->Map()->Count(), 2);
    QCOMPARE(image->Map()->Items(0)->TagIndex, 2);
}

void tst_CmdDevice::downloadOfAnEmptyDeviceMap() {
    auto sim = device();
    QVERIFY(sim);
    QVERIFY(saveMap(file("empty.zorvan"), {}, 7));
    QCOMPARE(zorvanctl({"upload", file("empty.zorvan"), "--port", sim->ptyPath()}).exitCode, 0);
    const Run r = zorvanctl({"download", file("empty-back.zorvan"), "--port", sim->ptyPath()});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    const auto image = loadMap(file("empty-back.zorvan"));
    QVERIFY(image);
    QCOMPARE(image->Map()->Count(), 0);
    QCOMPARE(image->Options, 7u);
}

void tst_CmdDevice::refusedMap_data() {
    QTest::addColumn<QList<int>>("tags");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<QString>("message");
    QTest::newRow("full map") << QList<int>{0, 1, 2} << 2 << "List of parameters is overflow!\n";
    QTest::newRow("tag past the catalogue") << QList<int>{1, 50} << 64 << "Tag #50 incorrect!\n";
}

void tst_CmdDevice::refusedMap() {
    QFETCH(QList<int>, tags);
    QFETCH(int, capacity);
    QFETCH(QString, message);
    const QString flash = file(QString("refused-%1.flash").arg(QTest::currentDataTag()));
    auto sim = device({"--capacity", QString::number(capacity), "--flash", flash});
    QVERIFY(sim);
    const QString map = file("refused.zorvan");
    QVERIFY(saveMap(map, tags, 0));
    const Run r = zorvanctl({"upload", map, "--port", sim->ptyPath()});
    QCOMPARE(r.err, message);
    QCOMPARE(r.exitCode, 3);
    QVERIFY(!QFile::exists(flash));
}

void tst_CmdDevice::flash() {
    const QString flash = file("flash-only.flash");
    auto sim = device({"--flash", flash, "--address", "9"});
    QVERIFY(sim);
    const Run r = zorvanctl({"flash", "--port", sim->ptyPath(), "--address", "9", "--trace"});
    QCOMPARE(r.err, QString());
    QCOMPARE(r.exitCode, 0);
    QCOMPARE(r.out.split('\n', Qt::SkipEmptyParts).size(), 2);
    QVERIFY(r.out.startsWith("out 09 10 00 08 00 02 04 00 00 00 01 "));
    QVERIFY(QFile::exists(flash));
}

void tst_CmdDevice::portThatDoesNotOpen_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("tags") << QStringList{"tags"};
    QTest::newRow("upload") << QStringList{"upload", "MAP"};
    QTest::newRow("download") << QStringList{"download", "OUT"};
    QTest::newRow("flash") << QStringList{"flash"};
}

void tst_CmdDevice::portThatDoesNotOpen() {
    QFETCH(QStringList, args);
    QVERIFY(saveMap(file("map.zorvan"), {1}, 0));
    const QString out = file("never-written.zorvan");
    args.replaceInStrings("MAP", file("map.zorvan")).replaceInStrings("OUT", out);
    const Run r = zorvanctl(args + QStringList{"--port", file("no-such-port")});
    QCOMPARE(r.err, NoPort + NoCommunication);
    QCOMPARE(r.exitCode, 1);
    QVERIFY(!QFile::exists(out));
}

void tst_CmdDevice::failedExchange_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("err");
    QTest::newRow("tags") << QStringList{"tags"} << "3" << NoCommunication;
    QTest::newRow("download") << QStringList{"download", "OUT"} << "1" << NoCommunication;
    QTest::newRow("flash") << QStringList{"flash"} << "1:corrupt" << NoCommunication;
    QTest::newRow("upload") << QStringList{"upload", "MAP"} << "5" << NoCommunication;
    // Upload of one entry: A1 A2 options T A3 read A4, then the flash request is number 8.
    QTest::newRow("upload's flash request")
        << QStringList{"upload", "MAP"} << "8"
        << QStringLiteral("Ошибка конфигурирования устройства\n") + NoCommunication;
}

void tst_CmdDevice::failedExchange() {
    QFETCH(QStringList, args);
    QFETCH(QString, fault);
    QFETCH(QString, err);
    auto sim = device({"--fail-requests", fault});
    QVERIFY(sim);
    QVERIFY(saveMap(file("map.zorvan"), {1}, 0));
    const QString out = file("not-written.zorvan");
    args.replaceInStrings("MAP", file("map.zorvan")).replaceInStrings("OUT", out);
    const Run r = zorvanctl(args + QStringList{"--port", sim->ptyPath(), "--timeout", "200"});
    QCOMPARE(r.err, err);
    QCOMPARE(r.exitCode, 1);
    QVERIFY(!QFile::exists(out));
}

void tst_CmdDevice::badArguments_data() {
    QTest::addColumn<QStringList>("args");
    QTest::newRow("tags with an argument") << QStringList{"tags", "x"};
    QTest::newRow("upload without a file") << QStringList{"upload"};
    QTest::newRow("upload of a missing file") << QStringList{"upload", "missing.zorvan"};
    QTest::newRow("download of two files") << QStringList{"download", "a", "b"};
    QTest::newRow("flash with an argument") << QStringList{"flash", "now"};
    QTest::newRow("bad address") << QStringList{"tags", "--address", "0"};
    QTest::newRow("unknown option") << QStringList{"tags", "--colour"};
}

void tst_CmdDevice::badArguments() {
    QFETCH(QStringList, args);
    const Run r = zorvanctl(args + QStringList{"--port", file("no-such-port")});
    QCOMPARE(r.exitCode, 2);
    QVERIFY(!r.err.isEmpty());
    QVERIFY(!r.err.contains(NoPort)); // refused before the port is tried
    QCOMPARE(r.out, QString());
}

QTEST_GUILESS_MAIN(tst_CmdDevice)
#include "tst_CmdDevice.moc"
