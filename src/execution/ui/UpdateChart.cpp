#include "execution/ui/UpdateChart.h"

#include "execution/ui/TimePlot.h"

#include <QCoreApplication>
#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace zorvan {

TUpdateChart::TUpdateChart(QObject* parent)
    : QObject(parent), Now([] { return QDateTime::currentDateTime(); }) {
    m_flushTimer.setSingleShot(true);
    m_flushTimer.setInterval(RedrawInterval);
    connect(&m_flushTimer, &QTimer::timeout, this, &TUpdateChart::flush);
}

bool TUpdateChart::rangePending(const QObject* series) {
    return series && series->property(RangePendingProperty).toInt() != 0;
}

void TUpdateChart::AddPoint(TPlotSeries* Series, double Value) {
    if (m_clearPending) {
        clear();
        return;
    }
    if (!Series)
        return;
    const QDateTime now = Now ? Now() : QDateTime::currentDateTime();
    if (m_updateInterval > 0 && m_lastTime.isValid() &&
        std::llabs(m_lastTime.secsTo(now)) < static_cast<long long>(m_updateInterval))
        return;
    if (!std::isfinite(Value))
        return;

    const double v = Value;
    if (m_vertMinMaxAdjust && m_chart && Series->isVisible()) {
        if (rangePending(Series)) {
            Series->setProperty(RangePendingProperty, 0);
            const double d = v * 1.0 / 1000 + 0.00001;
            m_chart->setValueRange(v - d, v + d);
            m_widen = false;
            m_chart->update();
            // Pending events may delete this updater, the plot or the series.
            const QPointer<TUpdateChart> self(this);
            const QPointer<TPlotSeries> series(Series);
            QCoreApplication::processEvents();
            if (!self || !series || !m_chart)
                return;
        }
        // Widened in flush(), with the time axis, for one repaint.
        if (Series->isVisible()) {
            m_lo = m_widen ? std::min(m_lo, v) : v;
            m_hi = m_widen ? std::max(m_hi, v) : v;
            m_widen = true;
        }
    }

    m_lastTime = now;
    const double x = double(m_lastTime.toMSecsSinceEpoch());
    // The clock was set back: points after now would break the time order the plot relies on.
    while (Series->count() > 0 && Series->points().back().x() > x)
        Series->removeLast();
    Series->append(QPointF(x, v));
    if (const int old = oldPrefix(Series->points()))
        Series->removeFirst(old);
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
}

void TUpdateChart::flush() {
    m_flushTimer.stop(); // a direct call leaves no queued one behind
    if (!m_chart)
        return;
    if (std::exchange(m_widen, false) && (m_lo < m_chart->valueMin() || m_hi > m_chart->valueMax()))
        m_chart->setValueRange(std::min(m_lo, m_chart->valueMin()),
                               std::max(m_hi, m_chart->valueMax()));
    if (m_autoScroll && m_lastTime.isValid())
        m_chart->setTimeRange(m_lastTime.addSecs(-m_timeInterval), m_lastTime);
    m_chart->update();
}

int TUpdateChart::oldPrefix(const QList<QPointF>& points) const {
    const int n = int(points.size());
    if (n < 2)
        return 0;
    // Points are dropped in batches so that an append does not pay a removal each time; a
    // point counts as old when it lies before the last 1.25 x TimeInterval seconds.
    const double window = 1000.0 * std::max(m_timeInterval, 1);
    const double last = double(m_lastTime.toMSecsSinceEpoch());
    const double first = points.first().x();
    if (first >= last - 1.25 * window)
        return 0;
    const double cutoff = last - 1.1 * window;
    int k = 0;
    while (k < n - 1 && points[k].x() < cutoff)
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
    m_widen = false;
    m_chart->setTimeRange({}, {});
    for (TPlotSeries* series : m_chart->series()) {
        series->clear();
        series->setProperty(RangePendingProperty, 1);
    }
    m_clearPending = false;
    m_chart->update();
}

} // namespace zorvan
