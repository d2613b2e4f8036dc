#include "Cases.h"
#include "TempConfigHome.h"
#include "components/AtomicFile.h"
#include "settings/DataContainer.h"
#include "settings/StandartStoreObjects.h"

#include <QDir>
#include <QFile>
#include <QtTest>

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

// Builds the node at path: "fifo", "dir", "big" (a sparse file one byte over the 16 MiB cap),
// or a chain of links "->a->b" (names in path's folder, or absolute) whose end gets bytes.
// Returns the chain's end.
QString makeNode(const QString& path, const QString& setup, const QByteArray& bytes) {
    if (setup == "fifo")
        ::mkfifo(QFile::encodeName(path).constData(), 0600);
    if (setup == "dir")
        QDir().mkpath(path);
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
    int port, speed;   // after the load (start values 1 and 0)
    QByteArray saved;  // after Port is set to 5 and saved; empty: the save is refused
};

struct LinkEnd {
    const char* setup; // links from the written name, as makeNode takes them
    bool written;      // else refused, every node left as it was
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
            {"damage kept in place", {"", "[HKEY_LOCAL_MACHINE\\T]\nstray\n\"Port\"=dword:zz\n\"Speed\"=dword:7\n\n", 1, 7,
                "[HKEY_LOCAL_MACHINE\\T]\nstray\n\"Port\"=dword:zz\n\"Speed\"=dword:7\n\"Port\"=dword:00000005\n\n"}},
            {"broken continuation", {"", "\"B\"=hex:01,\\\n\"Speed\"=dword:7\n\"Port\"=dword:3\n", 3, 7,
                                     "\"B\"=hex:01,\\\n\"Speed\"=dword:7\n\"Port\"=dword:00000005\n"}},
            {"huge type, CR ends", {"", "\"Y\"=hex(ffffffff):00\r\"Port\"=dword:3\r", 3, 0,
                                    "\"Y\"=hex(ffffffff):00\r\"Port\"=dword:00000005\r\"Speed\"=dword:00000000\r"}},
            {"bad UTF-8", {"", "\"D\"=\"\xC3\x28\"\n\"Port\"=dword:3\n\"Speed\"=dword:7", 3, 7,
                           "\"D\"=\"\xC3\x28\"\n\"Port\"=dword:00000005\n\"Speed\"=dword:7"}},
            {"UTF-16 BE", {"", be16(u"\"\xD800\"=dword:1\r\n\"Speed\"=dword:7\r\n"), 1, 7,
                           be16(u"\"\xD800\"=dword:1\r\n\"Speed\"=dword:7\r\n\"Port\"=dword:00000005\r\n")}},
            {"two links", {"->a->b", "\"Port\"=dword:3\n", 3, 0, "\"Port\"=dword:00000005\n\"Speed\"=dword:00000000\n"}},
            {"dangling link", {"->new", "", 1, 0, fresh}},
            {"fifo", {"fifo", "", 1, 0, ""}},
            {"folder", {"dir", "", 1, 0, ""}},
            {"over the cap", {"big", "", 1, 0, ""}},
            {"link to /dev/zero", {"->/dev/zero", "", 1, 0, ""}},
            {"link loop", {"->a->Store.reg", "", 1, 0, ""}},
        });
        // clang-format on
    }
    // Every line that can be read is, one that cannot hides nothing and is written back as it
    // was; a store that is not a regular file is neither read nor replaced.
    void damagedStore() {
        QFETCH(Damage, c);
        zorvan::test::TempConfigHome home;
        const QString store = home.path() + "/Test/Store.reg";
        QDir().mkpath(home.path() + "/Test");
        const QString end = makeNode(store, c.setup, c.bytes);
        const QString before = node(store);
        QObject owner;
        auto* container = new TDataContainer(&owner);
        container->setRegPath("Test\\Store");
        auto* port = new TRegInteger(&owner, "Port");
        auto* speed = new TRegInteger(&owner, "Speed");
        port->setValue(1);
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

    void atomicWriterEnds_data() {
        // clang-format off
        addCases<LinkEnd>({
            {"chain to a file", {"->a->b", true}},
            {"dangling end", {"->new", true}},
            {"end is a FIFO", {"->f->fifo", false}},
            {"end is a folder", {"->d", false}},
            {"loop", {"->a->x", false}},
        });
        // clang-format on
    }
    // The writer replaces the regular file a chain of links ends at, keeping its mode, creates
    // a missing end with 0666 less the umask, and refuses any other end; no link is replaced
    // and no temporary file is left.
    void atomicWriterEnds() {
        QFETCH(LinkEnd, c);
        QTemporaryDir dir;
        const QString x = dir.path() + "/x";
        makeNode(dir.path() + "/fifo", "fifo", "");
        makeNode(dir.path() + "/d", "dir", "");
        const bool existing = QByteArray(c.setup).endsWith("b");
        const QString end = makeNode(x, c.setup, existing ? "old" : "");
        QFile(end).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        const auto entries = [&] {
            return QDir(dir.path())
                .entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
        };
        QStringList expected = entries();
        const QString before = node(end);
        const mode_t mask = ::umask(027);
        QString error;
        const bool ok = writeFileAtomically(x, "new", &error);
        ::umask(mask);
        QCOMPARE(ok, c.written);
        QCOMPARE(error.isEmpty(), c.written);
        QVERIFY(QFileInfo(x).isSymLink());
        if (c.written) {
            QCOMPARE(readFile(end), QByteArray("new"));
            QCOMPARE(QFileInfo(end).permissions() & 0x0FFF,
                     QFileDevice::Permissions(existing ? 0x0600 : 0x0640));
        } else {
            QCOMPARE(node(end), before);
        }
        if (!expected.contains(QFileInfo(end).fileName()) && c.written)
            expected << QFileInfo(end).fileName();
        expected.sort();
        QCOMPARE(entries(), expected);
    }
};

QTEST_GUILESS_MAIN(tst_StoreDamage)
#include "tst_StoreDamage.moc"
