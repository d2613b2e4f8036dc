// A settings store text that reads is written back in a form that reads to the same values.

#include "settings/RegistryStore.h"

#include <QtTest>

using namespace zorvan;

class tst_RegistryTextRoundTrip : public QObject {
    Q_OBJECT
private slots:
    void stringReadsBackTheSame_data();
    void stringReadsBackTheSame();
};

void tst_RegistryTextRoundTrip::stringReadsBackTheSame_data() {
    QTest::addColumn<QByteArray>("line"); // the value V's line in the store
    QTest::addColumn<QString>("text");    // the text V holds

    QTest::newRow("plain") << QByteArray("\"V\"=\"/home/u/map.zorvan\"")
                           << QStringLiteral("/home/u/map.zorvan");
    QTest::newRow("quotes and backslashes")
        << QByteArray("\"V\"=\"a\\\"b\\\\c\"") << QStringLiteral("a\"b\\c");
    QTest::newRow("control characters")
        << QByteArray("\"V\"=\"a\x01\tb\x7f\"") << QStringLiteral("a\x01\tb\x7f");
    // A registry string ends at its first zero character in either form.
    QTest::newRow("zero character, quoted")
        << QByteArray("\"V\"=\"ab\0cd\"", 11) << QStringLiteral("ab");
    QTest::newRow("zero character, hex(1)")
        << QByteArray("\"V\"=hex(1):41,00,00,00,42,00,00,00") << QStringLiteral("A");
}

void tst_RegistryTextRoundTrip::stringReadsBackTheSame() {
    QFETCH(QByteArray, line);
    QFETCH(QString, text);
    const auto read = RegistryText::parse("Windows Registry Editor Version 5.00\n\n" + line + "\n");
    QVERIFY(read.has_value());
    QVERIFY(read->find("V"));
    QCOMPARE(read->find("V")->type, RegistryValue::Type::String);
    QCOMPARE(read->find("V")->text, text);

    const QByteArray written = RegistryText::format(*read);
    const auto again = RegistryText::parse(written);
    QVERIFY2(again.has_value(), written.constData());
    QVERIFY(again->values == read->values);
    QCOMPARE(RegistryText::format(*again), written);
}

QTEST_GUILESS_MAIN(tst_RegistryTextRoundTrip)
#include "tst_RegistryTextRoundTrip.moc"
