#pragma once

#include "document/CnlImage.h"

#include <QList>
#include <QString>
#include <memory>

namespace zorvan::test {

// A channel map of the given value type codes, in order: channel i is device channel 10 + i,
// named "CH<i>", tag index i; Options as given.
std::unique_ptr<TChannelImage> channelMap(const QList<int>& types, quint32 options = 0);
// n channels of one type code.
std::unique_ptr<TChannelImage> channelMap(int count, int type, quint32 options = 0);

} // namespace zorvan::test
