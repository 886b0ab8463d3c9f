// Hot keys against the real X server of the virtual session: key presses come from xdotool
// through XTEST, exactly as a keyboard's would, and a second X client plays the other program.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

#include <QLineEdit>
#include <QProcess>
#include <QStringList>
#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "hotkeys/HotKey.h"
#include "hotkeys/HotKeysController.h"
#include "platform/x11/X11HotKeyService.h"
#include "platform/x11/XcbConnection.h"
#include "platform/x11/XcbReply.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

namespace klosia {
namespace {

using test::waitUntil;

constexpr std::uint16_t kControlSuper = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_4;
const ModifierFlags kShortcutModifiers = ModifierFlags::control | ModifierFlags::command;

bool xdotool(const QStringList& arguments) {
    return QProcess::execute(QStringLiteral("xdotool"), arguments) == 0;
}

bool press(const QString& keys) {
    return xdotool({QStringLiteral("key"), keys});
}

// Another program on the same display: it grabs keys before us and sees what it grabbed.
class OtherClient {
public:
    OtherClient() : connection_(xcb_connect(nullptr, nullptr)) {
        root_ = xcb_setup_roots_iterator(xcb_get_setup(connection_)).data->root;
    }
    ~OtherClient() { xcb_disconnect(connection_); }
    OtherClient(const OtherClient&) = delete;
    OtherClient& operator=(const OtherClient&) = delete;

    xcb_connection_t* get() const { return connection_; }

    // The keycode that types `keysym` in the current layout (column 0), or 0.
    xcb_keycode_t keycodeOf(std::uint32_t keysym) const {
        const xcb_setup_t* setup = xcb_get_setup(connection_);
        const auto count = static_cast<std::uint8_t>(setup->max_keycode - setup->min_keycode + 1);
        const XcbReply<xcb_get_keyboard_mapping_reply_t> map(xcb_get_keyboard_mapping_reply(
            connection_, xcb_get_keyboard_mapping(connection_, setup->min_keycode, count),
            nullptr));
        if (!map) {
            return 0;
        }
        const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map.get());
        const std::size_t perKeycode = map->keysyms_per_keycode;
        for (std::size_t i = 0; i < count; ++i) {
            if (syms[i * perKeycode] == keysym) {
                return static_cast<xcb_keycode_t>(setup->min_keycode + i);
            }
        }
        return 0;
    }

    // The server's answer to a grab: 0 when granted, else the error code (10 is BadAccess).
    int grab(xcb_keycode_t keycode, std::uint16_t modifiers) const {
        const XcbReply<xcb_generic_error_t> error(xcb_request_check(
            connection_, xcb_grab_key_checked(connection_, 0, root_, modifiers, keycode,
                                              XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC)));
        return error ? error->error_code : 0;
    }
    void ungrab(xcb_keycode_t keycode, std::uint16_t modifiers) const {
        xcb_ungrab_key(connection_, keycode, root_, modifiers);
        // A round trip: the server has done it before anyone else asks for the key.
        const XcbReply<xcb_get_input_focus_reply_t> sync(
            xcb_get_input_focus_reply(connection_, xcb_get_input_focus(connection_), nullptr));
    }

    // Waits for a key press of `keycode` to reach this client.
    bool receivesPress(xcb_keycode_t keycode) const {
        return waitUntil([&] {
            while (xcb_generic_event_t* event = xcb_poll_for_event(connection_)) {
                const XcbReply<xcb_generic_event_t> owned(event);
                if ((event->response_type & 0x7f) == XCB_KEY_PRESS &&
                    reinterpret_cast<xcb_key_press_event_t*>(event)->detail == keycode) {
                    return true;
                }
            }
            return false;
        });
    }

    // The keyboard's modifier and lock state as the server has it now.
    std::uint16_t modifierState() const {
        const XcbReply<xcb_query_pointer_reply_t> reply(
            xcb_query_pointer_reply(connection_, xcb_query_pointer(connection_, root_), nullptr));
        return reply ? reply->mask : 0;
    }

private:
    xcb_connection_t* connection_;
    xcb_window_t root_ = XCB_WINDOW_NONE;
};

// Runs its action when the scope ends, also when an assertion returned early.
class Finally {
public:
    explicit Finally(std::function<void()> action) : action_(std::move(action)) {}
    ~Finally() { action_(); }
    Finally(const Finally&) = delete;
    Finally& operator=(const Finally&) = delete;

private:
    std::function<void()> action_;
};

// Counts a hot key's presses and releases.
struct Counter {
    int pressed = 0;
    int released = 0;
    HotKey::Handler down() {
        return [this] { ++pressed; };
    }
    HotKey::Handler up() {
        return [this] { ++released; };
    }
};

class X11HotKeysSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        QString error;
        auto connection = XcbConnection::open(&error);
        ASSERT_NE(connection, nullptr) << error.toStdString();
        service = std::make_unique<X11HotKeyService>(std::move(connection));
        controller = std::make_unique<HotKeysController>(service.get());
    }

    HotKeyPtr make(Key key, Counter& counter) {
        return HotKey::create(key, kShortcutModifiers, counter.down(), counter.up(),
                              controller.get());
    }

    // A press of a combination the test holds, after whatever was pressed before: the X server
    // delivers in order, so once it arrives every earlier press has been handled too.
    void pressAndSettle(Key key, const QString& keys) {
        Counter marker;
        const HotKeyPtr hotKey = make(key, marker);
        ASSERT_TRUE(controller->isRegistered(*hotKey));
        ASSERT_TRUE(press(keys));
        ASSERT_TRUE(waitUntil([&] { return marker.released == 1; }));
    }

    test::LogCapture log;
    OtherClient other;
    std::unique_ptr<X11HotKeyService> service;
    std::unique_ptr<HotKeysController> controller;
};

std::size_t errorLines(const test::LogCapture& log) {
    return log.matching("\xF0\x9F\x94\xB4").size();  // the error mark
}

TEST_F(X11HotKeysSessionTest, FiresOncePerPressAndOnceWhileHeldWithAutoRepeat) {
    Counter counter;
    const HotKeyPtr hotKey = make(Key::k, counter);
    ASSERT_TRUE(controller->isRegistered(*hotKey));

    ASSERT_TRUE(press(QStringLiteral("ctrl+super+k")));
    ASSERT_TRUE(waitUntil([&] { return counter.released == 1; }));
    ASSERT_TRUE(press(QStringLiteral("ctrl+super+k")));
    ASSERT_TRUE(waitUntil([&] { return counter.released == 2; }));
    EXPECT_EQ(counter.pressed, 2);

    // Held long enough for the keyboard to repeat several times: still one press.
    ASSERT_TRUE(xdotool({QStringLiteral("keydown"), QStringLiteral("ctrl+super+k")}));
    const bool repeated =
        waitUntil([&] { return service->ignoredRepeats() >= 3 || counter.pressed >= 3 + 3; });
    ASSERT_TRUE(xdotool({QStringLiteral("keyup"), QStringLiteral("ctrl+super+k")}));
    ASSERT_TRUE(repeated) << "the keyboard did not auto-repeat";

    // Other modifiers make another combination.
    ASSERT_TRUE(press(QStringLiteral("ctrl+super+shift+k")));
    pressAndSettle(Key::l, QStringLiteral("ctrl+super+l"));
    EXPECT_EQ(counter.pressed, 3);
    EXPECT_EQ(counter.released, 3);
    EXPECT_EQ(errorLines(log), 0U);
}

TEST_F(X11HotKeysSessionTest, WorksWithTheLocksOnWhereverNumLockSits) {
    Counter counter;
    const HotKeyPtr hotKey = make(Key::n, counter);
    ASSERT_TRUE(controller->isRegistered(*hotKey));

    // Move Num_Lock from its modifier to Mod3, as some keymaps do: the grabs follow it.
    const XcbReply<xcb_get_modifier_mapping_reply_t> saved(xcb_get_modifier_mapping_reply(
        other.get(), xcb_get_modifier_mapping(other.get()), nullptr));
    ASSERT_TRUE(saved);
    const std::size_t perModifier = saved->keycodes_per_modifier;
    std::vector<xcb_keycode_t> moved(
        xcb_get_modifier_mapping_keycodes(saved.get()),
        xcb_get_modifier_mapping_keycodes(saved.get()) + 8 * perModifier);
    const xcb_keycode_t numLock = other.keycodeOf(0xff7f);  // XK_Num_Lock
    ASSERT_NE(numLock, 0);
    for (xcb_keycode_t& code : moved) {
        if (code == numLock) {
            code = 0;
        }
    }
    const std::size_t mod3 = 5;  // Shift, Lock, Control, Mod1, Mod2, Mod3
    moved[mod3 * perModifier] = numLock;
    const std::uint64_t changes = service->mappingChanges();
    const XcbReply<xcb_set_modifier_mapping_reply_t> set(xcb_set_modifier_mapping_reply(
        other.get(),
        xcb_set_modifier_mapping(other.get(), static_cast<std::uint8_t>(perModifier), moved.data()),
        nullptr));
    ASSERT_TRUE(set && set->status == XCB_MAPPING_STATUS_SUCCESS);
    // The keymap and the locks go back as they were for the tests that follow, whatever fails.
    const Finally restore([&] {
        for (const std::uint16_t lock :
             {std::uint16_t{XCB_MOD_MASK_3}, std::uint16_t{XCB_MOD_MASK_LOCK}}) {
            if ((other.modifierState() & lock) != 0) {
                press(lock == XCB_MOD_MASK_LOCK ? QStringLiteral("Caps_Lock")
                                                : QStringLiteral("Num_Lock"));
            }
        }
        const XcbReply<xcb_set_modifier_mapping_reply_t> restored(xcb_set_modifier_mapping_reply(
            other.get(),
            xcb_set_modifier_mapping(other.get(), static_cast<std::uint8_t>(perModifier),
                                     xcb_get_modifier_mapping_keycodes(saved.get())),
            nullptr));
        EXPECT_TRUE(restored && restored->status == XCB_MAPPING_STATUS_SUCCESS);
    });
    ASSERT_TRUE(waitUntil([&] { return service->mappingChanges() > changes; }));

    ASSERT_TRUE(press(QStringLiteral("Num_Lock")));
    ASSERT_TRUE(waitUntil([&] { return (other.modifierState() & XCB_MOD_MASK_3) != 0; }));
    ASSERT_TRUE(press(QStringLiteral("ctrl+super+n")));
    ASSERT_TRUE(waitUntil([&] { return counter.released == 1; }));

    ASSERT_TRUE(press(QStringLiteral("Caps_Lock")));
    ASSERT_TRUE(waitUntil([&] { return (other.modifierState() & XCB_MOD_MASK_LOCK) != 0; }));
    ASSERT_TRUE(press(QStringLiteral("ctrl+super+n")));
    ASSERT_TRUE(waitUntil([&] { return counter.released == 2; }));

    ASSERT_TRUE(press(QStringLiteral("Num_Lock")));
    ASSERT_TRUE(press(QStringLiteral("Caps_Lock")));
    ASSERT_TRUE(waitUntil([&] { return (other.modifierState() & 0xff) == 0; }));
    ASSERT_TRUE(press(QStringLiteral("ctrl+super+n")));
    ASSERT_TRUE(waitUntil([&] { return counter.released == 3; }));
    EXPECT_EQ(counter.pressed, 3);
    EXPECT_EQ(errorLines(log), 0U);
}

TEST_F(X11HotKeysSessionTest, ACombinationAnotherProgramHoldsIsRefusedAndNeverFires) {
    const xcb_keycode_t j = other.keycodeOf('j');
    ASSERT_NE(j, 0);
    // The other program holds only the Caps Lock variant: all or nothing, we take none.
    ASSERT_EQ(other.grab(j, kControlSuper | XCB_MOD_MASK_LOCK), 0);
    Counter counter;
    HotKeyPtr hotKey = make(Key::j, counter);
    EXPECT_FALSE(controller->isRegistered(*hotKey));
    EXPECT_EQ(errorLines(log), 1U);
    EXPECT_EQ(log.matching("taken by another program").size(), 1U);
    // What we had grabbed before the refusal is free again.
    ASSERT_EQ(other.grab(j, kControlSuper), 0);

    ASSERT_TRUE(press(QStringLiteral("ctrl+super+j")));
    EXPECT_TRUE(other.receivesPress(j));
    pressAndSettle(Key::l, QStringLiteral("ctrl+super+l"));
    EXPECT_EQ(counter.pressed, 0);
    EXPECT_EQ(counter.released, 0);
    EXPECT_EQ(errorLines(log), 1U);

    // Once the other program lets go, a new registration takes it.
    other.ungrab(j, kControlSuper);
    other.ungrab(j, kControlSuper | XCB_MOD_MASK_LOCK);
    hotKey = make(Key::j, counter);
    EXPECT_TRUE(controller->isRegistered(*hotKey));
    ASSERT_TRUE(press(QStringLiteral("ctrl+super+j")));
    EXPECT_TRUE(waitUntil([&] { return counter.released == 1; }));
}

TEST_F(X11HotKeysSessionTest, RegisteringTheNewBeforeReleasingTheOldKeepsTheGrab) {
    const xcb_keycode_t k = other.keycodeOf('k');
    Counter before;
    Counter after;
    HotKeyPtr slot = make(Key::k, before);
    // The order of a shortcut change: the new hot key first, then the old one goes.
    slot = make(Key::k, after);
    ASSERT_TRUE(controller->isRegistered(*slot));
    EXPECT_EQ(other.grab(k, kControlSuper), XCB_ACCESS) << "the grab went with the old hot key";

    ASSERT_TRUE(press(QStringLiteral("ctrl+super+k")));
    ASSERT_TRUE(waitUntil([&] { return after.released == 1; }));
    EXPECT_EQ(after.pressed, 1);
    EXPECT_EQ(before.pressed, 0);

    // The last holder releases it for real.
    slot.reset();
    EXPECT_EQ(other.grab(k, kControlSuper), 0);
    other.ungrab(k, kControlSuper);
    EXPECT_EQ(errorLines(log), 0U);
}

TEST_F(X11HotKeysSessionTest, SuspendedTheKeysGoToTheFocusAndEveryRegistrationReturns) {
    const xcb_keycode_t k = other.keycodeOf('k');
    const xcb_keycode_t l = other.keycodeOf('l');
    Counter counter;
    Counter counterL;
    const HotKeyPtr hotKeyK = make(Key::k, counter);
    service->setSuspended(true);
    EXPECT_EQ(other.grab(k, kControlSuper), 0) << "a suspended shortcut still holds its keys";
    other.ungrab(k, kControlSuper);
    // Registered meanwhile: accepted now, in force on resuming.
    HotKeyPtr hotKeyL = make(Key::l, counterL);
    EXPECT_TRUE(controller->isRegistered(*hotKeyL));
    EXPECT_EQ(other.grab(l, kControlSuper), 0);
    other.ungrab(l, kControlSuper);

    service->setSuspended(false);
    EXPECT_EQ(other.grab(k, kControlSuper), XCB_ACCESS);
    EXPECT_EQ(other.grab(l, kControlSuper), XCB_ACCESS);
    ASSERT_TRUE(press(QStringLiteral("ctrl+super+k")));
    ASSERT_TRUE(waitUntil([&] { return counter.released == 1; }));
    ASSERT_TRUE(press(QStringLiteral("ctrl+super+l")));
    ASSERT_TRUE(waitUntil([&] { return counterL.released == 1; }));
    hotKeyL.reset();
    EXPECT_EQ(other.grab(l, kControlSuper), 0) << "an unregistered shortcut came back";
    other.ungrab(l, kControlSuper);
    EXPECT_EQ(counter.pressed, 1);
    EXPECT_EQ(errorLines(log), 0U);
}

TEST_F(X11HotKeysSessionTest, KeepsWorkingAfterTheKeyboardMappingChanges) {
    Counter counter;
    const HotKeyPtr hotKey = make(Key::z, counter);
    ASSERT_TRUE(press(QStringLiteral("ctrl+super+z")));
    ASSERT_TRUE(waitUntil([&] { return counter.released == 1; }));
    const xcb_keycode_t usZ = other.keycodeOf('z');

    // The German layout swaps Y and Z: Z now comes from another key.
    const std::uint64_t changes = service->mappingChanges();
    ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("de")}), 0);
    Finally restore([] { QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("us")}); });
    ASSERT_TRUE(waitUntil([&] { return service->mappingChanges() > changes; }));
    ASSERT_TRUE(waitUntil([&] { return other.keycodeOf('z') != usZ; }));
    ASSERT_TRUE(press(QStringLiteral("ctrl+super+z")));
    EXPECT_TRUE(waitUntil([&] { return counter.released == 2; }));

    const std::uint64_t german = service->mappingChanges();
    ASSERT_EQ(QProcess::execute(QStringLiteral("setxkbmap"), {QStringLiteral("us")}), 0);
    ASSERT_TRUE(waitUntil([&] { return service->mappingChanges() > german; }));
    ASSERT_TRUE(press(QStringLiteral("ctrl+super+z")));
    EXPECT_TRUE(waitUntil([&] { return counter.released == 3; }));
    EXPECT_EQ(counter.pressed, 3);
    EXPECT_EQ(errorLines(log), 0U);
}

TEST_F(X11HotKeysSessionTest, AWindowTheHandlerOpensTakesTheKeyboardWhileTheKeysAreHeld) {
    // What the menu does: a popup that grabs the keyboard when shown.
    QWidget popup(nullptr, Qt::Popup);
    auto* field = new QLineEdit(&popup);
    popup.setGeometry(100, 100, 200, 40);
    field->setGeometry(0, 0, 200, 40);
    Counter counter;
    const HotKeyPtr hotKey = make(Key::m, counter);
    hotKey->keyDownHandler = [&] {
        ++counter.pressed;
        popup.show();
        field->setFocus();
    };

    // Shown while the keys are still down, as when a person presses them.
    ASSERT_TRUE(xdotool({QStringLiteral("keydown"), QStringLiteral("ctrl+super+m")}));
    const bool shown = waitUntil([&] { return counter.pressed == 1 && popup.isVisible(); });
    ASSERT_TRUE(xdotool({QStringLiteral("keyup"), QStringLiteral("ctrl+super+m")}));
    ASSERT_TRUE(shown);
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("abc")}));
    EXPECT_TRUE(waitUntil([&] { return field->text().endsWith(QStringLiteral("abc")); }))
        << "the popup did not get the keyboard: " << field->text().toStdString();
    EXPECT_EQ(counter.pressed, 1);
    popup.hide();
}

}  // namespace
}  // namespace klosia
