#pragma once

#include <QAbstractTableModel>
#include <QIcon>
#include <QList>
#include <functional>
#include <vector>

namespace zorvan {

class TChannelList;
class TTagList;
class TTagListItem;

// The Map list's rows over the document's channel list: row i shows channel i. Texts are
// produced on demand from the channel; only the register offsets are kept, because each
// depends on every row above it. The model keeps its own row count, changed only by the
// calls below, so a document changed behind its back is never read out of range.
class TChannelMapModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { colOffset, colType, colChannel, colName, colNote, ColumnCount };

    // source returns the list to show (may return null); rowImages are the row icons:
    // 0 for the 16-bit types, 1 for the 32-bit integers, 2 for the floating-point type;
    // a row of any other type shows a blank of the same size.
    TChannelMapModel(std::function<TChannelList*()> source, QList<QIcon> rowImages,
                     QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;

    // Every row again from the list.
    void Reset();
    // The list has grown by one channel at its end: one row more.
    void AppendRow();
    // The channel of a row has changed: that row again, and every offset below it.
    void UpdateRow(int row);
    // The channels of these rows have been removed from the list: the rows go, offsets follow.
    void RemoveRows(QList<int> rows);

    // The register offset shown in a row.
    quint16 Offset(int row) const;
    // The icon index of a value type code: 0, 1, 2, or -1 for none.
    static int RowImageIndex(int paramType);

private:
    // Recounts the offsets from a row on and reports the rows whose offset changed.
    void RecountOffsets(int from);

    std::function<TChannelList*()> m_source;
    QList<QIcon> m_rowImages;
    QIcon m_blankImage;             // for the rows of a type without an image
    std::vector<quint16> m_offsets; // one per row: the row count
};

// The Tags list's rows over a device tag list: row i shows tag i. The rows are those of the
// list as it was when it was last set; the device read refreshes it by setting it again.
class TTagListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { colNumber, colChannel, colType, colName, ColumnCount };

    explicit TTagListModel(QList<QIcon> rowImages, QObject* parent = nullptr);

    // Every row again from this list (not owned; null empties the rows).
    void SetTagList(const TTagList* tags);
    const TTagList* TagList() const { return m_tags; }
    // The tag a row shows, or null.
    const TTagListItem* Tag(int row) const;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    QList<QIcon> m_rowImages;
    QIcon m_blankImage;
    const TTagList* m_tags = nullptr;
    int m_rows = 0;
};

} // namespace zorvan
