#include "execution/ui/TimePlot.h"

#include "execution/PlotScale.h"

#include <QEvent>
#include <QPainter>
#include <QStaticText>
#include <algorithm>
#include <cmath>

namespace zorvan {

namespace {

constexpr int kMargin = 4;
constexpr int kTick = 4;
// Room beside a time label, so that neighbours do not touch.
constexpr int kLabelPadding = 8;
// The axes take 3 % to 97 % of the plot.
constexpr double kInset = 0.03;

const QString kTimeFormat = QStringLiteral("hh:mm:ss");

QRectF inset(const QRectF& area) {
    return area.adjusted(area.width() * kInset, area.height() * kInset, -area.width() * kInset,
                         -area.height() * kInset);
}

} // namespace

void TPlotSeries::setVisible(bool visible) {
    if (m_visible == visible)
        return;
    m_visible = visible;
    emit visibleChanged();
}

TTimePlot::TTimePlot(QWidget* parent) : QWidget(parent), m_background(Qt::white) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(120, 80);
}

void TTimePlot::addSeries(TPlotSeries* series) {
    series->setParent(this);
    m_series.append(series);
    connect(series, &TPlotSeries::visibleChanged, this, qOverload<>(&QWidget::update));
    connect(series, &QObject::destroyed, this, [this](QObject* gone) {
        m_series.removeIf([gone](const QObject* s) { return s == gone; });
        m_spans.remove(gone);
    });
    update();
}

void TTimePlot::removeAllSeries() {
    qDeleteAll(std::exchange(m_series, {}));
    update();
}

void TTimePlot::setTimeRange(const QDateTime& from, const QDateTime& to) {
    m_timeMin = from;
    m_timeMax = to;
    update();
}

void TTimePlot::setValueRange(double a, double b) {
    double lo = std::min(a, b);
    double hi = std::max(a, b);
    const double magnitude = std::max(std::abs(lo), std::abs(hi));
    if (!(hi - lo > magnitude * 1e-12)) {
        const double mid = lo / 2 + hi / 2;
        const double pad = std::max(std::abs(mid) * 1e-6, 1e-5);
        lo = mid - pad;
        hi = mid + pad;
    }
    m_valueMin = lo;
    m_valueMax = hi;
    update();
}

void TTimePlot::setBackground(const QColor& colour) {
    m_background = colour;
    update();
}

TTimePlot::Layout TTimePlot::layout() const {
    const QFontMetrics metrics = fontMetrics();
    const int line = metrics.height();
    const int timeWidth = labelWidth(QTime(20, 58, 58).toString(kTimeFormat));
    Layout result;
    const double top = kMargin + line / 2.0;
    const double bottom = height() - kMargin - line - kTick;
    const double tall = std::max(bottom - top, 1.0);
    const QList<double> values =
        valueTicks(m_valueMin, m_valueMax, tall * (1 - 2 * kInset), 2.0 * line);
    const double step = values.size() > 1 ? values[1] - values[0] : m_valueMax - m_valueMin;
    int widest = 0;
    for (const double v : values) {
        result.valueLabels.append({valueLabel(v, step), {}});
        widest = std::max(widest, labelWidth(result.valueLabels.back().text));
    }
    const double left = std::max(kMargin + widest + kTick + 2.0, kMargin + timeWidth / 2.0);
    const double right = width() - kMargin - timeWidth / 2.0;
    result.plotArea = QRectF(left, top, std::max(right - left, 1.0), tall);
    const QRectF inner = inset(result.plotArea);
    for (qsizetype i = 0; i < values.size(); ++i) {
        const double y =
            inner.bottom() - (values[i] - m_valueMin) / (m_valueMax - m_valueMin) * inner.height();
        result.valueLabels[i].rect =
            QRect(int(left) - kTick - 2 - widest, int(std::lround(y - line / 2.0)), widest, line);
    }
    if (!m_timeMin.isValid() || !m_timeMax.isValid())
        return result;
    const qint64 from = m_timeMin.toMSecsSinceEpoch(), to = m_timeMax.toMSecsSinceEpoch();
    for (const qint64 t : timeTicks(from, to, inner.width(), timeWidth + 2 * kLabelPadding,
                                    m_timeMax.offsetFromUtc())) {
        const double x = inner.left() + double(t - from) / double(to - from) * inner.width();
        result.timeLabels.append({m_timeMax.addMSecs(t - to).toString(kTimeFormat),
                                  QRect(int(std::lround(x - timeWidth / 2.0)),
                                        int(result.plotArea.bottom()) + kTick, timeWidth, line)});
    }
    return result;
}

const QStaticText& TTimePlot::staticLabel(const QString& text) const {
    auto found = m_labels.find(text);
    if (found != m_labels.end())
        return *found;
    // Labels scroll by and values change: the cache is emptied now and then, not grown.
    if (m_labels.size() >= 256)
        m_labels.clear();
    QStaticText label(text);
    label.setTextFormat(Qt::PlainText);
    label.prepare(QTransform(), font());
    return *m_labels.insert(text, label);
}

int TTimePlot::labelWidth(const QString& text) const {
    return int(std::ceil(staticLabel(text).size().width()));
}

void TTimePlot::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange)
        m_labels.clear();
    QWidget::changeEvent(event);
}

void TTimePlot::paintEvent(QPaintEvent*) {
    // In device pixels, so that lines and text stay sharp on a scaled screen.
    const qreal scale = devicePixelRatioF();
    if (m_canvas.size() != size() * scale || m_canvas.devicePixelRatio() != scale) {
        m_canvas = QImage(size() * scale, QImage::Format_RGB32);
        m_canvas.setDevicePixelRatio(scale);
    }
    const Layout at = layout();
    {
        QPainter painter(&m_canvas);
        painter.setFont(font());
        drawFrame(painter, at);
    }
    if (m_timeMin.isValid() && m_timeMax.isValid())
        drawSeries(at.plotArea);
    QPainter(this).drawImage(0, 0, m_canvas);
}

void TTimePlot::drawFrame(QPainter& painter, const Layout& at) const {
    painter.fillRect(rect(), m_background);
    const QRectF area = at.plotArea;
    // The grid a shade darker than the panel, opaque: lines blended over it cost twenty times more.
    painter.setPen(m_background.darker(115));
    for (const Label& label : at.valueLabels)
        painter.drawLine(QPointF(area.left(), label.rect.center().y() + 0.5),
                         QPointF(area.right(), label.rect.center().y() + 0.5));
    for (const Label& label : at.timeLabels)
        painter.drawLine(QPointF(label.rect.center().x() + 0.5, area.top()),
                         QPointF(label.rect.center().x() + 0.5, area.bottom() + kTick));
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawLine(area.bottomLeft(), area.bottomRight());
    painter.drawLine(area.topLeft(), area.bottomLeft());
    for (const Label& label : at.valueLabels) {
        const QStaticText& text = staticLabel(label.text);
        painter.drawStaticText(
            QPointF(label.rect.right() + 1 - text.size().width(),
                    label.rect.top() + (label.rect.height() - text.size().height()) / 2),
            text);
    }
    for (const Label& label : at.timeLabels) {
        const QStaticText& text = staticLabel(label.text);
        painter.drawStaticText(
            QPointF(label.rect.left() + (label.rect.width() - text.size().width()) / 2,
                    label.rect.top() + (label.rect.height() - text.size().height()) / 2),
            text);
    }
}

// Lines are written into the canvas as column spans, as wide and as thick as the pen: the
// painter's stroker costs tens of times more for a two pixel pen.
void TTimePlot::drawSeries(const QRectF& plotArea) {
    const qreal scale = m_canvas.devicePixelRatio();
    const QRectF area(plotArea.topLeft() * scale, plotArea.size() * scale);
    const PlotFrame frame{inset(area), double(m_timeMin.toMSecsSinceEpoch()),
                          double(m_timeMax.toMSecsSinceEpoch()), m_valueMin, m_valueMax};
    const QRect clip = area.toAlignedRect().intersected(m_canvas.rect());
    uchar* const bits = m_canvas.bits();
    const qsizetype stride = m_canvas.bytesPerLine();
    for (const TPlotSeries* series : m_series) {
        if (!series->isVisible() || clip.isEmpty())
            continue;
        const int thick = std::max(1, int(std::lround(series->pen().widthF() * scale)));
        const QRgb colour = series->pen().color().rgb();
        const QList<ColumnSpan> spans =
            m_spans[series].spans(series->points(), series->appended(), series->generation(), frame,
                                  clip.left(), clip.width());
        for (int i = 0; i < int(spans.size()); ++i) {
            const int top = std::max(spans[i].top, clip.top());
            const int bottom = std::min(spans[i].bottom + thick - 1, clip.bottom());
            const int right = std::min(clip.left() + i + thick - 1, clip.right());
            for (int y = top; y <= bottom; ++y) {
                auto* row = reinterpret_cast<QRgb*>(bits + y * stride);
                std::fill(row + clip.left() + i, row + right + 1, colour);
            }
        }
    }
}

} // namespace zorvan
