#include "ui/KeyModifiers.h"

#include <QKeyEvent>

namespace klosia {

Qt::KeyboardModifiers modifiersAfterKey(const QKeyEvent& event) {
    // For a modifier key Qt reports the modifiers by flipping that key's own flag, and a copy
    // of the event flips it once more: the accessibility bridge, while a screen reader runs,
    // hands every key event on as a copy, so Alt read from the event would be held on its
    // release and free while pressed. The key and the event's type say it for sure.
    Qt::KeyboardModifiers modifiers = event.modifiers();
    Qt::KeyboardModifier own = Qt::NoModifier;
    switch (event.key()) {
        case Qt::Key_Shift:
            own = Qt::ShiftModifier;
            break;
        case Qt::Key_Control:
            own = Qt::ControlModifier;
            break;
        case Qt::Key_Alt:
            own = Qt::AltModifier;
            break;
        case Qt::Key_Meta:
            own = Qt::MetaModifier;
            break;
        default:
            return modifiers;
    }
    modifiers.setFlag(own, event.type() == QEvent::KeyPress);
    return modifiers;
}

}  // namespace klosia
