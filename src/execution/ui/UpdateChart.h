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

class QValueAxis;
class QXYSeries;

namespace zorvan {

// Feeds live values into a time chart: each AddPoint appends (now, value) to a line series,
// keeps the vertical axis around the values of visible series and scrolls the bottom date-time
// axis to the last TimeInterval seconds. The chart is the caller's (see attachSeries for the
// axes it expects); the updater only works on it.
//
// Drawing is kept light: Qt Charts lays out a whole series again (every point, stroke included)
// whenever its points change, and every series on an axis when the axis moves. So AddPoint only
// stores the point in the updater (points() below is always current), and the chart is brought
// up to date at most RedrawInterval ms apart by flush(): it widens the vertical axis to the new
// values, scrolls the time axis and gives each changed visible series what the plot can show,
// the lowest and the highest point of every pixel column, in time order. Listeners of a series see
// pointsReplaced, not pointAdded.
//
// Re-entrancy: the first value of a visible series after a clear lets pending user-interface
// events run (QCoreApplication::processEvents) in the middle of AddPoint, so a user's Stop,
// Exit or close can be handled there, in the middle of the caller's poll tick. Callers must
// not free what the tick still uses (rows, series, parameters, spaces) from such an event:
// defer the teardown until the tick has returned (deleteLater, or a flag the tick checks).
// The updater itself survives its chart, the series or itself being deleted meanwhile: it
// notices and returns without touching them.
//
// Hidden series get their points too, kept in the updater only: the chart lays out every series
// attached to the time axis at each scroll, hidden or not, so a hidden series is left empty and
// is given its points again when it is shown.
//
// Points older than what the time axis can still show are dropped (those before the last
// 1.25 x TimeInterval seconds, down to 1.1 x, keeping one point before the window so the line
// reaches the left edge), so a run of hours costs the same per cycle and holds the same memory
// as a run of minutes.
//
// The time axis gets as many ticks as its "hh:mm:ss" labels have room for, whole.
class TUpdateChart : public QObject {
    Q_OBJECT
public:
    // The per-series range-pending flag: an integer property of the series object; non-zero
    // means the vertical axis has not yet been set around a value of this series since the last
    // clear. A clear sets it to 1; a series without the property counts as 0.
    static constexpr const char* RangePendingProperty = "rangePending";

    // The shortest time between two redraws: ten a second, as often as a reader can follow.
    static constexpr int RedrawInterval = 100;
    // The room a time label needs beside its text: Qt Charts pads each side of a label.
    static constexpr int TimeLabelPadding = 8;

    explicit TUpdateChart(QObject* parent = nullptr);

    bool VertMinMaxAdjust() const { return m_vertMinMaxAdjust; }
    void setVertMinMaxAdjust(bool on) { m_vertMinMaxAdjust = on; }
    bool AutoScroll() const { return m_autoScroll; }
    void setAutoScroll(bool on) { m_autoScroll = on; }
    QChart* Chart() const { return m_chart; }
    void setChart(QChart* chart);
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

    // All points the updater holds for a series (what the time window shows, and a little more),
    // whether it is shown or hidden; the series itself holds what its pixel columns can show.
    QList<QPointF> points(const QXYSeries* series) const;

    // Scrolls the time axis to LastTime (AutoScroll) and hands the visible series changed since
    // the last flush their points. Runs by itself at most RedrawInterval ms after an AddPoint.
    void flush();

    // The lowest and the highest of the points (sorted by x) in each column of `width` on x
    // (columns counted from x = 0), in their order; a column's single point once.
    static QList<QPointF> columnExtremes(const QList<QPointF>& points, double width);

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
    // The time axis' tick count from the plot's width and its labels' width.
    void fitTimeTicks();
    // What a visible series is given of its points for the plot's current width.
    QList<QPointF> shownPoints(const QXYSeries* series) const;

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
    // The values each vertical axis is to be widened to at the next flush.
    struct Range {
        QPointer<QValueAxis> Axis;
        double Lo = 0, Hi = 0;
    };
    QHash<const QObject*, Range> m_ranges;
    QTimer m_flushTimer;
    // Series seen by AddPoint (watched for visibility and destruction), and their points.
    QSet<const QObject*> m_tracked;
    QHash<const QObject*, QList<QPointF>> m_points;
};

} // namespace zorvan
