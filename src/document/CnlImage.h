#pragma once

#include "components/XMLOptionsSerializer.h"

#include <QString>
#include <QtGlobal>
#include <memory>

namespace zorvan {

// One channel of the map: a device tag placed into the map. The published properties, in
// this order, are what the document file holds for it.
class TChannelItem : public TXMLClass {
    Q_OBJECT
    Q_PROPERTY(int Channel MEMBER Channel)
    Q_PROPERTY(int ParamType MEMBER ParamType)
    Q_PROPERTY(int TagIndex MEMBER TagIndex)
    Q_PROPERTY(QString TagName MEMBER TagName)
    Q_PROPERTY(QString Note MEMBER Note)
public:
    // A channel made by the list's factory: numbers 0, strings empty (no Clear).
    explicit TChannelItem(QObject* owner = nullptr) : TXMLClass(owner) {}

    // Numbers 0, TagName "Unknown", Note empty: the start of a channel added by hand.
    void Clear() override;

    int Channel = 0;   // the tag's channel number on the device
    int ParamType = 0; // value type code: 0 Int, 1 UInt, 2 Long, 3 ULong, 4 Float
    int TagIndex = 0;  // position of the tag in the device's tag list
    QString TagName;
    QString Note;
};

// The channels of a map, in map order; owns them.
class TChannelList : public TXMLClassList {
    Q_OBJECT
public:
    explicit TChannelList(QObject* owner = nullptr) : TXMLClassList(owner) {}

    std::unique_ptr<TXMLClass> CreateItem() override;

    TChannelItem* Items(int index) const;
    TChannelItem* operator[](int index) const { return Items(index); }
    TChannelItem* Add();
    TChannelItem* Insert(int index);
};

// The whole document: the channel map, its base register address and its byte-order code.
class TChannelImage : public TXMLClass {
    Q_OBJECT
    Q_PROPERTY(zorvan::TChannelList* Map READ Map CONSTANT)
    Q_PROPERTY(quint16 BaseAdr MEMBER BaseAdr)
    Q_PROPERTY(quint32 Options MEMBER Options)
public:
    static constexpr quint16 DefaultBaseAdr = 16384;

    // Runs Clear: empty map, BaseAdr 16384, Options 0.
    explicit TChannelImage(QObject* owner = nullptr);

    // Destroys every channel, Options 0, BaseAdr 16384.
    void Clear() override;

    TChannelList* Map() const { return m_map.get(); }

    quint16 BaseAdr = DefaultBaseAdr; // first register address of the mapped values
    quint32 Options = 0;              // byte-order code, 0..7 in use

private:
    std::unique_ptr<TChannelList> m_map;
};

} // namespace zorvan
