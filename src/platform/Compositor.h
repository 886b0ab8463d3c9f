#pragma once

namespace klosia {

// Whether a compositing manager runs on the desktop. Without one a translucent window shows
// black where it is transparent, so windows ask before they choose a translucent background.
class Compositor {
public:
    virtual ~Compositor() = default;

    // Asked again each time a window is about to show: compositors start and stop at will.
    virtual bool isRunning() = 0;
};

}  // namespace klosia
