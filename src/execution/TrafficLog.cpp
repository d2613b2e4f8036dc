#include "execution/TrafficLog.h"

#include "comm/ModbusTransport.h"

#include <QStringList>
#include <algorithm>
#include <limits>

namespace zorvan {

namespace {

constexpr std::uint64_t OutBit = std::uint64_t(1) << 63;
constexpr std::uint64_t FailureBit = std::uint64_t(1) << 62;
constexpr int TimeShift = 35;
constexpr std::uint64_t TimeMask = (std::uint64_t(1) << 27) - 1; // a day's 86,400,000 ms fit
constexpr std::uint64_t OffsetMask = (std::uint64_t(1) << TimeShift) - 1;

// A failure's status as the bytes of its row: failure, received and expected counts (big
// endian, a frame is at most 1052 bytes), exception code.
QByteArray packStatus(const TExchangeStatus& s) {
    const char bytes[] = {char(s.Failure),       char(s.Received >> 8), char(s.Received),
                          char(s.Expected >> 8), char(s.Expected),      char(s.ExceptionCode)};
    return QByteArray(bytes, sizeof bytes);
}

TExchangeStatus unpackStatus(const QByteArray& b) {
    const auto at = [&b](int i) { return int(static_cast<unsigned char>(b.at(i))); };
    return {TExchangeFailure(at(0)), at(1) << 8 | at(2), at(3) << 8 | at(4), quint8(at(5))};
}

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

void TrafficLog::append(bool aOut, QByteArrayView bytes, QTime time) {
    appendRow(aOut ? OutBit : 0, bytes, time);
}

void TrafficLog::appendFailure(const TExchangeStatus& status, QTime time) {
    if (status.Failure != TExchangeFailure::efNone)
        appendRow(FailureBit, packStatus(status), time);
}

void TrafficLog::appendRow(std::uint64_t kind, QByteArrayView bytes, QTime time) {
    // A Qt model counts rows in int; past that a view could not show them anyway. The offsets
    // have 35 bits: 32 GiB of packets.
    if (m_rows.size() >= std::size_t(std::numeric_limits<int>::max()) ||
        m_bytes.size() + std::size_t(bytes.size()) > OffsetMask)
        return;
    const int row = count();
    beginInsertRows({}, row, row);
    m_bytes.insert(m_bytes.end(), bytes.begin(), bytes.end());
    const auto ms = std::uint64_t(std::max(time.msecsSinceStartOfDay(), 0)) & TimeMask;
    m_rows.push_back(std::uint64_t(m_bytes.size()) | ms << TimeShift | kind);
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

bool TrafficLog::isFailure(int row) const {
    return row >= 0 && row < count() && (m_rows[std::size_t(row)] & FailureBit) != 0;
}

QString TrafficLog::timeText(int row) const {
    if (row < 0 || row >= count())
        return {};
    const int ms = int((m_rows[std::size_t(row)] >> TimeShift) & TimeMask);
    return QTime::fromMSecsSinceStartOfDay(ms).toString(QStringLiteral("hh:mm:ss.zzz"));
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
    if (isFailure(row))
        return QStringLiteral("error");
    return isOut(row) ? QStringLiteral("out") : QStringLiteral("in");
}

QString TrafficLog::packageText(int row) const {
    if (row < 0 || row >= count())
        return {};
    if (isFailure(row))
        return ExchangeFailureText(unpackStatus(bytes(row)));
    const std::size_t begin = rowBegin(row);
    return formatPackage(QByteArrayView(m_bytes.data() + begin, qsizetype(rowEnd(row) - begin)));
}

QByteArray TrafficLog::text() const {
    QByteArray text;
    for (int row = 0; row < count(); ++row) {
        const QStringList fields{timeText(row), directText(row), packageText(row).trimmed()};
        text += fields.join(QLatin1Char('\t')).toUtf8() + '\n';
    }
    return text;
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
    case TimeColumn:
        return timeText(index.row());
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
    case TimeColumn:
        return QStringLiteral("Time");
    case DirectColumn:
        return QStringLiteral("Direct");
    case PackageColumn:
        return QStringLiteral("Package");
    default:
        return {};
    }
}

} // namespace zorvan
