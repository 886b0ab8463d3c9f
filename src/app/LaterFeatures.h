#pragma once

#include <QString>

namespace klosia {

// The windows and services the application delegate drives whose real implementations come
// with later work. Each is a small interface so the delegate's launch sequence and its calls
// stay in place; NotYetPresent stands in until then and says so in the log.

class SettingsAlertPresenter {
public:
    virtual ~SettingsAlertPresenter() = default;
    virtual void openSettings() = 0;
    virtual void closeSettings() = 0;
};

class InfoAlertPresenter {
public:
    virtual ~InfoAlertPresenter() = default;
    virtual void openInfo(const QString& title, const QString& message, const QString& button) = 0;
    virtual void closeInfo() = 0;
};

class UpdateChecker {
public:
    virtual ~UpdateChecker() = default;
    // Looks for a newer version without bothering the user unless there is one.
    virtual void checkForUpdatesInBackground() = 0;
};

}  // namespace klosia
