#pragma once

#include "execution/PlotScale.h"

#include <QColor>
#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QList>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QStaticText>
#include <QWidget>

class QPainter;

namespace zorvan {

// One line of a TTimePlot: its name, pen and points (x: ms since the epoch, y: the value, in
// time order). Changing points does not repaint: whoever feeds the plot asks it to, at the rate a
// reader can follow.
class TPlotSeries : public QObject {
    Q_OBJECT
public:
    explicit TPlotSeries(QObject* parent = nullptr) : QObject(parent) {}

    QString name() const { return m_name; }
    void setName(const QString& name) { m_name = name; }
    QPen pen() const { return m_pen; }
    void setPen(const QPen& pen) { m_pen = pen; }
    bool isVisible() const { return m_visible; }
    void setVisible(bool visible);

    const QList<QPointF>& points() const { return m_points; }
    int count() const { return int(m_points.size()); }
    void append(const QPointF& point) {
        m_points.append(point);
        ++m_appended;
    }
    void removeFirst(int n) { m_points.remove(0, n); }
    void removeLast() {
        m_points.removeLast();
        restart();
    }
    void clear() {
        m_points.clear();
        restart();
    }
    // How the plot knows what changed since it last drew the series: points appended since the
    // generation began; anything else begins a new one.
    quint64 appended() const { return m_appended; }
    quint64 generation() const { return m_generation; }

signals:
    void visibleChanged();

private:
    QString m_name;
    QPen m_pen;
    void restart() {
        ++m_generation;
        m_appended = quint64(m_points.size());
    }

    bool m_visible = true;
    QList<QPointF> m_points;
    quint64 m_appended = 0;
    quint64 m_generation = 0;
};

// A light line chart over time: value axis on the left, "hh:mm:ss" time axis at the bottom, the
// visible series drawn as lines over the panel's colour. Drawing costs what the plot's pixel
// columns can show, not what the series hold (see plotSpans), and happens only on update().
// Both axes take 3 % to 97 % of the plot, so lines at the ends of the range stay clear of its
// edges.
class TTimePlot : public QWidget {
    Q_OBJECT
public:
    explicit TTimePlot(QWidget* parent = nullptr);
    // The series go first: they tell the plot when they are destroyed.
    ~TTimePlot() override { removeAllSeries(); }

    // The plot owns its series.
    void addSeries(TPlotSeries* series);
    void removeAllSeries();
    const QList<TPlotSeries*>& series() const { return m_series; }

    QDateTime timeMin() const { return m_timeMin; }
    QDateTime timeMax() const { return m_timeMax; }
    void setTimeRange(const QDateTime& from, const QDateTime& to);
    double valueMin() const { return m_valueMin; }
    double valueMax() const { return m_valueMax; }
    // Sets both ends at once, the smaller first; a span lost in rounding is widened a little
    // around the value, so the axis always has a scale.
    void setValueRange(double a, double b);

    QColor background() const { return m_background; }
    void setBackground(const QColor& colour);

    // A label and the rectangle it is drawn in.
    struct Label {
        QString text;
        QRect rect;
    };
    // Where things go at the plot's current size: the area inside the axes and the labels.
    struct Layout {
        QRectF plotArea;
        QList<Label> timeLabels, valueLabels;
    };
    Layout layout() const;
    QRectF plotArea() const { return layout().plotArea; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    // Labels laid out once and kept: shaping their text again at every redraw cost more than
    // drawing the plot.
    const QStaticText& staticLabel(const QString& text) const;
    int labelWidth(const QString& text) const;
    void drawFrame(QPainter& painter, const Layout& at) const;
    void drawSeries(const QRectF& area);

    QList<TPlotSeries*> m_series;
    QDateTime m_timeMin, m_timeMax;
    double m_valueMin = 0, m_valueMax = 1;
    QColor m_background;
    // Where the plot is drawn before it is shown: lines are written into it pixel by pixel.
    QImage m_canvas;
    mutable QHash<QString, QStaticText> m_labels;
    // What each visible series covers of the plot, kept from one redraw to the next.
    QHash<const QObject*, SeriesSpans> m_spans;
};

} // namespace zorvan
