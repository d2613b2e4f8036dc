// Saving where a map file must not or cannot be replaced: a read-only file is refused unless
// the command line forces it, a save that fails says why and keeps the changes, and
// the file's name shows in the caption as it is.

#include "Cases.h"
#include "ScriptedPrompter.h"
#include "ZorvanctlRun.h"
#include "components/ModelDocumentView.h"
#include "document/Document.h"

#include <QFile>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>
#include <QtTest>

using namespace zorvan;
using zorvan::test::addCases;

namespace {

struct Forced {
    QFileDevice::Permissions mode;
    QStringList args; // "F" stands for the map file
    int exitCode;
    bool replaced;
};

struct Told {
    QString op;          // "save", "save as" or "close"
    quint8 primary, sub; // the interface language
    const char* message; // %1 the file
};

constexpr auto kReadOnly = QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther;

const QByteArray kMap = "<config Application=\"Grelt Administrator\" Version=\"1\"><Map><Item>"
                        "<TagName>T</TagName></Item></Map></config>";

bool writeMap(const QString& path, QFileDevice::Permissions mode) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(kMap) > 0 && file.setPermissions(mode);
}

} // namespace

Q_DECLARE_METATYPE(Forced)
Q_DECLARE_METATYPE(Told)

class tst_MapSaveRefusals : public QObject {
    Q_OBJECT
private slots:
    void commandLine_data() {
        const QStringList add{"map", "add",         "F", "--channel", "1", "--type",
                              "Int", "--tag-index", "0", "--name",    "x"};
        // Run as root, the tests own their files: the owner's bits decide, not the group's.
        const auto groupOnly = kReadOnly | QFileDevice::WriteGroup | QFileDevice::WriteOther;
        // clang-format off
        addCases<Forced>({
            {"add", {kReadOnly, add, 1, false}},
            {"add, writable by the group only", {groupOnly, add, 1, false}},
            {"add --force", {kReadOnly, add + QStringList{"--force"}, 0, true}},
            {"options", {kReadOnly, {"map", "options", "F", "2"}, 1, false}},
            {"options --force", {kReadOnly, {"map", "options", "F", "--force", "2"}, 0, true}},
            {"new --force", {kReadOnly, {"map", "new", "--force", "F"}, 0, true}},
        });
        // clang-format on
    }

    void commandLine() {
        QFETCH(Forced, c);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("map.zorvan"));
        QVERIFY(writeMap(path, c.mode));
        const auto run = test::runZorvanctl(QStringList(c.args).replaceInStrings("F", path));
        QCOMPARE(run.exitCode, c.exitCode);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll() != kMap, c.replaced);
        QCOMPARE(run.err.contains("read-only; use --force"), !c.replaced);
        // A forced save keeps the bits (0x7077: owner, group and others, not the current user).
        QCOMPARE(QFile::permissions(path).toInt() & 0x7077, c.mode.toInt());
    }

    void failedSaveIsTold_data() {
        // clang-format off
        addCases<Told>({
            {"save", {"save", 9, 1, "Could not save %1: the file is read-only"}},
            {"save as, replacing", {"save as", 25, 0, "Не удалось сохранить %1: the file is read-only"}},
            {"close, saving first", {"close", 34, 0, "Не вдалося зберегти %1: the file is read-only"}},
        });
        // clang-format on
    }

    void failedSaveIsTold() {
        QFETCH(Told, c);
        test::ScriptedPrompter prompter;
        QTemporaryDir dir;
        // Qt would take [*] in the caption for the modified mark.
        const QString path = dir.filePath(QStringLiteral("a[*]b[*].zorvan"));
        QVERIFY(writeMap(path, kReadOnly));
        TDm dm;
        TMDVAgent agent;
        agent.SetDocument(&dm.Link);
        agent.FileExtention = QStringLiteral("zorvan");
        QWidget window;
        window.setWindowTitle(QStringLiteral("Zorvan"));
        agent.AttachMainForm(&window);
        QVERIFY(dm.Link.Localization().Select(c.primary, c.sub));
        QVERIFY(agent.OpenDocument(path));
        MarkModified();
        prompter.answers = {PromptAnswer::Yes}; // replace the file, or save the changes
        prompter.fileNames.push_back(path);
        const bool done = c.op == "save"      ? agent.Save() == PromptAnswer::Yes
                          : c.op == "save as" ? agent.SaveAs() == PromptAnswer::Yes
                                              : agent.CloseDocument();
        QVERIFY(!done);
        QCOMPARE(prompter.messages(), QStringList{QString::fromUtf8(c.message).arg(path)});
        QVERIFY(dm.Link.Modified());
        window.setWindowModified(true);
        window.winId();
        QCOMPARE(window.windowHandle()->title(), "Zorvan: " + path);
    }
};

QTEST_MAIN(tst_MapSaveRefusals)
#include "tst_MapSaveRefusals.moc"
