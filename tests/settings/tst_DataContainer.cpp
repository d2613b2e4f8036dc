#include "Cases.h"
#include "Files.h"
#include "GenericRegValue.h"
#include "Scenario.h"
#include "TempConfigHome.h"
#include "components/AtomicFile.h"
#include "settings/AppOptions.h"
#include "settings/RegistryStore.h"

#include <QProcess>
#include <QtTest>
#include <memory>
#include <sys/stat.h>

using namespace zorvan;
using namespace zorvan::test;
using K = zorvan::TRegistryValueType;

namespace {

const QByteArray header =
    "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Test\\Module]\n";

// A module of settings stored under RegPath Test\Module, in a settings folder of its own.
struct Module {
    TempConfigHome home;
    QObject owner;
    TDataContainer* container = new TDataContainer(&owner);
    const QString file = home.path() + "/Test/Module.reg";
    Module() { container->setRegPath("Test\\Module"); }
    template <typename T = TRegInteger> T* add(const char* name) { return new T(&owner, name); }
};

// Every registered setting as name=value, with a * when it is flagged modified.
QString state(const TDataContainer& container) {
    QStringList texts;
    for (const auto* v : container.Items())
        texts << v->objectName() + '=' + v->variantValue().toString() + (v->Modified() ? "*" : "");
    return texts.join(' ');
}

// An integer setting with limits, holding start, given a new value; OnModified refuses even
// values when asked to. Whether the value and its default are taken, and OnModified was asked.
struct Gate {
    int min, max, start, value;
    bool refuseEven, accepted, asked;
};

// A setting of a kind with a value, written as the line and read back as readBack; or, with no
// value, a stored line of the wrong form, which ends the load there.
struct Kind {
    K kind;
    QVariant value;
    const char* line;
    QVariant readBack;
};

// A store text, { } around the lines of its value "A" (an empty pair where a new "A" goes); how
// "A" reads (empty: it is absent), the numbers of the lines that cannot be read, and what a set
// of "A" to 0x2b puts in place of the marked lines (the file's other bytes stay as they are).
struct Text {
    QByteArray text;
    const char* a = "";
    const char* bad = "";
    const char* line = "\"A\"=dword:0000002b\n";
};

// UTF-16 unit by unit, so that a lone surrogate stays one; the { } marks of a Text stay bytes.
QByteArray utf16(QStringView text, bool be, bool mark = true) {
    QByteArray out = !mark ? "" : be ? "\xFE\xFF" : "\xFF\xFE";
    for (const QChar c : text) {
        const char hi = char(c.unicode() >> 8), lo = char(c.unicode() & 0xFF);
        if (c == u'{' || c == u'}')
            out += lo;
        else
            out.append(be ? hi : lo).append(be ? lo : hi);
    }
    return out;
}

// What a file system node is, so that a refused write is seen to have left it alone.
QString node(const QString& name) {
    struct stat st {};
    ::lstat(QFile::encodeName(name).constData(), &st);
    return QString("%1 %2 %3").arg(st.st_mode).arg(st.st_size).arg(QFileInfo(name).symLinkTarget());
}

// Builds the node at path: "fifo", "big" (bytes, then zeros to one byte over the 16 MiB cap), or a
// chain of links "->a->b" (names in path's folder, or absolute) whose end gets bytes, mode 0600.
// Returns the chain's end.
QString makeNode(const QString& path, const QString& setup, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).path());
    if (setup == "fifo")
        ::mkfifo(QFile::encodeName(path).constData(), 0600);
    QString at = path;
    for (const QString& next : setup.startsWith("->") ? setup.split("->") : QStringList()) {
        const QString to = next.startsWith('/') ? next : QFileInfo(path).path() + '/' + next;
        if (!next.isEmpty() && QFile::link(to, at))
            at = to;
    }
    if (!bytes.isEmpty() && writeFile(at, bytes))
        QFile::setPermissions(at, QFile::ReadOwner | QFile::WriteOwner);
    if (setup == "big")
        QFile::resize(at, 16 * 1024 * 1024 + 1);
    return at;
}

// A store that is a file system node, and what a load and a save of the settings Port and Speed
// (start values 0, not flagged) and a write through writeFileAtomically do with it.
struct Node {
    const char* setup; // as makeNode takes it
    QByteArray bytes;  // of the store, or of the end of its links
    const char* load;  // the settings after the load, * when flagged (missing from the store)
    QByteArray saved;  // at the end after Port is set to 5 and saved; empty: the save is refused
    bool writable;     // whether the atomic writer replaces the end
};

} // namespace

class tst_DataContainer : public QObject {
    Q_OBJECT
private slots:
    void integerGates_data() {
        // clang-format off
        addCases<Gate>({
            {"below the limits",       {10, 10000, 50, 5, false, false, false}},
            {"above the limits",       {10, 10000, 50, 20000, false, false, false}},
            {"lower edge",             {10, 10000, 50, 10, false, true, true}},
            {"upper edge",             {10, 10000, 50, 10000, false, true, true}},
            {"equal limits: no limit", {5, 5, 0, -123456, false, true, true}},
            {"inverted limits",        {10, 5, 0, 7, false, false, false}},
            {"OnModified refuses",     {0, 0, 1, 4, true, false, true}},
            {"OnModified accepts",     {0, 0, 1, 5, true, true, true}},
            {"same value: not asked",  {0, 0, 4, 4, true, true, false}},
        });
        // clang-format on
    }
    void integerGates() {
        QFETCH(Gate, c);
        Module m;
        auto* v = m.add("V");
        v->setMinValue(c.min), v->setMaxValue(c.max), v->setValue(c.start), v->setDefValue(c.start);
        m.container->RegisterValues();
        int asked = 0;
        v->OnModified = [&](int value, bool& can) { can = !c.refuseEven || value % 2, ++asked; };
        QCOMPARE(v->setValue(c.value), c.accepted);
        QCOMPARE(state(*m.container) + QString::number(asked),
                 QString("V=%1").arg(c.accepted ? c.value : c.start) +
                     (c.accepted && c.value != c.start ? "*" : "") + QString::number(c.asked));
        // The default has the limits' gate only.
        QCOMPARE(v->setDefValue(c.value), c.accepted || c.refuseEven);
        QCOMPARE(v->DefValue(), c.accepted || c.refuseEven ? c.value : c.start);
    }

    // Changes in the idle state are flagged, those made while loading or saving are not; a
    // value missing from the store is flagged at load; what is written is no longer flagged;
    // a load or save asked for during another pass is refused.
    void passes() {
        Module m;
        auto* i = m.add("I");
        auto* b = m.add<TRegBoolean>("B");
        auto* f = m.add<TRegFile>("F");
        i->setValue(3), b->setValue(true), f->setValue("x"); // no container yet
        QVERIFY(writeFile(m.file, "\"I\"=dword:00000009\n\"F\"=\"y\"\n"));
        m.container->RegisterValues();
        QString seen;
        m.container->OnUpdateResource = [&](bool load) {
            seen += QString("%1%2 ").arg(load).arg(int(m.container->State()));
            m.container->Save(), m.container->Load();
            i->setValue(load ? i->Value() + 1 : 50);
        };
        m.container->Load();
        QCOMPARE(state(*m.container), "I=10 B=true* F=y");
        i->setValue(10), b->setValue(true), f->setValue("z");
        m.container->Save();
        QCOMPARE(state(*m.container), "I=50 B=true F=z");
        m.container->OnUpdateResource = nullptr;
        i->setValue(51);
        QCOMPARE(seen + state(*m.container), "11 02 I=51* B=true F=z");
        QCOMPARE(readFile(m.file), "\"I\"=dword:00000009\n\"F\"=\"z\"\n\"B\"=dword:00000001\n");
    }

    // Settings in their owner's creation order, categories without two of one caption, update
    // resource to the container first, then to the settings in order; defaults through the
    // setters, refusals standing. Without a key path nothing is read, flagged or written.
    void registration() {
        Module m;
        QList<TRegValueCategory*> categories;
        for (const char* caption : {"Alpha", "Beta", "Alpha", "Unused"})
            categories << new TRegValueCategory(&m.owner), categories.back()->setCaption(caption);
        auto* v1 = m.add("V1");
        auto* v2 = m.add<TRegBoolean>("V2");
        auto* v3 = m.add<TRegFile>("V3");
        auto* v4 = m.add("V4");
        v1->setCategory(categories[1]), v3->setCategory(categories[2]),
            v4->setCategory(categories[0]);
        v1->setValue(5), v1->setDefValue(2), v2->setValue(true), v3->setDefValue("d"),
            v4->setDefValue(8);
        v4->OnModified = [](int, bool& can) { can = false; };
        new QObject(&m.owner); // not a setting
        m.container->RegisterValues();
        m.container->RegisterValues(); // again: nothing twice
        QCOMPARE(m.container->Categories(), (QList{categories[1], categories[2]}));
        QVERIFY(m.container->FindItem("V3") == v3 && !m.container->FindItem("v3"));
        QString calls;
        m.container->OnUpdateResource = [&](bool f) { calls += QString("C%1 ").arg(f); };
        for (TRegistryValueShell* v : m.container->Items())
            v->OnUpdateResource = [&, v](bool f) {
                calls += v->objectName() + QString::number(f) + ' ';
            };
        m.container->FireUpdateResource(true);
        delete v2;
        m.container->FireUpdateResource(false);
        m.container->setRegPath("");
        m.container->Load(), m.container->SetDefaults(), m.container->Save();
        QCOMPARE(calls + state(*m.container),
                 "C1 V11 V21 V31 V41 C0 V10 V30 V40 C0 V10 V30 V40 V1=2* V3=d* V4=0");
        QVERIFY(m.container->KeyPath().isEmpty() && entries(m.home.path()).isEmpty());
        auto* info = new TDCAppInfo(&m.owner);
        info->setFirmName(""), info->setApplicationName(""), info->setUserName("");
        m.container->setDCAppInfo(info), m.container->setRegistryKey("");
        QCOMPARE(m.container->KeyPath() + info->UserName(),
                 "\\Software\\Belmat\\Input_AppName\\0\\MainOptionsDefUser");
        QString files;
        for (const char* key : {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\Tool", "\\Software",
                                "\\Software\\..\\x", "a\\.\\b", "a\\\\b", "a/b\\c", "a\\b\\"})
            files += RegistryStoreKey::fileOfKey(key).replace(m.home.path(), "~") + ';';
        QCOMPARE(files, "~/Acme/Tool.reg;;;;;;;");
    }

    // Each kind written in its form and read back the same; a stored value of the wrong form
    // ends the load: settings before it read, those after it neither read nor flagged, nothing
    // applied.
    void kinds_data() {
        const QString longText = QString("x\x7f").repeated(30);
        // clang-format off
        addCases<Kind>({
            {"integer",                  {K::rvtInteger, INT_MIN, "dword:80000000", INT_MIN}},
            {"boolean",                  {K::rvtBoolean, true, "dword:00000001", true}},
            {"float",                    {K::rvtFloat, -2.5, "hex:00,00,00,00,00,00,04,c0", -2.5}},
            {"date and time",            {K::rvtDateTime, 3.5, "hex:00,00,00,00,00,00,0c,40", 3.5}},
            {"date",                     {K::rvtDate, 45000.0, "hex:00,00,00,00,00,f9,e5,40", 45000.0}},
            {"time",                     {K::rvtTime, 0.25, "hex:00,00,00,00,00,00,d0,3f", 0.25}},
            {"string",                   {K::rvtString, "Порт \\ \"q\"", "\"Порт \\\\ \\\"q\\\"\"", "Порт \\ \"q\""}},
            {"string, line end",         {K::rvtString, "a\nb", "hex(1):61,00,0a,00,62,00,00,00", "a\nb"}},
            {"string, long hex lines",   {K::rvtString, longText, "hex(1):78,00,7f,00", longText}},
            {"file name",                {K::rvtFileName, "/home/u/m.zorvan", "\"/home/u/m.zorvan\"", "/home/u/m.zorvan"}},
            {"folder gets a separator",  {K::rvtFolderName, "/tmp/x", "\"/tmp/x/\"", "/tmp/x/"}},
            {"no folder is the root",    {K::rvtFolderName, "", "\"/\"", "/"}},
            {"address",                  {K::rvtIP, "192.168.1.5", "\"192.168.1.5\"", "192.168.1.5"}},
            {"integer from a string",    {K::rvtInteger, {}, "\"7\"", {}}},
            {"boolean from bytes",       {K::rvtBoolean, {}, "hex:01,00,00,00", {}}},
            {"float from a dword",       {K::rvtFloat, {}, "dword:00000001", {}}},
            {"date of 9 bytes",          {K::rvtDate, {}, "hex:00,00,00,00,00,00,f0,3f,00", {}}},
            {"file from another type",   {K::rvtFileName, {}, "hex(2):41,00", {}}},
        });
        // clang-format on
    }
    void kinds() {
        QFETCH(Kind, c);
        Module m;
        auto* a = m.add("A");
        auto* v = new GenericRegValue(&m.owner, "V", c.kind, c.value);
        auto* b = m.add("B");
        a->setValue(7), b->setValue(7);
        m.container->RegisterValues();
        if (c.value.isValid()) {
            m.container->Load(), m.container->Save();
            const QByteArray text = readFile(m.file);
            QVERIFY2(text.startsWith(header + "\"A\"=dword:00000007\n\"V\"=" + c.line),
                     text.constData());
            for (const QByteArray& line : text.split('\n'))
                QVERIFY2(line.size() <= 80, line.constData()); // long values go on continued lines
        } else {
            QVERIFY(writeFile(m.file, "\"A\"=dword:00000005\n\"V\"=" + QByteArray(c.line) +
                                          "\n\"B\"=dword:00000009\n"));
        }
        v->setVariantValue(QVariant());
        int applied = 0;
        m.container->OnUpdateResource = [&](bool) { ++applied; };
        m.container->Load();
        QCOMPARE(v->variantValue(), c.readBack);
        const QList<int> seen{a->Value(), b->Value(), applied + a->Modified() + b->Modified()};
        QCOMPARE(seen,
                 c.value.isValid() ? QList<int>() << 7 << 7 << 1 : QList<int>() << 5 << 7 << 0);
    }

    // Every well-formed value of a store text reads, in any of the lenient forms; a line that
    // cannot be read hides no other and is kept. The unchanged text is written back byte for
    // byte, and a set rewrites only the lines of the value set, in the file's spelling, encoding
    // and line ends, or adds it after the last value.
    void texts_data() {
        const QByteArray crlfHeader = QByteArray(header).replace("\n", "\r\n");
        // clang-format off
        addCases<Text>({
            {"header, key, CR LF",     {crlfHeader + "{\"A\"=dword:00000003\r\n}\"B\"=\"/m.zorvan\"\r\n", "dword:00000003", "", "\"A\"=dword:0000002b\r\n"}},
            {"REGEDIT4 header",        {"REGEDIT4\n{\"A\"=dword:0000000A\n}", "dword:0000000a"}},
            {"lenient forms",          {"{ \"a\" = DWORD: 3 \r\n}\"B\"=dword:00000007", "dword:00000003", "", "\"a\"=dword:0000002b\r\n"}},
            {"UTF-8 mark",             {"\xEF\xBB\xBF{\"A\"=\"Б\"\n}", "\"Б\""}},
            {"UTF-16 LE, pair",        {utf16(u"{\"A\"=\"\U0001F600\"\n}", false), "\"\U0001F600\""}},
            {"UTF-16 BE, lone half",   {utf16(u"\"A\"=\"\xD83D\"\r\n\"B\"=dword:7\r\n{}", true), "", "1", "\"A\"=dword:0000002b\r\n"}},
            {"comment, blank lines",   {"; note\n\n{\"A\"=dword:00000001\n}\n", "dword:00000001"}},
            {"continued hex",          {"{\"A\"=hex:01,02,\\\n  03\n}stray\n", "hex:01,02,03", "3"}},
            {"broken continuation",    {"\"B\"=hex:01,\\\n{\"A\"=dword:3\n}", "dword:00000003", "1"}},
            {"dangling continuation",  {"\"A\"=hex:01,\\\n{}", "", "1"}},
            {"empty hex",              {"{\"A\"=hex:\n}", "hex:"}},
            {"hex string, cut at nul", {"{\"A\"=hex(1):41,00,00,00,42,00\n}", "\"A\""}},
            {"quoted, cut at nul",     {QByteArrayLiteral("{\"A\"=\"ab\0c\"\n}"), "\"ab\""}},
            {"hex dword",              {"{\"A\"=hex(4):01,01,00,00\n}", "dword:00000101"}},
            {"huge type, CR ends",     {"{\"A\"=hex(ffffffff):00\r}\"B\"=dword:3\r", "hex(ffffffff):00", "", "\"A\"=dword:0000002b\r"}},
            {"last of two wins",       {"{\"A\"=dword:00000001\n}{\"a\"=dword:00000002\n}", "dword:00000002"}},
            {"default value",          {"@=\"\"\n{}"}},
            {"damage before a value",  {"[HKEY_LOCAL_MACHINE\\T]\nstray\n\"A\"=dword:zz\n\"B\"=dword:7\n{}\n", "", "2 3"}},
            {"zeros, no line end",     {QByteArray(64, '\0') + "{}", "", "1", "\n\"A\"=dword:0000002b\n"}},
            {"bad UTF-8",              {"\"B\"=\"\xC3\x28\"\n{\"A\"=dword:3\n}", "dword:00000003", "1"}},
            {"nine digit dword",       {"\"A\"=dword:000000001\n{}", "", "1"}},
            {"dword not hex",          {"\"A\"=dword:0000000g\n{}", "", "1"}},
            {"bad hex byte",           {"\"A\"=hex:0,01\n{}", "", "1"}},
            {"bad hex type",           {"\"A\"=hex(x):00\n{}", "", "1"}},
            {"odd UTF-16 string",      {"\"A\"=hex(1):41\n{}", "", "1"}},
            {"short hex dword",        {"\"A\"=hex(4):01\n{}", "", "1"}},
            {"two keys",               {"[A]\n[B]\n{}", "", "2"}},
            {"deleted key",            {"[-A]\n{}", "", "1"}},
            {"unquoted name",          {"A=dword:00000001\n{}", "", "1"}},
            {"unknown form",           {"\"A\"=qword:00000001\n{}", "", "1"}},
            {"text after a string",    {"\"A\"=\"x\" y\n{}", "", "1"}},
        });
        // clang-format on
    }
    void texts() {
        QFETCH(Text, c);
        const bool wide = c.text.startsWith("\xFF\xFE") || c.text.startsWith("\xFE\xFF");
        const QByteArray line =
            wide ? utf16(QString(c.line), c.text[0] == '\xFE', false) : QByteArray(c.line);
        QByteArray text, after; // the store text, and what a set of "A" makes of it
        bool inA = false;
        for (const char b : c.text) {
            if (b == '{' || b == '}')
                after += (inA = b == '{') ? line : QByteArray();
            else
                text += b, after += inA ? QByteArray() : QByteArray(1, b);
        }
        auto parsed = *RegistryText::parse(text);
        QCOMPARE(RegistryText::format(parsed), text);
        RegistryKeyContents one; // "A" as a new store would write it; names match in any case
        if (const RegistryValue* a = parsed.find("a"))
            one.set("A", *a);
        QCOMPARE(QString(RegistryText::format(one)).section('\n', 2, 2).mid(4), QString(c.a));
        QStringList bad;
        RegistryText::forEachUnreadableLine(
            parsed, [&](int n, const QString&) { bad << QString::number(n); });
        QCOMPARE(bad.join(' '), QString(c.bad));
        parsed.set("A", RegistryValue::fromDword(0x2b));
        QCOMPARE(RegistryText::format(parsed), after);
    }

    void storeNodes_data() {
        // clang-format off
        addCases<Node>({
            {"two links",         {"->a->b", "\"port\"=dword:3\n", "Port=3 Speed=0*", "\"port\"=dword:00000005\n\"Speed\"=dword:00000000\n", true}},
            {"dangling link",     {"->new", "", "Port=0* Speed=0*", header + "\"Port\"=dword:00000005\n\"Speed\"=dword:00000000\n\n", true}},
            {"fifo",              {"fifo", "", "Port=0 Speed=0", "", false}},
            {"over the cap",      {"big", "\"Port\"=dword:3\n", "Port=0 Speed=0", "", true}},
            {"save past the cap", {"", ';' + QByteArray((16 << 20) - 8, 'x') + '\n', "Port=0* Speed=0*", "", true}},
            {"link to /dev/zero", {"->/dev/zero", "", "Port=0 Speed=0", "", false}},
            {"link loop",         {"->a->Module.reg", "", "Port=0 Speed=0", "", false}},
        });
        // clang-format on
    }
    // A store that is not a regular file, or not one within the cap, is neither read nor
    // replaced, and its settings stay flagged with the reason; links are followed, each kept,
    // and the end keeps its mode. Nothing else is left in the folder.
    void storeNodes() {
        QFETCH(Node, c);
        Module m;
        const QString end = makeNode(m.file, c.setup, c.bytes);
        const QString before = node(m.file);
        auto* port = m.add("Port");
        m.add("Speed");
        m.container->RegisterValues();
        m.container->Load();
        QCOMPARE(state(*m.container), QString(c.load));
        port->setValue(5), m.container->Save();
        QCOMPARE(port->Modified(), c.saved.isEmpty());
        QCOMPARE(m.container->LastSaveError().isEmpty(), !c.saved.isEmpty());
        QCOMPARE(c.saved.isEmpty() ? node(m.file).toUtf8() : readFile(end),
                 c.saved.isEmpty() ? before.toUtf8() : c.saved);
        QVERIFY(c.bytes.isEmpty() || c.saved.isEmpty() ||
                node(end).startsWith(QString::number(S_IFREG | 0600) + ' '));
        QCOMPARE(QFileInfo(m.file).isSymLink(), QByteArray(c.setup).startsWith("->"));
        if (QByteArray(c.setup).contains("/dev/"))
            return; // a faulty writer run as root would replace the device
        QString error;
        // Written, or refused with a reason.
        QCOMPARE(writeFileAtomically(m.file, "new", &error) || error.isEmpty(), c.writable);
        QCOMPARE(c.writable ? readFile(end) : node(m.file).toUtf8(),
                 c.writable ? "new" : before.toUtf8());
        QVERIFY(entries(QFileInfo(m.file).path())
                    .filter(QRegularExpression("^(?!(Module.reg|a|b|new)$)"))
                    .isEmpty());
    }

    // Five zorvanctl set different settings at once, on a fresh store and then on the one they
    // wrote: each keeps the others' values.
    void writersAtOnceKeepEachOther() {
        TempConfigHome home;
        // clang-format off
        for (const QString round : {"Port=3 Rate=9 regDeviceAddress=17 ViewToolBar=false LastDocument=/tmp/a.zorvan",
                                    "Port=4 Rate=10 regDeviceAddress=18 ViewToolBar=true LastDocument=/tmp/b.zorvan"}) {
            // clang-format on
            std::vector<std::unique_ptr<QProcess>> runs;
            for (const QString& set : round.split(' '))
                runs.emplace_back(new QProcess)
                    ->start(ZORVAN_CTL_PATH, QStringList{"options", "set"} + set.split('='));
            for (const auto& run : runs)
                QVERIFY(run->waitForFinished(60000) && run->exitCode() == 0);
            TOptions stored;
            stored.setSaveOnDestroy(false);
            for (const QString& set : round.split(' '))
                QVERIFY2(state(*stored.DataContainer).split(' ').contains(set), qPrintable(set));
        }
    }

    // The command names each line it skipped, and a store it may not replace makes it fail
    // with the reason, the store left as it was.
    void commandReportsSkippedLinesAndRefusals() {
        TempConfigHome home;
        const QString file = home.optionsFile();
        QVERIFY(writeFile(file, "\"Port\"=dword:3\nstray\n\"Rate\"=dword:\n"));
        auto r = runZorvanctl({"options"});
        QCOMPARE(r.exitCode, 0);
        QCOMPARE(r.err.replace(QRegularExpression(": [^\n]+"), ""), file + ":2\n" + file + ":3\n");
        QVERIFY(r.out.contains(QRegularExpression("\\nPort +3 ")));
        QVERIFY(QFile::remove(file) && QDir().mkpath(file));
        r = runZorvanctl({"options", "set", "Port", "4"}, 20000);
        QCOMPARE(r.exitCode, 1);
        QVERIFY2(r.err.contains("is not a regular file"), qPrintable(r.err));
        QVERIFY(QFileInfo(file).isDir() && entries(file).isEmpty());
    }

    // The application's settings: a first start writes every one with its start value, the
    // next start flags none; stored values outside the limits are refused at load; "Set
    // default" turns the closing settings off and puts the others back to their start values;
    // what handlers put into the settings before the last save is written.
    void applicationOptions() {
        TempConfigHome home;
        {
            TOptions options;
            QCOMPARE(state(*options.DataContainer).count('*'), 13);
            QVERIFY(!QFile::exists(home.optionsFile()) &&
                    options.DataContainerDialog->DataContainer());
        }
        // clang-format off
        QCOMPARE(readFile(home.optionsFile()),
                 "Windows Registry Editor Version 5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Belmat\\Quillmark\\0\\MainOptions]\n"
                 "\"ViewToolBar\"=dword:00000001\n\"MainFrmLeft\"=dword:00000000\n\"MainFrmTop\"=dword:00000000\n"
                 "\"MainFrmHeight\"=dword:000001c2\n\"MainFrmWidth\"=dword:00000320\n\"WarningBeforeClosing\"=dword:00000001\n"
                 "\"RestoreLastDocument\"=dword:00000001\n\"LastDocument\"=\"\"\n\"CurrLanguageID\"=dword:00001900\n"
                 "\"Port\"=dword:00000001\n\"Rate\"=dword:00000007\n\"regDeviceAddress\"=dword:00000001\n"
                 "\"regprmRxTimeout\"=dword:00000032\n\n");
        // clang-format on
        {
            TOptions options;
            QCOMPARE(Options(), &options);
            QVERIFY(!state(*options.DataContainer).contains('*'));
            options.Port->setValue(4), options.MainFrmWidth->setValue(1000),
                options.DataContainer->Save();
            options.DataContainer->SetDefaults();
            QCOMPARE(
                state(*options.DataContainer),
                "ViewToolBar=true MainFrmLeft=0 MainFrmTop=0 MainFrmHeight=450 MainFrmWidth=800* "
                "WarningBeforeClosing=false* RestoreLastDocument=false* LastDocument= "
                "CurrLanguageID=6400 Port=1* Rate=7 regDeviceAddress=1 regprmRxTimeout=50");
            options.MainFrmLeft->OnUpdateResource = [&](bool load) {
                load || options.MainFrmLeft->setValue(-321);
            };
            options.LastDocument->setValue("/tmp/a \"b\"\\c.zorvan");
        }
        QStringList loaded; // from the first store all but ViewToolBar, then the last five
        const QByteArray names[]{"Port", "Rate", "regDeviceAddress", "regprmRxTimeout",
                                 "CurrLanguageID"};
        for (const char* stored :
             {"12c e 0 5 4d2", "0 ffffffff ff 2711 0", "ff 0 fe a 900", "1 d 1 2710 2200"}) {
            QByteArray text = readFile(home.optionsFile());
            int k = 0;
            for (const QByteArray& value : QByteArray(stored).split(' ')) // 1 to 8 digits read
                text += '"' + names[k++] + "\"=dword:" + value + '\n';
            QVERIFY(writeFile(home.optionsFile(), text));
            TOptions options;
            options.setSaveOnDestroy(false);
            loaded << state(*options.DataContainer).section(' ', loaded.isEmpty() ? 1 : -5);
        }
        QCOMPARE(loaded.join('\n'),
                 "MainFrmLeft=-321 MainFrmTop=0 MainFrmHeight=450 MainFrmWidth=800 "
                 "WarningBeforeClosing=false RestoreLastDocument=false "
                 "LastDocument=/tmp/a \"b\"\\c.zorvan CurrLanguageID=1234 Port=1 Rate=7 "
                 "regDeviceAddress=1 regprmRxTimeout=50\n"
                 "CurrLanguageID=0 Port=1 Rate=7 regDeviceAddress=1 regprmRxTimeout=50\n"
                 "CurrLanguageID=2304 Port=255 Rate=0 regDeviceAddress=254 regprmRxTimeout=10\n"
                 "CurrLanguageID=8704 Port=1 Rate=13 regDeviceAddress=1 regprmRxTimeout=10000");
    }
};
QTEST_GUILESS_MAIN(tst_DataContainer)
#include "tst_DataContainer.moc"
