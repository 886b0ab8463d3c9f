#pragma once

#include "preferences/AlertWindowController.h"

namespace klosia {

class Compositor;
class InfoAlertViewController;

// The information alert: a one-button message whose texts the caller gives, made once at
// start-up by the application delegate, opened and closed with a fade (see
// AlertWindowController), logged as "info will open" … "info did close".
class InfoAlertWindowController : public AlertWindowController {
    Q_OBJECT

public:
    explicit InfoAlertWindowController(Compositor* compositor = nullptr, QObject* parent = nullptr);

    // Puts the texts in and fades the alert in; ignored while it is open.
    void openInfo(const QString& title, const QString& message, const QString& button);
    void closeInfo();

    InfoAlertViewController* infoAlertViewController() const { return infoAlertViewController_; }

private:
    InfoAlertViewController* infoAlertViewController_;
};

}  // namespace klosia
