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

// Collects the rows a line covers per pixel column.
class SpanWriter {
public:
    SpanWriter(int firstColumn, int columns)
        : m_spans(std::max(columns, 0)), m_first(firstColumn),
          m_last(double(firstColumn) + columns - 1) {}

    void segment(const QPointF& p, const QPointF& q) {
        const double from = std::max(std::floor(p.x()), double(m_first));
        const double to = std::min(std::floor(q.x()), m_last);
        const double run = q.x() - p.x();
        for (double c = from; c <= to; ++c) {
            if (run <= 0) {
                cover(c, p.y(), q.y());
                continue;
            }
            const double xa = std::max(p.x(), c), xb = std::min(q.x(), c + 1);
            cover(c, p.y() + (xa - p.x()) * (q.y() - p.y()) / run,
                  p.y() + (xb - p.x()) * (q.y() - p.y()) / run);
        }
    }
    // A segment with both ends in one column.
    void within(double column, double ya, double yb) {
        if (column >= m_first && column <= m_last)
            cover(column, ya, yb);
    }
    QList<ColumnSpan> take() { return std::move(m_spans); }

private:
    void cover(double column, double ya, double yb) {
        ColumnSpan& span = m_data[qsizetype(column) - m_first];
        const int top = int(std::floor(std::min(ya, yb)));
        const int bottom = int(std::floor(std::max(ya, yb)));
        span = span.top > span.bottom
                   ? ColumnSpan{top, bottom}
                   : ColumnSpan{std::min(span.top, top), std::max(span.bottom, bottom)};
    }

    QList<ColumnSpan> m_spans;
    ColumnSpan* m_data = m_spans.data(); // no detach check per point
    int m_first;
    double m_last;
};

} // namespace

QList<ColumnSpan> plotSpans(const QList<QPointF>& points, const PlotFrame& frame, int firstColumn,
                            int columns) {
    SpanWriter spans(firstColumn, columns);
    if (!(frame.toMs > frame.fromMs) || !(frame.hi > frame.lo))
        return spans.take();
    const auto byTime = [](const QPointF& p, double t) { return p.x() < t; };
    auto begin = std::lower_bound(points.begin(), points.end(), frame.fromMs, byTime);
    auto end = std::lower_bound(begin, points.end(), frame.toMs, byTime);
    begin -= begin != points.begin() ? 1 : 0;
    end += end != points.end() ? 1 : 0;
    const double sx = frame.area.width() / (frame.toMs - frame.fromMs);
    const double sy = frame.area.height() / (frame.hi - frame.lo);
    // Values far off the axis (a series shown after the axis moved) stay countable rows.
    const double reach = 1e6;
    const auto map = [&](const QPointF& p) {
        return QPointF(frame.area.left() + (p.x() - frame.fromMs) * sx,
                       std::clamp(frame.area.bottom() - (p.y() - frame.lo) * sy, -reach, reach));
    };
    if (begin == end)
        return spans.take();
    QPointF last = map(*begin);
    if (end - begin == 1)
        spans.segment(last, last);
    double lastColumn = std::floor(last.x());
    for (auto i = begin + 1; i != end; ++i) {
        const QPointF next = map(*i);
        const double column = std::floor(next.x());
        // Most points share their column with the one before: no walk across columns.
        if (column == lastColumn)
            spans.within(column, last.y(), next.y());
        else
            spans.segment(last, next);
        last = next;
        lastColumn = column;
    }
    return spans.take();
}

} // namespace zorvan
