// Installs this build tree into a scratch prefix, as `cmake --install` and the Debian package do,
// and checks what a desktop needs of it: a desktop entry that validates and names an installed
// program and icon, a MIME type that recognises the document files, and programs that run.

#include <QtTest>

#ifndef ZORVAN_BUILD_DIR
#error "ZORVAN_BUILD_DIR is set by cmake/Packaging.cmake"
#endif

namespace {

// Runs a program to its end: its exit code (-1 when it crashed or hung) and standard output and
// error together.
int run(const QString& program, const QStringList& arguments, QByteArray* output = nullptr,
        const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment()) {
    QProcess process;
    process.setProcessEnvironment(environment);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    const bool ended =
        process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit;
    if (output)
        *output = process.readAll();
    return ended ? process.exitCode() : -1;
}

} // namespace

class tst_Install : public QObject {
    Q_OBJECT
    QTemporaryDir m_scratch;
    QString path(const QString& relative) const { return m_scratch.filePath("prefix/" + relative); }

private slots:
    void initTestCase() {
        QByteArray output;
        QCOMPARE(run(ZORVAN_CMAKE_COMMAND, {"--install", ZORVAN_BUILD_DIR, "--prefix", path("")},
                     &output),
                 0);
        // This process's MIME database: the prefix first, then the system's for the parent type.
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_scratch.filePath("data-home")));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(path("share") + ":/usr/share"));
    }

    void desktopEntry() {
        const QString entry = path("share/applications/zorvan.desktop");
        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        QByteArray output;
        if (!validator.isEmpty()) // errors fail it; warnings and hints only print: accept neither
            QVERIFY2(run(validator, {entry}, &output) == 0 && output.isEmpty(), output.constData());
        QSettings keys(entry, QSettings::IniFormat);
        keys.beginGroup("Desktop Entry");
        QCOMPARE(keys.value("Exec").toString(), QStringLiteral("zorvan")); // no file argument
        QVERIFY(QFileInfo(path("bin/zorvan")).isExecutable());
        QVERIFY(QFile::exists(
            path("share/icons/hicolor/scalable/apps/%1.svg").arg(keys.value("Icon").toString())));
    }

    void mimeType_data() {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("type");
        const QByteArray document = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<config "
                                    "Application=\"Grelt Administrator\" Version=\"1\">\r\n"
                                    "  <Map/>\r\n  <BaseAdr>16384</BaseAdr>\r\n</config>\r\n";
        QTest::newRow("document") << "map.zorvan" << document << "application/x-zorvan";
        QTest::newRow("upper-case suffix") << "MAP.ZORVAN" << document << "application/x-zorvan";
        QTest::newRow("empty document") << "new.zorvan" << QByteArray() << "application/x-zorvan";
        // Only the suffix claims a file: another program's XML with a config root stays XML.
        QTest::newRow("config root, xml suffix") << "data.xml" << document << "application/xml";
    }
    void mimeType() {
        QFETCH(QString, file);
        QFETCH(QByteArray, content);
        QFETCH(QString, type);
        QFile out(m_scratch.filePath(file));
        QVERIFY(out.open(QIODevice::WriteOnly) && out.write(content) == content.size());
        out.close();
        const QMimeType found = QMimeDatabase().mimeTypeForFile(out.fileName());
        QCOMPARE(found.name(), type);
        QVERIFY(found.inherits("application/xml") || type == "application/xml");
    }

    // The command-line program answers; the window program stays up until it is told to go,
    // and without a display says so instead of aborting.
    void programsRun() {
        QByteArray output;
        QCOMPARE(run(path("bin/zorvanctl"), {"--help"}, &output), 0);
        QVERIFY(output.startsWith("Usage: zorvanctl"));
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            environment.remove(name);
        QCOMPARE(run(path("bin/zorvan"), {}, &output, environment), 1);
        QVERIFY2(output.contains("no display"), output.constData());
        QProcess gui;
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        environment.insert("XDG_CONFIG_HOME", m_scratch.filePath("config"));
        gui.setProcessEnvironment(environment);
        gui.start(path("bin/zorvan"), {});
        QVERIFY(gui.waitForStarted());
        QVERIFY2(!gui.waitForFinished(1500), gui.readAllStandardError().constData());
        gui.kill();
        gui.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(tst_Install)
#include "tst_Install.moc"
