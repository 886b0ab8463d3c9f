// The two alerts: their fade state machine (requests during a fade included), what the window
// manager is asked for, the keyboard, and the settings alert's controls bound to Preferences.
#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

#include "PreferencesFixture.h"
#include "fakes/FakeCompositor.h"
#include "preferences/AlertWindow.h"
#include "preferences/InfoAlertViewController.h"
#include "preferences/InfoAlertWindowController.h"
#include "preferences/SettingsAlertWindowController.h"
#include "services/ApplicationDelegate.h"
#include "support/Wait.h"

namespace klosia {
namespace {

using Phase = AlertWindowController::Phase;
using test::waitUntil;

struct RecordingDelegate final : ApplicationDelegate {
    void showNotification(const QString& /*title*/, const QString& /*subtitle*/) override {}
    void performMenu() override {}
    void openPreferences() override { ++preferencesOpened; }
    void closeMenu() override {}
    int preferencesOpened = 0;
};

class AlertsTest : public test::PreferencesFixture {
public:
    AlertsTest() {
        deliver();
        ApplicationDelegate::setCurrent(&delegate);
    }
    ~AlertsTest() override { ApplicationDelegate::setCurrent(nullptr); }
    AlertsTest(const AlertsTest&) = delete;
    AlertsTest& operator=(const AlertsTest&) = delete;

protected:
    std::size_t logged(const char* line) const { return capture.matching(line).size(); }
    static bool settles(AlertWindowController& alert, Phase phase) {
        return waitUntil([&] { return alert.phase() == phase; });
    }
    template <typename T>
    T* control(AlertWindowController& alert, const char* name) {
        auto* found = alert.window()->findChild<T*>(QString::fromLatin1(name));
        EXPECT_NE(found, nullptr) << name;
        return found;
    }
    void openInfo(const char* title = "Title") {
        info.openInfo(QString::fromUtf8(title), QStringLiteral("Message"), QStringLiteral("OK"));
    }

    RecordingDelegate delegate;
    test::FakeCompositor compositor;
    SettingsAlertWindowController settings{&compositor};
    InfoAlertWindowController info{&compositor};
};

TEST_F(AlertsTest, OpeningFadesInFramelessOnTopAndCentredThenClosingFadesOut) {
    capture.clear();
    settings.closeSettings();
    EXPECT_EQ(settings.phase(), Phase::closed);
    EXPECT_TRUE(capture.lines().empty()) << "closing an alert never opened does nothing";

    settings.openSettings();
    AlertWindow& window = *settings.window();
    EXPECT_EQ(settings.phase(), Phase::opening);
    EXPECT_FALSE(settings.isOpen()) << "open only once faded in";
    EXPECT_TRUE(window.isVisible());
    EXPECT_LT(window.windowOpacity(), 1.0);
    EXPECT_EQ(logged("settings will open"), 1U);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::FramelessWindowHint));
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(window.isModal()) << "the rest of the program stays usable";
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_LE((window.geometry().center() - screen.center()).manhattanLength(), 2);

    ASSERT_TRUE(settles(settings, Phase::open));
    EXPECT_TRUE(settings.isOpen());
    EXPECT_DOUBLE_EQ(window.windowOpacity(), 1.0);
    EXPECT_EQ(logged("settings did open"), 1U);

    settings.closeSettings();
    EXPECT_EQ(settings.phase(), Phase::closing);
    EXPECT_TRUE(settings.isOpen()) << "open until faded out";
    EXPECT_EQ(logged("settings will close"), 1U);
    ASSERT_TRUE(settles(settings, Phase::closed));
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(logged("settings did close"), 1U);

    // The next opening fades in again.
    settings.openSettings();
    EXPECT_EQ(logged("settings will open"), 2U);
    EXPECT_DOUBLE_EQ(window.windowOpacity(), 0.0);
    ASSERT_TRUE(settles(settings, Phase::open));
}

TEST_F(AlertsTest, RequestsDuringAFadeFollowTheOpenState) {
    // Closing during the fade-in is kept for its end: the alert opens fully, then fades out.
    openInfo();
    info.closeInfo();
    EXPECT_EQ(logged("info will close"), 0U);
    EXPECT_EQ(info.phase(), Phase::opening);
    ASSERT_TRUE(settles(info, Phase::closed));
    EXPECT_EQ(logged("info did open"), 1U);
    EXPECT_EQ(logged("info will close"), 1U);
    EXPECT_FALSE(info.window()->isVisible());

    // So is a press on its button during the fade-in.
    openInfo();
    control<QPushButton>(info, "infoButton")->click();
    EXPECT_EQ(info.phase(), Phase::opening);
    ASSERT_TRUE(settles(info, Phase::closed));
    // An opening after the close, still during the fade-in, keeps the alert open.
    openInfo();
    info.closeInfo();
    openInfo();
    ASSERT_TRUE(settles(info, Phase::open));

    // A second opening during the fade-in starts it again with the new texts.
    info.closeInfo();
    ASSERT_TRUE(settles(info, Phase::closed));
    const std::size_t opened = logged("info did open");
    openInfo("First");
    openInfo("Second");
    EXPECT_EQ(info.infoAlertViewController()->title(), QStringLiteral("Second"));
    ASSERT_TRUE(settles(info, Phase::open));
    EXPECT_EQ(logged("info did open"), opened + 1) << "the first fade was replaced";

    // An opening while open or fading out is ignored, texts included.
    openInfo("Third");
    EXPECT_EQ(info.infoAlertViewController()->title(), QStringLiteral("Second"));
    control<QPushButton>(info, "infoButton")->click();
    EXPECT_EQ(info.phase(), Phase::closing);
    const std::size_t closing = logged("info will close");
    openInfo("Fourth");
    EXPECT_EQ(info.phase(), Phase::closing);
    // A second press while it fades out is taken: the fade goes on to its end, once.
    const std::size_t closed = logged("info did close");
    control<QPushButton>(info, "infoButton")->click();
    EXPECT_EQ(logged("info will close"), closing + 1);
    ASSERT_TRUE(settles(info, Phase::closed));
    EXPECT_FALSE(info.window()->isVisible());
    EXPECT_EQ(logged("info did close"), closed + 1);
    EXPECT_EQ(info.infoAlertViewController()->title(), QStringLiteral("Second"));
}

TEST_F(AlertsTest, EscapeClosesAndReturnPressesTheDefaultButton) {
    openInfo();
    ASSERT_TRUE(settles(info, Phase::open));
    press(info.window(), Qt::Key_Escape, test::kKeysymEscape);
    EXPECT_EQ(info.phase(), Phase::closing);
    ASSERT_TRUE(settles(info, Phase::closed));

    // A close request of the window manager fades it out too, instead of hiding it at once.
    openInfo();
    ASSERT_TRUE(settles(info, Phase::open));
    info.window()->close();
    EXPECT_EQ(info.phase(), Phase::closing);
    EXPECT_TRUE(info.window()->isVisible());
    ASSERT_TRUE(settles(info, Phase::closed));

    settings.openSettings();
    ASSERT_TRUE(settles(settings, Phase::open));
    EXPECT_TRUE(control<QPushButton>(settings, "settingsButton")->isDefault());
    // Return from a check box presses the default button, not the box.
    auto* sounds = control<QCheckBox>(settings, "settingsPlaySoundsBt");
    sounds->setFocus();
    const bool before = sounds->isChecked();
    press(settings.window(), Qt::Key_Return, test::kKeysymReturn);
    EXPECT_EQ(settings.phase(), Phase::closing);
    EXPECT_EQ(sounds->isChecked(), before);
    ASSERT_TRUE(settles(settings, Phase::closed));
}

TEST_F(AlertsTest, SettingsControlsShowAndSaveTheirPreferences) {
    prefs.setStartLogin(true);
    prefs.setQuitOption(QuitOption::force);
    auto shortcut = prefs.shortcutActivate();
    shortcut->enabled = false;
    prefs.setShortcutActivate(shortcut);
    deliver();
    posts.clear();

    settings.openSettings();
    auto* startLogin = control<QCheckBox>(settings, "settingsStartLoginBt");
    auto* sounds = control<QCheckBox>(settings, "settingsPlaySoundsBt");
    auto* shortcutBox = control<QCheckBox>(settings, "settingsShortcutBt");
    auto* quitOptions = control<QComboBox>(settings, "settingsQuitOptionsBt");
    EXPECT_TRUE(startLogin->isChecked());
    EXPECT_FALSE(sounds->isChecked());
    EXPECT_FALSE(shortcutBox->isChecked()) << "as stored, not as the form has it";
    EXPECT_TRUE(shortcutBox->text().contains(prefs.shortcutActivate()->symbols().join(QString())));
    ASSERT_EQ(quitOptions->count(), 2);
    EXPECT_EQ(quitOptions->itemText(0), QStringLiteral("Normal Quit"));
    EXPECT_EQ(quitOptions->itemText(1), QStringLiteral("Force Quit"));
    EXPECT_EQ(quitOptions->currentIndex(), 1);

    startLogin->click();
    EXPECT_FALSE(prefs.startLogin());
    EXPECT_FALSE(login.enabled) << "the login item follows the setting";
    sounds->click();
    EXPECT_TRUE(prefs.playSounds());
    shortcutBox->click();
    EXPECT_TRUE(prefs.shortcutActivate()->enabled);
    EXPECT_EQ(prefs.shortcutActivate(), shortcut) << "the same record, changed and assigned back";
    deliver();
    EXPECT_EQ(posts, QStringList{QStringLiteral("ShortcutsDidChanged")});
    quitOptions->setCurrentIndex(0);
    Q_EMIT quitOptions->activated(0);
    EXPECT_EQ(prefs.quitOption(), QuitOption::quit);
    EXPECT_EQ(stored(Preferences::kQuitOption), QByteArray("\"Normal Quit\""));

    // A change made elsewhere while the alert was away shows at its next opening.
    ASSERT_TRUE(settles(settings, Phase::open));
    settings.closeSettings();
    ASSERT_TRUE(settles(settings, Phase::closed));
    prefs.setPlaySounds(false);
    settings.openSettings();
    EXPECT_FALSE(sounds->isChecked());
}

TEST_F(AlertsTest, AllPreferencesClosesTheAlertAndOpensTheWindowAtOnce) {
    settings.openSettings();
    ASSERT_TRUE(settles(settings, Phase::open));
    control<QPushButton>(settings, "settingsViewAllBt")->click();
    EXPECT_EQ(delegate.preferencesOpened, 1) << "while the alert fades out";
    EXPECT_EQ(settings.phase(), Phase::closing);
    ASSERT_TRUE(settles(settings, Phase::closed));
}

TEST_F(AlertsTest, TranslucentOnlyOverACompositorAndNamedForScreenReaders) {
    compositor.running = false;
    settings.openSettings();
    EXPECT_FALSE(settings.window()->isTranslucent());
    ASSERT_TRUE(settles(settings, Phase::open));
    settings.closeSettings();
    ASSERT_TRUE(settles(settings, Phase::closed));
    compositor.running = true;
    settings.openSettings();
    EXPECT_TRUE(settings.window()->isTranslucent());

    openInfo("Hey");
    EXPECT_EQ(info.window()->accessibleName(), QStringLiteral("Hey"));
    EXPECT_FALSE(settings.window()->accessibleName().isEmpty());
    for (AlertWindowController* alert : {static_cast<AlertWindowController*>(&settings),
                                         static_cast<AlertWindowController*>(&info)}) {
        for (QWidget* widget : alert->window()->findChildren<QWidget*>()) {
            if (qobject_cast<QAbstractButton*>(widget) || qobject_cast<QComboBox*>(widget)) {
                EXPECT_FALSE(widget->accessibleName().isEmpty())
                    << widget->objectName().toStdString();
            }
        }
    }
}

}  // namespace
}  // namespace klosia
