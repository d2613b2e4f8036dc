#include "device/AppDataTypes.h"

namespace zorvan {

TTagListItem::TTagListItem(QObject* owner) : TXMLClass(owner) {
    TTagListItem::Clear();
}

void TTagListItem::Clear() {
    Channel = 0;
    DataType = 0;
    TagName.clear();
}

std::unique_ptr<TXMLClass> TTagList::CreateItem() {
    return std::make_unique<TTagListItem>(this);
}

TTagListItem* TTagList::Items(int index) const {
    return static_cast<TTagListItem*>(TXMLClassList::Items(index));
}

TTagListItem* TTagList::Add() {
    return static_cast<TTagListItem*>(TXMLClassList::Add());
}

} // namespace zorvan
