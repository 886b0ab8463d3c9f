#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "core/AppInfo.h"
#include "fakes/FakeRunningApplication.h"
#include "fakes/FakeWorkspace.h"
#include "fakes/RecordingDefaults.h"
#include "model/AppException.h"
#include "model/AppListRebuild.h"
#include "model/AppListState.h"

using namespace klosia;
using test::FakeRunningApplication;

namespace {

constexpr ActivationPolicy kRegular = ActivationPolicy::regular;
constexpr ActivationPolicy kAccessory = ActivationPolicy::accessory;
constexpr ActivationPolicy kProhibited = ActivationPolicy::prohibited;

RunningApplicationPtr app(const QString& name, const QString& id,
                          ActivationPolicy kind = kRegular) {
    return FakeRunningApplication::make(name, id, kind);
}

QStringList titles(const std::vector<MenuAppPtr>& list) {
    QStringList out;
    for (const auto& entry : list) {
        out << entry->title();
    }
    return out;
}

class RebuildTest : public ::testing::Test {
protected:
    std::vector<MenuAppPtr> rebuild(const std::vector<RunningApplicationPtr>& running) {
        return rebuildAppList(running, firstLaunch, deselected, settings, policies);
    }
    const MenuAppPtr& only(const std::vector<MenuAppPtr>& list) {
        EXPECT_EQ(list.size(), 1u);
        return list.front();
    }

    bool firstLaunch = true;
    DeselectedApps deselected;
    AppListSettings settings;
    AppPolicies policies;
};

}  // namespace

TEST_F(RebuildTest, LeavesOutExceptionsAndAppsWithoutNameOrIdentifier) {
    const QString self = QString::fromLatin1(appinfo::kApplicationId);
    const QString finder = QStringLiteral("com.apple.finder");
    EXPECT_EQ(QString(rawValue(AppException::klosia)), self);
    EXPECT_EQ(QString(rawValue(AppException::finder)), finder);
    policies.insert(self, MenuAppPolicy::always);
    policies.insert(finder, MenuAppPolicy::always);
    settings.showBackgroundApps = true;

    const auto list = rebuild({app(QStringLiteral("Klosia"), self),
                               app(QStringLiteral("Klosia"), self, kAccessory),
                               app(QStringLiteral("Finder"), finder), nullptr,
                               app(QString(), QStringLiteral("org.example.nameless")),
                               app(QStringLiteral("No id"), QString()),
                               app(QStringLiteral("Kate"), QStringLiteral("org.kde.kate"))});
    EXPECT_EQ(titles(list), QStringList{QStringLiteral("Kate")});
    EXPECT_FALSE(firstLaunch);
}

TEST_F(RebuildTest, BackgroundAppsAppearOnlyWhenShown) {
    const std::vector<RunningApplicationPtr> running = {
        app(QStringLiteral("Tray"), QStringLiteral("org.example.tray"), kAccessory),
        app(QStringLiteral("Helper"), QStringLiteral("org.example.helper"), kProhibited),
        app(QStringLiteral("Kate"), QStringLiteral("org.kde.kate"))};
    EXPECT_EQ(titles(rebuild(running)), QStringList{QStringLiteral("Kate")});

    settings.showBackgroundApps = true;
    EXPECT_EQ(
        titles(rebuild(running)),
        (QStringList{QStringLiteral("Helper"), QStringLiteral("Kate"), QStringLiteral("Tray")}));
}

TEST_F(RebuildTest, GroupingFoldsBackgroundProcessesIntoTheFirstEarlierEntry) {
    settings.showBackgroundApps = true;
    const QString id = QStringLiteral("org.mozilla.firefox");
    const auto bg1 = app(QStringLiteral("Firefox"), id, kProhibited);
    const auto bg2 = app(QStringLiteral("Firefox"), id, kAccessory);

    settings.groupBackgroundApps = false;
    EXPECT_EQ(titles(rebuild({bg1, bg2})),
              (QStringList{QStringLiteral("Firefox"), QStringLiteral("Firefox")}));

    settings.groupBackgroundApps = true;
    const auto grouped = rebuild({bg1, bg2});
    ASSERT_EQ(grouped.size(), 1u);
    EXPECT_EQ(grouped[0]->apps, (std::vector<RunningApplicationPtr>{bg1, bg2}));
    EXPECT_EQ(grouped[0]->title(), QStringLiteral("Firefox (2)"));

    // The first entry of the identifier takes the process, whatever kind made it, and a
    // regular process never joins anything.
    const auto reg1 = app(QStringLiteral("Firefox"), id);
    const auto reg2 = app(QStringLiteral("Firefox"), id);
    const auto mixed = rebuild({bg1, reg1, bg2, reg2});
    ASSERT_EQ(mixed.size(), 3u);
    EXPECT_EQ(mixed[0]->apps, (std::vector<RunningApplicationPtr>{bg1, bg2}));
    EXPECT_EQ(mixed[1]->apps, std::vector<RunningApplicationPtr>{reg1});
    EXPECT_EQ(mixed[2]->apps, std::vector<RunningApplicationPtr>{reg2});

    const auto regularFirst = rebuild({reg1, reg2, bg1, bg2});
    ASSERT_EQ(regularFirst.size(), 2u);
    EXPECT_EQ(regularFirst[0]->apps, (std::vector<RunningApplicationPtr>{reg1, bg1, bg2}));
    EXPECT_EQ(regularFirst[0]->title(), QStringLiteral("Firefox (3)"));
    EXPECT_EQ(regularFirst[1]->apps, std::vector<RunningApplicationPtr>{reg2});
}

TEST_F(RebuildTest, JoinedEntryKeepsItsOwnStateAndPolicy) {
    settings.showBackgroundApps = true;
    firstLaunch = false;
    const QString id = QStringLiteral("org.example.sync");
    deselected.insert(id, std::make_shared<MenuApp>());
    const auto regular = app(QStringLiteral("Sync"), id);
    const auto helper = app(QStringLiteral("Sync helper"), id, kProhibited);
    policies.insert(id, MenuAppPolicy::standard);

    const auto list = rebuild({regular, helper});
    const MenuAppPtr& entry = only(list);
    EXPECT_FALSE(entry->selected);
    EXPECT_EQ(entry->name, QStringLiteral("Sync"));
    EXPECT_EQ(entry->apps.size(), 2u);

    // Without grouping the helper gets its own entry with the stored policy's check state.
    settings.groupBackgroundApps = false;
    policies.insert(id, MenuAppPolicy::always);
    const auto apart = rebuild({regular, helper});
    ASSERT_EQ(apart.size(), 2u);
    EXPECT_TRUE(apart[1]->selected);
    EXPECT_EQ(apart[1]->policy, MenuAppPolicy::always);
    EXPECT_EQ(apart[1]->name, QStringLiteral("Sync helper"));
}

TEST_F(RebuildTest, StoredPolicyOverridesRememberedSelection) {
    firstLaunch = false;
    const QString always = QStringLiteral("org.example.always");
    const QString never = QStringLiteral("org.example.never");
    const QString standard = QStringLiteral("org.example.standard");
    policies = {{always, MenuAppPolicy::always},
                {never, MenuAppPolicy::never},
                {standard, MenuAppPolicy::standard}};
    const auto remembered = std::make_shared<MenuApp>();
    deselected.insert(always, remembered);
    deselected.insert(standard, remembered);

    const auto list = rebuild({app(QStringLiteral("A"), always), app(QStringLiteral("B"), never),
                               app(QStringLiteral("C"), standard)});
    ASSERT_EQ(list.size(), 3u);
    EXPECT_TRUE(list[0]->selected);
    EXPECT_EQ(list[0]->policy, MenuAppPolicy::always);
    EXPECT_FALSE(list[1]->selected);
    EXPECT_EQ(list[1]->policy, MenuAppPolicy::never);
    EXPECT_FALSE(list[2]->selected) << "a stored Standard follows the remembered choice";
    EXPECT_EQ(list[2]->policy, MenuAppPolicy::standard);
    // Policied entries leave the remembered selection alone.
    EXPECT_EQ(deselected.size(), 2);
    EXPECT_EQ(deselected.value(always), remembered);
    EXPECT_FALSE(deselected.contains(never));
}

TEST_F(RebuildTest, PolicyIgnoresTheFirstLaunchDefault) {
    settings.deselectApps = true;
    const QString id = QStringLiteral("org.example.standard");
    policies.insert(id, MenuAppPolicy::standard);
    EXPECT_TRUE(only(rebuild({app(QStringLiteral("S"), id)}))->selected);
    EXPECT_TRUE(deselected.isEmpty());
}

TEST_F(RebuildTest, FirstRebuildAppliesTheDefaultSelectionAndRemembersRegularAppsOnly) {
    settings.showBackgroundApps = true;
    settings.groupBackgroundApps = false;
    settings.deselectApps = true;
    const QString kate = QStringLiteral("org.kde.kate");
    const QString tray = QStringLiteral("org.example.tray");
    const std::vector<RunningApplicationPtr> running = {
        app(QStringLiteral("Kate"), kate), app(QStringLiteral("Tray"), tray, kAccessory)};

    const auto first = rebuild(running);
    ASSERT_EQ(first.size(), 2u);
    EXPECT_FALSE(first[0]->selected);
    EXPECT_FALSE(first[1]->selected);
    EXPECT_FALSE(firstLaunch);
    ASSERT_EQ(deselected.size(), 1);
    EXPECT_EQ(deselected.value(kate), first[0]) << "the map holds the listed entry itself";

    const auto second = rebuild(running);
    EXPECT_FALSE(second[0]->selected) << "remembered as unchecked";
    EXPECT_TRUE(second[1]->selected) << "background apps were not remembered";

    // Applying the default again with deselectApps off checks and forgets the regular one.
    firstLaunch = true;
    settings.deselectApps = false;
    const auto third = rebuild(running);
    EXPECT_TRUE(third[0]->selected);
    EXPECT_TRUE(third[1]->selected);
    EXPECT_TRUE(deselected.isEmpty());
}

TEST_F(RebuildTest, BackgroundAppsNeverChangeTheRememberedSelection) {
    settings.showBackgroundApps = true;
    firstLaunch = false;
    const QString id = QStringLiteral("org.example.tray");
    const auto remembered = std::make_shared<MenuApp>();
    deselected.insert(id, remembered);
    EXPECT_FALSE(only(rebuild({app(QStringLiteral("Tray"), id, kAccessory)}))->selected);
    EXPECT_EQ(deselected.value(id), remembered);

    deselected.clear();
    firstLaunch = true;
    settings.deselectApps = true;
    EXPECT_FALSE(only(rebuild({app(QStringLiteral("Tray"), id, kAccessory)}))->selected);
    EXPECT_TRUE(deselected.isEmpty());
}

TEST_F(RebuildTest, SortIsStableAndComparesUtf16CodeUnits) {
    const auto mailA = app(QStringLiteral("Mail"), QStringLiteral("a.mail"));
    const auto mailB = app(QStringLiteral("Mail"), QStringLiteral("b.mail"));
    const auto list = rebuild({app(QStringLiteral("mail"), QStringLiteral("x.mail")),
                               app(QStringLiteral("calendar"), QStringLiteral("calendar")),
                               app(QStringLiteral("Zoom"), QStringLiteral("zoom")), mailB,
                               app(QStringLiteral("Ärger"), QStringLiteral("aerger")),
                               // U+1F600 is a surrogate pair (0xD83D...): before U+FF21.
                               app(QString::fromUtf8("\U0001F600"), QStringLiteral("emoji")),
                               app(QString::fromUtf8("\uFF21"), QStringLiteral("wide")), mailA});
    EXPECT_EQ(
        titles(list),
        (QStringList{QStringLiteral("Mail"), QStringLiteral("Mail"), QStringLiteral("Zoom"),
                     QStringLiteral("calendar"), QStringLiteral("mail"), QStringLiteral("Ärger"),
                     QString::fromUtf8("\U0001F600"), QString::fromUtf8("\uFF21")}));
    EXPECT_EQ(list[0]->apps.front(), mailB) << "equal names keep the workspace order";
    EXPECT_EQ(list[1]->apps.front(), mailA);

    // Long enough that an unstable sort would reorder equal names.
    std::vector<RunningApplicationPtr> many;
    many.reserve(64);
    for (int i = 0; i < 64; ++i) {
        many.push_back(app(i % 3 == 0 ? QStringLiteral("b") : QStringLiteral("a"),
                           QStringLiteral("id.%1").arg(i)));
    }
    std::vector<RunningApplicationPtr> expected;
    for (const bool wantA : {true, false}) {
        for (const auto& process : many) {
            if ((process->localizedName() == QStringLiteral("a")) == wantA) {
                expected.push_back(process);
            }
        }
    }
    std::vector<RunningApplicationPtr> sorted;
    for (const auto& entry : rebuild(many)) {
        sorted.push_back(entry->apps.front());
    }
    EXPECT_EQ(sorted, expected);
}

TEST_F(RebuildTest, OrderMatchesAPlainStableSortOfTheNames) {
    // Names that agree on long prefixes, are prefixes of one another, hold U+0000 or
    // surrogates: the order must still be exactly that of QString::compare.
    const QString pieces[] = {QStringLiteral("Terminal"), QStringLiteral("Terminal "),
                              QStringLiteral("a"),        QStringLiteral("A"),
                              QStringLiteral("1"),        QString(QChar(0)),
                              QStringLiteral("ä"),        QString::fromUtf8("\U0001F600"),
                              QString(QChar(0xFFFF)),     QStringLiteral(" ")};
    std::mt19937 random(7);
    std::vector<RunningApplicationPtr> running;
    for (int i = 0; i < 300; ++i) {
        QString name;
        const int parts = 1 + static_cast<int>(random() % 4);
        for (int p = 0; p < parts; ++p) {
            name += pieces[random() % std::size(pieces)];
        }
        running.push_back(app(name, QStringLiteral("id.%1").arg(i)));
    }
    std::vector<RunningApplicationPtr> expected = running;
    std::stable_sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) {
        return a->localizedName().compare(b->localizedName(), Qt::CaseSensitive) < 0;
    });
    std::vector<RunningApplicationPtr> sorted;
    for (const auto& entry : rebuild(running)) {
        sorted.push_back(entry->apps.front());
    }
    EXPECT_EQ(sorted, expected);
}

namespace {

class AppListStateTest : public ::testing::Test {
protected:
    AppListStateTest() {
        settings.showBackgroundApps = true;
        workspace.setApplications({kate, firefox, firefoxHelper});
    }

    test::RecordingDefaults defaults;
    AppListState state{&defaults};
    AppListSettings settings;
    test::FakeWorkspace workspace;
    RunningApplicationPtr kate = app(QStringLiteral("Kate"), QStringLiteral("org.kde.kate"));
    RunningApplicationPtr firefox =
        app(QStringLiteral("Firefox"), QStringLiteral("org.mozilla.firefox"));
    RunningApplicationPtr firefoxHelper =
        app(QStringLiteral("Firefox"), QStringLiteral("org.mozilla.firefox"), kProhibited);
};

}  // namespace

TEST_F(AppListStateTest, UncheckedRowsAreRememberedAcrossRebuilds) {
    auto list = state.rebuild(workspace.runningApplications(), settings);
    ASSERT_EQ(titles(list), (QStringList{QStringLiteral("Firefox (2)"), QStringLiteral("Kate")}));
    EXPECT_TRUE(list[1]->selected);
    EXPECT_FALSE(state.firstLaunch);

    state.didCheck(list[1], false);
    EXPECT_EQ(state.deselectedApps.value(QStringLiteral("org.kde.kate")), list[1]);
    list = state.rebuild(workspace.runningApplications(), settings);
    EXPECT_FALSE(list[1]->selected);

    state.didCheck(list[1], true);
    EXPECT_TRUE(state.deselectedApps.isEmpty());
    list = state.rebuild(workspace.runningApplications(), settings);
    EXPECT_TRUE(list[1]->selected);

    // A change of the deselect preference re-applies the default to unpolicied apps.
    state.didCheck(list[1], false);
    state.deselectAppsDidChange();
    list = state.rebuild(workspace.runningApplications(), settings);
    EXPECT_TRUE(list[1]->selected);
    EXPECT_TRUE(state.deselectedApps.isEmpty());
}

TEST_F(AppListStateTest, PolicyChangeIsStoredAndSeenByTheNextRebuild) {
    auto list = state.rebuild(workspace.runningApplications(), settings);
    state.didChangePolicy(list[0], MenuAppPolicy::never);
    EXPECT_EQ(defaults.synchronizations, 1);
    list = state.rebuild(workspace.runningApplications(), settings);
    EXPECT_FALSE(list[0]->selected);
    EXPECT_EQ(list[0]->policy, MenuAppPolicy::never);

    state.didChangePolicy(list[1], MenuAppPolicy::always);
    state.didChangePolicy(list[0], MenuAppPolicy::standard);
    const AppPolicies stored = loadAppPolicies(defaults);
    EXPECT_EQ(stored, (AppPolicies{{QStringLiteral("org.mozilla.firefox"), MenuAppPolicy::standard},
                                   {QStringLiteral("org.kde.kate"), MenuAppPolicy::always}}));
    list = state.rebuild(workspace.runningApplications(), settings);
    EXPECT_TRUE(list[0]->selected);
    EXPECT_EQ(list[0]->policy, MenuAppPolicy::standard);

    // A damaged store is overwritten by the next change instead of blocking it.
    defaults.set(kPolicyAppsKey, QStringLiteral("damaged"));
    state.didChangePolicy(list[1], MenuAppPolicy::never);
    EXPECT_EQ(loadAppPolicies(defaults),
              (AppPolicies{{QStringLiteral("org.kde.kate"), MenuAppPolicy::never}}));
}

TEST_F(RebuildTest, AnEntrysLoadCountsItsHelpersShownOrHidden) {
    const auto browser = FakeRunningApplication::make(QStringLiteral("Browser"),
                                                      QStringLiteral("org.web"), kRegular, 100);
    const auto renderer = FakeRunningApplication::make(QStringLiteral("Browser"),
                                                       QStringLiteral("org.web"), kProhibited, 101);
    renderer->application = 100;
    const auto gpu = FakeRunningApplication::make(QStringLiteral("Browser"),
                                                  QStringLiteral("org.web"), kProhibited, 102);
    gpu->application = 100;
    // Another application's helper, and one whose application is not listed at all.
    const auto editor = FakeRunningApplication::make(QStringLiteral("Editor"),
                                                     QStringLiteral("org.edit"), kRegular, 200);
    const auto stray = FakeRunningApplication::make(QStringLiteral("Stray"),
                                                    QStringLiteral("org.stray"), kProhibited, 301);
    stray->application = 300;
    const std::vector<RunningApplicationPtr> running{renderer, browser, gpu, editor, stray};
    // The load of the entry that holds `process`, in pid order.
    const auto loadOf = [](const std::vector<MenuAppPtr>& list,
                           const RunningApplicationPtr& process) {
        for (const MenuAppPtr& entry : list) {
            if (std::find(entry->apps.begin(), entry->apps.end(), process) != entry->apps.end()) {
                std::vector<pid_t> pids = entry->loadPids();
                std::sort(pids.begin(), pids.end());
                return pids;
            }
        }
        return std::vector<pid_t>{};
    };

    settings.showBackgroundApps = false;
    std::vector<MenuAppPtr> hidden = rebuild(running);
    EXPECT_EQ(titles(hidden), (QStringList{"Browser", "Editor"}));
    EXPECT_EQ(loadOf(hidden, browser), (std::vector<pid_t>{100, 101, 102}));
    EXPECT_EQ(loadOf(hidden, editor), (std::vector<pid_t>{200}));

    // Shown and grouped: the same processes, each counted once.
    settings.showBackgroundApps = true;
    settings.groupBackgroundApps = true;
    EXPECT_EQ(loadOf(rebuild(running), browser), (std::vector<pid_t>{100, 101, 102}));
    // Shown apart: each helper's row has its own, the application's row the whole.
    settings.groupBackgroundApps = false;
    const std::vector<MenuAppPtr> apart = rebuild(running);
    EXPECT_EQ(loadOf(apart, browser), (std::vector<pid_t>{100, 101, 102}));
    EXPECT_EQ(loadOf(apart, gpu), (std::vector<pid_t>{102}));
    EXPECT_EQ(loadOf(apart, stray), (std::vector<pid_t>{301}));
}
