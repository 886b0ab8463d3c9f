#pragma once

#include <cstdint>
#include <functional>

namespace klosia {

// Names one registration: the program's four-character signature and a number it chose. The
// service hands both back with every event, so a receiver can tell its own hot keys apart.
struct HotKeyId {
    std::uint32_t signature = 0;
    std::uint32_t id = 0;

    bool operator==(const HotKeyId&) const = default;
};

// A key and the modifiers held with it, in the X vocabulary (keysyms are also what xkbcommon
// speaks elsewhere): a keysym from X11/keysymdef.h, and the core modifier mask ShiftMask 0x1,
// ControlMask 0x4, Mod1Mask (Alt) 0x8, Mod4Mask (Super) 0x40. Lock modifiers never appear here;
// the service makes the combination work whatever their state.
struct HotKeyCombination {
    std::uint32_t keysym = 0;
    std::uint16_t modifiers = 0;

    bool operator==(const HotKeyCombination&) const = default;
};

// The two kinds of event a hot key produces. The numbers are those the program's dispatch has
// always used; any other number is an event it does not handle.
enum class HotKeyEventKind : std::uint32_t {
    pressed = 5,
    released = 6,
};

struct HotKeyEvent {
    HotKeyId hotKeyId;
    HotKeyEventKind kind = HotKeyEventKind::pressed;
};

// System-wide key combinations that reach the program while another application is in front.
class HotKeyService {
public:
    // Runs on the main thread for every press and release of a registered combination; answers
    // 0 when it handled the event, another status when it did not.
    using EventHandler = std::function<int(const HotKeyEvent&)>;

    virtual ~HotKeyService() = default;

    // Makes the combination reach the event handler under `hotKeyId`. False when it was refused
    // (another program holds it, no key of this keyboard produces the keysym, no display): then
    // nothing ever fires for `hotKeyId`. The same combination may be registered under several
    // identifiers; it stays in force until the last of them is unregistered, and each press is
    // reported once for every identifier that holds it.
    virtual bool registerHotKey(HotKeyId hotKeyId, HotKeyCombination combination) = 0;
    // Unknown identifiers are ignored.
    virtual void unregisterHotKey(HotKeyId hotKeyId) = 0;

    // While suspended no registered combination is taken from the desktop: its keys reach the
    // focused window as any other key does (the preferences window recording a shortcut, which
    // may be one of ours). Registrations stay, and registering goes on, but grabs are taken,
    // and refusals found, only on resuming.
    virtual void setSuspended(bool suspended) = 0;

    // The one receiver of events. Events that arrive before one is installed are dropped.
    virtual void installEventHandler(EventHandler handler) = 0;

    // Whether a key event seen by one of the program's own windows is the combination: the
    // same key (by the keyboard's current mapping) with the same modifiers, lock modifiers
    // aside. For windows that hold the keyboard themselves, where registered combinations do
    // not fire. `nativeScanCode` and `nativeModifiers` are what the window system put into the
    // event (on X: keycode and state).
    virtual bool isCombination(HotKeyCombination combination, std::uint32_t nativeScanCode,
                               std::uint32_t nativeModifiers) const = 0;

    // The keysym the key with this native scan code (on X: keycode) types without modifiers,
    // by the keyboard's current mapping; 0 when it types none. Shift+1 arrives as "exclam"
    // (or whatever the layout puts there), a keysym no shortcut is made of: this gives the 1.
    virtual std::uint32_t unshiftedKeysym(std::uint32_t nativeScanCode) const = 0;
};

}  // namespace klosia
