#pragma once

#include <QWidget>

namespace klosia {

class ColorView;
class HoverButton;
class RotateLabel;

// The bottom of the menu: the main button, a white title on the accent colour, with the
// settings button beside it, and the tip line under them.
class MenuFooterView final : public QWidget {
    Q_OBJECT

public:
    // The settings button's square side and the gap between it and the main button.
    static constexpr int kSettingsSize = 32;
    static constexpr int kSettingsGap = 6;

    explicit MenuFooterView(QWidget* parent = nullptr);

    HoverButton* klosiaBt() const { return klosiaBt_; }
    HoverButton* settingsBt() const { return settingsBt_; }
    RotateLabel* rotateLabel() const { return rotateLabel_; }
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
    RotateLabel* rotateLabel_;
};

}  // namespace klosia
