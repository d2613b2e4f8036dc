// The serial device scan, the port links and the port picker over temporary folders standing for
// /dev, /dev/serial/by-id, /sys/class/tty and the ports folder, pseudo-terminals as the devices.

#include "Cases.h"

#include "ScriptedPrompter.h"

#include "comm/PortPicker.h"
#include "settings/PortSetting.h"
#include "settings/StandartStoreObjects.h"

#include <QDir>
#include <QTemporaryDir>
#include <pty.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace zorvan;
using namespace zorvan::test;

namespace {

// Steps separated by ";": "tty NAME [MODE]" a pseudo-terminal as dev/NAME (mode 660), owned by
// another user than the one judged, who is in its group until "as other"; "ln LINK TARGET";
// "put FILE TEXT"; "link N PATH" and "unlink N", which say what they did. Then the scan:
// devices as "PATH 'SHORT NAME' NUMBERS ACCESS", links as "COMn TARGET 'SHORT NAME' PRESENCE
// ACCESS"; paths relative to the root, "|" between lines.
struct Case {
    const char* steps;
    const char* expected;
};

struct Machine {
    QTemporaryDir root;
    PortRoots roots{root.filePath("dev"), root.filePath("dev/serial/by-id"), root.filePath("sys"),
                    root.filePath("ports")};
    PortUser user{::getuid() + 1, {}};
    QList<int> fds;
    Machine() { QDir::setCurrent(root.path()); } // links made from paths relative to the root
    ~Machine() {
        for (int fd : fds)
            ::close(fd);
    }
    QString rel(QString p) const { return p.remove(root.path() + '/'); }
    QString step(const QStringList& w) {
        const QString a = w.value(1), b = w.value(2);
        QDir().mkpath(QFileInfo(root.filePath(a)).path());
        if (w[0] == "tty") {
            int master = -1, slave = -1;
            char name[128] = {};
            if (::openpty(&master, &slave, name, nullptr, nullptr) != 0)
                qFatal("no pseudo-terminal");
            fds << master << slave;
            struct stat st {};
            ::chmod(name, b.isEmpty() ? 0660 : b.toUInt(nullptr, 8));
            ::stat(name, &st);
            user.groups = {st.st_gid};
            QDir().mkpath(roots.dev);
            QFile::link(name, root.filePath("dev/" + a));
        } else if (w[0] == "ln") {
            ::symlink(QFile::encodeName(b).constData(), QFile::encodeName(root.filePath(a)));
        } else if (w[0] == "put") {
            QFile file(root.filePath(a));
            file.open(QIODevice::WriteOnly) && file.write(b.toUtf8());
        } else if (w[0] == "as") {
            user.groups.clear();
        } else {
            const PortChange c =
                w[0] == "link" ? linkPort(roots, a.toInt(), b) : unlinkPort(roots, a.toInt());
            return (c.ok ? "ok " : "no ") + rel(c.text);
        }
        return {};
    }
};

// Adapters ttyUSB0 and ttyACM0 with stable names, ttyUSB1 without; UARTs at ttyS0 and ttyS2.
const QString Adapters =
    "tty ttyUSB0;ln dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0 ../../ttyUSB0;"
    "tty ttyUSB1;tty ttyACM0;ln dev/serial/by-id/usb-Acme_Probe_X9-if00 ../../ttyACM0;tty ttyS0;"
    "put sys/ttyS0/type 4;tty ttyS1;put sys/ttyS1/type 0;tty ttyS2;put sys/ttyS2/type 4;";

// The port picker after Adapters and the steps, the setting at current, the entry picked (-1:
// none): the entries ("*" the current one), the setting's text afterwards, what was told and the
// links.
struct Pick {
    const char* steps;
    int current;
    int picked;
    const char* expected;
};

QString numbers(const QList<int>& list) {
    QStringList n;
    for (int x : list)
        n << QString::number(x);
    return n.isEmpty() ? "-" : n.join(',');
}

} // namespace

class tst_PortScan : public QObject {
    Q_OBJECT
private slots:
    void scan_data() {
        // clang-format off
        addCases<Case>({
        {"listing", {"tty ttyUSB0;tty ttyACM1;tty ttyS0;tty ttyS1;tty ttyS2;put sys/ttyS0/type 4;put sys/ttyS1/type 0;"
                     "ln dev/serial/by-id/usb-FTDI_X_USB_UART_A1-if00-port0 ../../ttyUSB0;link 3 dev/ttyUSB0;link 4 dev/ttyS0;"
                     "tty ttyXR0;ln dev/serial/by-id/pci-Exar_B-if01 ../../ttyXR0",
                     "ok dev/serial/by-id/usb-FTDI_X_USB_UART_A1-if00-port0|ok dev/ttyS0|dev/ttyACM1 '' - ok|"
                     "dev/ttyS0 '' 4 ok|dev/ttyUSB0 'FTDI X A1' 3 ok|dev/ttyXR0 'Exar B' - ok|"
                     "COM3 dev/serial/by-id/usb-FTDI_X_USB_UART_A1-if00-port0 'FTDI X A1' present ok|COM4 dev/ttyS0 '' present ok"}},
        {"replacing", {"tty ttyUSB0;tty ttyUSB1;link 2 dev/ttyUSB0;link 2 dev/ttyUSB1;link 200 dev/ttyUSB1",
                       "ok dev/ttyUSB0|ok dev/ttyUSB1|ok dev/ttyUSB1|dev/ttyUSB0 '' - ok|dev/ttyUSB1 '' 2,200 ok|"
                       "COM2 dev/ttyUSB1 '' present ok|COM200 dev/ttyUSB1 '' present ok"}},
        {"unlinking", {"tty ttyUSB0;link 2 dev/ttyUSB0;unlink 2;unlink 2", "ok dev/ttyUSB0|ok ports/COM2|no COM2 is not linked|dev/ttyUSB0 '' - ok"}},
        {"missing target", {"ln ports/COM9 ../dev/ttyUSB9;ln ports/COM0 ../dev/ttyUSB9;ln ports/COMx ../dev/ttyUSB9",
                            "COM9 dev/ttyUSB9 '' absent denied"}},
        {"not devices", {"put dev/ttyUSB3 x;link 1 dev/ttyUSB3;link 1 dev/none;link 256 dev/none",
                         "no dev/ttyUSB3 is not a character device, so not a serial port|no dev/none: No such file or directory|"
                         "no port number out of range 1..255: 256"}},
        // The group's bits decide for a member even when the others' would allow more.
        {"group member", {"tty ttyUSB0 660;tty ttyUSB1 606;link 1 dev/ttyUSB1",
                          "ok dev/ttyUSB1|dev/ttyUSB0 '' - ok|dev/ttyUSB1 '' 1 denied|COM1 dev/ttyUSB1 '' present denied"}},
        {"not a member", {"tty ttyUSB0 660;tty ttyUSB1 606;as other", "dev/ttyUSB0 '' - denied|dev/ttyUSB1 '' - ok"}},
        });
        // clang-format on
    }
    void scan() {
        QFETCH(Case, c);
        Machine m;
        QStringList said;
        for (const QString& s : QString(c.steps).split(';'))
            if (const QString r = m.step(s.split(' ')); !r.isEmpty())
                said << r;
        const PortScan scan = scanPorts(m.roots, m.user);
        for (const SerialDevice& d : scan.devices)
            said << QString("%1 '%2' %3 %4")
                        .arg(m.rel(d.path), d.shortName, numbers(d.numbers),
                             d.accessible ? "ok" : "denied");
        for (const PortEntry& p : scan.ports)
            said << QString("COM%1 %2 '%3' %4 %5")
                        .arg(p.number)
                        .arg(m.rel(p.target), p.shortName, p.present ? "present" : "absent",
                             p.accessible ? "ok" : "denied");
        QCOMPARE(said.join('|'), QString(c.expected));
    }
    void pick_data() {
        // clang-format off
        addCases<Pick>({
        {"entries", {"link 4 dev/ttyUSB0;ln ports/COM6 ../dev/serial/by-id/usb-FTDI_X_USB_UART_Z9-if00-port0;"
                     "ln ports/COM7 ../dev/ttyUSB9;link 8 dev/ttyUSB1", 10, -1,
                     "COM1|COM3|COM4 — FTDI FT232R A1B2C3|COM6 — FTDI X Z9 (not present)|COM7 — (not present)|"
                     "COM8 — dev/ttyUSB1|*COM10|ttyACM0 — Acme Probe X9 (no number)|COM10|"
                     "COM4>dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0|"
                     "COM6>dev/serial/by-id/usb-FTDI_X_USB_UART_Z9-if00-port0|COM7>dev/ttyUSB9|COM8>dev/ttyUSB1"}},
        // COM1 and COM2 are linked, COM3 is a UART; ttyS0 lost its number to a link.
        {"device linked", {"link 1 dev/ttyUSB1;link 2 dev/ttyACM0", 2, 4,
                           "COM1 — dev/ttyUSB1|*COM2 — Acme Probe X9|COM3|ttyS0 (no number)|"
                           "ttyUSB0 — FTDI FT232R A1B2C3 (no number)|COM4 — FTDI FT232R A1B2C3|"
                           "COM1>dev/ttyUSB1|COM2>dev/serial/by-id/usb-Acme_Probe_X9-if00|"
                           "COM4>dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0"}},
        {"link failed", {"put ports x", 1, 4,
                         "*COM1|COM3|ttyACM0 — Acme Probe X9 (no number)|ttyUSB0 — FTDI FT232R A1B2C3 (no number)|"
                         "ttyUSB1 (no number)|COM1|Could not link dev/ttyUSB1 to COM2: ports/.COM2.new: Not a directory"}},
        });
        // clang-format on
    }
    void pick() {
        QFETCH(Pick, c);
        Machine m;
        ScriptedPrompter prompter;
        for (const QString& s : (Adapters + c.steps).split(';'))
            m.step(s.split(' '));
        TRegComport port;
        port.setValue(c.current);
        QStringList said;
        attachPortPicker(
            port, m.roots, [] { return PortPickerTexts(); },
            [&](const QList<PortChoice>& choices, int current) {
                for (int i = 0; i < choices.size(); ++i)
                    said << (i == current ? "*" : "") + m.rel(choices[i].caption);
                return c.picked < 0 ? std::nullopt : std::optional(c.picked);
            });
        QVERIFY(!port.runUserEditor());
        said << RegistryValueText(port);
        for (const auto& r : prompter.records)
            said << m.rel(r.text + ": " + r.detail);
        for (const QFileInfo& link :
             QDir(m.roots.ports).entryInfoList({"COM*"}, QDir::AllEntries | QDir::System))
            said << link.fileName() + '>' + m.rel(link.symLinkTarget());
        QCOMPARE(said.join('|'), QString(c.expected));
    }
};

QTEST_GUILESS_MAIN(tst_PortScan)
#include "tst_PortScan.moc"
