#include "Cases.h"
#include "Files.h"
#include "ScriptedPrompter.h"
#include "document/Document.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <sys/inotify.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace zorvan;
using namespace zorvan::test;

namespace {

// The file format's example: channel 3, type code 1, tag position 0, tag name T1, no note.
const QByteArray example =
    QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config Application=\"Grelt "
               "Administrator\" Version=\"1\">\n  <Map>\n    <Item>\n      <Channel>3</Channel>\n"
               "      <ParamType>1</ParamType>\n      <TagIndex>0</TagIndex>\n      <TagName>T1"
               "</TagName>\n      <Note/>\n    </Item>\n  </Map>\n  <BaseAdr>16384</BaseAdr>\n"
               "  <Options>0</Options>\n</config>\n")
        .replace("\n", "\r\n");

QByteArray document(const QByteArray& body, const QByteArray& version = "1",
                    const QByteArray& application = "Grelt Administrator") {
    return "<config Application=\"" + application + "\" Version=\"" + version + "\">" + body +
           "</config>";
}

QByteArray item(const QByteArray& channel, const QByteArray& type = "0") {
    return "<Item><Channel>" + channel + "</Channel><ParamType>" + type +
           "</ParamType><TagIndex>2</TagIndex><TagName>T</TagName><Note>n</Note></Item>";
}

// The channels as "Channel,ParamType,TagIndex,TagName,Note;...".
QString describe(const TChannelImage& image) {
    QStringList rows;
    for (int i = 0; i < image.Map()->Count(); ++i) {
        const TChannelItem* c = image.Map()->Items(i);
        rows << QString("%1,%2,%3,").arg(c->Channel).arg(c->ParamType).arg(c->TagIndex) +
                    c->TagName + ',' + c->Note;
    }
    return rows.join(';');
}

TChannelItem* addChannel(const QString& name, int channel = 0, int type = 0) {
    TChannelItem* c = CurrentImage()->Map()->Add();
    c->TagName = name, c->Channel = channel, c->ParamType = type;
    c->TagIndex = CurrentImage()->Map()->Count();
    MarkModified();
    return c;
}

// A file and the map it opens as: complete, or reset to the defaults.
struct Read {
    QByteArray file;
    bool complete;
    const char* channels;
    int baseAdr = 16384;
    quint32 options = 0;
};

// Ten levels of ten references each: 10^10 characters once expanded.
QByteArray billionLaughs() {
    QByteArray dtd = "<!DOCTYPE config [\n<!ENTITY e0 \"lol\">\n";
    for (int level = 1; level <= 10; ++level)
        dtd += "<!ENTITY e" + QByteArray::number(level) + " \"" +
               ("&e" + QByteArray::number(level - 1) + ";").repeated(10) + "\">\n";
    return dtd + "]>" + document("<Map><Item><TagName>&e10;</TagName></Item></Map>");
}

} // namespace

class tst_Document : public QObject {
    Q_OBJECT
private slots:
    // The module starts a new, untitled, unmodified, empty map.
    void startsEmpty() {
        QVERIFY(!Dm() && !CurrentImage());
        MarkModified(); // no module: nothing to mark, nothing to crash
        TDm dm;
        QVERIFY(Dm() == &dm && CurrentImage() == dm.Image());
        QVERIFY(dm.Link.Active() && !dm.Link.Modified());
        QCOMPARE(dm.Serializer.SaveToData(), example.left(example.indexOf("  <Map>")) +
                                                 "  <Map/>\r\n" +
                                                 example.mid(example.indexOf("  <BaseAdr>")));
    }

    void reads_data() {
        const QByteArray settings = "<BaseAdr>100</BaseAdr><Options>5</Options>";
        // clang-format off
        addCases<Read>({
            {"channels in order, settings",        {document("<Map>" + item("1", "2") + item("-4", "9") + "</Map>" + settings), true, "1,2,2,T,n;-4,9,2,T,n", 100, 5}},
            {"order within an item is free",       {document("<Map><Item><Note>n</Note><Channel>1</Channel><ParamType>4</ParamType></Item></Map>"), true, "1,4,0,,n"}},
            {"unknown elements ignored",           {document("<Extra>1</Extra><Map><Item><Colour/><Channel>2</Channel></Item></Map>"), true, "2,0,0,,"}},
            {"no Map, settings kept",              {document(settings), true, "", 100, 5}},
            {"Map without Item: one blank channel",{document("<Map><Channel>5</Channel><Thing/></Map>"), true, "0,0,0,,"}},
            {"elements before the first Item",     {document("<Map><Head><Channel>9</Channel></Head>" + item("1") + "</Map>"), true, "1,0,2,T,n"}},
            {"other element after an Item",        {document("<Map>" + item("1") + "<Other><Channel>6</Channel></Other></Map>"), true, "1,0,2,T,n;6,0,0,,"}},
            {"BaseAdr keeps the low 16 bits",      {document("<BaseAdr>70000</BaseAdr>"), true, "", 4464}},
            {"Options -1 is all 32 bits",          {document("<Options>-1</Options>"), true, "", 16384, 4294967295u}},
            {"Version 7 accepted",                 {document("<Map>" + item("1") + "</Map>", "7"), true, "1,0,2,T,n"}},
            {"empty Channel",                      {document("<Map>" + item("") + "</Map>"), false, ""}},
            {"bad value drops earlier channels",   {document("<Map>" + item("1") + item("1", "Int") + "</Map>" + settings), false, ""}},
            {"unsigned Options out of range",      {document("<Options>4294967295</Options>"), false, ""}},
            {"foreign root",                       {"<other Application=\"Grelt Administrator\" Version=\"1\"/>", false, ""}},
            {"Application in other letter case",   {document("<Map>" + item("1") + "</Map>", "1", "grelt administrator"), false, ""}},
            {"truncated",                          {example.left(120), false, ""}},
        });
        // clang-format on
    }
    void reads() {
        QFETCH(Read, c);
        TDm dm;
        addChannel("old"); // leftovers of a previous document must not survive the read
        dm.Image()->BaseAdr = 1, dm.Image()->Options = 2;
        QCOMPARE(dm.Serializer.LoadFromData(c.file), c.complete);
        QCOMPARE(describe(*dm.Image()), c.channels);
        QCOMPARE(QString("%1 %2").arg(dm.Image()->BaseAdr).arg(dm.Image()->Options),
                 QString("%1 %2").arg(c.baseAdr).arg(c.options));
    }

    // What a map holds comes back unchanged: high Options bits, the Version read, non-ASCII
    // texts with line breaks and markup; what XML cannot hold (the zero padding of device tag
    // names) is left out.
    void roundTrip() {
        TDm dm;
        QVERIFY(dm.Serializer.LoadFromData(document("", "7")));
        dm.Image()->Options = 0x80000001u;
        const QString note = "Примечание <a&b> \"q\" \t \U0001F600 1\r\n2\r3\n";
        addChannel("Давление")->Note = note;
        addChannel(QStringLiteral("TEMP") + QString(8, QChar(0)))->Note =
            QStringLiteral("a") + QChar(0x1) + QChar(0xFFFE) + QChar(0xDC00) + "b";
        const QByteArray data = dm.Serializer.SaveToData();
        QVERIFY(data.contains("Version=\"7\"") && data.contains("<Options>-2147483647</Options>"));
        QVERIFY(data.contains("<TagName>Давление</TagName>") && !data.contains('\0'));
        QCOMPARE(data.count('\n'), data.count("\r\n")); // the note's breaks do not break lines
        dm.Image()->Clear();
        QVERIFY(dm.Serializer.LoadFromData(data));
        QCOMPARE(describe(*dm.Image()), "0,0,1,Давление," + note + ";0,0,2,TEMP,ab");
        QCOMPARE(dm.Image()->Options, 0x80000001u);
    }

    // Through the document agent: saved, closed, reopened with nothing of the previous map; a
    // save that cannot be written keeps the document modified; the module is destroyed with
    // its document still active, the image outliving the link's last call.
    void dataModuleWithTheAgent() {
        ScriptedPrompter prompter;
        QTemporaryDir dir;
        auto dm = std::make_unique<TDm>();
        TMDVAgent agent;
        agent.SetDocument(&dm->Link), agent.FileExtention = "zorvan";
        addChannel("A1");
        prompter.fileNames = {dir.filePath("a"), dir.filePath("gone/b")};
        QCOMPARE(agent.SaveAs(), PromptAnswer::Yes);
        QVERIFY(agent.CloseDocument() && agent.OpenDocument(dir.filePath("a.zorvan")));
        addChannel("A2");
        QCOMPARE(agent.SaveAs(), PromptAnswer::No);
        QCOMPARE(entries(dir.path()), QStringList{"a.zorvan"});
        QVERIFY(dm->Link.Modified() && !dm->Serializer.LastSaveError().isEmpty());
        QVERIFY(!agent.OpenDocument(dir.filePath("a.zorvan"))); // Cancel to "save changes?"
        prompter.answers = {PromptAnswer::No};
        QVERIFY(agent.OpenDocument(dir.filePath("a.zorvan")) && !dm->Link.Modified());
        QCOMPARE(describe(*CurrentImage()), "0,0,1,A1,");
        QCOMPARE(prompter.messages().size(), 1); // the failed save, told
        int seen = -1;
        const TLinkNotifyEvent clear = dm->Link.OnDeleteContent;
        dm->Link.OnDeleteContent = [&, module = dm.get()](TMDVDocumentLink& sender) {
            seen = module->Image()->Map()->Count(); // AddressSanitizer catches a freed image
            clear(sender);
        };
        dm.reset();
        QCOMPARE(seen, 1);
    }

    // Files built to attack an XML reader open as the empty map at once, in bounded memory,
    // without reading any other file: a document type declaration is refused unread.
    void hostileFiles_data() {
        QTest::addColumn<QByteArray>("file");
        const QByteArray secret = QFile::encodeName(m_dir.filePath("secret"));
        QTest::newRow("billion laughs") << billionLaughs();
        // One flat entity used many times: nothing nested for a depth limit to catch.
        QTest::newRow("quadratic blowup")
            << "<!DOCTYPE config [<!ENTITY q \"" + QByteArray(4000, 'q') + "\">]>" +
                   document("<Map><Item><TagName>" + QByteArray("&q;").repeated(50000) +
                            "</TagName></Item></Map>");
        const QList<std::pair<const char*, QByteArray>> entities{
            {"external entity", "<!ENTITY x SYSTEM \"file://" + secret + "\">"},
            {"external entity by path", "<!ENTITY x SYSTEM \"" + secret + "\">"},
            {"external parameter entity", "<!ENTITY % p SYSTEM \"" + secret + "\">%p;"},
            {"harmless internal entity", "<!ENTITY x \"Name\">"}};
        for (const auto& [name, entity] : entities)
            QTest::newRow(name) << "<!DOCTYPE config [" + entity + "]>" +
                                       document("<Map><Item><TagName>&x;</TagName></Item></Map>");
        QTest::newRow("external document type")
            << "<!DOCTYPE config SYSTEM \"" + secret + "\">" + document("");
    }
    void hostileFiles() {
        QFETCH(QByteArray, file);
        QVERIFY(writeFile(m_dir.filePath("secret"), "SECRET") &&
                writeFile(m_dir.filePath("hostile.zorvan"), file));
        TDm dm;
        addChannel("before");
        const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
        QVERIFY(inotify_add_watch(watch, QFile::encodeName(m_dir.filePath("secret")).constData(),
                                  IN_OPEN | IN_ACCESS) >= 0);
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        QElapsedTimer timer;
        timer.start();
        dm.Serializer.XMLFilePath = m_dir.filePath("hostile.zorvan");
        QVERIFY(!dm.Serializer.Load());
        QVERIFY2(timer.elapsed() < 2000, qPrintable(QString::number(timer.elapsed())));
        getrusage(RUSAGE_SELF, &after);
        QVERIFY(after.ru_maxrss - before.ru_maxrss < 64 * 1024);
        alignas(inotify_event) char events[4096];
        QVERIFY2(read(watch, events, sizeof events) < 0, "the file named by the entity was read");
        close(watch);
        const QString reason = dm.Serializer.LastReadError().Describe();
        QVERIFY2(reason.startsWith("document type declaration at line "), qPrintable(reason));
        QVERIFY(dm.Image()->Map()->Count() == 0 && dm.Image()->BaseAdr == 16384);
        // What a file of the format does hold still reads: predefined entities, references.
        QVERIFY(dm.Serializer.LoadFromData(
            document("<Map><Item><TagName>a&amp;b&#10;&#x422;&lt;</TagName></Item></Map>")));
        QCOMPARE(describe(*dm.Image()), "0,0,0,a&b\n\u0422<,");
    }

private:
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(tst_Document)
#include "tst_Document.moc"
