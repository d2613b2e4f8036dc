#pragma once

#include "comm/PortScan.h"

namespace zorvan {

// The port picker's own texts, in the interface language.
struct PortPickerTexts {
    QString notPresent = QStringLiteral("(not present)");
    QString noNumber = QStringLiteral("(no number)");
    QString linkFailed = QStringLiteral("Could not link %1 to COM%2"); // the device, the number
};

// One entry of the port picker: a port number, or a device that no number reaches yet.
struct PortChoice {
    int number = 0;  // 0 for a device without a number
    QString device;  // that device, linked to a free number when picked
    QString caption; // "COM3 — FTDI FT232R A1B2C3", "ttyUSB0 (no number)"
};

// "COM<n>", followed by what a link of the number reaches: the adapter's short name, else the
// target's path, or that the target is missing.
QString portCaption(const PortScan& scan, const PortRoots& roots, int number,
                    const PortPickerTexts& texts);

// The linked numbers, the real UARTs' numbers and current, in number order; then the devices
// that no number reaches.
QList<PortChoice> portChoices(const PortScan& scan, const PortRoots& roots, int current,
                              const PortPickerTexts& texts);

// The lowest number with neither a link nor a real UART at ttyS<n-1>; 0 when all are taken.
int lowestFreePort(const PortScan& scan, const PortRoots& roots);

} // namespace zorvan
