#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "hotkeys/Key.h"
#include "hotkeys/ModifierFlags.h"

class QKeyEvent;

namespace klosia {

// How the shortcut recorder reads a key press.
//
// The key comes from the event's X keysym (what the xcb platform reports as the native virtual
// key), through the key table of the hot keys; the modifiers are Ctrl, Alt, Shift and Super, which
// the program calls control, option, shift and command.
namespace recorder_keys {

// The keysym a native scan code types without modifiers; 0 when unknown.
using UnshiftedKeysym = std::function<std::uint32_t(std::uint32_t nativeScanCode)>;

// The event's key, or none when its keysym names no key (or the platform reports no keysym).
// With Shift held the keysym is the shifted one ("exclam" for Shift+1); when that names no key,
// the key is what the same key types without modifiers, as `unshifted` says.
std::optional<Key> keyOf(const QKeyEvent& event, const UnshiftedKeysym& unshifted = {});

// The shortcut modifiers held with the event.
ModifierFlags modifiersOf(const QKeyEvent& event);

// Control, option, shift, command (either side), fn and caps lock: pressed on the way to a
// combination, never a shortcut's main key.
bool isModifierKey(Key key);

// Keys without any use in typing (function keys, help, the volume keys) may be grabbed on their
// own. Every other key types or moves the cursor somewhere, and a global grab would take it away
// from every application on the desktop.
bool mayStandAlone(Key key);

// Whether `key` with `modifiers` may become a global shortcut: a key that may stand alone, or
// any other key together with control, option or command (shift alone still types).
bool isRecordable(Key key, ModifierFlags modifiers);

}  // namespace recorder_keys

}  // namespace klosia
