#include "Scenario.h"

#include "DevsimProcess.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <modbus/modbus.h> // the support library itself is built without libmodbus flags
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

namespace zorvan::test {

CtlRun runZorvanctl(const QStringList& args, int timeoutMs) {
    QProcess p; // killed when it outlives the time-out
    p.start(QStringLiteral(ZORVAN_CTL_PATH), args);
    const bool done = p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit;
    return {done ? p.exitCode() : -1, QString::fromUtf8(p.readAllStandardOutput()),
            QString::fromUtf8(p.readAllStandardError())};
}

bool writeMapFile(const QString& path, quint32 options, const QList<MapChannel>& channels) {
    QString items;
    for (const MapChannel& c : channels) // the name without its zero padding
        items += QString::asprintf("<Item><Channel>%d</Channel><ParamType>%d</ParamType><TagIndex>"
                                   "%d</TagIndex><TagName>%s</TagName><Note/></Item>",
                                   c.channel, c.type, c.tag,
                                   qUtf8Printable(c.name.section(QChar(0), 0, 0).toHtmlEscaped()));
    QFile file(path);
    return file.open(QIODevice::WriteOnly) &&
           file.write(QString::asprintf("<config Application=\"Grelt Administrator\" Version=\"1\">"
                                        "<Map>%s</Map><BaseAdr>16384</BaseAdr><Options>%u</Options>"
                                        "</config>\n",
                                        qUtf8Printable(items), options)
                          .toUtf8()) > 0;
}

namespace {

bool matches(const QString& actual, const QString& expected) {
    if (!expected.startsWith(u'~'))
        return actual == expected;
    const QRegularExpression re(expected.mid(1), QRegularExpression::DotMatchesEverythingOption);
    return re.match(actual).hasMatch();
}

// Every file in the folders (links left out: the simulator's port links lead to ttys).
QMap<QString, QByteArray> snapshot(const QStringList& folders) {
    QMap<QString, QByteArray> files;
    for (const QString& folder : folders)
        for (QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::NoSymLinks,
                             QDirIterator::Subdirectories);
             it.hasNext();) {
            QFile file(it.next());
            files[file.fileName()] = file.open(QIODevice::ReadOnly) ? file.readAll() : "?";
        }
    return files;
}

// The catalogue file's tags as map channels; a tag past its end as type 0 named X.
QList<MapChannel> catalogueTags(const QString& catalogue, const QStringList& indexes) {
    QFile file(catalogue);
    file.open(QIODevice::ReadOnly);
    const QStringList lines = QString::fromUtf8(file.readAll()).split(u'\n');
    QList<MapChannel> channels;
    for (const QString& index : indexes) {
        const QString line = lines.value(index.toInt(), QStringLiteral("0 0 X"));
        channels.append({index.toInt(), line.section(u' ', 0, 0).toInt(),
                         line.section(u' ', 1, 1).toInt(), line.section(u' ', 2)});
    }
    return channels;
}

// The folders, the simulator and the host of one scenario.
struct Runner {
    explicit Runner(const char* catalogue) : catalogueFile(scratch.filePath(".catalogue")) {
        QFile file(catalogueFile);
        if (!file.open(QIODevice::WriteOnly) || file.write(catalogue) <= 0)
            qFatal("cannot write the catalogue");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.path()));
        sim.environment.insert("XDG_CONFIG_HOME", home.path());
    }
    QString expand(const char* text) const {
        return QString::fromUtf8(text)
            .replace("$D", scratch.path())
            .replace("$H", home.path())
            .replace("$P", sim.ptyPath());
    }
    CtlRun exec(QStringList words);
    CtlRun master(int address, const QString& ops);

    QTemporaryDir scratch;
    QTemporaryDir home;
    QString catalogueFile;
    DevsimProcess sim;
    int slave = 1;
};

CtlRun Runner::exec(QStringList w) {
    const QString verb = w.value(0);
    const QString arg = w.value(1);
    CtlRun r{0, {}, {}};
    if (verb == "device") {
        sim.stop();
        slave = w.contains("--address") ? w.value(w.indexOf("--address") + 1).toInt() : 1;
        w[0] = catalogueFile;
        w.prepend("--catalogue");
        if (!sim.start(w))
            r = {sim.stop(), {}, sim.standardError()};
    } else if (verb == "stop") {
        r.exitCode = sim.stop(arg == "INT" ? SIGINT : arg == "HUP" ? SIGHUP : SIGTERM);
    } else if (verb.startsWith("mb")) {
        r = master(verb.size() > 3 ? verb.mid(3).toInt() : slave, w.mid(1).join(u' '));
    } else if (verb == "cat") {
        QFile file(arg);
        r = {file.open(QIODevice::ReadOnly) ? 0 : 1, QString::fromUtf8(file.readAll()), {}};
    } else if (verb == "log") {
        r.out = sim.standardError();
    } else if (verb == "readlink") {
        r.out = QFile::symLinkTarget(arg);
        r.exitCode = r.out.isEmpty() ? 1 : 0;
    } else if (verb == "put" || verb == "ln") {
        QDir().mkpath(QFileInfo(verb == "ln" ? w.value(2) : arg).path());
        QFile file(arg);
        r.exitCode = verb == "ln"
                         ? !QFile::link(arg, w.value(2))
                         : !file.open(QIODevice::WriteOnly) || file.write(w.value(2).toUtf8()) < 0;
    } else if (verb == "chmod") {
        r.exitCode = ::chmod(QFile::encodeName(w.value(2)).constData(), arg.toUInt(nullptr, 8));
    } else if (verb == "mkmap") {
        r.exitCode =
            !writeMapFile(arg, w.value(2).toUInt(), catalogueTags(catalogueFile, w.mid(3)));
    } else {
        r = runZorvanctl(w);
    }
    return r;
}

CtlRun Runner::master(int address, const QString& ops) {
    modbus_t* ctx = modbus_new_rtu(QFile::encodeName(sim.ptyPath()).constData(), 9600, 'N', 8, 1);
    modbus_set_slave(ctx, address);
    modbus_set_response_timeout(ctx, 0, 500000);
    modbus_connect(ctx);
    const auto write = [ctx](int address, std::vector<std::uint16_t> v) {
        return modbus_write_registers(ctx, address, int(v.size()), v.data()) == int(v.size());
    };
    CtlRun r{0, {}, {}};
    QElapsedTimer clock; // since the previous operation began
    for (const QString& op : ops.split(" ; ")) {
        QStringList w = op.split(u' ');
        const QString verb = w.takeFirst();
        if (verb != "atleast")
            clock.start();
        std::vector<std::uint16_t> v;
        for (const QString& n : w)
            v.push_back(n.toUShort(nullptr, verb == "send" || verb == "post" ? 16 : 0));
        v.resize(std::max<std::size_t>(v.size(), 2));
        QStringList shown;
        bool ok = true;
        if (verb == "read") {
            std::vector<std::uint16_t> regs(v[1]);
            ok = modbus_read_registers(ctx, v[0], v[1], regs.data()) == v[1];
            for (const std::uint16_t reg : regs)
                shown << QString("%1").arg(reg, 4, 16, QChar(u'0')).toUpper();
        } else if (verb == "write") {
            ok = write(v[0], std::vector<std::uint16_t>(v.begin() + 1, v.begin() + w.size()));
        } else if (verb == "send" || verb == "post") {
            std::vector<std::uint8_t> bytes(v.begin(), v.begin() + w.size());
            modbus_send_raw_request(ctx, bytes.data(), int(bytes.size()));
            if (verb == "post") // no waiting for a reply
                continue;
            QByteArray reply;
            char buffer[256];
            // The reply is one write of the simulator: it ends with the first silence.
            for (pollfd in{modbus_get_socket(ctx), POLLIN, 0};
                 ::poll(&in, 1, reply.isEmpty() ? 1000 : 50) > 0;) {
                const ssize_t n = ::read(in.fd, buffer, sizeof buffer);
                if (n <= 0)
                    break;
                reply.append(buffer, n);
            }
            shown << QString::fromLatin1(reply.toHex(' ').toUpper());
        } else if (verb == "upload") {
            const quint32 options = w.value(0).toUInt(nullptr, 0);
            ok = write(12290, {1}) && write(12290, {2}) &&
                 write(12292, {std::uint16_t(options >> 16), std::uint16_t(options)});
            for (qsizetype i = 1; ok && i < w.size(); ++i) {
                std::uint16_t error = 0;
                ok = write(12289, {w[i].toUShort()}) && write(12290, {3}) &&
                     modbus_read_registers(ctx, 12291, 1, &error) == 1;
                shown << QString::number(error);
            }
            ok = ok && write(12290, {4});
        } else if (verb == "atleast") {
            ok = clock.elapsed() >= v[0];
        } else if (verb == "map") {
            std::uint16_t count = 0;
            ok = modbus_read_registers(ctx, 12302, 1, &count) == 1;
            for (std::uint16_t i = 0, tag = 0; ok && i < count; ++i) {
                ok = write(12303, {i}) && modbus_read_registers(ctx, 12289, 1, &tag) == 1;
                shown << QString::number(tag);
            }
        }
        if (!ok) {
            const QString error = verb == "atleast" ? "too early" : modbus_strerror(errno);
            r = {1, r.out, error + u'\n'};
            break;
        }
        if (verb != "write" && verb != "atleast")
            r.out += shown.join(u' ') + u'\n';
    }
    modbus_close(ctx);
    modbus_free(ctx);
    return r;
}

} // namespace

void runScenario(const Scenario& steps, const char* catalogue) {
    if (DevsimProcess::program().isEmpty())
        QSKIP("no simulator in this build");
    Runner runner(catalogue);
    const QStringList folders{runner.scratch.path(), runner.home.path()};
    for (const Step& step : steps) {
        const QString line = runner.expand(step.cmd);
        const auto before = snapshot(folders);
        const CtlRun r = runner.exec(QProcess::splitCommand(line));
        QVERIFY2(r.exitCode == step.exit && matches(r.out, runner.expand(step.out)) &&
                     matches(r.err, runner.expand(step.err)),
                 qPrintable(QString("%1\nexit %2\nout: %3\nerr: %4")
                                .arg(line)
                                .arg(r.exitCode)
                                .arg(r.out, r.err)));
        if (step.exit != 0)
            QVERIFY2(snapshot(folders) == before, qPrintable("files changed: " + line));
    }
}

} // namespace zorvan::test
