#include "TempConfigHome.h"
#include "settings/AppOptions.h"
#include "settings/RegistryStore.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace zorvan;
using zorvan::test::TempConfigHome;

namespace {

RegistryKeyContents readStore(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return RegistryText::parse(f.readAll()).value_or(RegistryKeyContents{});
}

void writeStore(const QString& file, const QByteArray& lines) {
    QDir().mkpath(QFileInfo(file).absolutePath());
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("Windows Registry Editor Version 5.00\n\n" + lines);
}

const QStringList allNames{"ViewToolBar",
                           "MainFrmLeft",
                           "MainFrmTop",
                           "MainFrmHeight",
                           "MainFrmWidth",
                           "WarningBeforeClosing",
                           "RestoreLastDocument",
                           "LastDocument",
                           "CurrLanguageID",
                           "Port",
                           "Rate",
                           "regDeviceAddress",
                           "regprmRxTimeout"};

} // namespace

class TestAppOptions : public QObject {
    Q_OBJECT
private slots:
    void firstStartWritesStartValues_data();
    void firstStartWritesStartValues();
    void settingsAsDescribed_data();
    void settingsAsDescribed();
    void registrationOrder();
    void storedValuesAtLoad_data();
    void storedValuesAtLoad();
    void setDefaults();
    void destructionTakesStateBeforeSaving();
    void programWideInstance();
};

void TestAppOptions::firstStartWritesStartValues_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("line");
    QTest::newRow("ViewToolBar") << "ViewToolBar"
                                 << "\"ViewToolBar\"=dword:00000001";
    QTest::newRow("MainFrmLeft") << "MainFrmLeft"
                                 << "\"MainFrmLeft\"=dword:00000000";
    QTest::newRow("MainFrmTop") << "MainFrmTop"
                                << "\"MainFrmTop\"=dword:00000000";
    QTest::newRow("MainFrmHeight") << "MainFrmHeight"
                                   << "\"MainFrmHeight\"=dword:000001c2";
    QTest::newRow("MainFrmWidth") << "MainFrmWidth"
                                  << "\"MainFrmWidth\"=dword:00000320";
    QTest::newRow("WarningBeforeClosing") << "WarningBeforeClosing"
                                          << "\"WarningBeforeClosing\"=dword:00000001";
    QTest::newRow("RestoreLastDocument") << "RestoreLastDocument"
                                         << "\"RestoreLastDocument\"=dword:00000001";
    QTest::newRow("LastDocument") << "LastDocument"
                                  << "\"LastDocument\"=\"\"";
    QTest::newRow("CurrLanguageID") << "CurrLanguageID"
                                    << "\"CurrLanguageID\"=dword:00001900";
    QTest::newRow("Port") << "Port"
                          << "\"Port\"=dword:00000001";
    QTest::newRow("Rate") << "Rate"
                          << "\"Rate\"=dword:00000007";
    QTest::newRow("regDeviceAddress") << "regDeviceAddress"
                                      << "\"regDeviceAddress\"=dword:00000001";
    QTest::newRow("regprmRxTimeout") << "regprmRxTimeout"
                                     << "\"regprmRxTimeout\"=dword:00000032";
}

void TestAppOptions::firstStartWritesStartValues() {
    QFETCH(QString, name);
    QFETCH(QString, line);
    TempConfigHome home;
    {
        TOptions options;
        QVERIFY(options.DataContainer->FindItem(name)->Modified());
        QVERIFY(!QFile::exists(home.optionsFile())); // loading writes nothing
    }
    QFile f(home.optionsFile());
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split('\n');
    QVERIFY(lines.contains(line));
    QCOMPARE(lines.filter(QRegularExpression("^\"")).size(), 13);

    // The second start finds every value and flags none.
    TOptions again;
    for (auto* v : again.DataContainer->Items())
        QVERIFY2(!v->Modified(), qPrintable(v->objectName()));
}

void TestAppOptions::settingsAsDescribed_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("category");
    QTest::addColumn<bool>("visible");
    QTest::newRow("ViewToolBar") << "ViewToolBar"
                                 << "Tool bar view"
                                 << "Application options" << true;
    QTest::newRow("MainFrmLeft") << "MainFrmLeft"
                                 << "int"
                                 << "Application options" << false;
    QTest::newRow("MainFrmTop") << "MainFrmTop"
                                << "int"
                                << "Application options" << false;
    QTest::newRow("MainFrmHeight") << "MainFrmHeight"
                                   << "int"
                                   << "Application options" << false;
    QTest::newRow("MainFrmWidth") << "MainFrmWidth"
                                  << "int"
                                  << "Application options" << false;
    QTest::newRow("WarningBeforeClosing") << "WarningBeforeClosing"
                                          << "Warning before application closing"
                                          << "Application options" << true;
    QTest::newRow("RestoreLastDocument") << "RestoreLastDocument"
                                         << "Open last file"
                                         << "Application options" << true;
    QTest::newRow("LastDocument") << "LastDocument"
                                  << "Last file name"
                                  << "Application options" << false;
    QTest::newRow("CurrLanguageID") << "CurrLanguageID"
                                    << "Current Language"
                                    << "Application options" << false;
    QTest::newRow("Port") << "Port"
                          << "Номер COM-порта"
                          << "Подключение" << true;
    QTest::newRow("Rate") << "Rate"
                          << "Скорость обмена"
                          << "Подключение" << true;
    QTest::newRow("regDeviceAddress") << "regDeviceAddress"
                                      << "Адрес устройства"
                                      << "Подключение" << true;
    QTest::newRow("regprmRxTimeout") << "regprmRxTimeout"
                                     << "Таймаут ответа от устройства"
                                     << "Подключение" << true;
}

void TestAppOptions::settingsAsDescribed() {
    QFETCH(QString, name);
    QFETCH(QString, caption);
    QFETCH(QString, category);
    QFETCH(bool, visible);
    TempConfigHome home;
    TOptions options;
    options.setSaveOnDestroy(false);
    const auto* v = options.DataContainer->FindItem(name);
    QVERIFY(v);
    QCOMPARE(v->Caption(), caption);
    QCOMPARE(v->Category()->Caption(), category);
    QCOMPARE(v->Visible(), visible);
    QVERIFY(!v->UserEditor());
}

void TestAppOptions::registrationOrder() {
    TempConfigHome home;
    TOptions options;
    options.setSaveOnDestroy(false);
    QStringList names;
    for (auto* v : options.DataContainer->Items())
        names << v->objectName();
    QCOMPARE(names, allNames);
    QCOMPARE(options.DataContainer->Categories(),
             (QList<TRegValueCategory*>{options.FrameworkOptions, options.ComunicationCategory}));
    QCOMPARE(options.DataContainer->KeyPath(),
             QString("\\Software\\Belmat\\Quillmark\\0\\MainOptions"));
    QCOMPARE(options.DataContainerDialog->DataContainer(), options.DataContainer);
    QCOMPARE(options.DataContainerDialog->MaxInstrumentalWidth(), 150);
    QCOMPARE(options.DataContainer->Description(), QString("Options"));
}

void TestAppOptions::storedValuesAtLoad_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("stored");
    QTest::addColumn<int>("expected");
    QTest::newRow("Port 300 refused") << "Port" << 300 << 1;
    QTest::newRow("Port 0 refused") << "Port" << 0 << 1;
    QTest::newRow("Port 3") << "Port" << 3 << 3;
    QTest::newRow("Port 255") << "Port" << 255 << 255;
    QTest::newRow("timeout 5 refused") << "regprmRxTimeout" << 5 << 50;
    QTest::newRow("timeout 10001 refused") << "regprmRxTimeout" << 10001 << 50;
    QTest::newRow("timeout 10000") << "regprmRxTimeout" << 10000 << 10000;
    QTest::newRow("Rate 14 refused") << "Rate" << 14 << 7;
    QTest::newRow("Rate 0") << "Rate" << 0 << 0;
    QTest::newRow("address 0 refused") << "regDeviceAddress" << 0 << 1;
    QTest::newRow("address 255 refused") << "regDeviceAddress" << 255 << 1;
    QTest::newRow("negative left") << "MainFrmLeft" << -1200 << -1200;
    QTest::newRow("unknown language kept") << "CurrLanguageID" << 1234 << 1234;
}

void TestAppOptions::storedValuesAtLoad() {
    QFETCH(QString, name);
    QFETCH(int, stored);
    QFETCH(int, expected);
    TempConfigHome home;
    writeStore(
        home.optionsFile(),
        QString("\"%1\"=dword:%2\n").arg(name).arg(quint32(stored), 8, 16, QChar('0')).toUtf8());
    TOptions options;
    auto* v = qobject_cast<TRegInteger*>(options.DataContainer->FindItem(name));
    QCOMPARE(v->Value(), expected);
    QVERIFY(!v->Modified());
    QVERIFY(options.ViewToolBar->Modified()); // missing ones are flagged
}

void TestAppOptions::setDefaults() {
    TempConfigHome home;
    { TOptions options; }
    TOptions options;
    options.Port->setValue(4);
    options.DataContainer->Save();
    options.DataContainer->SetDefaults();
    QCOMPARE(options.WarningBeforeClosing->Value(), false);
    QCOMPARE(options.RestoreLastDocument->Value(), false);
    QCOMPARE(options.Port->Value(), 1);
    QStringList flagged;
    for (auto* v : options.DataContainer->Items())
        if (v->Modified())
            flagged << v->objectName();
    QCOMPARE(flagged, (QStringList{"WarningBeforeClosing", "RestoreLastDocument", "Port"}));
    for (auto* v : options.DataContainer->Items())
        if (v != options.WarningBeforeClosing && v != options.RestoreLastDocument)
            QCOMPARE(v->variantValue(), v->variantDefValue());
}

// Geometry and the like are taken by the handlers outside the save, so they are written.
void TestAppOptions::destructionTakesStateBeforeSaving() {
    TempConfigHome home;
    { TOptions options; }
    {
        TOptions options;
        options.MainFrmLeft->OnUpdateResource = [&](bool update) {
            if (!update)
                options.MainFrmLeft->setValue(321);
        };
        options.LastDocument->setValue("/tmp/a \"b\"\\c.zorvan");
    }
    const auto stored = readStore(home.optionsFile());
    QCOMPARE(stored.find("MainFrmLeft")->dword, 321u);
    QCOMPARE(stored.find("LastDocument")->text, QString("/tmp/a \"b\"\\c.zorvan"));
    TOptions options;
    QCOMPARE(options.MainFrmLeft->Value(), 321);
    QCOMPARE(options.LastDocument->Value(), QString("/tmp/a \"b\"\\c.zorvan"));
}

void TestAppOptions::programWideInstance() {
    TempConfigHome home;
    QCOMPARE(Options(), nullptr);
    {
        TOptions first;
        first.setSaveOnDestroy(false);
        {
            TOptions second;
            second.setSaveOnDestroy(false);
            QCOMPARE(Options(), &first);
        }
        QCOMPARE(Options(), &first);
    }
    QCOMPARE(Options(), nullptr);
    QVERIFY(!QFile::exists(home.optionsFile()));
}

QTEST_GUILESS_MAIN(TestAppOptions)
#include "tst_AppOptions.moc"
