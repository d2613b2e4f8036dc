#include "TempConfigHome.h"
#include "ZorvanctlRun.h"
#include "settings/AppOptions.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <memory>
#include <sys/stat.h>
#include <vector>

using namespace zorvan;
using zorvan::test::runZorvanctl;

class tst_StoreWriters : public QObject {
    Q_OBJECT
private slots:
    // Five zorvanctl set different settings at once, on a fresh store and then on the one they
    // wrote: each keeps the others' values.
    void writersAtOnceKeepEachOther() {
        zorvan::test::TempConfigHome home;
        const QList<QList<QStringList>> rounds{{{"Port", "3"},
                                                {"Rate", "9"},
                                                {"regDeviceAddress", "17"},
                                                {"ViewToolBar", "false"},
                                                {"LastDocument", "/tmp/a.zorvan"}},
                                               {{"Port", "4"},
                                                {"Rate", "10"},
                                                {"regDeviceAddress", "18"},
                                                {"ViewToolBar", "true"},
                                                {"LastDocument", "/tmp/b.zorvan"}}};
        for (const QList<QStringList>& sets : rounds) {
            std::vector<std::unique_ptr<QProcess>> runs;
            for (const QStringList& set : sets) {
                runs.push_back(std::make_unique<QProcess>());
                runs.back()->start(ZORVAN_CTL_PATH, QStringList{"options", "set"} + set);
            }
            for (const auto& run : runs) {
                QVERIFY(run->waitForFinished(60000));
                QCOMPARE(run->exitCode(), 0);
            }
            TOptions stored;
            stored.setSaveOnDestroy(false);
            for (const QStringList& set : sets)
                QCOMPARE(stored.DataContainer->FindItem(set[0])->variantValue().toString(), set[1]);
        }
    }

    // The command names each line it skipped, and a store it may not replace makes it fail
    // with the reason, the store left as it was.
    void commandReportsSkippedLinesAndRefusals() {
        zorvan::test::TempConfigHome home;
        const QString file = home.optionsFile();
        QDir().mkpath(QFileInfo(file).path());
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\"Port\"=dword:3\nstray\n\"Rate\"=dword:\n");
        f.close();
        auto r = runZorvanctl({"options"});
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 2);
        QVERIFY2(lines[0].startsWith(file + ":2: ") && lines[1].startsWith(file + ":3: "),
                 qPrintable(r.err));
        QVERIFY(r.out.contains(QRegularExpression("\\nPort +3 ")));

        const QString fifo = home.path() + "/fifo";
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QVERIFY(QFile::remove(file) && QFile::link(fifo, file));
        r = runZorvanctl({"options", "set", "Port", "4"}, 20000);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("is not a regular file"), qPrintable(r.err));
        QCOMPARE(QFileInfo(file).symLinkTarget(), fifo);
    }
};

QTEST_GUILESS_MAIN(tst_StoreWriters)
#include "tst_StoreWriters.moc"
