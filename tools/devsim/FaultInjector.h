#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <map>
#include <optional>
#include <random>

namespace zorvan::devsim {

enum class FaultKind { Drop, Corrupt, WrongAddress, Delay };

// What happens to one reply on its way to the line. The request itself is always carried out:
// the faults model a reply lost or damaged on the line, or a slow device.
struct FaultPlan {
    bool drop = false;
    bool corrupt = false;
    bool wrongAddress = false;
    int delayMs = 0;

    bool any() const { return drop || corrupt || wrongAddress || delayMs > 0; }
    QString text() const;
};

struct FaultSettings {
    double dropRate = 0.0;
    double corruptRate = 0.0;
    double wrongAddressRate = 0.0;
    int delayMs = 0;
    double delayRate = 1.0; // share of replies delayed by delayMs
    // Faults by request number (1-based, counting the requests addressed to this device).
    struct Listed {
        FaultKind kind = FaultKind::Drop;
        int delayMs = 0;
    };
    std::map<std::uint64_t, Listed> byRequest;
    std::uint64_t seed = 0;
};

// Decides the faults of each reply and applies them to the frame. The random sequence depends
// only on the seed and the number of requests seen, so a seed repeats a run.
class FaultInjector {
public:
    explicit FaultInjector(FaultSettings settings);

    FaultPlan planFor(std::uint64_t requestNumber);

    // A reply of another slave: address byte changed, checksum made right again.
    static void readdress(QByteArray& frame, int ownAddress);
    // The checksum made wrong (both bytes inverted), the rest kept.
    static void spoilChecksum(QByteArray& frame);

private:
    double draw();

    FaultSettings m_settings;
    std::mt19937_64 m_random;
};

// Parses "N,M:kind,..." (kinds drop, corrupt, wrong-address, delay, delay=MS); plain N drops.
std::optional<std::map<std::uint64_t, FaultSettings::Listed>> parseFailRequests(const QString& text,
                                                                                QString* error);

} // namespace zorvan::devsim
