#pragma once

#include <QWidget>

#include "preferences/PreferenceTab.h"

namespace klosia {

class Dispatcher;
class PreferencesAboutViewController;
class PreferencesGeneralViewController;
class PreferencesShortcutsViewController;
class PreferencesSupportViewController;

// The preferences window's content: the four panes on top of one another, one visible at a time.
class PreferencesViewController : public QWidget {
    Q_OBJECT

public:
    explicit PreferencesViewController(Dispatcher& dispatcher, QWidget* parent = nullptr);

    // Makes the tab's pane the visible one. Showing General leaves no control with the keyboard
    // focus, so that typing does not land in its amount field until the user goes there.
    void showPane(PreferenceTab tab);

    QWidget* pane(PreferenceTab tab) const;

    PreferencesGeneralViewController* preferencesGeneralViewController() const { return general_; }
    PreferencesShortcutsViewController* preferencesShortcutsViewController() const {
        return shortcuts_;
    }
    PreferencesSupportViewController* preferencesSupportViewController() const { return support_; }
    PreferencesAboutViewController* preferencesAboutViewController() const { return about_; }

private:
    PreferencesGeneralViewController* general_;
    PreferencesShortcutsViewController* shortcuts_;
    PreferencesSupportViewController* support_;
    PreferencesAboutViewController* about_;
};

}  // namespace klosia
