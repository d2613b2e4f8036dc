// Any bytes as a channel map file. The loader must neither crash nor leak; a file it refuses
// leaves the reset map and a recorded reason; a map it accepts is saved, read back to the same
// map, and saved again to the same bytes.

#include "FuzzCheck.h"

#include "components/XMLOptionsSerializer.h"
#include "document/CnlImage.h"
#include "document/Document.h"

#include <cstddef>
#include <cstdint>

namespace {

using namespace zorvan;

struct MapFile {
    TChannelImage image;
    TXMLOptionsSerializer serializer;
    MapFile() {
        ConfigureDocumentSerializer(serializer);
        serializer.Root = &image;
    }
};

bool isReset(const TChannelImage& image) {
    return image.Map()->Count() == 0 && image.BaseAdr == TChannelImage::DefaultBaseAdr &&
           image.Options == 0;
}

bool sameMap(const TChannelImage& a, const TChannelImage& b) {
    if (a.BaseAdr != b.BaseAdr || a.Options != b.Options || a.Map()->Count() != b.Map()->Count())
        return false;
    for (int i = 0; i < a.Map()->Count(); ++i) {
        const TChannelItem* x = a.Map()->Items(i);
        const TChannelItem* y = b.Map()->Items(i);
        if (x->Channel != y->Channel || x->ParamType != y->ParamType ||
            x->TagIndex != y->TagIndex || x->TagName != y->TagName || x->Note != y->Note)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QByteArray bytes =
        QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    MapFile first;
    // Something to reset: a load must not leave parts of an earlier map behind.
    first.image.Map()->Add()->TagName = QStringLiteral("stale");
    first.image.BaseAdr = 1;
    first.image.Options = 5;

    const bool loaded = first.serializer.LoadFromData(bytes);
    const TXMLReadError& error = first.serializer.LastReadError();
    if (!loaded) {
        FUZZ_CHECK(error.Status != TXMLReadStatus::rsOk);
        FUZZ_CHECK(!error.Describe().isEmpty());
        FUZZ_CHECK(isReset(first.image));
        return 0;
    }
    FUZZ_CHECK(error.Status == TXMLReadStatus::rsOk);
    FUZZ_CHECK(error.Describe().isEmpty());

    const QByteArray saved = first.serializer.SaveToData();
    MapFile second;
    FUZZ_CHECK(second.serializer.LoadFromData(saved));
    FUZZ_CHECK(second.serializer.Version == first.serializer.Version);
    FUZZ_CHECK(sameMap(first.image, second.image));
    FUZZ_CHECK(second.serializer.SaveToData() == saved);
    return 0;
}
