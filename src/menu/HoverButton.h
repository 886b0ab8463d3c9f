#pragma once

#include <QAbstractButton>
#include <QIcon>

namespace klosia {

class HoverButtonDelegate;

// A button that changes its image while the pointer is over it, can draw a round highlight
// behind the image, and fades to half opacity while pressed. A disabled button keeps its image
// and reports no hover.
class HoverButton : public QAbstractButton {
    Q_OBJECT
    Q_PROPERTY(bool drawBackground READ drawBackground WRITE setDrawBackground)

public:
    explicit HoverButton(QWidget* parent = nullptr);

    // Takes the images as the button's image and alternate image: the alternate one is shown
    // under the pointer and while pressed.
    void setImages(const QIcon& image, const QIcon& alternateImage);
    // Puts the button in its hover look (or out of it) without the pointer moving: a reused
    // button under a pointer that stays. Also ends a press's half opacity. Ignored when disabled.
    void showHover(bool entered);

    QIcon normalImage;
    QIcon hoverImage;
    QIcon clickImage;
    // Not owned; must outlive the button or be reset first.
    HoverButtonDelegate* delegate = nullptr;

    bool entered() const { return entered_; }
    bool drawBackground() const { return drawBackground_; }
    void setDrawBackground(bool value);
    // The image shown now.
    const QIcon& image() const { return image_; }
    // 0.5 while pressed, 1 otherwise.
    qreal alpha() const { return alpha_; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QIcon image_;
    bool entered_ = false;
    bool drawBackground_ = false;
    qreal alpha_ = 1.0;
};

}  // namespace klosia
