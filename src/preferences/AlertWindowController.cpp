#include "preferences/AlertWindowController.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>

#include "log/Vezizur.h"
#include "platform/Compositor.h"
#include "preferences/AlertWindow.h"
#include "ui/WindowFade.h"

namespace klosia {

AlertWindowController::AlertWindowController(QString name, Compositor* compositor, QObject* parent)
    : QObject(parent),
      name_(std::move(name)),
      compositor_(compositor),
      window_(std::make_unique<AlertWindow>()),
      // A press while it fades out is taken: the fade goes on to its end, once.
      fade_(
          new WindowFade(*window_, kFadeMilliseconds, WindowFade::CloseWhileClosing::taken, this)) {
    connect(fade_, &WindowFade::fadedIn, this, [this] {
        logger.log(name_ + " did open", VezizurLevel::info);
        Q_EMIT didOpen();
    });
    connect(fade_, &WindowFade::closeDue, this, &AlertWindowController::closeAlert);
    connect(fade_, &WindowFade::fadedOut, this, [this] {
        window_->hide();
        logger.log(name_ + " did close", VezizurLevel::info);
        Q_EMIT didClose();
    });
}

AlertWindowController::~AlertWindowController() {
    // The fade belongs to this object but animates the window, which goes first.
    delete fade_;
}

void AlertWindowController::openAlert() {
    if (isOpen()) {
        return;
    }
    if (!window_->isVisible()) {
        window_->setTranslucent(compositor_ != nullptr && compositor_->isRunning());
    }
    window_->adjustSize();
    centre();
    fade_->beginOpening();
    window_->show();
    window_->raise();
    window_->activateWindow();
    logger.log(name_ + " will open", VezizurLevel::info);
}

void AlertWindowController::closeAlert() {
    // Kept for the end of the fade-in, or ignored while closed.
    if (fade_->beginClosing() == WindowFade::Closing::started) {
        logger.log(name_ + " will close", VezizurLevel::info);
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
