// The settings menu of the open menu window: its four items with their titles, images and keys,
// what each does, the keys that choose them while it is open, and its button from the keyboard.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QTimer>

#include "core/SupportMail.h"
#include "fakes/FakeApplicationDelegate.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/ManualDispatcher.h"
#include "fakes/RecordingDefaults.h"
#include "menu/HoverButton.h"
#include "menu/MenuGlyph.h"
#include "menu/MenuTestSupport.h"
#include "menu/MenuViewController.h"
#include "menu/MenuWindow.h"
#include "menu/MenuWindowController.h"
#include "menu/SettingsMenu.h"
#include "settings/Preferences.h"
#include "support/LogCapture.h"
#include "support/OpenedUrls.h"
#include "support/Wait.h"

using namespace klosia;
using test::FakeRunningApplication;
using Phase = MenuWindowController::Phase;

namespace {

QStringList titles(const QMenu& menu) {
    QStringList out;
    for (const QAction* item : menu.actions()) {
        out << item->text();
    }
    return out;
}

// The image an item shows in the menu's text colour.
QImage shownImage(const QAction& item) {
    return item.icon()
        .pixmap(QSize(SettingsMenu::kImageSize, SettingsMenu::kImageSize), 1.0)
        .toImage();
}
QImage glyph(const char* name, const QMenu& menu) {
    const QSize size(SettingsMenu::kImageSize, SettingsMenu::kImageSize);
    return MenuGlyph::icon(QString::fromLatin1(name), size, menu.palette().color(QPalette::Text),
                           1.0)
        .pixmap(size, 1.0)
        .toImage();
}

// Runs the event loop until something ends it; `start` runs inside it. The loop's exit code,
// or -1 when nothing ended it (a second guard ends it then).
int runLoop(const std::function<void()>& start) {
    QTimer::singleShot(0, start);
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(-1); });
    guard.start(std::chrono::seconds(20));
    return QCoreApplication::exec();
}

class SettingsMenuTest : public ::testing::Test {
public:
    SettingsMenuTest() : bus(dispatcher), busScope(bus), preferences(defaults) {
        workspace.applications = {FakeRunningApplication::make("Mail", "org.example.mail"),
                                  FakeRunningApplication::make("Indexer", "org.example.indexer",
                                                               ActivationPolicy::accessory)};
        controller = std::make_unique<MenuWindowController>(dispatcher, workspace, preferences,
                                                            nullptr, &defaults);
    }
    ~SettingsMenuTest() override { controller.reset(); }

protected:
    bool open(bool atTop = true) {
        const QRect screen = QGuiApplication::primaryScreen()->geometry();
        controller->openMenu({screen.center().x(), atTop ? screen.top() + 5 : screen.bottom() - 5});
        return test::waitUntil([this] { return controller->isOpen(); });
    }
    MenuViewController& view() const { return *controller->menuViewController(); }
    SettingsMenu& menu() const { return *view().settingsMenu(); }
    // A key pressed while `target` has the keyboard; whether it was used.
    static bool key(QWidget* target, int code, Qt::KeyboardModifiers modifiers,
                    bool autoRepeat = false) {
        QKeyEvent press(QEvent::KeyPress, code, modifiers, QString(), autoRepeat);
        press.setAccepted(false);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, code, modifiers, QString(), autoRepeat);
        QApplication::sendEvent(target, &release);
        return press.isAccepted();
    }
    std::size_t logged(const char* text) const { return capture.matching(text).size(); }

    test::LogCapture capture;
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

TEST_F(SettingsMenuTest, FourItemsWithImagesAndKeysAndTheFirstFollowsTheSetting) {
    ASSERT_TRUE(open());
    HoverButton& button = *view().settingsBt();
    EXPECT_TRUE(button.isVisible());
    EXPECT_EQ(button.accessibleName(), "Settings");
    EXPECT_FALSE(button.image().isNull()) << "the gear is compiled in";
    const QRect mainButton(view().klosiaBt()->mapTo(&view(), QPoint(0, 0)),
                           view().klosiaBt()->size());
    const QRect settings(button.mapTo(&view(), QPoint(0, 0)), button.size());
    EXPECT_FALSE(mainButton.intersects(settings)) << "beside the main button";
    EXPECT_TRUE(view().rect().contains(settings));
    EXPECT_EQ(controller->window()->height(), 1 * 27 + 135) << "the footer keeps the height rule";

    view().settingsBtPress();
    ASSERT_TRUE(menu().isVisible());
    EXPECT_EQ(menu().activeAction(), nullptr) << "no item preselected";
    EXPECT_EQ(titles(menu()), (QStringList{"View background apps", "Preferences", "Help", "Quit"}));
    const QList<QAction*> items = menu().actions();
    EXPECT_EQ(items[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_B));
    EXPECT_EQ(items[0]->shortcut().toString(QKeySequence::NativeText), "Ctrl+B");
    EXPECT_TRUE(items[1]->shortcut().isEmpty());
    EXPECT_TRUE(items[2]->shortcut().isEmpty());
    EXPECT_EQ(items[3]->shortcut().toString(QKeySequence::NativeText), "Ctrl+Q");
    EXPECT_EQ(shownImage(*items[0]), glyph("settings-background-apps-show", menu()));
    EXPECT_EQ(shownImage(*items[1]), glyph("settings-preferences", menu()));
    EXPECT_EQ(shownImage(*items[2]), glyph("settings-help", menu()));
    EXPECT_EQ(shownImage(*items[3]), glyph("settings-quit", menu()));

    // Choosing it shows the background application and names the opposite next time.
    menu().backgroundAppsItem()->trigger();
    EXPECT_TRUE(preferences.showBackgroundApps());
    EXPECT_EQ(logged("backgroundAppsItemPress(item:)"), 1u);
    dispatcher.runUntilIdle();
    EXPECT_EQ(test::entryNames(view().applications()), (QStringList{"Indexer", "Mail"}))
        << "rebuilt on \"MenuDidChanged\"";
    menu().hide();
    view().settingsBtPress();
    EXPECT_EQ(menu().backgroundAppsItem()->text(), "Hide background apps");
    EXPECT_EQ(shownImage(*menu().backgroundAppsItem()),
              glyph("settings-background-apps-hide", menu()));
    menu().backgroundAppsItem()->trigger();
    dispatcher.runUntilIdle();
    EXPECT_EQ(test::entryNames(view().applications()), (QStringList{"Mail"}));
    menu().hide();
    menu().popup(QPoint(0, 0));  // as the tray icon opens it
    EXPECT_EQ(menu().backgroundAppsItem()->text(), "View background apps")
        << "refreshed as it is about to show, however it is opened";
}

TEST_F(SettingsMenuTest, PreferencesClosesTheMenuWindowThenOpensThePreferences) {
    ASSERT_TRUE(open());
    view().settingsBtPress();
    menu().preferencesItem()->trigger();
    EXPECT_EQ(application.calls, (std::vector<QString>{"closeMenu", "openPreferences"}));
    EXPECT_EQ(logged("preferencesItemPress(item:)"), 1u);

    ApplicationDelegate::setCurrent(nullptr);
    menu().preferencesItem()->trigger();
    ApplicationDelegate::setCurrent(&application);
    EXPECT_EQ(application.calls.size(), 2u) << "without the program's delegate nothing happens";
}

TEST_F(SettingsMenuTest, HelpHandsTheEncodedMessageToTheMailProgram) {
    test::OpenedUrls opened;
    ASSERT_TRUE(open());
    view().settingsBtPress();
    menu().helpItem()->trigger();
    const std::optional<QUrl> expected = SupportMail::url();
    ASSERT_TRUE(expected.has_value());
    ASSERT_EQ(opened.urls, QStringList{expected->toString(QUrl::FullyEncoded)});
    EXPECT_TRUE(opened.urls[0].startsWith(QStringLiteral("mailto:")));
    EXPECT_TRUE(opened.urls[0].endsWith(
        QStringLiteral("?subject=Klosia%20Support%20%F0%9F%9B%9F&body=Hi")));
    EXPECT_EQ(logged("helpItemPress(item:)"), 1u);
}

TEST_F(SettingsMenuTest, QuitEndsTheProgramNormallyFromTheItemAndFromCtrlQ) {
    ASSERT_TRUE(open());
    EXPECT_EQ(runLoop([&] {
                  view().settingsBtPress();
                  menu().quitItem()->trigger();
              }),
              0);
    EXPECT_EQ(logged("quitItemPress(item:)"), 1u);

    // Ctrl+Q in the open settings menu, and in the menu window itself, as the menu shows.
    EXPECT_EQ(runLoop([&] {
                  view().settingsBtPress();
                  key(&menu(), Qt::Key_Q, Qt::ControlModifier);
              }),
              0);
    EXPECT_FALSE(menu().isVisible());
    EXPECT_EQ(runLoop([&] { key(controller->window(), Qt::Key_Q, Qt::ControlModifier); }), 0);
    EXPECT_EQ(logged("quitItemPress(item:)"), 3u);
}

TEST_F(SettingsMenuTest, CtrlBInTheOpenMenuChoosesItsItemOnceAndOtherKeysLeaveIt) {
    ASSERT_TRUE(open());
    view().settingsBtPress();
    key(&menu(), Qt::Key_B, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(menu().isVisible()) << "Ctrl+Shift+B is no key of the menu";
    EXPECT_FALSE(preferences.showBackgroundApps());

    EXPECT_TRUE(key(&menu(), Qt::Key_B, Qt::ControlModifier));
    EXPECT_FALSE(menu().isVisible()) << "closed as by a chosen item";
    EXPECT_TRUE(preferences.showBackgroundApps());
    key(&menu(), Qt::Key_B, Qt::ControlModifier, true);
    EXPECT_TRUE(preferences.showBackgroundApps()) << "once";
    EXPECT_EQ(logged("backgroundAppsItemPress(item:)"), 1u);
    dispatcher.runUntilIdle();
    EXPECT_EQ(view().applications().size(), 2u);

    // Escape closes the settings menu alone.
    view().settingsBtPress();
    key(&menu(), Qt::Key_Escape, Qt::NoModifier);
    EXPECT_FALSE(menu().isVisible());
    EXPECT_EQ(controller->phase(), Phase::open);
}

TEST_F(SettingsMenuTest, SpaceAndReturnOnTheButtonOpenItBelowOrAboveAsTheScreenAllows) {
    ASSERT_TRUE(open(true));
    HoverButton& button = *view().settingsBt();
    button.setFocus(Qt::TabFocusReason);
    key(&button, Qt::Key_Space, Qt::NoModifier);
    ASSERT_TRUE(menu().isVisible());
    EXPECT_GE(menu().geometry().top(), button.mapToGlobal(QPoint(0, button.height())).y())
        << "under the button of a menu at the top";
    menu().hide();
    EXPECT_EQ(QApplication::focusWidget(), &button);
    const std::size_t queued = dispatcher.pendingBackground();
    key(&button, Qt::Key_Return, Qt::NoModifier);
    EXPECT_TRUE(menu().isVisible()) << "Return presses the focused settings button";
    EXPECT_EQ(dispatcher.pendingBackground(), queued) << "and not the main button: no quit";
    menu().hide();

    controller->closeMenu();
    ASSERT_TRUE(test::waitUntil([this] { return controller->phase() == Phase::closed; }));
    ASSERT_TRUE(open(false));
    view().settingsBtPress();
    ASSERT_TRUE(menu().isVisible());
    EXPECT_LE(menu().geometry().bottom(), button.mapToGlobal(QPoint(0, 0)).y())
        << "over the button of a menu at the bottom, where no room is left below";
}
