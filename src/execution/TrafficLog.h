#pragma once

#include <QAbstractTableModel>
#include <QByteArrayView>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace zorvan {

// The "Package" text of one packet: every byte as two upper-case hexadecimal digits followed by
// one space, so "01 03 40 00 00 02 D1 CB " (the text ends with a space; empty for no bytes).
QString formatPackage(QByteArrayView bytes);

// The traffic list's rows: one per packet, "Direct" ("out" for a request, "in" for a reply) and
// "Package". The log has no size limit, so rows are kept packed: the bytes of all packets in one
// growing buffer and one 64-bit word per row (end offset and direction). About a dozen bytes per
// Modbus frame, and the texts are made only for the rows a view shows.
class TrafficLog : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { DirectColumn = 0, PackageColumn = 1, ColumnCount = 2 };

    explicit TrafficLog(QObject* parent = nullptr);

    // Appends one row; a view sees it at once.
    void append(bool aOut, QByteArrayView bytes);
    // Removes every row and frees the storage.
    void clear();

    int count() const { return int(m_rows.size()); }
    bool isOut(int row) const;
    QByteArray bytes(int row) const;
    // "out" or "in".
    QString directText(int row) const;
    // The row's "Package" text, as put on the clipboard.
    QString packageText(int row) const;
    // Bytes held by the storage (capacity, not just the used part).
    std::size_t memoryBytes() const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    std::size_t rowBegin(int row) const;
    std::size_t rowEnd(int row) const;

    std::vector<char> m_bytes;
    // Per row: end offset of its bytes in m_bytes; the top bit set for "out".
    std::vector<std::uint64_t> m_rows;
};

} // namespace zorvan
