#include "hotkeys/ModifierFlags.h"

#include <array>

namespace klosia {

namespace {

struct Modifier {
    std::uint64_t flagBit;
    std::uint32_t carbonBit;
    std::uint16_t x11Bit;
    char16_t symbol;
};

// Display order: control, option, shift, command.
constexpr std::array<Modifier, 4> kModifiers{{
    {ModifierFlags::controlBit, 0x1000, 0x4, u'\u2303'},  // controlKey, ControlMask, ⌃
    {ModifierFlags::optionBit, 0x800, 0x8, u'\u2325'},    // optionKey, Mod1Mask (Alt), ⌥
    {ModifierFlags::shiftBit, 0x200, 0x1, u'\u21E7'},     // shiftKey, ShiftMask, ⇧
    {ModifierFlags::commandBit, 0x100, 0x40, u'\u2318'},  // cmdKey, Mod4Mask (Super), ⌘
}};

}  // namespace

std::uint32_t ModifierFlags::carbonFlags() const {
    std::uint32_t mask = 0;
    for (const Modifier& m : kModifiers) {
        if ((raw_ & m.flagBit) != 0) {
            mask |= m.carbonBit;
        }
    }
    return mask;
}

ModifierFlags ModifierFlags::fromCarbonFlags(std::uint32_t carbonFlags) {
    ModifierFlags flags;
    for (const Modifier& m : kModifiers) {
        if ((carbonFlags & m.carbonBit) != 0) {
            flags.raw_ |= m.flagBit;
        }
    }
    return flags;
}

std::uint16_t ModifierFlags::x11ModMask() const {
    std::uint16_t mask = 0;
    for (const Modifier& m : kModifiers) {
        if ((raw_ & m.flagBit) != 0) {
            mask = static_cast<std::uint16_t>(mask | m.x11Bit);
        }
    }
    return mask;
}

ModifierFlags ModifierFlags::fromX11ModMask(std::uint16_t mask) {
    ModifierFlags flags;
    for (const Modifier& m : kModifiers) {
        if ((mask & m.x11Bit) != 0) {
            flags.raw_ |= m.flagBit;
        }
    }
    return flags;
}

QString ModifierFlags::description() const {
    QString text;
    for (const Modifier& m : kModifiers) {
        if ((raw_ & m.flagBit) != 0) {
            text.append(QChar(m.symbol));
        }
    }
    return text;
}

}  // namespace klosia
