#include "execution/TrafficLog.h"

#include <limits>

namespace zorvan {

namespace {

constexpr std::uint64_t OutBit = std::uint64_t(1) << 63;
constexpr std::uint64_t OffsetMask = OutBit - 1;

} // namespace

QString formatPackage(QByteArrayView bytes) {
    static constexpr char digits[] = "0123456789ABCDEF";
    QString text(bytes.size() * 3, Qt::Uninitialized);
    QChar* out = text.data();
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        *out++ = QLatin1Char(digits[b >> 4]);
        *out++ = QLatin1Char(digits[b & 0x0F]);
        *out++ = QLatin1Char(' ');
    }
    return text;
}

TrafficLog::TrafficLog(QObject* parent) : QAbstractTableModel(parent) {}

void TrafficLog::append(bool aOut, QByteArrayView bytes) {
    // A Qt model counts rows in int; past that a view could not show them anyway.
    if (m_rows.size() >= std::size_t(std::numeric_limits<int>::max()))
        return;
    const int row = count();
    beginInsertRows({}, row, row);
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    m_rows.push_back(std::uint64_t(m_bytes.size()) | (aOut ? OutBit : 0));
    endInsertRows();
}

void TrafficLog::clear() {
    if (m_rows.empty() && m_bytes.capacity() == 0)
        return;
    beginResetModel();
    std::vector<char>().swap(m_bytes);
    std::vector<std::uint64_t>().swap(m_rows);
    endResetModel();
}

std::size_t TrafficLog::rowBegin(int row) const {
    return row == 0 ? 0 : std::size_t(m_rows[std::size_t(row) - 1] & OffsetMask);
}

std::size_t TrafficLog::rowEnd(int row) const {
    return std::size_t(m_rows[std::size_t(row)] & OffsetMask);
}

bool TrafficLog::isOut(int row) const {
    return row >= 0 && row < count() && (m_rows[std::size_t(row)] & OutBit) != 0;
}

QByteArray TrafficLog::bytes(int row) const {
    if (row < 0 || row >= count())
        return {};
    const std::size_t begin = rowBegin(row);
    return QByteArray(m_bytes.data() + begin, qsizetype(rowEnd(row) - begin));
}

QString TrafficLog::directText(int row) const {
    if (row < 0 || row >= count())
        return {};
    return isOut(row) ? QStringLiteral("out") : QStringLiteral("in");
}

QString TrafficLog::packageText(int row) const {
    if (row < 0 || row >= count())
        return {};
    const std::size_t begin = rowBegin(row);
    return formatPackage(QByteArrayView(m_bytes.data() + begin, qsizetype(rowEnd(row) - begin)));
}

std::size_t TrafficLog::memoryBytes() const {
    return m_bytes.capacity() + m_rows.capacity() * sizeof(std::uint64_t);
}

int TrafficLog::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : count();
}

int TrafficLog::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : ColumnCount;
}

QVariant TrafficLog::data(const QModelIndex& index, int role) const {
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= count())
        return {};
    switch (index.column()) {
    case DirectColumn:
        return directText(index.row());
    case PackageColumn:
        return packageText(index.row());
    default:
        return {};
    }
}

QVariant TrafficLog::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case DirectColumn:
        return QStringLiteral("Direct");
    case PackageColumn:
        return QStringLiteral("Package");
    default:
        return {};
    }
}

} // namespace zorvan
