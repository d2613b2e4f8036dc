#include "Child.h"
// The execution window when the device goes away while it polls, offscreen against the device
// simulator on port COM7 of a private settings folder: the window keeps polling and counts the
// failures; Start does nothing while the device is still gone; once the device is back under
// the same port number, Stop then Start resumes polling with fresh values.

#include "device/AppDataTypes.h"
#include "device/Commands.h"
#include "device/ModbusMap.h"
#include "document/CnlImage.h"
#include "execution/MapRun.h"
#include "execution/ui/ModbusMapExecUnit.h"
#include "settings/AppOptions.h"

#include "DevsimProcess.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>
#include <cstdio>
#include <memory>

using namespace zorvan;
using zorvan::test::child;
using zorvan::test::DevsimProcess;
using zorvan::test::ScriptedPrompter;
using zorvan::test::TempConfigHome;

namespace {

constexpr quint8 ComPort = 7;
constexpr int MapSize = 12;

// Points the port's link at nothing, as a /dev/serial/by-id link is left when its adapter is
// pulled out; before the device dies, so that nothing opens a pseudo-terminal that took the
// dead one's number.
bool unplug(const QString& link) {
    const QString temporary = link + QStringLiteral(".new");
    QFile::remove(temporary);
    return QFile::link(QFileInfo(link).path() + QStringLiteral("/unplugged"), temporary) &&
           std::rename(QFile::encodeName(temporary).constData(),
                       QFile::encodeName(link).constData()) == 0;
}

} // namespace

class tst_UnplugWindow : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

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
    void stopStartAfterUnplug();
};

void tst_UnplugWindow::initTestCase() {
    if (DevsimProcess::program().isEmpty())
        QSKIP("no simulator in this build");
    QVERIFY(m_dir.isValid());
}

void tst_UnplugWindow::stopStartAfterUnplug() {
    TempConfigHome home;
    ScriptedPrompter prompter;
    TOptions options;
    options.setSaveOnDestroy(false);
    options.regprmRxTimeout->setValue(100);
    options.Port->setValue(ComPort);
    TModbusMapConn conn(options);
    const QString link = home.path() + QStringLiteral("/Belmat/Quillmark/ports/COM7");
    const QString flash = m_dir.filePath("flash.bin");
    const QStringList onPort{"--com", QString::number(ComPort), "--flash", flash};

    // The device's map: the first tags of its built-in catalogue, as the editor would drop
    // them; entries 2, 5, 8 and 11 are its counters.
    TChannelImage image;
    {
        auto sim = device(onPort);
        QVERIFY(sim);
        TUpdateTagListCmd tags(&conn);
        QVERIFY(tags.Execute());
        QVERIFY(tags.TagList()->Count() >= MapSize);
        for (int i = 0; i < MapSize; ++i) {
            const TTagListItem& tag = *(*tags.TagList())[i];
            TChannelItem* item = image.Map()->Add();
            item->TagIndex = i;
            item->Channel = tag.Channel;
            item->ParamType = tag.DataType;
            item->TagName = tag.TagName;
        }
        TUploadCurrMapCmd upload(&conn);
        upload.setTarget(&image);
        QVERIFY(upload.Execute());
        QVERIFY(!upload.FlashFailed());
        QCOMPARE(sim->stop(), 0);
    }

    auto first = device(onPort);
    QVERIFY(first);
    {
        TModbusMapExecDlg dlg(&conn);
        QVERIFY(dlg.OpenRun(image));
        dlg.show();
        // The run's counts (the window's boxes show them after the next tick).
        const auto requests = [&] { return dlg.Run()->RequestCount; };
        const auto errors = [&] { return dlg.Run()->ErrorCount; };
        const auto value = [&](int row) {
            return dlg.ValueModel()->index(row, TValueListModel::ValueColumn).data().toString();
        };
        dlg.actStartExecute();
        QVERIFY(dlg.Running());
        QTRY_VERIFY_WITH_TIMEOUT(requests() >= 20 && !value(2).isEmpty(), 15000);
        QVERIFY(errors() < requests() / 2);

        // Unplugged while polling: the window goes on and counts every failed request.
        QVERIFY(unplug(link));
        QCOMPARE(first->stop(SIGKILL), -1);
        const int errorsAtUnplug = errors();
        QTRY_VERIFY_WITH_TIMEOUT(errors() >= errorsAtUnplug + 20, 10000);
        QVERIFY(dlg.Running());
        // From now on every request fails.
        const int requestsGone = requests();
        const int errorsGone = errors();
        QTest::qWait(1000);
        QVERIFY(requests() > requestsGone);
        QCOMPARE(errors() - errorsGone, requests() - requestsGone);

        // Start does nothing while the device is still gone.
        dlg.actStopExecute();
        QVERIFY(!dlg.Running());
        dlg.actStartExecute();
        QVERIFY(!dlg.Running());
        QVERIFY(child<QAction>(dlg, "actStart")->isEnabled());
        QVERIFY(!child<QAction>(dlg, "actStop")->isEnabled());

        // Back under the same port number: Stop then Start resumes, counting from 0 again.
        auto back = device(onPort);
        QVERIFY(back);
        const QDateTime backStarted = QDateTime::currentDateTime();
        dlg.actStartExecute();
        QVERIFY(dlg.Running());
        QVERIFY(child<QAction>(dlg, "actStop")->isEnabled());
        QTRY_VERIFY_WITH_TIMEOUT(requests() >= 40, 15000);
        QVERIFY2(errors() <= requests() / 4,
                 qPrintable(QString("%1 errors in %2 requests").arg(errors()).arg(requests())));
        // The counters started again with the device: every value shown is a fresh one.
        const double since = double(backStarted.msecsTo(QDateTime::currentDateTime())) / 1000.0;
        for (int row = 2; row < MapSize; row += 3) {
            bool ok = false;
            const double counter = value(row).toDouble(&ok);
            QVERIFY2(ok && counter <= (since + 2.0) * 10.0,
                     qPrintable(QString("row %1 shows %2, %3 s after the device came back")
                                    .arg(row)
                                    .arg(value(row))
                                    .arg(since)));
        }
        QCOMPARE(child<QLineEdit>(dlg, "ErrorCountEdit")->text(), QString::number(errors()));
        dlg.actStopExecute();
        QVERIFY(!dlg.Running());
        dlg.CloseRun();
    }
    QCOMPARE(prompter.messages(), QStringList());
}

QTEST_MAIN(tst_UnplugWindow)
#include "tst_UnplugWindow.moc"
