#pragma once

#include <QObject>
#include <memory>
#include <vector>

namespace zorvan {

// A stored object. Its stored fields are Q_PROPERTYs: the serializer walks them in
// declaration order, base classes first, and writes one element per property. A property
// holding a pointer to a TXMLClass is stored as a nested element.
//
// QObject parenthood is not used for ownership: `Owner` is only a back reference.
class TXMLClass : public QObject {
    Q_OBJECT
public:
    explicit TXMLClass(QObject* owner = nullptr) : m_owner(owner) {}
    ~TXMLClass() override = default;

    // The object given at construction; not used by the serializer.
    QObject* Owner() const { return m_owner; }

    // Copies the published properties of a source of the same class (AssignProperties);
    // any other source is ignored.
    virtual void Assign(const QObject* source);
    // Resets the object to its defaults. Derived constructors call their own Clear where the
    // class wants a cleared start state (a virtual call from a base constructor would not
    // reach them).
    virtual void Clear() {}

private:
    QObject* m_owner;
};

// An ordered list that owns its items. Concrete lists override CreateItem to make items of
// their own class.
class TXMLClassList : public TXMLClass {
    Q_OBJECT
public:
    explicit TXMLClassList(QObject* owner = nullptr) : TXMLClass(owner) {}
    ~TXMLClassList() override;

    // Deletes every item, from position 0 on.
    void Clear() override;
    // Makes one new item of the list's item class; the base class makes none.
    virtual std::unique_ptr<TXMLClass> CreateItem() { return nullptr; }

    int Count() const { return static_cast<int>(m_items.size()); }
    // The item at a 0-based position; nullptr outside 0..Count-1.
    TXMLClass* Items(int index) const;
    TXMLClass* operator[](int index) const { return Items(index); }
    int IndexOf(const TXMLClass* item) const;

    // CreateItem, append, return the new item (nullptr when CreateItem makes none).
    TXMLClass* Add();
    // CreateItem, insert at a position (clamped to 0..Count), return it.
    TXMLClass* Insert(int index);
    // Destroys the item at a position, then removes it; a position outside the list is ignored.
    void Delete(int index);
    // Removes a given item from the list, then destroys it; an item not in the list is ignored.
    void Remove(TXMLClass* item);
    // Swaps two positions; positions outside the list are ignored.
    void Exchange(int index1, int index2);

private:
    std::vector<std::unique_ptr<TXMLClass>> m_items;
};

// Copies every published property of the source into the destination; both are of one
// class (properties are paired by position). A list source: the destination list is
// cleared and gets one new item per source item, copied in turn. A nested object is copied
// into the destination's own nested object.
void AssignProperties(TXMLClass* destination, const TXMLClass* source);

} // namespace zorvan
