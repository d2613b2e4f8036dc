#include "components/XMLOptionsSerializer.h"
#include "document/ChannelMapText.h"
#include "document/CnlImage.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace zorvan;

namespace {

// The serializer as the document data module sets it up.
void setUpAsDocument(TXMLOptionsSerializer& s, TChannelImage& image) {
    s.ApplicationName = QStringLiteral("Grelt Administrator");
    s.RootNodeName = QStringLiteral("config");
    s.ItemNodeCaption = QStringLiteral("Item");
    s.NodeAutoIndent = true;
    s.UseVersionControl = true;
    s.Root = &image;
}

QByteArray crlf(const char* lines) {
    return QByteArray(lines).replace("\n", "\r\n");
}

const char* const exampleFile = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                "<config Application=\"Grelt Administrator\" Version=\"1\">\n"
                                "  <Map>\n"
                                "    <Item>\n"
                                "      <Channel>3</Channel>\n"
                                "      <ParamType>1</ParamType>\n"
                                "      <TagIndex>0</TagIndex>\n"
                                "      <TagName>T1</TagName>\n"
                                "      <Note/>\n"
                                "    </Item>\n"
                                "  </Map>\n"
                                "  <BaseAdr>16384</BaseAdr>\n"
                                "  <Options>0</Options>\n"
                                "</config>\n";

// A document around the given Map content and settings elements.
QByteArray
document(const QByteArray& body,
         const QByteArray& rootAttributes = "Application=\"Grelt Administrator\" Version=\"1\"") {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<config " + rootAttributes + ">" + body +
           "</config>\n";
}

QByteArray item(const QByteArray& channel, const QByteArray& type, const QByteArray& index,
                const QByteArray& name = "T", const QByteArray& note = "") {
    return "<Item><Channel>" + channel + "</Channel><ParamType>" + type + "</ParamType><TagIndex>" +
           index + "</TagIndex><TagName>" + name + "</TagName><Note>" + note + "</Note></Item>";
}

// One channel as "Channel,ParamType,TagIndex,TagName,Note".
QString describe(const TChannelItem* c) {
    return QStringLiteral("%1,%2,%3,%4,%5")
        .arg(c->Channel)
        .arg(c->ParamType)
        .arg(c->TagIndex)
        .arg(c->TagName, c->Note);
}

QStringList describe(const TChannelImage& image) {
    QStringList rows;
    for (int i = 0; i < image.Map()->Count(); ++i)
        rows << describe(image.Map()->Items(i));
    return rows;
}

} // namespace

class tst_CnlImage : public QObject {
    Q_OBJECT
private slots:
    void factoryItemAndClearedItem();
    void imageClearRestoresDefaults();
    void publishedPropertiesInFileOrder();
    void writesExampleByteForByte();
    void writesEmptyMap();
    void readsFile_data();
    void readsFile();
    void versionIsKeptForNextSave();
    void optionsHighBitSurviveSaveAndReopen();
    void nonAsciiTextRoundTrips();
    void zeroPaddedTagNameIsWrittenAsWellFormedXml();
    void assignPropertiesCopiesChannelAndImage();
    void offsetsAndTexts_data();
    void offsetsAndTexts();
    void rowTexts_data();
    void rowTexts();
};

void tst_CnlImage::factoryItemAndClearedItem() {
    TChannelList list;
    TChannelItem* added = list.Add();
    QVERIFY(added);
    QCOMPARE(describe(added), QStringLiteral("0,0,0,,"));
    added->Channel = 5;
    added->Note = QStringLiteral("n");
    added->Clear();
    QCOMPARE(describe(added), QStringLiteral("0,0,0,Unknown,"));
    TChannelItem* inserted = list.Insert(0);
    QCOMPARE(list.Items(0), inserted);
    QCOMPARE(list.Items(1), added);
    QCOMPARE(inserted->TagName, QString());
}

void tst_CnlImage::imageClearRestoresDefaults() {
    TChannelImage image;
    QCOMPARE(image.Map()->Count(), 0);
    QCOMPARE(image.BaseAdr, quint16(16384));
    QCOMPARE(image.Options, quint32(0));
    QCOMPARE(image.Map()->Owner(), &image);
    image.Map()->Add();
    image.Map()->Add();
    image.BaseAdr = 1;
    image.Options = 7;
    image.Clear();
    QCOMPARE(image.Map()->Count(), 0);
    QCOMPARE(image.BaseAdr, quint16(16384));
    QCOMPARE(image.Options, quint32(0));
}

void tst_CnlImage::publishedPropertiesInFileOrder() {
    auto names = [](const QMetaObject& mo) {
        QStringList list;
        for (int i = QObject::staticMetaObject.propertyCount(); i < mo.propertyCount(); ++i)
            list << QString::fromLatin1(mo.property(i).name());
        return list;
    };
    QCOMPARE(names(TChannelImage::staticMetaObject), (QStringList{"Map", "BaseAdr", "Options"}));
    QCOMPARE(names(TChannelItem::staticMetaObject),
             (QStringList{"Channel", "ParamType", "TagIndex", "TagName", "Note"}));
    QCOMPARE(names(TChannelList::staticMetaObject), QStringList());
}

void tst_CnlImage::writesExampleByteForByte() {
    TChannelImage image;
    TXMLOptionsSerializer s;
    setUpAsDocument(s, image);
    TChannelItem* c = image.Map()->Add();
    c->Channel = 3;
    c->ParamType = 1;
    c->TagIndex = 0;
    c->TagName = QStringLiteral("T1");
    QCOMPARE(s.SaveToData(), crlf(exampleFile));

    QTemporaryDir dir;
    s.XMLFilePath = dir.filePath(QStringLiteral("map.zorvan"));
    QVERIFY(s.Save());
    QFile file(s.XMLFilePath);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), crlf(exampleFile));
    // Reading it back and writing again gives the same bytes.
    TChannelImage again;
    s.Root = &again;
    QVERIFY(s.Load());
    QCOMPARE(describe(again), QStringList{"3,1,0,T1,"});
    QCOMPARE(s.SaveToData(), crlf(exampleFile));
}

void tst_CnlImage::writesEmptyMap() {
    TChannelImage image;
    TXMLOptionsSerializer s;
    setUpAsDocument(s, image);
    QCOMPARE(s.SaveToData(), crlf("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                                  "<config Application=\"Grelt Administrator\" Version=\"1\">\n"
                                  "  <Map/>\n"
                                  "  <BaseAdr>16384</BaseAdr>\n"
                                  "  <Options>0</Options>\n"
                                  "</config>\n"));
}

void tst_CnlImage::readsFile_data() {
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<bool>("complete");
    QTest::addColumn<QStringList>("channels");
    QTest::addColumn<int>("baseAdr");
    QTest::addColumn<quint32>("options");

    const QByteArray settings = "<BaseAdr>100</BaseAdr><Options>5</Options>";
    QTest::newRow("two channels in order")
        << document("<Map>" + item("1", "2", "3", "A", "x") + item("-4", "9", "7", "B") + "</Map>" +
                    settings)
        << true << QStringList{"1,2,3,A,x", "-4,9,7,B,"} << 100 << 5u;
    QTest::newRow("element order within an item does not matter")
        << document("<Map><Item><Note>n</Note><TagIndex>2</TagIndex><Channel>1</Channel>"
                    "<TagName>t</TagName><ParamType>4</ParamType></Item></Map>")
        << true << QStringList{"1,4,2,t,n"} << 16384 << 0u;
    QTest::newRow("missing child elements keep zero and empty")
        << document("<Map><Item><TagName>only</TagName></Item><Item><Channel>8</Channel></Item>"
                    "</Map>")
        << true << QStringList{"0,0,0,only,", "8,0,0,,"} << 16384 << 0u;
    QTest::newRow("unknown elements are ignored")
        << document("<Extra>1</Extra><Map><Item><Colour>red</Colour><Channel>2</Channel></Item>"
                    "</Map>")
        << true << QStringList{"2,0,0,,"} << 16384 << 0u;
    QTest::newRow("no Map element keeps settings")
        << document(settings) << true << QStringList() << 100 << 5u;
    QTest::newRow("no settings elements give defaults")
        << document("<Map>" + item("1", "1", "1") + "</Map>") << true << QStringList{"1,1,1,T,"}
        << 16384 << 0u;
    QTest::newRow("empty Map element")
        << document("<Map/>" + settings) << true << QStringList() << 100 << 5u;
    QTest::newRow("Map with children but no Item gives one blank channel")
        << document("<Map><Channel>5</Channel><Thing/></Map>") << true << QStringList{"0,0,0,,"}
        << 16384 << 0u;
    QTest::newRow("Map with only text gives one blank channel")
        << document("<Map>words</Map>") << true << QStringList{"0,0,0,,"} << 16384 << 0u;
    QTest::newRow("elements before the first Item are skipped")
        << document("<Map><Head><Channel>9</Channel></Head>" + item("1", "0", "0") + "</Map>")
        << true << QStringList{"1,0,0,T,"} << 16384 << 0u;
    QTest::newRow("other element after the first Item is a channel")
        << document("<Map>" + item("1", "0", "0") +
                    "<Other><Channel>6</Channel><TagName>o</TagName></Other></Map>")
        << true << QStringList{"1,0,0,T,", "6,0,0,o,"} << 16384 << 0u;
    QTest::newRow("BaseAdr keeps the low 16 bits")
        << document("<BaseAdr>70000</BaseAdr>") << true << QStringList() << 4464 << 0u;
    QTest::newRow("negative BaseAdr keeps the low 16 bits")
        << document("<BaseAdr>-1</BaseAdr>") << true << QStringList() << 65535 << 0u;
    QTest::newRow("Options -1 is all 32 bits")
        << document("<Options>-1</Options>") << true << QStringList() << 16384 << 4294967295u;
    QTest::newRow("whitespace and comments between elements")
        << document("\n  <!-- c -->\n  <Map>\n    " + item("1", "0", "0") + "\n  </Map>\n") << true
        << QStringList{"1,0,0,T,"} << 16384 << 0u;
    QTest::newRow("Version 7 is accepted")
        << document("<Map>" + item("1", "0", "0") + "</Map>",
                    "Application=\"Grelt Administrator\" Version=\"7\"")
        << true << QStringList{"1,0,0,T,"} << 16384 << 0u;

    // Files that do not fit open as the empty default map.
    const QStringList none;
    QTest::newRow("empty Channel")
        << document("<Map>" + item("", "0", "0") + "</Map>") << false << none << 16384 << 0u;
    QTest::newRow("non-numeric ParamType")
        << document("<Map>" + item("1", "Int", "0") + "</Map>") << false << none << 16384 << 0u;
    QTest::newRow("fractional TagIndex")
        << document("<Map>" + item("1", "0", "1.5") + "</Map>") << false << none << 16384 << 0u;
    QTest::newRow("bad value in a later channel drops the earlier ones")
        << document("<Map>" + item("1", "0", "0") + item("2", "0", "x") + "</Map>" + settings)
        << false << none << 16384 << 0u;
    QTest::newRow("unsigned 4294967295 is out of range")
        << document("<Options>4294967295</Options>") << false << none << 16384 << 0u;
    QTest::newRow("2147483648 is out of range")
        << document("<Channel>2147483648</Channel><Map>" + item("2147483648", "0", "0") + "</Map>")
        << false << none << 16384 << 0u;
    QTest::newRow("empty BaseAdr") << document("<BaseAdr/>") << false << none << 16384 << 0u;
    QTest::newRow("foreign root")
        << QByteArray("<other Application=\"Grelt Administrator\" Version=\"1\"><Map>" +
                      item("1", "0", "0") + "</Map></other>")
        << false << none << 16384 << 0u;
    QTest::newRow("foreign Application")
        << document("<Map>" + item("1", "0", "0") + "</Map>",
                    "Application=\"grelt administrator\" Version=\"1\"")
        << false << none << 16384 << 0u;
    QTest::newRow("missing Application")
        << document("<Map>" + item("1", "0", "0") + "</Map>", "Version=\"1\"") << false << none
        << 16384 << 0u;
    QTest::newRow("missing Version")
        << document("<Map>" + item("1", "0", "0") + "</Map>", "Application=\"Grelt Administrator\"")
        << false << none << 16384 << 0u;
    QTest::newRow("non-numeric Version")
        << document("<Map>" + item("1", "0", "0") + "</Map>",
                    "Application=\"Grelt Administrator\" Version=\"one\"")
        << false << none << 16384 << 0u;
    QTest::newRow("not XML") << QByteArray("Channel=1\n") << false << none << 16384 << 0u;
    QTest::newRow("truncated") << document("<Map>" + item("1", "0", "0") + "</Map>").left(120)
                               << false << none << 16384 << 0u;
    QTest::newRow("empty file") << QByteArray() << false << none << 16384 << 0u;
}

void tst_CnlImage::readsFile() {
    QFETCH(QByteArray, file);
    QFETCH(bool, complete);
    QFETCH(QStringList, channels);
    QFETCH(int, baseAdr);
    QFETCH(quint32, options);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.zorvan"));
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(file);
    f.close();

    TChannelImage image;
    // Leftovers of a previous document must not survive the read.
    image.Map()->Add()->TagName = QStringLiteral("old");
    image.BaseAdr = 1;
    image.Options = 2;
    TXMLOptionsSerializer s;
    setUpAsDocument(s, image);
    s.XMLFilePath = path;
    QCOMPARE(s.Load(), complete);
    QCOMPARE(s.LastReadError().Status == TXMLReadStatus::rsOk, complete);
    QCOMPARE(describe(image), channels);
    QCOMPARE(int(image.BaseAdr), baseAdr);
    QCOMPARE(image.Options, options);
}

void tst_CnlImage::versionIsKeptForNextSave() {
    TChannelImage image;
    TXMLOptionsSerializer s;
    setUpAsDocument(s, image);
    QVERIFY(
        s.LoadFromData(document("<Map/>", "Application=\"Grelt Administrator\" Version=\"7\"")));
    QCOMPARE(s.Version, quint8(7));
    QVERIFY(s.SaveToData().contains("<config Application=\"Grelt Administrator\" Version=\"7\">"));
    // The low 8 bits are kept.
    QVERIFY(s.LoadFromData(document("", "Application=\"Grelt Administrator\" Version=\"258\"")));
    QCOMPARE(s.Version, quint8(2));
}

void tst_CnlImage::optionsHighBitSurviveSaveAndReopen() {
    for (const quint32 options : {0x80000000u, 4294967295u, 7u}) {
        TChannelImage image;
        TXMLOptionsSerializer s;
        setUpAsDocument(s, image);
        image.Options = options;
        const QByteArray data = s.SaveToData();
        QVERIFY2(data.contains("<Options>" + QByteArray::number(qint32(options)) + "</Options>"),
                 data.constData());
        image.Options = 0;
        QVERIFY(s.LoadFromData(data));
        QCOMPARE(image.Options, options);
    }
}

void tst_CnlImage::nonAsciiTextRoundTrips() {
    TChannelImage image;
    TXMLOptionsSerializer s;
    setUpAsDocument(s, image);
    const QString name = QStringLiteral("Давление");
    const QString note =
        QStringLiteral("Примечание <a&b> \"q\" 'x' \t \xD83D\xDE00 line1\r\nline2\rline3\n");
    TChannelItem* c = image.Map()->Add();
    c->TagName = name;
    c->Note = note;
    const QByteArray data = s.SaveToData();
    QVERIFY(data.contains(name.toUtf8()));
    // One element per line: the note's own line breaks do not break the layout.
    QCOMPARE(data.count('\n'), 14);
    QCOMPARE(data.count("\r\n"), 14);
    image.Clear();
    QVERIFY(s.LoadFromData(data));
    QCOMPARE(image.Map()->Count(), 1);
    QCOMPARE(image.Map()->Items(0)->TagName, name);
    QCOMPARE(image.Map()->Items(0)->Note, note);
}

void tst_CnlImage::zeroPaddedTagNameIsWrittenAsWellFormedXml() {
    TChannelImage image;
    TXMLOptionsSerializer s;
    setUpAsDocument(s, image);
    // Names read from the device are 12 characters padded with zero bytes.
    QString padded = QStringLiteral("TEMP");
    padded.append(QString(8, QChar(0)));
    QCOMPARE(padded.size(), 12);
    TChannelItem* c = image.Map()->Add();
    c->Channel = 4;
    c->TagName = padded;
    c->Note =
        QStringLiteral("a") + QChar(0x1) + QChar(0xFFFE) + QChar(0xDC00) + QStringLiteral("b");
    image.Map()->Add()->TagName = QStringLiteral("next");
    const QByteArray data = s.SaveToData();
    QVERIFY(!data.contains('\0'));
    QVERIFY(data.contains("<TagName>TEMP</TagName>"));
    image.Clear();
    QVERIFY2(s.LoadFromData(data), qPrintable(s.LastReadError().Describe()));
    QCOMPARE(describe(image), (QStringList{"4,0,0,TEMP,ab", "0,0,0,next,"}));
}

void tst_CnlImage::assignPropertiesCopiesChannelAndImage() {
    TChannelItem source;
    source.Channel = -7;
    source.ParamType = 3;
    source.TagIndex = 12;
    source.TagName = QStringLiteral("Имя");
    source.Note = QStringLiteral("note");
    TChannelItem copy;
    AssignProperties(&copy, &source);
    QCOMPARE(describe(&copy), describe(&source));
    TChannelItem viaAssign;
    viaAssign.Assign(&source);
    QCOMPARE(describe(&viaAssign), describe(&source));
    // A source of no stored class is ignored.
    QObject foreign;
    viaAssign.Assign(&foreign);
    QCOMPARE(describe(&viaAssign), describe(&source));

    TChannelImage image;
    image.BaseAdr = 5;
    image.Options = 0xFFFFFFFF;
    AssignProperties(image.Map()->Add(), &source);
    image.Map()->Add()->TagName = QStringLiteral("second");
    TChannelImage target;
    target.Map()->Add()->TagName = QStringLiteral("leftover");
    AssignProperties(&target, &image);
    QCOMPARE(target.BaseAdr, quint16(5));
    QCOMPARE(target.Options, 0xFFFFFFFFu);
    QCOMPARE(describe(target), describe(image));
    // The copy is deep: the channels are the target's own.
    QVERIFY(target.Map()->Items(0) != image.Map()->Items(0));
    image.Map()->Items(0)->Note = QStringLiteral("changed");
    QCOMPARE(target.Map()->Items(0)->Note, QStringLiteral("note"));
}

void tst_CnlImage::offsetsAndTexts_data() {
    QTest::addColumn<QList<int>>("types");
    QTest::addColumn<QStringList>("offsets");
    QTest::addColumn<QStringList>("texts");
    QTest::newRow("Int Float UInt")
        << QList<int>{0, 4, 1} << QStringList{"0", "1", "3"} << QStringList{"Int", "Float", "UInt"};
    QTest::newRow("unknown type takes no register")
        << QList<int>{2, 9, -1, 3} << QStringList{"0", "2", "2", "2"}
        << QStringList{"Long", "", "", "ULong"};
    QTest::newRow("empty") << QList<int>{} << QStringList{} << QStringList{};
}

void tst_CnlImage::offsetsAndTexts() {
    QFETCH(QList<int>, types);
    QFETCH(QStringList, offsets);
    QFETCH(QStringList, texts);
    TChannelList list;
    for (int t : types)
        list.Add()->ParamType = t;
    QStringList gotOffsets;
    for (quint16 o : ChannelOffsets(list))
        gotOffsets << QString::number(o);
    QCOMPARE(gotOffsets, offsets);
    QStringList gotTexts;
    for (int t : types)
        gotTexts << ParamTypeText(t);
    QCOMPARE(gotTexts, texts);
}

void tst_CnlImage::rowTexts_data() {
    QTest::addColumn<QString>("typeText");
    QTest::addColumn<int>("typeCode"); // -100: not a type
    QTest::addColumn<QString>("tagName");
    QTest::addColumn<QString>("shownName");
    QTest::addColumn<int>("channel");
    QTest::addColumn<QString>("shownChannel");
    QTest::newRow("zero padded name")
        << "Float" << 4 << QStringLiteral("TEMP") + QString(8, QChar(0)) << "TEMP" << 0 << "1";
    QTest::newRow("zero in the middle")
        << "uint" << 1 << QStringLiteral("AB") + QChar(0) + QStringLiteral("CD") << "AB" << 9
        << "10";
    QTest::newRow("plain name, code as number") << "7" << 7 << "Давление"
                                                << "Давление" << -1 << "0";
    QTest::newRow("highest channel does not overflow") << "Long" << 2 << ""
                                                       << "" << 2147483647 << "2147483648";
    QTest::newRow("unknown type word") << "Double" << -100 << "x"
                                       << "x" << 1 << "2";
    QTest::newRow("empty type") << "" << -100 << "x"
                                << "x" << 1 << "2";
}

void tst_CnlImage::rowTexts() {
    QFETCH(QString, typeText);
    QFETCH(int, typeCode);
    QFETCH(QString, tagName);
    QFETCH(QString, shownName);
    QFETCH(int, channel);
    QFETCH(QString, shownChannel);
    const std::optional<int> code = ParamTypeFromText(typeText);
    QCOMPARE(code.value_or(-100), typeCode);
    QCOMPARE(TagNameText(tagName), shownName);
    QCOMPARE(ChannelNumberText(channel), shownChannel);
}

QTEST_GUILESS_MAIN(tst_CnlImage)
#include "tst_CnlImage.moc"
