#pragma once

#include <Qt>

class QKeyEvent;

namespace klosia {

// The modifiers held once a key event has taken effect; for the press or release of a modifier
// key, with that key's own flag as the event's type says.
Qt::KeyboardModifiers modifiersAfterKey(const QKeyEvent& event);

}  // namespace klosia
