// Installs this build tree into a scratch prefix, as `cmake --install` and the Debian package do,
// and checks what a desktop needs of it: the programs, a desktop entry that a menu accepts, the
// icons it names and a MIME type that recognises the document files.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringDecoder>
#include <QTemporaryDir>
#include <QTest>
#include <QXmlStreamReader>

#ifndef ZORVAN_BUILD_DIR
#error "ZORVAN_BUILD_DIR is set by cmake/Packaging.cmake"
#endif

namespace {

const QString kMimeNs = QStringLiteral("http://www.freedesktop.org/standards/shared-mime-info");
const QByteArray kDocumentStart = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<config "
                                  "Application=\"Grelt Administrator\" Version=\"1\">\r\n"
                                  "  <Map/>\r\n  <BaseAdr>16384</BaseAdr>\r\n</config>\r\n";

struct Run {
    bool finished = false;
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run run(const QString& program, const QStringList& args, int timeoutMs = 60000,
        const QProcessEnvironment& env = QProcessEnvironment::systemEnvironment()) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    Run r;
    r.finished = p.waitForFinished(timeoutMs) && p.exitStatus() == QProcess::NormalExit;
    if (!r.finished) {
        p.kill();
        p.waitForFinished();
    }
    r.exitCode = p.exitCode();
    r.out = p.readAllStandardOutput();
    r.err = p.readAllStandardError();
    return r;
}

// The "Desktop Entry" group of a desktop file; a malformed line, a key outside a group or a
// repeated key make it fail with a reason.
struct DesktopEntry {
    QMap<QString, QString> keys;
    QString error;
};

DesktopEntry parseDesktopEntry(const QByteArray& bytes) {
    DesktopEntry entry;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(bytes);
    if (utf8.hasError()) {
        entry.error = "not UTF-8";
        return entry;
    }
    static const QRegularExpression keyLine(
        QStringLiteral("^([A-Za-z0-9-]+(?:\\[[A-Za-z_@.]+\\])?) *= *(.*)$"));
    QString group;
    QString firstGroup;
    QSet<QString> seenGroups;
    for (const QString& line : text.split(u'\n')) {
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            if (!line.endsWith(u']') || seenGroups.contains(line)) {
                entry.error = "bad or repeated group " + line;
                return entry;
            }
            group = line.mid(1, line.size() - 2);
            if (firstGroup.isEmpty())
                firstGroup = group;
            seenGroups.insert(line);
            continue;
        }
        const QRegularExpressionMatch m = keyLine.match(line);
        if (!m.hasMatch() || group.isEmpty()) {
            entry.error = "bad line: " + line;
            return entry;
        }
        if (group != "Desktop Entry")
            continue;
        if (entry.keys.contains(m.captured(1))) {
            entry.error = "repeated key " + m.captured(1);
            return entry;
        }
        entry.keys.insert(m.captured(1), m.captured(2));
    }
    if (firstGroup != "Desktop Entry")
        entry.error = "the first group is not [Desktop Entry]";
    return entry;
}

} // namespace

class TestInstall : public QObject {
    Q_OBJECT

    QTemporaryDir m_scratch;
    QString m_prefix;
    QString path(const QString& relative) const { return m_prefix + u'/' + relative; }

private slots:
    void initTestCase();
    void installedFiles_data();
    void installedFiles();
    void desktopEntry();
    void desktopEntryValidates();
    void mimePackage();
    void mimePackageCompiles();
    void mimeDatabase_data();
    void mimeDatabase();
    void installedProgramsRun();
};

void TestInstall::initTestCase() {
    QVERIFY(m_scratch.isValid());
    m_prefix = m_scratch.filePath("prefix");
    const Run install =
        run(QStringLiteral(ZORVAN_CMAKE_COMMAND),
            {"--install", QStringLiteral(ZORVAN_BUILD_DIR), "--prefix", m_prefix}, 120000);
    QVERIFY2(install.finished && install.exitCode == 0, install.err.constData());

    // The MIME database of this process: the scratch prefix first, then the system's own for
    // the types ours derives from. Set before the first look-up, which reads them once.
    QVERIFY(QDir().mkpath(m_scratch.filePath("data-home")));
    qputenv("XDG_DATA_HOME", QFile::encodeName(m_scratch.filePath("data-home")));
    qputenv("XDG_DATA_DIRS", QFile::encodeName(path("share") + ":/usr/local/share:/usr/share"));
}

void TestInstall::installedFiles_data() {
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("executable");
    QTest::newRow("zorvan") << "bin/zorvan" << true;
    QTest::newRow("zorvanctl") << "bin/zorvanctl" << true;
#ifdef ZORVAN_DEVSIM_PATH
    QTest::newRow("zorvan-devsim") << "bin/zorvan-devsim" << true;
#endif
    QTest::newRow("desktop entry") << "share/applications/zorvan.desktop" << false;
    QTest::newRow("application icon") << "share/icons/hicolor/scalable/apps/zorvan.svg" << false;
    QTest::newRow("document icon")
        << "share/icons/hicolor/scalable/mimetypes/application-x-zorvan.svg" << false;
    QTest::newRow("mime package") << "share/mime/packages/zorvan.xml" << false;
}

void TestInstall::installedFiles() {
    QFETCH(QString, file);
    QFETCH(bool, executable);
    const QFileInfo info(path(file));
    QVERIFY2(info.isFile(), qPrintable(info.filePath()));
    QVERIFY(info.size() > 0);
    QCOMPARE(info.isExecutable(), executable);
    if (file.endsWith(".svg")) {
        QFile svg(info.filePath());
        QVERIFY(svg.open(QIODevice::ReadOnly));
        QXmlStreamReader xml(&svg);
        QVERIFY(xml.readNextStartElement());
        QCOMPARE(xml.name(), QStringLiteral("svg"));
        QCOMPARE(xml.namespaceUri(), QStringLiteral("http://www.w3.org/2000/svg"));
        while (!xml.atEnd())
            xml.readNext();
        QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    }
}

void TestInstall::desktopEntry() {
    QFile file(path("share/applications/zorvan.desktop"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    const DesktopEntry entry = parseDesktopEntry(file.readAll());
    QVERIFY2(entry.error.isEmpty(), qPrintable(entry.error));
    const auto& k = entry.keys;

    QCOMPARE(k.value("Type"), QStringLiteral("Application"));
    QCOMPARE(k.value("Name"), QStringLiteral("Zorvan"));
    QCOMPARE(k.value("Terminal"), QStringLiteral("false"));
    QVERIFY(!k.value("Comment").isEmpty());

    // The menu starts the installed program by name from PATH.
    const QStringList exec = k.value("Exec").split(u' ', Qt::SkipEmptyParts);
    QVERIFY(!exec.isEmpty());
    QCOMPARE(exec.first(), QStringLiteral("zorvan"));
    QVERIFY(QFileInfo(path("bin/" + exec.first())).isExecutable());
    QCOMPARE(k.value("TryExec"), exec.first());

    // The program takes no file argument (it reopens its last document), so the entry must not
    // promise to open files: no file field code, and no MIME type to be offered for.
    static const QRegularExpression fileCode(QStringLiteral("%[fFuU]"));
    QVERIFY2(!k.value("Exec").contains(fileCode), qPrintable(k.value("Exec")));
    QVERIFY(!k.contains("MimeType"));

    const QString icon = k.value("Icon");
    QVERIFY(!icon.isEmpty() && !icon.contains(u'/'));
    QVERIFY(QFileInfo::exists(path("share/icons/hicolor/scalable/apps/" + icon + ".svg")));

    const QString categories = k.value("Categories");
    QVERIFY2(categories.endsWith(u';'), qPrintable(categories));
    const QStringList list = categories.split(u';', Qt::SkipEmptyParts);
    QVERIFY(list.contains("Development"));
    QVERIFY(list.contains("Electronics"));
}

void TestInstall::desktopEntryValidates() {
    const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is not installed (Debian package desktop-file-utils)");
    const Run check = run(validator, {path("share/applications/zorvan.desktop")});
    QVERIFY(check.finished);
    // Errors fail it; warnings and hints are printed with success: accept neither.
    QVERIFY2(check.exitCode == 0 && check.out.trimmed().isEmpty(), check.out.constData());
}

void TestInstall::mimePackage() {
    QFile file(path("share/mime/packages/zorvan.xml"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QXmlStreamReader xml(&file);
    QVERIFY(xml.readNextStartElement());
    QCOMPARE(xml.name(), QStringLiteral("mime-info"));
    QCOMPARE(xml.namespaceUri(), kMimeNs);

    int types = 0;
    QStringList globs, parents, roots, comments;
    QString type;
    while (xml.readNextStartElement()) {
        QCOMPARE(xml.name(), QStringLiteral("mime-type"));
        type = xml.attributes().value("type").toString();
        ++types;
        while (xml.readNextStartElement()) {
            QCOMPARE(xml.namespaceUri(), kMimeNs);
            const auto a = xml.attributes();
            if (xml.name() == u"glob")
                globs << a.value("pattern").toString();
            else if (xml.name() == u"sub-class-of")
                parents << a.value("type").toString();
            else if (xml.name() == u"root-XML")
                roots << a.value("namespaceURI").toString() + u'|' +
                             a.value("localName").toString();
            else if (xml.name() == u"comment" && !a.hasAttribute("xml:lang"))
                comments << xml.readElementText();
            if (xml.tokenType() != QXmlStreamReader::EndElement)
                xml.skipCurrentElement();
        }
    }
    QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
    QCOMPARE(types, 1);
    QCOMPARE(type, QStringLiteral("application/x-zorvan"));
    QCOMPARE(globs, QStringList{"*.zorvan"});
    QCOMPARE(parents, QStringList{"application/xml"});
    QCOMPARE(roots, QStringList{"|config"});
    QCOMPARE(comments.size(), 1);
}

// What Debian's trigger does after the package is installed: the database compiler must accept
// the package and produce the type.
void TestInstall::mimePackageCompiles() {
    const QString compiler = QStandardPaths::findExecutable("update-mime-database");
    if (compiler.isEmpty())
        QSKIP("update-mime-database is not installed (Debian package shared-mime-info)");
    const QString mime = m_scratch.filePath("compiled/mime");
    QVERIFY(QDir().mkpath(mime + "/packages"));
    QVERIFY(QFile::copy(path("share/mime/packages/zorvan.xml"), mime + "/packages/zorvan.xml"));
    // Searched folders, or it adds a note that the folder is not searched.
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_DIRS", m_scratch.filePath("compiled"));
    const Run compile = run(compiler, {mime}, 60000, env);
    QVERIFY(compile.finished);
    QVERIFY2(compile.exitCode == 0 && compile.err.trimmed().isEmpty(), compile.err.constData());
    QVERIFY(QFileInfo::exists(mime + "/application/x-zorvan.xml"));
    QFile globs(mime + "/globs2");
    QVERIFY(globs.open(QIODevice::ReadOnly));
    QVERIFY(globs.readAll().contains(":application/x-zorvan:*.zorvan"));
}

void TestInstall::mimeDatabase_data() {
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");

    QTest::newRow("document") << "map.zorvan" << kDocumentStart << "application/x-zorvan";
    QTest::newRow("upper-case suffix") << "MAP.ZORVAN" << kDocumentStart << "application/x-zorvan";
    QTest::newRow("empty document") << "new.zorvan" << QByteArray() << "application/x-zorvan";
    // Only the suffix claims a file: another program's XML with a config root stays plain XML.
    QTest::newRow("config root, xml suffix") << "data.xml" << kDocumentStart << "application/xml";
    QTest::newRow("other xml") << "other.xml" << QByteArray("<?xml version=\"1.0\"?><a/>")
                               << "application/xml";
}

void TestInstall::mimeDatabase() {
    QFETCH(QString, fileName);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);

    const QString file = m_scratch.filePath("files/" + fileName);
    QVERIFY(QDir().mkpath(QFileInfo(file).path()));
    QFile out(file);
    QVERIFY(out.open(QIODevice::WriteOnly));
    QCOMPARE(out.write(content), content.size());
    out.close();

    const QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(file);
    QCOMPARE(type.name(), expected);
    if (expected == "application/x-zorvan") {
        QVERIFY(type.inherits("application/xml"));
        QCOMPARE(type.preferredSuffix(), QStringLiteral("zorvan"));
        QVERIFY(!type.comment().isEmpty());
    }
}

// The installed copies are whole programs: the command-line one answers, the window one comes
// up and stays up until it is told to go.
void TestInstall::installedProgramsRun() {
    const Run help = run(path("bin/zorvanctl"), {"--help"});
    QVERIFY(help.finished);
    QCOMPARE(help.exitCode, 0);
    QVERIFY(help.out.startsWith("Usage: zorvanctl"));

    QProcess gui;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("XDG_CONFIG_HOME", m_scratch.filePath("config"));
    gui.setProcessEnvironment(env);
    gui.start(path("bin/zorvan"), {});
    QVERIFY(gui.waitForStarted());
    QVERIFY2(!gui.waitForFinished(2000), gui.readAllStandardError().constData());
    gui.terminate();
    if (!gui.waitForFinished(5000)) {
        gui.kill();
        gui.waitForFinished();
    }
}

QTEST_GUILESS_MAIN(TestInstall)
#include "tst_Install.moc"
