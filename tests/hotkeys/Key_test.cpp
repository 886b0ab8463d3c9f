#include <gtest/gtest.h>

#include <QString>
#include <QTextBoundaryFinder>

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "hotkeys/Key.h"

namespace klosia {
namespace {

// Every key in declaration order with its Carbon virtual key code, written out independently of
// the implementation's table.
constexpr const char* kExpectedCodes =
    "a 0 b 11 c 8 d 2 e 14 f 3 g 5 h 4 i 34 j 38 k 40 l 37 m 46 n 45 o 31 p 35 q 12 r 15 s 1 "
    "t 17 u 32 v 9 w 13 x 7 y 16 z 6 zero 29 one 18 two 19 three 20 four 21 five 23 six 22 "
    "seven 26 eight 28 nine 25 period 47 quote 39 rightBracket 30 semicolon 41 slash 44 "
    "backslash 42 comma 43 equal 24 grave 50 leftBracket 33 minus 27 space 49 tab 48 return 36 "
    "command 55 rightCommand 54 option 58 rightOption 61 control 59 rightControl 62 shift 56 "
    "rightShift 60 function 63 capsLock 57 pageUp 116 pageDown 121 home 115 end 119 upArrow 126 "
    "rightArrow 124 downArrow 125 leftArrow 123 f1 122 f2 120 f3 99 f4 118 f5 96 f6 97 f7 98 "
    "f8 100 f9 101 f10 109 f11 103 f12 111 f13 105 f14 107 f15 113 f16 106 f17 64 f18 79 "
    "f19 80 f20 90 keypad0 82 keypad1 83 keypad2 84 keypad3 85 keypad4 86 keypad5 87 keypad6 88 "
    "keypad7 89 keypad8 91 keypad9 92 keypadClear 71 keypadDecimal 65 keypadDivide 75 "
    "keypadEnter 76 keypadEquals 81 keypadMinus 78 keypadMultiply 67 keypadPlus 69 escape 53 "
    "delete 51 forwardDelete 117 help 114 volumeUp 72 volumeDown 73 mute 74";

std::vector<std::pair<std::string, std::uint32_t>> expectedCodes() {
    std::vector<std::pair<std::string, std::uint32_t>> result;
    std::istringstream in(kExpectedCodes);
    std::string name;
    std::uint32_t code = 0;
    while (in >> name >> code) {
        result.emplace_back(name, code);
    }
    return result;
}

int graphemeCount(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    int count = 0;
    while (finder.toNextBoundary() != -1) {
        ++count;
    }
    return count;
}

TEST(KeyCarbonCodes, DeclarationOrderNamesAndCodes) {
    const auto expected = expectedCodes();
    ASSERT_EQ(expected.size(), keyCount);
    ASSERT_EQ(allKeys().size(), keyCount);
    for (std::size_t i = 0; i < keyCount; ++i) {
        const Key key = allKeys()[i];
        EXPECT_EQ(static_cast<std::size_t>(key), i);
        EXPECT_EQ(caseName(key), expected[i].first) << "at " << i;
        EXPECT_EQ(carbonKeyCode(key), expected[i].second) << expected[i].first;
        EXPECT_EQ(keyFromCarbonKeyCode(expected[i].second), key) << expected[i].first;
    }
}

TEST(KeyCarbonCodes, CodesWithoutKeyGiveNothing) {
    const std::set<std::uint32_t> gaps{10, 52, 66, 68, 70, 77, 93, 94, 95, 102, 104, 108, 110, 112};
    int found = 0;
    for (std::uint32_t code = 0; code <= 126; ++code) {
        const bool hasKey = keyFromCarbonKeyCode(code).has_value();
        EXPECT_EQ(hasKey, gaps.count(code) == 0) << code;
        found += hasKey ? 1 : 0;
    }
    EXPECT_EQ(found, static_cast<int>(keyCount));
    for (std::uint32_t code : {127u, 128u, 255u, 256u, 0xFFFFu, 0xFFFFFFFFu}) {
        EXPECT_FALSE(keyFromCarbonKeyCode(code).has_value()) << code;
    }
    EXPECT_EQ(keyFromCarbonKeyCode(54), Key::rightCommand);
    EXPECT_EQ(keyFromCarbonKeyCode(55), Key::command);
    EXPECT_EQ(caseName(Key::return_), "return");
    EXPECT_EQ(caseName(Key::delete_), "delete");
}

TEST(KeyDescription, CharactersAndPunctuation) {
    EXPECT_EQ(description(Key::a), QStringLiteral("A"));
    EXPECT_EQ(description(Key::z), QStringLiteral("Z"));
    EXPECT_EQ(description(Key::zero), QStringLiteral("0"));
    EXPECT_EQ(description(Key::keypad7), QStringLiteral("7"));
    EXPECT_EQ(description(Key::quote), QString(QChar(0x22)));
    EXPECT_EQ(description(Key::backslash), QString(QChar(0x5C)));
    EXPECT_EQ(description(Key::grave), QString(QChar(0x60)));
    EXPECT_EQ(description(Key::keypadDecimal), QStringLiteral("."));
    EXPECT_EQ(description(Key::keypadPlus), QStringLiteral("+"));
    EXPECT_EQ(description(Key::function), QStringLiteral("fn"));
    EXPECT_EQ(description(Key::return_), QString::fromUtf8("\u21A9\uFE0E"));
    EXPECT_EQ(description(Key::keypadEnter), description(Key::return_));
    EXPECT_EQ(description(Key::escape), QString(QChar(0x238B)));
    EXPECT_EQ(description(Key::delete_), QString(QChar(0x232B)));
    EXPECT_EQ(description(Key::forwardDelete), QString(QChar(0x2326)));
    EXPECT_EQ(description(Key::mute), QString::fromUtf8("\U0001F507"));
}

TEST(KeyDescription, FunctionKeysCarryTheGroupingMark) {
    const QString f5 = description(Key::f5);
    ASSERT_EQ(f5.size(), 3);
    EXPECT_EQ(f5.at(0), QChar(0xF860));
    EXPECT_EQ(f5.mid(1), QStringLiteral("F5"));
    const QString f12 = description(Key::f12);
    ASSERT_EQ(f12.size(), 4);
    EXPECT_EQ(f12.at(0), QChar(0xF861));
    EXPECT_EQ(f12.mid(1), QStringLiteral("F12"));
    EXPECT_EQ(description(Key::f20).mid(1), QStringLiteral("F20"));
}

TEST(KeyDescription, ChosenSymbolsAreSingleCharactersInTheirFamily) {
    for (Key key : {Key::keypadMultiply, Key::help, Key::volumeUp, Key::volumeDown}) {
        EXPECT_EQ(graphemeCount(description(key)), 1) << caseName(key);
    }
    // The volume keys use the speaker symbols of mute's block (U+1F508 … U+1F50A).
    for (Key key : {Key::volumeUp, Key::volumeDown}) {
        const QString text = description(key);
        ASSERT_EQ(text.size(), 2);  // one surrogate pair
        const char32_t codePoint = QChar::surrogateToUcs4(text.at(0), text.at(1));
        EXPECT_GE(codePoint, 0x1F508u);
        EXPECT_LE(codePoint, 0x1F50Au);
    }
    EXPECT_NE(description(Key::volumeUp), description(Key::volumeDown));
}

TEST(KeyDescription, OnlyTwinKeysShareText) {
    const std::set<std::pair<Key, Key>> twins{
        {Key::zero, Key::keypad0},         {Key::one, Key::keypad1},
        {Key::two, Key::keypad2},          {Key::three, Key::keypad3},
        {Key::four, Key::keypad4},         {Key::five, Key::keypad5},
        {Key::six, Key::keypad6},          {Key::seven, Key::keypad7},
        {Key::eight, Key::keypad8},        {Key::nine, Key::keypad9},
        {Key::period, Key::keypadDecimal}, {Key::slash, Key::keypadDivide},
        {Key::equal, Key::keypadEquals},   {Key::minus, Key::keypadMinus},
        {Key::return_, Key::keypadEnter},  {Key::command, Key::rightCommand},
        {Key::option, Key::rightOption},   {Key::control, Key::rightControl},
        {Key::shift, Key::rightShift},
    };
    std::map<QString, std::vector<Key>> byText;
    for (Key key : allKeys()) {
        EXPECT_FALSE(description(key).isEmpty()) << caseName(key);
        byText[description(key)].push_back(key);
    }
    for (const auto& [text, keys] : byText) {
        if (keys.size() == 1) {
            continue;
        }
        ASSERT_EQ(keys.size(), 2u) << text.toStdString();
        EXPECT_TRUE(twins.count({keys[0], keys[1]}) == 1)
            << caseName(keys[0]) << " and " << caseName(keys[1]) << " share " << text.toStdString();
    }
    EXPECT_EQ(byText.size(), keyCount - twins.size());
}

TEST(KeyX11Keysyms, EveryKeyButFunctionRoundTrips) {
    std::set<std::uint32_t> seen;
    for (Key key : allKeys()) {
        const std::uint32_t keysym = x11Keysym(key);
        if (key == Key::function) {
            EXPECT_EQ(keysym, 0u);
            continue;
        }
        EXPECT_NE(keysym, 0u) << caseName(key);
        EXPECT_TRUE(seen.insert(keysym).second) << caseName(key) << " reuses a keysym";
        EXPECT_EQ(keyFromX11Keysym(keysym), key) << caseName(key);
    }
    EXPECT_FALSE(keyFromX11Keysym(0).has_value());
}

TEST(KeyX11Keysyms, NamedKeysymsAndAliases) {
    EXPECT_EQ(x11Keysym(Key::a), 0x61u);                // XK_a
    EXPECT_EQ(x11Keysym(Key::quote), 0x27u);            // XK_apostrophe
    EXPECT_EQ(x11Keysym(Key::return_), 0xff0du);        // XK_Return
    EXPECT_EQ(x11Keysym(Key::keypadEnter), 0xff8du);    // XK_KP_Enter
    EXPECT_EQ(x11Keysym(Key::command), 0xffebu);        // XK_Super_L
    EXPECT_EQ(x11Keysym(Key::rightOption), 0xffeau);    // XK_Alt_R
    EXPECT_EQ(x11Keysym(Key::f1), 0xffbeu);             // XK_F1
    EXPECT_EQ(x11Keysym(Key::f20), 0xffd1u);            // XK_F20
    EXPECT_EQ(x11Keysym(Key::delete_), 0xff08u);        // XK_BackSpace
    EXPECT_EQ(x11Keysym(Key::forwardDelete), 0xffffu);  // XK_Delete
    EXPECT_EQ(x11Keysym(Key::volumeUp), 0x1008ff13u);
    EXPECT_EQ(x11Keysym(Key::volumeDown), 0x1008ff11u);
    EXPECT_EQ(x11Keysym(Key::mute), 0x1008ff12u);

    EXPECT_EQ(keyFromX11Keysym(0x51), Key::q);           // XK_Q
    EXPECT_EQ(keyFromX11Keysym(0x41), Key::a);           // XK_A
    EXPECT_EQ(keyFromX11Keysym(0x5a), Key::z);           // XK_Z
    EXPECT_EQ(keyFromX11Keysym(0xfe20), Key::tab);       // XK_ISO_Left_Tab
    EXPECT_FALSE(keyFromX11Keysym(0x21).has_value());    // XK_exclam
    EXPECT_FALSE(keyFromX11Keysym(0xff7f).has_value());  // XK_Num_Lock
    EXPECT_FALSE(keyFromX11Keysym(0xffffffff).has_value());
}

}  // namespace
}  // namespace klosia
