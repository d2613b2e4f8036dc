#pragma once

#include <QList>
#include <QTableView>
#include <functional>

namespace zorvan {

// A report-style list: grid lines, whole-row selection of several rows, the selection kept
// visible without focus, no in-place editing, no sorting; rows drag out. What a drag carries
// and where it may land is decided by the owner through the handlers below.
class TReportListView : public QTableView {
    Q_OBJECT
public:
    explicit TReportListView(QWidget* parent = nullptr);

    // A drag is starting: the owner records what it carries and returns false to carry nothing.
    std::function<bool()> OnStartDrag;
    // The drag started by this list has ended, dropped or not.
    std::function<void()> OnEndDrag;
    // May a drag of the editor's own kind land here?
    std::function<bool()> OnDragOver;
    // A drag has landed; the row under the pointer, or -1.
    std::function<void(int targetRow)> OnDragDrop;
    // Enter pressed in the list, and a double click anywhere in it.
    std::function<void()> OnEnter;
    std::function<void()> OnDblClick;

    // The selected rows, ascending.
    QList<int> SelectedRows() const;
    // Column widths, in column order.
    void SetColumnWidths(const QList<int>& widths);

    // The MIME type that carries a drag between these lists: the source list's object name.
    static QString DragMimeType();

protected:
    void startDrag(Qt::DropActions supportedActions) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool AcceptsDrag(const QMimeData* data) const;
};

} // namespace zorvan
