#include "Child.h"
// The editor's device actions against the device simulator and without a port: enabling, the
// frame around a command (hourglass, Download tags disabled, progress window, messages), the
// Tags list refilled before the message, and the document marked changed by a download.

#include "DevsimProcess.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"
#include "components/ui/ReportListView.h"
#include "device/AppDataTypes.h"
#include "device/Commands.h"
#include "device/ModbusMap.h"
#include "document/ChannelMapText.h"
#include "document/CnlImage.h"
#include "document/Document.h"
#include "editor/DragDropController.h"
#include "editor/ui/ChannelMapModel.h"
#include "editor/ui/CnlListVisor.h"
#include "editor/ui/DeviceProgress.h"
#include "settings/AppOptions.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

using namespace zorvan;
using zorvan::test::child;
using zorvan::test::DevsimProcess;
using zorvan::test::ScriptedPrompter;
using zorvan::test::TempConfigHome;

namespace {

constexpr int kPort = 7;
const QString kNoCommunication = QStringLiteral("No communication with the device");
const QString kNoPort = QStringLiteral("Не удалось подключиться к COM-порту");

struct CatalogueTag {
    quint16 channel;
    quint16 type;
    QString name;
};

const QList<CatalogueTag> Catalogue = {
    {0, 4, "TEMP1"},
    {1, 0, "T"},
    {2, 1, "TWELVE_CHARS"},
    {65535, 2, QStringLiteral("Давление")},
    {40, 3, QStringLiteral("Ёж")},
};

// A full read of the catalogue: the first refresh, then a write and a read per tag and for the
// index past the end.
constexpr int kFullReadRequests = 1 + 2 * (5 + 1);

QString padded(const QString& name) {
    return name + QString(12 - name.size(), QChar(0));
}

bool writeCatalogue(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    QByteArray text;
    for (const CatalogueTag& t : Catalogue)
        text += QByteArray::number(t.channel) + ' ' + QByteArray::number(t.type) + ' ' +
                t.name.toUtf8() + '\n';
    return file.write(text) == text.size();
}

// A channel as a download makes it from catalogue tag t.
void addTagChannel(TChannelList& map, int t, const QString& note = QString()) {
    TChannelItem* item = map.Add();
    item->TagIndex = t;
    item->Channel = Catalogue[t].channel;
    item->ParamType = Catalogue[t].type;
    item->TagName = padded(Catalogue[t].name);
    item->Note = note;
}

QStringList tagIndices(const TChannelList& map) {
    QStringList out;
    for (int i = 0; i < map.Count(); ++i)
        out << QString::number(map[i]->TagIndex);
    return out;
}

// The settings, the connection module, a document and the editor, as the program wires them;
// the port is COM7 of a private settings folder, where a simulator can link itself.
struct Host {
    TempConfigHome home;
    std::unique_ptr<TOptions> options;
    std::unique_ptr<TModbusMapConn> conn;
    TDm dm;
    TDragDropController controller;
    TCnlListVisorView view;
    ScriptedPrompter prompter;
    std::unique_ptr<DevsimProcess> device;

    explicit Host(int deviceAddress = 1) {
        options = std::make_unique<TOptions>();
        options->setSaveOnDestroy(false);
        options->Port->setValue(kPort);
        options->regDeviceAddress->setValue(deviceAddress);
        conn = std::make_unique<TModbusMapConn>(*options);
        view.SetDragDropController(&controller);
        view.resize(1000, 400);
    }

    // The simulator on COM7 with the test catalogue.
    bool startDevice(QStringList arguments, const QString& catalogue) {
        device = std::make_unique<DevsimProcess>(); // takes this folder as its settings folder
        arguments << "--com" << QString::number(kPort) << "--catalogue" << catalogue;
        if (!device->start(arguments)) {
            qWarning() << "simulator did not start:" << device->errorText();
            return false;
        }
        return true;
    }

    TChannelList& map() { return *dm.Image()->Map(); }
    QStringList tagRows() const {
        QStringList out;
        for (int row = 0; row < view.TagModel()->rowCount(); ++row)
            out << view.TagModel()->index(row, TTagListModel::colName).data().toString();
        return out;
    }
};

enum class Action { DownloadTags, UploadMap, DownloadMap };

QAction* actionOf(const TCnlListVisorView& view, Action action) {
    switch (action) {
    case Action::DownloadTags:
        return child<QAction>(view, "actDownLoad");
    case Action::UploadMap:
        return child<QAction>(view, "actUpLoad");
    case Action::DownloadMap:
        return child<QAction>(view, "actDownLoadCurrMap");
    }
    return nullptr;
}

TCustomCommand* commandOf(Action action) {
    switch (action) {
    case Action::DownloadTags:
        return UpdateTagListCmd();
    case Action::UploadMap:
        return UploadCurrMapCmd();
    case Action::DownloadMap:
        return DownloadCurrMapCmd();
    }
    return nullptr;
}

// The view's state at one moment of a command's run.
struct Moment {
    bool downloadTagsEnabled = false;
    bool running = false;
    int waitDepth = 0;
    bool progressShown = false;
    bool progressModal = false;
    QString progressText;
    int barMaximum = -1;
    int barValue = -1;
    qint64 elapsedMs = 0;
};

Moment momentOf(const Host& host) {
    Moment m;
    m.downloadTagsEnabled = child<QAction>(host.view, "actDownLoad")->isEnabled();
    m.running = host.view.DeviceOperationRunning();
    m.waitDepth = host.prompter.waitDepth;
    if (auto* dialog = host.view.findChild<TDeviceProgressDlg*>()) {
        m.progressShown = dialog->isVisible();
        m.progressModal = QApplication::activeModalWidget() == dialog;
        m.progressText = child<QLabel>(dialog, "TextLabel")->text();
        m.barMaximum = child<QProgressBar>(dialog, "Bar")->maximum();
        m.barValue = child<QProgressBar>(dialog, "Bar")->value();
    }
    return m;
}

// Sets a command's progress handler for one scope; the view chains the one it finds.
class ProgressProbe {
public:
    ProgressProbe(TCustomCommand& command, std::function<void(int, int)> probe)
        : m_command(command) {
        m_command.OnProgress = std::move(probe);
    }
    ~ProgressProbe() { m_command.OnProgress = nullptr; }

private:
    TCustomCommand& m_command;
};

} // namespace

Q_DECLARE_METATYPE(Action)

class tst_DeviceActions : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_catalogue;
    QString m_flashWithMap; // the device's flash holding the map of tags 3, 0 with options 2

private slots:
    void initTestCase();
    void enabling_data();
    void enabling();
    void noPort_data();
    void noPort();
    void failedTagReadRefillsBeforeMessage_data();
    void failedTagReadRefillsBeforeMessage();
    void frameDuringCommand_data();
    void frameDuringCommand();
    void progressOnlyAfterDelay_data();
    void progressOnlyAfterDelay();
    void downloadMapMarksModified_data();
    void downloadMapMarksModified();
};

void tst_DeviceActions::initTestCase() {
    if (DevsimProcess::program().isEmpty())
        QSKIP("no simulator in this build");
    QVERIFY(m_dir.isValid());
    m_catalogue = m_dir.filePath("catalogue.txt");
    QVERIFY(writeCatalogue(m_catalogue));

    m_flashWithMap = m_dir.filePath("flash-with-map.bin");
    Host host;
    QVERIFY(host.startDevice({"--flash", m_flashWithMap}, m_catalogue));
    host.dm.Image()->Options = 2;
    addTagChannel(host.map(), 3);
    addTagChannel(host.map(), 0);
    host.view.UpdateView();
    child<QAction>(host.view, "actUpLoad")->trigger();
    QCOMPARE(host.prompter.messages(), QStringList());
    QCOMPARE(host.device->stop(), 0);
    QVERIFY(QFile::exists(m_flashWithMap));
}

void tst_DeviceActions::enabling_data() {
    QTest::addColumn<int>("rows");
    QTest::newRow("empty map") << 0;
    QTest::newRow("one channel") << 1;
    QTest::newRow("four channels") << 4;
}

void tst_DeviceActions::enabling() {
    QFETCH(int, rows);
    Host host;
    for (int i = 0; i < rows; ++i)
        addTagChannel(host.map(), i);
    host.view.UpdateView();
    TCnlListVisorView& v = host.view;
    QCOMPARE(child<QAction>(v, "actUpLoad")->isEnabled(), rows > 0);
    QCOMPARE(child<QAction>(v, "actExecuteMap")->isEnabled(), rows > 0);
    QVERIFY(child<QAction>(v, "actDownLoadCurrMap")->isEnabled());
    QVERIFY(child<QAction>(v, "actDownLoad")->isEnabled());

    // The enabling follows the map's rows as they come and go.
    if (rows == 0) {
        TTagList tags;
        tags.Add()->TagName = padded("X");
        v.SetTagList(&tags);
        QVERIFY(v.DropOnMap(QStringLiteral("TagList"), {0}, -1));
        v.SetTagList(nullptr);
    } else {
        child<TReportListView>(v, "LV")->selectAll();
        host.prompter.answers.push_back(PromptAnswer::Yes);
        v.actDeleteExecute();
    }
    QCOMPARE(host.map().Count(), rows > 0 ? 0 : 1);
    QCOMPARE(child<QAction>(v, "actUpLoad")->isEnabled(), rows == 0);
    QCOMPARE(child<QAction>(v, "actExecuteMap")->isEnabled(), rows == 0);
    QVERIFY(child<QAction>(v, "actDownLoadCurrMap")->isEnabled() &&
            child<QAction>(v, "actDownLoad")->isEnabled());
    // A disabled action's handler does nothing when called all the same.
    if (rows > 0) {
        v.actUpLoadExecute();
        v.actExecuteMapExecute();
        QCOMPARE(host.prompter.records.size(), 1); // only the delete question
        QCOMPARE(host.prompter.waitCount, 0);
    }
}

// No simulator on the port: the command's own message while it runs, then the view's.
void tst_DeviceActions::noPort_data() {
    QTest::addColumn<Action>("action");
    QTest::newRow("Download tags") << Action::DownloadTags;
    QTest::newRow("Upload Map") << Action::UploadMap;
    QTest::newRow("Download Map") << Action::DownloadMap;
}

void tst_DeviceActions::noPort() {
    QFETCH(Action, action);
    Host host(9);
    addTagChannel(host.map(), 2, "note");
    addTagChannel(host.map(), 4);
    host.view.UpdateView();
    const QStringList mapBefore = tagIndices(host.map());
    const quint8 space1Before = host.conn->Space1.DeviceAddress();
    QVERIFY(space1Before != 9);
    const int tagsHeld = UpdateTagListCmd()->TagList()->Count();

    QList<Moment> atMessage;
    host.prompter.onRecord = [&](const ScriptedPrompter::Record&) {
        atMessage.append(momentOf(host));
    };
    actionOf(host.view, action)->trigger();

    QCOMPARE(host.prompter.messages(), (QStringList{kNoPort, kNoCommunication}));
    QCOMPARE(atMessage.size(), 2);
    // The port message comes from inside the run, the other one after it.
    QVERIFY(!atMessage[0].downloadTagsEnabled && atMessage[0].running);
    QCOMPARE(atMessage[0].waitDepth, 1);
    QVERIFY(atMessage[1].downloadTagsEnabled && !atMessage[1].running);
    QCOMPARE(atMessage[1].waitDepth, 0);
    QCOMPARE(host.prompter.waitCount, 1);
    QVERIFY(child<QAction>(host.view, "actDownLoad")->isEnabled());

    QCOMPARE(tagIndices(host.map()), mapBefore);
    QVERIFY(!host.dm.Link.Modified());
    // Before an upload the flash space takes the map-control space's device address.
    QCOMPARE(host.conn->Space1.DeviceAddress(),
             action == Action::UploadMap ? quint8(9) : space1Before);
    // The Tags list shows what the command holds: it did not get to read.
    QCOMPARE(host.view.TagModel()->rowCount(), tagsHeld);
    QVERIFY(!UploadCurrMapCmd()->Target() && !DownloadCurrMapCmd()->Target());
}

// A full read, then one that breaks off at the given request: at the message, the Tags list
// already shows the tags read before the failure, not the earlier list.
void tst_DeviceActions::failedTagReadRefillsBeforeMessage_data() {
    QTest::addColumn<int>("failRequest"); // of the second read, from 1
    QTest::addColumn<int>("tagsRead");
    QTest::newRow("first refresh") << 1 << 0;
    QTest::newRow("write of index 0") << 2 << 0;
    QTest::newRow("write of index 1") << 4 << 1;
    QTest::newRow("read of tag 2") << 7 << 2;
    QTest::newRow("write past the end") << 12 << 5;
}

void tst_DeviceActions::failedTagReadRefillsBeforeMessage() {
    QFETCH(int, failRequest);
    QFETCH(int, tagsRead);
    Host host;
    QVERIFY(host.startDevice({"--fail-requests", QString::number(kFullReadRequests + failRequest)},
                             m_catalogue));
    child<QAction>(host.view, "actDownLoad")->trigger();
    QCOMPARE(host.prompter.messages(), QStringList());
    QCOMPARE(host.view.TagModel()->rowCount(), Catalogue.size());

    QStringList rowsAtMessage{"not shown"};
    host.prompter.onRecord = [&](const ScriptedPrompter::Record&) {
        rowsAtMessage = host.tagRows();
    };
    child<QAction>(host.view, "actDownLoad")->trigger();
    QCOMPARE(host.prompter.messages(), QStringList{kNoCommunication});
    QStringList expected;
    for (int t = 0; t < tagsRead; ++t)
        expected << Catalogue[t].name;
    QCOMPARE(rowsAtMessage, expected);
    QCOMPARE(host.tagRows(), expected);
    // Row numbers and channels of the rows that came.
    for (int t = 0; t < tagsRead; ++t) {
        QCOMPARE(host.view.TagModel()->index(t, TTagListModel::colNumber).data().toString(),
                 QString::number(t + 1));
        QCOMPARE(host.view.TagModel()->index(t, TTagListModel::colChannel).data().toString(),
                 QString::number(Catalogue[t].channel + 1));
    }
    QVERIFY(child<QAction>(host.view, "actDownLoad")->isEnabled());
}

// While a command runs: Download tags disabled, the hourglass on, the progress window modal
// and counting; afterwards all of it undone and the test's own handler back in place.
void tst_DeviceActions::frameDuringCommand_data() {
    QTest::addColumn<Action>("action");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<int>("barMaximum"); // 0: a busy bar
    QTest::newRow("Download tags") << Action::DownloadTags
                                   << QStringList{"Tags read: 1", "Tags read: 2", "Tags read: 3",
                                                  "Tags read: 4", "Tags read: 5"}
                                   << 0;
    QTest::newRow("Upload Map") << Action::UploadMap
                                << QStringList{"Entry 1 of 3 written", "Entry 2 of 3 written",
                                               "Entry 3 of 3 written"}
                                << 3;
    QTest::newRow("Download Map") << Action::DownloadMap
                                  << QStringList{"Entry 1 of 3 read", "Entry 2 of 3 read",
                                                 "Entry 3 of 3 read"}
                                  << 3;
}

void tst_DeviceActions::frameDuringCommand() {
    QFETCH(Action, action);
    QFETCH(QStringList, texts);
    QFETCH(int, barMaximum);
    Host host;
    QVERIFY(host.startDevice({}, m_catalogue));
    host.view.SetProgressDelayMs(0);
    host.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host.view));

    QList<Moment> moments;
    TCustomCommand& command = *commandOf(action);
    {
        ProgressProbe probe(command, [&](int done, int) {
            moments.append(momentOf(host));
            auto* dialog = host.view.findChild<TDeviceProgressDlg*>();
            if (done == 2 && dialog) {
                QDir().mkpath(QStringLiteral(ZORVAN_TEST_OUTPUT_DIR));
                dialog->grab().toImage().save(QStringLiteral(ZORVAN_TEST_OUTPUT_DIR) +
                                              QStringLiteral("/device-progress-%1.png")
                                                  .arg(QTest::currentDataTag())
                                                  .replace(' ', '-'));
            }
        });
        // Tags, three of them dropped into the map, uploaded, and downloaded again.
        child<QAction>(host.view, "actDownLoad")->trigger();
        QVERIFY(host.view.DropOnMap(QStringLiteral("TagList"), {1, 3, 4}, -1));
        host.dm.Link.ClearModified();
        child<QAction>(host.view, "actUpLoad")->trigger();
        child<QAction>(host.view, "actDownLoadCurrMap")->trigger();
        QVERIFY(command.OnProgress); // the test's handler again, not the view's
    }
    QCOMPARE(host.prompter.messages(), QStringList());
    QCOMPARE(tagIndices(host.map()), (QStringList{"1", "3", "4"}));
    QStringList shownTexts;
    for (int k = 0; k < moments.size(); ++k) {
        const Moment& m = moments[k];
        QVERIFY(!m.downloadTagsEnabled && m.running);
        QCOMPARE(m.waitDepth, 1);
        QVERIFY(m.progressShown && m.progressModal);
        QCOMPARE(m.barMaximum, barMaximum);
        if (barMaximum > 0)
            QCOMPARE(m.barValue, k + 1);
        shownTexts << m.progressText;
    }
    QCOMPARE(shownTexts, texts);
    QVERIFY(host.view.findChild<TDeviceProgressDlg*>() == nullptr);
    QVERIFY(child<QAction>(host.view, "actDownLoad")->isEnabled());
    QCOMPARE(host.prompter.waitDepth, 0);
    QCOMPARE(host.prompter.waitCount, 3);
    // The same map came back: nothing for the document to save.
    QVERIFY(!host.dm.Link.Modified());
}

// The progress window waits 300 ms, so that quick commands do not flash.
void tst_DeviceActions::progressOnlyAfterDelay_data() {
    QTest::addColumn<int>("replyDelayMs");
    QTest::addColumn<bool>("mustShow");
    QTest::newRow("prompt device") << 0 << false;
    QTest::newRow("slow device") << 40 << true;
}

void tst_DeviceActions::progressOnlyAfterDelay() {
    QFETCH(int, replyDelayMs);
    QFETCH(bool, mustShow);
    Host host;
    QStringList arguments;
    if (replyDelayMs > 0)
        arguments << "--delay-ms" << QString::number(replyDelayMs);
    QVERIFY(host.startDevice(arguments, m_catalogue));
    host.options->regprmRxTimeout->setValue(500);
    host.conn->ApplyOptions();
    QCOMPARE(host.view.ProgressDelayMs(), TDeviceProgress::DefaultShowDelayMs);
    host.view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host.view));

    QElapsedTimer clock;
    QList<Moment> moments;
    ProgressProbe probe(*UpdateTagListCmd(), [&](int, int) {
        moments.append(momentOf(host));
        moments.last().elapsedMs = clock.elapsed();
    });
    clock.start();
    child<QAction>(host.view, "actDownLoad")->trigger();
    QCOMPARE(host.prompter.messages(), QStringList());
    QCOMPARE(moments.size(), Catalogue.size());
    bool shown = false;
    for (const Moment& m : std::as_const(moments)) {
        // The view's clock starts a little after the test's.
        if (m.progressShown)
            QVERIFY2(m.elapsedMs >= 300, qPrintable(QString::number(m.elapsedMs)));
        if (m.elapsedMs >= 300 + 100)
            QVERIFY2(m.progressShown, qPrintable(QString::number(m.elapsedMs)));
        if (m.progressShown)
            QVERIFY(m.progressModal && m.progressText.startsWith("Tags read: "));
        shown = shown || m.progressShown;
    }
    if (mustShow) {
        QVERIFY(shown);
        QVERIFY(!moments.first().progressShown);
    }
    QVERIFY(host.view.findChild<TDeviceProgressDlg*>() == nullptr);
}

// Download Map replaces the document's map: a document that changed must ask to be saved.
void tst_DeviceActions::downloadMapMarksModified_data() {
    QTest::addColumn<bool>("deviceHasMap"); // tags 3, 0 with options 2; else an empty map
    QTest::addColumn<int>("failRequest");   // 0: none
    QTest::addColumn<QList<int>>("document");
    QTest::addColumn<quint32>("options");
    QTest::addColumn<QString>("note"); // of the document's first channel
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QStringList>("after");
    QTest::addColumn<bool>("modified");

    const QList<int> none;
    QTest::newRow("into an empty document")
        << true << 0 << none << 0u << "" << true << true << QStringList{"3", "0"} << true;
    QTest::newRow("over another map") << true << 0 << QList<int>{1, 2, 4} << 5u << "" << true
                                      << true << QStringList{"3", "0"} << true;
    QTest::newRow("the same map") << true << 0 << QList<int>{3, 0} << 2u << "" << true << true
                                  << QStringList{"3", "0"} << false;
    QTest::newRow("the same map but options") << true << 0 << QList<int>{3, 0} << 1u << "" << true
                                              << true << QStringList{"3", "0"} << true;
    QTest::newRow("the same map but a note") << true << 0 << QList<int>{3, 0} << 2u << "pump"
                                             << true << true << QStringList{"3", "0"} << true;
    QTest::newRow("empty device map over channels")
        << false << 0 << QList<int>{1, 2} << 0u << "" << true << false << QStringList{} << true;
    QTest::newRow("empty device map, empty document")
        << false << 0 << none << 0u << "" << true << false << QStringList{} << false;
    QTest::newRow("empty device map, options differ")
        << false << 0 << none << 3u << "" << true << false << QStringList{} << true;
    QTest::newRow("broken off after the first entry")
        << true << 5 << QList<int>{1, 2, 4} << 2u << "" << true << false << QStringList{"3"}
        << true;
    QTest::newRow("no answer at all") << true << 1 << QList<int>{1, 2, 4} << 2u << "" << true
                                      << false << QStringList{"1", "2", "4"} << false;
    QTest::newRow("no document open")
        << true << 0 << none << 0u << "" << false << true << QStringList{"3", "0"} << false;
}

void tst_DeviceActions::downloadMapMarksModified() {
    QFETCH(bool, deviceHasMap);
    QFETCH(int, failRequest);
    QFETCH(QList<int>, document);
    QFETCH(quint32, options);
    QFETCH(QString, note);
    QFETCH(bool, active);
    QFETCH(bool, result);
    QFETCH(QStringList, after);
    QFETCH(bool, modified);

    Host host;
    QStringList arguments;
    if (deviceHasMap) {
        const QString flash =
            m_dir.filePath(QStringLiteral("flash-%1.bin").arg(QTest::currentDataTag()));
        QFile::remove(flash);
        QVERIFY(QFile::copy(m_flashWithMap, flash));
        arguments << "--flash" << flash;
    }
    if (failRequest > 0)
        arguments << "--fail-requests" << QString::number(failRequest);
    QVERIFY(host.startDevice(arguments, m_catalogue));
    if (!active)
        host.dm.Link.CloseDocument();
    for (int t : document)
        addTagChannel(host.map(), t, host.map().Count() == 0 ? note : QString());
    host.dm.Image()->Options = options;
    host.view.UpdateView();
    QVERIFY(!host.dm.Link.Modified());

    child<QAction>(host.view, "actDownLoadCurrMap")->trigger();
    QCOMPARE(host.prompter.messages(), result ? QStringList() : QStringList{kNoCommunication});
    QCOMPARE(tagIndices(host.map()), after);
    QCOMPARE(host.dm.Link.Modified(), modified);
    QCOMPARE(host.dm.Link.Active(), active);
    // The view shows what the document now holds.
    QCOMPARE(host.view.MapModel()->rowCount(), after.size());
    if (failRequest != 1)
        QCOMPARE(child<QComboBox>(host.view, "OptionsCB")->currentIndex(), deviceHasMap ? 2 : 0);
}

QTEST_MAIN(tst_DeviceActions)
#include "tst_DeviceActions.moc"
