#pragma once

#include <QWidget>

#include <memory>

#include "core/Notification.h"

namespace Ui {
class PreferencesSupportView;
}

namespace klosia {

// The Support tab: one button that opens a new message to the support address in the user's
// mail program, with the subject "Klosia Support 🛟" and the body "Hi". Touches no setting.
class PreferencesSupportViewController : public QWidget {
    Q_OBJECT

public:
    explicit PreferencesSupportViewController(QWidget* parent = nullptr);
    ~PreferencesSupportViewController() override;

    void preferencesDidChangedNotification(const Notification& notification);
    // Hands the message to the desktop's default mail handler; nothing when no message address
    // can be made or no handler takes it.
    void supportContactBtPress();

private:
    std::unique_ptr<Ui::PreferencesSupportView> ui_;
};

}  // namespace klosia
