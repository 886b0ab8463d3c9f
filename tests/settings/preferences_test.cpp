#include <gtest/gtest.h>
#include <QJsonDocument>
#include <QJsonObject>

#include "core/NotificationBus.h"
#include "fakes/FakeLoginItems.h"
#include "fakes/ManualDispatcher.h"
#include "fakes/RecordingDefaults.h"
#include "settings/LaunchAtLogin.h"
#include "settings/Preferences.h"
#include "support/LogCapture.h"

using namespace klosia;

namespace {

const std::vector<QString> kAllKeys = {Preferences::kStartLogin,
                                       Preferences::kPlaySound,
                                       Preferences::kShowBackgroundApps,
                                       Preferences::kGroupBackgroundApps,
                                       Preferences::kQuitInactiveAppsAfter,
                                       Preferences::kDisableTips,
                                       Preferences::kQuitOption,
                                       Preferences::kDeselectApps,
                                       Preferences::kShortcutActivate,
                                       Preferences::kShortcutQuit,
                                       Preferences::kShortcutForceQuit};

class PreferencesTest : public ::testing::Test {
public:
    PreferencesTest() : bus(dispatcher) {
        NotificationBus::setDefaultCenter(&bus);
        LaunchAtLogin::setBackend(&login);
        for (const QString& name : {names::preferencesDidChanged, names::shortcutsDidChanged,
                                    names::menuDeselectedAppsDidChanged}) {
            bus.observe(
                &owner,
                [this](const Notification& n) {
                    // What an observer finds in the store when it runs.
                    posts.push_back(n.name);
                    const auto stored = defaults.data(watchedKey);
                    storedAtDelivery.push_back(stored ? *stored : QByteArray("<absent>"));
                },
                name);
        }
    }
    ~PreferencesTest() override {
        NotificationBus::setDefaultCenter(nullptr);
        LaunchAtLogin::setBackend(nullptr);
    }

protected:
    QByteArray stored(const QString& key) const { return defaults.data(key).value_or("<absent>"); }
    QJsonObject storedObject(const QString& key) const {
        return QJsonDocument::fromJson(stored(key)).object();
    }
    void deliver() {
        posts.clear();
        storedAtDelivery.clear();
        dispatcher.runUntilIdle();
    }

    test::LogCapture capture;
    test::ManualDispatcher dispatcher;
    NotificationBus bus;
    test::FakeLoginItems login;
    test::RecordingDefaults defaults;
    QObject owner;
    QString watchedKey;
    QStringList posts;
    std::vector<QByteArray> storedAtDelivery;
};

}  // namespace

TEST_F(PreferencesTest, FirstStartKeepsDefaultsAndPostsOnce) {
    Preferences prefs(defaults);
    prefs.load();
    deliver();
    EXPECT_EQ(posts, QStringList{names::preferencesDidChanged});
    EXPECT_TRUE(capture.matching("load ").empty());
    EXPECT_TRUE(login.writes.empty()) << "start at login must not be touched without a value";
    EXPECT_EQ(defaults.sets, 0);

    EXPECT_FALSE(prefs.startLogin());
    EXPECT_FALSE(prefs.playSounds());
    EXPECT_FALSE(prefs.showBackgroundApps());
    EXPECT_TRUE(prefs.groupBackgroundApps());
    EXPECT_FALSE(prefs.disableTips());
    EXPECT_EQ(prefs.quitOption(), QuitOption::quit);
    EXPECT_FALSE(prefs.deselectApps());
    EXPECT_EQ(prefs.quitInactiveAppsAfter()->description(),
              QStringLiteral("enabled: false, amount: 1, unit: hour"));
    EXPECT_EQ(prefs.shortcutActivate()->description(),
              QStringLiteral("key: ⎋, modifiers: ⌃⌥, enabled: false, deleted: false"));
    EXPECT_EQ(prefs.shortcutQuit()->description(),
              QStringLiteral("key: Q, modifiers: ⌃⌥, enabled: false, deleted: false"));
    EXPECT_EQ(prefs.shortcutForceQuit()->description(),
              QStringLiteral("key: Q, modifiers: ⌃⌥⌘, enabled: false, deleted: false"));
}

TEST_F(PreferencesTest, SettersStoreJsonTextLogAndPost) {
    Preferences prefs(defaults);
    prefs.setPlaySounds(true);
    prefs.setShowBackgroundApps(true);
    prefs.setGroupBackgroundApps(false);
    prefs.setDisableTips(true);
    prefs.setQuitOption(QuitOption::force);
    auto rule = std::make_shared<InactiveAppsAfter>();
    rule->enabled = true;
    rule->amount = 2;
    rule->unit = InactiveAppsAfterTime::minute;
    prefs.setQuitInactiveAppsAfter(rule);
    auto quit = Preferences::defaultShortcutQuit();
    quit->enabled = true;
    prefs.setShortcutQuit(quit);

    EXPECT_EQ(stored(QStringLiteral("kUserdefaultsPlaySound")), "true");
    EXPECT_EQ(stored(Preferences::kShowBackgroundApps), "true");
    EXPECT_EQ(stored(Preferences::kGroupBackgroundApps), "false");
    EXPECT_EQ(stored(Preferences::kDisableTips), "true");
    EXPECT_EQ(stored(Preferences::kQuitOption), "\"Force Quit\"");
    EXPECT_EQ(storedObject(Preferences::kQuitInactiveAppsAfter),
              (QJsonObject{{"enabled", true}, {"amount", 2}, {"unit", 60}}));
    EXPECT_EQ(
        storedObject(Preferences::kShortcutQuit),
        (QJsonObject{{"key", 12}, {"modifiers", 6144}, {"enabled", true}, {"deleted", false}}));
    EXPECT_GE(defaults.synchronizations, 7);

    for (const char* line :
         {"save playSounds = true", "save showBackgroundApps = true",
          "save groupBackgroundApps = false", "save disableTips = true", "save quitOption = force",
          "save quitInactiveAppsAfter = enabled: true, amount: 2, unit: minute",
          "save shortcutQuit = key: Q, modifiers: ⌃⌥, enabled: true, deleted: false"}) {
        EXPECT_EQ(capture.matching(line).size(), 1u) << line;
    }
    deliver();
    EXPECT_EQ(posts.count(names::preferencesDidChanged), 7);
    EXPECT_EQ(posts.count(names::shortcutsDidChanged), 1);
}

TEST_F(PreferencesTest, SpecificPostsFollowTheGeneralOneWithTheValueAlreadyStored) {
    Preferences prefs(defaults);
    watchedKey = Preferences::kDeselectApps;
    prefs.setDeselectApps(true);
    deliver();
    EXPECT_EQ(posts,
              (QStringList{names::preferencesDidChanged, names::menuDeselectedAppsDidChanged}));
    EXPECT_EQ(storedAtDelivery, (std::vector<QByteArray>{"true", "true"}));

    watchedKey = Preferences::kShortcutQuit;
    auto quit = Preferences::defaultShortcutQuit();
    quit->deleted = true;
    prefs.setShortcutQuit(quit);
    deliver();
    EXPECT_EQ(posts, (QStringList{names::preferencesDidChanged, names::shortcutsDidChanged}));
    ASSERT_EQ(storedAtDelivery.size(), 2u);
    EXPECT_TRUE(storedAtDelivery[0].contains("\"deleted\":true"));

    prefs.setStartLogin(true);
    prefs.setQuitInactiveAppsAfter(std::make_shared<InactiveAppsAfter>());
    prefs.setShortcutActivate(Preferences::defaultShortcutActivate());
    prefs.setShortcutForceQuit(Preferences::defaultShortcutForceQuit());
    deliver();
    EXPECT_EQ(posts, (QStringList{names::preferencesDidChanged, names::preferencesDidChanged,
                                  names::preferencesDidChanged, names::shortcutsDidChanged,
                                  names::preferencesDidChanged, names::shortcutsDidChanged}));
}

TEST_F(PreferencesTest, LoadReadsEveryStoredValueWithoutWritingBack) {
    {
        Preferences writer(defaults);
        writer.setStartLogin(true);
        writer.setPlaySounds(true);
        writer.setQuitOption(QuitOption::force);
        writer.setDeselectApps(true);
        auto rule = std::make_shared<InactiveAppsAfter>();
        rule->amount = 3;
        rule->unit = InactiveAppsAfterTime::day;
        writer.setQuitInactiveAppsAfter(rule);
        auto activate = std::make_shared<GlobalShortcut>();
        activate->enabled = true;
        writer.setShortcutActivate(activate);
    }
    deliver();
    login.writes.clear();
    capture.clear();
    const int setsBefore = defaults.sets;

    Preferences reader(defaults);
    reader.load();
    deliver();
    EXPECT_EQ(defaults.sets, setsBefore);
    EXPECT_EQ(posts, QStringList{names::preferencesDidChanged});
    EXPECT_TRUE(reader.startLogin());
    EXPECT_EQ(login.writes, std::vector<bool>{true});
    EXPECT_TRUE(reader.playSounds());
    EXPECT_EQ(reader.quitOption(), QuitOption::force);
    EXPECT_TRUE(reader.deselectApps());
    EXPECT_EQ(reader.quitInactiveAppsAfter()->amount, 3);
    EXPECT_EQ(reader.quitInactiveAppsAfter()->unit, InactiveAppsAfterTime::day);
    EXPECT_FALSE(reader.shortcutActivate()->key.has_value());
    EXPECT_TRUE(reader.shortcutActivate()->enabled);

    // Logged in declaration order, one line per stored setting.
    std::vector<std::string> loads;
    for (const auto& line : capture.matching(" load ")) {
        loads.push_back(line.substr(line.find(" load ") + 1));
    }
    EXPECT_EQ(loads,
              (std::vector<std::string>{
                  "load startLogin = true", "load playSounds = true",
                  "load quitInactiveAppsAfter = enabled: false, amount: 3, unit: day",
                  "load quitOption = force", "load deselectApps = true",
                  "load shortcutActivate = key: , modifiers: , enabled: true, deleted: false"}));
}

TEST_F(PreferencesTest, LoadIsStrictAboutStoredForms) {
    defaults.set(Preferences::kPlaySound, std::int64_t{1});                  // a number, not data
    defaults.set(Preferences::kShowBackgroundApps, QStringLiteral("true"));  // a string
    defaults.set(Preferences::kGroupBackgroundApps, QByteArray("0"));    // a number is no Boolean
    defaults.set(Preferences::kDisableTips, QByteArray("tru"));          // not JSON
    defaults.set(Preferences::kDeselectApps, QByteArray("true false"));  // two values
    defaults.set(Preferences::kQuitOption, QByteArray("\"force\""));     // not a raw value
    defaults.set(Preferences::kStartLogin, QByteArray("1"));
    defaults.set(Preferences::kQuitInactiveAppsAfter,
                 QByteArray(R"({"enabled":true,"amount":5})"));  // no unit
    defaults.set(Preferences::kShortcutQuit, QByteArray(R"({"key":0,"enabled":true})"));
    defaults.set(Preferences::kShortcutActivate,
                 QByteArray(R"({"key":"Q","enabled":true,"deleted":false})"));

    Preferences prefs(defaults);
    prefs.load();
    EXPECT_FALSE(prefs.playSounds());
    EXPECT_FALSE(prefs.showBackgroundApps());
    EXPECT_TRUE(prefs.groupBackgroundApps());
    EXPECT_FALSE(prefs.disableTips());
    EXPECT_FALSE(prefs.deselectApps());
    EXPECT_EQ(prefs.quitOption(), QuitOption::quit);
    EXPECT_FALSE(prefs.startLogin());
    EXPECT_TRUE(login.writes.empty());
    EXPECT_FALSE(prefs.quitInactiveAppsAfter()->enabled);
    EXPECT_EQ(prefs.shortcutQuit()->key, Key::q) << "a record without deleted is ignored whole";
    EXPECT_FALSE(prefs.shortcutActivate()->key.has_value()) << "a key of the wrong type is dropped";
    EXPECT_TRUE(prefs.shortcutActivate()->enabled);
    EXPECT_EQ(capture.matching(" load ").size(), 1u);

    defaults.set(Preferences::kQuitOption, QByteArray(" \"Force Quit\" "));
    prefs.load();
    EXPECT_EQ(prefs.quitOption(), QuitOption::force);
}

TEST_F(PreferencesTest, StartLoginFollowsTheSettingEvenWhenTheWriteFails) {
    Preferences prefs(defaults);
    defaults.failWrites = true;
    prefs.setStartLogin(true);
    EXPECT_TRUE(prefs.startLogin());
    EXPECT_EQ(login.writes, std::vector<bool>{true});
    EXPECT_EQ(stored(Preferences::kStartLogin), "<absent>");
    prefs.setStartLogin(true);
    EXPECT_EQ(login.writes, (std::vector<bool>{true, true}));
}

TEST_F(PreferencesTest, RecordsChangedInPlaceAreNotSaved) {
    Preferences prefs(defaults);
    prefs.quitInactiveAppsAfter()->amount = 5;
    EXPECT_EQ(prefs.quitInactiveAppsAfter()->amount, 5);
    EXPECT_EQ(defaults.sets, 0);
    deliver();
    EXPECT_TRUE(posts.isEmpty());
    prefs.setQuitInactiveAppsAfter(prefs.quitInactiveAppsAfter());
    EXPECT_EQ(storedObject(Preferences::kQuitInactiveAppsAfter).value("amount").toInt(), 5);
}

TEST_F(PreferencesTest, ResetRemovesEveryKeyAndKeepsHeldRecords) {
    Preferences prefs(defaults);
    int trackingResets = 0;
    prefs.onResetInactivityTracking = [&] { ++trackingResets; };
    prefs.setStartLogin(true);
    prefs.setPlaySounds(true);
    prefs.setShowBackgroundApps(true);
    prefs.setGroupBackgroundApps(false);
    prefs.setDisableTips(true);
    prefs.setQuitOption(QuitOption::force);
    prefs.setDeselectApps(true);
    auto rule = std::make_shared<InactiveAppsAfter>();
    rule->enabled = true;
    prefs.setQuitInactiveAppsAfter(rule);
    using Setter = void (Preferences::*)(std::shared_ptr<GlobalShortcut>);
    for (const Setter setter : {&Preferences::setShortcutActivate, &Preferences::setShortcutQuit,
                                &Preferences::setShortcutForceQuit}) {
        auto shortcut = std::make_shared<GlobalShortcut>();
        shortcut->enabled = true;
        (prefs.*setter)(shortcut);
    }
    const auto heldQuit = prefs.shortcutQuit();
    for (const QString& key : kAllKeys) {
        ASSERT_NE(stored(key), "<absent>") << key.toStdString();
    }
    deliver();
    login.writes.clear();

    prefs.reset();
    for (const QString& key : kAllKeys) {
        EXPECT_EQ(stored(key), "<absent>") << key.toStdString();
    }
    EXPECT_EQ(trackingResets, 1);
    EXPECT_TRUE(login.writes.empty()) << "reset leaves start at login alone";
    EXPECT_EQ(capture.matching("reset preferences").size(), 1u);
    EXPECT_FALSE(prefs.startLogin());
    EXPECT_FALSE(prefs.playSounds());
    EXPECT_TRUE(prefs.groupBackgroundApps());
    EXPECT_EQ(prefs.quitOption(), QuitOption::quit);
    EXPECT_FALSE(prefs.quitInactiveAppsAfter()->enabled);
    EXPECT_EQ(*prefs.shortcutQuit(), *Preferences::defaultShortcutQuit());
    EXPECT_NE(prefs.shortcutQuit(), heldQuit);
    EXPECT_TRUE(heldQuit->enabled) << "a record someone still holds is not changed";
    EXPECT_FALSE(rule == prefs.quitInactiveAppsAfter());
    deliver();
    EXPECT_EQ(posts, QStringList{names::preferencesDidChanged});
}

TEST_F(PreferencesTest, SharedCanBePointedAtATestInstance) {
    Preferences mine(defaults);
    Preferences::setShared(&mine);
    EXPECT_EQ(&Preferences::shared(), &mine);
    Preferences::setShared(nullptr);
    EXPECT_NE(&Preferences::shared(), &mine);
}
