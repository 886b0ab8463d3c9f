#include "menu/MenuBackground.h"

#include <QPainter>
#include <QSvgRenderer>

#include <algorithm>
#include <memory>

#include "resources/Resources.h"

namespace klosia {

namespace {

std::unique_ptr<QSvgRenderer> loadPart(int part) {
    const QString path = resources::imagePath(MenuBackground::partName(part));
    auto renderer = std::make_unique<QSvgRenderer>(path);
    if (!renderer->isValid()) {
        return nullptr;
    }
    return renderer;
}

QSizeF naturalSize(const std::unique_ptr<QSvgRenderer>& part) {
    return part ? QSizeF(part->defaultSize()) : QSizeF();
}

void drawPart(QPainter& painter, const std::unique_ptr<QSvgRenderer>& part, const QRectF& target) {
    if (part && target.width() > 0 && target.height() > 0) {
        // An SVG may draw past its view box; each part stays in its own place.
        painter.save();
        painter.setClipRect(target);
        part->render(&painter, target);
        painter.restore();
    }
}

}  // namespace

QImage MenuBackground::outlined(const QImage& shape, QSize size, qreal devicePixelRatio,
                                const QColor& fill, const QColor& outline) {
    QImage composed(shape.size(), QImage::Format_ARGB32_Premultiplied);
    composed.setDevicePixelRatio(devicePixelRatio);
    composed.fill(Qt::transparent);
    QPainter painter(&composed);
    painter.drawImage(QPointF(0, 0), tinted(shape, outline));
    if (size.width() > 2 && size.height() > 2) {
        const QImage inner = shapeImage(size - QSize(2, 2), devicePixelRatio);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage(QPointF(1, 1), tinted(inner, fill));
    }
    return composed;
}

QString MenuBackground::partName(int part) {
    return QStringLiteral("frame-%1").arg(part);
}

QRectF MenuBackground::topEdgeSource(qreal menuWidth) {
    const qreal edge = std::clamp(menuWidth - kTopCornersWidth, qreal{0}, kStripWidth);
    return {(kStripWidth - edge) * 0.5, 0, edge, kStripHeight};
}

QImage MenuBackground::shapeImage(QSize size, qreal devicePixelRatio) {
    const QSize pixels = (QSizeF(size) * devicePixelRatio).toSize();
    QImage image(pixels.expandedTo(QSize(1, 1)), QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(devicePixelRatio);
    image.fill(Qt::transparent);
    if (size.isEmpty()) {
        return image;
    }
    std::unique_ptr<QSvgRenderer> parts[10];
    for (int part = 1; part <= 9; ++part) {
        parts[part] = loadPart(part);
    }
    const qreal w = size.width();
    const qreal h = size.height();
    const QSizeF topLeft = naturalSize(parts[1]);
    const QSizeF topRight = naturalSize(parts[3]);
    const QSizeF bottomLeft = naturalSize(parts[7]);
    const QSizeF bottomRight = naturalSize(parts[9]);
    const qreal leftWidth = naturalSize(parts[4]).width();
    const qreal rightWidth = naturalSize(parts[6]).width();
    const qreal bottomHeight = naturalSize(parts[8]).height();

    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);

    drawPart(painter, parts[1], QRectF(QPointF(0, 0), topLeft));
    drawPart(painter, parts[3], QRectF(QPointF(w - topRight.width(), 0), topRight));
    drawPart(painter, parts[7], QRectF(QPointF(0, h - bottomLeft.height()), bottomLeft));
    drawPart(painter, parts[9],
             QRectF(QPointF(w - bottomRight.width(), h - bottomRight.height()), bottomRight));

    // The top edge is a piece cut from the strip, drawn at its own size after the left corner.
    // The piece gets an image of its own: an SVG draws past its view box, the image clips it.
    if (parts[2]) {
        const QRectF source = topEdgeSource(w);
        const QSize piecePixels = (source.size() * devicePixelRatio).toSize();
        if (!piecePixels.isEmpty()) {
            QImage piece(piecePixels, QImage::Format_ARGB32_Premultiplied);
            piece.setDevicePixelRatio(devicePixelRatio);
            piece.fill(Qt::transparent);
            QPainter piecePainter(&piece);
            piecePainter.setRenderHint(QPainter::Antialiasing);
            parts[2]->setViewBox(source);
            parts[2]->render(&piecePainter, QRectF(QPointF(0, 0), source.size()));
            piecePainter.end();
            painter.drawImage(QPointF(kTopCornersWidth / 2, 0), piece);
        }
    }
    const qreal topHeight = std::max(topLeft.height(), topRight.height());
    drawPart(painter, parts[4],
             QRectF(0, topLeft.height(), leftWidth, h - topLeft.height() - bottomLeft.height()));
    drawPart(painter, parts[6],
             QRectF(w - rightWidth, topRight.height(), rightWidth,
                    h - topRight.height() - bottomRight.height()));
    drawPart(painter, parts[8],
             QRectF(bottomLeft.width(), h - bottomHeight,
                    w - bottomLeft.width() - bottomRight.width(), bottomHeight));
    drawPart(
        painter, parts[5],
        QRectF(leftWidth, topHeight, w - leftWidth - rightWidth, h - topHeight - bottomHeight));
    return image;
}

QImage MenuBackground::tinted(const QImage& shape, const QColor& color) {
    QImage result = shape.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&result);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(QRectF(QPointF(0, 0), result.deviceIndependentSize()), color);
    return result;
}

}  // namespace klosia
