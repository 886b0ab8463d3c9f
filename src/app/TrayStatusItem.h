#pragma once

#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

#include "platform/StatusItem.h"

namespace klosia {

// The status item as a QSystemTrayIcon: embedded in an XEmbed tray, or published as a
// StatusNotifierItem where the desktop has a host for those (Qt picks).
class TrayStatusItem final : public StatusItem {
    Q_OBJECT

public:
    explicit TrayStatusItem(QObject* parent = nullptr);

    QRect iconGeometry() const override;
    bool isInTray() const override;
    void setImage(const QIcon& image) override;
    void setHighlighted(bool highlighted) override;
    bool isHighlighted() const override { return highlighted_; }
    void setContextMenu(QMenu* menu) override;

private:
    void checkTray();

    QSystemTrayIcon tray_;
    QMenu menu_;
    QTimer trayWatch_;
    bool inTray_ = false;
    bool highlighted_ = false;
};

}  // namespace klosia
