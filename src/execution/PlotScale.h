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

// What a one pixel thin line through a series' points (time ms, value; sorted by time) covers of
// `columns` pixel columns from `firstColumn` on: the rows of each column. The points within the
// time span and one either side (so that the line reaches the edges) are mapped onto the frame
// and each segment is walked column by column: a steep one covers the rows between its ends, a
// flat one every column it crosses. Drawing spans costs the points and the columns once, with no
// stroker, however many points share a column.
QList<ColumnSpan> plotSpans(const QList<QPointF>& points, const PlotFrame& frame, int firstColumn,
                            int columns);

} // namespace zorvan
