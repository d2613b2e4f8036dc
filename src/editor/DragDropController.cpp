#include "editor/DragDropController.h"

#include <algorithm>

namespace zorvan {

void TDragDropController::StartDrag(const QString& sourceName) {
    m_sourceName = sourceName;
    m_rows.clear();
    m_dragging = true;
}

void TDragDropController::AddRow(int row) {
    if (row < 0)
        return;
    const auto place = std::lower_bound(m_rows.begin(), m_rows.end(), row);
    if (place != m_rows.end() && *place == row)
        return;
    m_rows.insert(place, row);
}

void TDragDropController::EndDrag() {
    m_sourceName = SenderSource;
    m_rows.clear();
    m_dragging = false;
}

} // namespace zorvan
