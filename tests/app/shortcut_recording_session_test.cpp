// A shortcut recorded in the program's own preferences window, from the keyboard alone, works
// everywhere on the desktop, can be recorded again while it is in force, and once deleted it is
// gone.
#include <gtest/gtest.h>

#include <xcb/xcb.h>

#include <QProcess>

#include "FirstRun.h"
#include "support/Wait.h"
#include "support/session/DesktopDriver.h"

namespace klosia {
namespace {

using test::BackgroundProgram;
using test::DesktopDriver;
using test::DesktopWindow;
using test::waitUntil;

const QString kKlosia = QStringLiteral(KLOSIA_EXECUTABLE);
constexpr std::uint32_t kKeysymK = 0x6b;
constexpr std::uint32_t kKeysymEscape = 0xff1b;
constexpr std::uint32_t kKeysym1 = 0x31;
constexpr std::uint16_t kCtrlAlt = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_1;
constexpr std::uint16_t kCtrlShift = XCB_MOD_MASK_CONTROL | XCB_MOD_MASK_SHIFT;

// A second start with --preferences: the running program shows its preferences window.
bool openPreferences() {
    QProcess second;
    second.start(kKlosia, {QStringLiteral("--preferences")});
    return second.waitForFinished(20000) && second.exitCode() == 0;
}

class ShortcutRecordingSession : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(desktop.isConnected());
        ASSERT_TRUE(test::skipFirstRunAlert());  // its window would pass for the preferences
        klosia = std::make_unique<BackgroundProgram>(kKlosia, QStringList{});
        ASSERT_TRUE(waitUntil([&] { return !desktop.trayIconOf(klosia->pid()).isEmpty(); },
                              std::chrono::seconds(20)));
    }
    // The preferences window: a framed window of the program, larger than its tray icon.
    bool preferencesShown() const {
        const std::vector<DesktopWindow> windows = desktop.windowsOf(klosia->pid());
        return std::any_of(windows.begin(), windows.end(), [](const DesktopWindow& window) {
            return window.viewable && window.id != window.topLevel &&
                   window.geometry.width() > 200 && window.geometry.height() > 150;
        });
    }
    // Keys go where the window manager gives the focus: wait for it before typing.
    bool preferencesActive() const {
        return preferencesShown() && desktop.activeWindowPid() == klosia->pid();
    }
    bool menuShown() const { return !desktop.popupsOf(klosia->pid()).empty(); }
    // A close during the menu's 0.1 s opening fade is ignored: press again until it is gone.
    bool pressUntilClosed(const QString& keys) const {
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (!DesktopDriver::key(keys)) {
                return false;
            }
            if (waitUntil([&] { return !menuShown(); }, std::chrono::seconds(1))) {
                return true;
            }
        }
        return false;
    }

    DesktopDriver desktop;
    std::unique_ptr<BackgroundProgram> klosia;
};

TEST_F(ShortcutRecordingSession, RecordedShortcutOpensTheMenuUntilItIsDeleted) {
    ASSERT_TRUE(desktop.canGrabKey(kKeysymK, kCtrlAlt)) << "nobody holds Ctrl+Alt+K at first";

    ASSERT_TRUE(openPreferences());
    ASSERT_TRUE(waitUntil([&] { return preferencesActive(); })) << "no preferences window";
    // The Shortcut tab and its first row's enable box: the row's default combination
    // (Ctrl+Alt+Escape) is registered, and its recorder becomes reachable.
    for (const char* keys : {"ctrl+Tab", "Tab", "space"}) {
        ASSERT_TRUE(DesktopDriver::key(QString::fromLatin1(keys))) << keys;
    }
    ASSERT_TRUE(waitUntil([&] { return !desktop.canGrabKey(kKeysymEscape, kCtrlAlt); }))
        << "enabling the row did not register its default shortcut";
    // The recorder, then the new combination.
    for (const char* keys : {"Tab", "space", "ctrl+alt+k"}) {
        ASSERT_TRUE(DesktopDriver::key(QString::fromLatin1(keys))) << keys;
    }
    EXPECT_TRUE(waitUntil([&] { return !desktop.canGrabKey(kKeysymK, kCtrlAlt); }))
        << "the recorded shortcut was never registered";
    EXPECT_TRUE(desktop.canGrabKey(kKeysymEscape, kCtrlAlt)) << "the old combination is released";

    // Asked again, the recorder gets even a combination in force: the program's own grabs let
    // go while it waits, so the keys reach it instead of opening the menu.
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("space")));
    EXPECT_TRUE(waitUntil([&] { return desktop.canGrabKey(kKeysymK, kCtrlAlt); }))
        << "the program's grab stayed while the recorder waited";
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("ctrl+alt+k")));
    // Escape hides the window only once the recorder has stopped waiting (while it waits,
    // Escape cancels the recording), and the keys reach the window in order.
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("Escape")));
    ASSERT_TRUE(waitUntil([&] { return !preferencesShown(); }))
        << "the recorder never got the combination in force";
    EXPECT_FALSE(menuShown()) << "the recorder's keys went to the global shortcut";
    EXPECT_FALSE(desktop.canGrabKey(kKeysymK, kCtrlAlt)) << "the shortcut is not in force again";

    // Pressed anywhere, it shows the menu; pressed again, the open menu recognises it and
    // closes (a press during the short opening fade opens again, so it may take two).
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("ctrl+alt+k")));
    EXPECT_TRUE(waitUntil([&] { return menuShown(); })) << "the shortcut did not open the menu";
    EXPECT_TRUE(pressUntilClosed(QStringLiteral("ctrl+alt+k")))
        << "the shortcut did not close the open menu";
    ASSERT_TRUE(DesktopDriver::key(QStringLiteral("ctrl+alt+k")));
    EXPECT_TRUE(waitUntil([&] { return menuShown(); }));
    ASSERT_TRUE(pressUntilClosed(QStringLiteral("Escape"))) << "Escape did not close the menu";

    // Deleted from the same row (enable box, recorder, delete button): the grab is released.
    ASSERT_TRUE(openPreferences());
    ASSERT_TRUE(waitUntil([&] { return preferencesActive(); }));
    for (const char* keys : {"ctrl+Tab", "Tab", "Tab", "Tab", "space"}) {
        ASSERT_TRUE(DesktopDriver::key(QString::fromLatin1(keys))) << keys;
    }
    EXPECT_TRUE(waitUntil([&] { return desktop.canGrabKey(kKeysymK, kCtrlAlt); }))
        << "the deleted shortcut still holds its keys";

    // Shift with a digit: X reports the shifted keysym ("exclam"), the shortcut is the 1 key
    // with Ctrl and Shift.
    for (const char* keys : {"shift+Tab", "space", "ctrl+shift+1", "Escape"}) {
        ASSERT_TRUE(DesktopDriver::key(QString::fromLatin1(keys))) << keys;
    }
    ASSERT_TRUE(waitUntil([&] { return !preferencesShown(); }))
        << "Ctrl+Shift+1 was not recorded (Escape cancelled the recording instead)";
    EXPECT_FALSE(desktop.canGrabKey(kKeysym1, kCtrlShift)) << "Ctrl+Shift+1 is not in force";
}

}  // namespace
}  // namespace klosia
