#pragma once

#include <QListWidget>
#include <QPointer>

namespace zorvan {

class TTimePlot;

// The plot's legend beside it: one entry (the line's colour and the series' name) for every
// visible series of the plot, scrolling when they do not all fit. It is as wide as its names
// need and hidden while no series is shown, so the plot keeps the rest of the width.
class TChartLegend : public QListWidget {
    Q_OBJECT
public:
    explicit TChartLegend(TTimePlot* chart, QWidget* parent = nullptr);

    // Lists the visible series again and fits the width. The plot tells no one of series added
    // or shown: its owner calls this (or queueRefresh, to list them once after many changes).
    void refresh();
    void queueRefresh();

protected:
    // A change of height may need or spare the scroll bar.
    void resizeEvent(QResizeEvent* event) override;

private:
    QPointer<TTimePlot> m_chart;
    bool m_refreshQueued = false;
};

} // namespace zorvan
