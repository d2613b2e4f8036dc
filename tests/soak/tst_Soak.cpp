// Soak: `zorvanctl poll` against the device simulator with every kind of line fault injected at a
// few percent, for a minute (ZORVAN_SOAK_SECONDS sets another length; scripts/soak runs it for
// minutes). The poll must not crash or hang, must keep printing cycles, must count its errors,
// must show right values on every line however many faults it recovered from, and must not
// grow: its resident memory over the last stretch stays within 10 % of the first.
//
// Right values: channels set with --set are held by the device and must read back exactly; the
// device's counters (ten counts a second since it started) must follow the clock, never go
// back, and lag it by no more than a few seconds of failed polls; its ramps and sine waves must
// stay within their type's span.

#include "components/XMLOptionsSerializer.h"
#include "document/CnlImage.h"
#include "document/Document.h"

#include "DevsimProcess.h"
#include "PollProcess.h"
#include "TempConfigHome.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <memory>

using namespace zorvan;
using zorvan::test::DevsimProcess;
using zorvan::test::PollProcess;
using zorvan::test::TempConfigHome;

namespace {

constexpr int ChannelCount = 24; // two spaces of the run
constexpr int ReplyTimeoutMs = 100;
// A counter may lag the clock by the polls lost to faults and a loaded machine, no more.
constexpr double CounterLagSeconds = 6.0;
constexpr double CounterLeadSeconds = 2.0;

struct Channel {
    QString name;
    int type;    // 0 Int, 1 UInt, 2 Long, 3 ULong, 4 Float
    QString set; // the value written before polling; empty: the device's live value
};

// The simulator's curves: entry i is a ramp (i % 3 == 0), a sine wave (1) or a counter (2),
// ramps and sines within the span of its type.
enum class Shape { Ramp, Sine, Counter };
Shape shapeOf(int entry) {
    return Shape(entry % 3);
}
std::pair<double, double> spanOf(int type) {
    switch (type) {
    case 0:
        return {-1000, 1000};
    case 1:
        return {0, 1000};
    case 2:
        return {-100000, 100000};
    case 3:
        return {0, 1000000};
    default:
        return {0, 100};
    }
}

// Every type in every shape, some held at values near the ends of their types, Cyrillic and
// 12-character names.
QList<Channel> channels() {
    const QStringList held{"-32768", "65535", "-2147483648", "2147483647", "-1234.5"};
    QList<Channel> list;
    for (int i = 0; i < ChannelCount; ++i) {
        Channel c;
        c.type = i % 5;
        c.name = i == 5    ? QStringLiteral("Давление")
                 : i == 11 ? QStringLiteral("Температура1")
                           : QStringLiteral("CH%1").arg(i, 2, 10, QLatin1Char('0'));
        if (i % 4 == 3)
            c.set = held[c.type];
        list << c;
    }
    return list;
}

int soakSeconds() {
    bool ok = false;
    const int seconds = qEnvironmentVariableIntValue("ZORVAN_SOAK_SECONDS", &ok);
    return ok && seconds >= 20 ? seconds : 60;
}

double mean(const QList<qint64>& values) {
    double sum = 0;
    for (qint64 v : values)
        sum += double(v);
    return values.isEmpty() ? 0 : sum / double(values.size());
}

} // namespace

class tst_Soak : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase();
    void pollUnderFaults();
};

void tst_Soak::initTestCase() {
    if (DevsimProcess::program().isEmpty())
        QSKIP("no simulator in this build");
    QVERIFY(m_dir.isValid());
}

void tst_Soak::pollUnderFaults() {
    const int seconds = soakSeconds();
    TempConfigHome home;
    const QList<Channel> list = channels();

    // The catalogue is the map: tag i is entry i.
    const QString catalogue = m_dir.filePath("catalogue.txt");
    {
        QFile file(catalogue);
        QVERIFY(file.open(QIODevice::WriteOnly));
        for (int i = 0; i < list.size(); ++i)
            file.write(
                QString("%1 %2 %3\n").arg(100 + i).arg(list[i].type).arg(list[i].name).toUtf8());
    }
    TChannelImage image;
    image.Options = 6; // w:01 - dw:1032: both byte orders away from the plain one
    for (int i = 0; i < list.size(); ++i) {
        TChannelItem* item = image.Map()->Add();
        item->TagIndex = i;
        item->Channel = 100 + i;
        item->ParamType = list[i].type;
        item->TagName = list[i].name;
    }
    const QString map = m_dir.filePath("soak.zorvan");
    {
        TXMLOptionsSerializer serializer;
        ConfigureDocumentSerializer(serializer);
        serializer.Root = &image;
        serializer.XMLFilePath = map;
        QVERIFY(serializer.Save());
    }

    const QString seed = qEnvironmentVariable("ZORVAN_SOAK_SEED", "1103");
    DevsimProcess sim;
    QVERIFY2(sim.start({"--catalogue", catalogue, "--flash", m_dir.filePath("flash.bin"),
                        "--drop-rate", "0.03", "--corrupt-rate", "0.03", "--wrong-address-rate",
                        "0.03", "--delay-rate", "0.03", "--delay-ms", "250", "--seed", seed}),
             qPrintable(sim.errorText()));
    const QDateTime simStarted = QDateTime::currentDateTime();

    // The upload runs into the same faults: tried until it gets through.
    int attempts = 0;
    for (bool done = false; !done; ++attempts) {
        QVERIFY2(attempts < 30, "the upload never got through");
        QProcess upload;
        upload.start(ZORVAN_CTL_PATH, {"upload", map, "--port", sim.ptyPath(), "--timeout",
                                       QString::number(ReplyTimeoutMs)});
        QVERIFY(upload.waitForFinished(60000));
        done = upload.exitStatus() == QProcess::NormalExit && upload.exitCode() == 0;
    }

    QStringList arguments{map, "--port", sim.ptyPath(), "--timeout",
                          QString::number(ReplyTimeoutMs)};
    for (const Channel& c : list)
        if (!c.set.isEmpty())
            arguments << "--set" << c.name + "=" + c.set;

    PollProcess poll;
    // Freed memory is given back at once, so that the resident size shows what the poll holds
    // rather than the sanitizer's quarantine of freed blocks.
    const QString asan = poll.environment.value("ASAN_OPTIONS");
    poll.environment.insert("ASAN_OPTIONS",
                            (asan.isEmpty() ? QString() : asan + ":") + "quarantine_size_mb=0");

    // Every line is checked as it arrives; the first wrong value of each channel is kept.
    QStringList wrong;
    QList<double> lastCounter(list.size(), -1);
    QList<bool> reported(list.size(), false);
    auto fail = [&](int i, const QString& why) {
        if (!reported[i] && wrong.size() < 20)
            wrong << QString("%1: %2").arg(list[i].name, why);
        reported[i] = true;
    };
    poll.onLine = [&](const PollProcess::Line& line) {
        const double sinceStart = double(simStarted.msecsTo(line.time)) / 1000.0;
        for (int i = 0; i < list.size(); ++i) {
            const QString& text = line.fields[i];
            bool ok = false;
            const double value = text.toDouble(&ok);
            if (!ok) {
                fail(i, "not a number: " + text);
                continue;
            }
            if (!list[i].set.isEmpty()) {
                if (std::abs(value - list[i].set.toDouble()) > 1e-3)
                    fail(i, QString("%1 instead of the value set, %2").arg(text, list[i].set));
                continue;
            }
            if (shapeOf(i) == Shape::Counter) {
                // The 16-bit types wrap after 6,553.6 s; a soak of hours compares modulo.
                double lag = sinceStart * 10.0 - value;
                if (list[i].type <= 1)
                    lag = std::remainder(lag, 65536.0);
                if (lag > CounterLagSeconds * 10.0 || lag < -CounterLeadSeconds * 10.0)
                    fail(i, QString("counter %1 at %2 s").arg(text).arg(sinceStart));
                double step = value - lastCounter[i];
                if (list[i].type <= 1)
                    step = std::remainder(step, 65536.0);
                if (lastCounter[i] >= 0 && step < 0)
                    fail(i,
                         QString("counter went back from %1 to %2").arg(lastCounter[i]).arg(text));
                lastCounter[i] = value;
                continue;
            }
            const auto [low, high] = spanOf(list[i].type);
            if (value < low - 1e-3 || value > high + 1e-3)
                fail(i, QString("%1 outside %2..%3").arg(text).arg(low).arg(high));
        }
    };
    QVERIFY(poll.start(arguments));

    // Sampled once a second: the poll is alive, keeps printing, and its resident size.
    QList<qint64> rss; // KiB, one per second
    for (int s = 0; s < seconds; ++s) {
        QTest::qWait(1000);
        QVERIFY2(poll.running(), qPrintable("the poll ended: " + poll.standardError()));
        QVERIFY2(sim.running(), qPrintable("the simulator ended: " + sim.standardError()));
        const qint64 silentMs = poll.elapsedMs() - std::max<qint64>(poll.lastLineMs(), 0);
        QVERIFY2(
            silentMs < 10000,
            qPrintable(
                QString("no cycle for %1 ms after %2 lines").arg(silentMs).arg(poll.lineCount())));
        rss << poll.residentKiB();
    }
    QCOMPARE(poll.stop(SIGINT), 0);
    QCOMPARE(sim.stop(), 0);

    const QString err = poll.standardError();
    QVERIFY2(!err.contains("Sanitizer") && !err.contains("runtime error"), qPrintable(err));
    QStringList names;
    for (const Channel& c : list)
        names << c.name;
    QCOMPARE(poll.header(), names);
    QCOMPARE(poll.malformedLines(), 0);
    QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join('\n')));

    // About one request in eight meets a fault, and each costs one failed request: counted,
    // but not more than the faults and a loaded machine explain.
    const int requests = poll.requests();
    const int errors = poll.errors();
    QVERIFY2(requests > 0 && errors >= 0, qPrintable("no summary: " + err));
    const double errorShare = double(errors) / double(requests);
    // Two requests a cycle; a cycle whose last request failed prints no line.
    const double lineShare = double(poll.lineCount()) * 2.0 / double(requests);

    // The first stretch after a few seconds of warming up, against the last one.
    const int stretch = std::min(60, seconds / 4);
    const double first = mean(rss.mid(5, stretch));
    const double last = mean(rss.mid(rss.size() - stretch));
    qInfo("%d s: %lld lines, %d requests, %d errors (%.1f %%), longest gap %lld ms; resident "
          "%.0f KiB in the first %d s, %.0f KiB in the last (%+.1f %%); %d upload attempt(s)",
          seconds, poll.lineCount(), requests, errors, errorShare * 100.0, poll.longestGapMs(),
          first, stretch, last, (last / first - 1.0) * 100.0, attempts);

    QVERIFY2(errors > 0, "faults were injected: some requests must have failed");
    QVERIFY2(errorShare < 0.30, "far more errors than faults injected");
    QVERIFY2(lineShare > 0.6 && lineShare <= 1.0 + 1e-9, qPrintable(QString::number(lineShare)));
    // At least a line every two seconds on average even on a loaded machine.
    QVERIFY(poll.lineCount() > seconds / 2);
    QVERIFY(first > 0 && last > 0);
    QVERIFY2(last <= first * 1.10, "resident memory grew by more than 10 %");
}

QTEST_GUILESS_MAIN(tst_Soak)
#include "tst_Soak.moc"
