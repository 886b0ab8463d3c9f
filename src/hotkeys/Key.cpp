#include "hotkeys/Key.h"

#include <array>

namespace klosia {

namespace {

struct KeyInfo {
    Key key;
    std::uint32_t carbonCode;
    // X keysyms from X11/keysymdef.h and X11/XF86keysym.h; written as numbers so this library
    // stays free of X headers.
    std::uint32_t keysym;
    std::string_view name;
    const char* text;  // UTF-8
};

// clang-format off
constexpr std::array<KeyInfo, keyCount> kKeys{{
    {Key::a, 0, 0x61, "a", "A"},  // XK_a
    {Key::b, 11, 0x62, "b", "B"},
    {Key::c, 8, 0x63, "c", "C"},
    {Key::d, 2, 0x64, "d", "D"},
    {Key::e, 14, 0x65, "e", "E"},
    {Key::f, 3, 0x66, "f", "F"},
    {Key::g, 5, 0x67, "g", "G"},
    {Key::h, 4, 0x68, "h", "H"},
    {Key::i, 34, 0x69, "i", "I"},
    {Key::j, 38, 0x6a, "j", "J"},
    {Key::k, 40, 0x6b, "k", "K"},
    {Key::l, 37, 0x6c, "l", "L"},
    {Key::m, 46, 0x6d, "m", "M"},
    {Key::n, 45, 0x6e, "n", "N"},
    {Key::o, 31, 0x6f, "o", "O"},
    {Key::p, 35, 0x70, "p", "P"},
    {Key::q, 12, 0x71, "q", "Q"},
    {Key::r, 15, 0x72, "r", "R"},
    {Key::s, 1, 0x73, "s", "S"},
    {Key::t, 17, 0x74, "t", "T"},
    {Key::u, 32, 0x75, "u", "U"},
    {Key::v, 9, 0x76, "v", "V"},
    {Key::w, 13, 0x77, "w", "W"},
    {Key::x, 7, 0x78, "x", "X"},
    {Key::y, 16, 0x79, "y", "Y"},
    {Key::z, 6, 0x7a, "z", "Z"},  // XK_z
    {Key::zero, 29, 0x30, "zero", "0"},  // XK_0
    {Key::one, 18, 0x31, "one", "1"},
    {Key::two, 19, 0x32, "two", "2"},
    {Key::three, 20, 0x33, "three", "3"},
    {Key::four, 21, 0x34, "four", "4"},
    {Key::five, 23, 0x35, "five", "5"},
    {Key::six, 22, 0x36, "six", "6"},
    {Key::seven, 26, 0x37, "seven", "7"},
    {Key::eight, 28, 0x38, "eight", "8"},
    {Key::nine, 25, 0x39, "nine", "9"},  // XK_9
    {Key::period, 47, 0x2e, "period", "."},  // XK_period
    // The apostrophe key of the ANSI layout; its cap shows the shifted character.
    {Key::quote, 39, 0x27, "quote", "\""},  // XK_apostrophe
    {Key::rightBracket, 30, 0x5d, "rightBracket", "]"},  // XK_bracketright
    {Key::semicolon, 41, 0x3b, "semicolon", ";"},  // XK_semicolon
    {Key::slash, 44, 0x2f, "slash", "/"},  // XK_slash
    {Key::backslash, 42, 0x5c, "backslash", "\\"},  // XK_backslash
    {Key::comma, 43, 0x2c, "comma", ","},  // XK_comma
    {Key::equal, 24, 0x3d, "equal", "="},  // XK_equal
    {Key::grave, 50, 0x60, "grave", "`"},  // XK_grave
    {Key::leftBracket, 33, 0x5b, "leftBracket", "["},  // XK_bracketleft
    {Key::minus, 27, 0x2d, "minus", "-"},  // XK_minus
    {Key::space, 49, 0x20, "space", "\u2423"},  // XK_space
    {Key::tab, 48, 0xff09, "tab", "\u21E5"},  // XK_Tab
    // U+FE0E asks for the text (not emoji) presentation of the arrow.
    {Key::return_, 36, 0xff0d, "return", "\u21A9\uFE0E"},  // XK_Return
    {Key::command, 55, 0xffeb, "command", "\u2318"},  // XK_Super_L
    {Key::rightCommand, 54, 0xffec, "rightCommand", "\u2318"},  // XK_Super_R
    {Key::option, 58, 0xffe9, "option", "\u2325"},  // XK_Alt_L
    {Key::rightOption, 61, 0xffea, "rightOption", "\u2325"},  // XK_Alt_R
    {Key::control, 59, 0xffe3, "control", "\u2303"},  // XK_Control_L
    {Key::rightControl, 62, 0xffe4, "rightControl", "\u2303"},  // XK_Control_R
    {Key::shift, 56, 0xffe1, "shift", "\u21E7"},  // XK_Shift_L
    {Key::rightShift, 60, 0xffe2, "rightShift", "\u21E7"},  // XK_Shift_R
    {Key::function, 63, 0, "function", "fn"},  // NoSymbol: handled by the keyboard itself
    {Key::capsLock, 57, 0xffe5, "capsLock", "\u21EA"},  // XK_Caps_Lock
    {Key::pageUp, 116, 0xff55, "pageUp", "\u21DE"},  // XK_Prior
    {Key::pageDown, 121, 0xff56, "pageDown", "\u21DF"},  // XK_Next
    {Key::home, 115, 0xff50, "home", "\u2196"},  // XK_Home
    {Key::end, 119, 0xff57, "end", "\u2198"},  // XK_End
    {Key::upArrow, 126, 0xff52, "upArrow", "\u2191"},  // XK_Up
    {Key::rightArrow, 124, 0xff53, "rightArrow", "\u2192"},  // XK_Right
    {Key::downArrow, 125, 0xff54, "downArrow", "\u2193"},  // XK_Down
    {Key::leftArrow, 123, 0xff51, "leftArrow", "\u2190"},  // XK_Left
    // U+F860 and U+F861 are the private-use marks that group the next two or three characters
    // into one cap in the system font.
    {Key::f1, 122, 0xffbe, "f1", "\uF860" "F1"},  // XK_F1
    {Key::f2, 120, 0xffbf, "f2", "\uF860" "F2"},
    {Key::f3, 99, 0xffc0, "f3", "\uF860" "F3"},
    {Key::f4, 118, 0xffc1, "f4", "\uF860" "F4"},
    {Key::f5, 96, 0xffc2, "f5", "\uF860" "F5"},
    {Key::f6, 97, 0xffc3, "f6", "\uF860" "F6"},
    {Key::f7, 98, 0xffc4, "f7", "\uF860" "F7"},
    {Key::f8, 100, 0xffc5, "f8", "\uF860" "F8"},
    {Key::f9, 101, 0xffc6, "f9", "\uF860" "F9"},
    {Key::f10, 109, 0xffc7, "f10", "\uF861" "F10"},
    {Key::f11, 103, 0xffc8, "f11", "\uF861" "F11"},
    {Key::f12, 111, 0xffc9, "f12", "\uF861" "F12"},
    {Key::f13, 105, 0xffca, "f13", "\uF861" "F13"},
    {Key::f14, 107, 0xffcb, "f14", "\uF861" "F14"},
    {Key::f15, 113, 0xffcc, "f15", "\uF861" "F15"},
    {Key::f16, 106, 0xffcd, "f16", "\uF861" "F16"},
    {Key::f17, 64, 0xffce, "f17", "\uF861" "F17"},
    {Key::f18, 79, 0xffcf, "f18", "\uF861" "F18"},
    {Key::f19, 80, 0xffd0, "f19", "\uF861" "F19"},
    {Key::f20, 90, 0xffd1, "f20", "\uF861" "F20"},  // XK_F20
    {Key::keypad0, 82, 0xffb0, "keypad0", "0"},  // XK_KP_0
    {Key::keypad1, 83, 0xffb1, "keypad1", "1"},
    {Key::keypad2, 84, 0xffb2, "keypad2", "2"},
    {Key::keypad3, 85, 0xffb3, "keypad3", "3"},
    {Key::keypad4, 86, 0xffb4, "keypad4", "4"},
    {Key::keypad5, 87, 0xffb5, "keypad5", "5"},
    {Key::keypad6, 88, 0xffb6, "keypad6", "6"},
    {Key::keypad7, 89, 0xffb7, "keypad7", "7"},
    {Key::keypad8, 91, 0xffb8, "keypad8", "8"},
    {Key::keypad9, 92, 0xffb9, "keypad9", "9"},  // XK_KP_9
    {Key::keypadClear, 71, 0xff0b, "keypadClear", "\u2327"},  // XK_Clear
    {Key::keypadDecimal, 65, 0xffae, "keypadDecimal", "."},  // XK_KP_Decimal
    {Key::keypadDivide, 75, 0xffaf, "keypadDivide", "/"},  // XK_KP_Divide
    {Key::keypadEnter, 76, 0xff8d, "keypadEnter", "\u21A9\uFE0E"},  // XK_KP_Enter
    {Key::keypadEquals, 81, 0xffbd, "keypadEquals", "="},  // XK_KP_Equal
    {Key::keypadMinus, 78, 0xffad, "keypadMinus", "-"},  // XK_KP_Subtract
    {Key::keypadMultiply, 67, 0xffaa, "keypadMultiply", "\u00D7"},  // XK_KP_Multiply
    {Key::keypadPlus, 69, 0xffab, "keypadPlus", "+"},  // XK_KP_Add
    {Key::escape, 53, 0xff1b, "escape", "\u238B"},  // XK_Escape
    {Key::delete_, 51, 0xff08, "delete", "\u232B"},  // XK_BackSpace
    {Key::forwardDelete, 117, 0xffff, "forwardDelete", "\u2326"},  // XK_Delete
    // A question mark in an enclosing circle (combining U+20DD): one character on screen.
    {Key::help, 114, 0xff6a, "help", "?\u20DD"},  // XK_Help
    {Key::volumeUp, 72, 0x1008ff13, "volumeUp", "\U0001F50A"},  // XF86XK_AudioRaiseVolume
    {Key::volumeDown, 73, 0x1008ff11, "volumeDown", "\U0001F509"},  // XF86XK_AudioLowerVolume
    {Key::mute, 74, 0x1008ff12, "mute", "\U0001F507"},  // XF86XK_AudioMute
}};
// clang-format on

constexpr bool tableFollowsDeclarationOrder() {
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        if (static_cast<std::size_t>(kKeys[i].key) != i) {
            return false;
        }
    }
    return static_cast<std::size_t>(Key::mute) + 1 == keyCount;
}
static_assert(tableFollowsDeclarationOrder());

constexpr std::uint32_t kHighestCarbonCode = 127;
constexpr int kNoKey = -1;

constexpr std::array<int, kHighestCarbonCode + 1> makeCarbonIndex() {
    std::array<int, kHighestCarbonCode + 1> index{};
    index.fill(kNoKey);
    for (std::size_t i = 0; i < kKeys.size(); ++i) {
        index[kKeys[i].carbonCode] = static_cast<int>(i);
    }
    return index;
}
constexpr auto kCarbonIndex = makeCarbonIndex();

constexpr std::array<Key, keyCount> makeAllKeys() {
    std::array<Key, keyCount> keys{};
    for (std::size_t i = 0; i < keyCount; ++i) {
        keys[i] = kKeys[i].key;
    }
    return keys;
}
constexpr auto kAllKeys = makeAllKeys();

const KeyInfo& info(Key key) {
    return kKeys.at(static_cast<std::size_t>(key));
}

constexpr std::uint32_t kKeysymNoSymbol = 0;
constexpr std::uint32_t kKeysymUpperA = 0x41;  // XK_A
constexpr std::uint32_t kKeysymUpperZ = 0x5a;  // XK_Z
constexpr std::uint32_t kKeysymCaseOffset = 0x20;
constexpr std::uint32_t kKeysymIsoLeftTab = 0xfe20;  // XK_ISO_Left_Tab

}  // namespace

std::span<const Key> allKeys() {
    return kAllKeys;
}

std::optional<Key> keyFromCarbonKeyCode(std::uint32_t code) {
    if (code > kHighestCarbonCode || kCarbonIndex[code] == kNoKey) {
        return std::nullopt;
    }
    return kKeys[static_cast<std::size_t>(kCarbonIndex[code])].key;
}

std::uint32_t carbonKeyCode(Key key) {
    return info(key).carbonCode;
}

QString description(Key key) {
    return QString::fromUtf8(info(key).text);
}

std::string_view caseName(Key key) {
    return info(key).name;
}

std::uint32_t x11Keysym(Key key) {
    return info(key).keysym;
}

std::optional<Key> keyFromX11Keysym(std::uint32_t keysym) {
    if (keysym == kKeysymNoSymbol) {
        return std::nullopt;
    }
    if (keysym >= kKeysymUpperA && keysym <= kKeysymUpperZ) {
        keysym += kKeysymCaseOffset;
    } else if (keysym == kKeysymIsoLeftTab) {
        return Key::tab;
    }
    for (const KeyInfo& entry : kKeys) {
        if (entry.keysym == keysym) {
            return entry.key;
        }
    }
    return std::nullopt;
}

}  // namespace klosia
