#include "ui/WindowFade.h"

#include <QGuiApplication>
#include <QPropertyAnimation>
#include <QWidget>

namespace klosia {

WindowFade::WindowFade(QWidget& window, int milliseconds, CloseWhileClosing closeWhileClosing,
                       QObject* parent)
    : QObject(parent),
      window_(window),
      animation_(new QPropertyAnimation(this, "level", this)),
      closeWhileClosing_(closeWhileClosing),
      // Qt's Wayland windows have no opacity of their own, and say so at every step.
      windowOpacity_(QGuiApplication::platformName() != QLatin1String("wayland")) {
    animation_->setDuration(milliseconds);
    connect(animation_, &QPropertyAnimation::finished, this, &WindowFade::finished);
}

WindowFade::~WindowFade() {
    animation_->stop();
}

bool WindowFade::beginOpening() {
    if (isOpen()) {
        return false;
    }
    setLevel(0);
    phase_ = Phase::opening;
    closeAfterOpening_ = false;
    fadeTo(1.0);
    return true;
}

WindowFade::Closing WindowFade::beginClosing() {
    if (phase_ == Phase::opening) {
        closeAfterOpening_ = true;
        return Closing::deferred;
    }
    const bool again = phase_ == Phase::closing && closeWhileClosing_ == CloseWhileClosing::taken;
    if (phase_ != Phase::open && !again) {
        return Closing::ignored;
    }
    phase_ = Phase::closing;
    fadeTo(0.0);
    return Closing::started;
}

bool WindowFade::abandon() {
    animation_->stop();
    if (phase_ == Phase::closed) {
        return false;
    }
    phase_ = Phase::closed;
    closeAfterOpening_ = false;
    return true;
}

void WindowFade::setLevel(qreal level) {
    level_ = level;
    if (windowOpacity_) {
        window_.setWindowOpacity(level);
    }
}

void WindowFade::fadeTo(qreal opacity) {
    // A fade that is stopped never finishes: only the last one started ends the phase.
    animation_->stop();
    animation_->setStartValue(level_);
    animation_->setEndValue(opacity);
    animation_->start();
}

void WindowFade::finished() {
    if (phase_ == Phase::opening) {
        phase_ = Phase::open;
        Q_EMIT fadedIn();
        if (closeAfterOpening_ && phase_ == Phase::open) {
            closeAfterOpening_ = false;
            Q_EMIT closeDue();
        }
    } else if (phase_ == Phase::closing) {
        phase_ = Phase::closed;
        Q_EMIT fadedOut();
    }
}

}  // namespace klosia
