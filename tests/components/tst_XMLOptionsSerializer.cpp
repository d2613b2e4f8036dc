#include "Cases.h"
#include "Files.h"
#include "components/XMLOptionsSerializer.h"
#include "document/CnlImage.h"

#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace zorvan;
using namespace zorvan::test;

// A property of every kind the serializer knows (the channel map has the unsigned ones and
// nested objects), and an object property that holds nothing.
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
    Q_PROPERTY(qint64 Big MEMBER Big)
    Q_PROPERTY(bool Flag MEMBER Flag)
    Q_PROPERTY(double Real MEMBER Real)
    Q_PROPERTY(QChar Letter MEMBER Letter)
    Q_PROPERTY(Colour Shade MEMBER Shade)
    Q_PROPERTY(Styles Look READ look WRITE setLook) // a set takes no MEMBER
    Q_PROPERTY(QString Text MEMBER Text)
    Q_PROPERTY(zorvan::TXMLClass* Absent READ Absent)

public:
    Styles look() const { return Look; }
    void setLook(Styles value) { Look = value; }
    TXMLClass* Absent() const { return nullptr; }

    int Int = 42;
    qint64 Big = 5;
    bool Flag = true;
    double Real = 0.5;
    QChar Letter = QChar(u'z');
    Colour Shade = Green;
    Styles Look = Italic;
    QString Text = QStringLiteral("default");
};

namespace {

QByteArray rootWith(const QByteArray& body) {
    return "<root Application=\"App\" Version=\"1\">" + body + "</root>";
}

void setUp(TXMLOptionsSerializer& s, TXMLClass* root) {
    s.ApplicationName = "App", s.RootNodeName = "root", s.Root = root;
}

// A property's value and its element text. how: 'b' written as the text and read back from
// it, 'w' only written so, 'r' only read from it. No value: the text is a read error.
struct Text {
    const char* property;
    const char* text;
    QVariant value;
    char how = 'b';
};

// A file the serializer refuses, and the reason it records.
struct ReadError {
    QByteArray file; // "<missing>": no file, "<folder>": a folder of that name
    TXMLReadStatus status;
    int line;
    const char* reason;
};

} // namespace

class tst_XMLOptionsSerializer : public QObject {
    Q_OBJECT
private slots:
    // Every element in its own line, indented, CR LF; the attributes in their order; an object
    // property holding nothing left out.
    void layout() {
        TKinds object;
        TXMLOptionsSerializer s;
        setUp(s, &object);
        QCOMPARE(
            s.SaveToData(),
            QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<root Application=\"App\" "
                       "Version=\"1\">\r\n  <Int>42</Int>\r\n  <Big>5</Big>\r\n  <Flag>True</Flag>"
                       "\r\n  <Real>0.5</Real>\r\n  <Letter>122</Letter>\r\n  <Shade>1</Shade>\r\n"
                       "  <Look>2</Look>\r\n  <Text>default</Text>\r\n</root>\r\n"));
    }

    void valueTexts_data() {
        const QVariant error;
        // clang-format off
        addCases<Text>({
            {"Integer",                   {"Int", "-5", -5}},
            {"Integer, sign and blanks",  {"Int", " +8 ", 8, 'r'}},
            {"Integer lowest",            {"Int", "-2147483648", INT_MIN}},
            {"Integer too large",         {"Int", "2147483648", error}},
            {"Integer empty",             {"Int", "", error}},
            {"Integer hex",               {"Int", "0x10", error}},
            {"Integer inner blank",       {"Int", "1 000", error}},
            {"Integer sign only",         {"Int", "-", error}},
            {"64-bit",                    {"Big", "-9223372036854775808", QVariant::fromValue(LLONG_MIN)}},
            {"64-bit too large",          {"Big", "9223372036854775808", error}},
            {"Boolean false",             {"Flag", "False", false}},
            {"Boolean mixed case",        {"Flag", "tRuE", true, 'r'}},
            {"Boolean zero",              {"Flag", "0", false, 'r'}},
            {"Boolean other number",      {"Flag", "-3", true, 'r'}},
            {"Boolean word",              {"Flag", "yes", error}},
            {"float 15 digits",           {"Real", "0.333333333333333", 1.0 / 3, 'w'}},
            {"float large",               {"Real", "1e+20", 1e20}},
            {"float small",               {"Real", "-1e-05", -0.00001}},
            {"float comma",               {"Real", "-1,25", -1.25, 'r'}},
            {"float word",                {"Real", "abc", error}},
            {"character code",            {"Letter", "1071", QChar(0x42F)}},
            {"character letter",          {"Letter", "A", error}},
            {"enumeration ordinal",       {"Shade", "2", QVariant::fromValue(TKinds::Blue)}},
            {"enumeration name",          {"Shade", "Blue", error}},
            {"set mask",                  {"Look", "5", QVariant::fromValue(TKinds::Styles(TKinds::Bold | TKinds::Under))}},
            {"string with blanks",        {"Text", " a b ", " a b "}},
            {"empty string",              {"Text", "", ""}},
            {"markup escaped",            {"Text", "a&lt;b&gt;&amp;c", "a<b>&c"}},
            {"line breaks as references", {"Text", "a&#13;&#10;b", "a\r\nb"}},
            {"forbidden controls dropped",{"Text", "a\tb", QString("a\x01\x1f\tb") + QChar(0xFFFF) + QChar(0xDC00), 'w'}},
        });
        // clang-format on
    }
    void valueTexts() {
        QFETCH(Text, c);
        const QByteArray element =
            QByteArray(c.text).isEmpty()
                ? QByteArray("<") + c.property + "/>"
                : QByteArray("<") + c.property + ">" + c.text + "</" + c.property + ">";
        TKinds written, read;
        TXMLOptionsSerializer s;
        setUp(s, &written);
        if (c.how != 'r' && c.value.isValid()) {
            QVERIFY(written.setProperty(c.property, c.value));
            QVERIFY2(s.SaveToData().contains("\r\n  " + element + "\r\n"),
                     s.SaveToData().constData());
        }
        if (c.how == 'w')
            return;
        s.Root = &read;
        QCOMPARE(s.LoadFromData(rootWith(element)), c.value.isValid());
        QCOMPARE(read.property(c.property),
                 c.value.isValid() ? c.value : written.property(c.property));
        if (!c.value.isValid())
            QCOMPARE(s.LastReadError().Element + "=" + s.LastReadError().Text,
                     QString("root/") + c.property + "=" + c.text);
    }

    void readErrors_data() {
        using S = TXMLReadStatus;
        // clang-format off
        addCases<ReadError>({
            {"missing file",        {"<missing>", S::rsFileMissing, 0, "file not found"}},
            {"a folder",            {"<folder>", S::rsFileUnreadable, 0, "cannot read the file: not a regular file"}},
            {"parse error",         {rootWith("\n<Int>1</Int>\n<Int>").chopped(7), S::rsParseError, 3, "not well-formed XML at line 3"}},
            {"foreign root",        {"<html/>", S::rsForeignRoot, 0, "root element is <html>, not a channel map"}},
            {"foreign application", {"<root Application=\"x&#10;&#155;y&#x2028;z\" Version=\"1\"/>", S::rsForeignApplication, 0, "written by another application (\"x  y z\")"}},
            {"no application",      {"<root Version=\"1\"/>", S::rsForeignApplication, 0, "no Application attribute on the root element"}},
            {"bad version",         {"<root Application=\"App\" Version=\"v2\"/>", S::rsBadVersion, 0, "bad Version attribute \"v2\""}},
            {"no version",          {"<root Application=\"App\"/>", S::rsBadVersion, 0, "no Version attribute on the root element"}},
            {"bad value",           {rootWith("\n<Int>x&#10;y</Int>"), S::rsBadValue, 2, "bad value \"x y\" in root/Int at line 2"}},
        });
        // clang-format on
    }
    void readErrors() {
        QFETCH(ReadError, c);
        QTemporaryDir dir;
        const QString path = dir.filePath("doc.xml");
        QVERIFY(c.file == "<missing>" ||
                (c.file == "<folder>" ? QDir().mkdir(path) : writeFile(path, c.file)));
        TKinds object;
        object.Int = 7;
        TXMLOptionsSerializer s;
        setUp(s, &object);
        int loaded = 0;
        s.OnAfterLoad = [&](TXMLOptionsSerializer&) { ++loaded; };
        s.XMLFilePath = path;
        QVERIFY(!s.Load() && s.LastReadError().Status == c.status &&
                s.LastReadError().Line == c.line);
        QVERIFY2(s.LastReadError().Describe().startsWith(c.reason),
                 qPrintable(s.LastReadError().Describe()));
        // A good read afterwards clears the record; without a root nothing is read or written.
        QDir().rmdir(path);
        QVERIFY(writeFile(path, rootWith("")) && s.Load() && loaded == 1);
        QCOMPARE(s.LastReadError().Describe(), "");
        s.Root = nullptr;
        QVERIFY(!s.Load() && !s.LoadFromData(rootWith("")) && !s.Save());
        QCOMPARE(s.LastReadError().Status, TXMLReadStatus::rsNoRoot);
    }

    // The file is replaced whole: mode bits kept, links followed, a file with the backup name
    // left alone, no temporary file left; a new file gets 0666 less the umask.
    void saveReplacesTheFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("map.zorvan");
        QVERIFY(writeFile(path, "old") && writeFile(dir.filePath("map.bak"), "the user's"));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0 &&
                QFile::link(path, dir.filePath("link")));
        TKinds object;
        TXMLOptionsSerializer s;
        setUp(s, &object);
        s.XMLFilePath = dir.filePath("link");
        QVERIFY2(s.Save(), qPrintable(s.LastSaveError()));
        const mode_t mask = ::umask(027);
        s.XMLFilePath = dir.filePath("new");
        QVERIFY(s.Save());
        ::umask(mask);
        QCOMPARE(readFile(path) + readFile(dir.filePath("map.bak")), s.SaveToData() + "the user's");
        for (const QString& name : {path, s.XMLFilePath}) {
            struct stat st {};
            QVERIFY(::stat(QFile::encodeName(name).constData(), &st) == 0 &&
                    (st.st_mode & 07777) == 0640);
        }
        QCOMPARE(entries(dir.path()), (QStringList{"link", "map.bak", "map.zorvan", "new"}));
        QVERIFY(QFileInfo(dir.filePath("link")).isSymLink());
    }

    // However the save fails, the old file stays byte for byte and nothing else is left.
    void failedSaveKeepsOldFile_data() {
        QTest::addColumn<QString>("how");
        for (const char* how : {"disk full", "no folder", "target is a folder"})
            QTest::newRow(how) << how;
    }
    void failedSaveKeepsOldFile() {
        QFETCH(QString, how);
        QTemporaryDir dir;
        const QString folder = dir.filePath("docs"), path = folder + "/map.zorvan";
        QVERIFY(writeFile(path, "old"));
        TChannelImage image;
        for (int i = 0; i < 2000; ++i)
            image.Map()->Add();
        TXMLOptionsSerializer s;
        setUp(s, &image);
        s.XMLFilePath = how == "no folder"            ? dir.filePath("absent/map")
                        : how == "target is a folder" ? folder
                                                      : path;
        rlimit previous{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &previous) == 0);
        rlimit small = previous;
        small.rlim_cur = how == "disk full" ? 4096 : previous.rlim_cur; // write() fails part-way
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        const bool failed = !s.Save() && !s.LastSaveError().isEmpty();
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, handler);
        QVERIFY(failed);
        QCOMPARE(readFile(path), "old");
        QCOMPARE(entries(folder) + entries(dir.path()), (QStringList{"map.zorvan", "docs"}));
    }
};

QTEST_GUILESS_MAIN(tst_XMLOptionsSerializer)
#include "tst_XMLOptionsSerializer.moc"
