#pragma once

#include <QAbstractTableModel>
#include <QByteArrayView>
#include <QString>
#include <QTime>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zorvan {

struct TExchangeStatus;

// The "Package" text of one packet: every byte as two upper-case hexadecimal digits followed by
// one space, so "01 03 40 00 00 02 D1 CB " (the text ends with a space; empty for no bytes).
QString formatPackage(QByteArrayView bytes);

// The traffic list's rows: one per packet, "Time" (hh:mm:ss.zzz), "Direct" ("out" for a request,
// "in" for a reply, "error" for an exchange that failed) and "Package" (the bytes, or why the
// exchange failed). The log has no size limit, so rows are kept packed: the bytes of all packets
// in one growing buffer and one 64-bit word per row (end offset, time of day and kind). About a
// dozen bytes per Modbus frame, and the texts are made only for the rows a view shows.
class TrafficLog : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { TimeColumn = 0, DirectColumn = 1, PackageColumn = 2, ColumnCount = 3 };

    explicit TrafficLog(QObject* parent = nullptr);

    // Appends one row; a view sees it at once.
    void append(bool aOut, QByteArrayView bytes, QTime time = QTime::currentTime());
    // Appends a row saying why an exchange failed (nothing for one that did not).
    void appendFailure(const TExchangeStatus& status, QTime time = QTime::currentTime());
    // Removes every row and frees the storage.
    void clear();

    int count() const { return int(m_rows.size()); }
    bool isOut(int row) const;
    bool isFailure(int row) const;
    QByteArray bytes(int row) const;
    QString timeText(int row) const;
    // "out", "in" or "error".
    QString directText(int row) const;
    // The row's "Package" text, as put on the clipboard.
    QString packageText(int row) const;
    // Every row as a line of time, direction and package, separated by tabs.
    QByteArray text() const;
    // Bytes held by the storage (capacity, not just the used part).
    std::size_t memoryBytes() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    void appendRow(std::uint64_t kind, QByteArrayView bytes, QTime time);
    std::size_t rowBegin(int row) const;
    std::size_t rowEnd(int row) const;

    std::vector<char> m_bytes;
    // Per row: the end offset of its bytes in m_bytes (bits 0-34), the milliseconds since
    // midnight (bits 35-61), bit 62 set for a failure, bit 63 for "out". A failure's bytes are
    // its status, packed.
    std::vector<std::uint64_t> m_rows;
};

} // namespace zorvan
