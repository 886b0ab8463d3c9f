#pragma once

#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "settings/GlobalShortcut.h"
#include "settings/InactiveAppsAfter.h"
#include "settings/QuitOption.h"

namespace klosia {

class UserDefaults;

// The user's settings. Every assignment stores the value, announces it on the bus, logs it and
// writes the user defaults at once; reading never fails loudly.
class Preferences {
public:
    // The keys of the user defaults, in declaration order. Constant expressions, so other
    // parts may use them during static initialisation.
    static constexpr QLatin1String kStartLogin{"kUserdefaultsStartLogin"};
    static constexpr QLatin1String kPlaySound{"kUserdefaultsPlaySound"};
    static constexpr QLatin1String kShowBackgroundApps{"kUserdefaultsShowBackgroundApps"};
    static constexpr QLatin1String kGroupBackgroundApps{"kUserdefaultsGroupBackgroundApps"};
    static constexpr QLatin1String kQuitInactiveAppsAfter{"kUserdefaultsQuitInactiveAppsAfter"};
    static constexpr QLatin1String kDisableTips{"kUserdefaultsDisableTips"};
    static constexpr QLatin1String kQuitOption{"kUserdefaultsQuitOption"};
    static constexpr QLatin1String kDeselectApps{"kUserdefaultsDeselectApps"};
    static constexpr QLatin1String kShortcutActivate{"kUserdefaultsShortcutActivate"};
    static constexpr QLatin1String kShortcutQuit{"kUserdefaultsShortcutQuit"};
    static constexpr QLatin1String kShortcutForceQuit{"kUserdefaultsShortcutForceQuit"};

    // Holds the defaults; call load() to read the stored values.
    explicit Preferences(UserDefaults& defaults);
    Preferences(const Preferences&) = delete;
    Preferences& operator=(const Preferences&) = delete;

    // The program's instance: created on first use over the standard user defaults, then
    // loaded. Tests install their own with setShared().
    static Preferences& shared();
    static void setShared(Preferences* instance);

    void load();
    void reset();

    bool startLogin() const { return startLogin_; }
    void setStartLogin(bool value);
    // Safe from any thread: sounds read it on the background queue when they start.
    bool playSounds() const { return playSounds_.load(std::memory_order_relaxed); }
    void setPlaySounds(bool value);
    bool showBackgroundApps() const { return showBackgroundApps_; }
    void setShowBackgroundApps(bool value);
    bool groupBackgroundApps() const { return groupBackgroundApps_; }
    void setGroupBackgroundApps(bool value);
    // Records are held by reference: a field changed in place is in force at once but is
    // saved only when the record is assigned back.
    std::shared_ptr<InactiveAppsAfter> quitInactiveAppsAfter() const {
        return quitInactiveAppsAfter_;
    }
    void setQuitInactiveAppsAfter(std::shared_ptr<InactiveAppsAfter> value);
    bool disableTips() const { return disableTips_; }
    void setDisableTips(bool value);
    QuitOption quitOption() const { return quitOption_; }
    void setQuitOption(QuitOption value);
    bool deselectApps() const { return deselectApps_; }
    void setDeselectApps(bool value);
    std::shared_ptr<GlobalShortcut> shortcutActivate() const { return shortcutActivate_; }
    void setShortcutActivate(std::shared_ptr<GlobalShortcut> value);
    std::shared_ptr<GlobalShortcut> shortcutQuit() const { return shortcutQuit_; }
    void setShortcutQuit(std::shared_ptr<GlobalShortcut> value);
    std::shared_ptr<GlobalShortcut> shortcutForceQuit() const { return shortcutForceQuit_; }
    void setShortcutForceQuit(std::shared_ptr<GlobalShortcut> value);

    // Factory values of the records.
    static std::shared_ptr<InactiveAppsAfter> defaultQuitInactiveAppsAfter();
    static std::shared_ptr<GlobalShortcut> defaultShortcutActivate();
    static std::shared_ptr<GlobalShortcut> defaultShortcutQuit();
    static std::shared_ptr<GlobalShortcut> defaultShortcutForceQuit();

    // Run by reset() to forget the inactivity tracking of the application, when there is one.
    std::function<void()> onResetInactivityTracking;

private:
    void restoreDefaults();
    // Steps shared by every setter once the field holds the new value: the general post, the
    // setting's specific post if it has one, and the log line.
    void announce(const char* property, const std::string& value,
                  const QString* specificName = nullptr);
    void store(QLatin1String key, const QByteArray& json);

    UserDefaults& defaults_;
    bool startLogin_ = false;
    std::atomic<bool> playSounds_{false};
    bool showBackgroundApps_ = false;
    bool groupBackgroundApps_ = true;
    std::shared_ptr<InactiveAppsAfter> quitInactiveAppsAfter_;
    bool disableTips_ = false;
    QuitOption quitOption_ = QuitOption::quit;
    bool deselectApps_ = false;
    std::shared_ptr<GlobalShortcut> shortcutActivate_;
    std::shared_ptr<GlobalShortcut> shortcutQuit_;
    std::shared_ptr<GlobalShortcut> shortcutForceQuit_;
};

}  // namespace klosia
