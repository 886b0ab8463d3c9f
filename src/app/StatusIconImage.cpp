#include "app/StatusIconImage.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace klosia {

QIcon statusIconImage() {
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        const qreal stroke = std::max(1.5, size / 10.0);
        QPen pen(QColor(0xEE, 0xEE, 0xEE), stroke, Qt::SolidLine, Qt::RoundCap);
        painter.setPen(pen);
        const QRectF ring = QRectF(0, 0, size, size).adjusted(stroke, stroke, -stroke, -stroke);
        painter.drawEllipse(ring);
        const qreal inset = size * 0.34;
        painter.drawLine(QPointF(inset, inset), QPointF(size - inset, size - inset));
        painter.drawLine(QPointF(size - inset, inset), QPointF(inset, size - inset));
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace klosia
