#include "components/AtomicFile.h"
#include "components/XMLOptionsSerializer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zorvan;

// Stored classes covering every kind of property the serializer knows.
class TInner : public TXMLClass {
    Q_OBJECT
    Q_PROPERTY(int Depth MEMBER Depth)
public:
    void Clear() override { Depth = 11; }
    int Depth = 11;
};

class TKinds : public TXMLClass {
    Q_OBJECT
public:
    enum Colour { Red, Green, Blue };
    Q_ENUM(Colour)
    enum Style { Bold = 1, Italic = 2, Under = 4 };
    Q_DECLARE_FLAGS(Styles, Style)
    Q_FLAG(Styles)

private:
    Q_PROPERTY(int Int MEMBER Int)
    Q_PROPERTY(quint32 Cardinal MEMBER Cardinal)
    Q_PROPERTY(quint16 Word MEMBER Word)
    Q_PROPERTY(quint8 Byte MEMBER Byte)
    Q_PROPERTY(qint16 SmallInt MEMBER SmallInt)
    Q_PROPERTY(bool Flag MEMBER Flag)
    Q_PROPERTY(double Real MEMBER Real)
    Q_PROPERTY(QChar Letter MEMBER Letter)
    Q_PROPERTY(Colour Shade MEMBER Shade)
    Q_PROPERTY(Styles Look READ look WRITE setLook)
    Q_PROPERTY(QString Text MEMBER Text)
    Q_PROPERTY(TInner* Inner READ Inner)
    Q_PROPERTY(TInner* Absent READ Absent)

public:
    TKinds() { TKinds::Clear(); }
    void Clear() override {
        Int = 42;
        Cardinal = 1;
        Word = 2;
        Byte = 3;
        SmallInt = 4;
        Flag = true;
        Real = 0.5;
        Letter = QChar(u'z');
        Shade = Green;
        Look = Italic;
        Text = QStringLiteral("default");
    }
    TInner* Inner() const { return m_inner.get(); }
    TInner* Absent() const { return nullptr; }
    Styles look() const { return Look; }
    void setLook(Styles value) { Look = value; }

    int Int;
    quint32 Cardinal;
    quint16 Word;
    quint8 Byte;
    qint16 SmallInt;
    bool Flag;
    double Real;
    QChar Letter;
    Colour Shade;
    Styles Look;
    QString Text;

private:
    std::unique_ptr<TInner> m_inner = std::make_unique<TInner>();
};

// Base-class properties come first in the file.
class TMore : public TKinds {
    Q_OBJECT
    Q_PROPERTY(int Extra MEMBER Extra)
public:
    int Extra = 0;
};

// Items that count their destruction, for the owning list.
class TCounted : public TXMLClass {
    Q_OBJECT
    Q_PROPERTY(int Id MEMBER Id)
public:
    explicit TCounted(int* destroyed) : m_destroyed(destroyed) {}
    ~TCounted() override { ++*m_destroyed; }
    int Id = 0;

private:
    int* m_destroyed;
};

class TCountedList : public TXMLClassList {
    Q_OBJECT
public:
    // Destructions are counted in the list or, when given, in a counter that outlives it.
    explicit TCountedList(int* counter = nullptr) : m_counter(counter ? counter : &destroyed) {}
    std::unique_ptr<TXMLClass> CreateItem() override {
        auto item = std::make_unique<TCounted>(m_counter);
        item->Id = ++made;
        return item;
    }
    int made = 0;
    int destroyed = 0;
    QList<int> ids() const {
        QList<int> list;
        for (int i = 0; i < Count(); ++i)
            list << static_cast<TCounted*>(Items(i))->Id;
        return list;
    }

private:
    int* m_counter;
};

class TListHolder : public TXMLClass {
    Q_OBJECT
    Q_PROPERTY(TCountedList* Items READ Items)
    Q_PROPERTY(int After MEMBER After)
public:
    TCountedList* Items() const { return m_items.get(); }
    void Clear() override { After = 0; }
    int After = 0;

private:
    std::unique_ptr<TCountedList> m_items = std::make_unique<TCountedList>();
};

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    QCOMPARE(f.write(data), data.size());
}

QByteArray rootWith(const QByteArray& body) {
    return "<root Application=\"App\" Version=\"1\">" + body + "</root>";
}

void setUp(TXMLOptionsSerializer& s, TXMLClass* root) {
    s.ApplicationName = QStringLiteral("App");
    s.RootNodeName = QStringLiteral("root");
    s.Root = root;
}

QStringList entries(const QString& folder) {
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot,
                                  QDir::Name);
}

} // namespace

class tst_XMLOptionsSerializer : public QObject {
    Q_OBJECT
private slots:
    void listOperations();
    void listWithoutFactoryAddsNothing();
    void writesValueTexts_data();
    void writesValueTexts();
    void readsValueTexts_data();
    void readsValueTexts();
    void baseClassPropertiesFirstAndAbsentObjectSkipped();
    void nestedObjectsAndListsRoundTrip();
    void withoutVersionControl();
    void withoutIndent();
    void readErrorsAreRecorded_data();
    void readErrorsAreRecorded();
    void afterLoadFiresOnlyOnSuccess();
    void assignPropertiesCopiesEveryKind();
    void saveKeepsBackupNamedFileAndLeavesNoTemporary();
    void saveKeepsPermissionBitsAndFollowsLinks();
    void failedSaveKeepsOldFile_data();
    void failedSaveKeepsOldFile();
    void mutatedFilesNeverCrashTheLoader();
};

void tst_XMLOptionsSerializer::listOperations() {
    TCountedList list;
    QCOMPARE(list.Count(), 0);
    list.Add(); // 1
    list.Add(); // 2
    TXMLClass* third = list.Insert(0);
    QCOMPARE(list.Items(0), third);
    list.Insert(99); // 4 clamped to the end
    list.Insert(-5); // 5 clamped to the front
    QCOMPARE(list.ids(), (QList<int>{5, 3, 1, 2, 4}));
    list.Exchange(0, 4);
    QCOMPARE(list.ids(), (QList<int>{4, 3, 1, 2, 5}));
    list.Exchange(0, 5); // outside: ignored
    QCOMPARE(list.ids(), (QList<int>{4, 3, 1, 2, 5}));
    list.Delete(1);
    QCOMPARE(list.destroyed, 1);
    QCOMPARE(list.ids(), (QList<int>{4, 1, 2, 5}));
    list.Delete(4); // outside: ignored
    QCOMPARE(list.destroyed, 1);
    list.Remove(list.Items(2));
    QCOMPARE(list.destroyed, 2);
    QCOMPARE(list.ids(), (QList<int>{4, 1, 5}));
    TCounted stranger(&list.destroyed);
    list.Remove(&stranger); // not in the list: ignored
    QCOMPARE(list.Count(), 3);
    QCOMPARE(list.Items(3), nullptr);
    QCOMPARE(list.Items(-1), nullptr);
    list.Clear();
    QCOMPARE(list.Count(), 0);
    QCOMPARE(list.destroyed, 5);

    int destroyed = 0;
    {
        TCountedList scoped(&destroyed);
        scoped.Add();
        scoped.Add();
    }
    QCOMPARE(destroyed, 2);
}

void tst_XMLOptionsSerializer::listWithoutFactoryAddsNothing() {
    TXMLClassList bare;
    QCOMPARE(bare.Add(), nullptr);
    QCOMPARE(bare.Insert(0), nullptr);
    QCOMPARE(bare.Count(), 0);
}

void tst_XMLOptionsSerializer::writesValueTexts_data() {
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QByteArray>("element");

    QTest::newRow("negative Integer")
        << QByteArray("Int") << QVariant(-5) << QByteArray("<Int>-5</Int>");
    QTest::newRow("Cardinal all ones is -1")
        << QByteArray("Cardinal") << QVariant::fromValue(quint32(4294967295u))
        << QByteArray("<Cardinal>-1</Cardinal>");
    QTest::newRow("Cardinal 2^31 is negative")
        << QByteArray("Cardinal") << QVariant::fromValue(quint32(2147483648u))
        << QByteArray("<Cardinal>-2147483648</Cardinal>");
    QTest::newRow("Word top") << QByteArray("Word") << QVariant::fromValue(quint16(65535))
                              << QByteArray("<Word>65535</Word>");
    QTest::newRow("Byte top") << QByteArray("Byte") << QVariant::fromValue(quint8(255))
                              << QByteArray("<Byte>255</Byte>");
    QTest::newRow("SmallInt") << QByteArray("SmallInt") << QVariant::fromValue(qint16(-32768))
                              << QByteArray("<SmallInt>-32768</SmallInt>");
    QTest::newRow("Boolean false")
        << QByteArray("Flag") << QVariant(false) << QByteArray("<Flag>False</Flag>");
    QTest::newRow("Boolean true") << QByteArray("Flag") << QVariant(true)
                                  << QByteArray("<Flag>True</Flag>");
    QTest::newRow("float 15 digits")
        << QByteArray("Real") << QVariant(1.0 / 3) << QByteArray("<Real>0.333333333333333</Real>");
    QTest::newRow("float trailing zeros dropped")
        << QByteArray("Real") << QVariant(2.5) << QByteArray("<Real>2.5</Real>");
    QTest::newRow("float large") << QByteArray("Real") << QVariant(1e20)
                                 << QByteArray("<Real>1e+20</Real>");
    QTest::newRow("float small") << QByteArray("Real") << QVariant(-0.00001)
                                 << QByteArray("<Real>-1e-05</Real>");
    QTest::newRow("character code")
        << QByteArray("Letter") << QVariant(QChar(0x42F)) << QByteArray("<Letter>1071</Letter>");
    QTest::newRow("enumeration ordinal") << QByteArray("Shade") << QVariant::fromValue(TKinds::Blue)
                                         << QByteArray("<Shade>2</Shade>");
    QTest::newRow("set mask") << QByteArray("Look")
                              << QVariant::fromValue(TKinds::Styles(TKinds::Bold | TKinds::Under))
                              << QByteArray("<Look>5</Look>");
    QTest::newRow("empty string") << QByteArray("Text") << QVariant(QString())
                                  << QByteArray("<Text/>");
    QTest::newRow("markup escaped") << QByteArray("Text") << QVariant(QStringLiteral("a<b>&c"))
                                    << QByteArray("<Text>a&lt;b&gt;&amp;c</Text>");
    QTest::newRow("line breaks as references")
        << QByteArray("Text") << QVariant(QStringLiteral("a\r\nb"))
        << QByteArray("<Text>a&#13;&#10;b</Text>");
    QTest::newRow("forbidden controls dropped")
        << QByteArray("Text") << QVariant(QStringLiteral("a\x01\x1f\tb") + QChar(0xFFFF))
        << QByteArray("<Text>a\tb</Text>");
    QTest::newRow("only forbidden gives empty element")
        << QByteArray("Text") << QVariant(QString(3, QChar(0))) << QByteArray("<Text/>");
}

void tst_XMLOptionsSerializer::writesValueTexts() {
    QFETCH(QByteArray, property);
    QFETCH(QVariant, value);
    QFETCH(QByteArray, element);
    TKinds object;
    QVERIFY(object.setProperty(property, value));
    TXMLOptionsSerializer s;
    setUp(s, &object);
    const QByteArray data = s.SaveToData();
    QVERIFY2(data.contains("\r\n  " + element + "\r\n"), data.constData());
}

void tst_XMLOptionsSerializer::readsValueTexts_data() {
    QTest::addColumn<QByteArray>("property");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QVariant>("expected"); // invalid: the text is an error

    const QVariant error;
    QTest::newRow("Integer") << QByteArray("Int") << "-17" << QVariant(-17);
    QTest::newRow("Integer plus sign and blanks") << QByteArray("Int") << " +8 " << QVariant(8);
    QTest::newRow("Integer lowest")
        << QByteArray("Int") << "-2147483648" << QVariant(int(-2147483648LL));
    QTest::newRow("Integer too large") << QByteArray("Int") << "2147483648" << error;
    QTest::newRow("Integer empty") << QByteArray("Int") << "" << error;
    QTest::newRow("Integer hex") << QByteArray("Int") << "0x10" << error;
    QTest::newRow("Integer exponent") << QByteArray("Int") << "1e3" << error;
    QTest::newRow("Integer inner blank") << QByteArray("Int") << "1 000" << error;
    QTest::newRow("Integer sign only") << QByteArray("Int") << "-" << error;
    QTest::newRow("Integer huge") << QByteArray("Int") << "99999999999999999999999" << error;
    QTest::newRow("Cardinal -1") << QByteArray("Cardinal") << "-1"
                                 << QVariant::fromValue(quint32(4294967295u));
    QTest::newRow("Cardinal unsigned text") << QByteArray("Cardinal") << "4294967295" << error;
    QTest::newRow("Word low 16 bits")
        << QByteArray("Word") << "70000" << QVariant::fromValue(quint16(4464));
    QTest::newRow("Byte low 8 bits")
        << QByteArray("Byte") << "257" << QVariant::fromValue(quint8(1));
    QTest::newRow("SmallInt wraps")
        << QByteArray("SmallInt") << "32768" << QVariant::fromValue(qint16(-32768));
    QTest::newRow("Boolean mixed case") << QByteArray("Flag") << "fAlSe" << QVariant(false);
    QTest::newRow("Boolean TRUE") << QByteArray("Flag") << "TRUE" << QVariant(true);
    QTest::newRow("Boolean zero") << QByteArray("Flag") << "0" << QVariant(false);
    QTest::newRow("Boolean other number") << QByteArray("Flag") << "-3" << QVariant(true);
    QTest::newRow("Boolean word") << QByteArray("Flag") << "yes" << error;
    QTest::newRow("Boolean empty") << QByteArray("Flag") << "" << error;
    QTest::newRow("float point") << QByteArray("Real") << "1.25" << QVariant(1.25);
    QTest::newRow("float comma") << QByteArray("Real") << "-1,25" << QVariant(-1.25);
    QTest::newRow("float exponent") << QByteArray("Real") << "1e+20" << QVariant(1e20);
    QTest::newRow("float word") << QByteArray("Real") << "abc" << error;
    QTest::newRow("float empty") << QByteArray("Real") << "" << error;
    QTest::newRow("character") << QByteArray("Letter") << "1071" << QVariant(QChar(0x42F));
    QTest::newRow("character letter") << QByteArray("Letter") << "A" << error;
    QTest::newRow("enumeration") << QByteArray("Shade") << "2" << QVariant::fromValue(TKinds::Blue);
    QTest::newRow("enumeration name") << QByteArray("Shade") << "Blue" << error;
    QTest::newRow("set") << QByteArray("Look") << "6"
                         << QVariant::fromValue(TKinds::Styles(TKinds::Italic | TKinds::Under));
    QTest::newRow("string kept with blanks") << QByteArray("Text") << " a b " << QVariant(" a b ");
    QTest::newRow("empty string") << QByteArray("Text") << "" << QVariant(QString());
    QTest::newRow("string references")
        << QByteArray("Text") << "x&#13;&#10;&lt;" << QVariant(QStringLiteral("x\r\n<"));
}

void tst_XMLOptionsSerializer::readsValueTexts() {
    QFETCH(QByteArray, property);
    QFETCH(QString, text);
    QFETCH(QVariant, expected);
    TKinds object;
    object.Inner()->Depth = 99;
    TXMLOptionsSerializer s;
    setUp(s, &object);
    // A neighbour element read before the tested one, so that a failure visibly undoes it.
    const QByteArray neighbour = property == "Int" ? QByteArray() : QByteArray("<Int>7</Int>");
    const QByteArray body = neighbour + "<Inner><Depth>5</Depth></Inner><" + property + ">" +
                            text.toUtf8() + "</" + property + ">";
    const bool ok = s.LoadFromData(rootWith(body));
    QCOMPARE(ok, expected.isValid());
    if (!ok) {
        QCOMPARE(s.LastReadError().Status, TXMLReadStatus::rsBadValue);
        QCOMPARE(s.LastReadError().Element, "root/" + QString::fromLatin1(property));
        QCOMPARE(s.LastReadError().Text, text);
        // The whole object, nested ones included, is back at its defaults.
        QCOMPARE(object.Int, 42);
        QCOMPARE(object.Inner()->Depth, 11);
        return;
    }
    QCOMPARE(object.property(property), expected);
    if (property != "Int")
        QCOMPARE(object.Int, 7);
    QCOMPARE(object.Inner()->Depth, 5);
}

void tst_XMLOptionsSerializer::baseClassPropertiesFirstAndAbsentObjectSkipped() {
    TMore object;
    object.Extra = 9;
    TXMLOptionsSerializer s;
    setUp(s, &object);
    const QByteArray data = s.SaveToData();
    const QList<QByteArray> names{"<Int>",  "<Cardinal>", "<Word>",   "<Byte>",  "<SmallInt>",
                                  "<Flag>", "<Real>",     "<Letter>", "<Shade>", "<Look>",
                                  "<Text>", "<Inner>",    "<Depth>",  "<Extra>"};
    qsizetype at = 0;
    for (const QByteArray& name : names) {
        const qsizetype next = data.indexOf(name, at);
        QVERIFY2(next > at, name.constData());
        at = next;
    }
    QVERIFY(!data.contains("Absent"));
    QVERIFY(data.contains("\r\n  <Inner>\r\n    <Depth>11</Depth>\r\n  </Inner>\r\n"));
}

void tst_XMLOptionsSerializer::nestedObjectsAndListsRoundTrip() {
    TListHolder holder;
    holder.Items()->Add();
    holder.Items()->Add();
    holder.Items()->Add();
    holder.Items()->Exchange(0, 2);
    holder.After = -1;
    TXMLOptionsSerializer s;
    setUp(s, &holder);
    s.ItemNodeCaption = QStringLiteral("Entry");
    const QByteArray data = s.SaveToData();
    QCOMPARE(data.count("<Entry>"), 3);
    QVERIFY(data.contains("<Entry>\r\n      <Id>3</Id>\r\n    </Entry>"));

    TListHolder back;
    s.Root = &back;
    QVERIFY(s.LoadFromData(data));
    QCOMPARE(back.Items()->ids(), (QList<int>{3, 2, 1}));
    QCOMPARE(back.After, -1);
    // Items that get no element keep what the factory gave them.
    QVERIFY(s.LoadFromData(rootWith("<Items><Entry/><Entry><Id>8</Id></Entry></Items>")));
    QCOMPARE(back.Items()->Count(), 2);
    QCOMPARE(back.Items()->ids().at(1), 8);
}

void tst_XMLOptionsSerializer::withoutVersionControl() {
    TInner object;
    TXMLOptionsSerializer s;
    setUp(s, &object);
    s.UseVersionControl = false;
    const QByteArray data = s.SaveToData();
    QVERIFY2(data.startsWith("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<root>\r\n"),
             data.constData());
    // Root name and attributes are not checked either, and Version is left alone.
    s.Version = 3;
    QVERIFY(
        s.LoadFromData("<anything Application=\"X\" Version=\"9\"><Depth>4</Depth></anything>"));
    QCOMPARE(object.Depth, 4);
    QCOMPARE(s.Version, quint8(3));
}

void tst_XMLOptionsSerializer::withoutIndent() {
    TInner object;
    TXMLOptionsSerializer s;
    setUp(s, &object);
    s.NodeAutoIndent = false;
    const QByteArray data = s.SaveToData();
    QCOMPARE(data, QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><root Application=\"App\" "
                              "Version=\"1\"><Depth>11</Depth></root>\r\n"));
    object.Depth = 0;
    QVERIFY(s.LoadFromData(data));
    QCOMPARE(object.Depth, 11);
}

void tst_XMLOptionsSerializer::readErrorsAreRecorded_data() {
    QTest::addColumn<QByteArray>("file"); // "<missing>": no file at all
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("element");
    QTest::addColumn<int>("line");
    QTest::addColumn<QString>("describeContains");

    QTest::newRow("missing file") << QByteArray("<missing>") << int(TXMLReadStatus::rsFileMissing)
                                  << QString() << 0 << "not found";
    QTest::newRow("a folder") << QByteArray("<folder>") << int(TXMLReadStatus::rsFileUnreadable)
                              << QString() << 0 << "not a regular file";
    QTest::newRow("parse error")
        << QByteArray("<root Application=\"App\" Version=\"1\">\n<Int>1</Int>\n<Int>")
        << int(TXMLReadStatus::rsParseError) << QString() << 3 << "line 3";
    QTest::newRow("foreign root") << QByteArray("<html/>") << int(TXMLReadStatus::rsForeignRoot)
                                  << QString() << 0 << "html";
    QTest::newRow("foreign application")
        << QByteArray("<root Application=\"Other\" Version=\"1\"/>")
        << int(TXMLReadStatus::rsForeignApplication) << QString() << 0 << "Other";
    QTest::newRow("no application")
        << QByteArray("<root Version=\"1\"/>") << int(TXMLReadStatus::rsForeignApplication)
        << QString() << 0 << "no Application";
    QTest::newRow("bad version") << QByteArray("<root Application=\"App\" Version=\"v2\"/>")
                                 << int(TXMLReadStatus::rsBadVersion) << QString() << 0 << "v2";
    QTest::newRow("bad value deep in a list")
        << QByteArray("<root Application=\"App\" Version=\"1\">\n<Items>\n<Item><Id>1</Id></Item>\n"
                      "<Odd><Id>x</Id></Odd>\n</Items></root>")
        << int(TXMLReadStatus::rsBadValue) << QStringLiteral("root/Items/Odd[2]/Id") << 4
        << "root/Items/Odd[2]/Id";
}

void tst_XMLOptionsSerializer::readErrorsAreRecorded() {
    QFETCH(QByteArray, file);
    QFETCH(int, status);
    QFETCH(QString, element);
    QFETCH(int, line);
    QFETCH(QString, describeContains);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("doc.xml"));
    if (file == "<folder>")
        QVERIFY(QDir().mkdir(path));
    else if (file != "<missing>")
        writeFile(path, file);
    TListHolder holder;
    holder.Items()->Add();
    TXMLOptionsSerializer s;
    setUp(s, &holder);
    s.XMLFilePath = path;
    QVERIFY(!s.Load());
    QCOMPARE(int(s.LastReadError().Status), status);
    QCOMPARE(s.LastReadError().Element, element);
    QCOMPARE(s.LastReadError().Line, line);
    QVERIFY2(s.LastReadError().Describe().contains(describeContains),
             qPrintable(s.LastReadError().Describe()));
    QCOMPARE(holder.Items()->Count(), 0);
    // A good read afterwards clears the record.
    QDir().rmdir(path);
    writeFile(path, rootWith("<After>3</After>"));
    QVERIFY(s.Load());
    QCOMPARE(s.LastReadError().Status, TXMLReadStatus::rsOk);
    QCOMPARE(s.LastReadError().Describe(), QString());
}

void tst_XMLOptionsSerializer::afterLoadFiresOnlyOnSuccess() {
    TInner object;
    TXMLOptionsSerializer s;
    setUp(s, &object);
    int fired = 0;
    s.OnAfterLoad = [&](TXMLOptionsSerializer& sender) {
        QCOMPARE(&sender, &s);
        ++fired;
    };
    QVERIFY(!s.LoadFromData(rootWith("<Depth>no</Depth>")));
    QVERIFY(!s.LoadFromData("<root/>"));
    QCOMPARE(fired, 0);
    QVERIFY(s.LoadFromData(rootWith("<Depth>1</Depth>")));
    QCOMPARE(fired, 1);
    s.Root = nullptr;
    QVERIFY(!s.LoadFromData(rootWith("")));
    QCOMPARE(s.LastReadError().Status, TXMLReadStatus::rsNoRoot);
    QCOMPARE(fired, 1);
    QVERIFY(!s.Save());
}

void tst_XMLOptionsSerializer::assignPropertiesCopiesEveryKind() {
    TKinds source;
    source.Int = -1;
    source.Cardinal = 0xFFFFFFFF;
    source.Word = 65535;
    source.Byte = 200;
    source.SmallInt = -2;
    source.Flag = false;
    source.Real = 0.1 + 0.2;
    source.Letter = QChar(0x44F);
    source.Shade = TKinds::Blue;
    source.Look = TKinds::Styles(TKinds::Bold | TKinds::Under);
    source.Text = QStringLiteral("текст");
    source.Inner()->Depth = -3;
    TKinds copy;
    copy.Assign(&source);
    TXMLOptionsSerializer s;
    setUp(s, &source);
    const QByteArray original = s.SaveToData();
    s.Root = &copy;
    QCOMPARE(s.SaveToData(), original);
    QCOMPARE(copy.Real, source.Real);
    QCOMPARE(copy.Inner()->Depth, -3);
    QVERIFY(copy.Inner() != source.Inner());

    TListHolder from;
    from.Items()->Add();
    from.Items()->Add();
    TListHolder to;
    to.Items()->Add();
    to.Items()->Add();
    to.Items()->Add();
    to.Assign(&from);
    QCOMPARE(to.Items()->ids(), from.Items()->ids());
    QCOMPARE(to.Items()->destroyed, 3);
}

void tst_XMLOptionsSerializer::saveKeepsBackupNamedFileAndLeavesNoTemporary() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.zorvan"));
    const QString bak = dir.filePath(QStringLiteral("map.bak"));
    writeFile(path, "old document");
    writeFile(bak, "the user's own backup");
    TInner object;
    TXMLOptionsSerializer s;
    setUp(s, &object);
    s.XMLFilePath = path;
    QVERIFY2(s.Save(), qPrintable(s.LastSaveError()));
    QCOMPARE(readFile(path), s.SaveToData());
    QCOMPARE(readFile(bak), QByteArray("the user's own backup"));
    QCOMPARE(entries(dir.path()), (QStringList{"map.bak", "map.zorvan"}));
    // A first save into an empty folder leaves nothing but the document either.
    QTemporaryDir fresh;
    s.XMLFilePath = fresh.filePath(QStringLiteral("new"));
    QVERIFY(s.Save());
    QCOMPARE(entries(fresh.path()), QStringList{"new"});
}

void tst_XMLOptionsSerializer::saveKeepsPermissionBitsAndFollowsLinks() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.zorvan"));
    writeFile(path, "old");
    QCOMPARE(::chmod(QFile::encodeName(path).constData(), 0640), 0);
    TInner object;
    TXMLOptionsSerializer s;
    setUp(s, &object);
    s.XMLFilePath = path;
    QVERIFY(s.Save());
    struct stat st {};
    QCOMPARE(::stat(QFile::encodeName(path).constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0640));

    // A new file gets the usual mode: 0666 less the umask.
    const mode_t mask = ::umask(027);
    s.XMLFilePath = dir.filePath(QStringLiteral("other.zorvan"));
    const bool saved = s.Save();
    ::umask(mask);
    QVERIFY(saved);
    QCOMPARE(::stat(QFile::encodeName(s.XMLFilePath).constData(), &st), 0);
    QCOMPARE(st.st_mode & 07777, mode_t(0640));

    // Saving through a symbolic link replaces the file it points to, not the link.
    const QString link = dir.filePath(QStringLiteral("link.zorvan"));
    QVERIFY(QFile::link(path, link));
    object.Depth = 77;
    s.XMLFilePath = link;
    QVERIFY(s.Save());
    QVERIFY(QFileInfo(link).isSymLink());
    QVERIFY(readFile(path).contains("<Depth>77</Depth>"));
}

void tst_XMLOptionsSerializer::failedSaveKeepsOldFile_data() {
    QTest::addColumn<QString>("how");
    QTest::newRow("read-only folder") << "readonly";
    QTest::newRow("disk full") << "full";
    QTest::newRow("folder missing") << "nofolder";
    QTest::newRow("target is a folder") << "isfolder";
}

void tst_XMLOptionsSerializer::failedSaveKeepsOldFile() {
    QFETCH(QString, how);
    QTemporaryDir dir;
    QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
    const QString folder = dir.filePath(QStringLiteral("docs"));
    QVERIFY(QDir().mkdir(folder));
    QString path = folder + QStringLiteral("/map.zorvan");
    const QByteArray old = "<?xml version=\"1.0\"?>\r\n<root>old</root>\r\n";
    writeFile(path, old);

    TListHolder object;
    for (int i = 0; i < 2000; ++i)
        object.Items()->Add();
    TXMLOptionsSerializer s;
    setUp(s, &object);
    s.XMLFilePath = path;

    bool saved = true;
    if (how == "readonly") {
        QVERIFY(::chmod(QFile::encodeName(folder).constData(), 0555) == 0);
        if (::geteuid() == 0) {
            // Root writes anywhere: save as an unprivileged user in a child process, who owns
            // the document (so could rewrite it in place) but not the right to add files.
            QCOMPARE(::chown(QFile::encodeName(folder).constData(), 65534, 65534), 0);
            QCOMPARE(::chown(QFile::encodeName(path).constData(), 65534, 65534), 0);
            const pid_t child = ::fork();
            QVERIFY(child >= 0);
            if (child == 0) {
                const bool ok = ::setgid(65534) == 0 && ::setuid(65534) == 0 && !s.Save() &&
                                !s.LastSaveError().isEmpty();
                ::_exit(ok ? 0 : 1);
            }
            int status = 0;
            QCOMPARE(::waitpid(child, &status, 0), child);
            QVERIFY(WIFEXITED(status));
            QCOMPARE(WEXITSTATUS(status), 0);
            saved = false;
        } else {
            saved = s.Save();
        }
    } else if (how == "full") {
        // A file size limit makes write() fail part-way, as a full disk does.
        rlimit previous{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &previous), 0);
        const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit small = previous;
        small.rlim_cur = 4096;
        QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
        saved = s.Save();
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    } else if (how == "nofolder") {
        s.XMLFilePath = dir.filePath(QStringLiteral("absent/map.zorvan"));
        saved = s.Save();
    } else if (how == "isfolder") {
        s.XMLFilePath = folder;
        saved = s.Save();
    }
    QVERIFY(!saved);
    QVERIFY(how == "readonly" || !s.LastSaveError().isEmpty());
    ::chmod(QFile::encodeName(folder).constData(), 0755);
    QCOMPARE(readFile(path), old);
    QCOMPARE(entries(folder), QStringList{"map.zorvan"});
    QCOMPARE(entries(dir.path()), QStringList{"docs"});
}

void tst_XMLOptionsSerializer::mutatedFilesNeverCrashTheLoader() {
    TListHolder holder;
    for (int i = 0; i < 3; ++i)
        holder.Items()->Add();
    holder.After = 5;
    TXMLOptionsSerializer s;
    setUp(s, &holder);
    const QByteArray good = s.SaveToData();
    const QByteArray alphabet = "<>/=\"&;#xX0123456789 \r\n\t\0ItemsIdAfter-?!]'Ё";
    QRandomGenerator random(20240611);
    int read = 0;
    for (int round = 0; round < 3000; ++round) {
        QByteArray data = good;
        const int edits = 1 + random.bounded(6);
        for (int e = 0; e < edits && !data.isEmpty(); ++e) {
            const qsizetype at = random.bounded(data.size());
            const char c = alphabet.at(random.bounded(alphabet.size()));
            switch (random.bounded(4)) {
            case 0:
                data[at] = c;
                break;
            case 1:
                data.insert(at, c);
                break;
            case 2:
                data.remove(at, 1 + random.bounded(8));
                break;
            default:
                data.truncate(at);
                break;
            }
        }
        const bool ok = s.LoadFromData(data);
        if (!ok) {
            // A failed read leaves nothing of the file behind.
            QCOMPARE(holder.Items()->Count(), 0);
            QCOMPARE(holder.After, 0);
            QVERIFY(s.LastReadError().Status != TXMLReadStatus::rsOk);
            continue;
        }
        ++read;
        // Whatever was read is written and read back to the same content.
        const QByteArray once = s.SaveToData();
        QVERIFY(s.LoadFromData(once));
        QCOMPARE(s.SaveToData(), once);
    }
    QVERIFY(read > 0);
}

QTEST_GUILESS_MAIN(tst_XMLOptionsSerializer)
#include "tst_XMLOptionsSerializer.moc"
