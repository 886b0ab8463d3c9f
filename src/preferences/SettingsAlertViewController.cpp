#include "preferences/SettingsAlertViewController.h"

#include "preferences/SettingsAlertWindowController.h"
#include "resources/Resources.h"
#include "services/ApplicationDelegate.h"
#include "settings/Preferences.h"
#include "ui_SettingsAlertView.h"

namespace klosia {

namespace {

constexpr int kImageSide = 64;
constexpr int kTitlePixelSize = 17;

}  // namespace

SettingsAlertViewController::SettingsAlertViewController(QWidget* parent)
    : QWidget(parent), ui_(std::make_unique<Ui::SettingsAlertView>()) {
    ui_->setupUi(this);
    ui_->settingsImageView->setPixmap(resources::pixmap(
        QStringLiteral("alert-settings"), QSize(kImageSide, kImageSide), devicePixelRatioF()));
    QFont title = font();
    title.setPixelSize(kTitlePixelSize);
    title.setBold(true);
    ui_->settingsTitleView->setFont(title);
    ui_->settingsMessageView->setAccessibleName(ui_->settingsMessageView->text());

    using Self = SettingsAlertViewController;
    // clicked and activated come from the user only, never from updateUI() setting a state.
    connect(ui_->settingsStartLoginBt, &QAbstractButton::clicked, this,
            &Self::settingsStartLoginBtPress);
    connect(ui_->settingsPlaySoundsBt, &QAbstractButton::clicked, this,
            &Self::settingsPlaySoundsBtPress);
    connect(ui_->settingsShortcutBt, &QAbstractButton::clicked, this,
            &Self::settingsShortcutBtPress);
    connect(ui_->settingsQuitOptionsBt, &QComboBox::activated, this,
            &Self::settingsQuitOptionsBtPress);
    connect(ui_->settingsViewAllBt, &QAbstractButton::clicked, this, &Self::settingsViewAllBtPress);
    connect(ui_->settingsButton, &QAbstractButton::clicked, this, &Self::settingsButtonPress);
}

SettingsAlertViewController::~SettingsAlertViewController() = default;

void SettingsAlertViewController::updateUI() {
    const Preferences& p = Preferences::shared();
    ui_->settingsStartLoginBt->setChecked(p.startLogin());
    ui_->settingsPlaySoundsBt->setChecked(p.playSounds());
    const std::shared_ptr<GlobalShortcut> shortcut = p.shortcutActivate();
    ui_->settingsShortcutBt->setChecked(shortcut && shortcut->enabled);
    const QString keys = shortcut ? shortcut->symbols().join(QString()) : QString();
    ui_->settingsShortcutBt->setText(keys.isEmpty()
                                         ? tr("Show or hide the &menu with a shortcut")
                                         : tr("Show or hide the &menu with %1").arg(keys));
    ui_->settingsQuitOptionsBt->setCurrentIndex(p.quitOption() == QuitOption::force ? 1 : 0);
}

void SettingsAlertViewController::settingsStartLoginBtPress() {
    Preferences::shared().setStartLogin(ui_->settingsStartLoginBt->isChecked());
}

void SettingsAlertViewController::settingsPlaySoundsBtPress() {
    Preferences::shared().setPlaySounds(ui_->settingsPlaySoundsBt->isChecked());
}

void SettingsAlertViewController::setShortcutOffered(bool offered) {
    ui_->settingsShortcutBt->setVisible(offered);
}

void SettingsAlertViewController::settingsShortcutBtPress() {
    Preferences& preferences = Preferences::shared();
    const std::shared_ptr<GlobalShortcut> shortcut = preferences.shortcutActivate();
    if (!shortcut) {
        return;
    }
    shortcut->enabled = ui_->settingsShortcutBt->isChecked();
    preferences.setShortcutActivate(shortcut);
}

void SettingsAlertViewController::settingsQuitOptionsBtPress() {
    const int index = ui_->settingsQuitOptionsBt->currentIndex();
    if (index < 0) {
        return;
    }
    if (const std::optional<QuitOption> option =
            quitOptionFromRawValue(ui_->settingsQuitOptionsBt->itemText(index))) {
        Preferences::shared().setQuitOption(*option);
    }
}

void SettingsAlertViewController::settingsViewAllBtPress() {
    if (settingsAlertWindowController != nullptr) {
        settingsAlertWindowController->closeSettings();
    }
    if (ApplicationDelegate* delegate = ApplicationDelegate::current()) {
        delegate->openPreferences();
    }
}

void SettingsAlertViewController::settingsButtonPress() {
    if (settingsAlertWindowController != nullptr) {
        settingsAlertWindowController->closeSettings();
    }
}

}  // namespace klosia
