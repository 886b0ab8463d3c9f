#pragma once

#include "preferences/AlertWindowController.h"

namespace klosia {

class Compositor;
class SettingsAlertViewController;

// The settings alert, shown after the first start of each version: made once at start-up by
// the application delegate, opened and closed with a fade (see AlertWindowController), logged
// as "settings will open" … "settings did close".
class SettingsAlertWindowController : public AlertWindowController {
    Q_OBJECT

public:
    explicit SettingsAlertWindowController(Compositor* compositor = nullptr,
                                           QObject* parent = nullptr);

    // Fills the controls from the preferences and fades the alert in.
    void openSettings();
    void closeSettings();

    SettingsAlertViewController* settingsAlertViewController() const {
        return settingsAlertViewController_;
    }

private:
    SettingsAlertViewController* settingsAlertViewController_;
};

}  // namespace klosia
