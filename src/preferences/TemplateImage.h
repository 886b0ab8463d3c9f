#pragma once

#include <QColor>
#include <QPixmap>
#include <QSize>
#include <QString>

namespace klosia {

// Monochrome artwork tinted at paint time: the image's shape and alpha, in the colour of the
// palette role it stands in. Light and dark themes then read alike.
class TemplateImage {
public:
    TemplateImage() = delete;

    // `resource` (resources::imagePath() of the artwork's name) rendered at `size` points for a
    // screen of `devicePixelRatio`, every pixel in `color` with the image's own alpha. A null
    // pixmap when the resource is missing or not an image.
    static QPixmap pixmap(const QString& resource, QSize size, const QColor& color,
                          qreal devicePixelRatio);
};

}  // namespace klosia
