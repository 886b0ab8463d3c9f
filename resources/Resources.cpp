#include "resources/Resources.h"

#include <QFile>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>

namespace klosia::resources {

QString imagePath(const QString& name) {
    return QStringLiteral(":/images/%1.svg").arg(name);
}

bool hasImage(const QString& name) {
    return QFile::exists(imagePath(name));
}

QPixmap pixmap(const QString& name, QSize size, qreal devicePixelRatio, const QColor& tint) {
    QSvgRenderer renderer(imagePath(name));
    if (!renderer.isValid() || size.isEmpty()) {
        return {};
    }
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    QImage image(static_cast<int>(std::ceil(size.width() * ratio)),
                 static_cast<int>(std::ceil(size.height() * ratio)),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        renderer.render(&painter);
        if (tint.isValid()) {
            painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            painter.fillRect(image.rect(), tint);
        }
    }
    image.setDevicePixelRatio(ratio);
    return QPixmap::fromImage(std::move(image));
}

}  // namespace klosia::resources
