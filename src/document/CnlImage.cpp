#include "document/CnlImage.h"

namespace zorvan {

void TChannelItem::Clear() {
    Channel = 0;
    TagIndex = 0;
    ParamType = 0;
    TagName = QStringLiteral("Unknown");
    Note.clear();
}

std::unique_ptr<TXMLClass> TChannelList::CreateItem() {
    return std::make_unique<TChannelItem>();
}

TChannelItem* TChannelList::Items(int index) const {
    return static_cast<TChannelItem*>(TXMLClassList::Items(index));
}

TChannelItem* TChannelList::Add() {
    return static_cast<TChannelItem*>(TXMLClassList::Add());
}

TChannelItem* TChannelList::Insert(int index) {
    return static_cast<TChannelItem*>(TXMLClassList::Insert(index));
}

TChannelImage::TChannelImage(QObject* owner)
    : TXMLClass(owner), m_map(std::make_unique<TChannelList>(this)) {
    TChannelImage::Clear();
}

void TChannelImage::Clear() {
    m_map->Clear();
    Options = 0;
    BaseAdr = DefaultBaseAdr;
}

} // namespace zorvan
