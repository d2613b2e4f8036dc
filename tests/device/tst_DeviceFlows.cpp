// Whole device commands against the device simulator: the catalogue read, upload, flash and
// download round trips, the device's refusals, and runs with injected faults.

#include "device/AppDataTypes.h"
#include "device/Commands.h"
#include "device/ModbusMap.h"
#include "document/CnlImage.h"
#include "settings/AppOptions.h"

#include "DevsimProcess.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace zorvan;
using zorvan::test::DevsimProcess;
using zorvan::test::ScriptedPrompter;
using zorvan::test::TempConfigHome;

namespace {

struct CatalogueTag {
    quint16 channel;
    quint16 type;
    QString name; // as written in the catalogue file
};

// Every type, a name of all 12 characters, short names (zero padded by the device), Cyrillic
// names, the largest channel number.
const QList<CatalogueTag> Catalogue = {
    {0, 4, "TEMP1"},
    {1, 0, "T"},
    {2, 1, "TWELVE_CHARS"},
    {65535, 2, QStringLiteral("Давление")},
    {40, 3, QStringLiteral("Ёж№іЇ")},
    {41, 4, QStringLiteral("Температура1")},
    {300, 0, "A_B"},
};

QString padded(const QString& name) {
    return name + QString(12 - name.size(), QChar(0));
}

bool writeCatalogue(const QString& path, const QList<CatalogueTag>& tags) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray text = "# channel type name\n";
    for (const CatalogueTag& t : tags)
        text += QByteArray::number(t.channel) + ' ' + QByteArray::number(t.type) + ' ' +
                t.name.toUtf8() + '\n';
    return file.write(text) == text.size();
}

// The settings and the connection module, pointed at a simulator's line.
struct Host {
    TempConfigHome home;
    std::unique_ptr<TOptions> options;
    std::unique_ptr<TModbusMapConn> conn;
    ScriptedPrompter prompter;

    explicit Host(const QString& portPath, int timeoutMs = 300) {
        options = std::make_unique<TOptions>();
        options->setSaveOnDestroy(false);
        options->regprmRxTimeout->setValue(timeoutMs);
        conn = std::make_unique<TModbusMapConn>(*options);
        conn->PortDrv.setPortName(portPath);
    }
};

void compareMaps(const TChannelImage& got, const TChannelImage& want) {
    QCOMPARE(got.Options, want.Options);
    QCOMPARE(got.BaseAdr, quint16(16384));
    QCOMPARE(got.Map()->Count(), want.Map()->Count());
    for (int i = 0; i < want.Map()->Count(); ++i) {
        const TChannelItem& g = *got.Map()->Items(i);
        const TChannelItem& w = *want.Map()->Items(i);
        QCOMPARE(g.TagIndex, w.TagIndex);
        QCOMPARE(g.Channel, w.Channel);
        QCOMPARE(g.ParamType, w.ParamType);
        QCOMPARE(g.TagName, w.TagName);
        QCOMPARE(g.Note, QString());
    }
}

// A map as the editor builds it by dragging catalogue tags.
void fillMap(TChannelImage& image, const QList<int>& tagIndices, quint32 options) {
    image.Clear();
    image.Options = options;
    for (int t : tagIndices) {
        TChannelItem* item = image.Map()->Add();
        item->TagIndex = t;
        if (t < Catalogue.size()) {
            item->Channel = Catalogue[t].channel;
            item->ParamType = Catalogue[t].type;
            item->TagName = padded(Catalogue[t].name);
        }
    }
}

} // namespace

class TestDeviceFlows : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_catalogue;
    QString m_flashWithMap; // a flash image holding the map of tags 3, 0 with options 2

    std::unique_ptr<DevsimProcess> device(QStringList arguments) {
        arguments << "--catalogue" << m_catalogue;
        auto sim = std::make_unique<DevsimProcess>();
        if (!sim->start(arguments)) {
            qWarning() << "simulator did not start:" << sim->errorText();
            return nullptr;
        }
        return sim;
    }

private slots:
    void initTestCase();
    void catalogueRead();
    void builtInCatalogue();
    void uploadFlashDownload_data();
    void uploadFlashDownload();
    void refusals_data();
    void refusals();
    void failedExchange_data();
    void failedExchange();
    void randomFaults_data();
    void randomFaults();
};

void TestDeviceFlows::initTestCase() {
    if (DevsimProcess::program().isEmpty())
        QSKIP("no simulator in this build");
    QVERIFY(m_dir.isValid());
    m_catalogue = m_dir.filePath("catalogue.txt");
    QVERIFY(writeCatalogue(m_catalogue, Catalogue));

    m_flashWithMap = m_dir.filePath("flash-with-map.bin");
    auto sim = device({"--flash", m_flashWithMap});
    QVERIFY(sim);
    Host host(sim->ptyPath());
    TChannelImage image;
    fillMap(image, {3, 0}, 2);
    TUploadCurrMapCmd upload(host.conn.get());
    upload.setTarget(&image);
    QVERIFY(upload.Execute());
    QVERIFY(!upload.FlashFailed());
    QCOMPARE(sim->stop(), 0);
    QVERIFY(QFile::exists(m_flashWithMap));
}

void TestDeviceFlows::catalogueRead() {
    auto sim = device({});
    QVERIFY(sim);
    Host host(sim->ptyPath());
    TUpdateTagListCmd command(host.conn.get());
    for (int run = 0; run < 2; ++run) { // a second read starts over
        QVERIFY(command.Execute());
        const TTagList& list = *command.TagList();
        QCOMPARE(list.Count(), Catalogue.size());
        for (int i = 0; i < list.Count(); ++i) {
            QCOMPARE(list[i]->Channel, quint32(Catalogue[i].channel));
            QCOMPARE(list[i]->DataType, quint32(Catalogue[i].type));
            QCOMPARE(list[i]->TagName, padded(Catalogue[i].name));
        }
    }
    QCOMPARE(host.prompter.messages(), QStringList());
    QVERIFY(!host.conn->PortDrv.IsOpen());
}

void TestDeviceFlows::builtInCatalogue() {
    auto sim = std::make_unique<DevsimProcess>();
    QVERIFY(sim->start({}));
    Host host(sim->ptyPath());
    TUpdateTagListCmd command(host.conn.get());
    QVERIFY(command.Execute());
    const TTagList& list = *command.TagList();
    QVERIFY(list.Count() > 0);
    bool cyrillic = false, padding = false;
    for (int i = 0; i < list.Count(); ++i) {
        const QString& name = list[i]->TagName;
        QCOMPARE(name.size(), 12);
        padding = padding || name.endsWith(QChar(0));
        for (QChar c : name)
            cyrillic = cyrillic || (c.unicode() >= 0x0400 && c.unicode() <= 0x04FF);
    }
    QVERIFY(cyrillic);
    QVERIFY(padding);
}

void TestDeviceFlows::uploadFlashDownload_data() {
    QTest::addColumn<QList<int>>("tags");
    QTest::addColumn<quint32>("options");
    QTest::newRow("three entries, options 5") << QList<int>{2, 4, 6} << 5u;
    QTest::newRow("repeated and Cyrillic tags, options 7") << QList<int>{3, 3, 5, 0, 3} << 7u;
    QTest::newRow("every tag, options 0") << QList<int>{0, 1, 2, 3, 4, 5, 6} << 0u;
    QTest::newRow("empty map, options 6") << QList<int>{} << 6u;
}

void TestDeviceFlows::uploadFlashDownload() {
    QFETCH(QList<int>, tags);
    QFETCH(quint32, options);
    const QString flash = m_dir.filePath(QString("flash-%1.bin").arg(QTest::currentDataTag()));
    TChannelImage uploaded;
    fillMap(uploaded, tags, options);
    {
        auto sim = device({"--flash", flash});
        QVERIFY(sim);
        Host host(sim->ptyPath());
        TUploadCurrMapCmd upload(host.conn.get());
        upload.setTarget(&uploaded);
        QVERIFY(upload.Execute());
        QCOMPARE(int(upload.DeviceError()), 0);
        QVERIFY(!upload.FlashFailed());
        QCOMPARE(host.prompter.messages(), QStringList());

        TChannelImage downloaded;
        TDownloadCurrMapCmd download(host.conn.get());
        download.setTarget(&downloaded);
        // A device with an empty map: the document is emptied, the options taken, false.
        QCOMPARE(download.Execute(), !tags.isEmpty());
        compareMaps(downloaded, uploaded);
        QCOMPARE(sim->stop(), 0);
    }
    // The flash request stored map and options: a restarted device still has them.
    auto sim = device({"--flash", flash});
    QVERIFY(sim);
    Host host(sim->ptyPath());
    TChannelImage downloaded;
    fillMap(downloaded, {1, 1, 1}, 3);
    TDownloadCurrMapCmd download(host.conn.get());
    download.setTarget(&downloaded);
    QCOMPARE(download.Execute(), !tags.isEmpty());
    compareMaps(downloaded, uploaded);
}

void TestDeviceFlows::refusals_data() {
    QTest::addColumn<QList<int>>("tags");
    QTest::addColumn<int>("capacity");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("deviceError");
    QTest::addColumn<int>("kept"); // entries the device's map holds afterwards

    QTest::newRow("full map") << QList<int>{0, 1, 2} << 2 << "List of parameters is overflow!" << 2
                              << 2;
    QTest::newRow("tag past the catalogue")
        << QList<int>{1, 7, 2} << 64 << "Tag #7 incorrect!" << 1 << 1;
    QTest::newRow("first tag far past the catalogue")
        << QList<int>{300} << 64 << "Tag #300 incorrect!" << 1 << 0;
}

void TestDeviceFlows::refusals() {
    QFETCH(QList<int>, tags);
    QFETCH(int, capacity);
    QFETCH(QString, message);
    QFETCH(int, deviceError);
    QFETCH(int, kept);
    const QString flash = m_dir.filePath(QString("refused-%1.bin").arg(QTest::currentDataTag()));
    auto sim = device({"--capacity", QString::number(capacity), "--flash", flash});
    QVERIFY(sim);
    Host host(sim->ptyPath());
    TChannelImage image;
    fillMap(image, tags, 1);
    TUploadCurrMapCmd upload(host.conn.get());
    upload.setTarget(&image);
    QVERIFY(upload.Execute()); // a verdict is a completed exchange
    QCOMPARE(host.prompter.messages(), QStringList{message});
    QCOMPARE(int(upload.DeviceError()), deviceError);
    // Neither Action 4 nor the flash request went out.
    QVERIFY(!QFile::exists(flash));

    TChannelImage back;
    TDownloadCurrMapCmd download(host.conn.get());
    download.setTarget(&back);
    QCOMPARE(download.Execute(), kept > 0);
    QCOMPARE(back.Map()->Count(), kept);
}

void TestDeviceFlows::failedExchange_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<QString>("fault"); // --fail-requests of the simulator
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("kept"); // tags in the list afterwards

    const QString flashFailed = QStringLiteral("Ошибка конфигурирования устройства");
    // clang-format off
    // Requests of the tag read: 1 first read, then index write and read per tag.
    QTest::newRow("tags: first read dropped")      << "tags" << "1" << false << "" << 0;
    QTest::newRow("tags: index write corrupted")   << "tags" << "4:corrupt" << false << "" << 1;
    QTest::newRow("tags: read delayed too long")   << "tags" << "5:delay=900" << false << "" << 1;
    QTest::newRow("tags: end-of-list read dropped") << "tags" << "17" << false << "" << 7;
    QTest::newRow("tags: other slave address taken") << "tags" << "3:wrong-address" << true << ""
                                                     << 7;
    // Upload of two entries: 1 A1, 2 A2, 3 options, 4 T, 5 A3, 6 read, 7 T, 8 A3, 9 read,
    // 10 A4, 11 flash.
    QTest::newRow("upload: Action 1 dropped")      << "upload" << "1" << false << "" << 0;
    QTest::newRow("upload: options corrupted")     << "upload" << "3:corrupt" << false << "" << 0;
    QTest::newRow("upload: entry read delayed")    << "upload" << "6:delay=900" << false << "" << 0;
    QTest::newRow("upload: Action 4 dropped")      << "upload" << "10" << false << "" << 0;
    QTest::newRow("upload: flash dropped")         << "upload" << "11" << true << flashFailed << 0;
    // Download of the two stored entries: 1 read, 2 map size, 3 C0, 4 read, 5 C1, 6 read.
    QTest::newRow("download: first read dropped")  << "download" << "1" << false << "" << 0;
    QTest::newRow("download: map size corrupted")  << "download" << "2:corrupt" << false << "" << 0;
    QTest::newRow("download: second index dropped") << "download" << "5" << false << "" << 0;
    QTest::newRow("download: last read delayed")   << "download" << "6:delay=900" << false << ""
                                                   << 0;
    // clang-format on
}

void TestDeviceFlows::failedExchange() {
    QFETCH(QString, command);
    QFETCH(QString, fault);
    QFETCH(bool, result);
    QFETCH(QString, message);
    QFETCH(int, kept);
    const QString flash = m_dir.filePath(QString("fault-%1.bin").arg(QTest::currentDataTag()));
    QVERIFY(QFile::copy(m_flashWithMap, flash));
    auto sim = device({"--flash", flash, "--fail-requests", fault});
    QVERIFY(sim);
    Host host(sim->ptyPath());

    TUpdateTagListCmd tags(host.conn.get());
    TChannelImage image;
    fillMap(image, {4, 1}, 3);
    TUploadCurrMapCmd upload(host.conn.get());
    upload.setTarget(&image);
    TDownloadCurrMapCmd download(host.conn.get());
    download.setTarget(&image);
    TCustomCommand& run = command == "tags"     ? static_cast<TCustomCommand&>(tags)
                          : command == "upload" ? static_cast<TCustomCommand&>(upload)
                                                : download;
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(run.Execute(), result);
    QVERIFY2(clock.elapsed() < 5000, "a failed exchange costs one time-out, not more");
    QCOMPARE(host.prompter.messages(), message.isEmpty() ? QStringList() : QStringList{message});
    QVERIFY(!host.conn->PortDrv.IsOpen());
    if (command == "tags") {
        // The tags read before the failure stay, correct.
        const TTagList& list = *tags.TagList();
        QCOMPARE(list.Count(), kept);
        for (int i = 0; i < list.Count(); ++i)
            QCOMPARE(list[i]->TagName, padded(Catalogue[i].name));
    }

    // The line recovers: the same command runs through on the next try (the late reply of a
    // delayed request must not be taken for the next one).
    QTest::qWait(command == "upload" || fault.contains("delay") ? 1000 : 0);
    host.prompter.records.clear();
    fillMap(image, {4, 1}, 3);
    QVERIFY(run.Execute());
    QCOMPARE(host.prompter.messages(), QStringList());
    if (command == "tags") {
        QCOMPARE(tags.TagList()->Count(), Catalogue.size());
    } else if (command == "download") {
        TChannelImage stored;
        fillMap(stored, {3, 0}, 2);
        compareMaps(image, stored);
    }
}

void TestDeviceFlows::randomFaults_data() {
    QTest::addColumn<QStringList>("faults");
    // About one exchange in fifty fails, so that some rounds get through.
    QTest::newRow("drops") << QStringList{"--drop-rate", "0.02"};
    QTest::newRow("corrupt checksums") << QStringList{"--corrupt-rate", "0.02"};
    QTest::newRow("late replies") << QStringList{"--delay-rate", "0.02", "--delay-ms", "400"};
    QTest::newRow("everything") << QStringList{
        "--drop-rate", "0.01", "--corrupt-rate",       "0.01", "--delay-rate", "0.01",
        "--delay-ms",  "400",  "--wrong-address-rate", "0.05"};
}

void TestDeviceFlows::randomFaults() {
    // Whatever fails, a command ends within bounds, and what it reports true is right; a
    // failed tag read keeps a correct prefix of the catalogue.
    QFETCH(QStringList, faults);
    auto sim = device(QStringList{"--seed", "20240611"} + faults);
    QVERIFY(sim);
    Host host(sim->ptyPath(), 150);
    TUpdateTagListCmd tags(host.conn.get());
    TChannelImage wanted;
    fillMap(wanted, {5, 3, 1}, 4);
    TChannelImage image;
    TUploadCurrMapCmd upload(host.conn.get());
    upload.setTarget(&image);
    TDownloadCurrMapCmd download(host.conn.get());
    download.setTarget(&image);
    int succeeded = 0;
    for (int round = 0; round < 6; ++round) {
        QElapsedTimer clock;
        clock.start();
        const bool read = tags.Execute();
        const TTagList& list = *tags.TagList();
        QVERIFY(read ? list.Count() == Catalogue.size() : list.Count() <= Catalogue.size());
        for (int i = 0; i < list.Count(); ++i)
            QCOMPARE(list[i]->TagName, padded(Catalogue[i].name));

        fillMap(image, {5, 3, 1}, 4);
        const bool sent = upload.Execute() && !upload.FlashFailed();
        if (download.Execute() && sent)
            compareMaps(image, wanted);
        succeeded += read && sent ? 1 : 0;
        QVERIFY(clock.elapsed() < 20000);
        QVERIFY(!host.conn->PortDrv.IsOpen());
    }
    QVERIFY2(succeeded > 0, "at these rates some rounds get through");
}

QTEST_GUILESS_MAIN(TestDeviceFlows)
#include "tst_DeviceFlows.moc"
