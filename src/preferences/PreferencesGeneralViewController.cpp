#include "preferences/PreferencesGeneralViewController.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QPointer>
#include <QRegularExpression>

#include <algorithm>

#include "core/Dispatcher.h"
#include "core/NotificationBus.h"
#include "services/Sound.h"
#include "settings/Preferences.h"
#include "ui_PreferencesGeneralView.h"

namespace klosia {

namespace {

// The unit menu's items carry these tags, in this order.
constexpr int kMinuteTag = 1;
constexpr int kHourTag = 2;
constexpr int kDayTag = 3;
// The quit-mode menu's items.
constexpr int kNormalQuitTag = 1;
constexpr int kForceQuitTag = 2;

constexpr int kStepperMinimum = 1;
constexpr int kStepperMaximum = 9999;

int tagOf(InactiveAppsAfterTime unit) {
    switch (unit) {
        case InactiveAppsAfterTime::minute:
            return kMinuteTag;
        case InactiveAppsAfterTime::hour:
            return kHourTag;
        case InactiveAppsAfterTime::day:
            return kDayTag;
    }
    return kHourTag;
}

std::optional<InactiveAppsAfterTime> unitOf(int tag) {
    switch (tag) {
        case kMinuteTag:
            return InactiveAppsAfterTime::minute;
        case kHourTag:
            return InactiveAppsAfterTime::hour;
        case kDayTag:
            return InactiveAppsAfterTime::day;
        default:
            return std::nullopt;
    }
}

int selectedTag(const QComboBox& menu) {
    bool ok = false;
    const int tag = menu.currentData().toInt(&ok);
    return ok ? tag : 0;
}

}  // namespace

PreferencesGeneralViewController::PreferencesGeneralViewController(Dispatcher& dispatcher,
                                                                   QWidget* parent)
    : QWidget(parent),
      dispatcher_(dispatcher),
      ui_(std::make_unique<Ui::PreferencesGeneralView>()) {
    ui_->setupUi(this);
    for (int tag : {kMinuteTag, kHourTag, kDayTag}) {
        ui_->generalQuitInactiveAppsAfterTime->addItem(unitTitle(tag, 1), tag);
    }
    ui_->generalDefaultOptionBt->addItem(tr("Quit"), kNormalQuitTag);
    ui_->generalDefaultOptionBt->addItem(tr("Force Quit"), kForceQuitTag);
    ui_->generalQuitInactiveAppsAfterStepper->setRange(kStepperMinimum, kStepperMaximum);

    // clicked and activated come from the user only, never from updateUI() setting a state.
    auto onClick = [this](QAbstractButton* button,
                          void (PreferencesGeneralViewController::*action)()) {
        connect(button, &QAbstractButton::clicked, this, action);
    };
    onClick(ui_->generalStartLoginBt, &PreferencesGeneralViewController::generalStartLoginBtPress);
    onClick(ui_->generalPlaySoundsBt, &PreferencesGeneralViewController::generalPlaySoundsBtPress);
    onClick(ui_->generalShowBackgroundAppsBt,
            &PreferencesGeneralViewController::generalShowBackgroundAppsBtPress);
    onClick(ui_->generalGroupBackgroundAppsBt,
            &PreferencesGeneralViewController::generalGroupBackgroundAppsBttPress);
    onClick(ui_->generalDeselectAppsBt,
            &PreferencesGeneralViewController::generalDeselectAppsBtPress);
    onClick(ui_->generalQuitInactiveAppsAfterBt,
            &PreferencesGeneralViewController::generalQuitInactiveAppsAfterBtPress);
    onClick(ui_->generalDisableTipsBt,
            &PreferencesGeneralViewController::generalDisableTipsBtPress);
    onClick(ui_->generalResetBt, &PreferencesGeneralViewController::generalResetBtPress);
    connect(ui_->generalQuitInactiveAppsAfterStepper, &PreferencesStepper::stepped, this,
            &PreferencesGeneralViewController::generalQuitInactiveAppsAfterStepperPress);
    connect(ui_->generalQuitInactiveAppsAfterTime, &QComboBox::activated, this,
            &PreferencesGeneralViewController::generalQuitInactiveAppsAfterTime);
    connect(ui_->generalDefaultOptionBt, &QComboBox::activated, this,
            &PreferencesGeneralViewController::generalDefaultOptionBtPress);
    connect(ui_->generalQuitInactiveAppsAfterField, &QLineEdit::textEdited, this,
            &PreferencesGeneralViewController::controlTextDidChange);
    connect(ui_->generalQuitInactiveAppsAfterField, &QLineEdit::returnPressed, this,
            &PreferencesGeneralViewController::commitTypedAmount);
    ui_->generalQuitInactiveAppsAfterField->installEventFilter(this);
    // Quitting ends the event loop without hiding the window or moving the focus, so the
    // amount would otherwise be lost with the process.
    if (QCoreApplication* application = QCoreApplication::instance()) {
        connect(application, &QCoreApplication::aboutToQuit, this,
                &PreferencesGeneralViewController::commitTypedAmount);
    }

    observe(this, &PreferencesGeneralViewController::preferencesDidChangedNotification,
            names::preferencesDidChanged);
    queueUpdateUI();
}

PreferencesGeneralViewController::~PreferencesGeneralViewController() = default;

void PreferencesGeneralViewController::preferencesDidChangedNotification(
    const Notification& /*notification*/) {
    queueUpdateUI();
}

void PreferencesGeneralViewController::queueUpdateUI() {
    dispatcher_.main([pane = QPointer(this)] {
        if (pane) {
            pane->updateUI();
        }
    });
}

void PreferencesGeneralViewController::updateUI() {
    const Preferences& p = Preferences::shared();
    const std::shared_ptr<InactiveAppsAfter> rule = p.quitInactiveAppsAfter();

    ui_->generalStartLoginBt->setChecked(p.startLogin());
    ui_->generalPlaySoundsBt->setChecked(p.playSounds());
    ui_->generalShowBackgroundAppsBt->setChecked(p.showBackgroundApps());
    ui_->generalGroupBackgroundAppsBt->setChecked(p.groupBackgroundApps());
    ui_->generalDeselectAppsBt->setChecked(p.deselectApps());

    ui_->generalQuitInactiveAppsAfterBt->setChecked(rule->enabled);
    ui_->generalQuitInactiveAppsAfterField->setEnabled(rule->enabled);
    ui_->generalQuitInactiveAppsAfterStepper->setEnabled(rule->enabled);
    ui_->generalQuitInactiveAppsAfterTime->setEnabled(rule->enabled);

    const QString amount = QString::number(rule->amount);
    if (ui_->generalQuitInactiveAppsAfterField->text() != amount) {
        ui_->generalQuitInactiveAppsAfterField->setText(amount);
    }
    ui_->generalQuitInactiveAppsAfterStepper->setValue(
        static_cast<int>(std::clamp<std::int64_t>(rule->amount, kStepperMinimum, kStepperMaximum)));

    QComboBox* units = ui_->generalQuitInactiveAppsAfterTime;
    units->setCurrentIndex(units->findData(tagOf(rule->unit)));
    for (int index = 0; index < units->count(); ++index) {
        units->setItemText(index, unitTitle(units->itemData(index).toInt(), rule->amount));
    }

    ui_->generalDisableTipsBt->setChecked(p.disableTips());
    ui_->generalDefaultOptionBt->setCurrentIndex(p.quitOption() == QuitOption::force ? 1 : 0);
}

std::optional<std::int64_t> PreferencesGeneralViewController::parseAmount(const QString& text) {
    static const QRegularExpression wholeNumber(QStringLiteral("^[+-]?[0-9]+$"));
    if (!wholeNumber.match(text).hasMatch()) {
        return std::nullopt;
    }
    bool ok = false;
    const qlonglong amount = text.toLongLong(&ok);  // fails on overflow
    if (!ok || amount < 0) {
        return std::nullopt;
    }
    return amount;
}

QString PreferencesGeneralViewController::unitTitle(int tag, std::int64_t amount) {
    const bool one = amount == 1;
    switch (tag) {
        case kMinuteTag:
            return one ? tr("minute") : tr("minutes");
        case kHourTag:
            return one ? tr("hour") : tr("hours");
        case kDayTag:
            return one ? tr("day") : tr("days");
        default:
            return {};
    }
}

void PreferencesGeneralViewController::saveRule(const std::shared_ptr<InactiveAppsAfter>& rule) {
    typedRule_.reset();
    Preferences::shared().setQuitInactiveAppsAfter(rule);
}

void PreferencesGeneralViewController::commitTypedAmount() {
    const std::shared_ptr<InactiveAppsAfter> typed = typedRule_.lock();
    typedRule_.reset();
    // A reset since the typing replaced the rule: what was typed went with the old one.
    if (typed && typed == Preferences::shared().quitInactiveAppsAfter()) {
        saveRule(typed);
    }
}

void PreferencesGeneralViewController::generalStartLoginBtPress() {
    Preferences::shared().setStartLogin(ui_->generalStartLoginBt->isChecked());
}

void PreferencesGeneralViewController::generalPlaySoundsBtPress() {
    const bool on = ui_->generalPlaySoundsBt->isChecked();
    Preferences::shared().setPlaySounds(on);
    if (on) {
        Sound::klosia();
    }
}

void PreferencesGeneralViewController::generalShowBackgroundAppsBtPress() {
    Preferences::shared().setShowBackgroundApps(ui_->generalShowBackgroundAppsBt->isChecked());
}

void PreferencesGeneralViewController::generalGroupBackgroundAppsBttPress() {
    Preferences::shared().setGroupBackgroundApps(ui_->generalGroupBackgroundAppsBt->isChecked());
}

void PreferencesGeneralViewController::generalDeselectAppsBtPress() {
    Preferences::shared().setDeselectApps(ui_->generalDeselectAppsBt->isChecked());
}

void PreferencesGeneralViewController::generalQuitInactiveAppsAfterBtPress() {
    const std::shared_ptr<InactiveAppsAfter> rule = Preferences::shared().quitInactiveAppsAfter();
    rule->enabled = ui_->generalQuitInactiveAppsAfterBt->isChecked();
    if (inactivityReset_) {
        inactivityReset_();
    }
    saveRule(rule);
}

void PreferencesGeneralViewController::generalQuitInactiveAppsAfterStepperPress() {
    const std::shared_ptr<InactiveAppsAfter> rule = Preferences::shared().quitInactiveAppsAfter();
    rule->amount = ui_->generalQuitInactiveAppsAfterStepper->value();
    saveRule(rule);
}

void PreferencesGeneralViewController::generalQuitInactiveAppsAfterTime() {
    const std::shared_ptr<InactiveAppsAfter> rule = Preferences::shared().quitInactiveAppsAfter();
    if (const auto unit = unitOf(selectedTag(*ui_->generalQuitInactiveAppsAfterTime))) {
        rule->unit = *unit;
    }
    saveRule(rule);
}

void PreferencesGeneralViewController::controlTextDidChange(const QString& text) {
    const std::optional<std::int64_t> amount = parseAmount(text);
    if (!amount) {
        return;
    }
    // In force at once for the automatic quitting; saved when the field is left.
    const std::shared_ptr<InactiveAppsAfter> rule = Preferences::shared().quitInactiveAppsAfter();
    rule->amount = *amount;
    typedRule_ = rule;
}

void PreferencesGeneralViewController::generalDisableTipsBtPress() {
    Preferences::shared().setDisableTips(ui_->generalDisableTipsBt->isChecked());
}

void PreferencesGeneralViewController::generalDefaultOptionBtPress() {
    switch (selectedTag(*ui_->generalDefaultOptionBt)) {
        case kNormalQuitTag:
            Preferences::shared().setQuitOption(QuitOption::quit);
            break;
        case kForceQuitTag:
            Preferences::shared().setQuitOption(QuitOption::force);
            break;
        default:
            break;
    }
}

void PreferencesGeneralViewController::generalResetBtPress() {
    typedRule_.reset();
    Preferences::shared().reset();
}

bool PreferencesGeneralViewController::eventFilter(QObject* watched, QEvent* event) {
    if (watched == ui_->generalQuitInactiveAppsAfterField && event->type() == QEvent::FocusOut) {
        commitTypedAmount();
    }
    return QWidget::eventFilter(watched, event);
}

void PreferencesGeneralViewController::hideEvent(QHideEvent* event) {
    commitTypedAmount();
    QWidget::hideEvent(event);
}

}  // namespace klosia
