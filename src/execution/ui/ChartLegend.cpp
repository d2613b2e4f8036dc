#include "execution/ui/ChartLegend.h"

#include "execution/ui/TimePlot.h"

#include <QPixmap>
#include <QResizeEvent>
#include <QScrollBar>

namespace zorvan {

TChartLegend::TChartLegend(TTimePlot* chart, QWidget* parent)
    : QListWidget(parent), m_chart(chart) {
    setObjectName(QStringLiteral("ChartLegend"));
    setSelectionMode(QAbstractItemView::NoSelection);
    setFocusPolicy(Qt::NoFocus);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setUniformItemSizes(true);
    setIconSize(QSize(10, 10));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    if (chart) {
        QPalette colours = palette();
        colours.setColor(QPalette::Base, chart->background());
        setPalette(colours);
    }
    hide();
    refresh();
}

void TChartLegend::resizeEvent(QResizeEvent* event) {
    QListWidget::resizeEvent(event);
    if (event->size().height() != event->oldSize().height())
        queueRefresh();
}

void TChartLegend::queueRefresh() {
    if (m_refreshQueued)
        return;
    m_refreshQueued = true;
    QMetaObject::invokeMethod(this, &TChartLegend::refresh, Qt::QueuedConnection);
}

void TChartLegend::refresh() {
    m_refreshQueued = false;
    clear();
    if (m_chart) {
        for (const TPlotSeries* series : m_chart->series()) {
            if (!series->isVisible())
                continue;
            QPixmap swatch(iconSize());
            swatch.fill(series->pen().color());
            addItem(new QListWidgetItem(QIcon(swatch), series->name()));
        }
    }
    setVisible(count() > 0);
    if (count() == 0)
        return;
    const bool scrolls = count() * sizeHintForRow(0) > viewport()->height();
    setFixedWidth(sizeHintForColumn(0) + 2 * frameWidth() + 4 +
                  (scrolls ? verticalScrollBar()->sizeHint().width() : 0));
}

} // namespace zorvan
