#pragma once

#include <QObject>
#include <QRect>
#include <QString>

#include <memory>

#include "platform/Compositor.h"

class QDBusError;
class QTemporaryFile;
class QTimer;

namespace klosia {

// A Wayland compositor: it always composites, and it places windows itself. On sway the menu is
// moved where it belongs through sway's IPC once sway shows it (floating, without a border); on
// KWin by a small script KWin runs (its D-Bus scripting), which also keeps the menu off the
// task bar; on GNOME by our Shell extension; elsewhere the compositor's own placement stands,
// and the log says so once.
class WaylandCompositor final : public QObject, public Compositor {
    Q_OBJECT

public:
    explicit WaylandCompositor(QString swaySocket, QObject* parent = nullptr);
    ~WaylandCompositor() override;

    bool isRunning() override { return true; }
    void placeWindow(const QString& title, const QRect& frame) override;

    // How long a placement waits for sway to show the window.
    static constexpr int kPlaceTries = 50;
    static constexpr int kPlaceIntervalMs = 20;

private Q_SLOTS:
    // The answers of GNOME Shell's extension, which QtDBus hands to slots only.
    void placed(bool found);
    void notPlaced(const QDBusError& error);

private:
    bool placeNow();
    void placeWithKWin(const QString& title, const QRect& frame);
    void placeWithGnomeShell(const QString& title, const QRect& frame);
    QRect withinWorkspace(const QRect& frame) const;

    QString swaySocket_;
    std::unique_ptr<QTemporaryFile> scriptFile_;
    QTimer* timer_;
    QString title_;
    QRect frame_;
    int triesLeft_ = 0;
    bool toldCannotPlace_ = false;
};

}  // namespace klosia
