#include "preferences/PreferencesShortcutsViewController.h"

#include <QFontMetrics>
#include <QLabel>
#include <QPointer>

#include <algorithm>

#include "core/Dispatcher.h"
#include "core/NotificationBus.h"
#include "preferences/SettingsViewRecorder.h"
#include "settings/GlobalShortcut.h"
#include "settings/Preferences.h"
#include "ui_PreferencesShortcutsView.h"

namespace klosia {

namespace {

QString deleteTitle() {
    return PreferencesShortcutsViewController::tr("Delete");
}

QString restoreTitle() {
    return PreferencesShortcutsViewController::tr("Restore");
}

}  // namespace

PreferencesShortcutsViewController::PreferencesShortcutsViewController(Dispatcher& dispatcher,
                                                                       QWidget* parent)
    : QWidget(parent),
      dispatcher_(dispatcher),
      ui_(std::make_unique<Ui::PreferencesShortcutsView>()) {
    ui_->setupUi(this);
    using Self = PreferencesShortcutsViewController;
    const std::array<void (Self::*)(), 3> enableActions = {&Self::activateShortcutEnableBtPress,
                                                           &Self::klosiaShortcutEnableBtPress,
                                                           &Self::forceKlosiaShortcutEnableBtPress};
    const std::array<void (Self::*)(), 3> deleteActions = {&Self::activateShortcutDeleteBtPress,
                                                           &Self::klosiaShortcutDeleteBtPress,
                                                           &Self::forceKlosiaShortcutDeleteBtPress};
    const std::array<Row, 3> all = rows();
    for (std::size_t i = 0; i < all.size(); ++i) {
        const Row& r = all.at(i);
        r.recorder->setType(r.type);
        connect(r.enableBt, &QCheckBox::clicked, this, enableActions.at(i));
        connect(r.deleteBt, &QPushButton::clicked, this, deleteActions.at(i));
        // Wide enough for either title, so that the row does not move when it changes.
        const QFontMetrics metrics(r.deleteBt->font());
        const int titleWidth = std::max(metrics.horizontalAdvance(deleteTitle()),
                                        metrics.horizontalAdvance(restoreTitle()));
        r.deleteBt->setMinimumWidth(titleWidth + r.deleteBt->sizeHint().width() -
                                    metrics.horizontalAdvance(r.deleteBt->text()));
    }
    observe(this, &Self::preferencesDidChangedNotification, names::preferencesDidChanged);
    queueUpdateUI();
}

PreferencesShortcutsViewController::~PreferencesShortcutsViewController() = default;

void PreferencesShortcutsViewController::setDesktopNotice(const QString& notice,
                                                          const QString& settingsTitle,
                                                          std::function<void()> openSettings) {
    openSettings_ = std::move(openSettings);
    if (settingsBt_ == nullptr) {
        settingsBt_ = new QPushButton(this);
        connect(settingsBt_, &QPushButton::clicked, this, [this] {
            if (openSettings_) {
                openSettings_();
            }
        });
        ui_->shortcutsLayout->insertWidget(0, settingsBt_, 0, Qt::AlignLeft);
    }
    settingsBt_->setText(settingsTitle);
    settingsBt_->setVisible(!settingsTitle.isEmpty() && openSettings_ != nullptr);
    if (notice_ == nullptr) {
        notice_ = new QLabel(this);
        notice_->setWordWrap(true);
        // The lines are meant to be copied into a configuration file.
        notice_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        notice_->setTextFormat(Qt::PlainText);
        ui_->shortcutsLayout->insertWidget(0, notice_);
    }
    notice_->setText(notice);
    notice_->setVisible(!notice.isEmpty());
    ui_->shortcutsHint->setVisible(notice.isEmpty());
    for (const Row& r : rows()) {
        for (QWidget* control :
             {static_cast<QWidget*>(r.enableBt), static_cast<QWidget*>(r.recorder),
              static_cast<QWidget*>(r.deleteBt)}) {
            control->setVisible(notice.isEmpty());
        }
    }
    queueUpdateUI();
}

std::array<PreferencesShortcutsViewController::Row, 3> PreferencesShortcutsViewController::rows()
    const {
    return {{
        {ShortcutRecorderType::activate, ui_->activateShortcutEnableBt,
         ui_->activateShortcutRecorder, ui_->activateShortcutDeleteBt},
        {ShortcutRecorderType::quit, ui_->klosiaShortcutEnableBt, ui_->klosiaShortcutRecorder,
         ui_->klosiaShortcutDeleteBt},
        {ShortcutRecorderType::force, ui_->forceKlosiaShortcutEnableBt,
         ui_->forceKlosiaShortcutRecorder, ui_->forceKlosiaShortcutDeleteBt},
    }};
}

PreferencesShortcutsViewController::Row PreferencesShortcutsViewController::row(
    ShortcutRecorderType type) const {
    for (const Row& r : rows()) {
        if (r.type == type) {
            return r;
        }
    }
    return rows().front();
}

SettingsViewRecorder* PreferencesShortcutsViewController::recorder(
    ShortcutRecorderType type) const {
    return row(type).recorder;
}

void PreferencesShortcutsViewController::preferencesDidChangedNotification(
    const Notification& /*notification*/) {
    queueUpdateUI();
}

void PreferencesShortcutsViewController::queueUpdateUI() {
    dispatcher_.main([pane = QPointer(this)] {
        if (pane) {
            pane->updateUI();
        }
    });
}

void PreferencesShortcutsViewController::updateUI() {
    const Preferences& p = Preferences::shared();
    for (const Row& r : rows()) {
        const std::shared_ptr<GlobalShortcut> s = shortcut(p, r.type);
        r.enableBt->setChecked(s->enabled);
        if (s->deleted) {
            r.recorder->setDeleted(true);
        } else {
            r.recorder->setEnabled(s->enabled);
            r.recorder->setValues(s->symbols());
            r.recorder->showKeys();
        }
        r.deleteBt->setEnabled(s->enabled);
        // The button's state follows the record, so that one press always does what its title
        // says, also after a recording or a reset cleared the deletion behind its back.
        r.deleteBt->setChecked(s->deleted);
        r.deleteBt->setText(s->deleted ? restoreTitle() : deleteTitle());
        r.deleteBt->setAccessibleName(
            (s->deleted ? tr("Restore the shortcut: %1") : tr("Delete the shortcut: %1"))
                .arg(r.enableBt->text()));
    }
}

void PreferencesShortcutsViewController::enablePress(ShortcutRecorderType type) {
    Preferences& p = Preferences::shared();
    const std::shared_ptr<GlobalShortcut> s = shortcut(p, type);
    s->enabled = row(type).enableBt->isChecked();
    setShortcut(p, type, s);
}

void PreferencesShortcutsViewController::deletePress(ShortcutRecorderType type) {
    Preferences& p = Preferences::shared();
    const std::shared_ptr<GlobalShortcut> s = shortcut(p, type);
    s->deleted = row(type).deleteBt->isChecked();
    setShortcut(p, type, s);
}

void PreferencesShortcutsViewController::activateShortcutEnableBtPress() {
    enablePress(ShortcutRecorderType::activate);
}

void PreferencesShortcutsViewController::activateShortcutDeleteBtPress() {
    deletePress(ShortcutRecorderType::activate);
}

void PreferencesShortcutsViewController::klosiaShortcutEnableBtPress() {
    enablePress(ShortcutRecorderType::quit);
}

void PreferencesShortcutsViewController::klosiaShortcutDeleteBtPress() {
    deletePress(ShortcutRecorderType::quit);
}

void PreferencesShortcutsViewController::forceKlosiaShortcutEnableBtPress() {
    enablePress(ShortcutRecorderType::force);
}

void PreferencesShortcutsViewController::forceKlosiaShortcutDeleteBtPress() {
    deletePress(ShortcutRecorderType::force);
}

}  // namespace klosia
