#pragma once

class QWidget;

namespace klosia {

// Whether a top-level window of ours is drawn with an alpha channel (rounded corners, a blurred
// or see-through background over a compositing manager) or opaque. X chooses the window's visual
// when its native window is made, so a change while hidden makes the native window again; it
// takes effect the next time the window is shown.
void setTranslucent(QWidget& window, bool translucent);
bool isTranslucent(const QWidget& window);

}  // namespace klosia
