#include "TempConfigHome.h"
#include "ZorvanctlRun.h"
#include "settings/AppOptions.h"
#include "settings/RegistryStore.h"

#include <QProcess>
#include <QtTest>

using namespace zorvan;
using zorvan::test::TempConfigHome;

namespace {

using Run = zorvan::test::CtlRun;

Run zorvanctl(const QStringList& args) {
    return zorvan::test::runZorvanctl(QStringList{"options"} + args, 30000);
}

QByteArray readFile(const QString& name) {
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestOptionsCommand : public QObject {
    Q_OBJECT
private slots:
    void set_data();
    void set();
    void reset();
    void listShowsEverySetting();
    void unwritableStore();
};

void TestOptionsCommand::set_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("status");
    QTest::addColumn<QString>("name");    // the setting to look at in the store afterwards
    QTest::addColumn<QVariant>("stored"); // its stored dword or text; invalid: store unchanged
    QTest::addColumn<QString>("message"); // expected in the single line on standard error
    QTest::newRow("port") << QStringList{"set", "Port", "3"} << 0 << "Port" << QVariant(3u) << "";
    QTest::newRow("port by caption, any case")
        << QStringList{"set", "port", "com7"} << 0 << "Port" << QVariant(7u) << "";
    QTest::newRow("port 300 refused")
        << QStringList{"set", "Port", "300"} << 2 << "Port" << QVariant() << "allowed 1 to 255";
    QTest::newRow("timeout 5 refused") << QStringList{"set", "regprmRxTimeout", "5"} << 2
                                       << "regprmRxTimeout" << QVariant() << "allowed 10 to 10000";
    QTest::newRow("rate 14 refused")
        << QStringList{"set", "Rate", "14"} << 2 << "Rate" << QVariant() << "allowed 0 to 13";
    QTest::newRow("rate by caption")
        << QStringList{"set", "Rate", "0"} << 0 << "Rate" << QVariant(0u) << "";
    QTest::newRow("not a number") << QStringList{"set", "regDeviceAddress", "abc"} << 2
                                  << "regDeviceAddress" << QVariant() << "not a number";
    QTest::newRow("unknown setting") << QStringList{"set", "Nope", "1"} << 2 << "Port" << QVariant()
                                     << "no setting named 'Nope'";
    QTest::newRow("missing value")
        << QStringList{"set", "Port"} << 2 << "Port" << QVariant() << "NAME and a VALUE";
    QTest::newRow("boolean off") << QStringList{"set", "ViewToolBar", "off"} << 0 << "ViewToolBar"
                                 << QVariant(0u) << "";
    QTest::newRow("boolean refused") << QStringList{"set", "ViewToolBar", "maybe"} << 2
                                     << "ViewToolBar" << QVariant() << "not true or false";
    QTest::newRow("no limits") << QStringList{"set", "MainFrmLeft", "-5"} << 0 << "MainFrmLeft"
                               << QVariant(0xfffffffbu) << "";
    QTest::newRow("file name") << QStringList{"set", "LastDocument", "/a \"b\"\\c.zorvan"} << 0
                               << "LastDocument" << QVariant("/a \"b\"\\c.zorvan") << "";
}

void TestOptionsCommand::set() {
    QFETCH(QStringList, args);
    QFETCH(int, status);
    QFETCH(QString, name);
    QFETCH(QVariant, stored);
    QFETCH(QString, message);
    TempConfigHome home;
    {
        TOptions options; // a store with every start value
    }
    const QByteArray before = readFile(home.optionsFile());
    const Run r = zorvanctl(args);
    QCOMPARE(r.exitCode, status);
    if (message.isEmpty()) {
        QCOMPARE(r.err, QString());
    } else {
        QVERIFY2(r.err.contains(message), qPrintable(r.err));
        if (status == 2 && r.err.contains("refused"))
            QCOMPARE(r.err.count('\n'), 1);
    }
    if (!stored.isValid()) {
        QCOMPARE(readFile(home.optionsFile()), before);
        return;
    }
    const auto contents = RegistryText::parse(readFile(home.optionsFile()));
    QVERIFY(contents);
    const RegistryValue* v = contents->find(name);
    QVERIFY(v);
    if (v->type == RegistryValue::Type::Dword)
        QCOMPARE(v->dword, stored.toUInt());
    else
        QCOMPARE(v->text, stored.toString());
    // The program reads back what was set.
    TOptions options;
    options.setSaveOnDestroy(false);
    QVERIFY(!options.DataContainer->FindItem(name)->Modified());
}

void TestOptionsCommand::reset() {
    TempConfigHome home;
    {
        TOptions options;
        options.Port->setValue(9);
        options.regprmRxTimeout->setValue(700);
    }
    const Run r = zorvanctl({"reset"});
    QCOMPARE(r.exitCode, 0);
    TOptions options;
    options.setSaveOnDestroy(false);
    QCOMPARE(options.Port->Value(), 1);
    QCOMPARE(options.regprmRxTimeout->Value(), 50);
    QCOMPARE(options.WarningBeforeClosing->Value(), false);
    QCOMPARE(options.RestoreLastDocument->Value(), false);
    QCOMPARE(zorvanctl({"reset", "now"}).exitCode, 2);
}

void TestOptionsCommand::listShowsEverySetting() {
    TempConfigHome home;
    const Run r = zorvanctl({});
    QCOMPARE(r.exitCode, 0);
    QVERIFY(!QFile::exists(home.optionsFile())); // listing writes nothing
    const QStringList lines = r.out.split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 14);
    const QString port = lines.filter(QRegularExpression("^Port ")).value(0);
    for (const char* part : {"1 (COM1)", "1..255", "Подключение", "Номер COM-порта"})
        QVERIFY2(port.contains(part), qPrintable(port));
    const QString rate = lines.filter(QRegularExpression("^Rate ")).value(0);
    QVERIFY2(rate.contains("7 (9600)") && rate.contains("0..13"), qPrintable(rate));
    const QString left = lines.filter(QRegularExpression("^MainFrmLeft ")).value(0);
    QVERIFY2(left.contains("none") && left.contains("(hidden)"), qPrintable(left));
    const QString warning = lines.filter(QRegularExpression("^WarningBeforeClosing ")).value(0);
    QVERIFY2(warning.contains(QRegularExpression("true +false")), qPrintable(warning));
}

void TestOptionsCommand::unwritableStore() {
    TempConfigHome home;
    // The settings folder cannot be made: a file is in its way.
    QFile blocker(home.path() + "/Belmat");
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const Run r = zorvanctl({"set", "Port", "4"});
    QCOMPARE(r.exitCode, 1);
    QVERIFY2(r.err.contains("could not write"), qPrintable(r.err));
    QVERIFY(!r.out.contains("Port ="));
}

QTEST_GUILESS_MAIN(TestOptionsCommand)
#include "tst_OptionsCommand.moc"
