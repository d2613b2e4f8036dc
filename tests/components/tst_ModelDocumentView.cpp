#include "FakeDocument.h"
#include "ScriptedPrompter.h"
#include "components/ModelDocumentView.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace zorvan;
using zorvan::test::FakeDocument;
using zorvan::test::FakeViews;
using zorvan::test::ScriptedPrompter;

namespace {

// One agent with its document, views, window and prompter in a private folder holding
// a.zorvan ("A") and b.zorvan ("B").
struct Bench {
    QTemporaryDir dir;
    FakeDocument doc;
    FakeViews views;
    QObject window;
    TMDVAgent agent;
    ScriptedPrompter prompter;

    Bench() {
        FakeDocument::WriteFile(path("a.zorvan"), "A");
        FakeDocument::WriteFile(path("b.zorvan"), "B");
        QDir(dir.path()).mkdir("sub.d");
        window.setProperty("windowTitle", QStringLiteral("Zorvan"));
        agent.SetDocument(&doc.Link);
        agent.FileExtention = "zorvan";
        agent.ViewsContainer = &views;
        agent.AttachMainForm(&window);
    }

    QString path(const QString& name) const { return name.isEmpty() ? name : dir.filePath(name); }
    QString caption() const { return window.property("windowTitle").toString(); }

    // Puts the document into one of the states the user can see.
    void enter(const QString& state) {
        if (state == "none") {
            agent.UpdateCaption();
        } else if (state == "untitled" || state == "untitledChanged") {
            agent.NewDocument();
            if (state == "untitledChanged")
                doc.Edit("X");
        } else if (state == "saved" || state == "savedChanged") {
            QVERIFY(agent.OpenDocument(path("a.zorvan")));
            if (state == "savedChanged")
                doc.Edit("A2");
        } else {
            QFAIL(qPrintable("unknown state " + state));
        }
        prompter.records.clear();
        views.Calls.clear();
    }

    void script(const QString& answers, const QStringList& files) {
        for (QChar c : answers)
            prompter.answers.push_back(c == 'Y'   ? PromptAnswer::Yes
                                       : c == 'N' ? PromptAnswer::No
                                                  : PromptAnswer::Cancel);
        for (const QString& f : files)
            prompter.fileNames.push_back(f.isEmpty() ? std::nullopt
                                                     : std::optional<QString>(path(f)));
    }

    QString run(const QString& op, const QString& argument) {
        auto answer = [](PromptAnswer a) {
            return a == PromptAnswer::Yes  ? QString("Yes")
                   : a == PromptAnswer::No ? QString("No")
                                           : QString("Cancel");
        };
        if (op == "New") {
            agent.NewDocument();
            return QString();
        }
        if (op == "Open")
            return agent.OpenWithDialog() ? "true" : "false";
        if (op == "OpenDocument")
            return agent.OpenDocument(path(argument)) ? "true" : "false";
        if (op == "Save")
            return answer(agent.Save());
        if (op == "SaveAs")
            return answer(agent.SaveAs());
        if (op == "Close")
            return agent.CloseDocument() ? "true" : "false";
        return "unknown op";
    }

    // The prompts shown, as short keys.
    QString prompts() const {
        const TMDVLanguage& en = doc.Link.Localization().Current();
        QStringList keys;
        for (const auto& r : prompter.records) {
            if (r.kind == "ask")
                keys << (r.text == en.SaveChangesQuestion  ? "ask-save"
                         : r.text == en.FileExistsQuestion ? "ask-exists"
                                                           : "ask-other");
            else
                keys << r.kind;
        }
        return keys.join(',');
    }
};

} // namespace

class TestModelDocumentView : public QObject {
    Q_OBJECT

private slots:
    void agentOperations_data();
    void agentOperations();
    void promptsFollowTheLanguage_data();
    void promptsFollowTheLanguage();
    void linkStateEvents();
    void linkAssertions_data();
    void linkAssertions();
    void serializerList_data();
    void serializerList();
    void linkDestructionDeletesActiveContent_data();
    void linkDestructionDeletesActiveContent();
    void captionNeedsWindowAndDocument();
    void agentWithoutDocument();
    void languageUpdateOrder();
};

// Every operation from the document states with the prompt answers, against the state table.
// answers: Y/N/C for the questions in turn; files: dialog results ("" cancels the dialog).
// disk: name=content pairs checked afterwards (<missing> for no file).
void TestModelDocumentView::agentOperations_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("op");
    QTest::addColumn<QString>("argument");
    QTest::addColumn<QString>("answers");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("prompts");
    QTest::addColumn<bool>("active");
    QTest::addColumn<bool>("modified");
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("viewCalls");
    QTest::addColumn<QString>("disk");

    const QStringList none;
    // clang-format off
    // New
    QTest::newRow("new from none") << "none" << "" << "New" << "" << "" << none
        << "" << "" << true << false << "" << "" << "update,activate" << "";
    QTest::newRow("new from untitled") << "untitled" << "" << "New" << "" << "" << none
        << "" << "" << true << false << "" << "" << "update,activate" << "";
    QTest::newRow("new from saved") << "saved" << "" << "New" << "" << "" << none
        << "" << "" << true << false << "" << "" << "update,activate" << "a.zorvan=A";
    QTest::newRow("new changed cancel") << "savedChanged" << "" << "New" << "" << "C" << none
        << "" << "ask-save" << true << true << "a.zorvan" << "A2" << "" << "a.zorvan=A";
    QTest::newRow("new changed no keeps modified") << "savedChanged" << "" << "New" << "" << "N"
        << none << "" << "ask-save" << true << true << "" << "" << "update,activate"
        << "a.zorvan=A";
    QTest::newRow("new changed yes saves first") << "savedChanged" << "" << "New" << "" << "Y"
        << none << "" << "ask-save" << true << false << "" << "" << "update,activate"
        << "a.zorvan=A2";
    QTest::newRow("new untitled yes, dialog cancelled") << "untitledChanged" << "" << "New" << ""
        << "Y" << QStringList{""} << "" << "ask-save,save" << true << true << "" << "X" << ""
        << "";
    QTest::newRow("new untitled yes, saved as n1") << "untitledChanged" << "" << "New" << ""
        << "Y" << QStringList{"n1"} << "" << "ask-save,save" << true << false << "" << ""
        << "update,activate" << "n1.zorvan=X";
    QTest::newRow("new changed yes, write fails") << "savedChanged" << "write" << "New" << ""
        << "Y" << none << "" << "ask-save" << true << true << "a.zorvan" << "A2" << ""
        << "a.zorvan=A";

    // Open with the dialog
    QTest::newRow("open from saved") << "saved" << "" << "Open" << "" << "" << QStringList{"b.zorvan"}
        << "true" << "open" << true << false << "b.zorvan" << "B" << "update,activate" << "";
    QTest::newRow("open from none") << "none" << "" << "Open" << "" << "" << QStringList{"b.zorvan"}
        << "true" << "open" << true << false << "b.zorvan" << "B" << "update,activate" << "";
    QTest::newRow("open dialog cancelled") << "saved" << "" << "Open" << "" << "" << QStringList{""}
        << "false" << "open" << true << false << "a.zorvan" << "A" << "" << "";
    QTest::newRow("open changed cancel") << "savedChanged" << "" << "Open" << "" << "C"
        << QStringList{"b.zorvan"} << "false" << "ask-save" << true << true << "a.zorvan" << "A2"
        << "" << "a.zorvan=A";
    QTest::newRow("open changed no") << "savedChanged" << "" << "Open" << "" << "N"
        << QStringList{"b.zorvan"} << "true" << "ask-save,open" << true << false << "b.zorvan"
        << "B" << "update,activate" << "a.zorvan=A";
    QTest::newRow("open changed no, dialog cancelled") << "untitledChanged" << "" << "Open" << ""
        << "N" << QStringList{""} << "false" << "ask-save,open" << true << true << "" << "X" << ""
        << "";
    QTest::newRow("open changed yes saves first") << "savedChanged" << "" << "Open" << "" << "Y"
        << QStringList{"b.zorvan"} << "true" << "ask-save,open" << true << false << "b.zorvan"
        << "B" << "update,activate" << "a.zorvan=A2";
    // The changes the user asked to keep were not written: the open must not discard them.
    QTest::newRow("open changed yes, save dialog cancelled") << "untitledChanged" << "" << "Open"
        << "" << "Y" << QStringList{"", "b.zorvan"} << "false" << "ask-save,save" << true << true
        << "" << "X" << "" << "";
    QTest::newRow("open changed yes, write fails") << "savedChanged" << "write" << "Open" << ""
        << "Y" << QStringList{"b.zorvan"} << "false" << "ask-save" << true << true << "a.zorvan"
        << "A2" << "" << "a.zorvan=A";
    QTest::newRow("open missing file gives empty document") << "saved" << "" << "Open" << "" << ""
        << QStringList{"gone.zorvan"} << "true" << "open" << true << false << "gone.zorvan" << ""
        << "update,activate" << "gone.zorvan=<missing>";
    QTest::newRow("open read fails keeps old name") << "saved" << "read" << "Open" << "" << ""
        << QStringList{"b.zorvan"} << "true" << "open" << true << false << "a.zorvan" << ""
        << "update,activate" << "";

    // Open by name (start-up)
    QTest::newRow("open name from none") << "none" << "" << "OpenDocument" << "b.zorvan" << ""
        << none << "true" << "" << true << false << "b.zorvan" << "B" << "update,activate" << "";
    QTest::newRow("open empty name closes") << "saved" << "" << "OpenDocument" << "" << "" << none
        << "true" << "" << false << false << "" << "" << "deactivate" << "";
    QTest::newRow("open name changed no") << "untitledChanged" << "" << "OpenDocument"
        << "b.zorvan" << "N" << none << "true" << "ask-save" << true << false << "b.zorvan"
        << "B" << "update,activate" << "";
    QTest::newRow("open name changed cancel") << "untitledChanged" << "" << "OpenDocument"
        << "b.zorvan" << "C" << none << "false" << "ask-save" << true << true << "" << "X" << ""
        << "";
    QTest::newRow("open name changed yes, save cancelled") << "untitledChanged" << ""
        << "OpenDocument" << "b.zorvan" << "Y" << QStringList{""} << "false" << "ask-save,save"
        << true << true << "" << "X" << "" << "";
    QTest::newRow("open name read fails") << "saved" << "read" << "OpenDocument" << "b.zorvan"
        << "" << none << "false" << "" << true << false << "a.zorvan" << "" << "" << "";

    // Save
    QTest::newRow("save changed") << "savedChanged" << "" << "Save" << "" << "" << none << "Yes"
        << "" << true << false << "a.zorvan" << "A2" << "" << "a.zorvan=A2";
    QTest::newRow("save unchanged writes nothing") << "saved" << "" << "Save" << "" << "" << none
        << "No" << "" << true << false << "a.zorvan" << "A" << "" << "a.zorvan=A";
    QTest::newRow("save untitled dialog cancelled") << "untitledChanged" << "" << "Save" << ""
        << "" << QStringList{""} << "No" << "save" << true << true << "" << "X" << "" << "";
    QTest::newRow("save untitled named") << "untitledChanged" << "" << "Save" << "" << ""
        << QStringList{"n1"} << "Yes" << "save" << true << false << "n1.zorvan" << "X" << ""
        << "n1.zorvan=X";
    QTest::newRow("save write fails") << "savedChanged" << "write" << "Save" << "" << "" << none
        << "No" << "" << true << true << "a.zorvan" << "A2" << "" << "a.zorvan=A";

    // Save As and the extension rule
    QTest::newRow("save as map") << "saved" << "" << "SaveAs" << "" << "" << QStringList{"map"}
        << "Yes" << "save" << true << false << "map.zorvan" << "A" << "" << "map.zorvan=A";
    QTest::newRow("save as map.ZORVAN") << "saved" << "" << "SaveAs" << "" << ""
        << QStringList{"map.ZORVAN"} << "Yes" << "save" << true << false << "map.ZORVAN.zorvan"
        << "A" << "" << "map.ZORVAN.zorvan=A;map.ZORVAN=<missing>";
    QTest::newRow("save as map.zorvan") << "saved" << "" << "SaveAs" << "" << ""
        << QStringList{"map.zorvan"} << "Yes" << "save" << true << false << "map.zorvan" << "A"
        << "" << "map.zorvan=A;map.zorvan.zorvan=<missing>";
    QTest::newRow("save as dotted folder") << "saved" << "" << "SaveAs" << "" << ""
        << QStringList{"sub.d/map"} << "Yes" << "save" << true << false << "sub.d/map.zorvan"
        << "A" << "" << "sub.d/map.zorvan=A";
    QTest::newRow("save as existing no") << "savedChanged" << "" << "SaveAs" << "" << "N"
        << QStringList{"b.zorvan"} << "No" << "save,ask-exists" << true << true << "a.zorvan"
        << "A2" << "" << "b.zorvan=B;a.zorvan=A";
    QTest::newRow("save as existing cancel") << "savedChanged" << "" << "SaveAs" << "" << "C"
        << QStringList{"b"} << "Cancel" << "save,ask-exists" << true << true << "a.zorvan" << "A2"
        << "" << "b.zorvan=B;a.zorvan=A";
    QTest::newRow("save as existing yes") << "savedChanged" << "" << "SaveAs" << "" << "Y"
        << QStringList{"b"} << "Yes" << "save,ask-exists" << true << false << "b.zorvan" << "A2"
        << "" << "b.zorvan=A2;a.zorvan=A";
    QTest::newRow("save as dialog cancelled") << "saved" << "" << "SaveAs" << "" << ""
        << QStringList{""} << "No" << "save" << true << false << "a.zorvan" << "A" << "" << "";
    QTest::newRow("save as write fails keeps name") << "untitledChanged" << "write" << "SaveAs"
        << "" << "" << QStringList{"n1"} << "No" << "save" << true << true << "" << "X" << ""
        << "n1.zorvan=<missing>";
    QTest::newRow("save as with nothing open") << "none" << "" << "SaveAs" << "" << ""
        << QStringList{"n1"} << "No" << "" << false << false << "" << "" << ""
        << "n1.zorvan=<missing>";

    // Close
    QTest::newRow("close saved") << "saved" << "" << "Close" << "" << "" << none << "true" << ""
        << false << false << "" << "" << "deactivate" << "a.zorvan=A";
    QTest::newRow("close none") << "none" << "" << "Close" << "" << "" << none << "true" << ""
        << false << false << "" << "" << "deactivate" << "";
    QTest::newRow("close changed cancel") << "savedChanged" << "" << "Close" << "" << "C" << none
        << "false" << "ask-save" << true << true << "a.zorvan" << "A2" << "" << "a.zorvan=A";
    QTest::newRow("close changed no") << "savedChanged" << "" << "Close" << "" << "N" << none
        << "true" << "ask-save" << false << false << "" << "" << "deactivate" << "a.zorvan=A";
    QTest::newRow("close changed yes") << "savedChanged" << "" << "Close" << "" << "Y" << none
        << "true" << "ask-save" << false << false << "" << "" << "deactivate" << "a.zorvan=A2";
    QTest::newRow("close untitled yes, dialog cancelled") << "untitledChanged" << "" << "Close"
        << "" << "Y" << QStringList{""} << "false" << "ask-save,save" << true << true << "" << "X"
        << "" << "";
    QTest::newRow("close changed yes, write fails") << "savedChanged" << "write" << "Close" << ""
        << "Y" << none << "false" << "ask-save" << true << true << "a.zorvan" << "A2" << ""
        << "a.zorvan=A";
    // clang-format on
}

void TestModelDocumentView::agentOperations() {
    QFETCH(QString, state);
    QFETCH(QString, fault);
    QFETCH(QString, op);
    QFETCH(QString, argument);
    QFETCH(QString, answers);
    QFETCH(QStringList, files);
    QFETCH(QString, result);
    QFETCH(QString, prompts);
    QFETCH(bool, active);
    QFETCH(bool, modified);
    QFETCH(QString, fileName);
    QFETCH(QString, content);
    QFETCH(QString, viewCalls);
    QFETCH(QString, disk);

    Bench b;
    b.enter(state);
    if (QTest::currentTestFailed())
        return;
    b.doc.FailRead = fault == "read";
    b.doc.FailWrite = fault == "write";
    b.script(answers, files);

    QCOMPARE(b.run(op, argument), result);
    QCOMPARE(b.prompts(), prompts);
    QCOMPARE(b.doc.Link.Active(), active);
    QCOMPARE(b.doc.Link.Modified(), modified);
    QCOMPARE(b.agent.FileName(), b.path(fileName));
    QCOMPARE(b.doc.Content, content);
    QCOMPARE(b.views.Calls.join(','), viewCalls);
    // The caption always names the file the agent holds.
    QCOMPARE(b.caption(), fileName.isEmpty() ? QString("Zorvan") : "Zorvan: " + b.path(fileName));
    for (const auto& r : b.prompter.records)
        if (r.kind == "open" || r.kind == "save")
            QCOMPARE(r.text, QString("Document (*.zorvan)"));
    for (const QString& pair : disk.split(';', Qt::SkipEmptyParts)) {
        const QString name = pair.section('=', 0, 0);
        QCOMPARE(FakeDocument::ReadFile(b.path(name)), pair.section('=', 1));
    }
    QVERIFY(b.prompter.messages().isEmpty()); // reader and writer faults are contained silently
    QVERIFY(!b.doc.Link.Modified() || b.doc.Link.Active());
}

void TestModelDocumentView::promptsFollowTheLanguage_data() {
    QTest::addColumn<int>("primary");
    QTest::addColumn<int>("sub");
    QTest::addColumn<QString>("saveQuestion");
    QTest::addColumn<QString>("existsQuestion");
    QTest::newRow("english") << 9 << 1 << "Document has been modified. Save changes?"
                             << "File already exists. Replace?";
    QTest::newRow("russian") << 25 << 0 << "Документ был изменён. Сохранить изменения?"
                             << "Файл уже существует. Заменить?";
    QTest::newRow("ukrainian") << 34 << 0 << "Документ був змiнений. Зберегти змiни?"
                               << "Файл вже iснує. Замiнить?";
}

void TestModelDocumentView::promptsFollowTheLanguage() {
    QFETCH(int, primary);
    QFETCH(int, sub);
    QFETCH(QString, saveQuestion);
    QFETCH(QString, existsQuestion);

    Bench b;
    b.enter("savedChanged");
    // Selected after the document was changed: the texts are read when asked.
    QVERIFY(b.doc.Link.Localization().Select(primary, sub));
    b.script("CN", {"b.zorvan"});
    b.agent.NewDocument();
    QCOMPARE(b.prompter.questions(), QStringList{saveQuestion});
    b.prompter.records.clear();
    QCOMPARE(b.agent.SaveAs(), PromptAnswer::No);
    QCOMPARE(b.prompter.questions(), QStringList{existsQuestion});
}

void TestModelDocumentView::linkStateEvents() {
    FakeDocument doc;
    QStringList seen;
    doc.Link.OnModifiedChange = [&](TMDVDocumentLink& l) {
        seen << (l.Modified() ? "modified" : "clean");
    };
    // The link is already active when its content is cleared for a new document.
    bool activeWhenCleared = false;
    auto clear = doc.Link.OnDeleteContent;
    doc.Link.OnDeleteContent = [&](TMDVDocumentLink& l) {
        activeWhenCleared = l.Active();
        clear(l);
    };
    doc.Link.NewDocument();
    QVERIFY(activeWhenCleared);
    QCOMPARE(doc.Events, (QStringList{"delete", "new"}));
    doc.Link.SetModified();
    doc.Link.SetModified();
    doc.Link.ClearModified();
    doc.Link.ClearModified();
    QCOMPARE(seen, (QStringList{"modified", "clean"}));

    // New does not touch the modified flag.
    doc.Link.SetModified();
    doc.Link.NewDocument();
    QVERIFY(doc.Link.Modified());

    // Close clears the flag (one notification), deletes the content, then deactivates.
    doc.Events.clear();
    seen.clear();
    activeWhenCleared = false;
    doc.Link.CloseDocument();
    QCOMPARE(seen, QStringList{"clean"});
    QCOMPARE(doc.Events, QStringList{"delete"});
    QVERIFY(activeWhenCleared);
    QVERIFY(!doc.Link.Active());

    // A read makes the document active before the content handlers run.
    bool activeWhenOpened = false;
    doc.Link.OnOpenDocument = [&](TMDVDocumentLink& l) { activeWhenOpened = l.Active(); };
    TSerializeInfo read{"/nonexistent/x.zorvan", false};
    doc.Link.Serialize(&read);
    QVERIFY(activeWhenOpened);
    QVERIFY(doc.Link.Active());
}

void TestModelDocumentView::linkAssertions_data() {
    QTest::addColumn<QString>("call");
    QTest::newRow("SetModified") << "SetModified";
    QTest::newRow("ClearModified") << "ClearModified";
    QTest::newRow("CloseDocument") << "CloseDocument";
}

void TestModelDocumentView::linkAssertions() {
    QFETCH(QString, call);
    FakeDocument doc;
    int notifications = 0;
    doc.Link.OnModifiedChange = [&](TMDVDocumentLink&) { ++notifications; };
    try {
        if (call == "SetModified")
            doc.Link.SetModified();
        else if (call == "ClearModified")
            doc.Link.ClearModified();
        else
            doc.Link.CloseDocument();
        QFAIL("no assertion failure while no document is active");
    } catch (const EAssertionFailed& e) {
        QCOMPARE(e.Message, QString("Assertion failure"));
        QCOMPARE(e.UnitName, QString("ModelDocumentView"));
    }
    QVERIFY(!doc.Link.Modified());
    QVERIFY(!doc.Link.Active());
    QCOMPARE(notifications, 0);
    QVERIFY(doc.Events.isEmpty());
}

namespace {
struct RecordingSerializer final : TMDVSerializer {
    RecordingSerializer(QStringList& log, QString name, bool accepts)
        : log(log), name(std::move(name)), accepts(accepts) {}
    bool Accept(PSerializeInfo info) override {
        log << name + (info->IsSaving ? ":w" : ":r");
        return accepts;
    }
    QStringList& log;
    QString name;
    bool accepts;
};
} // namespace

// Without an OnSerialize handler the serializers are offered the request in order; when none
// accepts, the error appears in the current language.
void TestModelDocumentView::serializerList_data() {
    QTest::addColumn<QString>("accepting"); // one flag per serializer
    QTest::addColumn<bool>("saving");
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("offered");
    QTest::addColumn<QString>("error");
    QTest::newRow("none registered") << "" << false << 2305 << ""
                                     << "Document not loaded. Unknown file version";
    QTest::newRow("none accepts, russian") << "00" << true << 6400 << "s0:w,s1:w"
                                           << "Документ не загружен. Неизвестная версия файла";
    QTest::newRow("none accepts, ukrainian") << "0" << false << 8704 << "s0:r"
                                             << "Документ не загружений. Невiдома версiя файла";
    QTest::newRow("second accepts, third not asked") << "010" << false << 2305 << "s0:r,s1:r"
                                                     << "";
    QTest::newRow("first accepts") << "11" << true << 2305 << "s0:w"
                                   << "";
}

void TestModelDocumentView::serializerList() {
    QFETCH(QString, accepting);
    QFETCH(bool, saving);
    QFETCH(int, language);
    QFETCH(QString, offered);
    QFETCH(QString, error);

    ScriptedPrompter prompter;
    TMDVDocumentLink link;
    QVERIFY(link.Localization().SelectID(language));
    QStringList log;
    std::vector<std::unique_ptr<RecordingSerializer>> serializers;
    for (int i = 0; i < accepting.size(); ++i) {
        serializers.push_back(
            std::make_unique<RecordingSerializer>(log, QString("s%1").arg(i), accepting[i] == '1'));
        link.Serializers().Add(serializers.back().get());
    }
    QCOMPARE(link.Serializers().Count(), accepting.size());
    TSerializeInfo info{"x.zorvan", saving};
    link.Serialize(&info);
    QCOMPARE(log.join(','), offered);
    QCOMPARE(prompter.messages(), error.isEmpty() ? QStringList() : QStringList{error});
}

void TestModelDocumentView::linkDestructionDeletesActiveContent_data() {
    QTest::addColumn<bool>("active");
    QTest::newRow("active") << true;
    QTest::newRow("not active") << false;
}

void TestModelDocumentView::linkDestructionDeletesActiveContent() {
    QFETCH(bool, active);
    int deletes = 0;
    {
        TMDVDocumentLink link;
        if (active)
            link.NewDocument();
        link.OnDeleteContent = [&](TMDVDocumentLink&) { ++deletes; };
    }
    QCOMPARE(deletes, active ? 1 : 0);
}

void TestModelDocumentView::captionNeedsWindowAndDocument() {
    FakeDocument doc;
    QObject window;
    window.setProperty("windowTitle", QStringLiteral("Zorvan"));
    TMDVAgent agent;
    agent.AttachMainForm(&window);
    QCOMPARE(agent.MainCaption(), QString("Zorvan"));
    QCOMPARE(agent.FileExtention, QString("mdv")); // until the window sets its own
    window.setProperty("windowTitle", QStringLiteral("changed"));
    agent.UpdateCaption(); // no document: the caption is left alone
    QCOMPARE(window.property("windowTitle").toString(), QString("changed"));
    agent.SetDocument(&doc.Link);
    agent.UpdateCaption();
    QCOMPARE(window.property("windowTitle").toString(), QString("Zorvan"));
}

// Without a document link the operations do nothing harmful and show nothing.
void TestModelDocumentView::agentWithoutDocument() {
    ScriptedPrompter prompter;
    prompter.fileNames.push_back(QString("/tmp/never.zorvan"));
    FakeViews views;
    TMDVAgent agent;
    agent.ViewsContainer = &views;
    agent.NewDocument();
    QVERIFY(!agent.OpenWithDialog());
    QVERIFY(!agent.OpenDocument("/tmp/never.zorvan"));
    QCOMPARE(agent.Save(), PromptAnswer::No);
    QCOMPARE(agent.SaveAs(), PromptAnswer::No);
    QVERIFY(agent.CloseDocument());
    QVERIFY(agent.FileName().isEmpty());
    QVERIFY(prompter.records.isEmpty());
    QCOMPARE(views.Calls, QStringList{"deactivate"});
}

void TestModelDocumentView::languageUpdateOrder() {
    FakeViews views;
    TMDVAgent agent;
    agent.ViewsContainer = &views;
    QStringList order;
    agent.OnUpdateLanguage = [&](TMDVAgent& sender) {
        QCOMPARE(&sender, &agent);
        order << "agent" << QString::number(views.LanguageUpdates);
    };
    agent.UpdateLanguage();
    QCOMPARE(order, (QStringList{"agent", "0"}));
    QCOMPARE(views.LanguageUpdates, 1);
}

QTEST_GUILESS_MAIN(TestModelDocumentView)
#include "tst_ModelDocumentView.moc"
