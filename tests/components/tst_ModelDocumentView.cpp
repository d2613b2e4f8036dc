#include "Cases.h"
#include "FakeDocument.h"
#include "ScriptedPrompter.h"
#include "components/ModelDocumentView.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

using namespace zorvan;
using zorvan::test::FakeDocument;

namespace {

// Records what the agent asks of its views: u update, l language, a activate, d deactivate.
struct FakeViews final : IMDVViewsContainer {
    QString calls;
    void UpdateViews() override { calls += 'u'; }
    void UpdateLanguage() override { calls += 'l'; }
    void ActivateDefaultView() override { calls += 'a'; }
    void DeactivateView() override { calls += 'd'; }
};

// One row of the agent's state table. From a state (none; new, "newX" new and changed; "a"
// a.zorvan open, "aX" open and changed), with a reader or writer fault ("r", "w"), an
// operation ("Open:<name>" opens by name) runs with the answers (Y/N/C in turn) and the
// dialogs' choices ("-" cancels). The outcome, "-" for an empty part: the result (1 true, 0
// false); the prompts (q save changes, x file exists, o open dialog, s save dialog, t the
// failed save told with the file and the reason); the
// document as "<A active><M modified>|<file>|<content>"; the views' calls; every write
// attempted, as "<file>=<bytes on disk afterwards>".
struct Op {
    const char *state, *fault, *op, *answers, *files, *outcome;
};

struct Recorder final : TMDVSerializer {
    Recorder(QString& log, const QString& name, bool accepts)
        : m_log(log), m_name(name), m_accepts(accepts) {}
    bool Accept(PSerializeInfo info) override {
        m_log += m_name + (info->IsSaving ? "w" : "r");
        return m_accepts;
    }
    QString& m_log;
    QString m_name;
    bool m_accepts;
};

QString part(const QString& text) {
    return text.isEmpty() ? "-" : text;
}

} // namespace

class tst_ModelDocumentView : public QObject {
    Q_OBJECT
private slots:
    void agent_data() {
        // clang-format off
        test::addCases<Op>({
            {"new from none",                      {"none", "", "New", "", "", "- - A|| ua -"}},
            {"new, changed, cancel",               {"aX", "", "New", "C", "", "- q AM|a.zorvan|A2 - -"}},
            {"new, changed, no: still modified",   {"aX", "", "New", "N", "", "- q AM|| ua -"}},
            {"new, changed, yes saves first",      {"aX", "", "New", "Y", "", "- q A|| ua a.zorvan=A2"}},
            {"new, untitled, yes, dialog cancel",  {"newX", "", "New", "Y", "-", "- qs AM||X - -"}},
            {"new, changed, yes, write fails",     {"aX", "w", "New", "Y", "", "- qt AM|a.zorvan|A2 - a.zorvan=A"}},
            {"open",                               {"none", "", "Open", "", "b.zorvan", "1 o A|b.zorvan|B ua -"}},
            {"open, dialog cancelled",             {"a", "", "Open", "", "-", "0 o A|a.zorvan|A - -"}},
            {"open, changed, cancel",              {"aX", "", "Open", "C", "b.zorvan", "0 q AM|a.zorvan|A2 - -"}},
            {"open, changed, no",                  {"aX", "", "Open", "N", "b.zorvan", "1 qo A|b.zorvan|B ua -"}},
            {"open, changed, yes saves first",     {"aX", "", "Open", "Y", "b.zorvan", "1 qo A|b.zorvan|B ua a.zorvan=A2"}},
            // The changes the user asked to keep were not written: the open must not drop them.
            {"open, changed, yes, save cancelled", {"newX", "", "Open", "Y", "-,b.zorvan", "0 qs AM||X - -"}},
            {"open missing file: empty document",  {"a", "", "Open", "", "gone.zorvan", "1 o A|gone.zorvan| ua -"}},
            {"open, read fails, old name kept",    {"a", "r", "Open", "", "b.zorvan", "1 o A|a.zorvan| ua -"}},
            {"open by empty name closes",          {"a", "", "Open:", "", "", "1 - || d -"}},
            {"open by name, changed, no",          {"newX", "", "Open:b.zorvan", "N", "", "1 q A|b.zorvan|B ua -"}},
            {"open by name, read fails",           {"a", "r", "Open:b.zorvan", "", "", "0 - A|a.zorvan| - -"}},
            {"save changed",                       {"aX", "", "Save", "", "", "Yes - A|a.zorvan|A2 - a.zorvan=A2"}},
            {"save unchanged writes nothing",      {"a", "", "Save", "", "", "No - A|a.zorvan|A - -"}},
            {"save untitled, dialog cancelled",    {"newX", "", "Save", "", "-", "No s AM||X - -"}},
            {"save untitled as n1",                {"newX", "", "Save", "", "n1", "Yes s A|n1.zorvan|X - n1.zorvan=X"}},
            {"save, write fails",                  {"aX", "w", "Save", "", "", "No t AM|a.zorvan|A2 - a.zorvan=A"}},
            {"save as map.ZORVAN",                 {"a", "", "SaveAs", "", "map.ZORVAN", "Yes s A|map.ZORVAN.zorvan|A - map.ZORVAN.zorvan=A"}},
            {"save as map.zorvan",                 {"a", "", "SaveAs", "", "map.zorvan", "Yes s A|map.zorvan|A - map.zorvan=A"}},
            {"save as into a dotted folder",       {"a", "", "SaveAs", "", "sub.d/map", "Yes s A|sub.d/map.zorvan|A - sub.d/map.zorvan=A"}},
            {"save as existing, no",               {"aX", "", "SaveAs", "N", "b.zorvan", "No sx AM|a.zorvan|A2 - -"}},
            {"save as existing, cancel",           {"aX", "", "SaveAs", "C", "b", "Cancel sx AM|a.zorvan|A2 - -"}},
            {"save as existing, yes",              {"aX", "", "SaveAs", "Y", "b", "Yes sx A|b.zorvan|A2 - b.zorvan=A2"}},
            {"save as, write fails, name kept",    {"newX", "w", "SaveAs", "", "n1", "No st AM||X - n1.zorvan=<missing>"}},
            {"save as a[*]",                       {"a", "", "SaveAs", "", "a[*]", "Yes s A|a[*].zorvan|A - a[*].zorvan=A"}},
            {"save as with nothing open",          {"none", "", "SaveAs", "", "n1", "No - || - -"}},
            {"close with nothing open",            {"none", "", "Close", "", "", "1 - || d -"}},
            {"close, changed, no",                 {"aX", "", "Close", "N", "", "1 q || d -"}},
            {"close, changed, yes",                {"aX", "", "Close", "Y", "", "1 q || d a.zorvan=A2"}},
            {"close, untitled, yes, cancelled",    {"newX", "", "Close", "Y", "-", "0 qs AM||X - -"}},
            {"close, changed, yes, write fails",   {"aX", "w", "Close", "Y", "", "0 qt AM|a.zorvan|A2 - a.zorvan=A"}},
        });
        // clang-format on
    }
    void agent() {
        QFETCH(Op, c);
        QTemporaryDir dir;
        FakeDocument doc;
        FakeViews views;
        QObject window;
        window.setProperty("windowTitle", "Zorvan");
        TMDVAgent agent;
        agent.SetDocument(&doc.Link), agent.FileExtention = "zorvan", agent.ViewsContainer = &views;
        agent.AttachMainForm(&window);
        test::ScriptedPrompter prompter;
        auto path = [&](const QString& name) { return name.isEmpty() ? name : dir.filePath(name); };
        auto name = [&](const QString& path) { return QDir(dir.path()).relativeFilePath(path); };
        QVERIFY(test::writeFile(path("a.zorvan"), "A") && test::writeFile(path("b.zorvan"), "B"));
        QDir(dir.path()).mkdir("sub.d");
        const QString state = c.state, op = c.op;
        if (state.startsWith("a"))
            agent.OpenDocument(path("a.zorvan"));
        if (state.startsWith("new"))
            agent.NewDocument();
        if (state.endsWith("X"))
            doc.Edit(state == "aX" ? "A2" : "X");
        prompter.records.clear(), views.calls.clear(), doc.Events.clear();
        doc.FailRead = c.fault[0] == 'r', doc.FailWrite = c.fault[0] == 'w';
        for (QChar a : QString(c.answers))
            prompter.answers.push_back(PromptAnswer(QString("YNC").indexOf(a)));
        for (const QString& f : QString(c.files).split(',', Qt::SkipEmptyParts))
            prompter.fileNames.push_back(f == "-" ? std::nullopt : std::optional(path(f)));

        const QStringList answers{"Yes", "No", "Cancel"};
        const QString result = op == "New"      ? (agent.NewDocument(), "-")
                               : op == "Save"   ? answers[int(agent.Save())]
                               : op == "SaveAs" ? answers[int(agent.SaveAs())]
                               : op == "Close"  ? QString::number(agent.CloseDocument())
                               : op == "Open"
                                   ? QString::number(agent.OpenWithDialog())
                                   : QString::number(agent.OpenDocument(path(op.mid(5))));
        QString prompts, writes;
        for (const auto& r : prompter.records) {
            const bool save = r.text == doc.Link.Localization().Current().SaveChangesQuestion;
            const bool told = r.kind == "tell";
            prompts += r.kind == "ask" ? QChar(save ? 'q' : 'x') : r.kind.at(0);
            QVERIFY2(r.kind == "ask" || (told ? r.text.startsWith("Could not save " + dir.path())
                                              : r.text == "Document (*.zorvan)"),
                     qPrintable(r.text));
        }
        for (const QString& event : doc.Events.filter("write "))
            writes += ' ' + name(event.mid(6)) + '=' + FakeDocument::ReadFile(event.mid(6));
        const QString file = agent.FileName().isEmpty() ? "" : name(agent.FileName());
        const QString document = QString(doc.Link.Active() ? "A" : "") +
                                 (doc.Link.Modified() ? "M" : "") + '|' + file + '|' + doc.Content;
        QCOMPARE(QStringList(
                     {result, part(prompts), document, part(views.calls), part(writes.trimmed())})
                     .join(' '),
                 c.outcome);
        // Qt takes "[*]" for the modified mark and shows "[*][*]" as "[*]".
        QCOMPARE(window.property("windowTitle").toString(),
                 file.isEmpty() ? "Zorvan" : "Zorvan: " + path(file).replace("[*]", "[*][*]"));
    }

    // Events in order, flag changes notified once each; breaches of "a document is active"
    // fail as programming errors and change nothing; a destroyed link clears an active
    // document only. Without an OnSerialize handler the serializers are offered a request in
    // order; when none accepts, the error shows in the current language.
    void link() {
        FakeDocument doc;
        TMDVDocumentLink& l = doc.Link;
        l.OnModifiedChange = [&](auto&) { doc.Events << (l.Modified() ? "M" : "m"); };
        for (auto call : {&TMDVDocumentLink::SetModified, &TMDVDocumentLink::ClearModified,
                          &TMDVDocumentLink::CloseDocument}) {
            try {
                (l.*call)();
                QFAIL("no assertion failure while no document is active");
            } catch (const EAssertionFailed& e) {
                QCOMPARE(e.Message + " " + e.UnitName, "Assertion failure ModelDocumentView");
            }
        }
        const auto clear = l.OnDeleteContent;
        l.OnDeleteContent = [&](auto&) { doc.Events << QString::number(l.Active()), clear(l); };
        l.OnOpenDocument = [&](auto&) { doc.Events << "open" + QString::number(l.Active()); };
        l.NewDocument(), l.SetModified(), l.SetModified(), l.ClearModified(), l.ClearModified();
        l.SetModified(), l.NewDocument(), l.CloseDocument(); // a new document keeps the flag
        TSerializeInfo info{"/nonexistent/x", false};
        l.Serialize(&info);
        QCOMPARE(doc.Events.join(','),
                 "1,delete,new,M,m,M,1,delete,new,m,1,delete,open1,read /nonexistent/x");
        int deletes = 0;
        for (bool active : {false, true}) {
            TMDVDocumentLink other;
            active ? other.NewDocument() : void();
            other.OnDeleteContent = [&](auto&) { ++deletes; };
        }
        test::ScriptedPrompter prompter;
        QString log;
        TMDVDocumentLink other;
        Recorder first(log, "1", false), second(log, "2", true);
        other.Serialize(&info);
        QVERIFY(other.Localization().SelectID(6400));
        other.Serializers().Add(&first), other.Serialize(&info);
        other.Serializers().Add(&second), other.Serializers().Add(&first);
        info.IsSaving = true, other.Serialize(&info);
        QCOMPARE(log + QString::number(deletes), "1r1w2w1");
        QCOMPARE(prompter.messages(),
                 (QStringList{"Document not loaded. Unknown file version",
                              "Документ не загружен. Неизвестная версия файла"}));
    }
};

QTEST_GUILESS_MAIN(tst_ModelDocumentView)
#include "tst_ModelDocumentView.moc"
