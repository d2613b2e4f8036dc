#pragma once

#include <QList>
#include <QString>
#include <sys/types.h>

namespace zorvan {

// Where serial devices and the port links are looked for; tests point them at temporary folders.
struct PortRoots {
    QString dev;    // ttyUSB*, ttyACM* and ttyS*
    QString byId;   // the adapters' stable names, links to devices in dev
    QString sysTty; // <name>/type: the serial driver's UART type, 0 when there is none
    QString ports;  // the links COMn that give devices their port numbers
};

// /dev, /dev/serial/by-id, /sys/class/tty and the settings folder's ports.
PortRoots systemPortRoots();

// Whose access to a device is judged: a user and every group the user is in.
struct PortUser {
    uid_t uid = 0;
    QList<gid_t> groups;
};

PortUser currentPortUser();

// A serial device present on the machine.
struct SerialDevice {
    QString path;      // under dev
    QString byIdPath;  // its stable name, empty when it has none
    QString shortName; // from the stable name ("FTDI FT232R A1B2C3"), empty without one
    bool accessible = false;
    QString group;      // the group that may open it
    QList<int> numbers; // the port numbers linked to it
};

// A port number's link, whatever its target is.
struct PortEntry {
    int number = 0;
    QString target;    // the path the link names, as the serial driver opens it
    QString shortName; // as SerialDevice's, when the target is an adapter with a stable name
    bool present = false;
    bool accessible = false;
    QString group;
};

struct PortScan {
    QList<SerialDevice> devices; // by path
    QList<PortEntry> ports;      // by number
};

PortScan scanPorts(const PortRoots& roots, const PortUser& user);

// The short name an adapter's stable name gives: "usb-FTDI_FT232R_USB_UART_A1B2C3-if00-port0"
// becomes "FTDI FT232R A1B2C3".
QString portShortName(const QString& byIdName);

// What a link or an unlink did: the link's target when made, else why not.
struct PortChange {
    bool ok = false;
    QString text;
};

// Makes or replaces ports/COM<number> (1..255), naming the device by its stable name when it has
// one; refuses anything but a character device.
PortChange linkPort(const PortRoots& roots, int number, const QString& device);
PortChange unlinkPort(const PortRoots& roots, int number);

} // namespace zorvan
