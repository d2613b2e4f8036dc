#pragma once

#include <QList>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QtGlobal>

namespace zorvan {

// Where a live plot puts its ticks and what its labels say. Ticks sit on round values (whole
// seconds, minutes or hours of local time; 1, 2 or 5 times a power of ten) so that labels read
// well and do not jitter as the plot scrolls, and they are spaced so that every label shows
// whole.

// The tick times (ms since the epoch) within [fromMs, toMs] for a time axis `width` pixels wide
// whose labels need `labelRoom` pixels each; ticks fall on whole steps of local time, which is
// `utcOffsetSeconds` ahead of UTC. No tick when the span or the width is empty.
QList<qint64> timeTicks(qint64 fromMs, qint64 toMs, double width, double labelRoom,
                        int utcOffsetSeconds);

// The tick values within [lo, hi] for a value axis `height` pixels high whose labels need
// `labelRoom` pixels each (one line and a gap), at most one tick every labelRoom.
QList<double> valueTicks(double lo, double hi, double height, double labelRoom);

// A value axis label: as many decimals as the ticks' step needs, exponent form for magnitudes
// beyond what fixed notation shows readably.
QString valueLabel(double value, double step);

// Where a plot maps its axes: times fromMs..toMs left to right and values lo..hi bottom to top
// over `area`, in pixels.
struct PlotFrame {
    QRectF area;
    double fromMs = 0, toMs = 1, lo = 0, hi = 1;
};

// The rows one pixel column covers, top to bottom; none when top > bottom.
struct ColumnSpan {
    int top = 1, bottom = 0;
    bool operator==(const ColumnSpan&) const = default;
};

// What a one pixel thin line through a series' points covers, per pixel column, kept between
// redraws so that a redraw walks only the points added since the one before. Columns are counted
// on absolute time (column k holds the times of [k, k + 1) column widths since the epoch), so a
// column's rows do not change as the plot scrolls: the line moves in whole columns. Each segment
// is walked column by column: a steep one covers the rows between its ends, a flat one every
// column it crosses. A change of what a column means (its time, the value range, the rows) or
// of the points other than appending makes it start again from the points.
class SeriesSpans {
public:
    // The rows of `columns` pixel columns from `firstColumn` on, for `points` (time ms, value;
    // sorted by time) of which `appended` were added since `generation` began, on `frame`.
    QList<ColumnSpan> spans(const QList<QPointF>& points, quint64 appended, quint64 generation,
                            const PlotFrame& frame, int firstColumn, int columns);

private:
    struct Key {
        double msPerColumn = 0, lo = 0, hi = 0, top = 0, bottom = 0;
        quint64 generation = 0;
        bool operator==(const Key&) const = default;
    };
    void restart(const Key& key);
    void add(const QPointF& point);
    void cover(double column, double ya, double yb);

    Key m_key;
    double m_rowsPerValue = 0;
    bool m_started = false;
    quint64 m_consumed = 0; // of the points appended in this generation
    QList<ColumnSpan> m_columns;
    qint64 m_firstColumn = 0; // the absolute column of m_columns[0]
    QPointF m_last;           // the last point added, in columns and rows
    bool m_hasLast = false;
    double m_walkLimit = 0; // no segment walks more columns than a plot has
    qint64 m_shownFrom = 0; // the first column shown last time: scrolling back starts again
};

} // namespace zorvan
