// The device simulator's fault injection, wire pacing, log, options, signals and port link,
// seen from an independent libmodbus master and from the raw bytes on the line.

#include "DevsimProcess.h"
#include "LibmodbusMaster.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <poll.h>
#include <unistd.h>

using zorvan::test::DevsimProcess;
using zorvan::test::LibmodbusMaster;

namespace {

// Bitwise Modbus CRC, kept apart from the simulator's own table-driven one.
std::uint16_t crc16(const QByteArray& data) {
    std::uint16_t crc = 0xFFFF;
    for (const char c : data) {
        crc ^= std::uint8_t(c);
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 1) != 0 ? std::uint16_t((crc >> 1) ^ 0xA001) : std::uint16_t(crc >> 1);
        }
    }
    return crc;
}

bool crcValid(const QByteArray& frame) {
    if (frame.size() < 4) {
        return false;
    }
    const std::uint16_t crc = crc16(frame.left(frame.size() - 2));
    return std::uint8_t(frame[frame.size() - 2]) == (crc & 0xFF) &&
           std::uint8_t(frame[frame.size() - 1]) == (crc >> 8);
}

// Sends a request (libmodbus adds the checksum) and collects the raw reply bytes.
QByteArray rawExchange(LibmodbusMaster& master, std::vector<std::uint8_t> request, int expected,
                       int timeoutMs = 1000) {
    if (modbus_send_raw_request(master.context(), request.data(), int(request.size())) < 0) {
        return {};
    }
    QByteArray reply;
    QElapsedTimer timer;
    timer.start();
    while (reply.size() < expected && timer.elapsed() < timeoutMs) {
        pollfd in{master.fd(), POLLIN, 0};
        if (::poll(&in, 1, int(timeoutMs - timer.elapsed())) <= 0) {
            break;
        }
        char buffer[300];
        const ssize_t n = ::read(master.fd(), buffer, sizeof buffer);
        if (n > 0) {
            reply.append(buffer, n);
        }
    }
    return reply;
}

// What a master sees of one exchange.
QString outcome(bool ok, int error) {
    if (ok) {
        return QStringLiteral("ok");
    }
    switch (error) {
    case ETIMEDOUT:
        return QStringLiteral("timeout");
    case EMBBADCRC:
        return QStringLiteral("crc");
    case EMBBADSLAVE:
        return QStringLiteral("slave");
    default:
        return QStringLiteral("error %1").arg(error);
    }
}

// Request i (1-based): odd ones write TagIndex := i, even ones read the 14 control registers.
QString exchange(LibmodbusMaster& master, int i) {
    const bool ok =
        i % 2 == 1 ? master.write1(12289, std::uint16_t(i)) : master.read(12288, 14).has_value();
    return outcome(ok, master.lastError());
}

} // namespace

class TestFaultsAndLifecycle : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;

    std::unique_ptr<DevsimProcess> device(const QStringList& arguments) {
        auto process = std::make_unique<DevsimProcess>();
        if (!process->start(arguments)) {
            qWarning() << "simulator did not start:" << process->errorText();
            return nullptr;
        }
        return process;
    }

    // Runs exchanges 1..n; after a failed one waits settleMs and drops whatever came late.
    QStringList run(LibmodbusMaster& master, int n, int settleMs) {
        QStringList seen;
        for (int i = 1; i <= n; ++i) {
            seen << exchange(master, i);
            if (seen.last() != QLatin1String("ok")) {
                QTest::qWait(settleMs);
                master.flush();
            }
        }
        return seen;
    }

private slots:
    void initTestCase() {
        if (DevsimProcess::program().isEmpty()) {
            QSKIP("no simulator in this build");
        }
        QVERIFY(m_dir.isValid());
    }

    void failRequests_data() {
        QTest::addColumn<QString>("list");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<int>("settleMs");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("drop 2 and 4")
            << "2,4" << 300 << 50 << QStringList{"ok", "timeout", "ok", "timeout", "ok"};
        QTest::newRow("every kind once") << "1:corrupt,3:wrong-address,5:drop" << 300 << 50
                                         << QStringList{"crc", "ok", "slave", "ok", "timeout"};
        QTest::newRow("delay past the timeout")
            << "2:delay=600" << 300 << 500 << QStringList{"ok", "timeout", "ok", "ok", "ok"};
    }
    void failRequests() {
        QFETCH(QString, list);
        QFETCH(int, timeoutMs);
        QFETCH(int, settleMs);
        QFETCH(QStringList, expected);
        auto sim = device({QStringLiteral("--fail-requests"), list});
        QVERIFY(sim);
        LibmodbusMaster master(sim->ptyPath(), 1, timeoutMs);
        QVERIFY(master.connected());
        QCOMPARE(run(master, int(expected.size()), settleMs), expected);
        // Faults hit the replies only: request 5 was carried out whatever its reply became.
        QCOMPARE(master.read1(12289), std::optional<std::uint16_t>(5));
        QCOMPARE(sim->stop(), 0);
    }

    void rates_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("timeoutMs");
        QTest::addColumn<QString>("expected"); // of every exchange
        QTest::addColumn<int>("minMs");        // each exchange takes at least
        QTest::newRow("no faults") << QStringList{"--drop-rate", "0"} << 300 << "ok" << 0;
        QTest::newRow("drop all") << QStringList{"--drop-rate", "1"} << 150 << "timeout" << 0;
        QTest::newRow("corrupt all") << QStringList{"--corrupt-rate", "1"} << 300 << "crc" << 0;
        QTest::newRow("wrong address all")
            << QStringList{"--wrong-address-rate", "1"} << 300 << "slave" << 0;
        QTest::newRow("delay within the timeout")
            << QStringList{"--delay-ms", "200"} << 1000 << "ok" << 200;
        QTest::newRow("delay past the timeout")
            << QStringList{"--delay-ms", "300"} << 150 << "timeout" << 0;
        QTest::newRow("delay rate 0")
            << QStringList{"--delay-ms", "300", "--delay-rate", "0"} << 250 << "ok" << 0;
    }
    void rates() {
        QFETCH(QStringList, arguments);
        QFETCH(int, timeoutMs);
        QFETCH(QString, expected);
        QFETCH(int, minMs);
        auto sim = device(arguments);
        QVERIFY(sim);
        LibmodbusMaster master(sim->ptyPath(), 1, timeoutMs);
        QVERIFY(master.connected());
        for (int i = 1; i <= 4; ++i) {
            QElapsedTimer timer;
            timer.start();
            QCOMPARE(exchange(master, i), expected);
            QVERIFY(timer.elapsed() >= minMs);
            if (expected != QLatin1String("ok")) {
                QTest::qWait(200);
                master.flush();
            }
        }
        QCOMPARE(sim->stop(), 0);
    }

    // Byte by byte: a corrupted reply differs from a good one in its checksum only; a reply "of
    // another slave" differs in its address and carries a checksum that fits it.
    void faultedBytes() {
        auto sim = device(
            {QStringLiteral("--fail-requests"), QStringLiteral("2:corrupt,3:wrong-address")});
        QVERIFY(sim);
        LibmodbusMaster master(sim->ptyPath());
        QVERIFY(master.connected());
        const std::vector<std::uint8_t> read14 = {1, 3, 0x30, 0x00, 0x00, 0x0E};
        const QByteArray good = rawExchange(master, read14, 33);
        const QByteArray corrupt = rawExchange(master, read14, 33);
        const QByteArray other = rawExchange(master, read14, 33);
        QCOMPARE(good.size(), 33);
        QCOMPARE(good.left(3), QByteArray::fromHex("01031C"));
        QVERIFY(crcValid(good));
        QCOMPARE(corrupt.size(), 33);
        QCOMPARE(corrupt.left(31), good.left(31));
        QVERIFY(!crcValid(corrupt));
        QCOMPARE(other.size(), 33);
        QVERIFY(other[0] != good[0]);
        QVERIFY(other[0] != 0);
        QCOMPARE(other.mid(1, 30), good.mid(1, 30));
        QVERIFY(crcValid(other));
        QCOMPARE(sim->stop(), 0);
    }

    // On a bus the master may address another slave and, right after, this one. libmodbus as
    // a slave would take the second request for the other slave's reply and swallow it.
    void otherSlaveBackToBack() {
        auto sim = device({QStringLiteral("--address"), QStringLiteral("5")});
        QVERIFY(sim);
        LibmodbusMaster master(sim->ptyPath(), 5);
        QVERIFY(master.connected());
        std::vector<std::uint8_t> foreign = {6, 3, 0x30, 0x00, 0x00, 0x01};
        QVERIFY(modbus_send_raw_request(master.context(), foreign.data(), 6) > 0);
        const QByteArray reply = rawExchange(master, {5, 3, 0x30, 0x00, 0x00, 0x01}, 7);
        QCOMPARE(reply.left(5), QByteArray::fromHex("0503024000"));
        QCOMPARE(reply.size(), 7);
        QVERIFY(crcValid(reply));
        QCOMPARE(sim->stop(), 0);
    }

    // The same seed gives the same faults for the same requests; another seed others.
    void seedRepeatable() {
        const auto pattern = [this](const QString& seed) {
            auto sim = device({QStringLiteral("--drop-rate"), QStringLiteral("0.5"),
                               QStringLiteral("--seed"), seed});
            if (!sim) {
                return QStringList();
            }
            LibmodbusMaster master(sim->ptyPath(), 1, 150);
            const QStringList seen = run(master, 16, 20);
            sim->stop();
            return seen;
        };
        const QStringList first = pattern(QStringLiteral("42"));
        QCOMPARE(first.size(), 16);
        QVERIFY(first.contains(QStringLiteral("ok")));
        QVERIFY(first.contains(QStringLiteral("timeout")));
        QCOMPARE(pattern(QStringLiteral("42")), first);
        QVERIFY(pattern(QStringLiteral("43")) != first);
    }

    // Replies come no sooner than the line would carry request and reply; the run's modelled
    // line time is reported at exit. Two reads of 14 registers: 8 + 33 bytes each, every frame
    // followed by 3.5 characters of silence.
    void wirePacing_data() {
        QTest::addColumn<int>("baud");
        QTest::addColumn<double>("replyMs");    // request, silence, reply
        QTest::addColumn<QString>("totalText"); // of both exchanges
        QTest::newRow("2400") << 2400 << 44.5 * 10 / 2400 * 1000 << "400.000";
        QTest::newRow("19200") << 19200 << 44.5 * 10 / 19200 * 1000 << "50.000";
    }
    void wirePacing() {
        QFETCH(int, baud);
        QFETCH(double, replyMs);
        QFETCH(QString, totalText);
        auto sim = device({QStringLiteral("--wire-baud"), QString::number(baud)});
        QVERIFY(sim);
        LibmodbusMaster master(sim->ptyPath(), 1, 2000);
        for (int i = 0; i < 2; ++i) {
            QElapsedTimer timer;
            timer.start();
            QVERIFY(master.read(12288, 14));
            QVERIFY2(double(timer.nsecsElapsed()) / 1e6 >= replyMs,
                     qPrintable(QStringLiteral("%1 ms").arg(double(timer.nsecsElapsed()) / 1e6)));
        }
        QCOMPARE(sim->stop(), 0);
        QVERIFY2(
            sim->standardError().contains(
                QStringLiteral("modelled wire time %1 ms at %2 baud").arg(totalText).arg(baud)),
            qPrintable(sim->standardError()));
        QCOMPARE(sim->remainingOutput(), QByteArray());
    }

    void log() {
        auto sim = device(
            {QStringLiteral("--log"), QStringLiteral("--fail-requests"), QStringLiteral("2")});
        QVERIFY(sim);
        LibmodbusMaster master(sim->ptyPath(), 1, 150);
        QVERIFY(master.write1(12289, 5));
        QVERIFY(!master.read(12288, 14));
        QCOMPARE(sim->stop(), 0);
        const QStringList lines = sim->standardError().split(QLatin1Char('\n'));
        const auto line = [&lines](const QString& start) {
            for (const QString& l : lines) {
                if (l.startsWith(start)) {
                    return l;
                }
            }
            return QString();
        };
        QVERIFY(
            line("zorvan-devsim: #1 rx 01 10 30 01 00 01 02 00 05 57 81 ").contains("TagIndex 5"));
        QVERIFY(line("zorvan-devsim: #1 tx 01 10 30 01 00 01 ").size() > 0);
        QVERIFY(line("zorvan-devsim: #2 rx 01 03 30 00 00 0E ").size() > 0);
        QVERIFY(line("zorvan-devsim: #2 tx ").contains("dropped"));
        QVERIFY(lines.contains("zorvan-devsim: 2 requests, 1 replies"));
    }

    void stopSignals_data() {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGINT") << SIGINT;
        QTest::newRow("SIGHUP") << SIGHUP;
    }
    void stopSignals() {
        QFETCH(int, signal);
        QTemporaryDir config;
        DevsimProcess sim;
        sim.environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        QVERIFY2(sim.start({QStringLiteral("--com"), QStringLiteral("4")}),
                 qPrintable(sim.errorText()));
        const QString link = config.filePath(QStringLiteral("Belmat/Quillmark/ports/COM4"));
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.ptyPath());
        {
            // A host on the link reaches the device.
            LibmodbusMaster master(link);
            QCOMPARE(master.read1(12288), std::optional<std::uint16_t>(16384));
        }
        QCOMPARE(sim.stop(signal), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
        QVERIFY(!QFileInfo::exists(link));
    }

    void portLinkCases_data() {
        QTest::addColumn<QString>("existing"); // "", "link:TARGET", "file"
        QTest::addColumn<QString>("xdg");      // "set", "unset", "empty"
        QTest::addColumn<bool>("starts");
        QTest::newRow("fresh") << ""
                               << "set" << true;
        QTest::newRow("stale simulator link") << "link:/dev/pts/9999"
                                              << "set" << true;
        QTest::newRow("user's device link") << "link:/dev/null"
                                            << "set" << false;
        QTest::newRow("plain file") << "file"
                                    << "set" << false;
        QTest::newRow("XDG_CONFIG_HOME unset") << ""
                                               << "unset" << true;
        QTest::newRow("XDG_CONFIG_HOME empty") << ""
                                               << "empty" << true;
    }
    void portLinkCases() {
        QFETCH(QString, existing);
        QFETCH(QString, xdg);
        QFETCH(bool, starts);
        QTemporaryDir home;
        DevsimProcess sim;
        QString config = home.filePath(QStringLiteral("config"));
        if (xdg == QLatin1String("set")) {
            sim.environment.insert(QStringLiteral("XDG_CONFIG_HOME"), config);
        } else {
            config = home.filePath(QStringLiteral(".config"));
            sim.environment.insert(QStringLiteral("HOME"), home.path());
            if (xdg == QLatin1String("empty")) {
                sim.environment.insert(QStringLiteral("XDG_CONFIG_HOME"), QString());
            } else {
                sim.environment.remove(QStringLiteral("XDG_CONFIG_HOME"));
            }
        }
        const QString link = config + QStringLiteral("/Belmat/Quillmark/ports/COM3");
        QVERIFY(QDir().mkpath(QFileInfo(link).path()));
        if (existing.startsWith(QLatin1String("link:"))) {
            QVERIFY(QFile::link(existing.mid(5), link));
        } else if (existing == QLatin1String("file")) {
            QFile file(link);
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
        QCOMPARE(sim.start({QStringLiteral("--com"), QStringLiteral("3")}), starts);
        if (!starts) {
            QVERIFY(sim.waitForExit());
            QCOMPARE(sim.exitCode(), 1);
            // What the user had is left as it was.
            if (existing == QLatin1String("file")) {
                QVERIFY(QFileInfo(link).isFile());
            } else {
                QCOMPARE(QFileInfo(link).symLinkTarget(), existing.mid(5));
            }
            return;
        }
        QCOMPARE(QFileInfo(link).symLinkTarget(), sim.ptyPath());
        QCOMPARE(sim.stop(), 0);
        QVERIFY(!QFileInfo(link).isSymLink());
    }

    void help() {
        DevsimProcess sim;
        QProcess process;
        process.start(DevsimProcess::program(), {QStringLiteral("--help")});
        QVERIFY(process.waitForFinished(15000));
        QCOMPARE(process.exitCode(), 0);
        const QString text = QString::fromUtf8(process.readAllStandardOutput());
        for (const char* option :
             {"--address", "--com", "--catalogue", "--flash", "--capacity", "--drop-rate",
              "--corrupt-rate", "--wrong-address-rate", "--delay-ms", "--delay-rate",
              "--fail-requests", "--seed", "--wire-baud", "--log", "--help"}) {
            QVERIFY2(text.contains(QRegularExpression(
                         QStringLiteral("\\n\\s+(-\\w, )?%1\\b").arg(QLatin1String(option)))),
                     option);
        }
    }

    void badOptions_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("message");
        QTest::newRow("rate above 1") << QStringList{"--drop-rate", "1.5"} << "--drop-rate must";
        QTest::newRow("rate not a number")
            << QStringList{"--corrupt-rate", "often"} << "--corrupt-rate must";
        QTest::newRow("address 0") << QStringList{"--address", "0"} << "--address must";
        QTest::newRow("address 248") << QStringList{"--address", "248"} << "--address must";
        QTest::newRow("capacity negative") << QStringList{"--capacity", "-1"} << "--capacity must";
        QTest::newRow("request 0") << QStringList{"--fail-requests", "0"} << "not a request number";
        QTest::newRow("unknown fault")
            << QStringList{"--fail-requests", "3:explode"} << "unknown fault";
        QTest::newRow("delay without length")
            << QStringList{"--fail-requests", "3:delay"} << "needs --delay-ms";
        QTest::newRow("flash folder missing")
            << QStringList{"--flash", "/nonexistent-folder/flash.bin"} << "does not exist";
        QTest::newRow("unknown option") << QStringList{"--bogus"} << "bogus";
        QTest::newRow("stray argument") << QStringList{"stray"} << "unexpected argument";
    }
    void badOptions() {
        QFETCH(QStringList, arguments);
        QFETCH(QString, message);
        DevsimProcess sim;
        QVERIFY(!sim.start(arguments));
        QVERIFY(sim.waitForExit());
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY2(sim.standardError().contains(message), qPrintable(sim.standardError()));
    }
};

QTEST_GUILESS_MAIN(TestFaultsAndLifecycle)
#include "tst_FaultsAndLifecycle.moc"
