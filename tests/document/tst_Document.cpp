#include "document/Document.h"

#include "ScriptedPrompter.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace zorvan;

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void addChannel(TChannelImage& image, int channel, const QString& name) {
    TChannelItem* c = image.Map()->Add();
    c->Channel = channel;
    c->TagName = name;
}

QStringList names(const TChannelImage& image) {
    QStringList list;
    for (int i = 0; i < image.Map()->Count(); ++i)
        list << image.Map()->Items(i)->TagName;
    return list;
}

} // namespace

class tst_Document : public QObject {
    Q_OBJECT
private slots:
    void startsWithNewUntitledDocument();
    void programWideAccessFollowsTheModule();
    void markModifiedGoesThroughTheLink();
    void saveAndOpenThroughTheAgent();
    void reopeningLeavesNothingOfThePreviousMap();
    void missingFileOpensEmptyAndUnmodified();
    void destroyingWithActiveDocumentClearsLiveImage();
};

void tst_Document::startsWithNewUntitledDocument() {
    TDm dm;
    QVERIFY(dm.Image());
    QCOMPARE(dm.Image()->Map()->Count(), 0);
    QCOMPARE(dm.Image()->BaseAdr, quint16(16384));
    QCOMPARE(dm.Image()->Options, quint32(0));
    QVERIFY(dm.Link.Active());
    QVERIFY(!dm.Link.Modified());
    QCOMPARE(dm.Serializer.Root, dm.Image());
    QCOMPARE(dm.Serializer.ApplicationName, QStringLiteral("Grelt Administrator"));
    QCOMPARE(dm.Serializer.RootNodeName, QStringLiteral("config"));
    QCOMPARE(dm.Serializer.ItemNodeCaption, QStringLiteral("Item"));
    QVERIFY(dm.Serializer.NodeAutoIndent);
    QVERIFY(dm.Serializer.UseVersionControl);
}

void tst_Document::programWideAccessFollowsTheModule() {
    QCOMPARE(Dm(), nullptr);
    QCOMPARE(CurrentImage(), nullptr);
    MarkModified(); // no module: nothing to mark, nothing to crash
    {
        TDm dm;
        QCOMPARE(Dm(), &dm);
        QCOMPARE(CurrentImage(), dm.Image());
    }
    QCOMPARE(Dm(), nullptr);
    QCOMPARE(CurrentImage(), nullptr);
}

void tst_Document::markModifiedGoesThroughTheLink() {
    TDm dm;
    int changes = 0;
    dm.Link.OnModifiedChange = [&](TMDVDocumentLink&) { ++changes; };
    MarkModified();
    QVERIFY(dm.Link.Modified());
    MarkModified();
    QCOMPARE(changes, 1);
}

void tst_Document::saveAndOpenThroughTheAgent() {
    test::ScriptedPrompter prompter;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.zorvan"));
    TDm dm;
    TMDVAgent agent;
    agent.FileExtention = QStringLiteral("zorvan");
    agent.SetDocument(&dm.Link);

    addChannel(*CurrentImage(), 3, QStringLiteral("T1"));
    CurrentImage()->Options = 0x80000001u;
    MarkModified();
    prompter.fileNames.push_back(path);
    QCOMPARE(agent.SaveAs(), PromptAnswer::Yes);
    QVERIFY(!dm.Link.Modified());
    QVERIFY(readFile(path).contains("<Options>-2147483647</Options>"));
    QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("map.bak"))));

    QVERIFY(agent.CloseDocument());
    QCOMPARE(CurrentImage()->Map()->Count(), 0);
    QVERIFY(agent.OpenDocument(path));
    QCOMPARE(names(*CurrentImage()), QStringList{"T1"});
    QCOMPARE(CurrentImage()->Options, 0x80000001u);
    QVERIFY(!dm.Link.Modified());
    QVERIFY(prompter.messages().isEmpty());
}

void tst_Document::reopeningLeavesNothingOfThePreviousMap() {
    test::ScriptedPrompter prompter;
    QTemporaryDir dir;
    TDm dm;
    TMDVAgent agent;
    agent.SetDocument(&dm.Link);
    const QString first = dir.filePath(QStringLiteral("a.zorvan"));
    const QString second = dir.filePath(QStringLiteral("b.zorvan"));
    addChannel(*dm.Image(), 1, QStringLiteral("A1"));
    addChannel(*dm.Image(), 2, QStringLiteral("A2"));
    dm.Serializer.XMLFilePath = first;
    QVERIFY(dm.Serializer.Save());
    dm.Image()->Clear();
    addChannel(*dm.Image(), 5, QStringLiteral("B1"));
    dm.Image()->BaseAdr = 100;
    dm.Serializer.XMLFilePath = second;
    QVERIFY(dm.Serializer.Save());

    QVERIFY(agent.OpenDocument(first));
    QCOMPARE(names(*dm.Image()), (QStringList{"A1", "A2"}));
    QCOMPARE(dm.Image()->BaseAdr, quint16(16384));
    QVERIFY(agent.OpenDocument(second));
    QCOMPARE(names(*dm.Image()), QStringList{"B1"});
    QCOMPARE(dm.Image()->BaseAdr, quint16(100));
    agent.NewDocument();
    QCOMPARE(dm.Image()->Map()->Count(), 0);
    QCOMPARE(dm.Image()->BaseAdr, quint16(16384));
}

void tst_Document::missingFileOpensEmptyAndUnmodified() {
    test::ScriptedPrompter prompter;
    QTemporaryDir dir;
    TDm dm;
    TMDVAgent agent;
    agent.SetDocument(&dm.Link);
    addChannel(*dm.Image(), 1, QStringLiteral("old"));
    const QString absent = dir.filePath(QStringLiteral("absent.zorvan"));
    QVERIFY(agent.OpenDocument(absent));
    QCOMPARE(agent.FileName(), absent);
    QCOMPARE(dm.Image()->Map()->Count(), 0);
    QVERIFY(!dm.Link.Modified());
    QCOMPARE(dm.Serializer.LastReadError().Status, TXMLReadStatus::rsFileMissing);
    QVERIFY(prompter.messages().isEmpty());
}

void tst_Document::destroyingWithActiveDocumentClearsLiveImage() {
    auto dm = std::make_unique<TDm>();
    addChannel(*dm->Image(), 1, QStringLiteral("a"));
    addChannel(*dm->Image(), 2, QStringLiteral("b"));
    int calls = 0;
    int channelsSeen = -1;
    TDm* module = dm.get();
    const TLinkNotifyEvent handler = dm->Link.OnDeleteContent;
    dm->Link.OnDeleteContent = [&, module](TMDVDocumentLink& sender) {
        ++calls;
        channelsSeen = module->Image() ? module->Image()->Map()->Count() : -2;
        handler(sender);
    };
    QVERIFY(dm->Link.Active());
    dm.reset(); // under AddressSanitizer a handler reaching a freed image fails here
    QCOMPARE(calls, 1);
    QCOMPARE(channelsSeen, 2);
}

QTEST_GUILESS_MAIN(tst_Document)
#include "tst_Document.moc"
