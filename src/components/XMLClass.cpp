#include "components/XMLClass.h"

#include "components/XMLPropertyText.h"

#include <algorithm>

namespace zorvan {

using namespace xmlstore;

// ---------------------------------------------------------------- TXMLClass

void TXMLClass::Assign(const QObject* source) {
    if (const auto* s = qobject_cast<const TXMLClass*>(source))
        AssignProperties(this, s);
}

// ---------------------------------------------------------------- TXMLClassList

TXMLClassList::~TXMLClassList() {
    // Items are destroyed while the list is still a list, as Clear would do.
    TXMLClassList::Clear();
}

void TXMLClassList::Clear() {
    // From position 0 on, without shifting the rest of the list after every item.
    std::vector<std::unique_ptr<TXMLClass>> items;
    items.swap(m_items);
    for (auto& item : items)
        item.reset();
}

TXMLClass* TXMLClassList::Items(int index) const {
    if (index < 0 || index >= Count())
        return nullptr;
    return m_items[static_cast<size_t>(index)].get();
}

int TXMLClassList::IndexOf(const TXMLClass* item) const {
    for (int i = 0; i < Count(); ++i)
        if (m_items[static_cast<size_t>(i)].get() == item)
            return i;
    return -1;
}

TXMLClass* TXMLClassList::Add() {
    return Insert(Count());
}

TXMLClass* TXMLClassList::Insert(int index) {
    std::unique_ptr<TXMLClass> item = CreateItem();
    if (!item)
        return nullptr;
    index = std::clamp(index, 0, Count());
    TXMLClass* raw = item.get();
    m_items.insert(m_items.begin() + index, std::move(item));
    return raw;
}

void TXMLClassList::Delete(int index) {
    if (index < 0 || index >= Count())
        return;
    const auto at = m_items.begin() + index;
    at->reset();
    m_items.erase(at);
}

void TXMLClassList::Remove(TXMLClass* item) {
    const int index = IndexOf(item);
    if (index < 0)
        return;
    std::unique_ptr<TXMLClass> owned = std::move(m_items[static_cast<size_t>(index)]);
    m_items.erase(m_items.begin() + index);
    owned.reset();
}

void TXMLClassList::Exchange(int index1, int index2) {
    if (index1 < 0 || index1 >= Count() || index2 < 0 || index2 >= Count())
        return;
    std::swap(m_items[static_cast<size_t>(index1)], m_items[static_cast<size_t>(index2)]);
}

void AssignProperties(TXMLClass* destination, const TXMLClass* source) {
    if (!destination || !source || destination == source)
        return;
    if (const auto* sourceList = qobject_cast<const TXMLClassList*>(source)) {
        auto* destinationList = qobject_cast<TXMLClassList*>(destination);
        if (!destinationList)
            return;
        destinationList->Clear();
        for (int i = 0; i < sourceList->Count(); ++i)
            AssignProperties(destinationList->Add(), sourceList->Items(i));
        return;
    }
    const QMetaObject* sm = source->metaObject();
    const QMetaObject* dm = destination->metaObject();
    // Properties are paired by position; both objects are of one class.
    const int count = std::min(sm->propertyCount(), dm->propertyCount());
    for (int i = firstPublishedProperty(); i < count; ++i) {
        const QMetaProperty sp = sm->property(i);
        const QMetaProperty dp = dm->property(i);
        if (isObjectProperty(sp)) {
            if (TXMLClass* from = heldObject(source, sp))
                AssignProperties(heldObject(destination, dp), from);
            continue;
        }
        if (dp.isWritable())
            dp.write(destination, sp.read(source));
    }
}

} // namespace zorvan
