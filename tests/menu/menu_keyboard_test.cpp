// The open menu driven by keys alone and by a screen reader's actions, its Ctrl shortcuts, a long
// list that stays put while it is rebuilt, and a row's policy reaching the store.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMenu>
#include <QScreen>

#include "fakes/FakeApplicationDelegate.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/ManualDispatcher.h"
#include "fakes/RecordingDefaults.h"
#include "menu/HoverButton.h"
#include "menu/MenuTableView.h"
#include "menu/MenuTestSupport.h"
#include "menu/MenuViewCell.h"
#include "menu/MenuViewController.h"
#include "menu/MenuWindowController.h"
#include "model/AppPolicies.h"
#include "settings/Preferences.h"
#include "support/Wait.h"

using namespace klosia;
using test::FakeRunningApplication;

namespace {

class MenuKeyboardTest : public ::testing::Test {
public:
    MenuKeyboardTest() : bus(dispatcher), busScope(bus), preferences(defaults) {}
    ~MenuKeyboardTest() override { controller.reset(); }

protected:
    void start(const QStringList& names) {
        for (const QString& name : names) {
            workspace.applications.push_back(FakeRunningApplication::make(
                name, QStringLiteral("org.example.") + name.toLower().remove(QLatin1Char(' '))));
        }
        controller = std::make_unique<MenuWindowController>(dispatcher, workspace, preferences,
                                                            nullptr, &defaults);
    }
    bool open() {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        controller->openMenu({screen.center().x(), screen.top() + 5});
        return test::waitUntil([this] { return controller->isOpen(); });
    }
    MenuViewController& view() const { return *controller->menuViewController(); }
    QWidget* focus() const { return QApplication::focusWidget(); }
    MenuViewCell* focusedRow() const { return qobject_cast<MenuViewCell*>(focus()); }
    // A key as X delivers it: to the focused control, on to its parents while unused.
    void key(int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString& text = {},
             bool autoRepeat = false) {
        QKeyEvent press(QEvent::KeyPress, code, modifiers, text, autoRepeat);
        QApplication::sendEvent(focus(), &press);
    }
    void release(int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier,
                 bool autoRepeat = false) {
        QKeyEvent up(QEvent::KeyRelease, code, modifiers, QString(), autoRepeat);
        QApplication::sendEvent(focus(), &up);
    }
    void type(int code, const QString& text) {
        key(code, Qt::NoModifier, text);
        release(code);
    }

    test::ManualDispatcher dispatcher;
    NotificationBus bus;
    test::DefaultBusScope busScope;
    test::RecordingDefaults defaults;
    Preferences preferences;
    test::FakeWorkspace workspace;
    test::FakeApplicationDelegate application;
    std::unique_ptr<MenuWindowController> controller;
};

}  // namespace

TEST_F(MenuKeyboardTest, DownSpaceAndReturnDoTheMainJob) {
    start({"Atlas", "Mail", "Notes", "Zoom"});
    ASSERT_TRUE(open());
    EXPECT_EQ(focus(), view().searchField());
    type(Qt::Key_Down, {});
    ASSERT_NE(focusedRow(), nullptr) << "Down leaves the field for the rows";
    EXPECT_EQ(focusedRow()->title(), "Atlas");
    type(Qt::Key_Space, QStringLiteral(" "));
    EXPECT_FALSE(view().applications()[0]->selected) << "Space unchecks the focused row";
    EXPECT_TRUE(controller->appList().deselectedApps.contains("org.example.atlas"));
    EXPECT_EQ(view().klosiaBt()->text(), "Quit Selected");
    type(Qt::Key_Down, {});
    EXPECT_EQ(focusedRow()->title(), "Mail");
    type(Qt::Key_Up, {});
    type(Qt::Key_Up, {});
    EXPECT_EQ(focus(), view().searchField()) << "Up from the first row goes back to the field";

    // Typing in the rows goes to the field.
    type(Qt::Key_Down, {});
    type(Qt::Key_Z, QStringLiteral("z"));
    EXPECT_EQ(focus(), view().searchField());
    EXPECT_EQ(view().searchField()->text(), "z");
    EXPECT_EQ(view().filteredApplications().size(), 1u);
    type(Qt::Key_Backspace, {});
    EXPECT_EQ(view().filteredApplications().size(), 4u);

    type(Qt::Key_Return, {});
    dispatcher.runUntilIdle();
    EXPECT_EQ(application.notifications.size(), 1u);
    EXPECT_EQ(application.notifications.front().first, "Selected apps has been quit! ✋");
    EXPECT_EQ(test::fakeProcess(view().applications()[0]).terminateCalls, 0) << "unchecked";
    EXPECT_EQ(test::fakeProcess(view().applications()[3]).terminateCalls, 1);

    type(Qt::Key_Escape, {});
    EXPECT_EQ(controller->phase(), MenuWindowController::Phase::closing);
}

TEST_F(MenuKeyboardTest, AltWithDeleteOrReturnQuitsInTheOtherMode) {
    start({"Atlas", "Mail", "Zoom"});
    ASSERT_TRUE(open());
    type(Qt::Key_Down, {});
    ASSERT_EQ(focusedRow()->title(), "Atlas");
    key(Qt::Key_Delete, Qt::AltModifier);
    dispatcher.runUntilIdle();
    EXPECT_EQ(test::fakeProcess(view().applications()[0]).forceTerminateCalls, 1);
    EXPECT_EQ(test::fakeProcess(view().applications()[0]).terminateCalls, 0);
    type(Qt::Key_Down, {});
    ASSERT_EQ(focusedRow()->title(), "Mail");
    type(Qt::Key_Delete, {});
    dispatcher.runUntilIdle();
    EXPECT_EQ(test::fakeProcess(view().applications()[1]).terminateCalls, 1) << "Delete alone";
    EXPECT_EQ(test::fakeProcess(view().applications()[1]).forceTerminateCalls, 0);

    // The main button from the keyboard, with Alt: its title says so before it acts.
    key(Qt::Key_Return, Qt::AltModifier);
    dispatcher.runUntilIdle();
    EXPECT_EQ(view().klosiaBt()->text().toStdString(), "Force Klosia");
    EXPECT_EQ(test::fakeProcess(view().applications()[2]).forceTerminateCalls, 1);
    EXPECT_EQ(test::fakeProcess(view().applications()[2]).terminateCalls, 0);
    // Other modifiers with Return are not the main button.
    key(Qt::Key_Return, Qt::ControlModifier | Qt::AltModifier);
    dispatcher.runUntilIdle();
    EXPECT_EQ(test::fakeProcess(view().applications()[2]).forceTerminateCalls, 1);
}

TEST_F(MenuKeyboardTest, AScreenReadersToggleOfABoxIsWhatWillBeQuit) {
    start({"Mail", "Zoom"});
    ASSERT_TRUE(open());
    const auto toggle = [&](const QString& name) {
        QCheckBox* box = nullptr;
        for (QCheckBox* candidate : view().findChildren<QCheckBox*>()) {
            if (candidate->accessibleName() == name && candidate->isVisible()) {
                box = candidate;
            }
        }
        ASSERT_NE(box, nullptr) << name.toStdString();
        QAccessibleInterface* accessible = QAccessible::queryAccessibleInterface(box);
        ASSERT_NE(accessible, nullptr);
        ASSERT_NE(accessible->actionInterface(), nullptr);
        accessible->actionInterface()->doAction(QAccessibleActionInterface::toggleAction());
        dispatcher.runUntilIdle();
    };

    toggle(QStringLiteral("Select Mail"));
    EXPECT_FALSE(view().applications()[0]->selected) << "the row follows its box";
    EXPECT_TRUE(controller->appList().deselectedApps.contains("org.example.mail"));
    EXPECT_EQ(view().klosiaBt()->text(), "Quit Selected");
    EXPECT_EQ(view().selectAllState(), Qt::PartiallyChecked);

    toggle(QStringLiteral("Select all applications"));
    EXPECT_FALSE(view().applications()[1]->selected) << "from partly checked, Toggle unchecks";
    EXPECT_FALSE(view().klosiaBt()->isEnabled());
    toggle(QStringLiteral("Select all applications"));
    EXPECT_TRUE(view().applications()[0]->selected);
    EXPECT_TRUE(view().applications()[1]->selected);
    EXPECT_EQ(view().klosiaBt()->text(), " Klosia");

    // A click is handled once, though the box also reports the change it makes.
    QCheckBox* mail = nullptr;
    for (QCheckBox* candidate : view().findChildren<QCheckBox*>()) {
        if (candidate->accessibleName() == QLatin1String("Select Mail")) {
            mail = candidate;
        }
    }
    ASSERT_NE(mail, nullptr);
    mail->click();
    dispatcher.runUntilIdle();
    EXPECT_FALSE(view().applications()[0]->selected);
    EXPECT_EQ(view().klosiaBt()->text(), "Quit Selected");
}

TEST_F(MenuKeyboardTest, CtrlShortcutsActOncePerKeyPressOnTheFocusedControl) {
    start({"Atlas", "Mail"});
    ASSERT_TRUE(open());
    QApplication::clipboard()->setText(QStringLiteral("ma"));
    QLineEdit* field = view().searchField();
    key(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field->text(), "ma");
    key(Qt::Key_V, Qt::ControlModifier, {}, true);  // the key repeats while held
    release(Qt::Key_V, Qt::ControlModifier, true);
    key(Qt::Key_V, Qt::ControlModifier, {}, true);
    EXPECT_EQ(field->text(), "ma") << "once per key press";
    release(Qt::Key_V, Qt::ControlModifier);
    key(Qt::Key_V, Qt::ControlModifier);
    release(Qt::Key_V, Qt::ControlModifier);
    EXPECT_EQ(field->text(), "mama");
    key(Qt::Key_A, Qt::ControlModifier);
    release(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(field->selectedText(), "mama");
    key(Qt::Key_X, Qt::ControlModifier);
    release(Qt::Key_X, Qt::ControlModifier);
    EXPECT_TRUE(field->text().isEmpty());
    EXPECT_EQ(QApplication::clipboard()->text(), "mama");
    key(Qt::Key_Z, Qt::ControlModifier);
    release(Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(field->text(), "mama");
    field->clear();

    // In the rows Ctrl+A checks every entry; Ctrl+B still reaches the window.
    view().selectAllBt()->setCheckState(Qt::Unchecked);
    view().selectAllBtPress();
    type(Qt::Key_Down, {});
    ASSERT_NE(focusedRow(), nullptr);
    key(Qt::Key_A, Qt::ControlModifier);
    release(Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(view().applications()[0]->selected && view().applications()[1]->selected);
    EXPECT_EQ(view().selectAllState(), Qt::Checked);
    key(Qt::Key_B, Qt::ControlModifier);
    release(Qt::Key_B, Qt::ControlModifier);
    EXPECT_TRUE(preferences.showBackgroundApps());
}

TEST_F(MenuKeyboardTest, TabGoesFieldBoxRowsButtonsAndRound) {
    start({"Atlas", "Mail"});
    ASSERT_TRUE(open());
    std::vector<QWidget*> seen;
    for (int i = 0; i < 6; ++i) {
        seen.push_back(focus());
        type(Qt::Key_Tab, {});
    }
    ASSERT_EQ(seen.size(), 6u);
    EXPECT_EQ(seen[0], view().searchField());
    EXPECT_EQ(seen[1], view().selectAllBt());
    EXPECT_EQ(seen[2], view().appsTableView()->cellForRow(0));
    EXPECT_EQ(seen[3], view().klosiaBt());
    EXPECT_EQ(seen[4], view().settingsBt());
    EXPECT_EQ(seen[5], view().searchField());
    EXPECT_EQ(focus(), view().selectAllBt());
    type(Qt::Key_Backtab, {});
    type(Qt::Key_Backtab, {});
    EXPECT_EQ(focus(), view().settingsBt()) << "backwards round the field";
    for (QWidget* part : seen) {
        EXPECT_FALSE(part->accessibleName().isEmpty()) << part->metaObject()->className();
    }
}

TEST_F(MenuKeyboardTest, TwoHundredRowsUseAFewWidgetsAndARebuildKeepsThePlace) {
    QStringList names;
    for (int i = 0; i < 200; ++i) {
        names << QStringLiteral("App %1").arg(i, 3, 10, QLatin1Char('0'));
    }
    start(names);
    ASSERT_TRUE(open());
    MenuTableView& table = *view().appsTableView();
    EXPECT_EQ(table.rowCount(), 200);
    const int inView = table.viewport()->height() / 27;
    EXPECT_LE(table.cellCount(), inView + 2) << "rows are reused, not made per entry";

    table.focusRow(150);
    const int offset = table.scrollOffset();
    EXPECT_GT(offset, 0);
    ASSERT_NE(focusedRow(), nullptr);
    EXPECT_EQ(focusedRow()->title(), "App 150");
    MenuViewCell* below = table.cellForRow(149);

    // An application above the view ends: the list is rebuilt while open.
    workspace.quit(workspace.applications[10]);
    bus.notify(names::didTerminateApplication);
    dispatcher.runUntilIdle();
    EXPECT_EQ(table.rowCount(), 199);
    EXPECT_EQ(table.scrollOffset(), offset) << "the scroll position stays";
    ASSERT_NE(focusedRow(), nullptr);
    EXPECT_EQ(focusedRow()->title(), "App 150") << "the focus stays with its entry";
    EXPECT_EQ(table.currentRow(), 149);
    EXPECT_EQ(table.cellForRow(149), below) << "a row keeps its widget: hover stays put";

    type(Qt::Key_End, {});
    EXPECT_EQ(focusedRow()->title(), "App 199");
    type(Qt::Key_Home, {});
    EXPECT_EQ(focusedRow()->title(), "App 000");
    EXPECT_EQ(table.scrollOffset(), 0);
}

TEST_F(MenuKeyboardTest, ARowsPolicyReachesTheStoreAndTheRebuiltList) {
    start({"Atlas", "Mail"});
    ASSERT_TRUE(open());
    MenuViewCell* mail = view().appsTableView()->cellForRow(1);
    ASSERT_NE(mail, nullptr);
    mail->optionsBtPress();
    QAction* never = nullptr;
    for (QAction* action : mail->optionsMenu()->actions()) {
        if (action->text() == QLatin1String("Never Quit")) {
            never = action;
        }
    }
    ASSERT_NE(never, nullptr);
    never->trigger();
    mail->optionsMenu()->hide();
    EXPECT_EQ(loadAppPolicies(defaults).value("org.example.mail"), MenuAppPolicy::never);
    MenuViewCell* row = view().appsTableView()->cellForRow(1);
    EXPECT_EQ(row->app()->policy, MenuAppPolicy::never) << "rebuilt at once";
    EXPECT_FALSE(row->checkBt()->isChecked());
    EXPECT_FALSE(row->checkBt()->isEnabled());
    EXPECT_TRUE(row->isDimmed());
    EXPECT_EQ(view().klosiaBt()->text(), "Quit Selected");
    EXPECT_EQ(view().selectAllState(), Qt::Checked) << "only Atlas is standard now";
}
