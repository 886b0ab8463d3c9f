#pragma once

#include "app/LaterFeatures.h"

namespace klosia {

// Stands in for the two alerts and the update check until they exist:
// every call logs at info that the feature is not present yet, and nothing else happens.
class NotYetPresent final : public SettingsAlertPresenter,
                            public InfoAlertPresenter,
                            public UpdateChecker {
public:
    void openSettings() override;
    void closeSettings() override;
    void openInfo(const QString& title, const QString& message, const QString& button) override;
    void closeInfo() override;
    void checkForUpdatesInBackground() override;
};

}  // namespace klosia
