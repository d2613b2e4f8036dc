#include "components/ui/ThemeIcon.h"

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using namespace zorvan;

namespace {

// Every name the windows ask for; each must have a bundled drawing.
const QStringList kRequired = {"document-new",
                               "document-open",
                               "document-save",
                               "document-save-as",
                               "media-flash",
                               "preferences-system",
                               "media-playback-start",
                               "media-playback-stop",
                               "edit-clear",
                               "go-up",
                               "go-down",
                               "view-refresh",
                               "system-run",
                               "edit-delete",
                               "document-properties",
                               "document-edit",
                               "list-add",
                               "view-list-details",
                               "x-office-spreadsheet",
                               "network-transmit-receive",
                               "emblem-important",
                               "zorvan-value-16bit",
                               "zorvan-value-32bit",
                               "zorvan-value-float",
                               "zorvan"};

const QColor kThemeRed(255, 0, 0);
const QColor kThemeBlue(0, 0, 255);

QImage render(const QIcon& icon, int size) {
    return icon.pixmap(QSize(size, size)).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool writeSolidPng(const QString& path, int size, const QColor& colour) {
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(colour);
    return QDir().mkpath(QFileInfo(path).path()) && image.save(path, "PNG");
}

} // namespace

class TestThemeIcon : public QObject {
    Q_OBJECT

    QTemporaryDir m_themes;

private slots:
    void initTestCase();
    void bundledIconRenders_data();
    void bundledIconRenders();
    void themeOrBundled_data();
    void themeOrBundled();
    void applicationIconPrefersTheme();
    void contactSheet();
};

// A private icon theme with two icons only, so that the test decides what "the theme has" is.
void TestThemeIcon::initTestCase() {
    QVERIFY(m_themes.isValid());
    const QString root = m_themes.filePath("zorvan-test");
    QVERIFY(QDir().mkpath(root));
    QFile index(root + "/index.theme");
    QVERIFY(index.open(QIODevice::WriteOnly));
    index.write("[Icon Theme]\nName=zorvan-test\nComment=test\nDirectories=24x24/actions,"
                "48x48/apps\n\n[24x24/actions]\nSize=24\nType=Fixed\n\n[48x48/apps]\nSize=48\n"
                "Type=Scalable\nMinSize=8\nMaxSize=256\n");
    index.close();
    QVERIFY(writeSolidPng(root + "/24x24/actions/document-open.png", 24, kThemeRed));
    QVERIFY(writeSolidPng(root + "/48x48/apps/zorvan.png", 48, kThemeBlue));
    QIcon::setThemeSearchPaths({m_themes.path()});
    QIcon::setFallbackSearchPaths({});
    QIcon::setThemeName("zorvan-test");
    QIcon::setFallbackThemeName("zorvan-test");
}

void TestThemeIcon::bundledIconRenders_data() {
    QTest::addColumn<QString>("name");
    QSet<QString> seen;
    for (const QStringList& list : {kRequired, bundledIconNames()})
        for (const QString& name : list)
            if (!seen.contains(name)) {
                seen.insert(name);
                QTest::newRow(qPrintable(name)) << name;
            }
}

// A drawing that is missing, malformed or unreadable (no SVG support at run time) paints nothing
// or one flat colour; a real icon covers part of its square with more than one colour.
void TestThemeIcon::bundledIconRenders() {
    QFETCH(QString, name);
    const QIcon icon = bundledIcon(name);
    QVERIFY2(!icon.isNull(), "not bundled");
    for (int size : {16, 24, 32, 64}) {
        const QImage image = render(icon, size);
        QCOMPARE(image.size(), QSize(size, size));
        int covered = 0;
        QSet<QRgb> colours;
        for (int y = 0; y < size; ++y)
            for (int x = 0; x < size; ++x) {
                const QRgb p = image.pixel(x, y);
                if (qAlpha(p) > 128) {
                    ++covered;
                    colours.insert(p);
                }
            }
        const double share = double(covered) / (size * size);
        QVERIFY2(share > 0.08, qPrintable(QString("size %1: covers %2").arg(size).arg(share)));
        QVERIFY2(colours.size() >= 2, qPrintable(QString("size %1: one colour").arg(size)));
    }
}

void TestThemeIcon::themeOrBundled_data() {
    QTest::addColumn<QString>("themeName");
    QTest::addColumn<bool>("withFallback");
    QTest::addColumn<QString>("fallback");
    // "theme": the private theme's red square; "app": its blue one; a name: that bundled drawing;
    // empty: null icon.
    QTest::addColumn<QString>("expected");

    QTest::newRow("theme has it") << "document-open" << false << QString() << "theme";
    QTest::newRow("theme has it, other fallback") << "document-open" << true << "go-up"
                                                  << "theme";
    QTest::newRow("theme lacks it") << "document-save" << false << QString() << "document-save";
    QTest::newRow("fallback by name") << "absent" << true << "go-down"
                                      << "go-down";
    QTest::newRow("fallback by path") << "absent" << true << ":/icons/go-up.svg"
                                      << "go-up";
    QTest::newRow("empty theme name") << "" << true << "edit-clear"
                                      << "edit-clear";
    QTest::newRow("nowhere") << "absent" << false << QString() << QString();
    // Themes shorten a name at its last dash: "zorvan-value-16bit" finds the theme's "zorvan".
    QTest::newRow("shortened in theme") << "zorvan-value-16bit" << false << QString() << "app";
    QTest::newRow("unknown fallback") << "absent" << true << "absent" << QString();
    QTest::newRow("fallback outside") << "absent" << true << ":/icons/../x.svg" << QString();
    QTest::newRow("empty fallback") << "absent" << true << "" << QString();
}

void TestThemeIcon::themeOrBundled() {
    QFETCH(QString, themeName);
    QFETCH(bool, withFallback);
    QFETCH(QString, fallback);
    QFETCH(QString, expected);

    const QIcon icon = withFallback ? themeIcon(themeName, fallback) : themeIcon(themeName);
    if (expected.isEmpty()) {
        QVERIFY(icon.isNull());
        return;
    }
    QVERIFY(!icon.isNull());
    const QImage image = render(icon, 24);
    if (expected == "theme" || expected == "app") {
        QCOMPARE(image.pixelColor(12, 12), expected == "theme" ? kThemeRed : kThemeBlue);
        return;
    }
    QCOMPARE(image, render(bundledIcon(expected), 24));
}

void TestThemeIcon::applicationIconPrefersTheme() {
    QCOMPARE(render(applicationIcon(), 48).pixelColor(24, 24), kThemeBlue);
    // Without an icon theme at all, the bundled copy of the installed icon.
    QIcon::setThemeName("zorvan-absent");
    QIcon::setFallbackThemeName("zorvan-absent");
    const QImage bundled = render(applicationIcon(), 48);
    QIcon::setThemeName("zorvan-test");
    QIcon::setFallbackThemeName("zorvan-test");
    QCOMPARE(bundled, render(bundledIcon("zorvan"), 48));
    QVERIFY(bundled.pixelColor(24, 24) != kThemeBlue);
}

// Every bundled drawing at the sizes the windows use, on light and dark ground, for a person to
// look at: build/.../test-output/icons.png.
void TestThemeIcon::contactSheet() {
    const QStringList names = bundledIconNames();
    QVERIFY(names.size() >= kRequired.size());
    const int cell = 110, columns = 8, rows = int((names.size() + columns - 1) / columns);
    QImage sheet(columns * cell * 2, rows * cell, QImage::Format_ARGB32);
    sheet.fill(Qt::white);
    QPainter painter(&sheet);
    painter.fillRect(columns * cell, 0, columns * cell, rows * cell, QColor(0x30, 0x33, 0x38));
    for (int i = 0; i < names.size(); ++i) {
        const QIcon icon = bundledIcon(names[i]);
        for (int ground = 0; ground < 2; ++ground) {
            const QPoint origin(ground * columns * cell + (i % columns) * cell,
                                (i / columns) * cell);
            painter.drawPixmap(origin + QPoint(4, 4), icon.pixmap(16));
            painter.drawPixmap(origin + QPoint(26, 4), icon.pixmap(24));
            painter.drawPixmap(origin + QPoint(56, 4), icon.pixmap(32));
            painter.drawPixmap(origin + QPoint(4, 40), icon.pixmap(64));
        }
    }
    painter.end();
    const QString dir = QStringLiteral(ZORVAN_TEST_OUTPUT_DIR);
    QVERIFY(sheet.save(dir + "/icons.png", "PNG"));

    // The 24-pixel renders magnified, to judge them pixel by pixel.
    QImage pixels(columns * 24, rows * 24, QImage::Format_ARGB32);
    pixels.fill(Qt::white);
    QPainter small(&pixels);
    for (int i = 0; i < names.size(); ++i)
        small.drawPixmap((i % columns) * 24, (i / columns) * 24, bundledIcon(names[i]).pixmap(24));
    small.end();
    QVERIFY(pixels.scaled(pixels.size() * 4).save(dir + "/icons-24-magnified.png", "PNG"));
}

QTEST_MAIN(TestThemeIcon)
#include "tst_ThemeIcon.moc"
