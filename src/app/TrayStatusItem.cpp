#include "app/TrayStatusItem.h"

#include "core/AppInfo.h"

namespace klosia {

namespace {

// Qt embeds the icon by itself once a tray appears; this only tells the delegate when.
constexpr int kTrayWatchMs = 500;

}  // namespace

TrayStatusItem::TrayStatusItem(QObject* parent) : StatusItem(parent) {
    tray_.setToolTip(QLatin1String(appinfo::kName));
    // A user must always have a way to quit, even before the program gives its settings menu.
    QObject::connect(menu_.addAction(tr("Quit %1").arg(QLatin1String(appinfo::kName))),
                     &QAction::triggered, this, &StatusItem::quitRequested);
    tray_.setContextMenu(&menu_);
    QObject::connect(
        &tray_, &QSystemTrayIcon::activated, this,
        [this](QSystemTrayIcon::ActivationReason reason) {
            // X11 trays report a left press at mouse-down as Trigger; a quick second
            // press arrives as DoubleClick and is a press all the same.
            if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::DoubleClick) {
                Q_EMIT pressed();
            }
        });
    inTray_ = QSystemTrayIcon::isSystemTrayAvailable();
    trayWatch_.setInterval(kTrayWatchMs);
    QObject::connect(&trayWatch_, &QTimer::timeout, this, &TrayStatusItem::checkTray);
    trayWatch_.start();
}

QRect TrayStatusItem::iconGeometry() const {
    return tray_.geometry();
}

bool TrayStatusItem::isInTray() const {
    return inTray_;
}

void TrayStatusItem::setImage(const QIcon& image) {
    tray_.setIcon(image);
    tray_.show();
}

void TrayStatusItem::setHighlighted(bool highlighted) {
    // Trays draw no pressed state for their icons; the flag keeps the delegate's bookkeeping.
    highlighted_ = highlighted;
}

void TrayStatusItem::setContextMenu(QMenu* menu) {
    tray_.setContextMenu(menu != nullptr ? menu : &menu_);
}

void TrayStatusItem::checkTray() {
    const bool available = QSystemTrayIcon::isSystemTrayAvailable();
    if (available != inTray_) {
        inTray_ = available;
        Q_EMIT trayAvailabilityChanged(available);
    }
}

}  // namespace klosia
