#include "preferences/PreferencesViewController.h"

#include <QGridLayout>

#include "preferences/PreferencesAboutViewController.h"
#include "preferences/PreferencesGeneralViewController.h"
#include "preferences/PreferencesShortcutsViewController.h"
#include "preferences/PreferencesSupportViewController.h"

namespace klosia {

PreferencesViewController::PreferencesViewController(Dispatcher& dispatcher, QWidget* parent)
    : QWidget(parent),
      general_(new PreferencesGeneralViewController(dispatcher, this)),
      shortcuts_(new PreferencesShortcutsViewController(dispatcher, this)),
      support_(new PreferencesSupportViewController(this)),
      about_(new PreferencesAboutViewController(dispatcher, this)) {
    // One cell for all panes: a hidden pane takes no room, so the visible one alone sizes it.
    auto* layout = new QGridLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    for (PreferenceTab tab : kAllPreferenceTabs) {
        layout->addWidget(pane(tab), 0, 0);
    }
    showPane(PreferenceTab::general);
}

QWidget* PreferencesViewController::pane(PreferenceTab tab) const {
    switch (tab) {
        case PreferenceTab::general:
            return general_;
        case PreferenceTab::shortcuts:
            return shortcuts_;
        case PreferenceTab::support:
            return support_;
        case PreferenceTab::about:
            return about_;
    }
    return general_;
}

void PreferencesViewController::showPane(PreferenceTab tab) {
    for (PreferenceTab each : kAllPreferenceTabs) {
        pane(each)->setVisible(each == tab);
    }
    if (tab == PreferenceTab::general) {
        // The content itself holds the focus: with no focus widget at all, activating the window
        // would hand the focus to the first control in the tab order.
        setFocus(Qt::OtherFocusReason);
    }
}

}  // namespace klosia
