#pragma once

#include <QPixmap>
#include <QSize>
#include <QString>

namespace klosia {

// The project's coloured artwork (the application icon, the alerts' images), drawn from its SVG
// at the size and pixel ratio of the screen, never scaled from a bitmap.
class Artwork {
public:
    Artwork() = delete;

    // `resource` (resources::imagePath() of the artwork's name) at `size` points; a null pixmap
    // when it is missing or not an image.
    static QPixmap pixmap(const QString& resource, QSize size, qreal devicePixelRatio);
};

}  // namespace klosia
