#pragma once

#include <QColor>
#include <QImage>
#include <QRectF>
#include <QSize>
#include <QString>

namespace klosia {

// The menu's shape, drawn from the nine-part frame images "frame-1" (top-left) to "frame-9"
// (bottom-right): corners at their own size, edges stretched along the menu, the centre
// stretched both ways. Only the shape's alpha matters; the menu tints it with its palette.
class MenuBackground {
public:
    // Width of the top-edge strip "frame-2" and of the two top corners together.
    static constexpr qreal kStripWidth = 2000;
    static constexpr qreal kStripHeight = 40;
    static constexpr qreal kTopCornersWidth = 80;

    // The part of the top-edge strip that fills the top edge of a menu `menuWidth` wide: as wide
    // as the edge between the two corners, cut from the strip's middle so that the strip's
    // centre stays in the middle of the menu whatever its width. Empty when the menu is no wider
    // than its corners; never wider than the strip.
    static QRectF topEdgeSource(qreal menuWidth);

    // The shape at `size` points, rendered at `devicePixelRatio`. Missing frame images leave
    // their part empty (the shape then has a hole there, but nothing fails).
    static QImage shapeImage(QSize size, qreal devicePixelRatio = 1.0);

    // `shape` (shapeImage() at `size`) filled with `fill` inside a one-point `outline`.
    static QImage outlined(const QImage& shape, QSize size, qreal devicePixelRatio,
                           const QColor& fill, const QColor& outline);

    // `shape` filled with `color` wherever it is opaque, keeping its alpha.
    static QImage tinted(const QImage& shape, const QColor& color);

    // Resource name of a frame image, "frame-1" to "frame-9".
    static QString partName(int part);
};

}  // namespace klosia
