#include "preferences/PreferencesSupportViewController.h"

#include <QDesktopServices>

#include "core/AppInfo.h"
#include "core/NotificationBus.h"
#include "core/SupportMail.h"
#include "ui_PreferencesSupportView.h"

namespace klosia {

PreferencesSupportViewController::PreferencesSupportViewController(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::PreferencesSupportView>()) {
    ui_->setupUi(this);
    ui_->supportContactBt->setToolTip(QString::fromUtf8(appinfo::kSupportEmail));
    connect(ui_->supportContactBt, &QAbstractButton::clicked, this,
            &PreferencesSupportViewController::supportContactBtPress);
    observe(this, &PreferencesSupportViewController::preferencesDidChangedNotification,
            names::preferencesDidChanged);
}

PreferencesSupportViewController::~PreferencesSupportViewController() = default;

void PreferencesSupportViewController::preferencesDidChangedNotification(
    const Notification& /*notification*/) {}

void PreferencesSupportViewController::supportContactBtPress() {
    if (const std::optional<QUrl> url = SupportMail::url()) {
        QDesktopServices::openUrl(*url);
    }
}

}  // namespace klosia
