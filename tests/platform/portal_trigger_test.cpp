#include <gtest/gtest.h>

#include "platform/linux/PortalHotKeyService.h"

namespace klosia {
namespace {

// The portal takes a trigger in the shortcuts specification's words: its modifier names in a
// fixed order, then the key by its keysym name.
TEST(PortalTrigger, ModifiersByTheirSpecificationNamesThenTheKey) {
    EXPECT_EQ(PortalHotKeyService::triggerOf({0xff1b, 0x4 | 0x8}).toStdString(), "CTRL+ALT+Escape");
    EXPECT_EQ(PortalHotKeyService::triggerOf({'q', 0x40 | 0x1}).toStdString(), "SHIFT+LOGO+q");
    EXPECT_EQ(PortalHotKeyService::triggerOf({'m', 0}).toStdString(), "m");
    EXPECT_TRUE(PortalHotKeyService::triggerOf({0, 0x4}).isEmpty()) << "no key, no trigger";
    EXPECT_NE(PortalHotKeyService::shortcutId({1, 2}), PortalHotKeyService::shortcutId({1, 3}));
}

}  // namespace
}  // namespace klosia
