#pragma once

#include <QString>

#include <array>
#include <optional>

namespace klosia {

// The tabs of the preferences window, in tool-bar order.
enum class PreferenceTab { general, shortcuts, support, about };

inline constexpr std::array<PreferenceTab, 4> kAllPreferenceTabs = {
    PreferenceTab::general, PreferenceTab::shortcuts, PreferenceTab::support, PreferenceTab::about};

// "General", "Shortcut", "Support", "About": the tab's identifier and the window title while it
// is shown. The shortcut tab is singular here although its case is plural.
QString rawValue(PreferenceTab tab);
std::optional<PreferenceTab> preferenceTabFromRawValue(const QString& raw);

// The window's height for the tab, title bar included, as the design gives it.
int windowHeight(PreferenceTab tab);

// The height of a standard title bar inside those figures. The window manager draws its own title
// bar outside our window, so we take this off and keep the rest for the tool bar and the pane.
inline constexpr int kStandardTitleBarHeight = 28;

// What our own window is given: windowHeight() without the standard title bar.
inline int contentHeight(PreferenceTab tab) {
    return windowHeight(tab) - kStandardTitleBarHeight;
}

}  // namespace klosia
