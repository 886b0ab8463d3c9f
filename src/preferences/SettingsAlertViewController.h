#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class SettingsAlertView;
}

namespace klosia {

class SettingsAlertWindowController;

// The settings alert's content: a welcome, four settings as controls (start at login, sounds,
// the show-menu shortcut, the default quit mode) that save at once, a button to all the
// preferences and one that closes the alert.
class SettingsAlertViewController : public QWidget {
    Q_OBJECT

public:
    explicit SettingsAlertViewController(QWidget* parent = nullptr);
    ~SettingsAlertViewController() override;

    // Sets the controls from Preferences. Run at every opening, so that the alert never shows a
    // setting as it was before the user changed it elsewhere.
    void updateUI();
    // Where the desktop gives no program global shortcuts, the shortcut's box would promise
    // what cannot work: it is left out.
    void setShortcutOffered(bool offered);

    void settingsStartLoginBtPress();
    void settingsPlaySoundsBtPress();
    void settingsShortcutBtPress();
    void settingsQuitOptionsBtPress();
    // Closes the alert and opens the preferences window at once, while the alert fades out.
    void settingsViewAllBtPress();
    void settingsButtonPress();

    // The window controller that shows this content; set by it. Not owned.
    SettingsAlertWindowController* settingsAlertWindowController = nullptr;

private:
    std::unique_ptr<Ui::SettingsAlertView> ui_;
};

}  // namespace klosia
