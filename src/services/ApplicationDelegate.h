#pragma once

#include <QString>

namespace klosia {

// What the windows and rows may ask of the application as a whole, without depending on the
// class that owns them: the program's AppDelegate implements it. Null until start-up installs
// one (and in tests that install none), so every caller checks.
class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;

    // A user notification with the given title and subtitle (shown about a second later).
    virtual void showNotification(const QString& title, const QString& subtitle) = 0;
    // Toggles the menu window, as a press on the status icon does.
    virtual void performMenu() = 0;
    // Shows the preferences window (a no-op until the program has one).
    virtual void openPreferences() = 0;
    // Closes the menu window when it is open.
    virtual void closeMenu() = 0;

    static ApplicationDelegate* current();
    static void setCurrent(ApplicationDelegate* delegate);
};

}  // namespace klosia
