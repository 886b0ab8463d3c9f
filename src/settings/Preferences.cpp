#include "settings/Preferences.h"

#include <atomic>

#include "core/JsonFragment.h"
#include "core/NotificationBus.h"
#include "log/Vezizur.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/UserDefaults.h"
#include "settings/LaunchAtLogin.h"

namespace klosia {

namespace {

std::atomic<Preferences*> installedShared{nullptr};

std::string text(bool value) {
    return value ? "true" : "false";
}

QByteArray encode(bool value) {
    return value ? QByteArrayLiteral("true") : QByteArrayLiteral("false");
}

QByteArray encode(QuitOption value) {
    return jsonFragmentText(QJsonValue(rawValue(value)));
}

template <typename Record>
QByteArray encode(const Record& record) {
    return jsonFragmentText(QJsonValue(record.toJson()));
}

// Decoding is strict: a number is not a Boolean, an unknown text is not a quit option.
std::optional<bool> decodeBool(const QJsonValue& value) {
    if (!value.isBool()) {
        return std::nullopt;
    }
    return value.toBool();
}

std::optional<QuitOption> decodeQuitOption(const QJsonValue& value) {
    if (!value.isString()) {
        return std::nullopt;
    }
    return quitOptionFromRawValue(value.toString());
}

template <typename Record>
std::optional<std::shared_ptr<Record>> decodeRecord(const QJsonValue& value) {
    auto record = Record::fromJson(value);
    if (!record) {
        return std::nullopt;
    }
    return std::make_shared<Record>(std::move(*record));
}

std::shared_ptr<GlobalShortcut> shortcut(Key key, ModifierFlags modifiers) {
    auto record = std::make_shared<GlobalShortcut>();
    record->key = key;
    record->modifiers = modifiers;
    return record;
}

}  // namespace

Preferences::Preferences(UserDefaults& defaults) : defaults_(defaults) {
    restoreDefaults();
}

Preferences& Preferences::shared() {
    if (Preferences* instance = installedShared.load(std::memory_order_acquire)) {
        return *instance;
    }
    static Preferences* program = [] {
        auto* created = new Preferences(standardUserDefaults());  // lives for the whole run
        created->load();
        return created;
    }();
    return *program;
}

void Preferences::setShared(Preferences* instance) {
    installedShared.store(instance, std::memory_order_release);
}

std::shared_ptr<InactiveAppsAfter> Preferences::defaultQuitInactiveAppsAfter() {
    return std::make_shared<InactiveAppsAfter>();
}

std::shared_ptr<GlobalShortcut> Preferences::defaultShortcutActivate() {
    return shortcut(Key::escape, ModifierFlags::control | ModifierFlags::option);
}

std::shared_ptr<GlobalShortcut> Preferences::defaultShortcutQuit() {
    return shortcut(Key::q, ModifierFlags::control | ModifierFlags::option);
}

std::shared_ptr<GlobalShortcut> Preferences::defaultShortcutForceQuit() {
    return shortcut(Key::q,
                    ModifierFlags::control | ModifierFlags::option | ModifierFlags::command);
}

void Preferences::restoreDefaults() {
    startLogin_ = false;
    playSounds_ = false;
    showBackgroundApps_ = false;
    groupBackgroundApps_ = true;
    quitInactiveAppsAfter_ = defaultQuitInactiveAppsAfter();
    disableTips_ = false;
    quitOption_ = QuitOption::quit;
    deselectApps_ = false;
    shortcutActivate_ = defaultShortcutActivate();
    shortcutQuit_ = defaultShortcutQuit();
    shortcutForceQuit_ = defaultShortcutForceQuit();
}

void Preferences::store(QLatin1String key, const QByteArray& json) {
    defaults_.set(key, json);
    defaults_.synchronize();
}

void Preferences::announce(const char* property, const std::string& value,
                           const QString* specificName) {
    notify(names::preferencesDidChanged);
    if (specificName != nullptr) {
        notify(*specificName);
    }
    logger.log(std::string("save ") + property + " = " + value, VezizurLevel::info);
}

void Preferences::setStartLogin(bool value) {
    startLogin_ = value;
    announce("startLogin", text(value));
    // Applied before the write so that a failed write still changes the login state.
    LaunchAtLogin::setEnabled(value);
    store(kStartLogin, encode(value));
}

void Preferences::setPlaySounds(bool value) {
    playSounds_ = value;
    announce("playSounds", text(value));
    store(kPlaySound, encode(value));
}

void Preferences::setShowBackgroundApps(bool value) {
    showBackgroundApps_ = value;
    announce("showBackgroundApps", text(value));
    store(kShowBackgroundApps, encode(value));
}

void Preferences::setGroupBackgroundApps(bool value) {
    groupBackgroundApps_ = value;
    announce("groupBackgroundApps", text(value));
    store(kGroupBackgroundApps, encode(value));
}

void Preferences::setQuitInactiveAppsAfter(std::shared_ptr<InactiveAppsAfter> value) {
    quitInactiveAppsAfter_ = value ? std::move(value) : defaultQuitInactiveAppsAfter();
    announce("quitInactiveAppsAfter", quitInactiveAppsAfter_->description().toStdString());
    store(kQuitInactiveAppsAfter, encode(*quitInactiveAppsAfter_));
}

void Preferences::setDisableTips(bool value) {
    disableTips_ = value;
    announce("disableTips", text(value));
    store(kDisableTips, encode(value));
}

void Preferences::setQuitOption(QuitOption value) {
    quitOption_ = value;
    announce("quitOption", caseName(value));
    store(kQuitOption, encode(value));
}

void Preferences::setDeselectApps(bool value) {
    deselectApps_ = value;
    announce("deselectApps", text(value), &names::menuDeselectedAppsDidChanged);
    store(kDeselectApps, encode(value));
}

void Preferences::setShortcutActivate(std::shared_ptr<GlobalShortcut> value) {
    shortcutActivate_ = value ? std::move(value) : defaultShortcutActivate();
    announce("shortcutActivate", shortcutActivate_->description().toStdString(),
             &names::shortcutsDidChanged);
    store(kShortcutActivate, encode(*shortcutActivate_));
}

void Preferences::setShortcutQuit(std::shared_ptr<GlobalShortcut> value) {
    shortcutQuit_ = value ? std::move(value) : defaultShortcutQuit();
    announce("shortcutQuit", shortcutQuit_->description().toStdString(),
             &names::shortcutsDidChanged);
    store(kShortcutQuit, encode(*shortcutQuit_));
}

void Preferences::setShortcutForceQuit(std::shared_ptr<GlobalShortcut> value) {
    shortcutForceQuit_ = value ? std::move(value) : defaultShortcutForceQuit();
    announce("shortcutForceQuit", shortcutForceQuit_->description().toStdString(),
             &names::shortcutsDidChanged);
    store(kShortcutForceQuit, encode(*shortcutForceQuit_));
}

void Preferences::load() {
    // A missing key, a value that is not data, or data that does not decode keeps the value
    // in force, silently; nothing is written back.
    const auto read = [this](QLatin1String key) -> std::optional<QJsonValue> {
        const auto data = defaults_.data(key);
        if (!data) {
            return std::nullopt;
        }
        return parseJsonFragment(*data);
    };
    const auto loadBool = [&](QLatin1String key, const char* name, bool& field) {
        const auto json = read(key);
        const auto value = json ? decodeBool(*json) : std::nullopt;
        if (value) {
            logger.log(std::string("load ") + name + " = " + text(*value), VezizurLevel::info);
            field = *value;
        }
        return value;
    };
    const auto loadShortcut = [&](QLatin1String key, const char* name,
                                  std::shared_ptr<GlobalShortcut>& field) {
        const auto json = read(key);
        if (auto value = json ? decodeRecord<GlobalShortcut>(*json) : std::nullopt) {
            logger.log(std::string("load ") + name + " = " + (*value)->description().toStdString(),
                       VezizurLevel::info);
            field = std::move(*value);
        }
    };

    if (const auto login = loadBool(kStartLogin, "startLogin", startLogin_)) {
        LaunchAtLogin::setEnabled(*login);
    }
    bool playSounds = playSounds_;
    loadBool(kPlaySound, "playSounds", playSounds);
    playSounds_ = playSounds;
    loadBool(kShowBackgroundApps, "showBackgroundApps", showBackgroundApps_);
    loadBool(kGroupBackgroundApps, "groupBackgroundApps", groupBackgroundApps_);
    if (const auto json = read(kQuitInactiveAppsAfter)) {
        if (auto value = decodeRecord<InactiveAppsAfter>(*json)) {
            logger.log("load quitInactiveAppsAfter = " + (*value)->description(),
                       VezizurLevel::info);
            quitInactiveAppsAfter_ = std::move(*value);
        }
    }
    loadBool(kDisableTips, "disableTips", disableTips_);
    if (const auto json = read(kQuitOption)) {
        if (const auto value = decodeQuitOption(*json)) {
            logger.log(std::string("load quitOption = ") + caseName(*value), VezizurLevel::info);
            quitOption_ = *value;
        }
    }
    loadBool(kDeselectApps, "deselectApps", deselectApps_);
    loadShortcut(kShortcutActivate, "shortcutActivate", shortcutActivate_);
    loadShortcut(kShortcutQuit, "shortcutQuit", shortcutQuit_);
    loadShortcut(kShortcutForceQuit, "shortcutForceQuit", shortcutForceQuit_);

    notify(names::preferencesDidChanged);
}

void Preferences::reset() {
    logger.log("reset preferences", VezizurLevel::info);
    // Fresh records: objects that other code still holds keep their old values.
    restoreDefaults();
    if (onResetInactivityTracking) {
        onResetInactivityTracking();
    }
    for (const QLatin1String key :
         {kStartLogin, kPlaySound, kShowBackgroundApps, kGroupBackgroundApps,
          kQuitInactiveAppsAfter, kDisableTips, kQuitOption, kDeselectApps, kShortcutActivate,
          kShortcutQuit, kShortcutForceQuit}) {
        defaults_.remove(key);
    }
    defaults_.synchronize();
    notify(names::preferencesDidChanged);
}

}  // namespace klosia
