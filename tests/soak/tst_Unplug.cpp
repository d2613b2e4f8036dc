// The device going away in the middle of work, and coming back: the simulator is killed while a
// device command runs (between two exchanges, or in the middle of one on a paced line), and then
// started again on the same ports/COMn link.
//
// A command cut short returns false without a message of its own (its caller words the failure),
// notices the hang-up at once instead of waiting out time-outs and retries, closes the port and
// leaves its result as far as it got: the tags read so far, the items of a download read so far,
// an upload's source map untouched. The next run of the same command object reaches the
// restarted simulator through the re-pointed link.
//
// `zorvanctl poll` outlives the device: it counts the failures, costs no more processor time
// while the device is gone than while it waits for a silent one, and opens the port again by
// itself when the device is back under the same port number.

#include "components/XMLOptionsSerializer.h"
#include "device/AppDataTypes.h"
#include "device/Commands.h"
#include "device/ModbusMap.h"
#include "document/CnlImage.h"
#include "document/Document.h"
#include "settings/AppOptions.h"

#include "DevsimProcess.h"
#include "PollProcess.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <memory>
#include <thread>

using namespace zorvan;
using zorvan::test::DevsimProcess;
using zorvan::test::PollProcess;
using zorvan::test::ScriptedPrompter;
using zorvan::test::TempConfigHome;

namespace {

using Clock = std::chrono::steady_clock;

constexpr quint8 ComPort = 7;
constexpr int MapSize = 20;
// Long enough that waiting it out (let alone once per retry) shows; the hang-up must end the
// command well before.
constexpr int ReplyTimeoutMs = 2000;
constexpr int NoticedWithinMs = 1500;

// Where the descriptor fd of this process points now (empty when it is closed).
QString descriptorTarget(int fd) {
    return QFileInfo(QStringLiteral("/proc/self/fd/%1").arg(fd)).symLinkTarget();
}

struct Entry {
    int tagIndex;
    int channel;
    int type;
    QString name;
};

QList<Entry> entries(const TChannelImage& image) {
    QList<Entry> out;
    for (int i = 0; i < image.Map()->Count(); ++i) {
        const TChannelItem& c = *image.Map()->Items(i);
        out.append({c.TagIndex, c.Channel, c.ParamType, c.TagName});
    }
    return out;
}

bool operator==(const Entry& a, const Entry& b) {
    return a.tagIndex == b.tagIndex && a.channel == b.channel && a.type == b.type &&
           a.name == b.name;
}

// The settings and the connection module on port ComPort of a private settings folder.
struct Host {
    TempConfigHome home;
    std::unique_ptr<TOptions> options;
    std::unique_ptr<TModbusMapConn> conn;
    ScriptedPrompter prompter;

    Host() {
        options = std::make_unique<TOptions>();
        options->setSaveOnDestroy(false);
        options->regprmRxTimeout->setValue(ReplyTimeoutMs);
        conn = std::make_unique<TModbusMapConn>(*options);
        conn->PortDrv.setPort(ComPort);
    }
};

// Kills a process from another thread after a delay, while the test thread is blocked in a
// device exchange.
class DelayedKill {
public:
    DelayedKill(qint64 pid, int afterMs)
        : m_thread([this, pid, afterMs] {
              std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
              m_at = Clock::now();
              ::kill(pid_t(pid), SIGKILL);
          }) {}
    ~DelayedKill() { join(); }
    DelayedKill(const DelayedKill&) = delete;
    DelayedKill& operator=(const DelayedKill&) = delete;

    void join() {
        if (m_thread.joinable())
            m_thread.join();
    }
    Clock::time_point at() const { return m_at; }

private:
    Clock::time_point m_at{};
    std::thread m_thread;
};

const QString LostText = QStringLiteral("zorvanctl poll: the line was lost");
const QString ReopenedText = QStringLiteral("zorvanctl poll: port opened again");
constexpr int MeasureMs = 3000;

// The settings folder's link of port number n.
QString portLink(int n) {
    return qEnvironmentVariable("XDG_CONFIG_HOME") +
           QStringLiteral("/Belmat/Quillmark/ports/COM%1").arg(n);
}

// Points the link at nothing, as a /dev/serial/by-id link is left when its adapter is pulled
// out. Done before the device is killed, so that nothing can open a pseudo-terminal that took
// over the dead one's number meanwhile.
bool unplug(const QString& link) {
    const QString gone = QFileInfo(link).path() + QStringLiteral("/unplugged");
    const QString temporary = link + QStringLiteral(".new");
    QFile::remove(temporary);
    return QFile::link(gone, temporary) && ::rename(QFile::encodeName(temporary).constData(),
                                                    QFile::encodeName(link).constData()) == 0;
}

bool saveImage(TChannelImage& image, const QString& path) {
    TXMLOptionsSerializer serializer;
    ConfigureDocumentSerializer(serializer);
    serializer.Root = &image;
    serializer.XMLFilePath = path;
    return serializer.Save();
}

// The processor time the poll uses over the next ms milliseconds, events running meanwhile.
double cpuOver(const PollProcess& poll, int ms) {
    const double before = poll.cpuMs();
    QTest::qWait(ms);
    return poll.cpuMs() - before;
}

} // namespace

class tst_Unplug : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_flashWithMap; // the device's flash after uploading m_uploaded
    std::unique_ptr<TChannelImage> m_uploaded;
    QStringList m_catalogueNames; // the whole catalogue, as read uninterrupted

    std::unique_ptr<DevsimProcess> device(const QStringList& arguments) {
        auto sim = std::make_unique<DevsimProcess>(); // takes the current XDG_CONFIG_HOME
        if (!sim->start(arguments)) {
            qWarning() << "simulator did not start:" << sim->errorText();
            return nullptr;
        }
        return sim;
    }

private slots:
    void initTestCase();
    void interruptedCommand_data();
    void interruptedCommand();
    void pollOutlivesTheDevice();
};

void tst_Unplug::initTestCase() {
    if (DevsimProcess::program().isEmpty())
        QSKIP("no simulator in this build");
    QVERIFY(m_dir.isValid());
    m_flashWithMap = m_dir.filePath("flash-with-map.bin");
    Host host;
    auto sim = device({"--com", QString::number(ComPort), "--flash", m_flashWithMap});
    QVERIFY(sim);

    TUpdateTagListCmd tags(host.conn.get());
    QVERIFY(tags.Execute());
    QVERIFY(tags.TagList()->Count() >= MapSize);
    for (int i = 0; i < tags.TagList()->Count(); ++i)
        m_catalogueNames << (*tags.TagList())[i]->TagName;

    // Tags in a shuffled order, so that a download that restarted or skipped shows.
    m_uploaded = std::make_unique<TChannelImage>();
    m_uploaded->Options = 5;
    for (int k = 0; k < MapSize; ++k) {
        TChannelItem* item = m_uploaded->Map()->Add();
        item->TagIndex = (k * 7) % MapSize;
        const TTagListItem& tag = *(*tags.TagList())[item->TagIndex];
        item->Channel = tag.Channel;
        item->ParamType = tag.DataType;
        item->TagName = tag.TagName;
    }
    TUploadCurrMapCmd upload(host.conn.get());
    upload.setTarget(m_uploaded.get());
    QVERIFY(upload.Execute());
    QCOMPARE(upload.DeviceError(), quint16(0));
    QVERIFY(!upload.FlashFailed());
    QCOMPARE(sim->stop(), 0);
    QVERIFY(QFileInfo(m_flashWithMap).size() > 0);
}

void tst_Unplug::interruptedCommand_data() {
    QTest::addColumn<QString>("command");
    QTest::addColumn<int>("atStep");    // killed when this many steps are done, between exchanges
    QTest::addColumn<int>("afterMs");   // or this long after the start, on a 9600-baud line
    QTest::addColumn<int>("stepsDone"); // steps the command gets through (-1: some, not all)

    // clang-format off
    QTest::newRow("tag read, between tags")         << "tags"     << 5  << 0   << 5;
    QTest::newRow("tag read, during an exchange")   << "tags"     << 0  << 600 << -1;
    QTest::newRow("upload, between entries")        << "upload"   << 3  << 0   << 3;
    QTest::newRow("upload, during an exchange")     << "upload"   << 0  << 600 << -1;
    QTest::newRow("download, between entries")      << "download" << 11 << 0   << 11;
    QTest::newRow("download, during an exchange")   << "download" << 0  << 500 << -1;
    // clang-format on
}

void tst_Unplug::interruptedCommand() {
    QFETCH(QString, command);
    QFETCH(int, atStep);
    QFETCH(int, afterMs);
    QFETCH(int, stepsDone);

    Host host;
    const QString flash = m_dir.filePath(QString("flash-%1.bin").arg(QTest::currentDataTag()));
    QFile::remove(flash);
    QVERIFY(QFile::copy(m_flashWithMap, flash));
    QStringList arguments{"--com", QString::number(ComPort), "--flash", flash};
    if (afterMs > 0)
        arguments << "--wire-baud"
                  << "9600";
    auto sim = device(arguments);
    QVERIFY(sim);

    TUpdateTagListCmd tags(host.conn.get());
    TChannelImage source;
    for (const Entry& e : entries(*m_uploaded)) {
        TChannelItem* item = source.Map()->Add();
        item->TagIndex = e.tagIndex;
        item->Channel = e.channel;
        item->ParamType = e.type;
        item->TagName = e.name;
    }
    source.Options = 2; // differs from the device's, so an upload that got through shows
    TUploadCurrMapCmd upload(host.conn.get());
    upload.setTarget(&source);
    TChannelImage target;
    target.Options = 7;
    target.Map()->Add()->TagIndex = 29; // an earlier document's content
    TDownloadCurrMapCmd download(host.conn.get());
    download.setTarget(&target);
    TCustomCommand& run = command == "tags"     ? static_cast<TCustomCommand&>(tags)
                          : command == "upload" ? static_cast<TCustomCommand&>(upload)
                                                : download;

    int progressed = 0;
    int portFd = -1;
    Clock::time_point killedAt{};
    run.OnProgress = [&](int done, int) {
        progressed = done;
        portFd = host.conn->PortDrv.Handle();
        if (done == atStep) {
            sim->stop(SIGKILL);
            killedAt = Clock::now();
        }
    };
    std::unique_ptr<DelayedKill> killer;
    if (afterMs > 0)
        killer = std::make_unique<DelayedKill>(sim->processId(), afterMs);

    const bool result = run.Execute();
    const auto ended = Clock::now();
    if (killer) {
        killer->join();
        killedAt = killer->at();
        QVERIFY2(killedAt < ended, "the command ended before the simulator was killed");
        sim->stop(SIGKILL);
    }
    QVERIFY(killedAt != Clock::time_point{});

    QCOMPARE(result, false);
    const auto noticedMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(ended - killedAt).count();
    QVERIFY2(noticedMs < NoticedWithinMs,
             qPrintable(QString("the command went on for %1 ms after the hang-up").arg(noticedMs)));
    QCOMPARE(host.prompter.messages(), QStringList());
    QVERIFY(!host.conn->PortDrv.IsOpen());
    QVERIFY(portFd >= 0);
    QVERIFY2(!descriptorTarget(portFd).startsWith("/dev/pts/"), "the port's descriptor leaked");
    if (stepsDone >= 0) {
        QCOMPARE(progressed, stepsDone);
    } else {
        const int all = command == "tags" ? int(m_catalogueNames.size()) : MapSize;
        QVERIFY2(progressed > 0 && progressed < all,
                 qPrintable(QString("killed after %1 steps: not mid-way").arg(progressed)));
    }

    // What the command leaves: the part read before the hang-up, correct.
    if (command == "tags") {
        const TTagList& list = *tags.TagList();
        QCOMPARE(list.Count(), progressed);
        for (int i = 0; i < list.Count(); ++i)
            QCOMPARE(list[i]->TagName, m_catalogueNames[i]);
    } else if (command == "upload") {
        QCOMPARE(upload.DeviceError(), quint16(0));
        QVERIFY(!upload.FlashFailed());
        QVERIFY(entries(source) == entries(*m_uploaded));
        QCOMPARE(source.Options, 2u);
    } else {
        QCOMPARE(download.DeviceCount(), MapSize);
        QCOMPARE(target.Options, m_uploaded->Options);
        QCOMPARE(target.Map()->Count(), progressed);
        QVERIFY(entries(target) == entries(*m_uploaded).mid(0, progressed));
    }

    // The device comes back on the same port number: the same command object gets through.
    run.OnProgress = nullptr;
    auto again = device({"--com", QString::number(ComPort), "--flash", flash});
    QVERIFY(again);
    QVERIFY(run.Execute());
    QCOMPARE(host.prompter.messages(), QStringList());
    QVERIFY(!host.conn->PortDrv.IsOpen());
    if (command == "tags") {
        QCOMPARE(tags.TagList()->Count(), m_catalogueNames.size());
    } else if (command == "upload") {
        TDownloadCurrMapCmd check(host.conn.get());
        TChannelImage stored;
        check.setTarget(&stored);
        QVERIFY(check.Execute());
        QCOMPARE(stored.Options, 2u);
        QVERIFY(entries(stored) == entries(*m_uploaded));
    } else {
        QCOMPARE(target.Options, m_uploaded->Options);
        QVERIFY(entries(target) == entries(*m_uploaded));
    }
}

void tst_Unplug::pollOutlivesTheDevice() {
    TempConfigHome home;
    const QString link = portLink(ComPort);
    const QString flash = m_dir.filePath("flash-poll.bin");
    QFile::remove(flash);
    QVERIFY(QFile::copy(m_flashWithMap, flash));
    const QString map = m_dir.filePath("poll.zorvan");
    QVERIFY(saveImage(*m_uploaded, map));
    const QStringList onPort{"--com", QString::number(ComPort), "--flash", flash};

    auto first = device(onPort);
    QVERIFY(first);
    PollProcess poll;
    QList<PollProcess::Line> lines;
    poll.onLine = [&](const PollProcess::Line& line) { lines << line; };
    QVERIFY(poll.start({map, "--port", QString::number(ComPort), "--timeout", "100"}));
    QTRY_VERIFY_WITH_TIMEOUT(poll.lineCount() >= 20, 20000);

    // Unplugged: the link's target vanishes with the device.
    QVERIFY(unplug(link));
    QCOMPARE(first->stop(SIGKILL), -1);
    QTRY_VERIFY_WITH_TIMEOUT(poll.standardError().contains(LostText), 5000);
    const qint64 linesBefore = poll.lineCount();
    const double goneCpu = cpuOver(poll, MeasureMs);
    QVERIFY(poll.running());
    QCOMPARE(poll.lineCount(), linesBefore);

    // A device that answers nothing: the poll opens the port again and waits in vain.
    auto silent = device(onPort + QStringList{"--drop-rate", "1"});
    QVERIFY(silent);
    QTRY_COMPARE_WITH_TIMEOUT(poll.standardError().count(ReopenedText), 1, 5000);
    const double waitingCpu = cpuOver(poll, MeasureMs);
    QCOMPARE(poll.lineCount(), linesBefore);
    qInfo("processor time over %d ms: %.1f ms with the device gone, %.1f ms waiting for a silent "
          "one",
          MeasureMs, goneCpu, waitingCpu);
    QVERIFY2(goneCpu <= waitingCpu * 1.5 + 5.0,
             "the poll works harder with the device gone than while it waits for replies");

    // The device is back: the poll finds it by itself and goes on with fresh values.
    QVERIFY(unplug(link));
    QCOMPARE(silent->stop(SIGKILL), -1);
    auto back = device(onPort);
    QVERIFY(back);
    const QDateTime backStarted = QDateTime::currentDateTime();
    QTRY_COMPARE_WITH_TIMEOUT(poll.standardError().count(ReopenedText), 2, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(poll.lineCount() >= linesBefore + 10, 15000);
    // The device's counters (every third entry) started again from 0: no value is a stale
    // one from before the unplugging.
    for (qsizetype n = linesBefore; n < lines.size(); ++n) {
        const double since = double(backStarted.msecsTo(lines[n].time)) / 1000.0;
        for (int entry = 2; entry < MapSize; entry += 3) {
            const double counter = lines[n].fields[entry].toDouble();
            QVERIFY2(counter <= (since + 2.0) * 10.0,
                     qPrintable(QString("entry %1 shows %2 %3 s after the device came back")
                                    .arg(entry)
                                    .arg(counter)
                                    .arg(since)));
        }
    }
    QCOMPARE(poll.stop(SIGINT), 0);
    QCOMPARE(poll.malformedLines(), 0);
    // Every attempt to reach the gone device and every unanswered request counted.
    const int errors = poll.errors();
    const int requests = poll.requests();
    // One failed attempt per time-out and tick while the device was gone, at least.
    QVERIFY2(errors >= MeasureMs / (100 + 20),
             qPrintable(QString("%1 errors counted").arg(errors)));
    QVERIFY(requests > errors + linesBefore);
}

QTEST_GUILESS_MAIN(tst_Unplug)
#include "tst_Unplug.moc"
