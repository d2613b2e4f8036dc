// The device simulator's registers, driven through libmodbus as an independent master: the tag
// catalogue, the map upload and the map entries, the value block in every byte order, flash.

#include "DevsimProcess.h"
#include "LibmodbusMaster.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <array>
#include <bit>
#include <memory>

using zorvan::test::DevsimProcess;
using zorvan::test::LibmodbusMaster;
using Registers = std::vector<std::uint16_t>;

namespace {

constexpr int tagIndexReg = 12289;
constexpr int actionReg = 12290;
constexpr int errorReg = 12291;
constexpr int optionsReg = 12292;
constexpr int countReg = 12302;
constexpr int entryReg = 12303;
constexpr int valueBase = 16384;

// Six tags: every type, a name of all 12 bytes, a Cyrillic one (Windows-1251 on the wire).
const char* const catalogueText = "# channel type name\n"
                                  "10 0 INT_TAG\n"
                                  "\n"
                                  "11 1 UINT   # trailing comment\n"
                                  "12 2 LONG_VALUE\n"
                                  "13 3 ULONG\n"
                                  "14 4 Давление\n"
                                  "300 2 TWELVE_CHARS\n";

struct ExpectedTag {
    std::uint16_t channel;
    std::uint16_t type;
    Registers name; // six registers, characters in reading order
};

const std::vector<ExpectedTag>& fileTags() {
    static const std::vector<ExpectedTag> tags = {
        {10, 0, {0x494E, 0x545F, 0x5441, 0x4700, 0, 0}},
        {11, 1, {0x5549, 0x4E54, 0, 0, 0, 0}},
        {12, 2, {0x4C4F, 0x4E47, 0x5F56, 0x414C, 0x5545, 0}},
        {13, 3, {0x554C, 0x4F4E, 0x4700, 0, 0, 0}},
        {14, 4, {0xC4E0, 0xE2EB, 0xE5ED, 0xE8E5, 0, 0}},
        {300, 2, {0x5457, 0x454C, 0x5645, 0x5F43, 0x4841, 0x5253}},
    };
    return tags;
}

// Registers 12288-12301 as the host reads them.
struct Shown {
    std::uint16_t tagIndex = 0;
    std::uint16_t error = 0;
    std::uint32_t options = 0;
    std::uint16_t channel = 0;
    std::uint16_t type = 0;
    Registers name;
};

std::optional<Shown> readShown(LibmodbusMaster& master) {
    const auto r = master.read(12288, 14);
    if (!r) {
        return std::nullopt;
    }
    Shown shown;
    shown.tagIndex = (*r)[1];
    shown.error = (*r)[3];
    shown.options = (std::uint32_t((*r)[4]) << 16) | (*r)[5];
    shown.channel = (*r)[6];
    shown.type = (*r)[7];
    shown.name.assign(r->begin() + 8, r->end());
    return shown;
}

// The host's upload: Action 1, 2, options, (TagIndex, Action 3, Error)..., Action 4.
bool uploadMap(LibmodbusMaster& master, std::uint32_t options, const QList<int>& indexes,
               QList<int>* errors) {
    if (!master.write1(actionReg, 1) || !master.write1(actionReg, 2) ||
        !master.write(optionsReg, {std::uint16_t(options >> 16), std::uint16_t(options)})) {
        return false;
    }
    for (const int index : indexes) {
        if (!master.write1(tagIndexReg, std::uint16_t(index)) || !master.write1(actionReg, 3)) {
            return false;
        }
        const auto error = master.read1(errorReg);
        if (!error) {
            return false;
        }
        errors->append(*error);
    }
    return master.write1(actionReg, 4);
}

// Encodes a value the way the device's byte-order table puts it on the wire.
Registers wireOrder(std::uint32_t value, int registers, std::uint32_t options) {
    const auto byte = [value](int n) { return std::uint16_t((value >> (8 * n)) & 0xFF); };
    if (registers == 1) {
        return (options & 4) == 0 ? Registers{std::uint16_t(value)}
                                  : Registers{std::uint16_t((byte(0) << 8) | byte(1))};
    }
    static const int order[4][4] = {{3, 2, 1, 0}, {1, 0, 3, 2}, {2, 3, 0, 1}, {0, 1, 2, 3}};
    const int* o = order[options & 3];
    return {std::uint16_t((byte(o[0]) << 8) | byte(o[1])),
            std::uint16_t((byte(o[2]) << 8) | byte(o[3]))};
}

} // namespace

class TestDeviceRegisters : public QObject {
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_cataloguePath;

    std::unique_ptr<DevsimProcess> device(const QStringList& arguments) {
        auto process = std::make_unique<DevsimProcess>();
        if (!process->start(arguments)) {
            qWarning() << "simulator did not start:" << process->errorText();
            return nullptr;
        }
        return process;
    }

    QStringList withCatalogue(QStringList arguments = {}) const {
        return arguments << QStringLiteral("--catalogue") << m_cataloguePath;
    }

private slots:
    void initTestCase() {
        if (DevsimProcess::program().isEmpty()) {
            QSKIP("no simulator in this build");
        }
        QVERIFY(m_dir.isValid());
        m_cataloguePath = m_dir.filePath(QStringLiteral("catalogue.txt"));
        QFile file(m_cataloguePath);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(catalogueText);
    }

    void firstLineNamesSlaveAndPty_data() {
        QTest::addColumn<int>("address");
        QTest::newRow("default address") << 0;
        QTest::newRow("address 17") << 17;
    }
    void firstLineNamesSlaveAndPty() {
        QFETCH(int, address);
        QStringList arguments;
        if (address != 0) {
            arguments << QStringLiteral("--address") << QString::number(address);
        }
        auto sim = device(arguments);
        QVERIFY(sim);
        QCOMPARE(sim->firstLine(), QStringLiteral("zorvan-devsim: slave %1 on %2")
                                       .arg(address == 0 ? 1 : address)
                                       .arg(sim->ptyPath()));
        QVERIFY(sim->ptyPath().startsWith(QLatin1String("/dev/pts/")));
        // Answers at that address only; a request for another one must not cost the next.
        LibmodbusMaster master(sim->ptyPath(), address == 0 ? 1 : address, 300);
        QVERIFY(master.connected());
        QVERIFY(master.read1(12288).has_value());
        master.setSlave(address == 0 ? 2 : 1);
        QVERIFY(!master.read1(12288).has_value());
        QCOMPARE(master.lastError(), ETIMEDOUT);
        master.setSlave(address == 0 ? 1 : address);
        QCOMPARE(master.read1(12288), std::optional<std::uint16_t>(16384));
        QCOMPARE(sim->stop(), 0);
    }

    // The host's catalogue read: TagIndex i, read 14 registers, until Error 1.
    void catalogueWalk_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("count");
        QTest::newRow("file") << QByteArray(catalogueText) << 6;
        QTest::newRow("empty catalogue") << QByteArray("# nothing\n") << 0;
    }
    void catalogueWalk() {
        QFETCH(QByteArray, text);
        QFETCH(int, count);
        const QString path = m_dir.filePath(QStringLiteral("walk.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        auto sim = device({QStringLiteral("--catalogue"), path});
        QVERIFY(sim);
        LibmodbusMaster master(sim->ptyPath());
        QVERIFY(master.connected());
        int index = 0;
        for (;; ++index) {
            QVERIFY(master.write1(tagIndexReg, std::uint16_t(index)));
            const auto shown = readShown(master);
            QVERIFY(shown);
            QCOMPARE(shown->tagIndex, index);
            if (shown->error == 1) {
                break;
            }
            QCOMPARE(shown->error, 0);
            QVERIFY(index < int(fileTags().size()));
            const ExpectedTag& expected = fileTags()[std::size_t(index)];
            QCOMPARE(shown->channel, expected.channel);
            QCOMPARE(shown->type, expected.type);
            QCOMPARE(shown->name, expected.name);
        }
        QCOMPARE(index, count);
        // Far past the end is refused as well, and a valid index clears the error again.
        QVERIFY(master.write1(tagIndexReg, 0xFFFF));
        QCOMPARE(readShown(master)->error, 1);
        if (count > 0) {
            QVERIFY(master.write1(tagIndexReg, 1));
            QCOMPARE(readShown(master)->error, 0);
            QCOMPARE(readShown(master)->channel, fileTags()[1].channel);
        }
        QCOMPARE(sim->stop(), 0);
    }

    void builtInCatalogue() {
        auto sim = device({});
        QVERIFY(sim);
        LibmodbusMaster master(sim->ptyPath());
        QVERIFY(master.connected());
        QSet<int> types;
        int padded = 0;
        int cyrillic = 0;
        int tags = 0;
        for (;; ++tags) {
            QVERIFY(tags < 256);
            QVERIFY(master.write1(tagIndexReg, std::uint16_t(tags)));
            const auto shown = readShown(master);
            QVERIFY(shown);
            if (shown->error == 1) {
                break;
            }
            types.insert(shown->type);
            QByteArray name;
            for (const std::uint16_t r : shown->name) {
                name.append(char(r >> 8)).append(char(r & 0xFF));
            }
            // Zero bytes only at the end, after at least one character.
            const qsizetype zero = name.indexOf('\0');
            QVERIFY2(zero != 0, name.toHex().constData());
            if (zero > 0) {
                ++padded;
                QCOMPARE(name.mid(zero), QByteArray(name.size() - zero, '\0'));
            }
            if (std::any_of(name.begin(), name.end(),
                            [](char c) { return std::uint8_t(c) >= 0xC0; })) {
                ++cyrillic;
            }
        }
        QVERIFY2(tags >= 25 && tags <= 40, QByteArray::number(tags).constData());
        QCOMPARE(types, (QSet<int>{0, 1, 2, 3, 4}));
        QVERIFY(padded > 0);
        QVERIFY(padded < tags);
        QVERIFY(cyrillic >= 2);
        QCOMPARE(sim->stop(), 0);
    }

    void catalogueFileErrors_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("type not a number") << QByteArray("1 0 A\n2 x B\n") << "walk-bad.txt:2:";
        QTest::newRow("name too long")
            << QByteArray("# c\n1 4 THIRTEEN_CHAR\n") << "longer than 12 bytes";
        QTest::newRow("channel too big") << QByteArray("70000 1 A\n") << "walk-bad.txt:1:";
        QTest::newRow("no name") << QByteArray("1 2\n") << "channel type name";
        QTest::newRow("outside Windows-1251") << QByteArray("1 2 名字\n") << "outside Windows-1251";
    }
    void catalogueFileErrors() {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        const QString path = m_dir.filePath(QStringLiteral("walk-bad.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        DevsimProcess sim;
        QVERIFY(!sim.start({QStringLiteral("--catalogue"), path}));
        QVERIFY(sim.waitForExit());
        QCOMPARE(sim.exitCode(), 2);
        QVERIFY2(sim.standardError().contains(message), qPrintable(sim.standardError()));
    }

    // One or more uploads in the host's order, then the map as prmCurrMapTagIndex shows it.
    void upload_data() {
        QTest::addColumn<int>("capacity");
        QTest::addColumn<QList<QList<int>>>("uploads");
        QTest::addColumn<QList<int>>("errors"); // Error after each Action 3 of the last upload
        QTest::addColumn<QList<int>>("map");    // tag indexes of the resulting map
        QTest::newRow("three tags, one twice")
            << 64 << QList<QList<int>>{{2, 0, 2}} << QList<int>{0, 0, 0} << QList<int>{2, 0, 2};
        QTest::newRow("bad index skipped") << 64 << QList<QList<int>>{{1, 6, 0, 999}}
                                           << QList<int>{0, 1, 0, 1} << QList<int>{1, 0};
        QTest::newRow("past capacity")
            << 2 << QList<QList<int>>{{0, 1, 2, 3}} << QList<int>{0, 0, 2, 2} << QList<int>{0, 1};
        QTest::newRow("capacity 0") << 0 << QList<QList<int>>{{4}} << QList<int>{2} << QList<int>{};
        QTest::newRow("second upload replaces")
            << 64 << QList<QList<int>>{{0, 1, 2}, {5}} << QList<int>{0} << QList<int>{5};
        QTest::newRow("empty upload")
            << 64 << QList<QList<int>>{{3, 4}, {}} << QList<int>{} << QList<int>{};
    }
    void upload() {
        QFETCH(int, capacity);
        QFETCH(QList<QList<int>>, uploads);
        QFETCH(QList<int>, errors);
        QFETCH(QList<int>, map);
        auto sim = device(withCatalogue({QStringLiteral("--capacity"), QString::number(capacity)}));
        QVERIFY(sim);
        LibmodbusMaster master(sim->ptyPath());
        QVERIFY(master.connected());
        const std::uint32_t options = 0x00010005; // high word too, so both halves count
        QList<int> seen;
        for (const QList<int>& indexes : uploads) {
            seen.clear();
            QVERIFY(uploadMap(master, options, indexes, &seen));
        }
        QCOMPARE(seen, errors);
        QCOMPARE(master.read1(actionReg), std::optional<std::uint16_t>(0));
        QCOMPARE(master.read1(countReg), std::optional<std::uint16_t>(map.size()));
        QCOMPARE(readShown(master)->options, options);
        for (int i = 0; i < map.size(); ++i) {
            QVERIFY(master.write1(entryReg, std::uint16_t(i)));
            QCOMPARE(master.read1(entryReg), std::optional<std::uint16_t>(i));
            const auto shown = readShown(master);
            QVERIFY(shown);
            const ExpectedTag& tag = fileTags()[std::size_t(map[i])];
            QCOMPARE(shown->error, 0);
            QCOMPARE(shown->tagIndex, map[i]);
            QCOMPARE(shown->channel, tag.channel);
            QCOMPARE(shown->type, tag.type);
            QCOMPARE(shown->name, tag.name);
        }
        QVERIFY(master.write1(entryReg, std::uint16_t(map.size())));
        QCOMPARE(readShown(master)->error, 1);
        // The count is the device's: a write does not change it.
        QVERIFY(master.write1(countReg, 40));
        QCOMPARE(master.read1(countReg), std::optional<std::uint16_t>(map.size()));
        QCOMPARE(sim->stop(), 0);
    }

    // Clearing the map keeps the options: a host that finds its options unchanged does not
    // send them again after Action 2.
    void clearKeepsOptions() {
        auto sim = device(withCatalogue());
        QVERIFY(sim);
        LibmodbusMaster master(sim->ptyPath());
        QList<int> errors;
        QVERIFY(uploadMap(master, 6, {1, 2}, &errors));
        QVERIFY(master.write1(actionReg, 1));
        QVERIFY(master.write1(actionReg, 2));
        QCOMPARE(master.read1(countReg), std::optional<std::uint16_t>(0));
        QCOMPARE(readShown(master)->options, 6u);
        QCOMPARE(sim->stop(), 0);
    }

    // Map Int, Float, UInt, Long, ULong: registers 16384, 16385-6, 16387, 16388-9, 16390-1.
    void valueBlockLayout_data() {
        QTest::addColumn<std::uint32_t>("options");
        QTest::addColumn<Registers>("expected");
        // Int -32767 (0x8001), Float pi (0x40490FDB), UInt 0xABCD, Long -123456789
        // (0xF8A432EB), ULong 0x12345678, laid out by hand from the byte-order table.
        QTest::newRow("0 w:10 dw:3210")
            << 0u << Registers{0x8001, 0x4049, 0x0FDB, 0xABCD, 0xF8A4, 0x32EB, 0x1234, 0x5678};
        QTest::newRow("1 w:10 dw:0123")
            << 1u << Registers{0x8001, 0x0FDB, 0x4049, 0xABCD, 0x32EB, 0xF8A4, 0x5678, 0x1234};
        QTest::newRow("2 w:10 dw:1032")
            << 2u << Registers{0x8001, 0x4940, 0xDB0F, 0xABCD, 0xA4F8, 0xEB32, 0x3412, 0x7856};
        QTest::newRow("3 w:10 dw:2301")
            << 3u << Registers{0x8001, 0xDB0F, 0x4940, 0xABCD, 0xEB32, 0xA4F8, 0x7856, 0x3412};
        QTest::newRow("4 w:01 dw:3210")
            << 4u << Registers{0x0180, 0x4049, 0x0FDB, 0xCDAB, 0xF8A4, 0x32EB, 0x1234, 0x5678};
        QTest::newRow("5 w:01 dw:0123")
            << 5u << Registers{0x0180, 0x0FDB, 0x4049, 0xCDAB, 0x32EB, 0xF8A4, 0x5678, 0x1234};
        QTest::newRow("6 w:01 dw:1032")
            << 6u << Registers{0x0180, 0x4940, 0xDB0F, 0xCDAB, 0xA4F8, 0xEB32, 0x3412, 0x7856};
        QTest::newRow("7 w:01 dw:2301")
            << 7u << Registers{0x0180, 0xDB0F, 0x4940, 0xCDAB, 0xEB32, 0xA4F8, 0x7856, 0x3412};
    }
    void valueBlockLayout() {
        QFETCH(std::uint32_t, options);
        QFETCH(Registers, expected);
        auto sim = device(withCatalogue());
        QVERIFY(sim);
        LibmodbusMaster master(sim->ptyPath());
        QList<int> errors;
        QVERIFY(uploadMap(master, 0, {0, 4, 1, 2, 3}, &errors));
        QCOMPARE(errors, (QList<int>{0, 0, 0, 0, 0}));
        const Registers canonical = {0x8001, 0x4049, 0x0FDB, 0xABCD,
                                     0xF8A4, 0x32EB, 0x1234, 0x5678};
        const auto setOptions = [&](std::uint32_t value) {
            return master.write(optionsReg, {std::uint16_t(value >> 16), std::uint16_t(value)});
        };

        // Written in the plain order, read in the chosen one.
        QVERIFY(master.write(valueBase, canonical));
        QVERIFY(setOptions(options));
        QCOMPARE(master.read(valueBase, 8), std::optional<Registers>(expected));
        // One register per 16-bit entry and two per 32-bit entry, nothing after them.
        QVERIFY(!master.read(valueBase, 9));
        QCOMPARE(master.lastError(), EMBXILADD);

        // Written in the chosen order, read in the plain one; zeros first so that a write that
        // changed nothing shows.
        QVERIFY(setOptions(0));
        QVERIFY(master.write(valueBase, Registers(8, 0)));
        QVERIFY(setOptions(options));
        QVERIFY(master.write(valueBase, expected));
        QVERIFY(setOptions(0));
        QCOMPARE(master.read(valueBase, 8), std::optional<Registers>(canonical));
        QCOMPARE(sim->stop(), 0);
    }

    // Entries written one register at a time: the other half of a 32-bit value stays.
    void halfWrites_data() {
        QTest::addColumn<std::uint32_t>("options");
        QTest::addColumn<int>("reg"); // offset within the Float entry
        QTest::addColumn<std::uint16_t>("value");
        QTest::addColumn<float>("result");
        // 12.5 is 0x41480000; 0x4148 0x0000 in the plain order.
        QTest::newRow("high word, order 0") << 0u << 0 << std::uint16_t(0xC148) << -12.5f;
        QTest::newRow("low word, order 1") << 1u << 0 << std::uint16_t(0x8000) << 12.53125f;
        QTest::newRow("high bytes, order 3") << 3u << 1 << std::uint16_t(0x48C1) << -12.5f;
    }
    void halfWrites() {
        QFETCH(std::uint32_t, options);
        QFETCH(int, reg);
        QFETCH(std::uint16_t, value);
        QFETCH(float, result);
        auto sim = device(withCatalogue());
        QVERIFY(sim);
        LibmodbusMaster master(sim->ptyPath());
        QList<int> errors;
        QVERIFY(uploadMap(master, options, {4}, &errors));
        QVERIFY(
            master.write(valueBase, wireOrder(std::bit_cast<std::uint32_t>(12.5f), 2, options)));
        QVERIFY(master.write1(valueBase + reg, value));
        QCOMPARE(master.read(valueBase, 2), std::optional<Registers>(wireOrder(
                                                std::bit_cast<std::uint32_t>(result), 2, options)));
        QCOMPARE(sim->stop(), 0);
    }

    // Values move by themselves until written; a written value stays.
    void liveValues() {
        auto sim = device(withCatalogue());
        QVERIFY(sim);
        LibmodbusMaster master(sim->ptyPath());
        QList<int> errors;
        QVERIFY(uploadMap(master, 0, {0, 1, 2, 3, 4, 0, 1, 2, 3, 4}, &errors));
        const int registers = 2 * (1 + 1 + 2 + 2 + 2);
        const auto before = master.read(valueBase, registers);
        QVERIFY(before);
        QTest::qWait(400);
        const auto after = master.read(valueBase, registers);
        QVERIFY(after);
        int at = 0;
        for (const int type : {0, 1, 2, 3, 4, 0, 1, 2, 3, 4}) {
            const int n = type < 2 ? 1 : 2;
            QVERIFY2(
                !std::equal(before->begin() + at, before->begin() + at + n, after->begin() + at),
                qPrintable(QStringLiteral("entry at %1 did not move").arg(at)));
            at += n;
        }
        QVERIFY(master.write(valueBase + 2, {0x0001, 0x86A0})); // Long 100000
        QTest::qWait(300);
        QCOMPARE(master.read(valueBase + 2, 2), std::optional<Registers>({0x0001, 0x86A0}));
        QCOMPARE(sim->stop(), 0);
    }

    // A tag of a type code the host does not know is served, but takes no value register.
    void unknownTypeTakesNoRegister() {
        const QString path = m_dir.filePath(QStringLiteral("odd.txt"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("5 9 ODD\n6 4 FLOAT\n");
        file.close();
        auto sim = device({QStringLiteral("--catalogue"), path});
        QVERIFY(sim);
        LibmodbusMaster master(sim->ptyPath());
        QVERIFY(master.write1(tagIndexReg, 0));
        QCOMPARE(readShown(master)->type, 9);
        QList<int> errors;
        QVERIFY(uploadMap(master, 0, {0, 1, 0}, &errors));
        QCOMPARE(errors, (QList<int>{0, 0, 0}));
        QCOMPARE(master.read1(countReg), std::optional<std::uint16_t>(3));
        QVERIFY(master.write(valueBase, {0x4148, 0x0000}));
        QCOMPARE(master.read(valueBase, 2), std::optional<Registers>({0x4148, 0x0000}));
        QVERIFY(!master.read(valueBase, 3));
        QCOMPARE(master.lastError(), EMBXILADD);
        QCOMPARE(sim->stop(), 0);
    }

    void unknownRegisters_data() {
        QTest::addColumn<int>("function");
        QTest::addColumn<int>("address");
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("error"); // 0: served
        QTest::newRow("read 0") << 3 << 0 << 1 << EMBXILADD;
        QTest::newRow("read 7-8") << 3 << 7 << 2 << EMBXILADD;
        QTest::newRow("read 8-9") << 3 << 8 << 2 << 0;
        QTest::newRow("read 9-10") << 3 << 9 << 2 << EMBXILADD;
        QTest::newRow("read 12287-12288") << 3 << 12287 << 2 << EMBXILADD;
        QTest::newRow("read 12288-12303") << 3 << 12288 << 16 << 0;
        QTest::newRow("read 12303-12304") << 3 << 12303 << 2 << EMBXILADD;
        QTest::newRow("read 16384, empty map") << 3 << 16384 << 1 << EMBXILADD;
        // Requests libmodbus would not send: built by hand (function + 100).
        QTest::newRow("read 126 registers") << 103 << 12288 << 126 << EMBXILVAL;
        QTest::newRow("write, byte count short") << 116 << 12289 << 2 << EMBXILVAL;
        QTest::newRow("write 100") << 16 << 100 << 1 << EMBXILADD;
        QTest::newRow("write 12304") << 16 << 12304 << 1 << EMBXILADD;
        QTest::newRow("write 16384, empty map") << 16 << 16384 << 1 << EMBXILADD;
        QTest::newRow("write single 12289") << 6 << 12289 << 1 << 0;
        QTest::newRow("write single 20000") << 6 << 20000 << 1 << EMBXILADD;
        QTest::newRow("read input registers") << 4 << 12288 << 1 << EMBXILFUN;
        QTest::newRow("read coils") << 1 << 0 << 1 << EMBXILFUN;
    }
    void unknownRegisters() {
        QFETCH(int, function);
        QFETCH(int, address);
        QFETCH(int, count);
        QFETCH(int, error);
        auto sim = device(withCatalogue());
        QVERIFY(sim);
        LibmodbusMaster master(sim->ptyPath());
        QVERIFY(master.connected());
        modbus_t* ctx = master.context();
        std::vector<std::uint16_t> regs(std::size_t(std::max(count, 1)), 1);
        std::vector<std::uint8_t> bits(16);
        int rc = -1;
        switch (function) {
        case 1:
            rc = modbus_read_bits(ctx, address, count, bits.data());
            break;
        case 3:
            rc = modbus_read_registers(ctx, address, count, regs.data());
            break;
        case 4:
            rc = modbus_read_input_registers(ctx, address, count, regs.data());
            break;
        case 6:
            rc = modbus_write_register(ctx, address, 1);
            break;
        case 16:
            rc = modbus_write_registers(ctx, address, count, regs.data());
            break;
        default: {
            // Byte count 2 whatever the register count: only the count differs from a good one.
            std::vector<std::uint8_t> raw = {1,
                                             std::uint8_t(function - 100),
                                             std::uint8_t(address >> 8),
                                             std::uint8_t(address),
                                             std::uint8_t(count >> 8),
                                             std::uint8_t(count)};
            if (function == 116) {
                raw.insert(raw.end(), {2, 0, 5});
            }
            QVERIFY(modbus_send_raw_request(ctx, raw.data(), int(raw.size())) > 0);
            std::uint8_t reply[MODBUS_RTU_MAX_ADU_LENGTH];
            QCOMPARE(modbus_receive_confirmation(ctx, reply), 5);
            QCOMPARE(reply[1], std::uint8_t(0x80 | (function - 100)));
            rc = -1;
            errno = MODBUS_ENOBASE + reply[2];
            break;
        }
        }
        const int seen = rc < 0 ? errno : 0;
        QCOMPARE(seen, error);
        // The device keeps serving.
        QCOMPARE(master.read1(12288), std::optional<std::uint16_t>(16384));
        QCOMPARE(sim->stop(), 0);
    }

    // Map and options stored by SaveToFlash come back in the next run; later changes that were
    // not stored do not.
    void flashPersists() {
        const QString flash = m_dir.filePath(QStringLiteral("flash.bin"));
        QFile::remove(flash);
        {
            auto sim = device(withCatalogue({QStringLiteral("--flash"), flash}));
            QVERIFY(sim);
            LibmodbusMaster master(sim->ptyPath());
            QList<int> errors;
            QVERIFY(uploadMap(master, 6, {4, 1, 5}, &errors));
            QVERIFY(master.write(8, {0, 1}));
            QVERIFY(QFile::exists(flash));
            QVERIFY(uploadMap(master, 2, {0}, &errors));
            QVERIFY(master.write(8, {0, 0})); // not a save
            QCOMPARE(sim->stop(), 0);
        }
        // The second run has another catalogue: the map keeps the tags as they were stored.
        auto sim = device({QStringLiteral("--flash"), flash});
        QVERIFY(sim);
        LibmodbusMaster master(sim->ptyPath());
        QCOMPARE(master.read1(countReg), std::optional<std::uint16_t>(3));
        QCOMPARE(readShown(master)->options, 6u);
        const QList<int> stored = {4, 1, 5};
        for (int i = 0; i < stored.size(); ++i) {
            QVERIFY(master.write1(entryReg, std::uint16_t(i)));
            const auto shown = readShown(master);
            const ExpectedTag& tag = fileTags()[std::size_t(stored[i])];
            QCOMPARE(shown->tagIndex, stored[i]);
            QCOMPARE(shown->channel, tag.channel);
            QCOMPARE(shown->type, tag.type);
            QCOMPARE(shown->name, tag.name);
        }
        // Float, UInt, Long: four registers of values.
        QVERIFY(master.read(valueBase, 5));
        QVERIFY(!master.read(valueBase, 6));
        QCOMPARE(sim->stop(), 0);
    }

    // A device whose flash cannot be read starts empty and leaves the file alone; one whose
    // flash cannot be written says so with exception 4 instead of pretending.
    void flashFailures() {
        const QString damaged = m_dir.filePath(QStringLiteral("damaged.bin"));
        QFile file(damaged);
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write("ZDSFLASH\x01\x00\x00\x00garbage", 19);
        file.close();
        {
            auto sim = device(withCatalogue({QStringLiteral("--flash"), damaged}));
            QVERIFY(sim);
            LibmodbusMaster master(sim->ptyPath());
            QCOMPARE(master.read1(countReg), std::optional<std::uint16_t>(0));
            QCOMPARE(sim->stop(), 0);
            QVERIFY(sim->standardError().contains(damaged));
        }
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("ZDSFLASH\x01\x00\x00\x00garbage", 19));
        file.close();

        const QString blocked = m_dir.filePath(QStringLiteral("blocked.bin"));
        auto sim = device(withCatalogue({QStringLiteral("--flash"), blocked}));
        QVERIFY(sim);
        QVERIFY(QDir(m_dir.path()).mkdir(QStringLiteral("blocked.bin")));
        LibmodbusMaster master(sim->ptyPath());
        QVERIFY(!master.write(8, {0, 1}));
        QCOMPARE(master.lastError(), EMBXSFAIL);
        QCOMPARE(sim->stop(), 0);
    }
};

QTEST_GUILESS_MAIN(TestDeviceRegisters)
#include "tst_DeviceRegisters.moc"
