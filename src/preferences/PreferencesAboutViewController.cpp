#include "preferences/PreferencesAboutViewController.h"

#include <QDate>
#include <QDesktopServices>

#include "core/AppInfo.h"
#include "core/Dispatcher.h"
#include "core/NotificationBus.h"
#include "preferences/CopyrightLine.h"
#include "preferences/UpdateCheckWindow.h"
#include "resources/Resources.h"
#include "services/Updater.h"
#include "ui_PreferencesAboutView.h"

namespace klosia {

namespace {

constexpr int kIconSide = 64;
constexpr int kTitlePixelSize = 17;

}  // namespace

const QString PreferencesAboutViewController::kVersionPrefix =
    QStringLiteral("\u26A1\uFE0F Version ");

AboutInfo AboutInfo::configured() {
    return {.name = QString::fromUtf8(appinfo::kName),
            .version = QString::fromUtf8(appinfo::kVersion),
            .copyrightFormat = QString::fromUtf8(appinfo::kCopyrightFormat),
            .makerName = QString::fromUtf8(appinfo::kMakerName),
            .webSite = QString::fromUtf8(appinfo::kWebSite)};
}

PreferencesAboutViewController::PreferencesAboutViewController(Dispatcher& dispatcher,
                                                               QWidget* parent)
    : QWidget(parent),
      dispatcher_(dispatcher),
      ui_(std::make_unique<Ui::PreferencesAboutView>()),
      info_(AboutInfo::configured()) {
    ui_->setupUi(this);
    ui_->aboutIconView->setPixmap(resources::pixmap(
        QStringLiteral("klosia-icon"), QSize(kIconSide, kIconSide), devicePixelRatioF()));
    QFont title = font();
    title.setPixelSize(kTitlePixelSize);
    title.setBold(true);
    ui_->aboutTitleView->setFont(title);
    ui_->aboutSayHiBt->setToolTip(info_.webSite);

    connect(ui_->aboutSayHiBt, &QAbstractButton::clicked, this,
            &PreferencesAboutViewController::aboutSayHiBtPress);
    connect(ui_->aboutCheckUpdatesBt, &QAbstractButton::clicked, this,
            &PreferencesAboutViewController::aboutCheckUpdatesBtPress);
    updateCheckButton();

    observe(this, &PreferencesAboutViewController::preferencesDidChangedNotification,
            names::preferencesDidChanged);
    queueUpdateUI();
}

PreferencesAboutViewController::~PreferencesAboutViewController() = default;

void PreferencesAboutViewController::setUpdater(Updater* updater) {
    updater_ = updater;
    updateCheckButton();
}

void PreferencesAboutViewController::setAboutInfo(AboutInfo info) {
    info_ = std::move(info);
    ui_->aboutSayHiBt->setToolTip(info_.webSite);
    updateUI();
}

void PreferencesAboutViewController::preferencesDidChangedNotification(
    const Notification& /*notification*/) {
    queueUpdateUI();
}

void PreferencesAboutViewController::queueUpdateUI() {
    dispatcher_.main([pane = QPointer(this)] {
        if (pane) {
            pane->updateUI();
        }
    });
}

void PreferencesAboutViewController::updateUI() {
    if (!info_.name.isEmpty()) {
        ui_->aboutTitleView->setText(info_.name);
    }
    if (!info_.version.isEmpty()) {
        ui_->aboutVersionView->setText(kVersionPrefix + info_.version);
    }
    if (!info_.copyrightFormat.isEmpty()) {
        ui_->aboutCopyrightView->setText(CopyrightLine::format(
            info_.copyrightFormat, QDate::currentDate().year(), info_.makerName));
    }
}

void PreferencesAboutViewController::aboutSayHiBtPress() {
    const QUrl url(info_.webSite, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (url.isValid() && !url.host().isEmpty() &&
        (scheme == QLatin1String("https") || scheme == QLatin1String("http"))) {
        QDesktopServices::openUrl(url);
    }
}

void PreferencesAboutViewController::updateCheckButton() {
    QPushButton* button = ui_->aboutCheckUpdatesBt;
    if (updater_ == nullptr || !updater_->isEnabled()) {
        button->setEnabled(false);
        button->setText(tr("Update Check Is Off"));
        button->setToolTip(
            tr("This Klosia does not look for updates: it is updated with the rest of your "
               "system."));
    } else if (checking_) {
        button->setEnabled(false);
        button->setText(tr("Checking for Updates…"));
        button->setToolTip(QString());
    } else {
        button->setEnabled(true);
        button->setText(tr("Check for &Updates…"));
        button->setToolTip(tr("Looks for a newer version of Klosia"));
    }
    button->setAccessibleName(QString(button->text()).remove(QLatin1Char('&')));
}

void PreferencesAboutViewController::aboutCheckUpdatesBtPress() {
    if (updater_ == nullptr || !updater_->isEnabled() || checking_) {
        return;
    }
    checking_ = true;
    updateCheckButton();
    updater_->checkForUpdates([guard = QPointer(this)](const UpdateCheckResult& result) {
        if (PreferencesAboutViewController* pane = guard.data()) {
            pane->checking_ = false;
            pane->updateCheckButton();
            pane->showUpdateResult(result);
        }
    });
}

UpdateCheckWindow* PreferencesAboutViewController::updateCheckWindow() const {
    return updateCheckWindow_.data();
}

void PreferencesAboutViewController::showUpdateResult(const UpdateCheckResult& result) {
    if (!updateCheckWindow_) {
        updateCheckWindow_ = new UpdateCheckWindow(this);
    }
    updateCheckWindow_->showResult(result);
}

}  // namespace klosia
