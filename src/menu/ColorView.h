#pragma once

#include <QColor>
#include <QWidget>

namespace klosia {

// A plain view that fills a rounded rectangle with one colour. Changing the colour or the
// radius does not repaint by itself: callers that change them while shown call update().
class ColorView : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QColor color READ color WRITE setColor)
    Q_PROPERTY(qreal radius READ radius WRITE setRadius)

public:
    explicit ColorView(QWidget* parent = nullptr);

    // The palette's base colour until one is set.
    QColor color() const;
    void setColor(const QColor& color) { color_ = color; }
    qreal radius() const { return radius_; }
    void setRadius(qreal radius) { radius_ = radius; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QColor color_;
    qreal radius_ = 0;
};

}  // namespace klosia
