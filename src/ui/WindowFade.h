#pragma once

#include <QObject>

class QPropertyAnimation;
class QWidget;

namespace klosia {

// The fade a window of ours opens and closes with: closed -> opening (fading in) -> open ->
// closing (fading out) -> closed. The window counts as open from the end of the fade-in to the
// end of the fade-out. An opening is taken while closed or fading in (a second one starts the
// fade-in again), a closing while open; one asked for during the fade-in waits for its end, so
// that a press in the first moments is not lost. A close during the fade-out is ignored or, where
// the owner wants every request taken, fades on from where it is. The owner shows and hides the
// window, logs and does its own work around each step. Main thread only.
class WindowFade final : public QObject {
    Q_OBJECT
    // The fade's level, from 0 (gone) to 1 (shown): the window's opacity where the platform
    // has one (not Wayland), so that the phases take the same time everywhere.
    Q_PROPERTY(qreal level READ level WRITE setLevel)

public:
    enum class Phase { closed, opening, open, closing };
    enum class Closing { ignored, deferred, started };
    enum class CloseWhileClosing { ignored, taken };

    // Fades `window`'s opacity over `milliseconds` each way; the window must outlive the fade.
    WindowFade(QWidget& window, int milliseconds, CloseWhileClosing closeWhileClosing,
               QObject* parent = nullptr);
    ~WindowFade() override;
    WindowFade(const WindowFade&) = delete;
    WindowFade& operator=(const WindowFade&) = delete;

    Phase phase() const { return phase_; }
    qreal level() const { return level_; }
    void setLevel(qreal level);
    bool isOpen() const { return phase_ == Phase::open || phase_ == Phase::closing; }

    // Makes the window transparent and fades it in, forgetting a close asked for during an
    // earlier fade-in: the later wish wins. False (nothing done) while open or closing.
    bool beginOpening();
    // Fades the window out when open. During the fade-in the close is kept for its end
    // (closeDue()); while closed it is ignored, while closing as the constructor chose.
    Closing beginClosing();
    // The window went away by other means: the fade stops and the window is closed. False when
    // it was closed already.
    bool abandon();

Q_SIGNALS:
    // The fade-in ended: the window is open.
    void fadedIn();
    // Right after fadedIn(), when a close was asked for during the fade-in.
    void closeDue();
    // The fade-out ended: the window is closed; the owner hides it.
    void fadedOut();

private:
    void fadeTo(qreal opacity);
    void finished();

    QWidget& window_;
    QPropertyAnimation* animation_;
    CloseWhileClosing closeWhileClosing_;
    Phase phase_ = Phase::closed;
    qreal level_ = 1.0;
    bool windowOpacity_;
    bool closeAfterOpening_ = false;
};

}  // namespace klosia
