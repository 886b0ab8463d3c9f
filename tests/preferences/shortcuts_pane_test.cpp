#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "PreferencesFixture.h"
#include "preferences/PreferencesShortcutsViewController.h"
#include "preferences/SettingsViewRecorder.h"
#include "preferences/SettingsViewRecorderKey.h"

using namespace klosia;
using klosia::test::PreferencesFixture;

namespace {

struct RowNames {
    ShortcutRecorderType type;
    const char* enable;
    const char* remove;
};

const RowNames kRows[] = {
    {ShortcutRecorderType::activate, "activateShortcutEnableBt", "activateShortcutDeleteBt"},
    {ShortcutRecorderType::quit, "klosiaShortcutEnableBt", "klosiaShortcutDeleteBt"},
    {ShortcutRecorderType::force, "forceKlosiaShortcutEnableBt", "forceKlosiaShortcutDeleteBt"},
};

class ShortcutsPaneTest : public PreferencesFixture {
protected:
    ShortcutsPaneTest() : pane(dispatcher) { deliver(); }

    QCheckBox* enableBox(const RowNames& row) {
        return pane.findChild<QCheckBox*>(QString::fromLatin1(row.enable));
    }
    QPushButton* deleteButton(const RowNames& row) {
        return pane.findChild<QPushButton*>(QString::fromLatin1(row.remove));
    }
    SettingsViewRecorder* recorder(const RowNames& row) { return pane.recorder(row.type); }
    static QStringList caps(const SettingsViewRecorder& r) {
        QStringList shown;
        for (int n = 1; n <= SettingsViewRecorder::kKeyCount; ++n) {
            if (!r.key(n)->isHidden()) {
                shown << r.key(n)->symbol();
            }
        }
        return shown;
    }
    static bool showsRecordPrompt(const SettingsViewRecorder& r) {
        return !r.text()->isHidden() && r.text()->text() == "Record Shortcut" && caps(r).isEmpty();
    }

    PreferencesShortcutsViewController pane;
};

}  // namespace

TEST_F(ShortcutsPaneTest, DefaultRowsShowTheirCapsGreyedWithDeleteDisabled) {
    const QStringList expected[] = {{"⌃", "⌥", "⎋"}, {"⌃", "⌥", "Q"}, {"⌃", "⌥", "⌘", "Q"}};
    for (std::size_t i = 0; i < std::size(kRows); ++i) {
        const RowNames& row = kRows[i];
        SCOPED_TRACE(row.enable);
        ASSERT_NE(enableBox(row), nullptr);
        EXPECT_EQ(recorder(row)->type(), row.type);
        EXPECT_EQ(caps(*recorder(row)), expected[i]);
        EXPECT_FALSE(recorder(row)->isEnabled());
        EXPECT_DOUBLE_EQ(recorder(row)->key(1)->opacity(), 0.3);
        EXPECT_FALSE(enableBox(row)->isChecked());
        EXPECT_FALSE(deleteButton(row)->isEnabled());
    }
}

TEST_F(ShortcutsPaneTest, EnablingARowBrightensItAndReRegistersTheHotKeys) {
    const RowNames& row = kRows[1];
    enableBox(row)->click();
    EXPECT_TRUE(prefs.shortcutQuit()->enabled);
    EXPECT_FALSE(prefs.shortcutActivate()->enabled);
    deliver();
    EXPECT_EQ(posts, QStringList{names::shortcutsDidChanged});
    EXPECT_TRUE(recorder(row)->isEnabled());
    EXPECT_DOUBLE_EQ(recorder(row)->key(1)->opacity(), 1.0);
    EXPECT_TRUE(deleteButton(row)->isEnabled());
    EXPECT_FALSE(recorder(kRows[0])->isEnabled());

    // The enabled recorder takes a shortcut, and the refresh shows its caps.
    click(recorder(row));
    press(recorder(row), Qt::Key_K, test::kKeysymK, Qt::ControlModifier | Qt::MetaModifier);
    deliver();
    EXPECT_EQ(caps(*recorder(row)), (QStringList{"⌃", "⌘", "K"}));
}

TEST_F(ShortcutsPaneTest, DeleteShowsTheRecordPromptAndASecondPressRestores) {
    const RowNames& row = kRows[2];
    enableBox(row)->click();
    deliver();
    deleteButton(row)->click();
    EXPECT_TRUE(prefs.shortcutForceQuit()->deleted);
    deliver();
    EXPECT_TRUE(showsRecordPrompt(*recorder(row)));
    // The pointer passing over keeps the prompt.
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(recorder(row), &enter);
    EXPECT_TRUE(showsRecordPrompt(*recorder(row)));

    deleteButton(row)->click();
    EXPECT_FALSE(prefs.shortcutForceQuit()->deleted);
    deliver();
    EXPECT_EQ(caps(*recorder(row)), (QStringList{"⌃", "⌥", "⌘", "Q"}));

    // A recording clears the deletion; the button follows, so its next press deletes again.
    deleteButton(row)->click();
    deliver();
    click(recorder(row));
    press(recorder(row), Qt::Key_F5, test::kKeysymF5);
    deliver();
    EXPECT_FALSE(prefs.shortcutForceQuit()->deleted);
    EXPECT_EQ(caps(*recorder(row)), prefs.shortcutForceQuit()->symbols());
    EXPECT_EQ(prefs.shortcutForceQuit()->key, Key::f5);
    EXPECT_FALSE(deleteButton(row)->isChecked());
    deleteButton(row)->click();
    EXPECT_TRUE(prefs.shortcutForceQuit()->deleted);

    // Switching a deleted row off keeps the prompt and disables the button.
    deliver();
    enableBox(row)->click();
    deliver();
    EXPECT_TRUE(showsRecordPrompt(*recorder(row)));
    EXPECT_FALSE(deleteButton(row)->isEnabled());
}

TEST_F(ShortcutsPaneTest, ADesktopWithoutGlobalShortcutsGetsTheBindingsInsteadOfTheRows) {
    pane.show();
    pane.setDesktopNotice(QStringLiteral("bindsym $mod+Escape exec klosia --toggle-menu"));
    deliver();
    ASSERT_NE(pane.desktopNotice(), nullptr);
    EXPECT_TRUE(pane.desktopNotice()->isVisible());
    EXPECT_TRUE(pane.desktopNotice()->text().contains(QLatin1String("--toggle-menu")));
    EXPECT_TRUE(pane.desktopNotice()->textInteractionFlags().testFlag(Qt::TextSelectableByMouse))
        << "the lines are to be copied";
    for (const RowNames& row : kRows) {
        EXPECT_FALSE(enableBox(row)->isVisible()) << row.enable;
        EXPECT_FALSE(recorder(row)->isVisible());
        EXPECT_FALSE(deleteButton(row)->isVisible());
    }
    // Told nothing after all: the rows as before, the settings untouched.
    pane.setDesktopNotice({});
    deliver();
    EXPECT_FALSE(pane.desktopNotice()->isVisible());
    for (const RowNames& row : kRows) {
        EXPECT_TRUE(enableBox(row)->isVisible()) << row.enable;
        EXPECT_TRUE(recorder(row)->isVisible());
    }
}
