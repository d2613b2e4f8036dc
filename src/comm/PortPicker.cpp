#include "comm/PortPicker.h"

#include <QFileInfo>
#include <algorithm>

namespace zorvan {

namespace {

constexpr int MaxPortNumber = 255;
const QString Dash = QStringLiteral(" — ");

// n when the device is the real UART ttyS<n-1>, which number n opens without a link; else 0.
int uartNumber(const PortRoots& roots, const SerialDevice& device) {
    const QString prefix = roots.dev + QStringLiteral("/ttyS");
    if (!device.path.startsWith(prefix))
        return 0;
    bool ok = false;
    const int n = device.path.mid(prefix.size()).toInt(&ok);
    return ok && n >= 0 && n < MaxPortNumber ? n + 1 : 0;
}

const PortEntry* linkOf(const PortScan& scan, int number) {
    for (const PortEntry& p : scan.ports)
        if (p.number == number)
            return &p;
    return nullptr;
}

} // namespace

QString portCaption(const PortScan& scan, const PortRoots& roots, int number,
                    const PortPickerTexts& texts) {
    const QString name = QStringLiteral("COM%1").arg(number);
    const PortEntry* link = linkOf(scan, number);
    if (!link)
        return name;
    if (link->present)
        return name + Dash + (link->shortName.isEmpty() ? link->target : link->shortName);
    // An adapter that is unplugged is still known by its stable name.
    const QFileInfo target(link->target);
    if (target.path() == roots.byId)
        return name + Dash + portShortName(target.fileName()) + u' ' + texts.notPresent;
    return name + Dash + texts.notPresent;
}

QList<PortChoice> portChoices(const PortScan& scan, const PortRoots& roots, int current,
                              const PortPickerTexts& texts) {
    QList<int> numbers;
    for (const PortEntry& p : scan.ports)
        numbers.append(p.number);
    for (const SerialDevice& d : scan.devices)
        if (const int n = uartNumber(roots, d))
            numbers.append(n);
    if (current >= 1 && current <= MaxPortNumber)
        numbers.append(current);
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    QList<PortChoice> choices;
    for (int n : numbers)
        choices.append({n, QString(), portCaption(scan, roots, n, texts)});
    for (const SerialDevice& d : scan.devices) {
        // A UART is reached by its own number unless a link took that number over.
        const int uart = uartNumber(roots, d);
        if (!d.numbers.isEmpty() || (uart != 0 && !linkOf(scan, uart)))
            continue;
        QString caption = QFileInfo(d.path).fileName();
        if (!d.shortName.isEmpty())
            caption += Dash + d.shortName;
        choices.append({0, d.path, caption + u' ' + texts.noNumber});
    }
    return choices;
}

int lowestFreePort(const PortScan& scan, const PortRoots& roots) {
    for (int n = 1; n <= MaxPortNumber; ++n) {
        const bool uart =
            std::any_of(scan.devices.cbegin(), scan.devices.cend(),
                        [&](const SerialDevice& d) { return uartNumber(roots, d) == n; });
        if (!uart && !linkOf(scan, n))
            return n;
    }
    return 0;
}

} // namespace zorvan
