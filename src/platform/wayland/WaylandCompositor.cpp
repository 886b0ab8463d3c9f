#include "platform/wayland/WaylandCompositor.h"

#include <QTimer>

#include <unistd.h>

#include <utility>

#include "log/Vezizur.h"
#include "platform/wayland/SwayIpc.h"
#include "platform/wayland/SwayTree.h"

namespace klosia {

WaylandCompositor::WaylandCompositor(QString swaySocket, QObject* parent)
    : QObject(parent), swaySocket_(std::move(swaySocket)), timer_(new QTimer(this)) {
    timer_->setInterval(kPlaceIntervalMs);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (placeNow() || --triesLeft_ <= 0) {
            timer_->stop();
        }
    });
}

WaylandCompositor::~WaylandCompositor() = default;

void WaylandCompositor::placeWindow(const QString& title, const QRect& frame) {
    if (swaySocket_.isEmpty()) {
        if (!toldCannotPlace_) {
            toldCannotPlace_ = true;
            logger.log("menu placement: this compositor places windows itself", VezizurLevel::info);
        }
        return;
    }
    title_ = title;
    frame_ = frame;
    triesLeft_ = kPlaceTries;
    // The window shows a moment after Qt commits it; until then sway does not know it.
    if (!placeNow()) {
        timer_->start();
    }
}

bool WaylandCompositor::placeNow() {
    QString error;
    const auto views = SwayTree::read(swaySocket_, &error);
    if (!views) {
        logger.log("menu placement: " + error.toStdString(), VezizurLevel::error);
        triesLeft_ = 0;
        return false;
    }
    // Ours, by its title; the newest when several match.
    const pid_t self = ::getpid();
    qint64 id = 0;
    for (const SwayTree::View& view : *views) {
        if (view.pid == self && view.title == title_) {
            id = std::max(id, view.id);
        }
    }
    if (id == 0) {
        return false;
    }
    const QByteArray command = QStringLiteral(
                                   "[con_id=%1] floating enable, border none, sticky enable, "
                                   "resize set %2 %3, move absolute position %4 %5, focus")
                                   .arg(id)
                                   .arg(frame_.width())
                                   .arg(frame_.height())
                                   .arg(frame_.x())
                                   .arg(frame_.y())
                                   .toUtf8();
    if (!SwayIpc::runCommand(swaySocket_, command, &error)) {
        logger.log("menu placement: " + error.toStdString(), VezizurLevel::error);
    }
    return true;
}

}  // namespace klosia
