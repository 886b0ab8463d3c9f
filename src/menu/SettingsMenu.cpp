#include "menu/SettingsMenu.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEvent>
#include <QKeyEvent>
#include <QScreen>

#include "core/NotificationBus.h"
#include "core/SupportMail.h"
#include "log/Vezizur.h"
#include "menu/MenuGlyph.h"
#include "services/ApplicationDelegate.h"
#include "settings/Preferences.h"

namespace klosia {

namespace {

constexpr Qt::KeyboardModifiers kShortcutModifiers =
    Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

}  // namespace

SettingsMenu::SettingsMenu(Preferences& preferences, QWidget* parent)
    : QMenu(parent),
      preferences_(preferences),
      backgroundAppsItem_(addItem(&SettingsMenu::backgroundAppsItemPress)),
      preferencesItem_(addItem(&SettingsMenu::preferencesItemPress)),
      helpItem_(addItem(&SettingsMenu::helpItemPress)),
      quitItem_(addItem(&SettingsMenu::quitItemPress)) {
    setAccessibleName(tr("Settings"));
    preferencesItem_->setText(tr("Preferences"));
    helpItem_->setText(tr("Help"));
    quitItem_->setText(tr("Quit"));
    // Shown beside the items; acted on by keyPressEvent() and the menu window, never through
    // Qt's shortcut map, so that no press is handled twice.
    backgroundAppsItem_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    quitItem_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    for (QAction* item : actions()) {
        item->setShortcutContext(Qt::WidgetShortcut);
    }
    connect(this, &QMenu::aboutToShow, this, &SettingsMenu::refresh);
    refresh();
}

QAction* SettingsMenu::addItem(void (SettingsMenu::*action)(QAction*)) {
    QAction* item = addAction(QString());
    connect(item, &QAction::triggered, this, [this, item, action] { (this->*action)(item); });
    return item;
}

void SettingsMenu::refresh() {
    const bool shown = preferences_.showBackgroundApps();
    backgroundAppsItem_->setText(shown ? tr("Hide background apps") : tr("View background apps"));
    const QString backgroundImage = shown ? QStringLiteral("settings-background-apps-hide")
                                          : QStringLiteral("settings-background-apps-show");
    const std::pair<QAction*, QString> images[] = {
        {backgroundAppsItem_, backgroundImage},
        {preferencesItem_, QStringLiteral("settings-preferences")},
        {helpItem_, QStringLiteral("settings-help")},
        {quitItem_, QStringLiteral("settings-quit")},
    };
    // Template images: in the menu's text colour, and its highlighted text colour on the
    // highlighted item, as the style draws the titles.
    const QSize size(kImageSize, kImageSize);
    const qreal ratio = devicePixelRatioF();
    const QPalette colors = palette();
    for (const auto& [item, name] : images) {
        const QIcon normal = MenuGlyph::icon(name, size, colors.color(QPalette::Text), ratio);
        if (normal.isNull()) {
            item->setIcon(QIcon());
            continue;
        }
        QIcon icon;
        icon.addPixmap(normal.pixmap(size, ratio), QIcon::Normal);
        icon.addPixmap(MenuGlyph::icon(name, size, colors.color(QPalette::HighlightedText), ratio)
                           .pixmap(size, ratio),
                       QIcon::Active);
        icon.addPixmap(
            MenuGlyph::icon(name, size, colors.color(QPalette::Disabled, QPalette::Text), ratio)
                .pixmap(size, ratio),
            QIcon::Disabled);
        item->setIcon(icon);
    }
}

void SettingsMenu::popUp(const QWidget& button) {
    refresh();
    const QSize menuSize = sizeHint();
    QPoint at = button.mapToGlobal(QPoint(0, button.height()));
    const QScreen* screen = button.screen();
    if (screen != nullptr &&
        at.y() + menuSize.height() > screen->availableGeometry().bottom() + 1) {
        at = button.mapToGlobal(QPoint(0, -menuSize.height()));
    }
    popup(at);
}

void SettingsMenu::backgroundAppsItemPress(QAction* /*item*/) {
    logger.log("backgroundAppsItemPress(item:)", VezizurLevel::info);
    preferences_.setShowBackgroundApps(!preferences_.showBackgroundApps());
    notify(names::menuDidChanged);
}

void SettingsMenu::preferencesItemPress(QAction* /*item*/) {
    logger.log("preferencesItemPress(item:)", VezizurLevel::info);
    ApplicationDelegate* delegate = ApplicationDelegate::current();
    if (delegate == nullptr) {
        return;
    }
    delegate->closeMenu();
    delegate->openPreferences();
}

void SettingsMenu::helpItemPress(QAction* /*item*/) {
    logger.log("helpItemPress(item:)", VezizurLevel::info);
    const std::optional<QUrl> url = SupportMail::url();
    if (!url) {
        logger.log("no support address to write to", VezizurLevel::error);
        return;
    }
    if (!QDesktopServices::openUrl(*url)) {
        logger.log("no mail program took " + url->toString(QUrl::FullyEncoded),
                   VezizurLevel::error);
    }
}

void SettingsMenu::quitItemPress(QAction* /*item*/) {
    logger.log("quitItemPress(item:)", VezizurLevel::info);
    // Not quit(): that first asks every window to close and gives up when one declines, and the
    // menu window and the preferences window decline (they fade or hide instead). Whether the
    // tray icon's window is then closed at all depends on the order Qt lists its windows in.
    QCoreApplication::exit(0);
}

QAction* SettingsMenu::itemForKey(const QKeyEvent& event) const {
    if ((event.modifiers() & kShortcutModifiers) != Qt::ControlModifier) {
        return nullptr;
    }
    const QKeySequence pressed(QKeyCombination(Qt::ControlModifier, Qt::Key(event.key())));
    for (QAction* item : {backgroundAppsItem_, quitItem_}) {
        if (item->isEnabled() && item->shortcut() == pressed) {
            return item;
        }
    }
    return nullptr;
}

void SettingsMenu::keyPressEvent(QKeyEvent* event) {
    QAction* item = itemForKey(*event);
    if (item == nullptr) {
        QMenu::keyPressEvent(event);
        return;
    }
    event->accept();
    if (event->isAutoRepeat()) {
        return;
    }
    // As a chosen item does: the menu goes first, then the item acts.
    hide();
    item->trigger();
}

void SettingsMenu::changeEvent(QEvent* event) {
    QMenu::changeEvent(event);
    if (event->type() == QEvent::PaletteChange) {
        refresh();
    }
}

}  // namespace klosia
