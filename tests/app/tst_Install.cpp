// Installs this build tree into a scratch prefix, as `cmake --install` and the Debian package do,
// and checks what a desktop needs of it: a desktop entry that validates, a MIME type that
// recognises the document files, and programs that run.

#include <QtTest>

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
        QCOMPARE(run(ZORVAN_CMAKE_COMMAND, {"--install", ZORVAN_BUILD_DIR, "--prefix", path("")}),
                 0);
        // This process's MIME database: the prefix first, then the system's for the parent type.
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_scratch.filePath("data-home")));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(path("share") + ":/usr/share"));
    }

    // Errors fail the validator; warnings and hints only print: accept neither.
    void desktopEntryValidates() {
        const QString validator = QStandardPaths::findExecutable("desktop-file-validate");
        if (validator.isEmpty())
            QSKIP("desktop-file-validate is not installed (Debian package desktop-file-utils)");
        QByteArray output;
        QCOMPARE(run(validator, {path("share/applications/zorvan.desktop")}, &output), 0);
        QCOMPARE(output, QByteArray());
    }

    // Only the suffix claims a file: another program's XML with a config root stays XML.
    void mimeType() {
        const QByteArray document = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<config "
                                    "Application=\"Grelt Administrator\" Version=\"1\">\r\n"
                                    "  <Map/>\r\n  <BaseAdr>16384</BaseAdr>\r\n</config>\r\n";
        for (const auto& [name, content, type] :
             {std::tuple{"map.zorvan", document, "application/x-zorvan"},
              {"MAP.ZORVAN", document, "application/x-zorvan"},
              {"new.zorvan", QByteArray(), "application/x-zorvan"},
              {"data.xml", document, "application/xml"}}) {
            QFile file(m_scratch.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
            file.close();
            const QMimeType found = QMimeDatabase().mimeTypeForFile(file.fileName());
            QCOMPARE(found.name(), QString(type));
            QVERIFY(found.inherits("application/xml") || found.name() == "application/xml");
        }
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
        QVERIFY2(gui.waitForStarted() && !gui.waitForFinished(1500), gui.readAllStandardError());
        gui.kill();
        gui.waitForFinished();
    }
};

QTEST_GUILESS_MAIN(tst_Install)
#include "tst_Install.moc"
