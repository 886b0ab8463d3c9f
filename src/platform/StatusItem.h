#pragma once

#include <QIcon>
#include <QObject>
#include <QRect>

class QMenu;

namespace klosia {

// The program's icon in the desktop's tray, as the application delegate sees it. An interface
// so the delegate's rules (where the menu opens, what happens without a tray) can be tested
// without a panel.
class StatusItem : public QObject {
    Q_OBJECT

public:
    using QObject::QObject;

    // The icon's rectangle on the screen; empty when the tray does not say where the icon is
    // (StatusNotifierItem hosts draw it themselves).
    virtual QRect iconGeometry() const = 0;
    // Whether a tray shows the icon now.
    virtual bool isInTray() const = 0;
    virtual void setImage(const QIcon& image) = 0;
    // The pressed look while the menu is open, where the tray has one.
    virtual void setHighlighted(bool highlighted) = 0;
    virtual bool isHighlighted() const = 0;
    // The menu a secondary press on the icon shows; null gives back the item's own, which
    // only quits. Not owned: reset it before the menu goes.
    virtual void setContextMenu(QMenu* menu) = 0;

Q_SIGNALS:
    // A primary-button press on the icon, delivered at mouse-down.
    void pressed();
    // The user chose to quit the program from the icon's own context menu.
    void quitRequested();
    // A tray appeared or went away.
    void trayAvailabilityChanged(bool available);
};

}  // namespace klosia
