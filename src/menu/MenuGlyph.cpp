#include "menu/MenuGlyph.h"

#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPixmap>

#include "resources/Resources.h"

namespace klosia {

QIcon MenuGlyph::icon(const QString& name, QSize size, const QColor& color,
                      qreal devicePixelRatio) {
    // A handful of entries: five glyphs in two colours, per theme and screen.
    static QHash<QString, QIcon> cache;
    const qreal ratio = devicePixelRatio > 0 ? devicePixelRatio : 1.0;
    const QString key = QStringLiteral("%1/%2x%3/%4/%5")
                            .arg(name)
                            .arg(size.width())
                            .arg(size.height())
                            .arg(color.rgba())
                            .arg(ratio);
    const auto found = cache.constFind(key);
    if (found != cache.constEnd()) {
        return *found;
    }
    const QPixmap pixmap = resources::pixmap(name, size, ratio, color);
    QIcon result = pixmap.isNull() ? QIcon() : QIcon(pixmap);
    cache.insert(key, result);
    return result;
}

QPixmap MenuGlyph::applicationPixmap(const QIcon& icon, QSize size, const QColor& placeholderColor,
                                     qreal devicePixelRatio, qreal opacity, bool placeholder) {
    const QIcon shown = icon.isNull() && placeholder
                            ? MenuGlyph::icon(QStringLiteral("app-generic"), size, placeholderColor,
                                              devicePixelRatio)
                            : icon;
    QPixmap pixmap = shown.pixmap(size, devicePixelRatio);
    if (pixmap.isNull() || opacity >= 1.0) {
        return pixmap;
    }
    QPixmap result(pixmap.size());
    result.setDevicePixelRatio(pixmap.devicePixelRatio());
    result.fill(Qt::transparent);
    QPainter painter(&result);
    painter.setOpacity(opacity);
    painter.drawPixmap(0, 0, pixmap);
    return result;
}

}  // namespace klosia
