#include "preferences/AlertWindowController.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPropertyAnimation>
#include <QScreen>

#include "log/Vezizur.h"
#include "platform/Compositor.h"
#include "preferences/AlertWindow.h"

namespace klosia {

AlertWindowController::AlertWindowController(QString name, Compositor* compositor, QObject* parent)
    : QObject(parent),
      name_(std::move(name)),
      compositor_(compositor),
      window_(std::make_unique<AlertWindow>()),
      fade_(new QPropertyAnimation(window_.get(), "windowOpacity", this)) {
    fade_->setDuration(kFadeMilliseconds);
    connect(fade_, &QPropertyAnimation::finished, this, &AlertWindowController::fadeFinished);
}

AlertWindowController::~AlertWindowController() {
    fade_->stop();
}

void AlertWindowController::openAlert() {
    if (isOpen()) {
        return;
    }
    window_->setWindowOpacity(0);
    if (!window_->isVisible()) {
        window_->setTranslucent(compositor_ != nullptr && compositor_->isRunning());
    }
    window_->adjustSize();
    centre();
    phase_ = Phase::opening;
    closeAfterOpening_ = false;
    window_->show();
    window_->raise();
    window_->activateWindow();
    logger.log(name_ + " will open", VezizurLevel::info);
    fadeTo(1.0);
}

void AlertWindowController::closeAlert() {
    if (phase_ == Phase::opening) {
        closeAfterOpening_ = true;
        return;
    }
    if (!isOpen()) {
        return;
    }
    logger.log(name_ + " will close", VezizurLevel::info);
    phase_ = Phase::closing;
    fadeTo(0.0);
}

void AlertWindowController::fadeTo(qreal opacity) {
    // A fade that is stopped never finishes: only the last one started ends the phase.
    fade_->stop();
    fade_->setStartValue(window_->windowOpacity());
    fade_->setEndValue(opacity);
    fade_->start();
}

void AlertWindowController::fadeFinished() {
    if (phase_ == Phase::opening) {
        phase_ = Phase::open;
        logger.log(name_ + " did open", VezizurLevel::info);
        Q_EMIT didOpen();
        if (closeAfterOpening_) {
            closeAfterOpening_ = false;
            closeAlert();
        }
    } else if (phase_ == Phase::closing) {
        window_->hide();
        phase_ = Phase::hidden;
        logger.log(name_ + " did close", VezizurLevel::info);
        Q_EMIT didClose();
    }
}

void AlertWindowController::centre() {
    QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (screen == nullptr) {
        screen = QGuiApplication::primaryScreen();
    }
    if (screen == nullptr) {
        return;
    }
    QRect frame(QPoint(0, 0), window_->size());
    frame.moveCenter(screen->availableGeometry().center());
    window_->move(frame.topLeft());
}

}  // namespace klosia
