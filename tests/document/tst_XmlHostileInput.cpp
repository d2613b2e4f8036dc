// Channel map files built to attack an XML reader: entity expansion bombs and external entities.
// Each must open as the empty map, at once, in bounded memory, without reading any other file,
// and with the reason recorded.

#include "components/XMLOptionsSerializer.h"
#include "document/CnlImage.h"
#include "document/Document.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace zorvan;

namespace {

const QByteArray marker = "ZORVAN-SECRET-7f3a";

QByteArray document(const QByteArray& doctype, const QByteArray& tagName) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n" + doctype +
           "<config Application=\"Grelt Administrator\" Version=\"1\">\n"
           "  <Map>\n    <Item>\n      <Channel>1</Channel>\n      <ParamType>1</ParamType>\n"
           "      <TagIndex>0</TagIndex>\n      <TagName>" +
           tagName +
           "</TagName>\n      <Note/>\n    </Item>\n  </Map>\n"
           "  <BaseAdr>100</BaseAdr>\n  <Options>3</Options>\n</config>\n";
}

// Ten levels of ten references each: 10^10 characters once expanded.
QByteArray billionLaughs() {
    QByteArray dtd = "<!DOCTYPE config [\n<!ENTITY e0 \"lol\">\n";
    for (int level = 1; level <= 10; ++level) {
        dtd += "<!ENTITY e" + QByteArray::number(level) + " \"";
        for (int i = 0; i < 10; ++i)
            dtd += "&e" + QByteArray::number(level - 1) + ";";
        dtd += "\">\n";
    }
    return document(dtd + "]>\n", "&e10;");
}

// One flat entity used many times: no nesting for an expansion limit to catch, yet a 200 KB
// file that expands to 200 million characters.
QByteArray quadraticBlowup() {
    const QByteArray dtd =
        "<!DOCTYPE config [\n<!ENTITY q \"" + QByteArray(4000, 'q') + "\">\n]>\n";
    QByteArray uses;
    for (int i = 0; i < 50000; ++i)
        uses += "&q;";
    return document(dtd, uses);
}

long peakResidentKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Reports whether anyone opened or read a file while it was watched.
class OpenWatch {
public:
    explicit OpenWatch(const QString& file) {
        m_fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        if (m_fd >= 0)
            m_watch =
                inotify_add_watch(m_fd, QFile::encodeName(file).constData(), IN_OPEN | IN_ACCESS);
    }
    ~OpenWatch() {
        if (m_fd >= 0)
            close(m_fd);
    }
    OpenWatch(const OpenWatch&) = delete;
    OpenWatch& operator=(const OpenWatch&) = delete;
    bool valid() const { return m_fd >= 0 && m_watch >= 0; }
    bool touched() const {
        alignas(inotify_event) char buffer[4096];
        return read(m_fd, buffer, sizeof buffer) > 0;
    }

private:
    int m_fd = -1;
    int m_watch = -1;
};

struct MapFile {
    TChannelImage image;
    TXMLOptionsSerializer serializer;
    explicit MapFile(const QString& path) {
        ConfigureDocumentSerializer(serializer);
        serializer.Root = &image;
        serializer.XMLFilePath = path;
    }
};

} // namespace

class tst_XmlHostileInput : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void opensAsEmptyMap_data();
    void opensAsEmptyMap();
    void plainDocumentsStillOpen();
    void reasonStaysOnOneLine_data();
    void reasonStaysOnOneLine();

private:
    QTemporaryDir m_dir{QStringLiteral(ZORVAN_TEST_OUTPUT_DIR "/xml-hostile-XXXXXX")};
    QString m_secret;
};

void tst_XmlHostileInput::initTestCase() {
    QVERIFY(m_dir.isValid());
    m_secret = m_dir.filePath(QStringLiteral("secret.txt"));
    QFile f(m_secret);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(marker + "\n");
}

void tst_XmlHostileInput::opensAsEmptyMap_data() {
    QTest::addColumn<QByteArray>("file");
    const QByteArray secretUrl = "file://" + QFile::encodeName(m_secret);
    QTest::newRow("billion laughs") << billionLaughs();
    QTest::newRow("quadratic blowup") << quadraticBlowup();
    QTest::newRow("external entity, system file")
        << document("<!DOCTYPE config [\n<!ENTITY x SYSTEM \"file:///etc/passwd\">\n]>\n", "&x;");
    QTest::newRow("external entity, file beside the test")
        << document("<!DOCTYPE config [\n<!ENTITY x SYSTEM \"" + secretUrl + "\">\n]>\n", "&x;");
    QTest::newRow("external entity by plain path") << document(
        "<!DOCTYPE config [\n<!ENTITY x SYSTEM \"" + QFile::encodeName(m_secret) + "\">\n]>\n",
        "&x;");
    QTest::newRow("external parameter entity") << document(
        "<!DOCTYPE config [\n<!ENTITY % p SYSTEM \"" + secretUrl + "\">\n%p;\n]>\n", "T1");
    QTest::newRow("external document type")
        << document("<!DOCTYPE config SYSTEM \"" + secretUrl + "\">\n", "T1");
    QTest::newRow("harmless internal entity")
        << document("<!DOCTYPE config [\n<!ENTITY n \"Name\">\n]>\n", "&n;");
}

void tst_XmlHostileInput::opensAsEmptyMap() {
    QFETCH(QByteArray, file);
    const QString path = m_dir.filePath(QStringLiteral("hostile.zorvan"));
    {
        QFile f(path);
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        QCOMPARE(f.write(file), file.size());
    }
    MapFile map(path);
    map.image.Map()->Add()->TagName = QStringLiteral("before");
    OpenWatch watch(m_secret);
    QVERIFY(watch.valid());

    const long peakBefore = peakResidentKb();
    QElapsedTimer timer;
    timer.start();
    const bool loaded = map.serializer.Load();
    const qint64 elapsed = timer.elapsed();
    const long grownKb = peakResidentKb() - peakBefore;

    QVERIFY(!loaded);
    QCOMPARE(map.serializer.LastReadError().Status, TXMLReadStatus::rsDocumentType);
    QVERIFY2(map.serializer.LastReadError().Describe().contains(QLatin1String("document type")),
             qPrintable(map.serializer.LastReadError().Describe()));
    QVERIFY2(elapsed < 2000, qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
    QVERIFY2(grownKb < 64 * 1024, qPrintable(QStringLiteral("peak grew by %1 KiB").arg(grownKb)));
    QVERIFY2(!watch.touched(), "the file named by the entity was opened");
    QCOMPARE(map.image.Map()->Count(), 0);
    QCOMPARE(map.image.BaseAdr, TChannelImage::DefaultBaseAdr);
    QCOMPARE(map.image.Options, 0u);
    const QByteArray saved = map.serializer.SaveToData();
    QVERIFY(!saved.contains(marker));
    QVERIFY(!saved.contains("root:"));
}

// What a file of the format does hold keeps working: predefined entities and character
// references, no document type declaration.
void tst_XmlHostileInput::plainDocumentsStillOpen() {
    MapFile map(QString{});
    QVERIFY(map.serializer.LoadFromData(document({}, "a&amp;b&#10;&#x422;&lt;")));
    QCOMPARE(map.image.Map()->Count(), 1);
    QCOMPARE(map.image.Map()->Items(0)->TagName, QStringLiteral("a&b\n\u0422<"));
    QCOMPARE(map.image.BaseAdr, quint16(100));
}

void tst_XmlHostileInput::reasonStaysOnOneLine_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("shown"); // part of the reason, as shown
    QTest::newRow("line breaks in a bad value")
        << QByteArray("<config Application=\"Grelt Administrator\" Version=\"1\"><Map><Item>"
                      "<Channel>1&#10;2&#13;3</Channel></Item></Map></config>")
        << QStringLiteral("bad value \"1 2 3\" in config/Map/Item[1]/Channel");
    QTest::newRow("terminal controls in the application")
        << QByteArray("<config Application=\"x&#10;&#155;2J&#133;y&#x2028;z\" Version=\"1\"/>")
        << QStringLiteral("(\"x  2J y z\")");
    QTest::newRow("line break in the version")
        << QByteArray("<config Application=\"Grelt Administrator\" Version=\"1&#13;\n2\"/>")
        << QStringLiteral("bad Version attribute \"1 ");
}

void tst_XmlHostileInput::reasonStaysOnOneLine() {
    QFETCH(QByteArray, file);
    QFETCH(QString, shown);
    MapFile map(QString{});
    QVERIFY(!map.serializer.LoadFromData(file));
    const QString reason = map.serializer.LastReadError().Describe();
    QVERIFY2(reason.contains(shown), qPrintable(reason));
    for (const QChar c : reason)
        QVERIFY2(c.unicode() >= 0x20 && (c.unicode() < 0x7F || c.unicode() > 0x9F) &&
                     c.unicode() != 0x2028 && c.unicode() != 0x2029,
                 qPrintable(QStringLiteral("U+%1 in: %2").arg(c.unicode(), 4, 16).arg(reason)));
}

QTEST_GUILESS_MAIN(tst_XmlHostileInput)
#include "tst_XmlHostileInput.moc"
