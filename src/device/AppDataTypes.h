#pragma once

#include "components/XMLOptionsSerializer.h"

#include <QString>
#include <QtGlobal>
#include <memory>

namespace zorvan {

// One tag of the device's catalogue, as the tag-list read found it. Lives in memory only.
class TTagListItem : public TXMLClass {
    Q_OBJECT
    Q_PROPERTY(quint32 Channel MEMBER Channel)
    Q_PROPERTY(quint32 DataType MEMBER DataType)
    Q_PROPERTY(QString TagName MEMBER TagName)
public:
    explicit TTagListItem(QObject* owner = nullptr);

    // Channel and DataType 0, TagName empty.
    void Clear() override;

    quint32 Channel = 0;  // the device's channel number of the tag
    quint32 DataType = 0; // value type code: 0 Int, 1 UInt, 2 Long, 3 ULong, 4 Float
    // Always 12 characters from the device, zero padding kept; shown up to the first zero
    // character (TagNameText of document/ChannelMapText.h).
    QString TagName;
};

// The device's tag catalogue; owns its items. The position of an item is the tag's index on
// the device: the list is filled from index 0 on, without gaps.
class TTagList : public TXMLClassList {
    Q_OBJECT
public:
    explicit TTagList(QObject* owner = nullptr) : TXMLClassList(owner) {}

    std::unique_ptr<TXMLClass> CreateItem() override;

    TTagListItem* Items(int index) const;
    TTagListItem* operator[](int index) const { return Items(index); }
    // A new, cleared item appended for the caller to fill.
    TTagListItem* Add();
};

} // namespace zorvan
