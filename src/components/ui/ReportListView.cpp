#include "components/ui/ReportListView.h"

#include <QDrag>
#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPalette>

#include <algorithm>

namespace zorvan {

QString TReportListView::DragMimeType() {
    return QStringLiteral("application/x-zorvan-dragged-rows");
}

TReportListView::TReportListView(QWidget* parent) : QTableView(parent) {
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setSortingEnabled(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideRight);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragDrop);
    // Drops are taken by the rows' area only: an ignored drag must not bubble up to the frame
    // and be taken there.
    setAcceptDrops(false);
    viewport()->setAcceptDrops(true);
    setDropIndicatorShown(false);
    setAutoScroll(true);
    setIconSize(QSize(24, 24));

    verticalHeader()->hide();
    // Fixed row heights: the list never measures its rows, so thousands of them cost nothing.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(26);
    horizontalHeader()->setSectionsClickable(false);
    horizontalHeader()->setSortIndicatorShown(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setStretchLastSection(false);

    // The selection stays visible when the list loses the focus.
    QPalette p = palette();
    p.setColor(QPalette::Inactive, QPalette::Highlight,
               p.color(QPalette::Active, QPalette::Highlight));
    p.setColor(QPalette::Inactive, QPalette::HighlightedText,
               p.color(QPalette::Active, QPalette::HighlightedText));
    setPalette(p);
}

QList<int> TReportListView::SelectedRows() const {
    QList<int> rows;
    if (!selectionModel())
        return rows;
    const QModelIndexList selected = selectionModel()->selectedRows();
    rows.reserve(selected.size());
    for (const QModelIndex& index : selected)
        rows.append(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TReportListView::SetColumnWidths(const QList<int>& widths) {
    for (int column = 0; column < widths.size(); ++column)
        horizontalHeader()->resizeSection(column, widths[column]);
}

void TReportListView::startDrag(Qt::DropActions /*supportedActions*/) {
    if (!OnStartDrag || !OnStartDrag()) {
        if (OnEndDrag)
            OnEndDrag();
        return;
    }
    auto* mime = new QMimeData;
    mime->setData(TReportListView::DragMimeType(), objectName().toUtf8());
    auto* drag = new QDrag(this);
    drag->setMimeData(mime);
    drag->exec(Qt::MoveAction, Qt::MoveAction);
    if (OnEndDrag)
        OnEndDrag();
}

bool TReportListView::AcceptsDrag(const QMimeData* data) const {
    return data && data->hasFormat(TReportListView::DragMimeType()) && OnDragOver && OnDragOver();
}

void TReportListView::dragEnterEvent(QDragEnterEvent* event) {
    if (AcceptsDrag(event->mimeData())) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TReportListView::dragMoveEvent(QDragMoveEvent* event) {
    // The base class scrolls near the edges; whether the drop is taken is decided here.
    QTableView::dragMoveEvent(event);
    if (AcceptsDrag(event->mimeData())) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void TReportListView::dropEvent(QDropEvent* event) {
    if (!AcceptsDrag(event->mimeData())) {
        event->ignore();
        return;
    }
    const QModelIndex target = indexAt(event->position().toPoint());
    event->setDropAction(Qt::MoveAction);
    event->accept();
    if (OnDragDrop)
        OnDragDrop(target.isValid() ? target.row() : -1);
    stopAutoScroll();
    setState(NoState);
    viewport()->update();
}

void TReportListView::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (OnEnter)
            OnEnter();
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void TReportListView::mouseDoubleClickEvent(QMouseEvent* event) {
    QTableView::mouseDoubleClickEvent(event);
    if (event->button() == Qt::LeftButton && OnDblClick)
        OnDblClick();
}

} // namespace zorvan
