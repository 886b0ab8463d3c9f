#pragma once

#include <QWidget>

#include "preferences/PreferenceTab.h"

namespace klosia {

class Dispatcher;
class PreferencesGeneralViewController;
class PreferencesShortcutsViewController;

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
    // The Support and About tabs say "Coming soon" until their panes exist.
    QWidget* preferencesSupportViewController() const { return support_; }
    QWidget* preferencesAboutViewController() const { return about_; }

private:
    QWidget* comingSoon(const QString& name);

    PreferencesGeneralViewController* general_;
    PreferencesShortcutsViewController* shortcuts_;
    QWidget* support_;
    QWidget* about_;
};

}  // namespace klosia
