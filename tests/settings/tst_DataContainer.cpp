#include "Cases.h"
#include "Files.h"
#include "GenericRegValue.h"
#include "TempConfigHome.h"
#include "settings/AppOptions.h"
#include "settings/RegistryStore.h"

#include <QtTest>
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

// A store text and the line of its value "A" once written again; none for a text that does not
// read.
struct Text {
    QByteArray text;
    const char* line;
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
        QCOMPARE(readFile(m.file),
                 header + "\"I\"=dword:00000009\n\"F\"=\"z\"\n\"B\"=dword:00000001\n\n");
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
    }

    // Each kind written in its form and read back the same; a stored value of the wrong form
    // ends the load: settings before it read, those after it neither read nor flagged, nothing
    // applied.
    void kinds_data() {
        const QString longText = QString("x\x01").repeated(30);
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
            {"string, long hex lines",   {K::rvtString, longText, "hex(1):78,00,01,00", longText}},
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
        QCOMPARE(QString("%1 %2 %3")
                     .arg(a->Value())
                     .arg(b->Value())
                     .arg(applied + a->Modified() + b->Modified()),
                 c.value.isValid() ? "7 7 1" : "5 7 0");
    }

    // What a store text holds, written again; texts that do not read: a damaged store is
    // recognised rather than half loaded. What reads is written back in a form that reads the
    // same.
    void texts_data() {
        const QByteArray good = header + "\"A\"=dword:00000003\n\"B\"=\"/home/u/map.zorvan\"\n";
        // clang-format off
        addCases<Text>({
            {"header, key, CR LF",     {QByteArray(good).replace("\n", "\r\n"), "\"A\"=dword:00000003"}},
            {"REGEDIT4 header",        {"REGEDIT4\n\"A\"=dword:0000000A\n", "\"A\"=dword:0000000a"}},
            {"UTF-8 mark",             {"\xEF\xBB\xBF\"A\"=\"Б\"\n", "\"A\"=\"Б\""}},
            {"regedit's UTF-16",       {QByteArray("\xFF\xFE\"\0A\0\"\0=\0\"\0\x3D\xD8\x00\xDE\"\0\n\0", 20), "\"A\"=\"\U0001F600\""}},
            {"comment, blank lines",   {"; note\n\n\"A\"=dword:00000001\n\n", "\"A\"=dword:00000001"}},
            {"continued hex",          {"\"A\"=hex:01,02,\\\n  03\n", "\"A\"=hex:01,02,03"}},
            {"empty hex",              {"\"A\"=hex:\n", "\"A\"=hex:"}},
            {"hex string, cut at nul", {"\"A\"=hex(1):41,00,00,00,42,00\n", "\"A\"=\"A\""}},
            {"quoted, cut at nul",     {QByteArray("\"A\"=\"ab\0c\"\n", 11), "\"A\"=\"ab\""}},
            {"hex dword",              {"\"A\"=hex(4):01,01,00,00\n", "\"A\"=dword:00000101"}},
            {"other type kept",        {"\"A\"=hex(2):41,00,00,00\n", "\"A\"=hex(2):41,00,00,00"}},
            {"last of two wins",       {"\"A\"=dword:00000001\n\"A\"=dword:00000002\n", "\"A\"=dword:00000002"}},
            {"controls in hex form",   {"\"A\"=\"a\x01\tb\x7f\"\n", "\"A\"=hex(1):61,00,01,00,09,00,62,00,7f,00,00,00"}},
            {"default value",          {"@=\"\"\n", "@=\"\""}},
            {"cut inside a line",      {good.chopped(1), nullptr}},
            {"zeros",                  {QByteArray(64, '\0'), nullptr}},
            {"bad UTF-8",              {"\"A\"=\"\xC3\x28\"\n", nullptr}},
            {"lone UTF-16 surrogate",  {QByteArray("\xFF\xFE\"\0A\0\"\0=\0\"\0\x3D\xD8\"\0\n\0", 18), nullptr}},
            {"short dword",            {"\"A\"=dword:0001\n", nullptr}},
            {"dword not hex",          {"\"A\"=dword:0000000g\n", nullptr}},
            {"bad hex byte",           {"\"A\"=hex:0,01\n", nullptr}},
            {"bad hex type",           {"\"A\"=hex(x):00\n", nullptr}},
            {"dangling continuation",  {"\"A\"=hex:01,\\\n", nullptr}},
            {"odd UTF-16 string",      {"\"A\"=hex(1):41\n", nullptr}},
            {"short hex dword",        {"\"A\"=hex(4):01\n", nullptr}},
            {"two keys",               {"[A]\n[B]\n", nullptr}},
            {"deleted key",            {"[-A]\n", nullptr}},
            {"unquoted name",          {"A=dword:00000001\n", nullptr}},
            {"unknown form",           {"\"A\"=qword:00000001\n", nullptr}},
            {"text after a string",    {"\"A\"=\"x\" y\n", nullptr}},
        });
        // clang-format on
    }
    void texts() {
        QFETCH(Text, c);
        const auto parsed = RegistryText::parse(c.text);
        QCOMPARE(bool(parsed), bool(c.line));
        if (parsed) {
            const QByteArray written = RegistryText::format(*parsed);
            QVERIFY2(written.split('\n').contains(c.line), written.constData());
            QVERIFY(RegistryText::parse(written)->values == parsed->values);
            return;
        }
        // Loading it changes and flags nothing; a save without changes leaves it alone; a
        // real change replaces it and keeps the old bytes beside it.
        Module m;
        auto* v = m.add("A");
        QVERIFY(writeFile(m.file, c.text));
        m.container->RegisterValues();
        m.container->Load(), m.container->Save();
        QVERIFY(readFile(m.file) == c.text && state(*m.container) == "A=0");
        v->setValue(43);
        m.container->Save();
        QVERIFY(readFile(m.file + ".unreadable") == c.text &&
                readFile(m.file).endsWith("\"A\"=dword:0000002b\n\n"));
    }

    // A save keeps the values it does not know, in their places and forms; it replaces the file
    // whole, keeps its mode, follows a link to it and leaves nothing else behind. A save that
    // cannot be written keeps every flag for the next one.
    void saveReplacesTheFile() {
        Module m;
        const QString real = m.home.path() + "/real.reg";
        QVERIFY(
            writeFile(real, "\"Foreign\"=hex(7):41,00\n\"V\"=dword:00000001\n\"O\"=\"kept\"\n") &&
            ::chmod(QFile::encodeName(real).constData(), 0600) == 0);
        QVERIFY(QDir().mkpath(m.home.path() + "/Test") && QFile::link(real, m.file));
        auto* v = m.add("V");
        m.container->RegisterValues();
        m.container->Load(), v->setValue(2), m.container->Save();
        QCOMPARE(readFile(real),
                 header + "\"Foreign\"=hex(7):41,00\n\"V\"=dword:00000002\n\"O\"=\"kept\"\n\n");
        struct stat st {};
        QVERIFY(::stat(QFile::encodeName(real).constData(), &st) == 0 &&
                (st.st_mode & 0777) == 0600);
        QCOMPARE(entries(m.home.path()) + entries(m.home.path() + "/Test"),
                 (QStringList{"real.reg", "Test", "Module.reg"}));
        QVERIFY(QFile::remove(m.file) && QDir().mkpath(m.file)); // a folder: nothing can be written
        v->setValue(3), m.container->Save();
        QVERIFY(v->Modified() && QDir().rmdir(m.file));
        m.container->Save();
        QVERIFY(!v->Modified() && readFile(m.file).endsWith("\"V\"=dword:00000003\n\n"));
        QString files;
        for (const char* key : {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Acme\\Tool", "\\Software",
                                "\\Software\\..\\x", "a\\.\\b", "a\\\\b", "a/b\\c", "a\\b\\"})
            files += RegistryStoreKey::fileOfKey(key).replace(m.home.path(), "~") + ';';
        QCOMPARE(files, "~/Acme/Tool.reg;;;;;;;");
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
        QCOMPARE(readFile(home.optionsFile()),
                 "Windows Registry Editor Version "
                 "5.00\n\n[HKEY_LOCAL_MACHINE\\Software\\Belmat\\Quillmark\\0\\MainOptions]\n"
                 "\"ViewToolBar\"=dword:00000001\n\"MainFrmLeft\"=dword:00000000\n\"MainFrmTop\"="
                 "dword:00000000\n"
                 "\"MainFrmHeight\"=dword:000001c2\n\"MainFrmWidth\"=dword:"
                 "00000320\n\"WarningBeforeClosing\"=dword:00000001\n"
                 "\"RestoreLastDocument\"=dword:00000001\n\"LastDocument\"="
                 "\"\"\n\"CurrLanguageID\"=dword:00001900\n"
                 "\"Port\"=dword:00000001\n\"Rate\"=dword:00000007\n\"regDeviceAddress\"=dword:"
                 "00000001\n"
                 "\"regprmRxTimeout\"=dword:00000032\n\n");
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
        for (const char* stored :
             {"12c e 0 5 4d2", "0 ffffffff ff 2711 0", "ff 0 fe a 900", "1 d 1 2710 2200"}) {
            QByteArray text;
            for (const char* name :
                 {"Port", "Rate", "regDeviceAddress", "regprmRxTimeout", "CurrLanguageID"})
                text += '"' + QByteArray(name) + "\"=dword:" +
                        QByteArray(stored).split(' ')[text.count('\n')].rightJustified(8, '0') +
                        '\n';
            QVERIFY(writeFile(home.optionsFile(), readFile(home.optionsFile()) + text));
            TOptions options;
            options.setSaveOnDestroy(false);
            loaded << state(*options.DataContainer).section(' ', loaded.isEmpty() ? 1 : -5);
        }
        QCOMPARE(loaded.join('\n'),
                 "MainFrmLeft=-321 MainFrmTop=0 MainFrmHeight=450 MainFrmWidth=800 "
                 "WarningBeforeClosing=false "
                 "RestoreLastDocument=false LastDocument=/tmp/a \"b\"\\c.zorvan "
                 "CurrLanguageID=1234 Port=1 Rate=7 "
                 "regDeviceAddress=1 regprmRxTimeout=50\n"
                 "CurrLanguageID=0 Port=1 Rate=7 regDeviceAddress=1 regprmRxTimeout=50\n"
                 "CurrLanguageID=2304 Port=255 Rate=0 regDeviceAddress=254 regprmRxTimeout=10\n"
                 "CurrLanguageID=8704 Port=1 Rate=13 regDeviceAddress=1 regprmRxTimeout=10000");
    }
};
QTEST_GUILESS_MAIN(tst_DataContainer)
#include "tst_DataContainer.moc"
