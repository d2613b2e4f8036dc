// What the map upload writes to Action whatever the register image holds, and how long a save to
// flash is waited for.

#include "device/Commands.h"
#include "device/ModbusMap.h"
#include "settings/AppOptions.h"

#include "ChannelMaps.h"
#include "FakeModbusTransport.h"
#include "MapControlFrames.h"
#include "PtyPeer.h"
#include "ScriptedPrompter.h"
#include "TempConfigHome.h"

#include <QtTest>
#include <memory>

using namespace zorvan;
using namespace zorvan::test;

namespace {

constexpr quint16 ActionReg = 12290;

// Settings and a connection module whose port opens on a quiet pseudo-terminal.
struct Rig {
    TempConfigHome home;
    TOptions options;
    std::unique_ptr<TModbusMapConn> conn;
    PtyPeer line;
    ScriptedPrompter prompter;

    Rig() {
        options.setSaveOnDestroy(false);
        options.regprmRxTimeout->setValue(50);
        conn = std::make_unique<TModbusMapConn>(options);
        conn->PortDrv.setPortName(line.slavePath());
    }
};

// The values written to Action, in order, by the requests from `from` on.
QList<int> actionWrites(const FakeModbusTransport& device, int from) {
    QList<int> codes;
    for (int i = from; i < device.requests.size(); ++i) {
        const QByteArray& r = device.requests[i];
        const int first = quint8(r[2]) << 8 | quint8(r[3]);
        const int offset = ActionReg - first;
        if (r[1] == char(16) && offset >= 0 && offset < quint8(r[5]))
            codes << (quint8(r[7 + 2 * offset]) << 8 | quint8(r[8 + 2 * offset]));
    }
    return codes;
}

} // namespace

class tst_UploadAndFlash : public QObject {
    Q_OBJECT
private slots:
    // A device that keeps the last code written, after an upload whose first write was lost:
    // every step still sends its code, so the map gets all three entries.
    void everyStepWritesAction() {
        Rig rig;
        rig.line.start();
        FakeModbusTransport device;
        device.silentAt = {0};
        for (TModbusSpace* s :
             {&rig.conn->ZorvanSpace, &rig.conn->ZorvanSpaceAdd, &rig.conn->Space1})
            s->setModbusTransport(&device);
        const auto map = channelMap({0, 1, 2});
        TUploadCurrMapCmd upload(rig.conn.get());
        upload.setTarget(map.get());
        QVERIFY(!upload.Execute());
        const int second = int(device.requests.size());
        QVERIFY(upload.Execute());
        QCOMPARE(actionWrites(device, second), QList<int>({1, 2, 3, 3, 3, 4}));
        QVERIFY(!upload.FlashFailed());
    }

    // A device answers a save to flash when the flash is written, long after a register reply.
    void flashReplyIsWaitedForASecond() {
        Rig rig;
        const DeviceFrames device;
        rig.line.expect(device.flash()).send(device.flashReply(), 600);
        rig.line.start();
        QVERIFY(rig.conn->OpenLink());
        QVERIFY(rig.conn->StoreToFlash());
        QCOMPARE(rig.conn->PortDrv.InputTimeout(), 50u);
        QVERIFY(rig.line.wait());
        QCOMPARE(rig.line.failures(), QStringList());
    }
};

QTEST_GUILESS_MAIN(tst_UploadAndFlash)
#include "tst_UploadAndFlash.moc"
