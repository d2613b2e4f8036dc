#include "Cases.h"
#include "TempConfigHome.h"
#include "Scenario.h"
#include "components/AtomicFile.h"
#include "settings/AppOptions.h"
#include "settings/StandartStoreObjects.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QtTest>

#include <memory>
#include <sys/stat.h>

using namespace zorvan;
using zorvan::test::addCases;

namespace {

QByteArray readFile(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// What a file system node is, so that a refused write is seen to have left it alone.
QString node(const QString& name) {
    struct stat st {};
    ::lstat(QFile::encodeName(name).constData(), &st);
    return QStringLiteral("%1 %2 %3")
        .arg(st.st_mode)
        .arg(st.st_size)
        .arg(QFileInfo(name).symLinkTarget());
}

// UTF-16 BE with its byte-order mark, unit by unit, so that a lone surrogate stays one.
QByteArray be16(QStringView text) {
    QByteArray out("\xFE\xFF");
    for (const QChar c : text)
        out.append(char(c.unicode() >> 8)).append(char(c.unicode() & 0xFF));
    return out;
}

// Builds the node at path: "fifo", "big" (a sparse file one byte over the 16 MiB cap), or a
// chain of links "->a->b" (names in path's folder, or absolute) whose end gets bytes. Returns
// the chain's end.
QString makeNode(const QString& path, const QString& setup, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    if (setup == "fifo")
        ::mkfifo(QFile::encodeName(path).constData(), 0600);
    QFile big(path);
    if (setup == "big" && big.open(QIODevice::WriteOnly))
        big.resize(16 * 1024 * 1024 + 1);
    QString at = path;
    for (const QString& next : setup.split("->", Qt::SkipEmptyParts)) {
        if (setup.startsWith("->")) {
            const QString to = next.startsWith('/') ? next : QFileInfo(path).path() + '/' + next;
            QFile::link(to, at);
            at = to;
        }
    }
    QFile f(at);
    if (!bytes.isEmpty() && f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return at;
}

struct Damage {
    const char* setup; // as makeNode takes it
    QByteArray bytes;  // of the store, or of the end of its links
    int port, speed;   // after the load (start values 0)
    QByteArray saved;  // after Port is set to 5 and saved; empty: the save is refused
};

} // namespace

class tst_StoreDamage : public QObject {
    Q_OBJECT
private slots:
    void damagedStore_data() {
        const QByteArray fresh = "Windows Registry Editor Version 5.00\n\n"
                                 "[HKEY_LOCAL_MACHINE\\Test\\Store]\n"
                                 "\"Port\"=dword:00000005\n\"Speed\"=dword:00000000\n\n";
        // clang-format off
        addCases<Damage>({
            {"lenient forms", {"", "\"port\" = dword:3\r\n\"Speed\"=dword:00000007", 3, 7,
                               "\"port\"=dword:00000005\r\n\"Speed\"=dword:00000007"}},
            {"damage kept in place", {"", "[HKEY_LOCAL_MACHINE\\T]\nstray\n\"Port\"=dword:zz\n\"Speed\"=dword:7\n\n", 0, 7,
                "[HKEY_LOCAL_MACHINE\\T]\nstray\n\"Port\"=dword:zz\n\"Speed\"=dword:7\n\"Port\"=dword:00000005\n\n"}},
            {"broken continuation", {"", "\"B\"=hex:01,\\\n\"Speed\"=dword:7\n\"Port\"=dword:3\n", 3, 7,
                                     "\"B\"=hex:01,\\\n\"Speed\"=dword:7\n\"Port\"=dword:00000005\n"}},
            {"huge type, CR ends", {"", "\"Y\"=hex(ffffffff):00\r\"Port\"=dword:3\r", 3, 0,
                                    "\"Y\"=hex(ffffffff):00\r\"Port\"=dword:00000005\r\"Speed\"=dword:00000000\r"}},
            {"bad UTF-8", {"", "\"D\"=\"\xC3\x28\"\n\"Port\"=dword:3\n\"Speed\"=dword:7", 3, 7,
                           "\"D\"=\"\xC3\x28\"\n\"Port\"=dword:00000005\n\"Speed\"=dword:7"}},
            {"UTF-16 BE", {"", be16(u"\"\xD800\"=dword:1\r\n\"Speed\"=dword:7\r\n"), 0, 7,
                           be16(u"\"\xD800\"=dword:1\r\n\"Speed\"=dword:7\r\n\"Port\"=dword:00000005\r\n")}},
            {"two links", {"->a->b", "\"Port\"=dword:3\n", 3, 0, "\"Port\"=dword:00000005\n\"Speed\"=dword:00000000\n"}},
            {"dangling link", {"->new", "", 0, 0, fresh}},
            {"fifo", {"fifo", "", 0, 0, ""}},
            {"over the cap", {"big", "", 0, 0, ""}},
            {"save past the cap", {"", ';' + QByteArray((16 << 20) - 8, 'x') + '\n', 0, 0, ""}},
            {"link to /dev/zero", {"->/dev/zero", "", 0, 0, ""}},
            {"link loop", {"->a->Store.reg", "", 0, 0, ""}},
        });
        // clang-format on
    }
    // Every line that can be read is, one that cannot hides nothing and is written back as it
    // was; a store that is not a regular file is neither read nor replaced.
    void damagedStore() {
        QFETCH(Damage, c);
        zorvan::test::TempConfigHome home;
        const QString store = home.path() + "/Test/Store.reg";
        const QString end = makeNode(store, c.setup, c.bytes);
        const QString before = node(store);
        QObject owner;
        auto* container = new TDataContainer(&owner);
        container->setRegPath("Test\\Store");
        auto* port = new TRegInteger(&owner, "Port");
        auto* speed = new TRegInteger(&owner, "Speed");
        container->RegisterValues();
        container->Load();
        QCOMPARE(port->Value(), c.port);
        QCOMPARE(speed->Value(), c.speed);
        port->setValue(5);
        container->Save();
        QCOMPARE(port->Modified(), c.saved.isEmpty());
        QCOMPARE(container->LastSaveError().isEmpty(), !c.saved.isEmpty());
        if (c.saved.isEmpty())
            QCOMPARE(node(store), before);
        else
            QCOMPARE(readFile(end), c.saved);
        QCOMPARE(QFileInfo(store).isSymLink(), QByteArray(c.setup).startsWith("->"));
    }

    void atomicWriterRefuses_data() {
        QTest::addColumn<QString>("setup");
        QTest::newRow("end is a FIFO") << "->f->fifo";
        QTest::newRow("loop") << "->a->x";
    }
    // The writer refuses a chain of links that ends at anything but a regular file or nothing,
    // with the reason, every node left as it was and no temporary file behind.
    void atomicWriterRefuses() {
        QFETCH(QString, setup);
        QTemporaryDir dir;
        makeNode(dir.path() + "/fifo", "fifo", "");
        const QString end = makeNode(dir.path() + "/x", setup, "");
        const QString before = node(end);
        QString error;
        QVERIFY(!writeFileAtomically(dir.path() + "/x", "new", &error) && !error.isEmpty());
        QCOMPARE(node(end), before);
        QCOMPARE(QDir(dir.path()).entryList({".x*", ".a*", ".fifo*"}, QDir::Files | QDir::Hidden),
                 QStringList());
    }

    // Five zorvanctl set different settings at once, on a fresh store and then on the one they
    // wrote: each keeps the others' values.
    void writersAtOnceKeepEachOther() {
        zorvan::test::TempConfigHome home;
        const QList<QStringList> sets{{"Port", "3", "4"},
                                      {"Rate", "9", "10"},
                                      {"regDeviceAddress", "17", "18"},
                                      {"ViewToolBar", "false", "true"},
                                      {"LastDocument", "/tmp/a.zorvan", "/tmp/b.zorvan"}};
        for (int round = 1; round <= 2; ++round) {
            std::vector<std::unique_ptr<QProcess>> runs;
            for (const QStringList& set : sets) {
                runs.push_back(std::make_unique<QProcess>());
                runs.back()->start(ZORVAN_CTL_PATH, {"options", "set", set[0], set[round]});
            }
            for (const auto& run : runs)
                QVERIFY(run->waitForFinished(60000) && run->exitCode() == 0);
            TOptions stored;
            stored.setSaveOnDestroy(false);
            for (const QStringList& set : sets)
                QCOMPARE(stored.DataContainer->FindItem(set[0])->variantValue().toString(),
                         set[round]);
        }
    }

    // The command names each line it skipped, and a store it may not replace makes it fail
    // with the reason, the store left as it was.
    void commandReportsSkippedLinesAndRefusals() {
        zorvan::test::TempConfigHome home;
        const QString file = home.optionsFile();
        makeNode(file, "", "\"Port\"=dword:3\nstray\n\"Rate\"=dword:\n");
        auto r = zorvan::test::runZorvanctl({"options"});
        QCOMPARE(r.exitCode, 0);
        const QStringList lines = r.err.split('\n', Qt::SkipEmptyParts);
        QVERIFY2(lines.size() == 2 && lines[0].startsWith(file + ":2: ") &&
                     lines[1].startsWith(file + ":3: "),
                 qPrintable(r.err));
        QVERIFY(r.out.contains(QRegularExpression("\\nPort +3 ")));

        QVERIFY(QFile::remove(file));
        makeNode(file, "->fifo", "");
        makeNode(home.path() + "/Belmat/Quillmark/0/fifo", "fifo", "");
        r = zorvan::test::runZorvanctl({"options", "set", "Port", "4"}, 20000);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("is not a regular file"), qPrintable(r.err));
        QVERIFY(QFileInfo(file).isSymLink());
    }
};

QTEST_GUILESS_MAIN(tst_StoreDamage)
#include "tst_StoreDamage.moc"
