#include "settings/ui/SettingsIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace zorvan {

QIcon changedSettingIcon() {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    // An orange pencil tip: "edited".
    QPainterPath body;
    body.moveTo(3, 13);
    body.lineTo(4, 9);
    body.lineTo(11, 2);
    body.lineTo(14, 5);
    body.lineTo(7, 12);
    body.closeSubpath();
    p.setPen(QPen(QColor(120, 60, 0), 1));
    p.setBrush(QColor(245, 150, 30));
    p.drawPath(body);
    p.setBrush(QColor(60, 60, 60));
    p.drawEllipse(QPointF(3.5, 12.5), 1.2, 1.2);
    p.end();
    return QIcon(pixmap);
}

} // namespace zorvan
