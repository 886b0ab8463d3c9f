#pragma once

#include "platform/StatusItem.h"

namespace klosia::test {

// A status item without a tray: the test says where the icon is and whether a tray shows it.
class FakeStatusItem final : public StatusItem {
    Q_OBJECT

public:
    QRect iconGeometry() const override { return geometry; }
    bool isInTray() const override { return inTray; }
    void setImage(const QIcon& icon) override { image = icon; }
    void setHighlighted(bool value) override { highlighted = value; }
    bool isHighlighted() const override { return highlighted; }
    void setContextMenu(QMenu* menu) override { contextMenu = menu; }

    void press() { Q_EMIT pressed(); }
    void trayAppears() {
        inTray = true;
        Q_EMIT trayAvailabilityChanged(true);
    }

    QRect geometry;
    bool inTray = true;
    bool highlighted = false;
    QIcon image;
    QMenu* contextMenu = nullptr;
};

}  // namespace klosia::test
