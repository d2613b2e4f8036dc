// Channel map files at and past the reader's limits, in odd encodings and layouts: each opens
// as the expected map, or as the empty map with its own reason, in bounded time and memory.

#include "Cases.h"
#include "components/XMLOptionsSerializer.h"
#include "document/CnlImage.h"
#include "document/Document.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringEncoder>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/resource.h>

using namespace zorvan;
using zorvan::test::addCases;

namespace {

// The file: prefix, open repeated count times, middle, close repeated count times, suffix;
// "#" in open becomes the repetition's number and "%=" anywhere becomes 40 "=".
struct Limit {
    const char* prefix;
    const char* open;
    int count; // kToChunkEnd: as many as end the middle at the reader's first 64 KiB
    const char* middle;
    const char* close;
    const char* suffix;
    TXMLReadStatus status;
    int channels;
    const char* tagName = nullptr; // of the first channel, when checked
    const char* encoding = nullptr;
    qint64 sparseSize = 0; // the file is then extended to this size with zero bytes
};
constexpr int kToChunkEnd = -1;

#define HEAD "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
#define ROOT "<config Application=\"Grelt Administrator\" Version=\"1\">"
#define ITEM "<Item><Channel>3</Channel><TagName>T</TagName></Item>"

QByteArray build(const Limit& c) {
    QByteArray file = c.prefix;
    int count = c.count;
    if (count == kToChunkEnd)
        count = int(64 * 1024 - file.size() - qstrlen(c.middle)) / int(qstrlen(c.open));
    for (int i = 0; i < count; ++i)
        file += QByteArray(c.open).replace("#", QByteArray::number(i));
    file += c.middle;
    for (int i = 0; i < count; ++i)
        file += c.close;
    file += c.suffix;
    file.replace("%=", QByteArray(40, '='));
    if (c.encoding)
        file = QStringEncoder(c.encoding, QStringEncoder::Flag::WriteBom)(QString::fromUtf8(file));
    return file;
}

long peakResidentKb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

Q_DECLARE_METATYPE(Limit)

class tst_MapFileLimits : public QObject {
    Q_OBJECT
private slots:
    void opens_data() {
        using S = TXMLReadStatus;
        // clang-format off
        addCases<Limit>({
            {"700 KB nested 100,000 deep", {HEAD ROOT "<Map>", "<Item>", 100000, "", "", "", S::rsTooDeep, 0}},
            {"nested 32 deep", {ROOT "<Map><Item><Channel>", "<x>", 28, "5", "</x>", "</Channel></Item></Map></config>", S::rsOk, 1}},
            {"nested 33 deep", {ROOT "<Map><Item><Channel>", "<x>", 29, "5", "</x>", "</Channel></Item></Map></config>", S::rsTooDeep, 0}},
            {"40,000 attributes", {"<config Application=\"Grelt Administrator\" Version=\"1\"", " a#=''", 40000, "/>", "", "", S::rsTooManyAttributes, 0}},
            {"32 attributes", {"<config Application=\"Grelt Administrator\" Version=\"1\"", " a#=''", 30, "><Map>" ITEM "</Map></config>", "", "", S::rsOk, 1}},
            {"33 attributes", {"<config Application=\"Grelt Administrator\" Version=\"1\"", " a#=''", 31, "/>", "", "", S::rsTooManyAttributes, 0}},
            {"= outside attributes", {HEAD "<!--%=--><?pi %=?>" ROOT "<Map><Item a=\"%=>'\" b='%=\"'><TagName><![CDATA[%=]]></TagName></Item></Map></config>", "", 0, "", "", "", S::rsOk, 1, "========================================"}},
            {"over 64 MiB", {ROOT "<Map>", "", 0, "", "", "", S::rsTooLarge, 0, nullptr, nullptr, 64 * 1024 * 1024 + 1}},
            {"bare document type", {HEAD "<!DOCTYPE config>\n" ROOT "<Map>" ITEM "</Map></config>", "", 0, "", "", "", S::rsOk, 1}},
            {"empty internal subset", {HEAD "<!DOCTYPE config [ \n ]>\n" ROOT "<Map>" ITEM "</Map></config>", "", 0, "", "", "", S::rsOk, 1}},
            {"entity defined", {HEAD "<!DOCTYPE config [<!ENTITY e \"x\">]>" ROOT "</config>", "", 0, "", "", "", S::rsDocumentType, 0}},
            {"external definitions", {HEAD "<!DOCTYPE config SYSTEM \"/etc/passwd\">" ROOT "</config>", "", 0, "", "", "", S::rsDocumentType, 0}},
            {"blank map", {ROOT "<Map> \r\n\t</Map></config>", "", 0, "", "", "", S::rsOk, 0}},
            {"name of three blanks", {ROOT "<Map><Item><TagName>   </TagName></Item></Map></config>", "", 0, "", "", "", S::rsOk, 1, "   "}},
            {"name of a line break", {ROOT "<Map>\r\n<Item>\r\n<TagName>&#13;&#10;</TagName></Item></Map></config>", "", 0, "", "", "", S::rsOk, 1, "\r\n"}},
            {"map of a comment", {ROOT "<Map><!-- --></Map></config>", "", 0, "", "", "", S::rsOk, 1, ""}},
            {"extra element after 64 KiB", {ROOT, " ", kToChunkEnd, "</config>", "", "<x/>", S::rsParseError, 0}},
            {"comment after 64 KiB", {ROOT, " ", kToChunkEnd, "</config>", "", "<!-- -->\n", S::rsOk, 0}},
            {"bad value, then not well-formed", {ROOT "<Map><Item><Channel>x</Channel></Item></Map>", "", 0, "", "", "<", S::rsParseError, 0}},
            {"not UTF-8", {ROOT "<Map><Item><TagName>\xff</TagName></Item></Map></config>", "", 0, "", "", "", S::rsParseError, 0}},
            {"UTF-16 with byte-order mark", {"<?xml version=\"1.0\" encoding=\"UTF-16\"?>" ROOT "<Map><Item><TagName>Датчик</TagName></Item></Map></config>", "", 0, "", "", "", S::rsOk, 1, "Датчик", "UTF-16LE"}},
            {"windows-1251", {"<?xml version=\"1.0\" encoding=\"windows-1251\"?>" ROOT "<Map><Item><TagName>Датчик</TagName></Item></Map></config>", "", 0, "", "", "", S::rsOk, 1, "Датчик", "windows-1251"}},
            {"unknown encoding", {"<?xml version=\"1.0\" encoding=\"x-none\"?>" ROOT "</config>", "", 0, "", "", "", S::rsParseError, 0}},
        });
        // clang-format on
    }

    void opens() {
        QFETCH(Limit, c);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("map.zorvan"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(build(c)) >= 0);
        QVERIFY(!c.sparseSize || file.resize(c.sparseSize));
        file.close();
        TChannelImage image;
        image.Map()->Add();
        TXMLOptionsSerializer serializer;
        ConfigureDocumentSerializer(serializer);
        serializer.Root = &image;
        serializer.XMLFilePath = path;

        const long peakBefore = peakResidentKb();
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(serializer.Load(), c.status == TXMLReadStatus::rsOk);
        // Bounds generous for sanitizers on a busy machine: the tree-building reader took
        // minutes on the deep file, and read a file of any size whole.
        QVERIFY2(timer.elapsed() < 3000, qPrintable(QString::number(timer.elapsed())));
        QVERIFY2(peakResidentKb() - peakBefore < 32 * 1024,
                 qPrintable(QString::number(peakResidentKb() - peakBefore)));
        QCOMPARE(serializer.LastReadError().Status, c.status);
        QCOMPARE(serializer.LastReadError().Describe().isEmpty(), c.status == TXMLReadStatus::rsOk);
        QCOMPARE(image.Map()->Count(), c.channels);
        if (c.tagName)
            QCOMPARE(image.Map()->Items(0)->TagName, QString::fromUtf8(c.tagName));
    }
};

QTEST_GUILESS_MAIN(tst_MapFileLimits)
#include "tst_MapFileLimits.moc"
