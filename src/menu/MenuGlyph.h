#pragma once

#include <QColor>
#include <QIcon>
#include <QSize>
#include <QString>

namespace klosia {

// The menu's monochrome artwork ("quit-app", "quit-app-selected", "force-quit-app",
// "force-quit-app-selected", "more-app", "app-generic"), tinted at the moment of use with a
// palette colour: the glyph's alpha in that colour, so light and dark themes read alike.
// Rendered once per name, size, colour and screen density, on the GUI thread (pixmaps live
// there).
class MenuGlyph {
public:
    MenuGlyph() = delete;

    // A null icon when the artwork is missing.
    static QIcon icon(const QString& name, QSize size, const QColor& color, qreal devicePixelRatio);

    // An application's icon at `size`, drawn at `opacity`. Without an icon of its own (and
    // `placeholder` asked for) the "app-generic" glyph in `placeholderColor` stands in.
    static QPixmap applicationPixmap(const QIcon& icon, QSize size, const QColor& placeholderColor,
                                     qreal devicePixelRatio, qreal opacity, bool placeholder);
};

}  // namespace klosia
