#pragma once

#include <QWidget>

#include <functional>

class QLabel;
class QPushButton;

namespace klosia {

// The line above the list where the desktop lets the list show only part of what runs: what it
// shows, and a button for the one step that would show more.
class MenuBannerView final : public QWidget {
    Q_OBJECT

public:
    // Two rows' height.
    static constexpr int kHeight = 54;

    explicit MenuBannerView(QWidget* parent = nullptr);

    // Hidden while `text` is empty; no button without a title.
    void setBanner(const QString& text, const QString& buttonTitle, std::function<void()> press);
    QLabel* label() const { return label_; }
    QPushButton* button() const { return button_; }

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QLabel* label_;
    QPushButton* button_;
    std::function<void()> press_;
};

}  // namespace klosia
