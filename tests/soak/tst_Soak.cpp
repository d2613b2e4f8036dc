// Soak: `zorvanctl poll` against the device simulator with every kind of line fault injected at a
// few percent, for ZORVAN_SOAK_SECONDS (60 when unset; scripts/soak runs it for minutes). The poll
// must not crash or hang (a cycle at least every 10 s), must count its errors in proportion to
// the faults, must show right values on every line, and must not grow: its resident memory over
// the last stretch stays within 10 % of the first. Right values: the channels set with --set read
// back exactly; the device's counters (ten counts a second since it started) follow the clock and
// never go back; its ramps and sine waves stay within their type's span.

#include "DevsimProcess.h"
#include "PollProcess.h"
#include "Scenario.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <numeric>

using namespace zorvan::test;

namespace {

// Two spaces of channels: every type (i % 5) in every shape of the device's curves (i % 3: ramp,
// sine, counter); every fourth held at a value near an end of its type.
const QStringList held{"-32768", "65535", "-2147483648", "2147483647", "-1234.5"};
const double spans[5][2] = {{-1000, 1000}, {0, 1000}, {-1e5, 1e5}, {0, 1e6}, {0, 100}};

struct SoakRun {
    QTemporaryDir dir;
    QStringList names;
    QStringList arguments; // the --set ones
    DevsimProcess sim;
    QDateTime started;
    QList<double> lastCounter = QList<double>(24, -1);
    QMap<int, QString> wrong; // the first wrong value of each channel; -1: a malformed line

    // The map goes in on a clean line and comes back from the flash in the run with faults (an
    // upload of about 80 exchanges without retries hardly ever gets through them).
    void start() {
        QList<MapChannel> channels;
        QFile catalogue(dir.filePath("catalogue"));
        QVERIFY(catalogue.open(QIODevice::WriteOnly));
        for (int i = 0; i < 24; ++i) {
            names << (i == 5 ? "Давление" : i == 11 ? "Температура1" : QString("CH%1").arg(i));
            channels.append({i, 100 + i, i % 5, names[i]});
            catalogue.write(QString("%1 %2 %3\n").arg(100 + i).arg(i % 5).arg(names[i]).toUtf8());
            if (i % 4 == 3)
                arguments << "--set" << names[i] + "=" + held[i % 5];
        }
        catalogue.close();
        QVERIFY(writeMapFile(dir.filePath("map"), 6, channels)); // both byte orders swapped
        const QStringList device{"--catalogue", catalogue.fileName(), "--flash",
                                 dir.filePath("flash")};
        QVERIFY2(sim.start(device), qPrintable(sim.errorText()));
        QCOMPARE(runZorvanctl({"upload", dir.filePath("map"), "--port", sim.ptyPath()}).exitCode,
                 0);
        QCOMPARE(sim.stop(), 0);
        QVERIFY2(sim.start(device + QStringList{"--drop-rate", "0.03", "--corrupt-rate", "0.03",
                                                "--wrong-address-rate", "0.03", "--delay-rate",
                                                "0.03", "--delay-ms", "250", "--seed",
                                                qEnvironmentVariable("ZORVAN_SOAK_SEED", "1103")}),
                 qPrintable(sim.errorText()));
        started = QDateTime::currentDateTime();
    }

    void check(const QString& line) {
        QStringList fields = line.split(u',');
        const QDateTime time = QDateTime::fromString(fields.takeFirst(), Qt::ISODateWithMs);
        const double since = double(started.msecsTo(time)) / 1000.0;
        if (!time.isValid() || fields.size() != 24)
            wrong.insert(-1, line);
        for (int i = 0; i < fields.size() && i < 24; ++i) {
            bool right = false;
            const double v = fields[i].toDouble(&right);
            // The 16-bit counters wrap after 6553.6 s: a soak of hours compares modulo.
            const auto wrap = [&](double d) { return i % 5 < 2 ? std::remainder(d, 65536) : d; };
            if (i % 4 == 3) {
                right = right && std::abs(v - held[i % 5].toDouble()) < 1e-3;
            } else if (i % 3 != 2) {
                right = right && v >= spans[i % 5][0] - 1e-3 && v <= spans[i % 5][1] + 1e-3;
            } else {
                const double lag = wrap(since * 10 - v);
                right = right && lag < 60 && lag > -20 &&
                        (lastCounter[i] < 0 || wrap(v - lastCounter[i]) >= 0);
                lastCounter[i] = v;
            }
            if (!right && !wrong.contains(i))
                wrong[i] = QString("%1 shows %2 at %3 s").arg(names[i], fields[i]).arg(since);
        }
    }
};

} // namespace

class tst_Soak : public QObject {
    Q_OBJECT
private slots:
    void pollUnderFaults();
};

void tst_Soak::pollUnderFaults() {
    if (DevsimProcess::program().isEmpty())
        QSKIP("no simulator in this build");
    const int asked = qEnvironmentVariableIntValue("ZORVAN_SOAK_SECONDS");
    const int seconds = asked >= 20 ? asked : 60;
    SoakRun run;
    run.start();
    if (QTest::currentTestFailed())
        return;
    DevsimProcess& sim = run.sim;
    const QStringList link{run.dir.filePath("map"), "--port", sim.ptyPath(), "--timeout", "100"};

    PollProcess poll;
    // Freed memory is given back at once, so that the resident size shows what the poll holds
    // rather than the sanitizer's quarantine of freed blocks.
    poll.environment.insert("ASAN_OPTIONS",
                            poll.environment.value("ASAN_OPTIONS") + ":quarantine_size_mb=0");
    QVERIFY(poll.start(link + run.arguments));
    // Once a second: both alive, a cycle within 10 s, the new lines right, the resident size.
    QList<qint64> resident;
    qsizetype checked = 1; // the header
    QElapsedTimer sinceLine;
    sinceLine.start();
    for (int s = 0; s < seconds; ++s) {
        QTest::qWait(1000);
        QVERIFY2(poll.running() && sim.running(), qPrintable(poll.standardError));
        const QStringList lines = poll.lines();
        if (lines.size() > checked)
            sinceLine.start();
        for (; checked < lines.size(); ++checked)
            run.check(lines[checked]);
        QVERIFY2(sinceLine.elapsed() < 10000, "no cycle for 10 s");
        resident << poll.residentKiB();
    }
    QCOMPARE(poll.stop(SIGINT), 0);
    QCOMPARE(sim.stop(), 0);
    const QStringList lines = poll.lines();
    for (; checked < lines.size(); ++checked)
        run.check(lines[checked]);
    QCOMPARE(lines.value(0), "time," + run.names.join(u','));
    QVERIFY2(run.wrong.isEmpty(), qPrintable(QStringList(run.wrong.values()).join('\n')));

    // About one request in eight meets a fault and costs one failed request; a cycle is two
    // requests, and one whose last request failed prints no line.
    const double requests = poll.requests();
    const double errors = poll.errors();
    const double cycles = double(lines.size() - 1);
    QVERIFY2(errors > 0 && errors < 0.3 * requests, "errors out of proportion to the faults");
    QVERIFY(2 * cycles > 0.6 * requests && 2 * cycles <= requests && cycles > seconds / 2);
    // The resident size over the first stretch after a few seconds of warming up, and the last.
    const int stretch = std::min(60, seconds / 4);
    const double first = std::accumulate(resident.begin() + 5, resident.begin() + 5 + stretch, 0.);
    const double last = std::accumulate(resident.end() - stretch, resident.end(), 0.);
    qInfo("%d s: %.0f lines, %.0f requests, %.0f errors; resident %.0f KiB at first, %.0f at last",
          seconds, cycles, requests, errors, first / stretch, last / stretch);
    QVERIFY2(first > 0 && last <= first * 1.10, "resident memory grew by more than 10 %");
}

QTEST_GUILESS_MAIN(tst_Soak)
#include "tst_Soak.moc"
