#include <gtest/gtest.h>

#include <QString>

#include "hotkeys/ModifierFlags.h"

namespace klosia {
namespace {

TEST(ModifierFlagsCarbon, MaskToFlags) {
    EXPECT_EQ(ModifierFlags::fromCarbonFlags(0x1800),
              ModifierFlags::control | ModifierFlags::option);
    EXPECT_EQ(ModifierFlags::fromCarbonFlags(0x1B00),
              ModifierFlags::control | ModifierFlags::option | ModifierFlags::shift |
                  ModifierFlags::command);
    EXPECT_EQ(ModifierFlags::fromCarbonFlags(0x100), ModifierFlags::command);
    EXPECT_EQ(ModifierFlags::fromCarbonFlags(0x200), ModifierFlags::shift);
    EXPECT_TRUE(ModifierFlags::fromCarbonFlags(0).isEmpty());
    // alphaLock 0x400, rightShiftKey 0x2000 and stray high bits are not shortcut modifiers.
    EXPECT_EQ(ModifierFlags::fromCarbonFlags(0x400 | 0x2000 | 0x80000000u | 0x1000),
              ModifierFlags::control);
}

TEST(ModifierFlagsCarbon, FlagsToMaskIgnoresOtherBits) {
    const ModifierFlags all = ModifierFlags::control | ModifierFlags::option |
                              ModifierFlags::shift | ModifierFlags::command;
    EXPECT_EQ(all.carbonFlags(), 0x1B00u);
    EXPECT_EQ((ModifierFlags::control | ModifierFlags::option).carbonFlags(), 0x1800u);

    const ModifierFlags withCapsLock =
        ModifierFlags::fromRaw(ModifierFlags::capsLockBit | ModifierFlags::controlBit);
    EXPECT_EQ(withCapsLock.rawValue(), ModifierFlags::capsLockBit | ModifierFlags::controlBit);
    EXPECT_EQ(withCapsLock.carbonFlags(), 0x1000u);
    EXPECT_EQ(ModifierFlags::fromCarbonFlags(withCapsLock.carbonFlags()), ModifierFlags::control);
    EXPECT_EQ(withCapsLock.shortcutFlags(), ModifierFlags::control);
    EXPECT_EQ(withCapsLock.description(), QString(QChar(0x2303)));

    for (std::uint32_t mask = 0; mask < 16; ++mask) {
        const std::uint32_t carbon = ((mask & 1) ? 0x1000u : 0) | ((mask & 2) ? 0x800u : 0) |
                                     ((mask & 4) ? 0x200u : 0) | ((mask & 8) ? 0x100u : 0);
        EXPECT_EQ(ModifierFlags::fromCarbonFlags(carbon).carbonFlags(), carbon);
    }
}

TEST(ModifierFlagsDescription, SymbolsInFixedOrder) {
    EXPECT_EQ(ModifierFlags::command.description(), QString::fromUtf8("\u2318"));
    EXPECT_EQ((ModifierFlags::shift | ModifierFlags::control).description(),
              QString::fromUtf8("\u2303\u21E7"));
    EXPECT_EQ((ModifierFlags::command | ModifierFlags::shift | ModifierFlags::option |
               ModifierFlags::control)
                  .description(),
              QString::fromUtf8("\u2303\u2325\u21E7\u2318"));
    EXPECT_EQ(ModifierFlags().description(), QString());
}

TEST(ModifierFlagsX11, MaskMappingAndRoundTrip) {
    EXPECT_EQ(ModifierFlags::control.x11ModMask(), 0x4);
    EXPECT_EQ(ModifierFlags::option.x11ModMask(), 0x8);
    EXPECT_EQ(ModifierFlags::shift.x11ModMask(), 0x1);
    EXPECT_EQ(ModifierFlags::command.x11ModMask(), 0x40);
    for (std::uint64_t bits = 0; bits < 16; ++bits) {
        ModifierFlags flags;
        if (bits & 1)
            flags.insert(ModifierFlags::control);
        if (bits & 2)
            flags.insert(ModifierFlags::option);
        if (bits & 4)
            flags.insert(ModifierFlags::shift);
        if (bits & 8)
            flags.insert(ModifierFlags::command);
        EXPECT_EQ(ModifierFlags::fromX11ModMask(flags.x11ModMask()), flags) << bits;
    }
    // Lock (0x2), NumLock's usual Mod2 (0x10), Mod3, Mod5 and button bits are not shortcut keys.
    EXPECT_TRUE(ModifierFlags::fromX11ModMask(0x2 | 0x10 | 0x20 | 0x80 | 0x100).isEmpty());
    EXPECT_EQ(ModifierFlags::fromX11ModMask(0x4 | 0x2 | 0x10), ModifierFlags::control);
    EXPECT_EQ(ModifierFlags::fromRaw(ModifierFlags::capsLockBit).x11ModMask(), 0);
}

TEST(ModifierFlagsSet, ContainsInsertRemove) {
    ModifierFlags flags;
    EXPECT_TRUE(flags.isEmpty());
    flags.insert(ModifierFlags::option);
    flags.insert(ModifierFlags::command);
    EXPECT_TRUE(flags.contains(ModifierFlags::option));
    EXPECT_TRUE(flags.contains(ModifierFlags::option | ModifierFlags::command));
    EXPECT_FALSE(flags.contains(ModifierFlags::option | ModifierFlags::shift));
    flags.remove(ModifierFlags::option);
    EXPECT_EQ(flags, ModifierFlags::command);
    EXPECT_NE(flags,
              ModifierFlags::fromRaw(ModifierFlags::commandBit | ModifierFlags::capsLockBit));
}

}  // namespace
}  // namespace klosia
