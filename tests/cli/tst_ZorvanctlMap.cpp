#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

struct Result {
    int code = -1;
    QString out;
    QString err;
};

Result zorvanctl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(ZORVAN_CTL_PATH), args);
    Result r;
    if (!p.waitForFinished(30000) || p.exitStatus() != QProcess::NormalExit)
        return r;
    r.code = p.exitCode();
    r.out = QString::fromUtf8(p.readAllStandardOutput());
    r.err = QString::fromUtf8(p.readAllStandardError());
    return r;
}

QByteArray readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

void writeFile(const QString& path, const QByteArray& data) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(data);
}

QByteArray crlf(const char* lines) {
    return QByteArray(lines).replace("\n", "\r\n");
}

const char* const header = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                           "<config Application=\"Grelt Administrator\" Version=\"1\">\n";

QByteArray fileWith(const char* body, const char* version = "1") {
    return crlf(
        (QByteArray(header).replace("Version=\"1\"", QByteArray("Version=\"") + version + "\"") +
         body + "</config>\n")
            .constData());
}

} // namespace

class tst_ZorvanctlMap : public QObject {
    Q_OBJECT
private slots:
    void newAndAddWriteTheProgramsLayout();
    void showListsRowsAsTheEditor();
    void addInsertsAtPosition();
    void optionsSetsTheCode_data();
    void optionsSetsTheCode();
    void unreadableFileIsAnError_data();
    void unreadableFileIsAnError();
    void badArgumentsChangeNothing_data();
    void badArgumentsChangeNothing();
    void versionOfTheFileIsKept();
    void failedWriteExitsOne();
};

void tst_ZorvanctlMap::newAndAddWriteTheProgramsLayout() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.zorvan"));
    Result r = zorvanctl({"map", "new", path});
    QCOMPARE(r.code, 0);
    QCOMPARE(readFile(path),
             fileWith("  <Map/>\n  <BaseAdr>16384</BaseAdr>\n  <Options>0</Options>\n"));
    r = zorvanctl({"map", "add", path, "--channel", "3", "--type", "UInt", "--tag-index", "0",
                   "--name", "T1"});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QString());
    QCOMPARE(readFile(path), fileWith("  <Map>\n"
                                      "    <Item>\n"
                                      "      <Channel>3</Channel>\n"
                                      "      <ParamType>1</ParamType>\n"
                                      "      <TagIndex>0</TagIndex>\n"
                                      "      <TagName>T1</TagName>\n"
                                      "      <Note/>\n"
                                      "    </Item>\n"
                                      "  </Map>\n"
                                      "  <BaseAdr>16384</BaseAdr>\n"
                                      "  <Options>0</Options>\n"));
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"map.zorvan"});
    // An existing file is not replaced by accident.
    QCOMPARE(zorvanctl({"map", "new", path}).code, 2);
    QVERIFY(readFile(path).contains("<TagName>T1</TagName>"));
    QCOMPARE(zorvanctl({"map", "new", path, "--force"}).code, 0);
    QVERIFY(readFile(path).contains("<Map/>"));
}

void tst_ZorvanctlMap::showListsRowsAsTheEditor() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.zorvan"));
    writeFile(path, fileWith("  <Map>\n"
                             "    <Item><Channel>0</Channel><ParamType>0</ParamType>"
                             "<TagIndex>4</TagIndex><TagName>Давление</TagName>"
                             "<Note>в цехе</Note></Item>\n"
                             "    <Item><Channel>9</Channel><ParamType>4</ParamType>"
                             "<TagIndex>1</TagIndex><TagName>F</TagName><Note/></Item>\n"
                             "    <Item><Channel>-1</Channel><ParamType>7</ParamType>"
                             "<TagIndex>2</TagIndex><TagName>odd</TagName><Note>a&#9;b</Note>"
                             "</Item>\n"
                             "    <Item><Channel>2147483647</Channel><ParamType>1</ParamType>"
                             "<TagIndex>3</TagIndex><TagName/><Note/></Item>\n"
                             "  </Map>\n"
                             "  <BaseAdr>70000</BaseAdr>\n"
                             "  <Options>6</Options>\n"));
    const Result r = zorvanctl({"map", "show", path});
    QCOMPARE(r.code, 0);
    QCOMPARE(r.err, QString());
    QCOMPARE(r.out.split('\n'),
             (QStringList{"BaseAdr\t4464", "Options\t6\tw:01 - dw:1032", "Channels\t4",
                          "Offset\tType\tChannel\tName\tNote\tTagIndex",
                          "0\tInt\t1\tДавление\tв цехе\t4", "1\tFloat\t10\tF\t\t1",
                          "3\t\t0\todd\ta b\t2", "3\tUInt\t2147483648\t\t\t3", ""}));
}

void tst_ZorvanctlMap::addInsertsAtPosition() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.zorvan"));
    QCOMPARE(zorvanctl({"map", "new", path}).code, 0);
    auto add = [&](const QString& name, const QStringList& extra) {
        return zorvanctl(QStringList{"map", "add", path, "--channel", "1", "--type", "Long",
                                     "--tag-index", "0", "--name", name} +
                         extra)
            .code;
    };
    QCOMPARE(add("b", {}), 0);
    QCOMPARE(add("a", {"--at", "0"}), 0);
    QCOMPARE(add("d", {"--at", "2"}), 0);
    QCOMPARE(add("c", {"--at", "2", "--note", "третий"}), 0);
    const Result r = zorvanctl({"map", "show", path});
    QCOMPARE(r.code, 0);
    const QStringList lines = r.out.split('\n').mid(4, 4);
    QCOMPARE(lines, (QStringList{"0\tLong\t2\ta\t\t0", "2\tLong\t2\tb\t\t0",
                                 "4\tLong\t2\tc\tтретий\t0", "6\tLong\t2\td\t\t0"}));
}

void tst_ZorvanctlMap::optionsSetsTheCode_data() {
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("element");
    QTest::addColumn<QString>("shown");
    QTest::newRow("first") << "0" << QByteArray("<Options>0</Options>")
                           << "Options\t0\tw:10 - dw:3210";
    QTest::newRow("last") << "7" << QByteArray("<Options>7</Options>")
                          << "Options\t7\tw:01 - dw:2301";
    QTest::newRow("all ones") << "4294967295" << QByteArray("<Options>-1</Options>")
                              << "Options\t4294967295\t";
}

void tst_ZorvanctlMap::optionsSetsTheCode() {
    QFETCH(QString, value);
    QFETCH(QByteArray, element);
    QFETCH(QString, shown);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.zorvan"));
    QCOMPARE(zorvanctl({"map", "new", path}).code, 0);
    QCOMPARE(zorvanctl({"map", "options", path, value}).code, 0);
    QVERIFY(readFile(path).contains("\r\n  " + element + "\r\n"));
    QCOMPARE(zorvanctl({"map", "show", path}).out.split('\n').at(1), shown);
}

void tst_ZorvanctlMap::unreadableFileIsAnError_data() {
    QTest::addColumn<QByteArray>("content"); // "<none>": no file
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QByteArray("<none>") << "not found";
    QTest::newRow("not XML") << QByteArray("hello") << "not well-formed XML at line 1";
    QTest::newRow("foreign root") << QByteArray("<html/>") << "html";
    QTest::newRow("foreign application")
        << QByteArray("<config Application=\"Other\" Version=\"1\"/>") << "Other";
    QTest::newRow("bad value") << fileWith("<Map><Item><Channel>one</Channel></Item></Map>")
                               << "\"one\" in config/Map/Item[1]/Channel";
}

void tst_ZorvanctlMap::unreadableFileIsAnError() {
    QFETCH(QByteArray, content);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.zorvan"));
    if (content != "<none>")
        writeFile(path, content);
    Result r = zorvanctl({"map", "show", path});
    QCOMPARE(r.code, 2);
    QCOMPARE(r.out, QString());
    QCOMPARE(r.err.count('\n'), 1);
    QVERIFY2(r.err.contains(path) && r.err.contains(reason), qPrintable(r.err));
    // Editing commands refuse too: a broken file is never replaced by an empty map.
    r = zorvanctl(
        {"map", "add", path, "--channel", "1", "--type", "Int", "--tag-index", "0", "--name", "x"});
    QCOMPARE(r.code, 2);
    QCOMPARE(zorvanctl({"map", "options", path, "1"}).code, 2);
    QCOMPARE(readFile(path), content == "<none>" ? QByteArray("<missing>") : content);
}

void tst_ZorvanctlMap::badArgumentsChangeNothing_data() {
    QTest::addColumn<QStringList>("args"); // FILE is inserted after the subcommand
    QTest::newRow("add without name")
        << QStringList{"add", "--channel", "1", "--type", "Int", "--tag-index", "0"};
    QTest::newRow("add with bad type") << QStringList{
        "add", "--channel", "1", "--type", "Double", "--tag-index", "0", "--name", "x"};
    QTest::newRow("add with channel out of range") << QStringList{
        "add", "--channel", "2147483648", "--type", "Int", "--tag-index", "0", "--name", "x"};
    QTest::newRow("add at a position past the end") << QStringList{
        "add", "--channel", "1", "--type", "Int", "--tag-index", "0", "--name", "x", "--at", "2"};
    QTest::newRow("add with unknown option")
        << QStringList{"add", "--channel", "1", "--type",   "Int", "--tag-index",
                       "0",   "--name",    "x", "--colour", "red"};
    QTest::newRow("options negative") << QStringList{"options", "-1"};
    QTest::newRow("options too large") << QStringList{"options", "4294967296"};
    QTest::newRow("options word") << QStringList{"options", "w:10"};
    QTest::newRow("unknown subcommand") << QStringList{"drop"};
}

void tst_ZorvanctlMap::badArgumentsChangeNothing() {
    QFETCH(QStringList, args);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.zorvan"));
    QCOMPARE(zorvanctl({"map", "new", path}).code, 0);
    QCOMPARE(zorvanctl({"map", "add", path, "--channel", "1", "--type", "Int", "--tag-index", "0",
                        "--name", "only"})
                 .code,
             0);
    const QByteArray before = readFile(path);
    args.insert(1, path);
    const Result r = zorvanctl(QStringList{"map"} + args);
    QCOMPARE(r.code, 2);
    QVERIFY(!r.err.isEmpty());
    QCOMPARE(r.out, QString());
    QCOMPARE(readFile(path), before);
}

void tst_ZorvanctlMap::versionOfTheFileIsKept() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("map.zorvan"));
    writeFile(path, fileWith("<Map/>", "7"));
    QCOMPARE(zorvanctl({"map", "options", path, "2"}).code, 0);
    QVERIFY(readFile(path).startsWith(
        crlf("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             "<config Application=\"Grelt Administrator\" Version=\"7\">\n")));
}

void tst_ZorvanctlMap::failedWriteExitsOne() {
    QTemporaryDir dir;
    // A folder stands where the file should go: no save can replace it.
    const Result r = zorvanctl({"map", "new", dir.path(), "--force"});
    QCOMPARE(r.code, 1);
    QVERIFY2(r.err.contains("cannot save"), qPrintable(r.err));
    QVERIFY(QFileInfo(dir.path()).isDir());
}

QTEST_GUILESS_MAIN(tst_ZorvanctlMap)
#include "tst_ZorvanctlMap.moc"
