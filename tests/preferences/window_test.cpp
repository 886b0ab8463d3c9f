#include <QAction>
#include <QLineEdit>
#include <QToolBar>

#include "PreferencesFixture.h"
#include "preferences/PreferencesGeneralViewController.h"
#include "preferences/PreferencesShortcutsViewController.h"
#include "preferences/PreferencesViewController.h"
#include "preferences/PreferencesWindow.h"
#include "preferences/PreferencesWindowController.h"
#include "preferences/SettingsViewRecorder.h"
#include "support/Wait.h"

using namespace klosia;
using klosia::test::PreferencesFixture;

namespace {

class WindowTest : public PreferencesFixture {
protected:
    WindowTest() { deliver(); }

    PreferencesWindow& window() { return *controller.window(); }
    bool settled(PreferenceTab tab) {
        return test::waitUntil(
            [&] { return !controller.isResizing() && window().height() == contentHeight(tab); });
    }
    // A control (not the content view) that holds the window's focus.
    QWidget* focusedControl() {
        QWidget* focus = window().focusWidget();
        return focus == controller.preferencesViewController() ? nullptr : focus;
    }
    QLineEdit* amountField() {
        return window().findChild<QLineEdit*>("generalQuitInactiveAppsAfterField");
    }

    PreferencesWindowController controller{dispatcher};
};

}  // namespace

TEST_F(WindowTest, EachTabTitlesTheWindowAndTakesItsHeightWithTheTopEdgeKept) {
    EXPECT_EQ(contentHeight(PreferenceTab::general), 397);
    EXPECT_EQ(contentHeight(PreferenceTab::shortcuts), 267);
    EXPECT_EQ(contentHeight(PreferenceTab::support), 191);
    EXPECT_EQ(contentHeight(PreferenceTab::about), 182);

    controller.openPreferences();
    ASSERT_TRUE(settled(PreferenceTab::general));
    window().move(100, 150);
    ASSERT_TRUE(test::waitUntil([&] { return window().pos() == QPoint(100, 150); }));
    const QRect start = window().geometry();

    for (PreferenceTab tab : {PreferenceTab::support, PreferenceTab::shortcuts,
                              PreferenceTab::about, PreferenceTab::about, PreferenceTab::general}) {
        SCOPED_TRACE(rawValue(tab).toStdString());
        controller.toolbarItem(tab)->trigger();
        EXPECT_EQ(window().windowTitle(), rawValue(tab));
        EXPECT_TRUE(controller.toolbarItem(tab)->isChecked());
        EXPECT_TRUE(controller.preferencesViewController()->pane(tab)->isVisible());
        ASSERT_TRUE(settled(tab));
        EXPECT_EQ(window().geometry().top(), start.top());
        EXPECT_EQ(window().geometry().left(), start.left());
        EXPECT_EQ(window().width(), start.width());
        for (PreferenceTab other : kAllPreferenceTabs) {
            if (other != tab) {
                EXPECT_FALSE(controller.preferencesViewController()->pane(other)->isVisible());
            }
        }
    }
}

TEST_F(WindowTest, OpeningOnAnotherTabCentresAtItsHeightThenGrowsDownwardsToGeneral) {
    controller.openPreferences();
    EXPECT_EQ(capture.matching("preferences will open").size(), 1U);
    controller.selectTab(PreferenceTab::about);
    ASSERT_TRUE(settled(PreferenceTab::about));
    window().move(0, 0);

    controller.openPreferences();
    const int centredTop = window().geometry().top();
    EXPECT_GT(centredTop, 0);
    EXPECT_EQ(controller.preferenceTab(), PreferenceTab::general);
    EXPECT_EQ(window().windowTitle(), "General");
    ASSERT_TRUE(settled(PreferenceTab::general));
    EXPECT_EQ(window().geometry().top(), centredTop);
    EXPECT_EQ(capture.matching("preferences will open").size(), 2U);
}

// The offscreen platform does not activate a window shown again, so this looks at the focus the
// window gives on activation (its focus widget); the session test sees the real activation.
TEST_F(WindowTest, ClosingOnlyHidesAndEveryOpeningShowsGeneralWithNoControlFocused) {
    controller.openPreferences();
    EXPECT_NE(window().focusWidget(), nullptr);
    EXPECT_EQ(focusedControl(), nullptr);

    prefs.quitInactiveAppsAfter()->enabled = true;
    prefs.setQuitInactiveAppsAfter(prefs.quitInactiveAppsAfter());
    deliver();
    amountField()->setFocus();
    ASSERT_EQ(window().focusWidget(), amountField());
    window().close();
    EXPECT_FALSE(window().isVisible());

    controller.openPreferences();
    EXPECT_TRUE(window().isVisible());
    EXPECT_EQ(focusedControl(), nullptr);

    // The same when the window is already open on another tab with a control focused.
    controller.selectTab(PreferenceTab::shortcuts);
    SettingsViewRecorder* recorder =
        controller.preferencesViewController()->preferencesShortcutsViewController()->recorder(
            ShortcutRecorderType::activate);
    recorder->setEnabled(true);
    recorder->setFocus();
    ASSERT_EQ(window().focusWidget(), recorder);
    controller.openPreferences();
    EXPECT_EQ(focusedControl(), nullptr);

    controller.closePreferences();
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(controller.preferenceTab(), PreferenceTab::general);
}
