#pragma once

#include <QWidget>

class QLabel;

namespace klosia {

class ColorView;
class HoverButton;

// The bottom of the menu: the main button, a white title on the accent colour, with the
// settings button beside it, and the tip line under them. The settings button and the tip line
// get their behaviour later; until then they stay hidden (no control that does nothing) while
// the footer keeps their room.
class MenuFooterView final : public QWidget {
    Q_OBJECT

public:
    explicit MenuFooterView(QWidget* parent = nullptr);

    HoverButton* klosiaBt() const { return klosiaBt_; }
    HoverButton* settingsBt() const { return settingsBt_; }
    QLabel* rotateLabel() const { return rotateLabel_; }
    // The colour behind the main button: the accent, paler while the button is disabled.
    ColorView* klosiaBackground() const { return klosiaBackground_; }

    // Follows the palette and the main button's enabled state.
    void updateColors();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    ColorView* klosiaBackground_;
    HoverButton* klosiaBt_;
    HoverButton* settingsBt_;
    QLabel* rotateLabel_;
};

}  // namespace klosia
