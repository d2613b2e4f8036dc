// The device commands against a scripted device on a pseudo-terminal: the exact requests of the
// tag-list read, the map upload and the map download, their results, messages and what they
// leave in the tag list and the document.

#include "device/AppDataTypes.h"
#include "device/Commands.h"
#include "device/ModbusMap.h"
#include "document/CnlImage.h"
#include "settings/AppOptions.h"

#include "MapControlFrames.h"
#include "PtyPeer.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"

#include <QTest>
#include <memory>

using namespace zorvan;
using zorvan::test::DeviceFrames;
using zorvan::test::MapControlRegs;
using zorvan::test::PtyPeer;
using zorvan::test::ScriptedPrompter;
using zorvan::test::TempConfigHome;

namespace {

constexpr quint16 TagIndexReg = 12289;
constexpr quint16 ActionReg = 12290;
constexpr quint16 EntryReg = 12303;

const QString NoPort = QStringLiteral("Не удалось подключиться к COM-порту");

// Catalogue tag i of the scripted device: a full 12-character name, a short zero-padded one,
// a Cyrillic one (Windows-1251 bytes) and numbered ones.
struct Tag {
    quint16 channel;
    quint16 type;
    QByteArray bytes; // as the device sends them, before the zero padding
    QString name;     // as the host must decode them: always 12 characters
};

Tag tagOf(int i) {
    switch (i) {
    case 0:
        return {7, 4, "TWELVE_CHARS", "TWELVE_CHARS"};
    case 1:
        return {1, 0, "T", QString("T") + QString(11, QChar(0))};
    case 2:
        return {65535, 2, QByteArray::fromHex("c4e0e2ebe5ede8e5"),
                QStringLiteral("Давление") + QString(4, QChar(0))};
    default: {
        const QByteArray n = "TAG" + QByteArray::number(i);
        return {quint16(100 + i), quint16(i % 5), n,
                QString::fromLatin1(n) + QString(12 - n.size(), QChar(0))};
    }
    }
}

MapControlRegs shownTag(int i, quint16 error = 0) {
    const Tag t = tagOf(i);
    MapControlRegs r;
    r.tagIndex = quint16(i);
    r.error = error;
    r.options = 0x55AA;
    r.channel = t.channel;
    r.tagType = t.type;
    r.name = t.bytes;
    return r;
}

// One device line with a connection module built alone on fresh settings.
struct Rig {
    TempConfigHome home;
    std::unique_ptr<TOptions> options;
    std::unique_ptr<TModbusMapConn> conn;
    PtyPeer peer;
    ScriptedPrompter prompter;
    DeviceFrames dev;
    QByteArray expected;
    QList<QPair<int, int>> progress;

    explicit Rig(int address = 1, int timeoutMs = 300) : dev(quint8(address)) {
        options = std::make_unique<TOptions>();
        options->setSaveOnDestroy(false);
        options->regDeviceAddress->setValue(address);
        options->regprmRxTimeout->setValue(timeoutMs);
        conn = std::make_unique<TModbusMapConn>(*options);
        conn->PortDrv.setPortName(peer.slavePath());
    }

    void exchange(const QByteArray& request, const QByteArray& reply) {
        peer.expect(request).send(reply);
        expected += request;
    }
    void unanswered(const QByteArray& request) {
        peer.expect(request);
        expected += request;
    }
    void watch(TCustomCommand& command) {
        command.OnProgress = [this](int done, int total) { progress.append({done, total}); };
    }
    // The whole conversation went as scripted, and the port is closed again.
    void verifyLine() {
        QVERIFY(peer.wait());
        QCOMPARE(peer.failures(), QStringList());
        QCOMPARE(peer.received().toHex(' '), expected.toHex(' '));
        QVERIFY(!conn->PortDrv.IsOpen());
    }
};

// Runs a compact script of the device's side. Tokens, separated by spaces; a trailing "!"
// means the device does not answer that request:
//   A<n>  write Action n           T<n>  write TagIndex n      O<n>  write ZorvanOptions n
//   C<n>  write prmCurrMapTagIndex n                           F     the flash request
//   R<t>/<e>/<a>  block read showing TagIndex t, Error e, Action a
//   S<o>  block read showing ZorvanOptions o                   Q<n>  read of the map size n
//   E<i>  block read showing current-map entry i (see entryShown)
MapControlRegs entryShown(int i) {
    MapControlRegs r = shownTag(3 + i);
    r.tagIndex = quint16(3 + i);
    return r;
}

void play(Rig& rig, const QString& script) {
    const DeviceFrames& d = rig.dev;
    for (QString token : script.split(' ', Qt::SkipEmptyParts)) {
        const bool silent = token.endsWith('!');
        if (silent)
            token.chop(1);
        const QChar kind = token.at(0);
        const QString arg = token.mid(1);
        QByteArray request, reply;
        if (kind == 'A' || kind == 'T' || kind == 'C') {
            const quint16 reg = kind == 'A' ? ActionReg : kind == 'T' ? TagIndexReg : EntryReg;
            request = d.writeWord(reg, quint16(arg.toUInt()));
            reply = d.writeWordReply(reg);
        } else if (kind == 'O') {
            request = d.writeOptions(arg.toUInt());
            reply = d.writeOptionsReply();
        } else if (kind == 'F') {
            request = d.flash();
            reply = d.flashReply();
        } else if (kind == 'R') {
            const QStringList v = arg.split('/');
            MapControlRegs r;
            if (v.size() == 3) {
                r.tagIndex = quint16(v[0].toUInt());
                r.error = quint16(v[1].toUInt());
                r.action = quint16(v[2].toUInt());
            }
            request = d.readBlock();
            reply = d.readBlockReply(r);
        } else if (kind == 'S') {
            MapControlRegs r;
            r.options = arg.toUInt();
            r.tagIndex = 77;
            request = d.readBlock();
            reply = d.readBlockReply(r);
        } else if (kind == 'Q') {
            request = d.readAdd();
            reply = d.readAddReply(quint16(arg.toUInt()), 0);
        } else if (kind == 'E') {
            request = d.readBlock();
            reply = d.readBlockReply(entryShown(arg.toInt()));
        } else {
            QFAIL(qPrintable("unknown script token " + token));
        }
        if (silent)
            rig.unanswered(request);
        else
            rig.exchange(request, reply);
    }
}

} // namespace

class TestCommands : public QObject {
    Q_OBJECT
private slots:
    void portThatDoesNotOpen_data();
    void portThatDoesNotOpen();
    void baseCommandFails();
    void tagListRead_data();
    void tagListRead();
    void tagListReadAgainStartsAtZero();
    void upload_data();
    void upload();
    void uploadWithoutTarget();
    void download_data();
    void download();
    void brokenCommandLeavesNoPendingWrite();
    void programWideCommands();
};

void TestCommands::portThatDoesNotOpen_data() {
    QTest::addColumn<QString>("command");
    QTest::newRow("tag list") << "tags";
    QTest::newRow("upload") << "upload";
    QTest::newRow("download") << "download";
}

void TestCommands::portThatDoesNotOpen() {
    QFETCH(QString, command);
    Rig rig;
    rig.conn->PortDrv.setPortName(rig.home.path() + "/no-such-port");
    TChannelImage image;
    image.Map()->Add()->TagIndex = 4;
    image.Options = 3;
    TUpdateTagListCmd tags(rig.conn.get());
    tags.TagList()->Add()->Channel = 9; // an earlier read
    TUploadCurrMapCmd upload(rig.conn.get());
    upload.setTarget(&image);
    TDownloadCurrMapCmd download(rig.conn.get());
    download.setTarget(&image);
    TCustomCommand* run = command == "tags"     ? static_cast<TCustomCommand*>(&tags)
                          : command == "upload" ? static_cast<TCustomCommand*>(&upload)
                                                : &download;
    QVERIFY(!run->Execute());
    QCOMPARE(rig.prompter.messages(), QStringList{NoPort});
    // Nothing was touched.
    QCOMPARE(tags.TagList()->Count(), 1);
    QCOMPARE(image.Map()->Count(), 1);
    QCOMPARE(image.Options, 3u);
    QVERIFY(!rig.conn->PortDrv.IsOpen());
}

void TestCommands::baseCommandFails() {
    Rig rig;
    rig.peer.start();
    TCustomCommand command(rig.conn.get());
    QVERIFY(!command.Execute());
    QCOMPARE(rig.prompter.messages(), QStringList());
    rig.verifyLine();
}

void TestCommands::tagListRead_data() {
    QTest::addColumn<int>("tags");      // catalogue size of the device
    QTest::addColumn<QString>("fault"); // how the device misbehaves ...
    QTest::addColumn<int>("faultAt");   // ... at this index
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("kept");

    QTest::newRow("empty catalogue") << 0 << "" << -1 << true << 0;
    QTest::newRow("three tags") << 3 << "" << -1 << true << 3;
    QTest::newRow("Error 2 is not an end") << 4 << "error2" << 1 << true << 4;
    QTest::newRow("no echo of index 2") << 5 << "noEcho" << 2 << false << 2;
    QTest::newRow("no echo of index 0") << 5 << "noEcho" << 0 << false << 0;
    QTest::newRow("no reply to the read of 1") << 5 << "silentRead" << 1 << false << 1;
    QTest::newRow("no reply to the index write 3") << 5 << "silentWrite" << 3 << false << 3;
    QTest::newRow("bad checksum on the read of 1") << 5 << "badCrc" << 1 << false << 1;
    QTest::newRow("no reply to the first read") << 5 << "silentFirst" << -1 << false << 0;
    QTest::newRow("255 tags") << 255 << "" << -1 << true << 255;
    QTest::newRow("256 tags") << 256 << "" << -1 << true << 256;
    QTest::newRow("300 tags") << 300 << "" << -1 << true << 256;
}

void TestCommands::tagListRead() {
    QFETCH(int, tags);
    QFETCH(QString, fault);
    QFETCH(int, faultAt);
    QFETCH(bool, result);
    QFETCH(int, kept);
    Rig rig(1, fault.isEmpty() || fault == "error2" ? 1000 : 200);
    const DeviceFrames& d = rig.dev;

    // The image starts with TagIndex 0 from the first read: index 0 must still be written.
    MapControlRegs start;
    start.error = 1;
    start.channel = 5;
    if (fault == "silentFirst") {
        rig.unanswered(d.readBlock());
    } else {
        rig.exchange(d.readBlock(), d.readBlockReply(start));
        for (int i = 0; i < 256; ++i) {
            const bool here = i == faultAt;
            if (here && fault == "silentWrite") {
                rig.unanswered(d.writeWord(TagIndexReg, quint16(i)));
                break;
            }
            rig.exchange(d.writeWord(TagIndexReg, quint16(i)), d.writeWordReply(TagIndexReg));
            if (i >= tags) {
                MapControlRegs end;
                end.tagIndex = quint16(i);
                end.error = 1;
                rig.exchange(d.readBlock(), d.readBlockReply(end));
                break;
            }
            MapControlRegs shown = shownTag(i, here && fault == "error2" ? 2 : 0);
            if (here && fault == "noEcho") {
                shown.tagIndex = quint16(i + 7);
                rig.exchange(d.readBlock(), d.readBlockReply(shown));
                break;
            }
            if (here && fault == "silentRead") {
                rig.unanswered(d.readBlock());
                break;
            }
            if (here && fault == "badCrc") {
                QByteArray reply = d.readBlockReply(shown);
                reply[reply.size() - 1] = char(reply.at(reply.size() - 1) ^ 0x01);
                rig.exchange(d.readBlock(), reply);
                break;
            }
            rig.exchange(d.readBlock(), d.readBlockReply(shown));
        }
    }
    rig.peer.start();

    TUpdateTagListCmd command(rig.conn.get());
    command.TagList()->Add()->TagName = "stale"; // a previous read is replaced
    rig.watch(command);
    QCOMPARE(command.Execute(), result);
    rig.verifyLine();
    QCOMPARE(rig.prompter.messages(), QStringList());

    const TTagList& list = *command.TagList();
    QCOMPARE(list.Count(), kept);
    for (int i = 0; i < kept; ++i) {
        const Tag t = tagOf(i);
        QCOMPARE(list[i]->Channel, quint32(t.channel));
        QCOMPARE(list[i]->DataType, quint32(t.type));
        QCOMPARE(list[i]->TagName, t.name);
    }
    QCOMPARE(rig.progress.size(), kept);
    for (int k = 0; k < kept; ++k)
        QCOMPARE(rig.progress[k], qMakePair(k + 1, 256));
}

void TestCommands::tagListReadAgainStartsAtZero() {
    // The second read finds TagIndex 0 in the image from the first one, and the device
    // showing index 0 too: index 0 is written all the same, and the list starts over.
    Rig rig;
    play(rig, "R0/0/0 T0 R0/1/0");
    play(rig, "R0/0/0 T0 R0/1/0");
    rig.peer.start();
    TUpdateTagListCmd command(rig.conn.get());
    QVERIFY(command.Execute());
    QCOMPARE(command.TagList()->Count(), 0);
    QVERIFY(command.Execute());
    QCOMPARE(command.TagList()->Count(), 0);
    rig.verifyLine();
}

void TestCommands::upload_data() {
    QTest::addColumn<QList<int>>("tagIndices");
    QTest::addColumn<quint32>("options");
    QTest::addColumn<int>("address");
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("deviceError");
    QTest::addColumn<bool>("flashFailed");
    QTest::addColumn<int>("progressCalls");

    using L = QList<int>;
    QTest::newRow("empty map") << L{} << 5u << 1 << "A1 A2 O5 A4 F" << true << "" << 0 << false
                               << 0;
    QTest::newRow("empty map, options 0 still sent")
        << L{} << 0u << 1 << "A1 A2 O0 A4 F" << true << "" << 0 << false << 0;
    QTest::newRow("two entries") << L{3, 7} << 2u << 1 << "A1 A2 O2 T3 A3 R3/0/0 T7 A3 R7/0/0 A4 F"
                                 << true << "" << 0 << false << 2;
    QTest::newRow("first index 0 is sent though the image holds 0")
        << L{0} << 0u << 1 << "A1 A2 O0 T0 A3 R0/0/0 A4 F" << true << "" << 0 << false << 1;
    QTest::newRow("same index twice: only Action again")
        << L{4, 4} << 0u << 1 << "A1 A2 O0 T4 A3 R4/0/0 A3 R4/0/0 A4 F" << true << "" << 0 << false
        << 2;
    QTest::newRow("same index twice, device keeps Action 3: nothing sent")
        << L{4, 4} << 0u << 1 << "A1 A2 O0 T4 A3 R4/0/3 R4/0/3 A4 F" << true << "" << 0 << false
        << 2;
    QTest::newRow("Error 1 on the third entry")
        << L{1, 2, 300, 8} << 0u << 1 << "A1 A2 O0 T1 A3 R1/0/0 T2 A3 R2/0/0 T300 A3 R300/1/0"
        << true << "Tag #300 incorrect!" << 1 << false << 2;
    QTest::newRow("Error 2 on the second entry")
        << L{1, 2, 3} << 0u << 1 << "A1 A2 O0 T1 A3 R1/0/0 T2 A3 R2/2/0" << true
        << "List of parameters is overflow!" << 2 << false << 1;
    QTest::newRow("other Error codes count as success")
        << L{1} << 0u << 1 << "A1 A2 O0 T1 A3 R1/3/0 A4 F" << true << "" << 0 << false << 1;
    QTest::newRow("tag index beyond 16 bits: low bits sent, whole index named")
        << L{65541} << 0u << 1 << "A1 A2 O0 T5 A3 R5/1/0" << true << "Tag #65541 incorrect!" << 1
        << false << 0;
    QTest::newRow("flash not answered") << L{} << 0u << 1 << "A1 A2 O0 A4 F!" << true
                                        << "Ошибка конфигурирования устройства" << 0 << true << 0;
    QTest::newRow("flash goes to the map's device")
        << L{2} << 1u << 3 << "A1 A2 O1 T2 A3 R2/0/0 A4 F" << true << "" << 0 << false << 1;
    QTest::newRow("no reply to Action 1")
        << L{1} << 0u << 1 << "A1!" << false << "" << 0 << false << 0;
    QTest::newRow("no reply to Action 2")
        << L{1} << 0u << 1 << "A1 A2!" << false << "" << 0 << false << 0;
    QTest::newRow("no reply to the options")
        << L{1} << 4u << 1 << "A1 A2 O4!" << false << "" << 0 << false << 0;
    QTest::newRow("no reply to an entry's index")
        << L{1, 2} << 0u << 1 << "A1 A2 O0 T1 A3 R1/0/0 T2!" << false << "" << 0 << false << 1;
    QTest::newRow("no reply to an entry's read")
        << L{6} << 0u << 1 << "A1 A2 O0 T6 A3 R!" << false << "" << 0 << false << 0;
    QTest::newRow("no reply to Action 4: no flash")
        << L{} << 0u << 1 << "A1 A2 O0 A4!" << false << "" << 0 << false << 0;
}

void TestCommands::upload() {
    QFETCH(QList<int>, tagIndices);
    QFETCH(quint32, options);
    QFETCH(int, address);
    QFETCH(QString, script);
    QFETCH(bool, result);
    QFETCH(QString, message);
    QFETCH(int, deviceError);
    QFETCH(bool, flashFailed);
    QFETCH(int, progressCalls);
    Rig rig(address);
    play(rig, script);
    rig.peer.start();

    TChannelImage image;
    image.Options = options;
    for (int t : tagIndices)
        image.Map()->Add()->TagIndex = t;
    TUploadCurrMapCmd command(rig.conn.get());
    command.setTarget(&image);
    rig.watch(command);
    QCOMPARE(command.Execute(), result);
    rig.verifyLine();
    QCOMPARE(rig.prompter.messages(), message.isEmpty() ? QStringList() : QStringList{message});
    QCOMPARE(int(command.DeviceError()), deviceError);
    QCOMPARE(command.FlashFailed(), flashFailed);
    QCOMPARE(rig.progress.size(), progressCalls);
    for (int k = 0; k < progressCalls; ++k)
        QCOMPARE(rig.progress[k], qMakePair(k + 1, int(tagIndices.size())));
    // The document is only read.
    QCOMPARE(image.Map()->Count(), tagIndices.size());
    QCOMPARE(image.Options, options);
}

void TestCommands::uploadWithoutTarget() {
    Rig rig;
    rig.peer.start();
    TUploadCurrMapCmd upload(rig.conn.get());
    QVERIFY(!upload.Execute());
    TDownloadCurrMapCmd download(rig.conn.get());
    QVERIFY(!download.Execute());
    rig.verifyLine();
}

void TestCommands::download_data() {
    QTest::addColumn<QString>("script");
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("items"); // -1: the document is untouched
    QTest::addColumn<quint32>("options");

    QTest::newRow("two entries") << "S6 Q2 C0 E0 C1 E1" << true << 2 << 6u;
    QTest::newRow("one entry, large options") << "S4294967295 Q1 C0 E0" << true << 1 << 4294967295u;
    QTest::newRow("empty device map: emptied, options kept, false") << "S3 Q0" << false << 0 << 3u;
    QTest::newRow("no reply to the second entry's read: first kept")
        << "S1 Q3 C0 E0 C1 E1!" << false << 1 << 1u;
    QTest::newRow("no reply to the second entry's index: first kept")
        << "S1 Q3 C0 E0 C1!" << false << 1 << 1u;
    QTest::newRow("no reply to the map size: untouched") << "S1 Q!" << false << -1 << 0u;
    QTest::newRow("no reply to the first read: untouched") << "S!" << false << -1 << 0u;
}

void TestCommands::download() {
    QFETCH(QString, script);
    QFETCH(bool, result);
    QFETCH(int, items);
    QFETCH(quint32, options);
    Rig rig;
    play(rig, script);
    rig.peer.start();

    TChannelImage image;
    image.BaseAdr = 100;
    image.Options = 7;
    for (int i = 0; i < 3; ++i) {
        TChannelItem* old = image.Map()->Add();
        old->TagIndex = 50 + i;
        old->Note = "old";
    }
    TDownloadCurrMapCmd command(rig.conn.get());
    command.setTarget(&image);
    rig.watch(command);
    QCOMPARE(command.Execute(), result);
    rig.verifyLine();
    QCOMPARE(rig.prompter.messages(), QStringList());

    if (items < 0) {
        QCOMPARE(image.Map()->Count(), 3);
        QCOMPARE(image.BaseAdr, quint16(100));
        QCOMPARE(image.Options, 7u);
        QCOMPARE(rig.progress.size(), 0);
        return;
    }
    QCOMPARE(image.BaseAdr, quint16(16384));
    QCOMPARE(image.Options, options);
    QCOMPARE(image.Map()->Count(), items);
    for (int i = 0; i < items; ++i) {
        const TChannelItem& item = *image.Map()->Items(i);
        const Tag t = tagOf(3 + i);
        QCOMPARE(item.TagIndex, 3 + i);
        QCOMPARE(item.Channel, int(t.channel));
        QCOMPARE(item.ParamType, int(t.type));
        QCOMPARE(item.TagName, t.name);
        QCOMPARE(item.Note, QString());
    }
    QCOMPARE(rig.progress.size(), items);
    for (int k = 0; k < rig.progress.size(); ++k)
        QCOMPARE(rig.progress[k].first, k + 1);
}

void TestCommands::brokenCommandLeavesNoPendingWrite() {
    // An upload broken off after its index write leaves Action 3 unsent; the next command
    // must not send it (the device would append a tag to its map).
    Rig rig;
    play(rig, "A1 A2 O0 T9 A3!");
    play(rig, "R0/0/0 T0 R0/1/0");
    rig.peer.start();
    TChannelImage image;
    image.Map()->Add()->TagIndex = 9;
    TUploadCurrMapCmd upload(rig.conn.get());
    upload.setTarget(&image);
    QVERIFY(!upload.Execute());
    TUpdateTagListCmd tags(rig.conn.get());
    QVERIFY(tags.Execute());
    rig.verifyLine();
}

void TestCommands::programWideCommands() {
    TUpdateTagListCmd* tags = UpdateTagListCmd();
    QVERIFY(tags && UploadCurrMapCmd() && DownloadCurrMapCmd());
    {
        // Without a connection module there is no port to open.
        ScriptedPrompter prompter;
        QVERIFY(ModbusMapConn() == nullptr);
        QVERIFY(!tags->Execute());
        QCOMPARE(prompter.messages(), QStringList{NoPort});
    }
    // They run on the program-wide module, found when they run.
    Rig rig;
    QCOMPARE(ModbusMapConn(), rig.conn.get());
    play(rig, "R0/0/0 T0 R0/0/0 T1 R1/1/0 A1 A2 O0 A4 F");
    rig.peer.start();
    QVERIFY(tags->Execute());
    QCOMPARE(tags->TagList()->Count(), 1);
    TChannelImage image;
    UploadCurrMapCmd()->setTarget(&image);
    QVERIFY(UploadCurrMapCmd()->Execute());
    UploadCurrMapCmd()->setTarget(nullptr);
    rig.verifyLine();
}

QTEST_GUILESS_MAIN(TestCommands)
#include "tst_Commands.moc"
