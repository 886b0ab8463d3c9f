#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "core/Notification.h"

namespace Ui {
class PreferencesGeneralView;
}

namespace klosia {

class Dispatcher;
class InactiveAppsAfter;

// The General tab: the everyday settings, each control a view of Preferences. The pane keeps no
// settings of its own; every "PreferencesDidChanged", from wherever it comes, reloads all
// controls through a queued updateUI().
class PreferencesGeneralViewController : public QWidget {
    Q_OBJECT

public:
    // `dispatcher` is the main queue that updateUI() is queued on.
    explicit PreferencesGeneralViewController(Dispatcher& dispatcher, QWidget* parent = nullptr);
    ~PreferencesGeneralViewController() override;

    // Empties the application's tracking of inactive applications; called whenever the user
    // switches the automatic quitting on or off, before the rule is saved.
    void setInactivityReset(std::function<void()> reset) { inactivityReset_ = std::move(reset); }

    void preferencesDidChangedNotification(const Notification& notification);
    // Reloads every control from Preferences. Runs queued on the main queue.
    void updateUI();

    // The amount a typed text stands for: a whole number, optionally signed, nothing else. A
    // negative amount is no amount: it would quit every background application at once.
    static std::optional<std::int64_t> parseAmount(const QString& text);
    // "minute" or "minutes" (and hour, day) for the amount shown.
    static QString unitTitle(int tag, std::int64_t amount);

    // Saves an amount typed into the field and not yet saved.
    void commitTypedAmount();

    // The actions of the controls.
    void generalStartLoginBtPress();
    void generalPlaySoundsBtPress();
    void generalShowBackgroundAppsBtPress();
    void generalGroupBackgroundAppsBttPress();
    void generalDeselectAppsBtPress();
    void generalQuitInactiveAppsAfterBtPress();
    void generalQuitInactiveAppsAfterStepperPress();
    void generalQuitInactiveAppsAfterTime();
    void generalDisableTipsBtPress();
    void generalDefaultOptionBtPress();
    void generalResetBtPress();
    // The user edited the amount field.
    void controlTextDidChange(const QString& text);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    void queueUpdateUI();
    void saveRule(const std::shared_ptr<InactiveAppsAfter>& rule);

    Dispatcher& dispatcher_;
    std::unique_ptr<Ui::PreferencesGeneralView> ui_;
    std::function<void()> inactivityReset_;
    // The rule whose amount the user typed and that was not assigned back since.
    std::weak_ptr<InactiveAppsAfter> typedRule_;
};

}  // namespace klosia
