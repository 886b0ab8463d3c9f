#pragma once

#include <QString>

#include <cstdint>

namespace klosia {

// The modifier keys of a shortcut. In memory the set keeps the raw bits of the platform's
// modifier-flag word (so flags such as caps lock survive a round trip through the set); only
// control, option, shift and command take part in shortcuts, and every conversion ignores the
// other bits.
//
// On X11 a shortcut's option is Alt (Mod1) and its command is Super (Mod4); control and shift keep
// their names.
class ModifierFlags {
public:
    static constexpr std::uint64_t controlBit = 0x40000;
    static constexpr std::uint64_t optionBit = 0x80000;
    static constexpr std::uint64_t shiftBit = 0x20000;
    static constexpr std::uint64_t commandBit = 0x100000;
    static constexpr std::uint64_t capsLockBit = 0x10000;
    static constexpr std::uint64_t shortcutBits = controlBit | optionBit | shiftBit | commandBit;

    static const ModifierFlags control;
    static const ModifierFlags option;
    static const ModifierFlags shift;
    static const ModifierFlags command;

    constexpr ModifierFlags() = default;
    static constexpr ModifierFlags fromRaw(std::uint64_t raw) { return ModifierFlags(raw); }

    constexpr std::uint64_t rawValue() const { return raw_; }
    constexpr bool isEmpty() const { return raw_ == 0; }
    constexpr bool contains(ModifierFlags member) const {
        return (raw_ & member.raw_) == member.raw_;
    }
    constexpr void insert(ModifierFlags member) { raw_ |= member.raw_; }
    constexpr void remove(ModifierFlags member) { raw_ &= ~member.raw_; }
    // The same set without the bits that play no part in shortcuts.
    constexpr ModifierFlags shortcutFlags() const { return ModifierFlags(raw_ & shortcutBits); }

    constexpr bool operator==(const ModifierFlags&) const = default;
    friend constexpr ModifierFlags operator|(ModifierFlags a, ModifierFlags b) {
        return ModifierFlags(a.raw_ | b.raw_);
    }

    // Carbon modifier mask (cmdKey 0x100, shiftKey 0x200, optionKey 0x800, controlKey 0x1000):
    // the form stored in settings.
    std::uint32_t carbonFlags() const;
    static ModifierFlags fromCarbonFlags(std::uint32_t carbonFlags);

    // X core-protocol modifier mask (ShiftMask 0x1, ControlMask 0x4, Mod1Mask 0x8, Mod4Mask 0x40)
    // for key grabs. Lock and NumLock bits are not shortcut modifiers and are ignored.
    std::uint16_t x11ModMask() const;
    static ModifierFlags fromX11ModMask(std::uint16_t mask);

    // "⌃⌥⇧⌘", always in that order, with the symbols of the flags present; empty for none.
    QString description() const;

private:
    constexpr explicit ModifierFlags(std::uint64_t raw) : raw_(raw) {}

    std::uint64_t raw_ = 0;
};

inline constexpr ModifierFlags ModifierFlags::control{ModifierFlags::controlBit};
inline constexpr ModifierFlags ModifierFlags::option{ModifierFlags::optionBit};
inline constexpr ModifierFlags ModifierFlags::shift{ModifierFlags::shiftBit};
inline constexpr ModifierFlags ModifierFlags::command{ModifierFlags::commandBit};

}  // namespace klosia
