// The map report of `zorvanctl map show`: one tab-separated row of six fields per channel,
// whatever the names and notes hold.

#include "document/ChannelMapText.h"
#include "document/CnlImage.h"

#include <QtTest>

using namespace zorvan;

class tst_ChannelMapReport : public QObject {
    Q_OBJECT
private slots:
    void rowShowsTheChannel_data();
    void rowShowsTheChannel();
    void headerLines();
};

void tst_ChannelMapReport::rowShowsTheChannel_data() {
    QTest::addColumn<int>("paramType");
    QTest::addColumn<QString>("tagName");
    QTest::addColumn<QString>("note");
    QTest::addColumn<QString>("row"); // the second channel's row; the first is a Long

    QTest::newRow("plain") << 1 << "T1"
                           << ""
                           << "2\tUInt\t8\tT1\t\t-3";
    QTest::newRow("placeholder in the note") << 0 << "P"
                                             << "50%1 %2"
                                             << "2\tInt\t8\tP\t50%1 %2\t-3";
    QTest::newRow("placeholders in the name") << 4 << "%1%6"
                                              << "%3"
                                              << "2\tFloat\t8\t%1%6\t%3\t-3";
    QTest::newRow("tabs and line breaks")
        << 3 << QStringLiteral("A\tB") << QStringLiteral("x\r\ny\tz")
        << "2\tULong\t8\tA B\tx  y z\t-3";
    QTest::newRow("zero-padded name, no type")
        << 9 << QStringLiteral("TEMP") + QString(8, QChar(0)) << ""
        << "2\t\t8\tTEMP\t\t-3";
}

void tst_ChannelMapReport::rowShowsTheChannel() {
    QFETCH(int, paramType);
    QFETCH(QString, tagName);
    QFETCH(QString, note);
    QFETCH(QString, row);
    TChannelImage image;
    TChannelItem* first = image.Map()->Add();
    first->ParamType = 2;
    first->TagName = QStringLiteral("%2");
    TChannelItem* second = image.Map()->Add();
    second->Channel = 7;
    second->ParamType = paramType;
    second->TagIndex = -3;
    second->TagName = tagName;
    second->Note = note;

    const QStringList lines = ChannelMapReport(image).split(u'\n');
    QCOMPARE(lines.size(), 7); // four header lines, two rows, nothing after the last line end
    QCOMPARE(lines[4], QStringLiteral("0\tLong\t1\t%2\t\t0"));
    QCOMPARE(lines[5], row);
    QCOMPARE(lines[6], QString());
}

void tst_ChannelMapReport::headerLines() {
    TChannelImage image;
    image.BaseAdr = 0;
    image.Options = 6;
    QCOMPARE(ChannelMapReport(image),
             QStringLiteral("BaseAdr\t0\nOptions\t6\tw:01 - dw:1032\n"
                            "Channels\t0\n"
                            "Offset\tType\tChannel\tName\tNote\tTagIndex\n"));
    image.Options = 8;
    QVERIFY(ChannelMapReport(image).contains(QStringLiteral("Options\t8\t\n")));
}

QTEST_GUILESS_MAIN(tst_ChannelMapReport)
#include "tst_ChannelMapReport.moc"
