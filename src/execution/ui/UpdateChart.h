#pragma once

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QPointer>
#include <QSet>
#include <QTimer>
#include <QtCharts/QChart>
#include <functional>

class QXYSeries;

namespace zorvan {

// Feeds live values into a time chart: each AddPoint appends (now, value) to a line series,
// keeps the vertical axis around the values of visible series and scrolls the bottom date-time
// axis to the last TimeInterval seconds. The chart is the caller's (see attachSeries for the
// axes it expects); the updater only works on it.
//
// Layout is coalesced: Qt Charts lays out a whole series again (every point, stroke included)
// for each point appended, and every series for each move of the time axis, so a cycle of 20
// series with a real clock would lay out the chart up to 20 times over. AddPoint therefore
// changes the data at once (points() below is always current) but without notifying the chart,
// and the chart is brought up to date once per pass of the event loop: flush() scrolls the time
// axis and lays out the changed series; it is queued by AddPoint and can be called at once.
// Listeners of a series see pointsReplaced, not pointAdded.
//
// Re-entrancy: the first value of a visible series after a clear lets pending user-interface
// events run (QCoreApplication::processEvents) in the middle of AddPoint, so a user's Stop,
// Exit or close can be handled there, in the middle of the caller's poll tick. Callers must
// not free what the tick still uses (rows, series, parameters, spaces) from such an event:
// defer the teardown until the tick has returned (deleteLater, or a flag the tick checks).
// The updater itself survives its chart, the series or itself being deleted meanwhile: it
// notices and returns without touching them.
//
// Hidden series get their points too, but the chart lays out every series attached to the time
// axis at each scroll, hidden or not; so the points of a hidden series are parked in the updater
// (points() shows them) and handed to the series when it is shown, and taken back when it is
// hidden again.
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

    explicit TUpdateChart(QObject* parent = nullptr);

    bool VertMinMaxAdjust() const { return m_vertMinMaxAdjust; }
    void setVertMinMaxAdjust(bool on) { m_vertMinMaxAdjust = on; }
    bool AutoScroll() const { return m_autoScroll; }
    void setAutoScroll(bool on) { m_autoScroll = on; }
    QChart* Chart() const { return m_chart; }
    void setChart(QChart* chart) { m_chart = chart; }
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
    void AddPoint(QXYSeries* Series, double Value);
    // Clears all series now when not Running; while Running, the next AddPoint does.
    void ClearChart(bool Running);

    static bool rangePending(const QObject* series);

    // All points the updater has given a series, whether shown or parked while it is hidden.
    QList<QPointF> points(const QXYSeries* series) const;

    // Scrolls the time axis to LastTime (AutoScroll) and lays out the series changed since the
    // last flush. Runs by itself once per pass of the event loop after an AddPoint.
    void flush();

    // The clock of the added points; QDateTime::currentDateTime unless a test sets another.
    std::function<QDateTime()> Now;

    // Prepares a chart for the updater: a bottom date-time axis showing "hh:mm:ss" and a left
    // value axis, each created unless the chart already has one. Returns nothing; idempotent.
    static void setUpAxes(QChart& chart);
    // Adds a series to the chart (which then owns it) and attaches it to both axes.
    static void attachSeries(QChart& chart, QXYSeries* series);

private:
    void clear();
    // How many points at the front of a series' points are old enough to drop.
    int oldPrefix(const QList<QPointF>& points) const;
    void markChanged(QXYSeries* series);
    void track(QXYSeries* series);
    void visibilityChanged(QXYSeries* series);

    bool m_vertMinMaxAdjust = true;
    bool m_autoScroll = true;
    QPointer<QChart> m_chart;
    int m_timeInterval = 10;
    int m_updateInterval = 0;
    bool m_clearPending = true;
    QDateTime m_lastTime;
    // Series whose data changed since the last flush, and the flush queued for the next pass of
    // the event loop.
    QHash<const QObject*, QPointer<QXYSeries>> m_changed;
    QTimer m_flushTimer;
    // Series seen by AddPoint (watched for visibility and destruction), and the points of the
    // hidden ones, kept out of the chart until they are shown.
    QSet<const QObject*> m_tracked;
    QHash<const QObject*, QList<QPointF>> m_parked;
};

} // namespace zorvan
