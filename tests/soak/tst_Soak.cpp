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

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <numeric>

using namespace zorvan::test;

class tst_Soak : public QObject {
    Q_OBJECT
private slots:
    void pollUnderFaults();
};

void tst_Soak::pollUnderFaults() {
    if (DevsimProcess::program().isEmpty())
        QSKIP("no simulator in this build");
    bool ok = false;
    const int asked = qEnvironmentVariableIntValue("ZORVAN_SOAK_SECONDS", &ok);
    const int seconds = ok && asked >= 20 ? asked : 60;
    // Two spaces of channels: every type (i % 5) in every shape of the device's curves (i % 3:
    // ramp, sine, counter); every fourth held at a value near an end of its type.
    const QStringList held{"-32768", "65535", "-2147483648", "2147483647", "-1234.5"};
    const QList<std::pair<double, double>> spans{
        {-1000, 1000}, {0, 1000}, {-100000, 100000}, {0, 1000000}, {0, 100}};
    QList<MapChannel> channels;
    QStringList names;
    QStringList arguments;
    QByteArray catalogue;
    for (int i = 0; i < 24; ++i) {
        names << (i == 5 ? "Давление" : i == 11 ? "Температура1" : QString("CH%1").arg(i));
        channels.append({i, 100 + i, i % 5, names[i]});
        catalogue += QString("%1 %2 %3\n").arg(100 + i).arg(i % 5).arg(names[i]).toUtf8();
        if (i % 4 == 3)
            arguments << "--set" << names[i] + "=" + held[i % 5];
    }
    QTemporaryDir dir;
    QFile file(dir.filePath("catalogue"));
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write(catalogue) > 0);
    file.close();
    // Byte order 6: both orders away from the plain one.
    QVERIFY(writeMapFile(dir.filePath("map"), 6, channels));

    DevsimProcess sim;
    QVERIFY2(sim.start({"--catalogue", file.fileName(), "--flash", dir.filePath("flash"),
                        "--drop-rate", "0.03", "--corrupt-rate", "0.03", "--wrong-address-rate",
                        "0.03", "--delay-rate", "0.03", "--delay-ms", "250", "--seed",
                        qEnvironmentVariable("ZORVAN_SOAK_SEED", "1103")}),
             qPrintable(sim.errorText()));
    const QDateTime started = QDateTime::currentDateTime();
    const QStringList link{dir.filePath("map"), "--port", sim.ptyPath(), "--timeout", "100"};
    // The upload meets the same faults: tried until it gets through.
    int attempts = 1;
    while (runZorvanctl(QStringList{"upload"} + link).exitCode != 0)
        QVERIFY2(++attempts <= 30, "the upload never got through");

    PollProcess poll;
    // Freed memory is given back at once, so that the resident size shows what the poll holds
    // rather than the sanitizer's quarantine of freed blocks.
    poll.environment.insert("ASAN_OPTIONS",
                            poll.environment.value("ASAN_OPTIONS") + ":quarantine_size_mb=0");
    QList<double> lastCounter(24, -1);
    const auto right = [&](int i, double v, double since) {
        // The 16-bit counters wrap after 6553.6 s: a soak of hours compares modulo.
        const auto wrap = [&](double d) { return i % 5 < 2 ? std::remainder(d, 65536) : d; };
        if (i % 4 == 3)
            return std::abs(v - held[i % 5].toDouble()) < 1e-3;
        if (i % 3 != 2)
            return v >= spans[i % 5].first - 1e-3 && v <= spans[i % 5].second + 1e-3;
        const double lag = wrap(since * 10 - v);
        const bool forward = lastCounter[i] < 0 || wrap(v - lastCounter[i]) >= 0;
        lastCounter[i] = v;
        return lag < 60 && lag > -20 && forward;
    };
    QMap<int, QString> wrong; // the first wrong value of each channel
    poll.onLine = [&](const PollProcess::Line& line) {
        const double since = double(started.msecsTo(line.time)) / 1000.0;
        for (int i = 0; i < 24; ++i) {
            bool number = false;
            const double v = line.fields[i].toDouble(&number);
            if (!(number && right(i, v, since)) && !wrong.contains(i))
                wrong[i] = QString("%1 shows %2 at %3 s").arg(names[i], line.fields[i]).arg(since);
        }
    };
    QVERIFY(poll.start(link + arguments));

    // Once a second: both alive, a cycle within 10 s, and the resident size.
    QList<qint64> resident;
    for (int s = 0; s < seconds; ++s) {
        QTest::qWait(1000);
        QVERIFY2(poll.running() && sim.running(), qPrintable(poll.standardError));
        QVERIFY2(poll.sinceLine.elapsed() < 10000, "no cycle for 10 s");
        resident << poll.residentKiB();
    }
    QCOMPARE(poll.stop(SIGINT), 0);
    QCOMPARE(sim.stop(), 0);
    QCOMPARE(poll.header, names);
    QCOMPARE(poll.malformed, 0);
    QVERIFY2(wrong.isEmpty(), qPrintable(QStringList(wrong.values()).join('\n')));

    const double requests = poll.requests();
    const double errors = poll.errors();
    const auto mean = [](const QList<qint64>& values) {
        return std::accumulate(values.begin(), values.end(), 0.0) / double(values.size());
    };
    // The first stretch after a few seconds of warming up, against the last one.
    const int stretch = std::min(60, seconds / 4);
    const double first = mean(resident.mid(5, stretch));
    const double last = mean(resident.mid(resident.size() - stretch));
    qInfo("%d s: %lld lines, %.0f requests, %.0f errors; resident %.0f KiB at first, %.0f KiB at "
          "last; %d upload attempt(s)",
          seconds, poll.lines, requests, errors, first, last, attempts);
    // About one request in eight meets a fault and costs one failed request; a cycle is two
    // requests, and one whose last request failed prints no line.
    QVERIFY2(errors > 0 && errors < 0.3 * requests, "errors out of proportion to the faults");
    QVERIFY(2.0 * double(poll.lines) > 0.6 * requests && 2.0 * double(poll.lines) <= requests);
    QVERIFY(poll.lines > seconds / 2);
    QVERIFY2(first > 0 && last <= first * 1.10, "resident memory grew by more than 10 %");
}

QTEST_GUILESS_MAIN(tst_Soak)
#include "tst_Soak.moc"
