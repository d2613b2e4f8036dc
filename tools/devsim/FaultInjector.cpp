#include "FaultInjector.h"

#include "Crc16.h"

#include <QStringList>

namespace zorvan::devsim {

QString FaultPlan::text() const {
    QStringList parts;
    if (drop) {
        parts << QStringLiteral("dropped");
    }
    if (wrongAddress) {
        parts << QStringLiteral("sent as another slave");
    }
    if (corrupt) {
        parts << QStringLiteral("checksum spoilt");
    }
    if (delayMs > 0) {
        parts << QStringLiteral("delayed %1 ms").arg(delayMs);
    }
    return parts.join(QStringLiteral(", "));
}

FaultInjector::FaultInjector(FaultSettings settings)
    : m_settings(std::move(settings)), m_random(m_settings.seed) {}

double FaultInjector::draw() {
    // 53 random bits as a fraction in [0, 1): the same on every platform for a seed.
    return double(m_random() >> 11) * 0x1.0p-53;
}

FaultPlan FaultInjector::planFor(std::uint64_t requestNumber) {
    // Always four draws, so that the decisions of one fault do not shift those of another.
    const double drop = draw();
    const double wrong = draw();
    const double corrupt = draw();
    const double delay = draw();
    FaultPlan plan;
    plan.drop = drop < m_settings.dropRate;
    plan.wrongAddress = wrong < m_settings.wrongAddressRate;
    plan.corrupt = corrupt < m_settings.corruptRate;
    if (m_settings.delayMs > 0 && delay < m_settings.delayRate) {
        plan.delayMs = m_settings.delayMs;
    }
    if (const auto listed = m_settings.byRequest.find(requestNumber);
        listed != m_settings.byRequest.end()) {
        switch (listed->second.kind) {
        case FaultKind::Drop:
            plan.drop = true;
            break;
        case FaultKind::Corrupt:
            plan.corrupt = true;
            break;
        case FaultKind::WrongAddress:
            plan.wrongAddress = true;
            break;
        case FaultKind::Delay:
            plan.delayMs = listed->second.delayMs > 0 ? listed->second.delayMs : m_settings.delayMs;
            break;
        }
    }
    return plan;
}

void FaultInjector::readdress(QByteArray& frame, int ownAddress) {
    if (frame.size() < 3) {
        return;
    }
    // The next unicast address, so the reply looks like one from a neighbour on the bus.
    frame[0] = char(ownAddress % 247 + 1);
    const std::uint16_t crc =
        modbusCrc(reinterpret_cast<const std::uint8_t*>(frame.constData()), frame.size() - 2);
    frame[frame.size() - 2] = char(crc & 0xFF);
    frame[frame.size() - 1] = char(crc >> 8);
}

void FaultInjector::spoilChecksum(QByteArray& frame) {
    if (frame.size() < 2) {
        return;
    }
    frame[frame.size() - 2] = char(frame[frame.size() - 2] ^ 0xFF);
    frame[frame.size() - 1] = char(frame[frame.size() - 1] ^ 0xFF);
}

std::optional<std::map<std::uint64_t, FaultSettings::Listed>> parseFailRequests(const QString& text,
                                                                                QString* error) {
    std::map<std::uint64_t, FaultSettings::Listed> listed;
    for (const QString& rawItem : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString item = rawItem.trimmed();
        const qsizetype colon = item.indexOf(QLatin1Char(':'));
        const QString number = colon < 0 ? item : item.left(colon);
        const QString kind = colon < 0 ? QStringLiteral("drop") : item.mid(colon + 1);
        bool ok = false;
        const qulonglong n = number.toULongLong(&ok);
        if (!ok || n == 0) {
            *error = QStringLiteral("--fail-requests: \"%1\" is not a request number (1, 2, ...)")
                         .arg(item);
            return std::nullopt;
        }
        FaultSettings::Listed fault;
        if (kind == QLatin1String("drop")) {
            fault.kind = FaultKind::Drop;
        } else if (kind == QLatin1String("corrupt")) {
            fault.kind = FaultKind::Corrupt;
        } else if (kind == QLatin1String("wrong-address")) {
            fault.kind = FaultKind::WrongAddress;
        } else if (kind == QLatin1String("delay") || kind.startsWith(QLatin1String("delay="))) {
            fault.kind = FaultKind::Delay;
            if (kind.size() > 5) {
                const int ms = kind.mid(6).toInt(&ok);
                if (!ok || ms <= 0) {
                    *error = QStringLiteral("--fail-requests: bad delay in \"%1\"").arg(item);
                    return std::nullopt;
                }
                fault.delayMs = ms;
            }
        } else {
            *error = QStringLiteral("--fail-requests: unknown fault \"%1\" (drop, corrupt, "
                                    "wrong-address, delay, delay=MS)")
                         .arg(kind);
            return std::nullopt;
        }
        listed[n] = fault;
    }
    return listed;
}

} // namespace zorvan::devsim
