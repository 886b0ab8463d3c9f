#pragma once

#include <QDialog>

namespace klosia {

// The window of the program's own alerts: frameless, above other windows, with the content's own
// buttons as the only way out. As a dialog, Return presses the default button; Escape and a close
// request from the window manager ask the owner to close it (with its fade) instead of hiding it
// at once. Translucent with rounded corners over a compositing manager, otherwise an opaque
// rectangle in the palette's window colour.
class AlertWindow : public QDialog {
    Q_OBJECT

public:
    static constexpr int kCornerRadius = 12;

    explicit AlertWindow(QWidget* parent = nullptr);

    // The alert's content, which fills the window and gives it its size.
    void setContentView(QWidget* content);

    // Takes effect the next time the window is shown (the native window is made again when the
    // choice changed while hidden).
    void setTranslucent(bool translucent);
    bool isTranslucent() const;

    // Escape, or a close request of the window manager.
    void reject() override;

Q_SIGNALS:
    void dismissRequested();

protected:
    void paintEvent(QPaintEvent* event) override;
};

}  // namespace klosia
