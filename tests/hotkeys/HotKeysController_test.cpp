#include <gtest/gtest.h>

#include <QKeyEvent>

#include <memory>

#include "fakes/FakeHotKeyService.h"
#include "hotkeys/HotKey.h"
#include "hotkeys/HotKeysController.h"

namespace klosia {
namespace {

constexpr std::uint32_t kSignature = 0x5353486B;  // "SSHk"
constexpr int kNotHandled = -9874;
const ModifierFlags kControlOption = ModifierFlags::control | ModifierFlags::option;
constexpr HotKeyCombination kControlOptionQ{0x71, 0x4 | 0x8};  // XK_q, ControlMask | Mod1Mask

class HotKeysControllerTest : public ::testing::Test {
protected:
    HotKeyPtr make(Key key = Key::q, HotKey::Handler down = {}, HotKey::Handler up = {}) {
        return HotKey::create(key, kControlOption, std::move(down), std::move(up), &controller);
    }

    test::FakeHotKeyService service;
    HotKeysController controller{&service};
};

TEST(KeyComboTest, FormsAndDescriptions) {
    const KeyCombo combo(Key::q, kControlOption);
    EXPECT_EQ(combo, KeyCombo(12, 0x1800));
    EXPECT_EQ(combo.key(), Key::q);
    EXPECT_EQ(combo.modifiers(), kControlOption);
    EXPECT_EQ(combo.description(), QStringLiteral("\u2303\u2325Q"));
    EXPECT_EQ(combo.platformCombination(), kControlOptionQ);

    // A code without a key keeps its number, shows only the modifiers and can never be grabbed.
    const KeyCombo unknown(52, 0x100);
    EXPECT_EQ(unknown.carbonKeyCode, 52U);
    EXPECT_FALSE(unknown.key().has_value());
    EXPECT_EQ(unknown.description(), QStringLiteral("\u2318"));
    EXPECT_EQ(unknown.platformCombination().keysym, 0U);
    EXPECT_EQ(unknown.platformCombination().modifiers, 0x40);
}

TEST_F(HotKeysControllerTest, IdentifiersRunOnAndAreNeverReused) {
    EXPECT_EQ(HotKeysController::signature, kSignature);
    HotKeyPtr hotKey = make();
    EXPECT_EQ(service.idOf(kControlOptionQ), 1U);
    hotKey.reset();
    hotKey = make();
    EXPECT_EQ(service.calls,
              (std::vector<std::string>{"register 1", "unregister 1", "register 2"}));
    ASSERT_EQ(controller.hotKeys().size(), 1U);
    EXPECT_EQ(controller.hotKeys().begin()->first, 2U);
    EXPECT_EQ(controller.hotKeysCount(), 2U);

    // A second registration of a hot key that has an entry changes nothing.
    controller.registerHotKey(hotKey);
    EXPECT_EQ(controller.hotKeysCount(), 2U);
    EXPECT_EQ(service.calls.size(), 3U);
}

TEST_F(HotKeysControllerTest, DispatchRunsOnlyTheRightHandler) {
    int downs = 0;
    const HotKeyPtr hotKey = make(Key::q, [&] { ++downs; });
    const std::uint32_t id = service.idOf(kControlOptionQ);

    EXPECT_EQ(service.send(kSignature, id, HotKeyEventKind::pressed), 0);
    EXPECT_EQ(downs, 1);
    // No released-action: the platform may pass the event on.
    EXPECT_EQ(service.send(kSignature, id, HotKeyEventKind::released), kNotHandled);
    // Same number, another program's signature.
    EXPECT_EQ(service.send(kSignature + 1, id, HotKeyEventKind::pressed), kNotHandled);
    EXPECT_EQ(service.send(kSignature, id + 1, HotKeyEventKind::pressed), kNotHandled);
    EXPECT_EQ(service.send(kSignature, id, static_cast<HotKeyEventKind>(7)), kNotHandled);
    EXPECT_EQ(controller.dispatch(nullptr), kNotHandled);
    EXPECT_EQ(downs, 1);

    int ups = 0;
    hotKey->keyUpHandler = [&] { ++ups; };
    EXPECT_EQ(service.send(kSignature, id, HotKeyEventKind::released), 0);
    EXPECT_EQ(ups, 1);
}

TEST_F(HotKeysControllerTest, PausingUnregistersAndResumingTakesANewIdentifier) {
    int downs = 0;
    const HotKeyPtr hotKey = make(Key::q, [&] { ++downs; });
    hotKey->setPaused(true);
    EXPECT_TRUE(hotKey->isPaused());
    EXPECT_TRUE(controller.hotKeys().empty());
    EXPECT_EQ(service.send(kSignature, 1, HotKeyEventKind::pressed), kNotHandled);

    hotKey->setPaused(false);
    EXPECT_EQ(service.idOf(kControlOptionQ), 2U);
    EXPECT_EQ(service.send(kSignature, 1, HotKeyEventKind::pressed), kNotHandled);
    EXPECT_EQ(service.send(kSignature, 2, HotKeyEventKind::pressed), 0);
    EXPECT_EQ(downs, 1);
    // Resuming what runs already registers nothing more.
    hotKey->setPaused(false);
    EXPECT_EQ(controller.hotKeysCount(), 2U);
}

TEST_F(HotKeysControllerTest, HandlerIsInstalledAfterTheFirstSuccessAndStays) {
    service.refused.push_back(kControlOptionQ);
    const HotKeyPtr refused = make(Key::q);
    // A refused hot key exists and has its entry, but nothing was installed for it.
    EXPECT_EQ(controller.hotKeys().size(), 1U);
    EXPECT_FALSE(controller.isRegistered(*refused));
    EXPECT_EQ(service.installations, 0);

    HotKeyPtr accepted = make(Key::w);
    EXPECT_TRUE(controller.isRegistered(*accepted));
    EXPECT_EQ(service.installations, 1);
    accepted.reset();
    accepted = make(Key::e);
    EXPECT_EQ(service.installations, 1);
    accepted.reset();
    EXPECT_TRUE(service.hasHandler());
    // The refused one never reached the service, so it is not unregistered there either.
    EXPECT_EQ(service.calls, (std::vector<std::string>{"register 1", "register 2", "unregister 2",
                                                       "register 3", "unregister 3"}));
}

TEST_F(HotKeysControllerTest, TheTableNeverKeepsAHotKeyAlive) {
    HotKeyPtr hotKey = make();
    const std::weak_ptr<HotKey> watch = hotKey;
    hotKey.reset();
    EXPECT_TRUE(watch.expired());
    EXPECT_TRUE(controller.hotKeys().empty());
    EXPECT_TRUE(service.registered.empty());
}

TEST_F(HotKeysControllerTest, AHandlerMayReleaseItsOwnHotKey) {
    HotKeyPtr slot;
    int downs = 0;
    slot = make(Key::q, [&] {
        ++downs;
        slot.reset();  // as a shortcut change that clears the slot would
    });
    EXPECT_EQ(service.send(kSignature, 1, HotKeyEventKind::pressed), 0);
    EXPECT_EQ(downs, 1);
    EXPECT_TRUE(controller.hotKeys().empty());
    EXPECT_EQ(service.send(kSignature, 1, HotKeyEventKind::pressed), kNotHandled);
}

TEST(HotKeysControllerLifetime, HotKeysAndServiceOutliveTheController) {
    test::FakeHotKeyService service;
    HotKeyPtr hotKey;
    {
        HotKeysController controller(&service);
        HotKeysController::setShared(&controller);
        hotKey = HotKey::create(Key::q, kControlOption, [] {});
        EXPECT_TRUE(controller.isRegistered(*hotKey));
    }
    EXPECT_EQ(HotKeysController::shared(), nullptr);
    // The controller took its registrations along; late events and releases find nobody.
    EXPECT_TRUE(service.registered.empty());
    EXPECT_EQ(service.send(kSignature, 1, HotKeyEventKind::pressed), kNotHandled);
    hotKey->setPaused(true);
    hotKey->setPaused(false);
    hotKey.reset();
    EXPECT_EQ(service.calls, (std::vector<std::string>{"register 1", "unregister 1"}));

    // Without any controller a hot key simply never registers.
    EXPECT_FALSE(HotKey::create(Key::q, kControlOption)->isPaused());
    EXPECT_EQ(service.calls.size(), 2U);
}

TEST_F(HotKeysControllerTest, KeyEventsOfOwnWindowsMatchOnlyHotKeysInForce) {
    const HotKeyPtr hotKey = make();
    const QKeyEvent event(QEvent::KeyPress, Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier, 0x71,
                          0x71, 0x4 | 0x8 | 0x10);
    EXPECT_TRUE(controller.matches(*hotKey, event));
    const QKeyEvent withShift(QEvent::KeyPress, Qt::Key_Q, Qt::ControlModifier, 0x71, 0x71,
                              0x1 | 0x4 | 0x8);
    EXPECT_FALSE(controller.matches(*hotKey, withShift));
    hotKey->setPaused(true);
    EXPECT_FALSE(controller.matches(*hotKey, event));
    EXPECT_TRUE(controller.matches(hotKey->keyCombo(), event));

    service.refused.push_back(kControlOptionQ);
    EXPECT_FALSE(controller.matches(*make(), event));
}

}  // namespace
}  // namespace klosia
