// The device commands against a scripted device on a pseudo-terminal: the exact requests of the
// tag-list read, the map upload and the map download, their results and messages; and the one
// upload, flash and download round trip against the device simulator.

#include "components/ConfigPaths.h"
#include "device/AppDataTypes.h"
#include "device/Commands.h"
#include "device/Cp1251.h"
#include "device/ModbusMap.h"
#include "document/CnlImage.h"
#include "settings/AppOptions.h"

#include "Cases.h"
#include "DevsimProcess.h"
#include "MapControlFrames.h"
#include "PtyPeer.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <cstring>

using namespace zorvan;
using namespace zorvan::test;

namespace {

const QString NoPort = QStringLiteral("Не удалось подключиться к COM-порту");
const QString FlashFailed = QStringLiteral("Ошибка конфигурирования устройства");

// Catalogue tag i of the scripted device: channel, type, the name's bytes (Windows-1251, zero
// padded to 12 by the device) and the name the host must make of them.
struct Tag {
    quint16 channel, type;
    QByteArray bytes;
    QString name;
};

Tag tagOf(int i) {
    if (i == 0)
        return {7, 4, "TWELVE_CHARS", "TWELVE_CHARS"};
    if (i == 2)
        return {65535, 2, QByteArray::fromHex("c4e0e2ebe5ede8e5"),
                QStringLiteral("Давление") + QString(4, QChar(0))};
    const QByteArray n = "TAG" + QByteArray::number(i);
    return {quint16(100 + i), quint16(i % 5), n,
            QString::fromLatin1(n) + QString(12 - n.size(), QChar(0))};
}

QString entry(int index, int channel, int type, const QString& name) {
    return QString("%1 %2 %3 ").arg(index).arg(channel).arg(type) + name;
}

// A connection module on fresh settings, talking to a scripted device.
struct Rig : frames {
    TempConfigHome home;
    TOptions options;
    std::unique_ptr<TModbusMapConn> conn;
    PtyPeer peer;
    ScriptedPrompter prompter;
    quint8 slave = 1;
    QStringList progress;

    Rig() {
        options.setSaveOnDestroy(false);
        options.regprmRxTimeout->setValue(300);
        conn = std::make_unique<TModbusMapConn>(options);
        conn->PortDrv.setPortName(peer.slavePath());
    }

    // The 14 map-control registers for a token R<t>[e<error>][a<action>][o<options>]: tag t shown.
    static QByteArray shown(const QString& token) {
        static const QRegularExpression re("R(\\d*)(?:e(\\d+))?(?:a(\\d+))?(?:o(\\d+))?");
        const auto m = re.match(token);
        const Tag tag = tagOf(m.captured(1).toInt());
        return word(0) + word(m.captured(1).toUShort()) + word(m.captured(3).toUShort()) +
               word(m.captured(2).toUShort()) + dword(m.captured(4).toUInt()) + word(tag.channel) +
               word(tag.type) + tag.bytes.leftJustified(12, '\0');
    }

    // The device's side, one token per request; a trailing "!" leaves it unanswered, "~"
    // spoils the reply's checksum, "+" answers after 700 ms (as a flash being written does):
    //   A<n> T<n> C<n> O<n>  write Action, TagIndex, prmCurrMapTagIndex, ZorvanOptions
    //   F  the flash request   R...  the block read (see shown)   Q<n>  read of the map size n
    //   *<n>  the catalogue read of tags 0..n-1: T0 R0 T1 R1 ...   @<n>  device address n
    void play(const QString& script) {
        for (QString token : script.split(' ', Qt::SkipEmptyParts)) {
            const QChar suffix = token.back();
            token.remove(QRegularExpression("[!~+]$"));
            const char kind = token[0].toLatin1();
            const quint32 n = token.mid(1).toUInt();
            for (quint32 i = 0; kind == '*' && i < n; ++i)
                play(QString("T%1 R%1").arg(i));
            if (kind == '@') {
                options.regDeviceAddress->setValue(int(slave = quint8(n)));
                conn->ApplyOptions();
                conn->PortDrv.setPortName(peer.slavePath());
            }
            if (kind == '*' || kind == '@')
                continue;
            const bool two = kind == 'O' || kind == 'F';
            const quint16 first = kind == 'T'   ? 12289
                                  : kind == 'A' ? 12290
                                  : kind == 'C' ? 12303
                                  : kind == 'O' ? 12292
                                                : 8;
            QByteArray request =
                writeRequest(slave, first, two ? dword(kind == 'F' ? 1 : n) : word(quint16(n)));
            QByteArray reply = writeReply(slave, first, two ? 2 : 1);
            if (kind == 'R' || kind == 'Q') {
                request = readRequest(slave, kind == 'R' ? 12288 : 12302, kind == 'R' ? 14 : 2);
                reply = readReply(slave, kind == 'R' ? shown(token) : word(quint16(n)) + word(0));
            }
            reply[reply.size() - 1] = char(reply.back() ^ (suffix == '~'));
            peer.expect(request);
            if (suffix != '!')
                peer.send(reply, suffix == '+' ? 700 : 0);
        }
    }

    // Runs the commands one after the other on the script, which must have been all that
    // came; the result of the last.
    bool run(const QList<TCustomCommand*>& commands) {
        peer.expect({}, 20).start();
        bool ok = false;
        for (TCustomCommand* command : commands) {
            command->OnProgress = [this](int done, int total) {
                progress << QString("%1/%2").arg(done).arg(total);
            };
            ok = command->Execute();
        }
        [this] {
            QVERIFY(peer.wait());
            QCOMPARE(peer.failures(), QStringList());
            QVERIFY(!conn->PortDrv.IsOpen());
        }();
        return ok;
    }
};

struct Command {
    const char* kinds; // the commands run: T tag list, U upload, D download
    QList<int> tags;   // U: the map sent; D: the map expected
    quint32 options;
    const char* script;
    bool result;
    int count; // progress steps: tags read, entries sent or read; -1: the map is left as it was
    QStringList messages = {};
    int deviceError = 0;
};

} // namespace

Q_DECLARE_METATYPE(Command)

class tst_Commands : public QObject {
    Q_OBJECT
private slots:
    void commands_data() {
        const QString full = "List of parameters is overflow!";
        // clang-format off
        addCases<Command>({
            {"tags: empty catalogue",        {"T", {}, 0, "R0e1 T0 R0e1", true, 0}}, // index 0 sent though shown
            {"tags: three",                  {"T", {}, 0, "R0e1 *3 T3 R3e1", true, 3}},
            {"tags: Error 2 is not an end",  {"T", {}, 0, "R0 *1 T1 R1e2 T2 R2e1", true, 2}},
            {"tags: another tag shown",      {"T", {}, 0, "R0 *2 T2 R9", false, 2}},
            {"tags: read unanswered",        {"T", {}, 0, "R0 *1 T1 R!", false, 1}},
            {"tags: index unanswered",       {"T", {}, 0, "R0 *3 T3!", false, 3}},
            {"tags: spoilt checksum",        {"T", {}, 0, "R0 *1 T1 R1~", false, 1}},
            {"tags: first read unanswered",  {"T", {}, 0, "R!", false, 0}},
            {"tags: 256 at most",            {"T", {}, 0, "R0 *256", true, 256}},
            {"upload: empty map",            {"U", {}, 5, "A1 A2 O5 A4 F", true, 0}},
            {"upload: two entries",          {"U", {3, 7}, 2, "A1 A2 O2 T3 A3 R3 T7 A3 R7 A4 F", true, 2}},
            {"upload: index 0 sent",         {"U", {0}, 0, "A1 A2 O0 T0 A3 R0 A4 F", true, 1}},
            {"upload: same index twice",     {"U", {4, 4}, 0, "A1 A2 O0 T4 A3 R4 A3 R4 A4 F", true, 2}},
            {"upload: Action 3 kept",        {"U", {4, 4}, 0, "A1 A2 O0 T4 A3 R4a3 A3 R4a3 A4 F", true, 2}},
            {"upload after a lost one",      {"UU", {3}, 0, "A1! A1 A2 O0 T3 A3 R3 A4 F", true, 1}},
            {"upload: flash written slowly", {"U", {}, 0, "A1 A2 O0 A4 F+", true, 0}},
            {"upload: tag refused",          {"U", {1, 2, 300, 8}, 0, "A1 A2 O0 T1 A3 R1 T2 A3 R2 T300 A3 R300e1", true, 2, {"Tag #300 incorrect!"}, 1}},
            {"upload: map full",             {"U", {1, 2, 3}, 0, "A1 A2 O0 T1 A3 R1 T2 A3 R2e2", true, 1, {full}, 2}},
            {"upload: other Error codes",    {"U", {1}, 0, "A1 A2 O0 T1 A3 R1e3 A4 F", true, 1}},
            {"upload: index past 16 bits",   {"U", {65541}, 0, "A1 A2 O0 T5 A3 R5e1", true, 0, {"Tag #65541 incorrect!"}, 1}},
            {"upload: flash unanswered",     {"U", {}, 0, "A1 A2 O0 A4 F!", true, 0, {FlashFailed}}},
            {"upload: device address 3",     {"U", {2}, 1, "@3 A1 A2 O1 T2 A3 R2 A4 F", true, 1}},
            {"upload: Action 1 unanswered",  {"U", {1}, 0, "A1!", false, 0}},
            {"upload: entry unanswered",     {"U", {6}, 0, "A1 A2 O0 T6 A3 R!", false, 0}},
            {"upload: Action 4 unanswered",  {"U", {}, 0, "A1 A2 O0 A4!", false, 0}},
            // A broken upload leaves Action 3 unsent: the next command must not send it.
            {"upload broken, tags",          {"UT", {9}, 0, "A1 A2 O0 T9 A3! R0e1 T0 R0e1", true, 0}},
            {"download: two entries",        {"D", {5, 8}, 6, "R0o6 Q2 C0 R5 C1 R8", true, 2}},
            {"download: empty device map",   {"D", {}, 3, "R0o3 Q0", false, 0}},
            {"download: entry unanswered",   {"D", {5}, 1, "R0o1 Q3 C0 R5 C1 R!", false, 1}},
            {"download: size unanswered",    {"D", {}, 9, "R0o1 Q!", false, -1}},
        });
        // clang-format on
    }

    void commands() {
        QFETCH(Command, c);
        const QChar kind = QString(c.kinds).back(); // what is read and reported: the last run
        Rig rig;
        rig.play(c.script);
        TChannelImage image;
        image.BaseAdr = 100;
        image.Options = kind == 'D' ? 9 : c.options;
        for (int t : kind == 'D' ? QList<int>{50} : c.tags)
            image.Map()->Add()->TagIndex = t;
        TUpdateTagListCmd tags(rig.conn.get());
        TUploadCurrMapCmd upload(rig.conn.get());
        TDownloadCurrMapCmd download(rig.conn.get());
        upload.setTarget(&image);
        download.setTarget(&image);
        tags.TagList()->Add(); // an earlier read is replaced
        const std::map<QChar, TCustomCommand*> named{
            {'T', &tags}, {'U', &upload}, {'D', &download}};
        QList<TCustomCommand*> commands;
        for (QChar k : QString(c.kinds))
            commands << named.at(k);
        QCOMPARE(rig.run(commands), c.result);
        QCOMPARE(rig.prompter.messages(), c.messages);
        QVERIFY(upload.DeviceError() == c.deviceError &&
                upload.FlashFailed() == c.messages.contains(FlashFailed));
        const int all = kind == 'T'   ? 256
                        : kind == 'U' ? int(c.tags.size())
                                      : download.DeviceCount();
        QCOMPARE(int(rig.progress.size()), std::max(c.count, 0));
        QVERIFY(c.count <= 0 || rig.progress.last() == QString("%1/%2").arg(c.count).arg(all));
        // What was read: the tag list, or the map and options (the map is only read by others).
        QStringList got, want;
        for (int i = 0; kind == 'T' && i < tags.TagList()->Count(); ++i) {
            const TTagListItem& t = *tags.TagList()->Items(i);
            got << entry(i, int(t.Channel), int(t.DataType), t.TagName);
        }
        for (int i = 0; kind == 'D' && c.count >= 0 && i < image.Map()->Count(); ++i) {
            const TChannelItem& t = *image.Map()->Items(i);
            got << entry(t.TagIndex, t.Channel, t.ParamType, t.TagName + t.Note);
        }
        for (int t = 0; kind == 'T' && t < c.count; ++t)
            want << entry(t, tagOf(t).channel, tagOf(t).type, tagOf(t).name);
        for (int t : kind == 'D' ? c.tags : QList<int>())
            want << entry(t, tagOf(t).channel, tagOf(t).type, tagOf(t).name);
        QCOMPARE(got, want);
        const bool replaced = kind == 'D' && c.count >= 0;
        QCOMPARE(image.Options, c.options);
        QCOMPARE(int(image.BaseAdr), replaced ? 16384 : 100);
        QCOMPARE(image.Map()->Count(), kind == 'D' && !replaced ? 1 : int(c.tags.size()));
    }

    void refusals() {
        ScriptedPrompter outer;
        QVERIFY(ModbusMapConn() == nullptr && !UpdateTagListCmd()->Execute()); // no module
        QCOMPARE(outer.messages(), QStringList{NoPort});
        Rig rig; // the program-wide commands find it when they run
        TCustomCommand base(rig.conn.get());
        // Without a target, and the base command: no exchange at all.
        QVERIFY(!DownloadCurrMapCmd()->Execute() && !base.Execute() &&
                !rig.run({UploadCurrMapCmd()}));
        // A port that does not open: said so with the path and the reason, nothing touched.
        const QString gone = rig.home.path() + "/no-such-port";
        QVERIFY(QDir().mkpath(portsFolder()) && QFile::link(gone, portsFolder() + "/COM9"));
        rig.conn->PortDrv.setPort(9);
        TChannelImage image;
        image.Map()->Add();
        UploadCurrMapCmd()->setTarget(&image);
        DownloadCurrMapCmd()->setTarget(&image);
        QVERIFY(!UploadCurrMapCmd()->Execute() && !DownloadCurrMapCmd()->Execute());
        QVERIFY(image.Map()->Count() == 1 &&
                rig.prompter.messages() == QStringList({NoPort, NoPort}));
        QCOMPARE(rig.prompter.records.last().detail,
                 "COM9 → " + gone + ": " + QString::fromLocal8Bit(std::strerror(ENOENT)));
    }

    void codePage() {
        quint8 back = 0;
        for (int b = 0; b < 256; ++b) // every byte has a character of its own, and back
            QVERIFY(CharToCp1251(Cp1251ToString(QByteArray(1, char(b)))[0], &back) && back == b);
        QVERIFY(!CharToCp1251(QChar(0x4E2D), &back));
    }

    void roundTripWithTheSimulator() {
        if (DevsimProcess::program().isEmpty())
            QSKIP("no simulator in this build");
        QTemporaryDir dir;
        TChannelImage sent, back;
        sent.Options = 7;
        for (int t : {3, 0, 3, 1})
            sent.Map()->Add()->TagIndex = t;
        for (TChannelImage* image : {&sent, &back}) { // upload; then download after a restart
            DevsimProcess sim;
            QVERIFY(sim.start({"--flash", dir.filePath("flash.bin")}));
            Rig rig;
            rig.conn->PortDrv.setPortName(sim.ptyPath());
            TUploadCurrMapCmd upload(rig.conn.get());
            TDownloadCurrMapCmd download(rig.conn.get());
            upload.setTarget(image);
            download.setTarget(image);
            QVERIFY(image == &back ? download.Execute()
                                   : upload.Execute() && !upload.FlashFailed());
            QCOMPARE(rig.prompter.messages(), QStringList());
        }
        QCOMPARE(back.Options, 7u);
        QStringList got;
        for (int i = 0; i < back.Map()->Count(); ++i)
            got << QString::number(back.Map()->Items(i)->TagIndex);
        QCOMPARE(got, QStringList({"3", "0", "3", "1"}));
        QCOMPARE(back.Map()->Items(0)->TagName, back.Map()->Items(2)->TagName); // the same tag
    }
};

QTEST_GUILESS_MAIN(tst_Commands)
#include "tst_Commands.moc"
