// The real preferences window on the virtual desktop: opened, driven from the keyboard through
// xdotool (tabs, a shortcut recorded by a real key press, Escape), clicked with the pointer, and
// photographed on every tab in a light and a dark palette.
#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QStyleFactory>

#include <cstdio>

#include "core/NotificationBus.h"
#include "core/QtDispatcher.h"
#include "fakes/FakeLoginItems.h"
#include "fakes/FakeReleaseFeed.h"
#include "platform/MemoryUserDefaults.h"
#include "preferences/AlertWindow.h"
#include "preferences/InfoAlertWindowController.h"
#include "preferences/PreferencesAboutViewController.h"
#include "preferences/PreferencesShortcutsViewController.h"
#include "preferences/PreferencesViewController.h"
#include "preferences/PreferencesWindow.h"
#include "preferences/PreferencesWindowController.h"
#include "preferences/SettingsAlertWindowController.h"
#include "preferences/SettingsViewRecorder.h"
#include "preferences/UpdateCheckWindow.h"
#include "services/Updater.h"
#include "settings/LaunchAtLogin.h"
#include "settings/Preferences.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

namespace klosia {
namespace {

using test::waitUntil;

bool xdotool(const QStringList& arguments) {
    const int status = QProcess::execute(QStringLiteral("xdotool"), arguments);
    EXPECT_EQ(status, 0) << "xdotool " << arguments.join(QLatin1Char(' ')).toStdString();
    return status == 0;
}

bool key(const QString& keys) {
    return xdotool({QStringLiteral("key"), keys});
}

// A real click in the middle of `widget`, through the X server.
bool clickOn(QWidget* widget) {
    const QPoint centre = widget->mapToGlobal(widget->rect().center());
    return xdotool({QStringLiteral("mousemove"), QString::number(centre.x()),
                    QString::number(centre.y()), QStringLiteral("click"), QStringLiteral("1")});
}

QPalette darkPalette() {
    QPalette dark;
    const QColor window(0x2b, 0x2b, 0x2e);
    const QColor text(0xe8, 0xe8, 0xea);
    dark.setColor(QPalette::Window, window);
    dark.setColor(QPalette::WindowText, text);
    dark.setColor(QPalette::Base, QColor(0x1e, 0x1e, 0x20));
    dark.setColor(QPalette::AlternateBase, window);
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3e));
    dark.setColor(QPalette::ButtonText, text);
    dark.setColor(QPalette::Highlight, QColor(0x3d, 0x7e, 0xda));
    dark.setColor(QPalette::HighlightedText, Qt::white);
    dark.setColor(QPalette::PlaceholderText, QColor(0x8a, 0x8a, 0x90));
    // The bevel shades, from the lightest edge to the shadow.
    dark.setColor(QPalette::Light, QColor(0x55, 0x55, 0x5a));
    dark.setColor(QPalette::Midlight, QColor(0x48, 0x48, 0x4c));
    dark.setColor(QPalette::Mid, QColor(0x32, 0x32, 0x36));
    dark.setColor(QPalette::Dark, QColor(0x1c, 0x1c, 0x1e));
    dark.setColor(QPalette::Shadow, QColor(0x10, 0x10, 0x12));
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        dark.setColor(QPalette::Disabled, role, QColor(0x7a, 0x7a, 0x80));
    }
    return dark;
}

class PreferencesSession : public ::testing::Test {
public:
    PreferencesSession() : bus(dispatcher), prefs(defaults) {
        NotificationBus::setDefaultCenter(&bus);
        LaunchAtLogin::setBackend(&login);
        Preferences::setShared(&prefs);
        controller = std::make_unique<PreferencesWindowController>(dispatcher);
    }
    ~PreferencesSession() override {
        controller.reset();
        Preferences::setShared(nullptr);
        LaunchAtLogin::setBackend(nullptr);
        NotificationBus::setDefaultCenter(nullptr);
    }
    PreferencesSession(const PreferencesSession&) = delete;
    PreferencesSession& operator=(const PreferencesSession&) = delete;

protected:
    PreferencesWindow& window() { return *controller->window(); }
    PreferencesShortcutsViewController& shortcutsPane() {
        return *controller->preferencesViewController()->preferencesShortcutsViewController();
    }
    template <typename T>
    T* control(const char* name) {
        auto* found = window().findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    bool settledOn(PreferenceTab tab) {
        return waitUntil([&] {
            return window().windowTitle() == rawValue(tab) && !controller->isResizing() &&
                   window().height() == contentHeight(tab);
        });
    }
    bool focusOn(QWidget* widget) {
        return waitUntil([&] { return QApplication::focusWidget() == widget; });
    }
    // Shown, active and framed: until the window manager has put its frame around the window
    // Qt reports the position the window asked for.
    bool active() {
        return waitUntil([&] {
            return window().isVisible() && window().isActiveWindow() &&
                   window().frameGeometry().top() < window().geometry().top();
        });
    }

    // The window as the screen shows it, decorations included, under the build directory.
    void screenshot(const QString& name) { screenshotOf(window(), name); }
    static void screenshotOf(QWidget& shown, const QString& name) {
        QApplication::processEvents();
        waitUntil([] { return false; }, std::chrono::milliseconds(150));  // let paints land
        const QRect frame = shown.frameGeometry();
        const QPixmap shot =
            shown.screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
        const QString dir =
            QCoreApplication::applicationDirPath() + QStringLiteral("/artifacts/preferences");
        ASSERT_TRUE(QDir().mkpath(dir));
        const QString path = dir + QLatin1Char('/') + name + QStringLiteral(".png");
        ASSERT_TRUE(shot.save(path)) << path.toStdString();
        std::printf("screenshot: %s\n", qPrintable(path));
    }

    test::LogCapture capture;
    QtDispatcher dispatcher;
    NotificationBus bus;
    test::FakeLoginItems login;
    MemoryUserDefaults defaults;
    Preferences prefs;
    std::unique_ptr<PreferencesWindowController> controller;
};

TEST_F(PreferencesSession, KeyboardTabsRecordingClosingAndScreenshots) {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QPalette light = QApplication::palette();

    controller->openPreferences();
    ASSERT_TRUE(active());
    ASSERT_TRUE(settledOn(PreferenceTab::general));
    EXPECT_EQ(capture.matching("preferences will open").size(), 1U);
    // No control holds the focus: typing goes nowhere until the user picks a control.
    EXPECT_EQ(QApplication::focusWidget(), controller->preferencesViewController());
    const int top = window().geometry().top();
    screenshot(QStringLiteral("general-light"));

    // Ctrl+Tab goes to the Shortcut tab; the window keeps its top edge.
    ASSERT_TRUE(key(QStringLiteral("ctrl+Tab")));
    ASSERT_TRUE(settledOn(PreferenceTab::shortcuts));
    EXPECT_EQ(window().geometry().top(), top);

    // From the keyboard alone: Tab to the first row's box, Space enables it, Tab to its recorder,
    // Space asks for a shortcut, and a real Ctrl+Alt+K becomes the shortcut.
    auto* enable = control<QCheckBox>("activateShortcutEnableBt");
    SettingsViewRecorder* recorder = shortcutsPane().recorder(ShortcutRecorderType::activate);
    ASSERT_TRUE(key(QStringLiteral("Tab")));
    ASSERT_TRUE(focusOn(enable));
    ASSERT_TRUE(key(QStringLiteral("space")));
    ASSERT_TRUE(waitUntil([&] { return prefs.shortcutActivate()->enabled; }));
    ASSERT_TRUE(waitUntil([&] { return recorder->isEnabled(); }));
    ASSERT_TRUE(key(QStringLiteral("Tab")));
    ASSERT_TRUE(focusOn(recorder));
    ASSERT_TRUE(key(QStringLiteral("space")));
    ASSERT_TRUE(waitUntil([&] { return recorder->isRecording(); }));
    // A plain letter would take the key from every application: the recorder keeps waiting.
    ASSERT_TRUE(key(QStringLiteral("k")));
    ASSERT_TRUE(key(QStringLiteral("ctrl+alt+k")));
    ASSERT_TRUE(waitUntil([&] { return prefs.shortcutActivate()->key == Key::k; }));
    EXPECT_EQ(*prefs.shortcutActivate(),
              (GlobalShortcut{.key = Key::k,
                              .modifiers = ModifierFlags::control | ModifierFlags::option,
                              .enabled = true,
                              .deleted = false}));
    EXPECT_EQ(capture.matching("record shortcut: key: K, modifiers: ⌃⌥, enabled: true").size(), 1U);
    ASSERT_TRUE(waitUntil([&] {
        return !recorder->text()->isVisible() &&
               recorder->values() == prefs.shortcutActivate()->symbols();
    }));
    EXPECT_EQ(window().windowTitle(), "Shortcut");  // Ctrl+Tab went to the recorder, not the tabs
    screenshot(QStringLiteral("shortcut-light"));

    // The delete button by a real click: the recorder asks for a new shortcut.
    ASSERT_TRUE(clickOn(control<QPushButton>("activateShortcutDeleteBt")));
    ASSERT_TRUE(waitUntil([&] { return prefs.shortcutActivate()->deleted; }));
    ASSERT_TRUE(waitUntil([&] { return recorder->text()->isVisible(); }));
    EXPECT_EQ(recorder->text()->text(), "Record Shortcut");

    for (PreferenceTab tab : {PreferenceTab::support, PreferenceTab::about}) {
        ASSERT_TRUE(key(QStringLiteral("ctrl+Tab")));
        ASSERT_TRUE(settledOn(tab));
        EXPECT_EQ(window().geometry().top(), top);
        screenshot(rawValue(tab).toLower() + QStringLiteral("-light"));
    }

    // Escape hides; the next opening is General again, active, with no control focused.
    ASSERT_TRUE(key(QStringLiteral("Escape")));
    ASSERT_TRUE(waitUntil([&] { return !window().isVisible(); }));
    controller->openPreferences();
    ASSERT_TRUE(active());
    ASSERT_TRUE(settledOn(PreferenceTab::general));
    EXPECT_EQ(QApplication::focusWidget(), controller->preferencesViewController());

    // Closing from the window manager's frame (what its close button sends) only hides it too.
    const int closed = QProcess::execute(QStringLiteral("wmctrl"),
                                         {QStringLiteral("-i"), QStringLiteral("-c"),
                                          QStringLiteral("0x%1").arg(window().winId(), 0, 16)});
    ASSERT_EQ(closed, 0);
    ASSERT_TRUE(waitUntil([&] { return !window().isVisible(); }));

    QApplication::setPalette(darkPalette());
    controller->openPreferences();
    ASSERT_TRUE(active());
    ASSERT_TRUE(settledOn(PreferenceTab::general));
    const int darkTop = window().geometry().top();
    for (PreferenceTab tab : kAllPreferenceTabs) {
        controller->toolbarItem(tab)->trigger();
        ASSERT_TRUE(settledOn(tab));
        EXPECT_EQ(window().geometry().top(), darkTop);
        screenshot(rawValue(tab).toLower() + QStringLiteral("-dark"));
    }
    QApplication::setPalette(light);
    controller->closePreferences();
}

// The two alerts and the update check's window as they show on the desktop, light and dark: a
// real fade to full opacity, the keyboard focus inside the alert, Return and Escape from the
// keyboard, and the About tab's button pressed with the pointer.
TEST_F(PreferencesSession, AlertsAndTheUpdateWindowOnScreen) {
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QPalette light = QApplication::palette();
    auto themed = [](bool dark) {
        return dark ? QStringLiteral("-dark") : QStringLiteral("-light");
    };
    SettingsAlertWindowController settings;
    InfoAlertWindowController info;
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? darkPalette() : light);
        settings.openSettings();
        ASSERT_TRUE(waitUntil([&] { return settings.isOpen(); }));
        ASSERT_TRUE(waitUntil([&] { return settings.window()->isActiveWindow(); }))
            << "the alert takes the keyboard";
        EXPECT_DOUBLE_EQ(settings.window()->windowOpacity(), 1.0);
        screenshotOf(*settings.window(), QStringLiteral("settings-alert") + themed(dark));
        ASSERT_TRUE(key(QStringLiteral("Escape")));
        ASSERT_TRUE(waitUntil([&] { return !settings.window()->isVisible(); }));

        info.openInfo(QStringLiteral("Hey Davezazovu Riveriz 🕵️♀️"),
                      QStringLiteral("FYI, some background apps will immediately restart after "
                                     "quitting them. It’s sorcery beyond our control."),
                      QStringLiteral("I can handle it!"));
        ASSERT_TRUE(waitUntil([&] { return info.isOpen() && info.window()->isActiveWindow(); }));
        screenshotOf(*info.window(), QStringLiteral("info-alert") + themed(dark));
        ASSERT_TRUE(key(QStringLiteral("Return")));
        ASSERT_TRUE(waitUntil([&] { return !info.window()->isVisible(); }));
    }

    test::FakeReleaseFeed feed;
    Updater updater(feed, QStringLiteral("1.4"), nullptr);
    controller->setUpdater(&updater);
    PreferencesAboutViewController& about =
        *controller->preferencesViewController()->preferencesAboutViewController();
    QApplication::setPalette(light);
    controller->openPreferences();
    ASSERT_TRUE(active());
    controller->toolbarItem(PreferenceTab::about)->trigger();
    ASSERT_TRUE(settledOn(PreferenceTab::about));
    auto* check = control<QPushButton>("aboutCheckUpdatesBt");
    for (const bool dark : {false, true}) {
        QApplication::setPalette(dark ? darkPalette() : light);
        ASSERT_TRUE(clickOn(check));
        ASSERT_TRUE(waitUntil([&] { return feed.pending.size() == 1; }));
        feed.answerRelease(QStringLiteral("1.10"),
                           QStringLiteral("A faster menu.\nThe alerts fade in and out."),
                           QUrl(QStringLiteral("https://example.org/klosia/1.10")));
        UpdateCheckWindow* result = about.updateCheckWindow();
        ASSERT_NE(result, nullptr);
        ASSERT_TRUE(waitUntil([&] { return result->isVisible() && result->isActiveWindow(); }));
        screenshotOf(*result, QStringLiteral("update-newer") + themed(dark));
        ASSERT_TRUE(key(QStringLiteral("Escape")));
        ASSERT_TRUE(waitUntil([&] { return !result->isVisible(); }));
    }
    QApplication::setPalette(light);
    controller->closePreferences();
}

}  // namespace
}  // namespace klosia
