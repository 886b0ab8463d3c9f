#pragma once

#include <QMenu>

class QAction;

namespace klosia {

class Preferences;

// The settings menu of the menu window's settings button and of the tray icon's right press:
// show or hide background applications, the preferences window, a message to support, and
// quitting the program. The first item names what choosing it does with the setting of the
// moment, so the items are refreshed each time the menu is about to show.
//
// The keys it shows next to its items, Ctrl+B and Ctrl+Q, work while it is open (each press
// chooses its item once and closes the menu); the menu window acts on them too.
class SettingsMenu final : public QMenu {
    Q_OBJECT

public:
    static constexpr int kImageSize = 16;

    // `preferences` must outlive the menu.
    explicit SettingsMenu(Preferences& preferences, QWidget* parent = nullptr);

    // Brings titles and images in line with the settings and the palette.
    void refresh();
    // Pops the menu up under `button` (over it where the screen has no room below), with no
    // item chosen, from a press or from the keyboard.
    void popUp(const QWidget& button);

    QAction* backgroundAppsItem() const { return backgroundAppsItem_; }
    QAction* preferencesItem() const { return preferencesItem_; }
    QAction* helpItem() const { return helpItem_; }
    QAction* quitItem() const { return quitItem_; }

    // The items' actions. Each logs its own name first.
    // Shows background applications when they are hidden and hides them when shown, then
    // announces "MenuDidChanged" so the list is rebuilt.
    void backgroundAppsItemPress(QAction* item);
    // Closes the menu window, then opens the preferences window.
    void preferencesItemPress(QAction* item);
    // A new message to support in the desktop's mail program.
    void helpItemPress(QAction* item);
    // Ends the program the normal way: the event loop ends, start-up's objects are torn down.
    void quitItemPress(QAction* item);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    QAction* addItem(void (SettingsMenu::*action)(QAction*));
    QAction* itemForKey(const QKeyEvent& event) const;

    Preferences& preferences_;
    QAction* backgroundAppsItem_;
    QAction* preferencesItem_;
    QAction* helpItem_;
    QAction* quitItem_;
};

}  // namespace klosia
