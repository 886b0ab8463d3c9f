#include <gtest/gtest.h>

#include <QKeyEvent>

#include <memory>
#include <string>
#include <vector>

#include "app/HotKeyRegistrar.h"
#include "core/NotificationBus.h"
#include "fakes/FakeHotKeyService.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/ManualDispatcher.h"
#include "fakes/RecordingDefaults.h"
#include "hotkeys/HotKeysController.h"
#include "settings/Preferences.h"
#include "support/LogCapture.h"

namespace klosia {
namespace {

using test::FakeRunningApplication;

constexpr std::uint32_t kSignature = 0x5353486B;  // "SSHk"
const ModifierFlags kControlOption = ModifierFlags::control | ModifierFlags::option;
constexpr HotKeyCombination kControlOptionQ{0x71, 0x4 | 0x8};  // XK_q, ControlMask | Mod1Mask
constexpr HotKeyCombination kControlOptionW{0x77, 0x4 | 0x8};  // XK_w
constexpr HotKeyCombination kControlOptionE{0x65, 0x4 | 0x8};  // XK_e

std::shared_ptr<GlobalShortcut> record(std::optional<Key> key,
                                       std::optional<ModifierFlags> modifiers, bool enabled = true,
                                       bool deleted = false) {
    return std::make_shared<GlobalShortcut>(
        GlobalShortcut{.key = key, .modifiers = modifiers, .enabled = enabled, .deleted = deleted});
}

class HotKeyRegistrarTest : public ::testing::Test {
public:
    HotKeyRegistrarTest() {
        NotificationBus::setDefaultCenter(&bus);
        Preferences::setShared(&preferences);
    }
    ~HotKeyRegistrarTest() override {
        Preferences::setShared(nullptr);
        NotificationBus::setDefaultCenter(nullptr);
    }
    HotKeyRegistrarTest(const HotKeyRegistrarTest&) = delete;
    HotKeyRegistrarTest& operator=(const HotKeyRegistrarTest&) = delete;

protected:
    // Sets the three records and delivers their posts before the test goes on.
    void use(std::shared_ptr<GlobalShortcut> activate, std::shared_ptr<GlobalShortcut> quit,
             std::shared_ptr<GlobalShortcut> forceQuit) {
        preferences.setShortcutActivate(std::move(activate));
        preferences.setShortcutQuit(std::move(quit));
        preferences.setShortcutForceQuit(std::move(forceQuit));
        dispatcher.runUntilIdle();
        log.clear();
    }
    int press(HotKeyCombination combination) const {
        return service.send(kSignature, service.idOf(combination), HotKeyEventKind::pressed);
    }

    test::LogCapture log;
    test::ManualDispatcher dispatcher;
    NotificationBus bus{dispatcher};
    test::RecordingDefaults defaults;
    Preferences preferences{defaults};
    test::FakeHotKeyService service;
    HotKeysController controller{&service};
    test::FakeWorkspace workspace;
    int menus = 0;
    HotKeyRegistrar registrar{controller, workspace, [this] { ++menus; }};
};

TEST_F(HotKeyRegistrarTest, FactoryRecordsRegisterNothing) {
    registrar.registerHotKeys();
    registrar.registerHotKeys();
    EXPECT_EQ(log.matching("disable shortcut: key: ").size(), 6U);
    EXPECT_TRUE(log.matching("activate shortcut: ").empty());
    EXPECT_TRUE(service.calls.empty());
    EXPECT_FALSE(registrar.shortcutActivateKey() || registrar.shortcutQuitKey() ||
                 registrar.shortcutForceQuitKey());
}

TEST_F(HotKeyRegistrarTest, EachCallRegistersTheNewHotKeyBeforeTheOldGoes) {
    use(record(Key::q, kControlOption), record(Key::w, kControlOption),
        record(Key::e, kControlOption));
    registrar.registerHotKeys();
    EXPECT_EQ(log.matching("activate shortcut: key: Q, modifiers: \u2303\u2325, enabled: true, "
                           "deleted: false")
                  .size(),
              1U);
    EXPECT_EQ(log.matching("activate shortcut: ").size(), 3U);
    EXPECT_EQ(service.calls, (std::vector<std::string>{"register 1", "register 2", "register 3"}));

    // Unchanged records still get new identifiers, each registered before its old one goes.
    registrar.registerHotKeys();
    EXPECT_EQ(service.calls,
              (std::vector<std::string>{"register 1", "register 2", "register 3", "register 4",
                                        "unregister 1", "register 5", "unregister 2", "register 6",
                                        "unregister 3"}));
    EXPECT_EQ(service.idOf(kControlOptionQ), 4U);
    EXPECT_EQ(press(kControlOptionQ), 0);
    EXPECT_EQ(menus, 1);
    EXPECT_EQ(service.send(kSignature, 1, HotKeyEventKind::pressed), -9874);
    // No released-action.
    EXPECT_EQ(service.send(kSignature, 4, HotKeyEventKind::released), -9874);
}

TEST_F(HotKeyRegistrarTest, IncompleteDisabledOrDeletedRecordsLeaveTheirSlotEmpty) {
    use(record(Key::q, kControlOption), record(Key::w, kControlOption),
        record(Key::e, kControlOption));
    registrar.registerHotKeys();
    ASSERT_TRUE(registrar.shortcutActivateKey() && registrar.shortcutQuitKey() &&
                registrar.shortcutForceQuitKey());

    // Deleted keeps enabled, key and modifiers, as the shortcuts pane leaves them.
    use(record(Key::q, std::nullopt), record(Key::w, kControlOption, false),
        record(Key::e, kControlOption, true, true));
    registrar.registerHotKeys();
    EXPECT_FALSE(registrar.shortcutActivateKey() || registrar.shortcutQuitKey() ||
                 registrar.shortcutForceQuitKey());
    EXPECT_EQ(log.matching("disable shortcut: key: Q, modifiers: , enabled: true").size(), 1U);
    EXPECT_EQ(
        log.matching("disable shortcut: key: W, modifiers: \u2303\u2325, enabled: false").size(),
        1U);
    EXPECT_EQ(log.matching("disable shortcut: key: E, modifiers: \u2303\u2325, enabled: true, "
                           "deleted: true")
                  .size(),
              1U);
    EXPECT_TRUE(service.registered.empty());

    // Recording a combination again clears deleted: the shortcut comes back.
    use(record(Key::q, std::nullopt), record(Key::w, kControlOption, false),
        record(Key::e, kControlOption));
    registrar.registerHotKeys();
    EXPECT_TRUE(registrar.shortcutForceQuitKey());
    EXPECT_NE(service.idOf(kControlOptionE), 0U);
}

TEST_F(HotKeyRegistrarTest, QuitShortcutsAskEveryRegularApplicationInListOrder) {
    const auto editor = FakeRunningApplication::make("Editor", "org.example.Editor");
    const auto tray =
        FakeRunningApplication::make("Tray", "org.example.Tray", ActivationPolicy::accessory);
    const auto helper =
        FakeRunningApplication::make("Helper", "org.example.Helper", ActivationPolicy::prohibited);
    const auto browser = FakeRunningApplication::make("Browser", "org.example.Browser");
    workspace.setApplications({editor, tray, helper, browser});
    use(record(Key::q, kControlOption), record(Key::w, kControlOption),
        record(Key::e, kControlOption));
    registrar.registerHotKeys();
    log.clear();

    EXPECT_EQ(press(kControlOptionW), 0);
    EXPECT_EQ(editor->terminateCalls, 1);
    EXPECT_EQ(browser->terminateCalls, 1);
    EXPECT_EQ(tray->terminateCalls + helper->terminateCalls, 0);
    EXPECT_EQ(editor->forceTerminateCalls + browser->forceTerminateCalls, 0);
    const std::vector<std::string> lines = log.lines();
    ASSERT_EQ(lines.size(), 3U);
    EXPECT_NE(lines[0].find("handle shortcut: key: W, modifiers: \u2303\u2325, enabled: true"),
              std::string::npos);
    EXPECT_NE(lines[1].find("app: org.example.Editor did terminate [true]"), std::string::npos);
    EXPECT_NE(lines[2].find("app: org.example.Browser did terminate [true]"), std::string::npos);

    EXPECT_EQ(press(kControlOptionE), 0);
    EXPECT_EQ(editor->forceTerminateCalls, 1);
    EXPECT_EQ(browser->forceTerminateCalls, 1);
    EXPECT_EQ(tray->forceTerminateCalls + helper->forceTerminateCalls, 0);
    EXPECT_EQ(menus, 0);
}

TEST_F(HotKeyRegistrarTest, FollowsShortcutChangesOnTheBus) {
    registrar.observeShortcutChanges();
    dispatcher.runUntilIdle();
    EXPECT_FALSE(registrar.shortcutQuitKey());

    preferences.setShortcutQuit(record(Key::w, kControlOption));
    EXPECT_FALSE(registrar.shortcutQuitKey()) << "posts are delivered later, on the main queue";
    dispatcher.runUntilIdle();
    ASSERT_TRUE(registrar.shortcutQuitKey());
    EXPECT_NE(service.idOf(kControlOptionW), 0U);

    // Other settings do not touch the hot keys.
    const std::uint32_t id = service.idOf(kControlOptionW);
    preferences.setPlaySounds(true);
    dispatcher.runUntilIdle();
    EXPECT_EQ(service.idOf(kControlOptionW), id);
}

TEST_F(HotKeyRegistrarTest, ARefusedCombinationKeepsItsSlotAndNeverFires) {
    service.refused.push_back(kControlOptionQ);
    use(record(Key::q, kControlOption), record(Key::w, kControlOption, false),
        record(Key::e, kControlOption, false));
    registrar.registerHotKeys();
    ASSERT_TRUE(registrar.shortcutActivateKey());
    EXPECT_TRUE(service.registered.empty());
    const QKeyEvent event(QEvent::KeyPress, Qt::Key_Q, Qt::ControlModifier | Qt::AltModifier, 0x71,
                          0x71, 0x4 | 0x8);
    EXPECT_FALSE(registrar.handleKeyEvent(event));
    EXPECT_EQ(menus, 0);
}

TEST_F(HotKeyRegistrarTest, AWindowHoldingTheKeyboardRecognisesTheShortcuts) {
    use(record(Key::q, kControlOption), record(Key::w, kControlOption, false),
        record(Key::e, kControlOption, false));
    registrar.registerHotKeys();
    const auto key = [](QEvent::Type type, std::uint32_t keysym, bool autoRepeat) {
        return QKeyEvent(type, Qt::Key_unknown, Qt::NoModifier, keysym, keysym, 0x4 | 0x8 | 0x10,
                         QString(), autoRepeat);
    };
    EXPECT_TRUE(registrar.handleKeyEvent(key(QEvent::KeyPress, 0x71, false)));
    EXPECT_EQ(menus, 1);
    EXPECT_EQ(log.matching("handle shortcut: key: Q").size(), 1U);
    // Repeats and the release are swallowed without acting again.
    EXPECT_TRUE(registrar.handleKeyEvent(key(QEvent::KeyPress, 0x71, true)));
    EXPECT_TRUE(registrar.handleKeyEvent(key(QEvent::KeyRelease, 0x71, false)));
    EXPECT_EQ(menus, 1);
    // A disabled shortcut's combination and other keys are the window's own.
    EXPECT_FALSE(registrar.handleKeyEvent(key(QEvent::KeyPress, 0x77, false)));
    EXPECT_FALSE(registrar.handleKeyEvent(key(QEvent::KeyPress, 0x61, false)));
    EXPECT_EQ(menus, 1);
}

}  // namespace
}  // namespace klosia
