#include "editor/DragDropController.h"

#include <algorithm>

namespace zorvan {

void TDragDropController::StartDrag(const QString& sourceName) {
    SourceName_ = sourceName;
    Rows_.clear();
    Dragging_ = true;
}

void TDragDropController::AddRow(int row) {
    if (row < 0)
        return;
    const auto place = std::lower_bound(Rows_.begin(), Rows_.end(), row);
    if (place != Rows_.end() && *place == row)
        return;
    Rows_.insert(place, row);
}

void TDragDropController::EndDrag() {
    SourceName_ = SenderSource;
    Rows_.clear();
    Dragging_ = false;
}

} // namespace zorvan
