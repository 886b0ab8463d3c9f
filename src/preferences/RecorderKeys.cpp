#include "preferences/RecorderKeys.h"

#include <QKeyEvent>

#include "ui/KeyModifiers.h"

namespace klosia::recorder_keys {

std::optional<Key> keyOf(const QKeyEvent& event, const UnshiftedKeysym& unshifted) {
    std::optional<Key> key = keyFromX11Keysym(event.nativeVirtualKey());
    if (!key && unshifted && event.modifiers().testFlag(Qt::ShiftModifier)) {
        key = keyFromX11Keysym(unshifted(event.nativeScanCode()));
    }
    return key;
}

ModifierFlags modifiersOf(const QKeyEvent& event) {
    const Qt::KeyboardModifiers held = modifiersAfterKey(event);
    ModifierFlags flags;
    if (held.testFlag(Qt::ControlModifier)) {
        flags.insert(ModifierFlags::control);
    }
    if (held.testFlag(Qt::AltModifier)) {
        flags.insert(ModifierFlags::option);
    }
    if (held.testFlag(Qt::ShiftModifier)) {
        flags.insert(ModifierFlags::shift);
    }
    if (held.testFlag(Qt::MetaModifier)) {
        flags.insert(ModifierFlags::command);
    }
    return flags;
}

bool isModifierKey(Key key) {
    switch (key) {
        case Key::command:
        case Key::rightCommand:
        case Key::option:
        case Key::rightOption:
        case Key::control:
        case Key::rightControl:
        case Key::shift:
        case Key::rightShift:
        case Key::function:
        case Key::capsLock:
            return true;
        default:
            return false;
    }
}

bool mayStandAlone(Key key) {
    switch (key) {
        case Key::f1:
        case Key::f2:
        case Key::f3:
        case Key::f4:
        case Key::f5:
        case Key::f6:
        case Key::f7:
        case Key::f8:
        case Key::f9:
        case Key::f10:
        case Key::f11:
        case Key::f12:
        case Key::f13:
        case Key::f14:
        case Key::f15:
        case Key::f16:
        case Key::f17:
        case Key::f18:
        case Key::f19:
        case Key::f20:
        case Key::help:
        case Key::volumeUp:
        case Key::volumeDown:
        case Key::mute:
            return true;
        default:
            return false;
    }
}

bool isRecordable(Key key, ModifierFlags modifiers) {
    if (isModifierKey(key)) {
        return false;
    }
    if (mayStandAlone(key)) {
        return true;
    }
    return modifiers.contains(ModifierFlags::control) ||
           modifiers.contains(ModifierFlags::option) || modifiers.contains(ModifierFlags::command);
}

}  // namespace klosia::recorder_keys
