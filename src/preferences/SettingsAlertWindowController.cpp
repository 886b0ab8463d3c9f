#include "preferences/SettingsAlertWindowController.h"

#include "preferences/AlertWindow.h"
#include "preferences/SettingsAlertViewController.h"

namespace klosia {

SettingsAlertWindowController::SettingsAlertWindowController(Compositor* compositor,
                                                             QObject* parent)
    : AlertWindowController(QStringLiteral("settings"), compositor, parent),
      settingsAlertViewController_(new SettingsAlertViewController(window())) {
    settingsAlertViewController_->settingsAlertWindowController = this;
    window()->setObjectName(QStringLiteral("settingsAlert"));
    window()->setWindowTitle(tr("Welcome to Klosia"));
    window()->setAccessibleName(settingsAlertViewController_->accessibleName());
    window()->setContentView(settingsAlertViewController_);
    connect(window(), &AlertWindow::dismissRequested, this,
            &SettingsAlertWindowController::closeSettings);
}

void SettingsAlertWindowController::openSettings() {
    if (isOpen()) {
        return;
    }
    settingsAlertViewController_->updateUI();
    openAlert();
}

void SettingsAlertWindowController::closeSettings() {
    closeAlert();
}

}  // namespace klosia
