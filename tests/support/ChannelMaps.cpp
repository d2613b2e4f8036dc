#include "ChannelMaps.h"

namespace zorvan::test {

std::unique_ptr<TChannelImage> channelMap(const QList<int>& types, quint32 options) {
    auto image = std::make_unique<TChannelImage>();
    image->Options = options;
    for (int i = 0; i < types.size(); ++i) {
        TChannelItem* item = image->Map()->Add();
        item->Channel = 10 + i;
        item->ParamType = types[i];
        item->TagIndex = i;
        item->TagName = QStringLiteral("CH%1").arg(i);
    }
    return image;
}

std::unique_ptr<TChannelImage> channelMap(int count, int type, quint32 options) {
    return channelMap(QList<int>(count, type), options);
}

} // namespace zorvan::test
