#pragma once

#include <QRect>
#include <QString>

namespace klosia {

// Whether a compositing manager runs on the desktop. Without one a translucent window shows
// black where it is transparent, so windows ask before they choose a translucent background.
class Compositor {
public:
    virtual ~Compositor() = default;

    // Asked again each time a window is about to show: compositors start and stop at will.
    virtual bool isRunning() = 0;

    // For a compositor that places windows itself (Wayland): asks it to show our window titled
    // `title`, of `frame`'s size, at `frame`'s position, floating and without decorations, as a
    // menu. An X11 window places itself, so the default does nothing.
    virtual void placeWindow(const QString& title, const QRect& frame) {
        static_cast<void>(title);
        static_cast<void>(frame);
    }
};

}  // namespace klosia
