#include <QApplication>
#include <QKeyEvent>
#include <QLabel>

#include "PreferencesFixture.h"
#include "preferences/SettingsViewRecorder.h"
#include "preferences/SettingsViewRecorderKey.h"

using namespace klosia;
using klosia::test::PreferencesFixture;

namespace {

class RecorderTest : public PreferencesFixture {
protected:
    QStringList shownCaps() const {
        QStringList caps;
        for (int n = 1; n <= SettingsViewRecorder::kKeyCount; ++n) {
            if (!recorder.key(n)->isHidden()) {
                caps << recorder.key(n)->symbol();
            }
        }
        return caps;
    }
    bool promptShown(const QString& prompt) const {
        return !recorder.text()->isHidden() && recorder.text()->text() == prompt;
    }

    SettingsViewRecorder recorder;
};

GlobalShortcut recorded(Key key, ModifierFlags modifiers) {
    return GlobalShortcut{.key = key, .modifiers = modifiers, .enabled = true, .deleted = false};
}

}  // namespace

TEST_F(RecorderTest, ShowsPlaceholderCapsThenAtMostFive) {
    EXPECT_EQ(shownCaps(), (QStringList{"⌃", "⌥", "⌘", "Q"}));
    EXPECT_TRUE(recorder.text()->isHidden());
    EXPECT_EQ(recorder.shortcutRecorderStatus(), ShortcutRecorderStatus::set);
    EXPECT_FALSE(recorder.key(1)->imageView()->pixmap().isNull());  // the artwork is compiled in

    recorder.setValues({"⌃", "⌥", "⇧", "⌘", "f", "n"});
    recorder.showKeys();
    EXPECT_EQ(shownCaps(), (QStringList{"⌃", "⌥", "⇧", "⌘", "f"}));

    recorder.setDeleted(true);
    EXPECT_TRUE(promptShown("Record Shortcut"));
    EXPECT_TRUE(shownCaps().isEmpty());
    EXPECT_EQ(recorder.shortcutRecorderStatus(), ShortcutRecorderStatus::record);
}

TEST_F(RecorderTest, RecordsTheKeyIntoTheRecordOfItsTypeOnly) {
    const struct {
        ShortcutRecorderType type;
        std::shared_ptr<GlobalShortcut> (Preferences::*record)() const;
    } cases[] = {{ShortcutRecorderType::activate, &Preferences::shortcutActivate},
                 {ShortcutRecorderType::quit, &Preferences::shortcutQuit},
                 {ShortcutRecorderType::force, &Preferences::shortcutForceQuit}};
    for (const auto& c : cases) {
        SCOPED_TRACE(rawValue(c.type).toStdString());
        prefs.reset();
        capture.clear();
        recorder.setType(c.type);
        click(&recorder);
        EXPECT_TRUE(promptShown("Type Shortcut"));
        EXPECT_TRUE(press(&recorder, Qt::Key_K, test::kKeysymK,
                          Qt::ControlModifier | Qt::AltModifier, "k"));
        const auto want = recorded(Key::k, ModifierFlags::control | ModifierFlags::option);
        EXPECT_EQ(*(prefs.*c.record)(), want);
        for (const auto& other : cases) {
            if (other.type != c.type) {
                EXPECT_FALSE((prefs.*other.record)()->enabled)
                    << rawValue(other.type).toStdString();
            }
        }
        EXPECT_EQ(capture
                      .matching("record shortcut: key: K, modifiers: ⌃⌥, enabled: true, "
                                "deleted: false")
                      .size(),
                  1U);
        EXPECT_FALSE(recorder.isRecording());
    }
    // Super is the command modifier; shift rides along.
    click(&recorder);
    press(&recorder, Qt::Key_Q, test::kKeysymQ, Qt::MetaModifier | Qt::ShiftModifier, "Q");
    EXPECT_EQ(*prefs.shortcutForceQuit(),
              recorded(Key::q, ModifierFlags::command | ModifierFlags::shift));

    // Shift with a digit arrives as the shifted keysym ("exclam" on keycode 10, the 1 key of a
    // US layout): the key is what the keyboard types there without modifiers.
    const auto ctrlShiftOne = [this] {
        QKeyEvent event(QEvent::KeyPress, Qt::Key_Exclam, Qt::ControlModifier | Qt::ShiftModifier,
                        10, 0x21, 0, QStringLiteral("!"));
        QApplication::sendEvent(&recorder, &event);
    };
    recorder.setType(ShortcutRecorderType::activate);
    click(&recorder);
    ctrlShiftOne();
    EXPECT_TRUE(recorder.isRecording()) << "without the keyboard's mapping no key is known";
    recorder.setUnshiftedKeysym([](std::uint32_t code) { return code == 10 ? 0x31U : 0U; });
    ctrlShiftOne();
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(*prefs.shortcutActivate(),
              recorded(Key::one, ModifierFlags::control | ModifierFlags::shift));
}

// Only a click or Space/Return asks for a shortcut; until then keys belong to the window.
TEST_F(RecorderTest, KeysBeforeAskingGoOnToTheWindow) {
    const GlobalShortcut before = *prefs.shortcutActivate();
    EXPECT_FALSE(press(&recorder, Qt::Key_K, test::kKeysymK, Qt::ControlModifier));
    EXPECT_FALSE(press(&recorder, Qt::Key_Escape, test::kKeysymEscape));
    EXPECT_EQ(*prefs.shortcutActivate(), before);

    EXPECT_TRUE(press(&recorder, Qt::Key_Space, test::kKeysymSpace, Qt::NoModifier, " "));
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_TRUE(promptShown("Type Shortcut"));
    EXPECT_EQ(*prefs.shortcutActivate(), before);  // Space asked; it is not the shortcut
}

TEST_F(RecorderTest, TypingKeysAndLoneModifiersKeepTheRecorderWaiting) {
    recorder.setType(ShortcutRecorderType::quit);
    const GlobalShortcut before = *prefs.shortcutQuit();
    click(&recorder);
    EXPECT_TRUE(press(&recorder, Qt::Key_K, test::kKeysymK, Qt::NoModifier, "k"));
    EXPECT_TRUE(press(&recorder, Qt::Key_K, test::kKeysymK, Qt::ShiftModifier, "K"));
    EXPECT_TRUE(press(&recorder, Qt::Key_Return, test::kKeysymReturn));
    EXPECT_TRUE(press(&recorder, Qt::Key_Control, test::kKeysymControlL, Qt::ControlModifier));
    EXPECT_TRUE(press(&recorder, Qt::Key_K, 0, Qt::ControlModifier));  // no keysym: no key
    // Tab is kept too, instead of moving the focus away.
    QKeyEvent tab(QEvent::KeyPress, Qt::Key_Tab, Qt::NoModifier, 0, test::kKeysymTab, 0);
    EXPECT_TRUE(QApplication::sendEvent(&recorder, &tab));
    QKeyEvent override(QEvent::ShortcutOverride, Qt::Key_Tab, Qt::ControlModifier, 0,
                       test::kKeysymTab, 0);
    override.ignore();
    QApplication::sendEvent(&recorder, &override);
    EXPECT_TRUE(override.isAccepted());

    EXPECT_EQ(*prefs.shortcutQuit(), before);
    EXPECT_TRUE(recorder.isRecording());
    EXPECT_TRUE(promptShown("Type Shortcut"));

    // A function key may stand alone.
    press(&recorder, Qt::Key_F5, test::kKeysymF5);
    EXPECT_EQ(*prefs.shortcutQuit(), recorded(Key::f5, ModifierFlags()));
}

TEST_F(RecorderTest, EscapeCancelsAndEscapeWithControlIsRecorded) {
    const GlobalShortcut before = *prefs.shortcutActivate();
    click(&recorder);
    EXPECT_TRUE(press(&recorder, Qt::Key_Escape, test::kKeysymEscape));
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_EQ(shownCaps(), (QStringList{"⌃", "⌥", "⌘", "Q"}));
    EXPECT_EQ(*prefs.shortcutActivate(), before);

    recorder.setDeleted(true);
    click(&recorder);
    press(&recorder, Qt::Key_Escape, test::kKeysymEscape);
    EXPECT_TRUE(promptShown("Record Shortcut"));  // back to what it showed

    click(&recorder);
    press(&recorder, Qt::Key_Escape, test::kKeysymEscape, Qt::ControlModifier);
    EXPECT_EQ(*prefs.shortcutActivate(), recorded(Key::escape, ModifierFlags::control));
    EXPECT_FALSE(recorder.deleted());
}

// The pointer leaving after a click brings the caps back, yet the next key is still recorded.
TEST_F(RecorderTest, HoverShowsCapsWhileStillWaiting) {
    click(&recorder);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(&recorder, &leave);
    EXPECT_EQ(shownCaps(), (QStringList{"⌃", "⌥", "⌘", "Q"}));
    press(&recorder, Qt::Key_F5, test::kKeysymF5, Qt::AltModifier);
    EXPECT_EQ(*prefs.shortcutActivate(), recorded(Key::f5, ModifierFlags::option));
}

TEST_F(RecorderTest, DisabledRecorderIsDimmedAndSwallowsKeysAndClicks) {
    recorder.setEnabled(false);
    for (int n = 1; n <= SettingsViewRecorder::kKeyCount; ++n) {
        EXPECT_DOUBLE_EQ(recorder.key(n)->opacity(), 0.3);
    }
    const GlobalShortcut before = *prefs.shortcutActivate();
    click(&recorder);
    EXPECT_FALSE(recorder.isRecording());
    EXPECT_TRUE(press(&recorder, Qt::Key_Space, test::kKeysymSpace));
    EXPECT_TRUE(press(&recorder, Qt::Key_K, test::kKeysymK, Qt::ControlModifier));
    EXPECT_EQ(*prefs.shortcutActivate(), before);
    EXPECT_TRUE(capture.matching("record shortcut").empty());

    // Disabling a waiting recorder stops the wait.
    recorder.setEnabled(true);
    EXPECT_DOUBLE_EQ(recorder.key(1)->opacity(), 1.0);
    click(&recorder);
    recorder.setEnabled(false);
    EXPECT_FALSE(recorder.isRecording());
}
