#include "execution/PlotScale.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace zorvan {

namespace {

constexpr qint64 kSecond = 1000;
constexpr qint64 kMinute = 60 * kSecond;
constexpr qint64 kHour = 60 * kMinute;

// Steps that divide a minute, an hour or a day, so ticks stay on round clock times.
constexpr std::array<qint64, 17> kTimeSteps = {
    kSecond,      2 * kSecond, 5 * kSecond, 10 * kSecond, 15 * kSecond, 20 * kSecond,
    30 * kSecond, kMinute,     2 * kMinute, 5 * kMinute,  10 * kMinute, 15 * kMinute,
    30 * kMinute, kHour,       2 * kHour,   6 * kHour,    12 * kHour,
};

// Ticks beyond this many would be closer than a pixel on any screen: the input is nonsense.
constexpr int kMaxTicks = 1000;

qint64 floorDiv(qint64 a, qint64 b) {
    const qint64 q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

} // namespace

QList<qint64> timeTicks(qint64 fromMs, qint64 toMs, double width, double labelRoom,
                        int utcOffsetSeconds) {
    QList<qint64> ticks;
    if (toMs <= fromMs || !(width > 0))
        return ticks;
    const double perMs = width / double(toMs - fromMs);
    qint64 step = kTimeSteps.back();
    for (const qint64 candidate : kTimeSteps)
        if (double(candidate) * perMs >= labelRoom) {
            step = candidate;
            break;
        }
    const qint64 offset = qint64(utcOffsetSeconds) * kSecond;
    const qint64 first = (floorDiv(fromMs + offset - 1, step) + 1) * step - offset;
    for (qint64 t = first; t <= toMs && ticks.size() < kMaxTicks; t += step)
        ticks.append(t);
    return ticks;
}

QList<double> valueTicks(double lo, double hi, double height, double labelRoom) {
    QList<double> ticks;
    if (!(hi > lo) || !(height > 0) || !std::isfinite(hi - lo))
        return ticks;
    const double most = std::max(1.0, std::floor(height / std::max(labelRoom, 1.0)));
    const double rough = (hi - lo) / most;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    double step = power * 10;
    for (const double m : {1.0, 2.0, 5.0})
        if (power * m >= rough) {
            step = power * m;
            break;
        }
    for (double k = std::ceil(lo / step); k * step <= hi && ticks.size() < kMaxTicks; ++k)
        ticks.append(k * step == 0 ? 0.0 : k * step);
    return ticks;
}

QString valueLabel(double value, double step) {
    const double magnitude = std::abs(value);
    const int decimals = step > 0 ? std::max(0, int(-std::floor(std::log10(step) + 1e-9))) : 0;
    if (magnitude >= 1e15 || decimals > 9)
        return QString::number(value, 'g', 6);
    return QString::number(value, 'f', decimals);
}

namespace {

// std::floor is a library call on the baseline x86-64 instruction set; this is a conversion
// and a compare, for the few floors a plotted point costs.
double floorOf(double v) {
    if (!(std::abs(v) < 1e18))
        return std::floor(v);
    const double t = double(qint64(v));
    return t > v ? t - 1 : t;
}

} // namespace

void SeriesSpans::restart(const Key& key) {
    m_key = key;
    m_rowsPerValue = (key.bottom - key.top) / (key.hi - key.lo);
    m_started = true;
    m_consumed = 0;
    m_columns.clear();
    m_hasLast = false;
}

QList<ColumnSpan> SeriesSpans::spans(const QList<QPointF>& points, quint64 appended,
                                     quint64 generation, const PlotFrame& frame, int firstColumn,
                                     int columns) {
    QList<ColumnSpan> shown(std::max(columns, 0));
    if (!(frame.toMs > frame.fromMs) || !(frame.hi > frame.lo) || !(frame.area.width() > 0))
        return shown;
    const Key key{(frame.toMs - frame.fromMs) / frame.area.width(),
                  frame.lo,
                  frame.hi,
                  frame.area.top(),
                  frame.area.bottom(),
                  generation};
    // Pixel column p shows absolute column p - shift.
    const auto shift = qint64(floorOf(frame.area.left() - frame.fromMs / key.msPerColumn));
    const qint64 start = firstColumn - shift;
    appended = std::max(appended, quint64(points.size()));
    const quint64 dropped = appended - quint64(points.size());
    if (!m_started || !(key == m_key) || appended < m_consumed || m_consumed < dropped ||
        start < m_shownFrom) {
        restart(key);
        m_consumed = appended - quint64(points.size());
    }
    m_shownFrom = start;
    m_walkLimit = double(columns) + 2;
    for (quint64 i = m_consumed - dropped; i < quint64(points.size()); ++i)
        add(points[qsizetype(i)]);
    m_consumed = appended;
    // Columns left of the plot will not show again.
    if (start > m_firstColumn)
        m_columns.remove(0, std::min<qsizetype>(m_columns.size(), start - m_firstColumn));
    m_firstColumn = std::max(m_firstColumn, start);
    for (qsizetype j = 0; j < shown.size() && start + j - m_firstColumn < m_columns.size(); ++j)
        if (start + j >= m_firstColumn)
            shown[j] = m_columns[qsizetype(start + j - m_firstColumn)];
    return shown;
}

void SeriesSpans::add(const QPointF& point) {
    // Values far off the axis (a series shown after the axis moved) stay countable rows. (The
    // compares also turn a NaN from an overflowing scale into a row.)
    const double reach = 1e6;
    const double y = m_key.bottom - (point.y() - m_key.lo) * m_rowsPerValue;
    const QPointF q(point.x() / m_key.msPerColumn, y < reach ? (y > -reach ? y : -reach) : reach);
    const QPointF p = std::exchange(m_last, q);
    if (!std::exchange(m_hasLast, true)) {
        cover(floorOf(q.x()), q.y(), q.y());
        return;
    }
    const double a = floorOf(p.x()), b = floorOf(q.x());
    if (a == b) { // most points share their column with the one before
        cover(a, p.y(), q.y());
        return;
    }
    const double slope = (q.y() - p.y()) / (q.x() - p.x());
    for (double c = std::max(a, b - m_walkLimit); c <= b; ++c) {
        const double xa = std::max(p.x(), c), xb = std::min(q.x(), c + 1);
        cover(c, p.y() + (xa - p.x()) * slope, p.y() + (xb - p.x()) * slope);
    }
}

void SeriesSpans::cover(double column, double ya, double yb) {
    const auto k = qint64(column);
    const qint64 end = m_firstColumn + m_columns.size();
    // A first column, or one past a gap wider than a plot: nothing before it can show with it.
    if (m_columns.isEmpty() || double(k - end) > m_walkLimit) {
        m_columns.clear();
        m_firstColumn = k;
    }
    if (k < m_firstColumn)
        return;
    if (k >= m_firstColumn + m_columns.size())
        m_columns.resize(qsizetype(k - m_firstColumn + 1));
    ColumnSpan& span = m_columns[qsizetype(k - m_firstColumn)];
    const int top = int(floorOf(std::min(ya, yb)));
    const int bottom = int(floorOf(std::max(ya, yb)));
    span = span.top > span.bottom
               ? ColumnSpan{top, bottom}
               : ColumnSpan{std::min(span.top, top), std::max(span.bottom, bottom)};
}

} // namespace zorvan
