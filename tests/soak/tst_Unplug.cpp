// The device going away in the middle of work and coming back on the same ports/COMn link of a
// private settings folder: device commands, `zorvanctl poll` and the execution window.

#include "device/AppDataTypes.h"
#include "device/Commands.h"
#include "device/ModbusMap.h"
#include "document/CnlImage.h"
#include "execution/MapRun.h"
#include "execution/ui/ModbusMapExecUnit.h"
#include "settings/AppOptions.h"

#include "Cases.h"
#include "Child.h"
#include "DevsimProcess.h"
#include "PollProcess.h"
#include "Scenario.h"
#include "ScriptedPrompter.h"

#include <QTemporaryDir>
#include <QtTest>
#include <thread>

using namespace zorvan;
using namespace zorvan::test;

namespace {

constexpr int MapSize = 20; // the built-in catalogue's first tags; every third entry a counter

// Counters (every third entry) that started again with the device show at most ten counts a
// second since then: no stale value.
bool fresh(const QStringList& values, const QDateTime& since) {
    const double seconds = double(since.msecsTo(QDateTime::currentDateTime())) / 1000;
    for (int entry = 2; entry < MapSize; entry += 3)
        if (values.value(entry).toDouble() > (seconds + 2) * 10)
            return false;
    return true;
}

} // namespace

class tst_Unplug : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    ScriptedPrompter m_prompter;
    TOptions m_options; // port COM7 of the test's settings folder
    QList<MapChannel> m_map;
    TChannelImage m_image; // of m_map, which the device's flash holds
    std::unique_ptr<DevsimProcess> m_sim;

    std::unique_ptr<TModbusMapConn> connection(int timeoutMs) {
        m_options.regprmRxTimeout->setValue(timeoutMs);
        return std::make_unique<TModbusMapConn>(m_options);
    }
    bool plugIn(const QStringList& options = {}) {
        m_sim = std::make_unique<DevsimProcess>();
        return m_sim->start(QStringList{"--com", "7", "--flash", m_dir.filePath("flash")} +
                            options);
    }
    // Points the link at nothing, as a /dev/serial/by-id link is left when its adapter is pulled
    // out, then kills the device: nothing can open a pty that took over the dead one's number.
    bool unplug() {
        const QString link = m_dir.filePath("config/Belmat/Quillmark/ports/COM7");
        return QFile::link(m_dir.filePath("unplugged"), link + ".new") &&
               ::rename(qPrintable(link + ".new"), qPrintable(link)) == 0 &&
               m_sim->stop(SIGKILL) == -1;
    }

private slots:
    void initTestCase() {
        if (DevsimProcess::program().isEmpty())
            QSKIP("no simulator in this build");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(m_dir.filePath("config")));
        m_options.setSaveOnDestroy(false);
        m_options.Port->setValue(7);
        const auto conn = connection(2000);
        QVERIFY(plugIn());
        TUpdateTagListCmd tags(conn.get());
        QVERIFY(tags.Execute() && tags.TagList()->Count() >= MapSize);
        m_image.Options = 5;
        for (int i = 0; i < MapSize; ++i) {
            const TTagListItem& tag = *(*tags.TagList())[i];
            m_map.append({i, int(tag.Channel), int(tag.DataType), tag.TagName});
            TChannelItem* item = m_image.Map()->Add();
            std::tie(item->TagIndex, item->Channel, item->ParamType, item->TagName) =
                std::tuple(i, int(tag.Channel), int(tag.DataType), tag.TagName);
        }
        TUploadCurrMapCmd upload(conn.get());
        upload.setTarget(&m_image);
        QVERIFY(upload.Execute() && upload.DeviceError() == 0 && !upload.FlashFailed());
        QCOMPARE(m_sim->stop(), 0);
    }

    void interruptedCommand_data() {
        addCases<QString>({{"tag read", "tags"}, {"upload", "upload"}, {"download", "download"}});
    }
    // Cut off mid-way (the device killed 500 ms into the run on a 9600-baud line), a command
    // returns false at once (waiting out one 2 s time-out, let alone retries, would show), says
    // nothing itself and closes its port.
    void interruptedCommand() {
        QFETCH(QString, c);
        const auto conn = connection(2000);
        QVERIFY(plugIn({"--wire-baud", "9600"}));
        TUpdateTagListCmd tags(conn.get());
        TUploadCurrMapCmd upload(conn.get());
        upload.setTarget(&m_image);
        TChannelImage target;
        TDownloadCurrMapCmd download(conn.get());
        download.setTarget(&target);
        TCustomCommand& run = c == "tags"     ? static_cast<TCustomCommand&>(tags)
                              : c == "upload" ? static_cast<TCustomCommand&>(upload)
                                              : download;
        int steps = 0;
        run.OnProgress = [&](int done, int) { steps = done; };
        std::chrono::steady_clock::time_point killedAt;
        std::thread killer([&, pid = m_sim->processId()] {
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
            killedAt = std::chrono::steady_clock::now();
            ::kill(pid_t(pid), SIGKILL);
        });
        const bool result = run.Execute();
        const auto ended = std::chrono::steady_clock::now();
        killer.join();
        const auto noticed = ended - killedAt;
        QCOMPARE(result, false);
        QCOMPARE(m_sim->stop(), -1);
        QVERIFY2(steps > 0 && noticed > noticed.zero(), "not cut off mid-way");
        QVERIFY2(noticed < std::chrono::milliseconds(1500), "went on after the hang-up");
        QVERIFY(!conn->PortDrv.IsOpen());
        QCOMPARE(m_prompter.messages(), QStringList());
    }

    // `zorvanctl poll` outlives the device, counting its attempts, and finds it again by itself.
    void pollOutlivesTheDevice() {
        QVERIFY(writeMapFile(m_dir.filePath("map"), 5, m_map));
        QVERIFY(plugIn());
        PollProcess poll;
        QVERIFY(poll.start({m_dir.filePath("map"), "--port", "7", "--timeout", "100"}));
        QTRY_VERIFY_WITH_TIMEOUT(poll.lines().size() > 20, 20000);
        QVERIFY(unplug());
        QTRY_VERIFY_WITH_TIMEOUT(poll.standardError.contains("the line was lost"), 5000);
        const qsizetype before = poll.lines().size();
        QTest::qWait(1000); // the device stays away a while
        QVERIFY(plugIn());
        const QDateTime back = QDateTime::currentDateTime();
        QTRY_VERIFY_WITH_TIMEOUT(poll.standardError.contains("port opened again"), 5000);
        QTRY_VERIFY_WITH_TIMEOUT(poll.lines().size() > before + 10, 15000);
        for (const QString& line : poll.lines().mid(before))
            QVERIFY(fresh(line.split(u',').mid(1), back));
        QCOMPARE(poll.stop(SIGINT), 0);
        QVERIFY2(poll.errors() >= 4, qPrintable(poll.standardError));
    }

    // The execution window outlives the device as `zorvanctl poll` does: the run goes on (Stop
    // on, Start off, closing refused), one failed request per attempt to open the port again,
    // the values greyed, a save to flash held back until the device is back.
    void windowRecovers() {
        const auto conn = connection(100);
        QVERIFY(plugIn());
        TModbusMapExecDlg dlg(conn.get());
        QVERIFY(dlg.OpenRun(m_image));
        dlg.show();
        const auto requests = [&] { return dlg.Run()->RequestCount; };
        const auto errors = [&] { return dlg.Run()->ErrorCount; };
        const auto look = [&] {
            const QModelIndex value = dlg.ValueModel()->index(0, TValueListModel::ValueColumn);
            return QStringLiteral("%1%2 %3")
                .arg(child<QAction>(dlg, "actStart")->isEnabled())
                .arg(child<QAction>(dlg, "actStop")->isEnabled())
                .arg(value.data(Qt::ForegroundRole).isValid() ? "grey" : "live");
        };
        dlg.actStartExecute();
        QTRY_VERIFY_WITH_TIMEOUT(requests() >= 20 && errors() < requests() / 2, 15000);
        QVERIFY(unplug());
        QTRY_VERIFY_WITH_TIMEOUT(!conn->PortDrv.IsOpen(), 5000);
        QCOMPARE(look(), QStringLiteral("01 grey"));
        child<QAction>(dlg, "actS2F")->trigger();
        const int requestsGone = requests();
        const int errorsGone = errors();
        QElapsedTimer gone;
        gone.start();
        QTRY_VERIFY(requests() >= requestsGone + 5);
        // At most one attempt per reply time-out (100 ms), not one per 20 ms tick.
        QVERIFY(requests() - requestsGone <= gone.elapsed() / 100 + 1);
        QCOMPARE(errors() - errorsGone, requests() - requestsGone);
        dlg.close();
        QVERIFY(dlg.isVisible() && dlg.Running());
        QCOMPARE(m_prompter.messages(), QStringList());
        QVERIFY(plugIn());
        const QDateTime back = QDateTime::currentDateTime();
        QTRY_COMPARE_WITH_TIMEOUT(m_prompter.messages(), QStringList{"Данные сохранены"}, 5000);
        const int requestsBack = requests();
        QTRY_VERIFY_WITH_TIMEOUT(requests() >= requestsBack + 20 && look() == "01 live", 15000);
        QVERIFY(errors() - errorsGone <= requestsBack - requestsGone + 2);
        QStringList values;
        for (int row = 0; row < MapSize; ++row)
            values << dlg.ValueModel()->index(row, TValueListModel::ValueColumn).data().toString();
        QVERIFY(fresh(values, back));
        dlg.actExitExecute();
        QVERIFY(!dlg.isVisible());
        dlg.CloseRun();
    }
};

QTEST_MAIN(tst_Unplug)
#include "tst_Unplug.moc"
