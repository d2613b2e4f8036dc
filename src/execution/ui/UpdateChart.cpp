#include "execution/ui/UpdateChart.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QSignalBlocker>
#include <QtCharts/QDateTimeAxis>
#include <QtCharts/QValueAxis>
#include <QtCharts/QXYSeries>
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

namespace zorvan {

namespace {

QValueAxis* verticalAxisOf(QXYSeries& series) {
    for (QAbstractAxis* axis : series.attachedAxes())
        if (axis->orientation() == Qt::Vertical)
            if (auto* valueAxis = qobject_cast<QValueAxis*>(axis))
                return valueAxis;
    return nullptr;
}

QDateTimeAxis* bottomAxisOf(QChart& chart) {
    for (QAbstractAxis* axis : chart.axes(Qt::Horizontal))
        if (auto* timeAxis = qobject_cast<QDateTimeAxis*>(axis))
            return timeAxis;
    return nullptr;
}

// Sets both ends at once, the smaller first. A span lost in rounding (a first value of -0.01
// gives d = 0) would leave the axis without a scale, so it is widened a little around the value.
void setAxisRange(QValueAxis& axis, double a, double b) {
    double lo = std::min(a, b);
    double hi = std::max(a, b);
    const double magnitude = std::max(std::abs(lo), std::abs(hi));
    if (!(hi - lo > magnitude * 1e-12)) {
        const double mid = lo / 2 + hi / 2;
        const double pad = std::max(std::abs(mid) * 1e-6, 1e-5);
        lo = mid - pad;
        hi = mid + pad;
    }
    axis.setRange(lo, hi);
}

} // namespace

TUpdateChart::TUpdateChart(QObject* parent)
    : QObject(parent), Now([] { return QDateTime::currentDateTime(); }) {
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(RedrawInterval);
    connect(&m_flushTimer, &QTimer::timeout, this, &TUpdateChart::flush);
}

void TUpdateChart::setChart(QChart* chart) {
    if (m_chart)
        disconnect(m_chart, nullptr, this, nullptr);
    m_chart = chart;
    if (chart)
        connect(chart, &QChart::plotAreaChanged, this, &TUpdateChart::fitTimeTicks);
    fitTimeTicks();
}

void TUpdateChart::fitTimeTicks() {
    QDateTimeAxis* axis = m_chart ? bottomAxisOf(*m_chart) : nullptr;
    const double width = m_chart ? m_chart->plotArea().width() : 0;
    if (!axis || width <= 0)
        return;
    // Qt Charts cuts a label down to its share of the axis; a share per tick is kept for each.
    const QString widest =
        QDateTime(QDate(2000, 12, 28), QTime(20, 58, 58)).toString(axis->format());
    const int room =
        QFontMetrics(axis->labelsFont()).horizontalAdvance(widest) + 2 * TimeLabelPadding;
    const int ticks = std::clamp(int(width) / std::max(room, 1), 2, 5);
    if (axis->tickCount() != ticks)
        axis->setTickCount(ticks);
}

bool TUpdateChart::rangePending(const QObject* series) {
    return series && series->property(RangePendingProperty).toInt() != 0;
}

void TUpdateChart::AddPoint(QXYSeries* Series, double Value) {
    if (m_clearPending) {
        clear();
        return;
    }
    if (!Series)
        return;
    const QDateTime now = Now ? Now() : QDateTime::currentDateTime();
    if (m_lastTime.isValid() &&
        std::llabs(m_lastTime.secsTo(now)) < static_cast<long long>(m_updateInterval))
        return;
    if (!std::isfinite(Value))
        return;

    const double v = Value;
    if (m_vertMinMaxAdjust && Series->isVisible()) {
        if (QValueAxis* axis = verticalAxisOf(*Series)) {
            if (rangePending(Series)) {
                Series->setProperty(RangePendingProperty, 0);
                const double d = v * 1.0 / 1000 + 0.00001;
                setAxisRange(*axis, v - d, v + d);
                m_ranges.remove(axis);
                if (m_chart)
                    m_chart->update();
                // Pending events may delete this updater, the chart, the series or its axis.
                const QPointer<TUpdateChart> self(this);
                const QPointer<QXYSeries> series(Series);
                const QPointer<QValueAxis> guardedAxis(axis);
                QCoreApplication::processEvents();
                if (!self || !series || !guardedAxis)
                    return;
            }
            // Widened in flush(): each change of the axis lays out every series on it.
            if (Series->isVisible()) {
                Range& range = m_ranges[axis];
                if (!range.Axis)
                    range = {axis, axis->min(), axis->max()};
                range.Lo = std::min(range.Lo, v);
                range.Hi = std::max(range.Hi, v);
            }
        }
    }

    m_lastTime = now;
    track(Series);
    QList<QPointF>& stored = m_points[Series];
    stored.append(QPointF(double(m_lastTime.toMSecsSinceEpoch()), v));
    if (const int old = oldPrefix(stored))
        stored.remove(0, old);
    if (Series->isVisible())
        markChanged(Series);
}

void TUpdateChart::track(QXYSeries* series) {
    if (m_tracked.contains(series))
        return;
    m_tracked.insert(series);
    connect(series, &QAbstractSeries::visibleChanged, this,
            [this, series] { visibilityChanged(series); });
    connect(series, &QObject::destroyed, this, [this](QObject* gone) {
        m_tracked.remove(gone);
        m_points.remove(gone);
        m_changed.remove(gone);
    });
    if (!series->isVisible())
        visibilityChanged(series);
}

void TUpdateChart::visibilityChanged(QXYSeries* series) {
    if (series->isVisible())
        markChanged(series);
    else if (series->count() > 0)
        series->clear();
}

QList<QPointF> TUpdateChart::points(const QXYSeries* series) const {
    return m_points.value(series);
}

QList<QPointF> TUpdateChart::shownPoints(const QXYSeries* series) const {
    const QList<QPointF> all = m_points.value(series);
    const double columns = m_chart ? m_chart->plotArea().width() : 0;
    if (columns < 1 || all.size() <= 2 * columns)
        return all;
    return columnExtremes(all, 1000.0 * std::max(m_timeInterval, 1) / columns);
}

QList<QPointF> TUpdateChart::columnExtremes(const QList<QPointF>& points, double width) {
    QList<QPointF> kept;
    const qsizetype n = points.size();
    for (qsizetype i = 0; i < n;) {
        const double column = std::floor(points[i].x() / width);
        qsizetype lo = i, hi = i, j = i + 1;
        for (; j < n && std::floor(points[j].x() / width) == column; ++j) {
            if (points[j].y() < points[lo].y())
                lo = j;
            if (points[j].y() > points[hi].y())
                hi = j;
        }
        kept.append(points[std::min(lo, hi)]);
        if (lo != hi)
            kept.append(points[std::max(lo, hi)]);
        i = j;
    }
    return kept;
}

void TUpdateChart::markChanged(QXYSeries* series) {
    m_changed.insert(series, series);
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void TUpdateChart::flush() {
    m_flushTimer.stop(); // a direct call leaves no queued one behind
    QDateTimeAxis* timeAxis = nullptr;
    const QDateTime from = m_lastTime.addSecs(-m_timeInterval);
    if (m_autoScroll && m_chart && m_lastTime.isValid())
        if (QDateTimeAxis* axis = bottomAxisOf(*m_chart))
            if (axis->min() != from || axis->max() != m_lastTime)
                timeAxis = axis;
    for (const Range& range : std::exchange(m_ranges, {}))
        if (range.Axis && (range.Lo < range.Axis->min() || range.Hi > range.Axis->max()))
            setAxisRange(*range.Axis, std::min(range.Lo, range.Axis->min()),
                         std::max(range.Hi, range.Axis->max()));
    // Moving the axis lays out every series on it: those get their points silently first.
    const auto changed = std::exchange(m_changed, {});
    for (const QPointer<QXYSeries>& series : changed) {
        if (!series || !series->isVisible())
            continue;
        const bool quiet = timeAxis && series->attachedAxes().contains(timeAxis);
        const QSignalBlocker blocker(quiet ? series.data() : nullptr);
        series->replace(shownPoints(series));
    }
    if (timeAxis)
        timeAxis->setRange(from, m_lastTime);
}

int TUpdateChart::oldPrefix(const QList<QPointF>& points) const {
    const int n = int(points.size());
    if (n < 2)
        return 0;
    // Points are dropped in batches so that an append does not pay a removal each time; a
    // point counts as old when it lies before the last 1.25 x TimeInterval seconds, or after the
    // newest point (the clock was set back).
    const double window = 1000.0 * std::max(m_timeInterval, 1);
    const double last = double(m_lastTime.toMSecsSinceEpoch());
    const double first = points.first().x();
    if (first >= last - 1.25 * window && first <= last)
        return 0;
    const double cutoff = last - 1.1 * window;
    int k = 0;
    while (k < n - 1 && (points[k].x() < cutoff || points[k].x() > last))
        ++k;
    // Keep the last point before the window so that the line reaches the axis' left edge.
    if (k > 0 && points[k - 1].x() < cutoff)
        --k;
    return k;
}

void TUpdateChart::ClearChart(bool Running) {
    m_clearPending = true;
    if (!Running)
        clear();
}

void TUpdateChart::clear() {
    m_lastTime = QDateTime();
    if (!m_chart || m_chart->series().isEmpty())
        return;
    m_points.clear();
    m_changed.clear();
    m_ranges.clear();
    for (QAbstractSeries* series : m_chart->series()) {
        if (auto* xy = qobject_cast<QXYSeries*>(series))
            xy->clear();
        series->setProperty(RangePendingProperty, 1);
    }
    m_clearPending = false;
    m_chart->update();
}

void TUpdateChart::setUpAxes(QChart& chart) {
    if (!bottomAxisOf(chart)) {
        auto* timeAxis = new QDateTimeAxis(&chart);
        timeAxis->setFormat(QStringLiteral("hh:mm:ss"));
        chart.addAxis(timeAxis, Qt::AlignBottom);
    }
    if (chart.axes(Qt::Vertical).isEmpty())
        chart.addAxis(new QValueAxis(&chart), Qt::AlignLeft);
}

void TUpdateChart::attachSeries(QChart& chart, QXYSeries* series) {
    setUpAxes(chart);
    chart.addSeries(series);
    series->attachAxis(bottomAxisOf(chart));
    series->attachAxis(chart.axes(Qt::Vertical).constFirst());
}

} // namespace zorvan
