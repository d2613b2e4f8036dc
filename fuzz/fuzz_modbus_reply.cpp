// Any bytes from the line as the replies to a register space's requests, through Refresh, Flush,
// their retrying forms and the single requests, with parameters of every type and byte order in
// single and block modes. Besides the sanitizers' checks on every access:
// - every request that goes out is a whole, checksummed frame for registers inside the image,
//   and a write carries what the image holds there;
// - the image changes only where a reply that answers the request put data, to exactly that
//   data;
// - an exchange reported done leaves no parameter waiting to be written;
// - the traffic log keeps every frame as it was, and every value text can be made.

#include "FuzzCheck.h"

#include "comm/ModbusCrc.h"
#include "comm/ModbusParameter.h"
#include "comm/ModbusSpace.h"
#include "comm/ModbusTransport.h"
#include "device/ModbusMap.h"
#include "execution/TrafficLog.h"

#include <QCoreApplication>
#include <algorithm>
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <fuzzer/FuzzedDataProvider.h>
#include <memory>
#include <vector>

namespace {

using namespace zorvan;

using Image = std::array<quint8, TModbusSpace::ImageSize>;

// The line: each reply is the next `expected` bytes of the input; a control byte per reply can
// give it the request's own header and a correct checksum, so that replies also get past the
// checksum and reach the image. Too few bytes left is a reply cut short by the time-out.
class LineTransport : public TModbusTransport {
public:
    LineTransport(FuzzedDataProvider& line, const TModbusSpace& space, Image& expectedImage)
        : m_line(line), m_space(space), m_image(expectedImage) {}

    bool Transact(TRequest& request, quint16 expected) override {
        checkRequest(request, expected);
        if (m_line.remaining_bytes() == 0)
            return false;
        const quint8 how = m_line.ConsumeIntegral<quint8>();
        const std::vector<quint8> reply = m_line.ConsumeBytes<quint8>(expected);
        if (reply.size() < expected) {
            // As the port driver does: what came is in the buffer, the rest never arrived.
            std::copy(reply.begin(), reply.end(), request.Data.begin());
            return false;
        }
        const bool read = request.Data[1] == FnReadHoldingRegisters;
        const quint16 first = static_cast<quint16>(request.Data[2] << 8 | request.Data[3]);
        const int count = request.Data[5];
        std::array<quint8, 6> header{};
        std::memcpy(header.data(), request.Data.data(), header.size());
        // Whatever lies past the reply in the buffer must not be taken for data.
        std::memset(request.Data.data(), 0xA5, request.Data.size());
        std::memcpy(request.Data.data(), reply.data(), expected);
        if (how & 1) {
            const int kept = read ? 3 : 6;
            std::memcpy(request.Data.data(), header.data(), std::min<int>(kept, expected));
            if (read && expected > 2)
                request.Data[2] = static_cast<quint8>(2 * count);
        }
        if ((how & 2) && expected >= 2) {
            const quint16 crc = ModbusCrc16(request.Data.data(), expected - 2u);
            request.Data[expected - 2] = static_cast<quint8>(crc & 0xFF);
            request.Data[expected - 1] = static_cast<quint8>(crc >> 8);
        }
        // Data is taken only from a reply that answers the request: its checksum, slave address,
        // function code and byte count.
        const bool answers = ModbusCrc16(request.Data.data(), expected) == 0 &&
                             request.Data[0] == header[0] && request.Data[1] == header[1] &&
                             request.Data[2] == 2 * count;
        if (read && answers) {
            const int at = 2 * static_cast<quint16>(first - m_space.BaseAddress());
            std::memcpy(m_image.data() + at, request.Data.data() + 3, std::size_t(2 * count));
        }
        return true;
    }

private:
    void checkRequest(const TRequest& request, quint16 expected) const {
        FUZZ_CHECK(request.Length >= 8 && request.Length <= TRequest::Capacity);
        FUZZ_CHECK(ModbusCrc16(request.Data.data(), request.Length) == 0);
        FUZZ_CHECK(request.Data[0] == m_space.DeviceAddress());
        const quint8 function = request.Data[1];
        FUZZ_CHECK(function == FnReadHoldingRegisters || function == FnWriteMultipleRegisters);
        const quint16 first = static_cast<quint16>(request.Data[2] << 8 | request.Data[3]);
        FUZZ_CHECK(request.Data[4] == 0);
        const int count = request.Data[5];
        const int at = 2 * static_cast<quint16>(first - m_space.BaseAddress());
        FUZZ_CHECK(at + 2 * count <= TModbusSpace::ImageSize);
        if (function == FnReadHoldingRegisters) {
            FUZZ_CHECK(request.Length == 8);
            FUZZ_CHECK(expected == ReadReplyLength(count));
        } else {
            FUZZ_CHECK(request.Data[6] == 2 * count);
            FUZZ_CHECK(request.Length == 9 + 2 * count);
            FUZZ_CHECK(expected == WriteReplyLength);
            FUZZ_CHECK(std::memcmp(request.Data.data() + 7, m_space.Image() + at,
                                   std::size_t(2 * count)) == 0);
        }
    }

    FuzzedDataProvider& m_line;
    const TModbusSpace& m_space;
    Image& m_image;
};

const QString masks[] = {QStringLiteral("0.00"), QStringLiteral("#,##0.0##"),
                         QStringLiteral("0.000E+00"), QStringLiteral("0.0;(0.0);zero"), QString()};

void showValues(const std::vector<std::unique_ptr<TModbusParameter>>& parameters) {
    int k = 0;
    for (const auto& p : parameters) {
        TModbusData& d = *p->Data();
        (void)d.AsWord();
        (void)DWordToText(d.AsDWord());
        (void)FormatFloatDot(masks[k++ % std::size(masks)], d.AsSingle());
    }
}

bool anyModified(const std::vector<std::unique_ptr<TModbusParameter>>& parameters) {
    for (const auto& p : parameters)
        if (p->Modified())
            return true;
    return false;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // The spaces' read timers want an event dispatcher; no event loop runs.
    static QCoreApplication app(*argc, *argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider line(data, size);
    TModbusSpace space;
    Image expectedImage{};
    LineTransport transport(line, space, expectedImage);
    TrafficLog log;
    transport.OnRequest = [&log](bool aOut, const TRequest& r) {
        log.append(aOut, QByteArrayView(r.Data.data(), r.Length));
        FUZZ_CHECK(log.bytes(log.count() - 1) ==
                   QByteArray(reinterpret_cast<const char*>(r.Data.data()), r.Length));
        FUZZ_CHECK(log.packageText(log.count() - 1).size() == 3 * r.Length);
    };
    space.setModbusTransport(&transport);
    space.setReadInterval(0);
    space.setDeviceAddress(line.ConsumeIntegral<quint8>());
    space.setBaseAddress(line.ConsumeIntegral<quint16>());
    space.setSingleWriteMode(line.ConsumeBool());
    space.setSingleReadMode(line.ConsumeBool());
    space.setRefreshIAC(line.ConsumeBool());
    space.setWriteIAC(line.ConsumeBool());
    space.setRetryCount(line.ConsumeIntegralInRange(0, 2));

    // A few parameters of every type, then perhaps many more, past what a frame or the image
    // holds.
    std::vector<std::unique_ptr<TModbusParameter>> parameters;
    auto addParameter = [&](TModbusParamType type) {
        auto p = std::make_unique<TModbusParameter>();
        p->setParamType(type);
        p->setByteOrder(static_cast<TModbusParamByteOrder>(line.ConsumeIntegralInRange(0, 3)));
        p->setAccess(static_cast<TModbusParamAccess>(line.ConsumeIntegralInRange(0, 2)));
        p->setIndex(line.ConsumeIntegralInRange<quint16>(0, 7));
        p->setModbusSpace(&space);
        parameters.push_back(std::move(p));
    };
    const int perType = line.ConsumeIntegralInRange(1, 3);
    for (int t = 0; t < 4; ++t)
        for (int i = 0; i < perType; ++i)
            addParameter(static_cast<TModbusParamType>(t));
    const int extra = line.ConsumeBool() ? line.ConsumeIntegralInRange(0, 300) : 0;
    const auto extraType = static_cast<TModbusParamType>(line.ConsumeIntegralInRange(0, 3));
    for (int i = 0; i < extra; ++i)
        addParameter(extraType);
    std::memcpy(expectedImage.data(), space.Image(), expectedImage.size());

    for (int step = 0; step < 64 && line.remaining_bytes() > 0; ++step) {
        const auto pick = [&]() -> TModbusParameter* {
            return parameters[line.ConsumeIntegralInRange<std::size_t>(0, parameters.size() - 1)]
                .get();
        };
        bool done = false;
        switch (line.ConsumeIntegralInRange(0, 9)) {
        case 0:
            done = space.Refresh();
            break;
        case 1:
            done = space.Flush();
            break;
        case 2:
            done = space.RefreshWithRetries();
            break;
        case 3:
            done = space.FlushWithRetries();
            break;
        case 4:
            (void)space.ReadBlock();
            break;
        case 5:
            (void)space.WriteBlock();
            break;
        case 6:
            (void)space.ReadParameter(pick());
            break;
        case 7:
            (void)space.WriteParameter(pick());
            break;
        case 8: {
            // A value set locally: the image changes here, not through a reply.
            TModbusData& d = *pick()->Data();
            const quint32 value = line.ConsumeIntegral<quint32>();
            switch (line.ConsumeIntegralInRange(0, 2)) {
            case 0:
                d.setAsWord(value);
                break;
            case 1:
                d.setAsDWord(value);
                break;
            default:
                d.setAsSingle(std::bit_cast<float>(value));
                break;
            }
            std::memcpy(expectedImage.data(), space.Image(), expectedImage.size());
            break;
        }
        default:
            space.setReadDue(true);
            space.setSingleWriteMode(line.ConsumeBool());
            space.setSingleReadMode(line.ConsumeBool());
            break;
        }
        FUZZ_CHECK(std::memcmp(space.Image(), expectedImage.data(), expectedImage.size()) == 0);
        if (done)
            FUZZ_CHECK(!anyModified(parameters));
    }
    showValues(parameters);
    return 0;
}
