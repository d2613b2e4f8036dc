#include "editor/ui/ChannelMapModel.h"

#include "components/ui/ReportListView.h"
#include "device/AppDataTypes.h"
#include "document/ChannelMapText.h"
#include "document/CnlImage.h"

#include <QPixmap>

#include <algorithm>

namespace zorvan {

namespace {

QVariant centredIf(bool centred) {
    return centred ? QVariant(int(Qt::AlignCenter))
                   : QVariant(int(Qt::AlignLeft | Qt::AlignVCenter));
}

// A transparent image of the row images' size: keeps the room of a missing image.
QIcon blankLike(const QList<QIcon>& images) {
    if (images.isEmpty())
        return QIcon();
    QPixmap blank(images.first().availableSizes().value(0, QSize(24, 24)));
    blank.fill(Qt::transparent);
    return QIcon(blank);
}

} // namespace

TChannelMapModel::TChannelMapModel(std::function<TChannelList*()> source, QList<QIcon> rowImages,
                                   QObject* parent)
    : QAbstractTableModel(parent), m_source(std::move(source)), m_rowImages(std::move(rowImages)),
      m_blankImage(blankLike(m_rowImages)) {}

int TChannelMapModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_offsets.size());
}

int TChannelMapModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

int TChannelMapModel::RowImageIndex(int paramType) {
    switch (paramType) {
    case 0:
    case 1:
        return 0;
    case 2:
    case 3:
        return 1;
    case 4:
        return 2;
    default:
        return -1;
    }
}

QVariant TChannelMapModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const int column = index.column();
    if (role == Qt::TextAlignmentRole)
        return centredIf(column == colType || column == colChannel || column == colNote);
    const TChannelList* list = m_source ? m_source() : nullptr;
    const TChannelItem* item = list ? list->Items(index.row()) : nullptr;
    if (!item)
        return QVariant();
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (column) {
        case colOffset:
            return QString::number(m_offsets[static_cast<size_t>(index.row())]);
        case colType:
            return ParamTypeText(item->ParamType);
        case colChannel:
            return ChannelNumberText(item->Channel);
        case colName:
            return TagNameText(item->TagName);
        case colNote:
            return item->Note;
        default:
            return QVariant();
        }
    }
    if (role == Qt::DecorationRole && column == colOffset) {
        const int image = RowImageIndex(item->ParamType);
        if (image >= 0 && image < m_rowImages.size())
            return m_rowImages.at(image);
        // No image, but its room is kept so that the offsets stay in one column.
        return m_blankImage;
    }
    return QVariant();
}

QVariant TChannelMapModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return centredIf(section == colType || section == colChannel || section == colNote);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case colOffset:
        return QStringLiteral("Offset");
    case colType:
        return QStringLiteral("Type");
    case colChannel:
        return QStringLiteral("Channel");
    case colName:
        return QStringLiteral("Name");
    case colNote:
        return QStringLiteral("Note");
    default:
        return QVariant();
    }
}

Qt::ItemFlags TChannelMapModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::ItemIsDropEnabled;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled | Qt::ItemIsDropEnabled;
}

QStringList TChannelMapModel::mimeTypes() const {
    return {TReportListView::DragMimeType()};
}

quint16 TChannelMapModel::Offset(int row) const {
    return row >= 0 && row < rowCount() ? m_offsets[static_cast<size_t>(row)] : 0;
}

void TChannelMapModel::Reset() {
    beginResetModel();
    const TChannelList* list = m_source ? m_source() : nullptr;
    m_offsets = list ? ChannelOffsets(*list) : std::vector<quint16>();
    endResetModel();
}

void TChannelMapModel::AppendRow() {
    const int row = rowCount();
    beginInsertRows(QModelIndex(), row, row);
    m_offsets.push_back(0);
    endInsertRows();
    RecountOffsets(row);
}

void TChannelMapModel::UpdateRow(int row) {
    if (row < 0 || row >= rowCount())
        return;
    // A row's own offset depends on the rows above it only.
    RecountOffsets(row + 1);
    emit dataChanged(index(row, 0), index(row, ColumnCount - 1));
}

void TChannelMapModel::RemoveRows(QList<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // From the bottom up, one contiguous run at a time, so the positions above stay valid.
    qsizetype end = rows.size();
    while (end > 0) {
        qsizetype begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1)
            --begin;
        const int first = rows[begin];
        const int last = rows[end - 1];
        if (first >= 0 && last < rowCount()) {
            beginRemoveRows(QModelIndex(), first, last);
            m_offsets.erase(m_offsets.begin() + first, m_offsets.begin() + last + 1);
            endRemoveRows();
        }
        end = begin;
    }
    RecountOffsets(rows.isEmpty() ? rowCount() : rows.first());
}

void TChannelMapModel::RecountOffsets(int from) {
    const TChannelList* list = m_source ? m_source() : nullptr;
    const auto registers = [list](int row) {
        const TChannelItem* item = list ? list->Items(row) : nullptr;
        return item ? ParamTypeRegisters(item->ParamType) : 0;
    };
    // The rows above `from` are unchanged, so the count goes on from the row just above it.
    from = std::clamp(from, 0, rowCount());
    quint16 counter =
        from == 0
            ? 0
            : static_cast<quint16>(m_offsets[static_cast<size_t>(from - 1)] + registers(from - 1));
    int firstChanged = -1;
    int lastChanged = -1;
    for (int row = from; row < rowCount(); ++row) {
        quint16& offset = m_offsets[static_cast<size_t>(row)];
        if (offset != counter) {
            offset = counter;
            if (firstChanged < 0)
                firstChanged = row;
            lastChanged = row;
        }
        counter = static_cast<quint16>(counter + registers(row));
    }
    if (firstChanged >= 0)
        emit dataChanged(index(firstChanged, colOffset), index(lastChanged, colOffset));
}

// --- Tags list -------------------------------------------------------------------------------

TTagListModel::TTagListModel(QList<QIcon> rowImages, QObject* parent)
    : QAbstractTableModel(parent), m_rowImages(std::move(rowImages)),
      m_blankImage(blankLike(m_rowImages)) {}

void TTagListModel::SetTagList(const TTagList* tags) {
    beginResetModel();
    m_tags = tags;
    m_rows = tags ? tags->Count() : 0;
    endResetModel();
}

const TTagListItem* TTagListModel::Tag(int row) const {
    return m_tags && row >= 0 && row < m_rows ? m_tags->Items(row) : nullptr;
}

int TTagListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int TTagListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TTagListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return QVariant();
    const int column = index.column();
    if (role == Qt::TextAlignmentRole)
        return centredIf(column == colChannel || column == colType);
    const TTagListItem* tag = Tag(index.row());
    if (!tag)
        return QVariant();
    // Type codes are compared as the channel's signed code is.
    const int type = static_cast<int>(tag->DataType);
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        switch (column) {
        case colNumber:
            return QString::number(index.row() + 1);
        case colChannel:
            return QString::number(static_cast<quint64>(tag->Channel) + 1);
        case colType:
            return ParamTypeText(type);
        case colName:
            return TagNameText(tag->TagName);
        default:
            return QVariant();
        }
    }
    if (role == Qt::DecorationRole && column == colType) {
        const int image = TChannelMapModel::RowImageIndex(type);
        return image >= 0 && image < m_rowImages.size() ? m_rowImages.at(image) : m_blankImage;
    }
    return QVariant();
}
QVariant TTagListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal)
        return QVariant();
    if (role == Qt::TextAlignmentRole)
        return centredIf(section == colChannel || section == colType);
    if (role != Qt::DisplayRole)
        return QVariant();
    switch (section) {
    case colNumber:
        return QStringLiteral("#");
    case colChannel:
        return QStringLiteral("Channel");
    case colType:
        return QStringLiteral("Type");
    case colName:
        return QStringLiteral("Name");
    default:
        return QVariant();
    }
}

Qt::ItemFlags TTagListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
}

} // namespace zorvan
