#pragma once

#include <QObject>
#include <QString>

#include <memory>

#include "ui/WindowFade.h"

namespace klosia {

class AlertWindow;
class Compositor;

// What both alerts share: a window made once and only hidden, that fades in over 0.25 seconds
// when opened and out when closed. `isOpen()` turns true only when the fade-in has finished and
// false only when the fade-out has: an opening is accepted while hidden or fading in (a second one
// starts the fade-in again), a closing while open or fading out, and one asked for while fading
// in closes the window as soon as the fade-in is over (a press in its first quarter second must
// not be lost); others are ignored without a word. Each change is logged as "<name> will open",
// "<name> did open", "<name> will close" and "<name> did close". Main thread only.
class AlertWindowController : public QObject {
    Q_OBJECT

public:
    // The window is hidden while the fade is closed.
    using Phase = WindowFade::Phase;

    static constexpr int kFadeMilliseconds = 250;

    ~AlertWindowController() override;
    AlertWindowController(const AlertWindowController&) = delete;
    AlertWindowController& operator=(const AlertWindowController&) = delete;

    bool isOpen() const { return fade_->isOpen(); }
    Phase phase() const { return fade_->phase(); }
    AlertWindow* window() const { return window_.get(); }

Q_SIGNALS:
    void didOpen();
    void didClose();

protected:
    // `name` starts the log lines ("settings", "info"). `compositor` (may be null) tells whether
    // the window can be translucent.
    AlertWindowController(QString name, Compositor* compositor, QObject* parent);

    // The fade-in: in front of every window, centred on the screen under the pointer, active.
    void openAlert();
    // The fade-out, after which the window is hidden.
    void closeAlert();

private:
    void centre();

    QString name_;
    Compositor* compositor_;
    std::unique_ptr<AlertWindow> window_;
    WindowFade* fade_;
};

}  // namespace klosia
