#pragma once

#include <QList>
#include <QString>

namespace zorvan {

// Carries the rows of one drag from its start in a list to the drop: the name of the list it
// came from and the dragged row positions, ascending. Exactly one exists in the program
// (owned by the global data module).
class TDragDropController {
public:
    static inline const QString SenderSource = QStringLiteral("Sender");
    static inline const QString TagListSource = QStringLiteral("TagList");
    static inline const QString MapListSource = QStringLiteral("MapList");

    const QString& SourceName() const { return m_sourceName; }
    // The dragged rows in ascending order, each once.
    const QList<int>& Rows() const { return m_rows; }
    int Count() const { return static_cast<int>(m_rows.size()); }
    // True between StartDrag and EndDrag.
    bool Dragging() const { return m_dragging; }

    // Sets the source name and empties the row list.
    void StartDrag(const QString& sourceName);
    // Adds a row in its ascending place; a row already carried or a negative one is ignored.
    void AddRow(int row);
    // The drag is over (dropped or cancelled): no rows, source "Sender" again, so that a stale
    // drag can never be dropped a second time.
    void EndDrag();

private:
    QString m_sourceName = SenderSource;
    QList<int> m_rows;
    bool m_dragging = false;
};

} // namespace zorvan
