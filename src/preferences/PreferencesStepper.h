#pragma once

#include <QWidget>

class QToolButton;

namespace klosia {

// A stepper: two small arrow buttons that count a whole number up and down, without a field of
// its own (the pane's amount field sits next to it and follows it). Up and Down step it from the
// keyboard. Only the user's steps emit stepped(); setValue() is silent.
class PreferencesStepper : public QWidget {
    Q_OBJECT

public:
    explicit PreferencesStepper(QWidget* parent = nullptr);

    int value() const { return value_; }
    // Clamped to the range.
    void setValue(int value);
    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    void setRange(int minimum, int maximum);

    QToolButton* upButton() const { return up_; }
    QToolButton* downButton() const { return down_; }

    // One step up (+1) or down (-1), as a press of an arrow does.
    void stepBy(int steps);

Q_SIGNALS:
    void stepped(int value);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh();

    QToolButton* up_;
    QToolButton* down_;
    int value_ = 0;
    int minimum_ = 0;
    int maximum_ = 99;
};

}  // namespace klosia
