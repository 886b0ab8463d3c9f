#pragma once

#include <QString>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace klosia {

// A key of the keyboard as the program stores, registers and shows it. The order of the cases is
// part of the program's vocabulary (the recorder lists keys in it); only the trailing underscore
// of `return_` and `delete_` differs from the names written to logs (see caseName()).
enum class Key {
    a,
    b,
    c,
    d,
    e,
    f,
    g,
    h,
    i,
    j,
    k,
    l,
    m,
    n,
    o,
    p,
    q,
    r,
    s,
    t,
    u,
    v,
    w,
    x,
    y,
    z,
    zero,
    one,
    two,
    three,
    four,
    five,
    six,
    seven,
    eight,
    nine,
    period,
    quote,
    rightBracket,
    semicolon,
    slash,
    backslash,
    comma,
    equal,
    grave,
    leftBracket,
    minus,
    space,
    tab,
    return_,
    command,
    rightCommand,
    option,
    rightOption,
    control,
    rightControl,
    shift,
    rightShift,
    function,
    capsLock,
    pageUp,
    pageDown,
    home,
    end,
    upArrow,
    rightArrow,
    downArrow,
    leftArrow,
    f1,
    f2,
    f3,
    f4,
    f5,
    f6,
    f7,
    f8,
    f9,
    f10,
    f11,
    f12,
    f13,
    f14,
    f15,
    f16,
    f17,
    f18,
    f19,
    f20,
    keypad0,
    keypad1,
    keypad2,
    keypad3,
    keypad4,
    keypad5,
    keypad6,
    keypad7,
    keypad8,
    keypad9,
    keypadClear,
    keypadDecimal,
    keypadDivide,
    keypadEnter,
    keypadEquals,
    keypadMinus,
    keypadMultiply,
    keypadPlus,
    escape,
    delete_,
    forwardDelete,
    help,
    volumeUp,
    volumeDown,
    mute,
};

inline constexpr std::size_t keyCount = 113;

// Every key, in declaration order.
std::span<const Key> allKeys();

// The Carbon virtual key code (kVK_ANSI_… for letters, digits, punctuation and keypad) is the
// key's identity in stored shortcuts; codes that no key has give no key.
std::optional<Key> keyFromCarbonKeyCode(std::uint32_t code);
std::uint32_t carbonKeyCode(Key key);

// The key-cap text shown to the user and written into log lines. Left and right modifiers share
// one symbol, as do return and keypad enter, digits and keypad digits: the text does not
// identify the key.
QString description(Key key);

// The name of the case as logs spell it ("return", "delete", "rightCommand").
std::string_view caseName(Key key);

// The X keysym a global grab of this key uses (what XStringToKeysym would give for it). The
// function key has no keysym on X (the keyboard handles it in firmware): 0, NoSymbol. The keypad
// clear key maps to XK_Clear, the keysym named for that key; PC keypads have no such key, so on
// them it is simply never pressed.
std::uint32_t x11Keysym(Key key);

// The key a keysym names, for the shortcut recorder. Upper-case letters give the letter and
// ISO_Left_Tab (what Shift+Tab produces) gives tab; NoSymbol and unknown keysyms give no key.
std::optional<Key> keyFromX11Keysym(std::uint32_t keysym);

}  // namespace klosia
