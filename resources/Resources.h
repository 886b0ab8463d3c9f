#pragma once

#include <QColor>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace klosia::resources {

// Resource path of the image `name` ("frame-1" gives ":/images/frame-1.svg").
QString imagePath(const QString& name);

// True when the image is compiled in.
bool hasImage(const QString& name);

// The image `name` drawn from its SVG at `size` points for a screen of `devicePixelRatio`,
// never scaled from a bitmap. With a valid `tint` it is a template: every pixel in that colour
// with the artwork's own alpha, so light and dark themes read alike. A null pixmap when the
// artwork is missing. Pixmaps belong to the GUI thread.
QPixmap pixmap(const QString& name, QSize size, qreal devicePixelRatio, const QColor& tint = {});

}  // namespace klosia::resources
