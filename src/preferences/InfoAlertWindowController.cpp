#include "preferences/InfoAlertWindowController.h"

#include "preferences/AlertWindow.h"
#include "preferences/InfoAlertViewController.h"

namespace klosia {

InfoAlertWindowController::InfoAlertWindowController(Compositor* compositor, QObject* parent)
    : AlertWindowController(QStringLiteral("info"), compositor, parent),
      infoAlertViewController_(new InfoAlertViewController(window())) {
    infoAlertViewController_->infoAlertWindowController = this;
    window()->setObjectName(QStringLiteral("infoAlert"));
    window()->setContentView(infoAlertViewController_);
    connect(window(), &AlertWindow::dismissRequested, this, &InfoAlertWindowController::closeInfo);
}

void InfoAlertWindowController::openInfo(const QString& title, const QString& message,
                                         const QString& button) {
    if (isOpen()) {
        return;
    }
    infoAlertViewController_->setTexts(title, message, button);
    window()->setWindowTitle(title);
    window()->setAccessibleName(title);
    openAlert();
}

void InfoAlertWindowController::closeInfo() {
    closeAlert();
}

}  // namespace klosia
