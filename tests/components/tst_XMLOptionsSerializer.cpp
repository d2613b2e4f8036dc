#include "Cases.h"
#include "components/XMLOptionsSerializer.h"
#include "document/CnlImage.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace zorvan;

class TInner : public TXMLClass {
    Q_OBJECT
    Q_PROPERTY(int Depth MEMBER Depth)
public:
    void Clear() override { Depth = 11; }
    int Depth = 11;
};

// A property of every kind the serializer knows, a nested object and one not held.
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
    Q_PROPERTY(qint64 Big MEMBER Big)
    Q_PROPERTY(bool Flag MEMBER Flag)
    Q_PROPERTY(double Real MEMBER Real)
    Q_PROPERTY(QChar Letter MEMBER Letter)
    Q_PROPERTY(Colour Shade MEMBER Shade)
    Q_PROPERTY(Styles Look READ look WRITE setLook) // a set takes no MEMBER
    Q_PROPERTY(QString Text MEMBER Text)
    Q_PROPERTY(TInner* Inner READ Inner)
    Q_PROPERTY(TInner* Absent READ Absent)

public:
    TKinds() { TKinds::Clear(); }
    void Clear() override {
        Int = 42, Cardinal = 1, Word = 2, Byte = 3, Big = 5, Flag = true, Real = 0.5;
        Letter = QChar(u'z'), Shade = Green, Look = Italic, Text = QStringLiteral("default");
    }
    TInner* Inner() const { return m_inner.get(); }
    TInner* Absent() const { return nullptr; }
    Styles look() const { return Look; }
    void setLook(Styles value) { Look = value; }

    int Int;
    quint32 Cardinal;
    quint16 Word;
    quint8 Byte;
    qint64 Big;
    bool Flag;
    double Real;
    QChar Letter;
    Colour Shade;
    Styles Look;
    QString Text;

private:
    std::unique_ptr<TInner> m_inner = std::make_unique<TInner>();
};

namespace {

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

bool writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(data) == data.size();
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
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
}

QString tags(const TChannelList& list) {
    QString text;
    for (int i = 0; i < list.Count(); ++i)
        text += QString::number(list.Items(i)->TagIndex);
    return text;
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
    const char* element;
    int line;
    const char* reason;
};

} // namespace

class tst_XMLOptionsSerializer : public QObject {
    Q_OBJECT
private slots:
    // An owning list: positions clamped, outside ones ignored (LeakSanitizer checks the rest).
    void listOperations() {
        TChannelList list;
        int made = 0;
        for (int position : {0, 0, 0, 99, -5})
            list.Insert(position)->TagIndex = ++made;
        list.Exchange(0, 4), list.Exchange(0, 5), list.Delete(1), list.Delete(4);
        TChannelItem stranger;
        list.Remove(list.Items(2)), list.Remove(&stranger);
        QCOMPARE(tags(list), "425");
        QVERIFY(!list.Items(3) && !list.Items(-1) && !TXMLClassList().Add());
        list.Clear();
        QCOMPARE(list.Count(), 0);
    }

    void valueTexts_data() {
        const QVariant error;
        // clang-format off
        test::addCases<Text>({
            {"Integer",                   {"Int", "-5", -5}},
            {"Integer, sign and blanks",  {"Int", " +8 ", 8, 'r'}},
            {"Integer lowest",            {"Int", "-2147483648", INT_MIN}},
            {"Integer too large",         {"Int", "2147483648", error}},
            {"Integer empty",             {"Int", "", error}},
            {"Integer hex",               {"Int", "0x10", error}},
            {"Integer inner blank",       {"Int", "1 000", error}},
            {"Integer sign only",         {"Int", "-", error}},
            {"Cardinal all ones is -1",   {"Cardinal", "-1", QVariant::fromValue(4294967295u)}},
            {"Cardinal 2^31 negative",    {"Cardinal", "-2147483648", QVariant::fromValue(2147483648u)}},
            {"Cardinal unsigned text",    {"Cardinal", "4294967295", error}},
            {"Word keeps low 16 bits",    {"Word", "70000", QVariant::fromValue(quint16(4464)), 'r'}},
            {"Byte keeps low 8 bits",     {"Byte", "257", QVariant::fromValue(quint8(1)), 'r'}},
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
            {"markup escaped",            {"Text", "a&lt;b&gt;&amp;c", "a<b>&c"}},
            {"line breaks as references", {"Text", "a&#13;&#10;b", "a\r\nb"}},
            {"forbidden controls dropped",{"Text", "a\tb", QString("a\x01\x1f\tb") + QChar(0xFFFF) + QChar(0xDC00), 'w'}},
        });
        // clang-format on
    }
    void valueTexts() {
        QFETCH(Text, c);
        const QByteArray element =
            QByteArray("<") + c.property + ">" + c.text + "</" + c.property + ">";
        TKinds object;
        TXMLOptionsSerializer s;
        setUp(s, &object);
        if (c.how != 'r' && c.value.isValid()) {
            QVERIFY(object.setProperty(c.property, c.value));
            QVERIFY2(s.SaveToData().contains("\r\n  " + element + "\r\n"),
                     s.SaveToData().constData());
        }
        if (c.how == 'w')
            return;
        // Neighbours that are read too, so that a failure visibly undoes them.
        const QByteArray n = QByteArray(c.property) == "Byte" ? "Int" : "Byte";
        const bool ok = s.LoadFromData(
            rootWith("<" + n + ">7</" + n + "><Inner><Depth>5</Depth></Inner>" + element));
        QCOMPARE(ok, c.value.isValid());
        if (ok) {
            QCOMPARE(object.property(c.property), c.value);
            QCOMPARE(object.property(n).toInt() + object.Inner()->Depth, 12);
            return;
        }
        const TXMLReadError& e = s.LastReadError();
        QCOMPARE(e.Status, TXMLReadStatus::rsBadValue);
        QCOMPARE(e.Element + "=" + e.Text, QString("root/") + c.property + "=" + c.text);
        // The whole object, nested ones too, is back at its defaults.
        QCOMPARE(object.property(n).toInt() + object.Inner()->Depth, n == "Int" ? 53 : 14);
    }

    // Nested objects indented below their element, objects not held left out, CR LF line
    // ends, the attributes in their order; without indenting and version control, neither.
    void layout() {
        TKinds object;
        TXMLOptionsSerializer s;
        setUp(s, &object);
        QCOMPARE(s.SaveToData(),
                 QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
                            "<root Application=\"App\" Version=\"1\">\r\n  <Int>42</Int>\r\n"
                            "  <Cardinal>1</Cardinal>\r\n  <Word>2</Word>\r\n  <Byte>3</Byte>\r\n"
                            "  <Big>5</Big>\r\n  <Flag>True</Flag>\r\n  <Real>0.5</Real>\r\n"
                            "  <Letter>122</Letter>\r\n  <Shade>1</Shade>\r\n  <Look>2</Look>\r\n"
                            "  <Text>default</Text>\r\n  <Inner>\r\n    <Depth>11</Depth>\r\n"
                            "  </Inner>\r\n</root>\r\n"));
        s.Root = object.Inner();
        s.NodeAutoIndent = s.UseVersionControl = false;
        s.Version = 3;
        QCOMPARE(s.SaveToData(), QByteArray("<?xml version=\"1.0\" encoding=\"UTF-8\"?><root>"
                                            "<Depth>11</Depth></root>\r\n"));
        QVERIFY(s.LoadFromData("<any Application=\"X\" Version=\"9\"><Depth>4</Depth></any>"));
        QCOMPARE(object.Inner()->Depth + s.Version, 7); // nothing checked, Version left alone
    }

    void readErrors_data() {
        using S = TXMLReadStatus;
        // clang-format off
        test::addCases<ReadError>({
            {"missing file",        {"<missing>", S::rsFileMissing, "", 0, "file not found"}},
            {"a folder",            {"<folder>", S::rsFileUnreadable, "", 0, "cannot read the file: not a regular file"}},
            {"parse error",         {rootWith("\n<Int>1</Int>\n<Int>").chopped(7), S::rsParseError, "", 3, "not well-formed XML at line 3"}},
            {"foreign root",        {"<html/>", S::rsForeignRoot, "", 0, "root element is <html>, not a channel map"}},
            {"foreign application", {"<root Application=\"x&#10;&#155;y&#x2028;z\" Version=\"1\"/>", S::rsForeignApplication, "", 0, "written by another application (\"x  y z\")"}},
            {"no application",      {"<root Version=\"1\"/>", S::rsForeignApplication, "", 0, "no Application attribute on the root element"}},
            {"bad version",         {"<root Application=\"App\" Version=\"v2\"/>", S::rsBadVersion, "", 0, "bad Version attribute \"v2\""}},
            {"no version",          {"<root Application=\"App\"/>", S::rsBadVersion, "", 0, "no Version attribute on the root element"}},
            {"bad value, nested",   {rootWith("\n<Int>1</Int>\n<Inner>\n<Depth>x&#10;y</Depth></Inner>"), S::rsBadValue, "root/Inner/Depth", 4, "bad value \"x y\" in root/Inner/Depth at line 4"}},
        });
        // clang-format on
    }
    void readErrors() {
        QFETCH(ReadError, c);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("doc.xml"));
        QVERIFY(c.file == "<missing>" ||
                (c.file == "<folder>" ? QDir().mkdir(path) : writeFile(path, c.file)));
        TKinds object;
        object.Int = 7;
        TXMLOptionsSerializer s;
        setUp(s, &object);
        int loaded = 0;
        s.OnAfterLoad = [&](TXMLOptionsSerializer&) { ++loaded; };
        s.XMLFilePath = path;
        QVERIFY(!s.Load());
        const TXMLReadError& e = s.LastReadError();
        QCOMPARE(
            QString("%1 %2 %3 %4").arg(int(e.Status)).arg(e.Element).arg(e.Line).arg(object.Int),
            QString("%1 %2 %3 42").arg(int(c.status)).arg(c.element).arg(c.line));
        QVERIFY2(e.Describe().startsWith(c.reason), qPrintable(e.Describe()));
        // A good read afterwards clears the record; without a root nothing is read or written.
        QDir().rmdir(path);
        QVERIFY(writeFile(path, rootWith("")) && s.Load() && loaded == 1 && e.Describe().isEmpty());
        s.Root = nullptr;
        QVERIFY(!s.Load() && !s.LoadFromData(rootWith("")) && !s.Save());
        QCOMPARE(s.LastReadError().Status, TXMLReadStatus::rsNoRoot);
    }

    // Copies are deep and keep every kind exactly; a list gets new items of its own.
    void assignCopiesEveryKind() {
        TKinds source, copy;
        source.Int = -1, source.Cardinal = 0xFFFFFFFF, source.Word = 65535, source.Byte = 200;
        source.Big = -7, source.Flag = false, source.Real = 0.1 + 0.2, source.Letter = QChar(0x44F);
        source.Shade = TKinds::Blue, source.Look = TKinds::Under, source.Text = "текст";
        source.Inner()->Depth = -3;
        copy.Assign(&source);
        copy.Assign(&copy); // itself, and a source of no stored class, change nothing
        copy.Assign(this);
        source.Inner()->Depth = 0; // the copy's nested object is its own
        TXMLOptionsSerializer s;
        setUp(s, &copy);
        const QByteArray copied = s.SaveToData();
        source.Inner()->Depth = -3;
        s.Root = &source;
        QCOMPARE(copied, s.SaveToData());
        QCOMPARE(copy.Real, 0.1 + 0.2);
    }

    // The file is replaced whole: mode bits kept, links followed, a file with the backup name
    // left alone, no temporary file left; a new file gets 0666 less the umask.
    void saveReplacesTheFile() {
        QTemporaryDir dir;
        const QString path = dir.filePath("map.zorvan"), bak = dir.filePath("map.bak");
        QVERIFY(writeFile(path, "old") && writeFile(bak, "the user's own backup"));
        QVERIFY(::chmod(QFile::encodeName(path).constData(), 0640) == 0 &&
                QFile::link(path, dir.filePath("link.zorvan")));
        TKinds object;
        TXMLOptionsSerializer s;
        setUp(s, &object);
        s.XMLFilePath = dir.filePath("link.zorvan");
        QVERIFY2(s.Save(), qPrintable(s.LastSaveError()));
        const mode_t mask = ::umask(027);
        s.XMLFilePath = dir.filePath("new");
        const bool saved = s.Save();
        ::umask(mask);
        QVERIFY(saved && QFileInfo(dir.filePath("link.zorvan")).isSymLink());
        QCOMPARE(readFile(path), s.SaveToData());
        QCOMPARE(readFile(bak), QByteArray("the user's own backup"));
        for (const QString& name : {path, s.XMLFilePath}) {
            struct stat st {};
            QVERIFY(::stat(QFile::encodeName(name).constData(), &st) == 0 &&
                    (st.st_mode & 07777) == 0640);
        }
        QCOMPARE(entries(dir.path()), (QStringList{"link.zorvan", "map.bak", "map.zorvan", "new"}));
    }

    // However the save fails, the old file stays byte for byte and nothing else is left.
    void failedSaveKeepsOldFile_data() {
        QTest::addColumn<QString>("how");
        for (const char* how : {"read-only folder", "disk full", "no folder", "target is a folder"})
            QTest::newRow(how) << how;
    }
    void failedSaveKeepsOldFile() {
        QFETCH(QString, how);
        QTemporaryDir dir;
        const QString folder = dir.filePath("docs"), path = folder + "/map.zorvan";
        const QByteArray old = "<?xml version=\"1.0\"?>\r\n<root>old</root>\r\n";
        QVERIFY(QDir().mkdir(folder) && writeFile(path, old));
        TChannelImage image;
        for (int i = 0; i < 2000; ++i)
            image.Map()->Add();
        TXMLOptionsSerializer s;
        setUp(s, &image);
        s.XMLFilePath = how == "no folder"            ? dir.filePath("absent/map.zorvan")
                        : how == "target is a folder" ? folder
                                                      : path;
        rlimit previous{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &previous) == 0);
        rlimit small = previous;
        small.rlim_cur = how == "disk full" ? 4096 : previous.rlim_cur; // write() fails part-way
        const auto handler = std::signal(SIGXFSZ, SIG_IGN);
        QVERIFY(::setrlimit(RLIMIT_FSIZE, &small) == 0);
        if (how == "read-only folder")
            QCOMPARE(::chmod(QFile::encodeName(folder).constData(), 0555), 0);
        const bool failed = how == "read-only folder" && ::geteuid() == 0
                                ? failsUnprivileged(s, folder, path)
                                : !s.Save() && !s.LastSaveError().isEmpty();
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, handler);
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        QVERIFY(failed);
        QCOMPARE(readFile(path), old);
        QCOMPARE(entries(folder) + entries(dir.path()), (QStringList{"map.zorvan", "docs"}));
    }

private:
    // Root writes anywhere: the save runs as an unprivileged user in a child process, who owns
    // the document (so could rewrite it in place) but may not add files to the folder.
    static bool failsUnprivileged(TXMLOptionsSerializer& s, const QString& folder,
                                  const QString& path) {
        if (::chown(QFile::encodeName(folder).constData(), 65534, 65534) != 0 ||
            ::chown(QFile::encodeName(path).constData(), 65534, 65534) != 0)
            return false;
        const pid_t child = ::fork();
        if (child == 0)
            ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 && !s.Save() &&
                            !s.LastSaveError().isEmpty()
                        ? 0
                        : 1);
        int status = 0;
        return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
               WEXITSTATUS(status) == 0;
    }
};

QTEST_GUILESS_MAIN(tst_XMLOptionsSerializer)
#include "tst_XMLOptionsSerializer.moc"
