#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QTimer>
#include <functional>

namespace zorvan {

class TPlotSeries;
class TTimePlot;

// Feeds live values into a time plot: each AddPoint appends (now, value) to a series, keeps the
// value axis around the values of visible series and scrolls the time axis to the last
// TimeInterval seconds.
//
// Drawing is kept light: AddPoint only stores the point and the range to widen to, and the plot
// is brought up to date (axes moved, one repaint) at most RedrawInterval ms apart by flush(), as
// often as a reader can follow, whatever the poll rate.
//
// Re-entrancy: the first value of a visible series after a clear lets pending user-interface
// events run (QCoreApplication::processEvents) in the middle of AddPoint, so a user's Stop,
// Exit or close can be handled there, in the middle of the caller's poll tick. Callers must
// not free what the tick still uses (rows, series, parameters, spaces) from such an event:
// defer the teardown until the tick has returned (deleteLater, or a flag the tick checks).
// The updater itself survives its plot, the series or itself being deleted meanwhile: it
// notices and returns without touching them.
//
// Hidden series get their points too; the plot draws only the visible ones.
//
// Points older than what the time axis can still show are dropped (those before the last
// 1.25 x TimeInterval seconds, down to 1.1 x, keeping one point before the window so the line
// reaches the left edge), so a run of hours costs the same per cycle and holds the same memory
// as a run of minutes.
class TUpdateChart : public QObject {
    Q_OBJECT
public:
    // The per-series range-pending flag: an integer property of the series object; non-zero
    // means the vertical axis has not yet been set around a value of this series since the last
    // clear. A clear sets it to 1; a series without the property counts as 0.
    static constexpr const char* RangePendingProperty = "rangePending";

    // The shortest time between two redraws: ten a second, as often as a reader can follow.
    static constexpr int RedrawInterval = 100;

    explicit TUpdateChart(QObject* parent = nullptr);

    bool VertMinMaxAdjust() const { return m_vertMinMaxAdjust; }
    void setVertMinMaxAdjust(bool on) { m_vertMinMaxAdjust = on; }
    bool AutoScroll() const { return m_autoScroll; }
    void setAutoScroll(bool on) { m_autoScroll = on; }
    TTimePlot* Chart() const { return m_chart; }
    void setChart(TTimePlot* chart) { m_chart = chart; }
    // Width of the visible time window, in seconds.
    int TimeInterval() const { return m_timeInterval; }
    void setTimeInterval(int seconds) { m_timeInterval = seconds; }
    // Minimum time between two added points (to any series), in whole seconds.
    int UpdateInterval() const { return m_updateInterval; }
    void setUpdateInterval(int seconds) { m_updateInterval = seconds; }

    // True after construction and after ClearChart while running: the next AddPoint clears.
    bool ClearPending() const { return m_clearPending; }
    // Time of the last added point; null after a clear.
    QDateTime LastTime() const { return m_lastTime; }

    // Adds one value of one series of Chart (see the class comment for re-entrancy). A value
    // that is not finite cannot be placed on the axes and is not added.
    void AddPoint(TPlotSeries* Series, double Value);
    // Clears all series now when not Running; while Running, the next AddPoint does.
    void ClearChart(bool Running);

    static bool rangePending(const QObject* series);

    // Scrolls the time axis to LastTime (AutoScroll), widens the value axis to the values added
    // and repaints. Runs by itself at most RedrawInterval ms after an AddPoint.
    void flush();

    // The clock of the added points; QDateTime::currentDateTime unless a test sets another.
    std::function<QDateTime()> Now;

private:
    void clear();
    // How many points at the front of a series' points are old enough to drop.
    int oldPrefix(const QList<QPointF>& points) const;

    bool m_vertMinMaxAdjust = true;
    bool m_autoScroll = true;
    QPointer<TTimePlot> m_chart;
    int m_timeInterval = 10;
    int m_updateInterval = 0;
    bool m_clearPending = true;
    QDateTime m_lastTime;
    // The values the value axis is to be widened to at the next flush, if any.
    bool m_widen = false;
    double m_lo = 0, m_hi = 0;
    QTimer m_flushTimer;
};

} // namespace zorvan
