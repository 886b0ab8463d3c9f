#pragma once

#include <QWidget>

#include <array>
#include <functional>
#include <memory>

#include "core/Notification.h"
#include "preferences/ShortcutRecorderType.h"

class QCheckBox;
class QLabel;
class QPushButton;

namespace Ui {
class PreferencesShortcutsView;
}

namespace klosia {

class Dispatcher;
class SettingsViewRecorder;

// The Shortcut tab: one row per global shortcut (show the menu, quit all, force quit all), each
// with an enable box, a recorder and a delete button. Like the General tab it keeps no state of
// its own and redraws every row on each "PreferencesDidChanged"; the setters' "ShortcutsDidChanged"
// re-registers the hot keys.
class PreferencesShortcutsViewController : public QWidget {
    Q_OBJECT

public:
    explicit PreferencesShortcutsViewController(Dispatcher& dispatcher, QWidget* parent = nullptr);
    ~PreferencesShortcutsViewController() override;

    void preferencesDidChangedNotification(const Notification& notification);
    // Redraws the three rows from Preferences. Runs queued on the main queue.
    void updateUI();

    void activateShortcutEnableBtPress();
    void activateShortcutDeleteBtPress();
    void klosiaShortcutEnableBtPress();
    void klosiaShortcutDeleteBtPress();
    void forceKlosiaShortcutEnableBtPress();
    void forceKlosiaShortcutDeleteBtPress();

    SettingsViewRecorder* recorder(ShortcutRecorderType type) const;

    // Where the desktop gives no program global shortcuts (sway, other Wayland compositors): a
    // text at the top of the tab that says how to bind Klosia's commands instead, and the rows,
    // which could not take effect, disabled. Empty: the rows as usual.
    // Where the desktop itself decides the keys (KDE's portal), `settingsTitle` names a button
    // that runs `openSettings`, the desktop's own shortcut settings.
    void setDesktopNotice(const QString& notice, const QString& settingsTitle = {},
                          std::function<void()> openSettings = {});
    QLabel* desktopNotice() const { return notice_; }
    QPushButton* desktopSettingsButton() const { return settingsBt_; }

private:
    struct Row {
        ShortcutRecorderType type;
        QCheckBox* enableBt;
        SettingsViewRecorder* recorder;
        QPushButton* deleteBt;
    };

    std::array<Row, 3> rows() const;
    Row row(ShortcutRecorderType type) const;
    void enablePress(ShortcutRecorderType type);
    void deletePress(ShortcutRecorderType type);
    void queueUpdateUI();

    Dispatcher& dispatcher_;
    std::unique_ptr<Ui::PreferencesShortcutsView> ui_;
    QLabel* notice_ = nullptr;
    QPushButton* settingsBt_ = nullptr;
    std::function<void()> openSettings_;
};

}  // namespace klosia
