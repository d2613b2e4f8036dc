#include "execution/TrafficLog.h"

#include <QSignalSpy>
#include <QtTest>


using zorvan::formatPackage;
using zorvan::TrafficLog;

namespace {

QByteArray hex(const char* text) {
    return QByteArray::fromHex(text);
}

} // namespace

class tst_TrafficLog : public QObject {
    Q_OBJECT
private slots:
    void format_data();
    void format();
    void appendAndClear();
    void outOfRangeRows();
    void memoryPerRow_data();
    void memoryPerRow();
};

void tst_TrafficLog::format_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("empty") << QByteArray() << QString();
    QTest::newRow("zero byte") << QByteArray(1, '\0') << "00 ";
    QTest::newRow("read request") << hex("010340000002D1CB") << "01 03 40 00 00 02 D1 CB ";
    QTest::newRow("upper-case, leading zero") << hex("ff0aa0") << "FF 0A A0 ";
    QTest::newRow("float reply") << hex("010304414800007bd1") << "01 03 04 41 48 00 00 7B D1 ";
}

void tst_TrafficLog::format() {
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(formatPackage(bytes), text);
}

void tst_TrafficLog::appendAndClear() {
    TrafficLog log;
    QCOMPARE(log.columnCount(), 2);
    QCOMPARE(log.headerData(0, Qt::Horizontal).toString(), QString("Direct"));
    QCOMPARE(log.headerData(1, Qt::Horizontal).toString(), QString("Package"));

    QSignalSpy inserted(&log, &QAbstractItemModel::rowsInserted);
    QSignalSpy reset(&log, &QAbstractItemModel::modelReset);
    const QList<QPair<bool, QByteArray>> rows{{true, hex("010340000002D1CB")},
                                              {false, hex("010304414800007BD1")},
                                              {true, QByteArray()},
                                              {false, hex("8F")}};
    for (const auto& [out, bytes] : rows)
        log.append(out, bytes);

    QCOMPARE(log.rowCount(), int(rows.size()));
    QCOMPARE(inserted.size(), int(rows.size()));
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(inserted[i][1].toInt(), i);
        QCOMPARE(inserted[i][2].toInt(), i);
        QCOMPARE(log.isOut(i), rows[i].first);
        QCOMPARE(log.bytes(i), rows[i].second);
        QCOMPARE(log.data(log.index(i, 0)).toString(), QString(rows[i].first ? "out" : "in"));
        QCOMPARE(log.data(log.index(i, 1)).toString(), formatPackage(rows[i].second));
        QCOMPARE(log.packageText(i), formatPackage(rows[i].second));
    }
    QCOMPARE(log.packageText(1), QString("01 03 04 41 48 00 00 7B D1 "));

    log.clear();
    QCOMPARE(reset.size(), 1);
    QCOMPARE(log.rowCount(), 0);
    QCOMPARE(log.memoryBytes(), std::size_t(0));
    // Rows after a clear start again from the beginning of the buffer.
    log.append(false, hex("0102"));
    QCOMPARE(log.rowCount(), 1);
    QCOMPARE(log.packageText(0), QString("01 02 "));
    QCOMPARE(log.directText(0), QString("in"));
}

void tst_TrafficLog::outOfRangeRows() {
    TrafficLog log;
    log.append(true, hex("0A0B"));
    for (int row : {-1, 1, 1000}) {
        QVERIFY(log.bytes(row).isEmpty());
        QVERIFY(log.packageText(row).isEmpty());
        QVERIFY(log.directText(row).isEmpty());
        QVERIFY(!log.isOut(row));
    }
    QVERIFY(!log.data(log.index(0, 1), Qt::EditRole).isValid());
}

void tst_TrafficLog::memoryPerRow_data() {
    QTest::addColumn<int>("frameSize");
    QTest::newRow("read request") << 8;
    QTest::newRow("reply of 20 registers") << 45;
    QTest::newRow("reply of 40 registers") << 85;
}

void tst_TrafficLog::memoryPerRow() {
    QFETCH(int, frameSize);
    constexpr int rows = 100000;
    QByteArray frame(frameSize, '\x5A');
    TrafficLog log;
    for (int i = 0; i < rows; ++i) {
        frame[0] = char(i);
        log.append(i % 2 == 0, frame);
    }
    // What the log holds, capacity included: the allocator's own figures miss blocks it maps
    // directly, so they differ between builds.
    const double perRow = double(log.memoryBytes()) / rows;
    qInfo("%d-byte frames: %.1f bytes per row", frameSize, perRow);
    // The packet bytes plus one word per row, with room for the buffers' geometric growth.
    QVERIFY2(perRow >= frameSize + 8 && perRow <= 2.0 * (frameSize + 8) + 4,
             qPrintable(QString::number(perRow)));
    // An hour at 100 rows per second stays under 100 MB.
    QVERIFY(perRow * 360000 < 100.0 * 1024 * 1024);
    QCOMPARE(log.bytes(rows - 1).at(0), char(rows - 1));
    QCOMPARE(log.isOut(rows - 1), false);
    log.clear();
    QCOMPARE(log.memoryBytes(), std::size_t(0));
}

QTEST_GUILESS_MAIN(tst_TrafficLog)
#include "tst_TrafficLog.moc"
