// A settings store text that reads is written back in a form that reads to the same values.

#include "settings/RegistryStore.h"

#include <QtTest>

using namespace zorvan;

namespace {
QString units(std::initializer_list<char16_t> codes) {
    QString text;
    for (const char16_t c : codes)
        text.append(QChar(c));
    return text;
}
} // namespace

class tst_RegistryTextRoundTrip : public QObject {
    Q_OBJECT
private slots:
    void stringReadsBackTheSame_data();
    void stringReadsBackTheSame();
    void utf16Text_data();
    void utf16Text();
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

void tst_RegistryTextRoundTrip::utf16Text_data() {
    QTest::addColumn<QString>("name"); // of the one value, as UTF-16 code units
    QTest::addColumn<bool>("readable");
    QTest::newRow("pair") << units({u'a', 0xD83D, 0xDE00, u'b'}) << true;
    QTest::newRow("lone low surrogate") << units({u'a', 0xDE66, u'b'}) << false;
    QTest::newRow("lone high surrogate") << units({u'a', u'b', 0xD83D}) << false;
    QTest::newRow("two high surrogates") << units({0xD83D, 0xD83D, 0xDE00}) << false;
}

// regedit writes UTF-16 with a byte-order mark: a text that is not valid UTF-16 is damage.
void tst_RegistryTextRoundTrip::utf16Text() {
    QFETCH(QString, name);
    QFETCH(bool, readable);
    const QString text = QStringLiteral("Windows Registry Editor Version 5.00\r\n\r\n\"") + name +
                         QStringLiteral("\"=dword:00000001\r\n");
    QByteArray bytes("\xFF\xFE");
    for (const QChar c : text)
        bytes.append(char(c.unicode() & 0xFF)).append(char(c.unicode() >> 8));
    const auto read = RegistryText::parse(bytes);
    QCOMPARE(read.has_value(), readable);
    if (!readable)
        return;
    QVERIFY(read->find(name));
    const auto again = RegistryText::parse(RegistryText::format(*read));
    QVERIFY(again.has_value());
    QVERIFY(again->values == read->values);
}

QTEST_GUILESS_MAIN(tst_RegistryTextRoundTrip)
#include "tst_RegistryTextRoundTrip.moc"
