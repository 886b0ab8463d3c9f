// Quitting from the main button and from a row, on virtual time: which processes are asked, in
// which mode, the progress lines, and the one notification (or none).
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>

#include "fakes/FakeApplicationDelegate.h"
#include "fakes/FakeSoundPlayer.h"
#include "fakes/ManualDispatcher.h"
#include "fakes/RecordingDefaults.h"
#include "menu/HoverButton.h"
#include "menu/MenuCellQuit.h"
#include "menu/MenuTableView.h"
#include "menu/MenuTestSupport.h"
#include "menu/MenuViewCell.h"
#include "menu/MenuViewController.h"
#include "services/Sound.h"
#include "settings/Preferences.h"
#include "support/LogCapture.h"

using namespace klosia;
using test::fakeProcess;
using test::menuEntry;
using Notes = std::vector<std::pair<QString, QString>>;

namespace {

class MenuQuitTest : public ::testing::Test {
public:
    MenuQuitTest()
        : bus(dispatcher), busScope(bus), preferences(defaults), view(dispatcher, preferences) {
        Preferences::setShared(&preferences);
        view.resize(300, 6 * 27 + 135);
        bus.observe(
            &owner, [this](const Notification& n) { posts << n.name; }, names::appWillQuit);
        bus.observe(
            &owner, [this](const Notification& n) { posts << n.name; }, names::appWillForceQuit);
        bus.observe(
            &owner, [this](const Notification& n) { posts << n.name; },
            names::didTerminateApplication);
    }
    ~MenuQuitTest() override {
        Sound::setBackend(nullptr, nullptr);
        Preferences::setShared(nullptr);
    }

protected:
    void show(std::vector<MenuAppPtr> apps) {
        view.setApplications(std::move(apps));
        view.updateKlosiaBt();
        view.reloadData();
    }
    std::size_t logged(const std::string& text) const { return capture.matching(text).size(); }

    test::LogCapture capture;
    test::ManualDispatcher dispatcher;
    NotificationBus bus;
    test::DefaultBusScope busScope;
    test::RecordingDefaults defaults;
    Preferences preferences;
    test::FakeApplicationDelegate application;
    MenuViewController view;
    QObject owner;
    QStringList posts;
};

}  // namespace

TEST_F(MenuQuitTest, OneClosingNotificationAfterTheLastOfThreeRequests) {
    show({menuEntry("Atlas", true), menuEntry("Mail", true), menuEntry("Zoom", true)});
    view.klosiaBtPress();
    EXPECT_TRUE(application.notifications.empty()) << "requests run on the background queue";
    EXPECT_EQ(dispatcher.pendingBackground(), 3u);
    dispatcher.runUntilIdle();
    EXPECT_EQ(application.notifications,
              (Notes{{"All apps has been quit! 👍", "Your wish is my command."}}));
    for (const MenuAppPtr& app : view.applications()) {
        EXPECT_EQ(fakeProcess(app).terminateCalls, 1);
        EXPECT_EQ(fakeProcess(app).forceTerminateCalls, 0);
    }
    EXPECT_EQ(logged("quit app 1 of 3"), 1u);
    EXPECT_EQ(logged("quit app 3 of 3"), 1u);
    EXPECT_EQ(logged("quitSelected()"), 3u) << "the lines carry the press's position";
    EXPECT_TRUE(view.applications()[0]->selected) << "the press changes no check box";
}

TEST_F(MenuQuitTest, TheMessageSaysWhatWasDone) {
    struct Case {
        QuitOption option;
        bool alternate;
        bool all;
        Notes expected;
    };
    const std::vector<Case> table{
        {QuitOption::quit,
         false,
         true,
         {{"All apps has been quit! 👍", "Your wish is my command."}}},
        {QuitOption::quit, false, false, {{"Selected apps has been quit! ✋", "You did it!"}}},
        {QuitOption::quit,
         true,
         true,
         {{"All apps has been quit with force! 💪", "We couldn’t have done it without you."}}},
        {QuitOption::force,
         false,
         false,
         {{"Selected apps has been quit with force! 💪", "The force is strong with you."}}},
        {QuitOption::force,
         true,
         true,
         {{"All apps has been quit! 👍", "Your wish is my command."}}},
    };
    for (const Case& c : table) {
        application.notifications.clear();
        preferences.setQuitOption(c.option);
        view.alternate = c.alternate;
        show({menuEntry("Mail", true), menuEntry("Notes", c.all)});
        view.klosiaBtPress();
        dispatcher.runUntilIdle();
        EXPECT_EQ(application.notifications, c.expected);
        const bool force = (c.option == QuitOption::force) != c.alternate;
        EXPECT_EQ(fakeProcess(view.applications()[0]).forceTerminateCalls, force ? 1 : 0);
        EXPECT_EQ(fakeProcess(view.applications()[1]).terminateCalls, !force && c.all ? 1 : 0);
    }
}

TEST_F(MenuQuitTest, ARefusedRequestMeansNoMessage) {
    show({menuEntry("Atlas", true), menuEntry("Mail", true), menuEntry("Zoom", true)});
    fakeProcess(view.applications()[1]).terminateAnswer = false;
    view.klosiaBtPress();
    dispatcher.runUntilIdle();
    EXPECT_TRUE(application.notifications.empty());
    EXPECT_EQ(logged("quit app 2 of 3"), 1u);
    EXPECT_EQ(logged("of 3"), 2u) << "the counter stops at 2";
}

TEST_F(MenuQuitTest, AGroupedEntryCountsOnceAfterEveryProcessAnswered) {
    // Atlas stands for three processes: M is 2, and the count never passes it.
    show({menuEntry("Atlas", true, MenuAppPolicy::standard, 3), menuEntry("Mail", true)});
    view.klosiaBtPress();
    EXPECT_EQ(dispatcher.pendingBackground(), 4u) << "one request per process";
    dispatcher.runUntilIdle();
    EXPECT_EQ(application.notifications.size(), 1u);
    EXPECT_EQ(logged("quit app 1 of 2"), 1u);
    EXPECT_EQ(logged("quit app 2 of 2"), 1u);
    EXPECT_EQ(logged("quit app 3 of 2"), 0u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(fakeProcess(view.applications()[0], i).terminateCalls, 1);
    }

    // One process of the group refuses: the entry is not quit, and nothing is announced.
    application.notifications.clear();
    capture.clear();
    fakeProcess(view.applications()[0], 2).terminateAnswer = false;
    view.klosiaBtPress();
    dispatcher.runUntilIdle();
    EXPECT_TRUE(application.notifications.empty());
    EXPECT_EQ(logged("quit app 1 of 2"), 1u) << "Mail";
    EXPECT_EQ(logged("quit app 2 of 2"), 0u);
}

TEST_F(MenuQuitTest, HelpersEndWithTheirApplicationAndAreSignalledOnlyWhenAskedForAlone) {
    // A browser (pid 100) grouped with its two helpers, and a helper (pid 301) of an editor
    // (300) in a row of its own, the editor in a row too. Rows: Browser, Companion, Editor.
    const MenuAppPtr browser = menuEntry("Browser", true, MenuAppPolicy::standard, 3, 100);
    fakeProcess(browser, 1).application = 100;
    fakeProcess(browser, 2).application = 100;
    const MenuAppPtr editor = menuEntry("Editor", true, MenuAppPolicy::standard, 1, 300);
    const MenuAppPtr editorHelper = menuEntry("Companion", true, MenuAppPolicy::standard, 1, 301);
    fakeProcess(editorHelper).application = 300;
    show({browser, editorHelper, editor});
    view.klosiaBtPress();
    dispatcher.runUntilIdle();
    // The helpers of applications asked in the same run are left to end with them.
    EXPECT_EQ(fakeProcess(browser, 0).terminateCalls, 1);
    EXPECT_EQ(fakeProcess(browser, 1).terminateCalls, 0);
    EXPECT_EQ(fakeProcess(browser, 2).terminateCalls, 0);
    EXPECT_EQ(fakeProcess(editor).terminateCalls, 1);
    EXPECT_EQ(fakeProcess(editorHelper).terminateCalls, 0);
    EXPECT_EQ(logged("ends with its application"), 3u);
    EXPECT_EQ(application.notifications,
              (Notes{{"All apps has been quit! 👍", "Your wish is my command."}}))
        << "every entry counts as quit";

    // Checked without its application, a helper is asked; so it is from its own row.
    editor->selected = false;
    view.reloadData();
    view.klosiaBtPress();
    dispatcher.runUntilIdle();
    EXPECT_EQ(fakeProcess(editorHelper).terminateCalls, 1);
    show({browser, editorHelper, editor});
    MenuViewCell* row = view.appsTableView()->cellForRow(1);
    ASSERT_NE(row, nullptr);
    row->quitBtPress();
    dispatcher.runUntilIdle();
    EXPECT_EQ(fakeProcess(editorHelper).terminateCalls, 2);
    // The browser's own row asks the browser alone.
    show({browser, editorHelper, editor});
    row = view.appsTableView()->cellForRow(0);
    ASSERT_NE(row, nullptr);
    row->quitBtPress();
    dispatcher.runUntilIdle();
    EXPECT_EQ(fakeProcess(browser, 0).terminateCalls, 3);
    EXPECT_EQ(fakeProcess(browser, 1).terminateCalls, 0);

    // A force quit may end them all.
    view.alternate = true;
    editor->selected = true;
    show({browser, editorHelper, editor});
    view.klosiaBtPress();
    dispatcher.runUntilIdle();
    for (const MenuAppPtr& entry : {browser, editor, editorHelper}) {
        for (std::size_t i = 0; i < entry->apps.size(); ++i) {
            EXPECT_EQ(fakeProcess(entry, i).forceTerminateCalls, 1);
        }
    }
}

TEST_F(MenuQuitTest, HiddenEntriesAreNeitherQuitNorCounted) {
    show({menuEntry("Mail", true), menuEntry("Mailbox", true), menuEntry("Zoom", true)});
    view.searchField()->setText(QStringLiteral("mail"));
    view.klosiaBtPress();
    dispatcher.runUntilIdle();
    EXPECT_EQ(fakeProcess(view.applications()[2]).terminateCalls, 0);
    EXPECT_EQ(application.notifications,
              (Notes{{"All apps has been quit! 👍", "Your wish is my command."}}))
        << "all: every shown entry was checked";

    // Nothing checked among those shown: nothing happens.
    application.notifications.clear();
    view.applications()[0]->selected = false;
    view.applications()[1]->selected = false;
    view.quitSelected();
    EXPECT_EQ(dispatcher.pendingBackground(), 0u);
}

TEST_F(MenuQuitTest, ARowQuitsItsOwnEntryAnnouncesItAndDimsItself) {
    test::FakeSoundPlayer player;
    Sound::setBackend(&player, &dispatcher);
    preferences.setPlaySounds(true);
    show({menuEntry("Mail", true, MenuAppPolicy::standard, 2), menuEntry("Zoom", true)});
    MenuViewCell* row = view.appsTableView()->cellForRow(0);
    ASSERT_NE(row, nullptr);
    row->quitBtPress();
    EXPECT_FALSE(row->checkBt()->isEnabled());
    EXPECT_TRUE(row->isDimmed());
    dispatcher.runUntilIdle();
    EXPECT_EQ(posts, QStringList{"AppWillQuit"});
    EXPECT_EQ(application.notifications,
              (Notes{{"Mail has been quit ✋", "Your wish is my command."}}));
    EXPECT_EQ(fakeProcess(view.applications()[0], 1).terminateCalls, 1);
    EXPECT_EQ(fakeProcess(view.applications()[1]).terminateCalls, 0) << "Zoom is not this row's";
    EXPECT_EQ(player.played(), QStringList{"quit-single"});
    EXPECT_EQ(logged("play quit: quitBtPress()"), 1u);

    // With Alt held the row force-quits; a refusal of one process leaves the message out.
    posts.clear();
    application.notifications.clear();
    view.alternate = true;
    view.reloadData();
    row = view.appsTableView()->cellForRow(0);
    fakeProcess(view.applications()[0], 0).forceTerminateAnswer = false;
    row->quitBtPress();
    dispatcher.runUntilIdle();
    EXPECT_EQ(posts, QStringList{"AppWillForceQuit"});
    EXPECT_TRUE(application.notifications.empty());
    view.reloadData();
    EXPECT_FALSE(row->isDimmed()) << "filling the row again undoes the dimming";

    fakeProcess(view.applications()[0], 0).forceTerminateAnswer = true;
    row->quitBtPress();
    dispatcher.runUntilIdle();
    EXPECT_EQ(
        application.notifications,
        (Notes{{"Mail has been quit with force! 💪", "We couldn’t have done it without you."}}));
}

TEST_F(MenuQuitTest, TheRowWatchesItsProcessForElevenQuarterSecondsAtMost) {
    show({menuEntry("Mail", true)});
    MenuViewCell* row = view.appsTableView()->cellForRow(0);
    row->quitBtPress();
    EXPECT_EQ(logged("is terminated: false"), 1u) << "the first look is made at the press";
    dispatcher.advance(std::chrono::milliseconds(2700));
    EXPECT_EQ(logged("is terminated: false"), 11u);
    dispatcher.advance(std::chrono::milliseconds(50));
    EXPECT_EQ(logged("is terminated: false"), 12u) << "the last look, at 2.75 s";
    EXPECT_EQ(row->countCheck(), 11);
    dispatcher.advance(std::chrono::seconds(5));
    EXPECT_EQ(logged("is terminated"), 12u) << "and then no more";
    EXPECT_FALSE(posts.contains("WorkspaceDidTerminateApplication"));

    // A process that ends is reported at the next look, and watched no longer.
    capture.clear();
    posts.clear();
    row->quitBtPress();
    EXPECT_EQ(row->countCheck(), 0) << "a press starts the count again";
    dispatcher.advance(std::chrono::milliseconds(600));
    fakeProcess(view.applications()[0]).terminated = true;
    dispatcher.advance(std::chrono::seconds(3));
    EXPECT_EQ(logged("is terminated: true"), 1u);
    EXPECT_EQ(logged("is terminated"), 4u) << "at 0, 0.25, 0.5 and 0.75 s";
    EXPECT_EQ(posts.count("WorkspaceDidTerminateApplication"), 1);
    EXPECT_EQ(
        capture.matching(MenuCellQuit::describe(view.applications()[0]->apps[0]).toStdString())
            .size(),
        4u);
}

TEST_F(MenuQuitTest, AnEntryThatCannotBeAskedToQuitIsLeftToForceQuit) {
    const QString reason = QStringLiteral("It offers no way to be asked.");
    const MenuAppPtr notes = menuEntry("Notes", true);
    fakeProcess(notes).quitReason = reason;
    // One of its two processes can be asked, so the entry can.
    const MenuAppPtr zoom = menuEntry("Zoom", true, MenuAppPolicy::standard, 2);
    fakeProcess(zoom, 1).quitReason = reason;
    const MenuAppPtr mail = menuEntry("Mail", true);
    show({mail, notes, zoom});
    MenuViewCell* row = view.appsTableView()->cellForRow(1);
    ASSERT_NE(row, nullptr);
    EXPECT_FALSE(row->quitBt()->isEnabled());
    EXPECT_EQ(row->quitBt()->toolTip(), reason);
    EXPECT_EQ(row->quitBt()->accessibleDescription(), reason);
    const MenuViewCell* mailRow = view.appsTableView()->cellForRow(0);
    ASSERT_NE(mailRow, nullptr);
    EXPECT_TRUE(mailRow->quitBt()->isEnabled());
    EXPECT_TRUE(mailRow->quitBt()->toolTip().isEmpty());
    EXPECT_TRUE(zoom->quitUnavailableReason().isEmpty());

    // Delete reaches the row past its disabled button: nothing is asked, the row stays as it is.
    row->quitBtPress();
    dispatcher.runUntilIdle();
    EXPECT_EQ(fakeProcess(notes).terminateCalls, 0);
    EXPECT_FALSE(row->isDimmed());
    EXPECT_TRUE(posts.isEmpty());

    // The main button leaves it out: neither quit nor refused, the others complete the run.
    view.klosiaBtPress();
    dispatcher.runUntilIdle();
    EXPECT_EQ(fakeProcess(notes).terminateCalls, 0);
    EXPECT_EQ(fakeProcess(mail).terminateCalls, 1);
    EXPECT_EQ(fakeProcess(zoom, 0).terminateCalls, 1);
    EXPECT_EQ(logged("app: org.example.notes skipped: " + reason.toStdString()), 1u);
    EXPECT_EQ(logged("quit app 2 of 2"), 1u);
    EXPECT_EQ(application.notifications, (Notes{{"Selected apps has been quit! ✋", "You did it!"}}))
        << "not all: one was left out";

    // Checked alone, it makes no run at all.
    application.notifications.clear();
    mail->selected = false;
    zoom->selected = false;
    view.reloadData();
    view.klosiaBtPress();
    EXPECT_EQ(dispatcher.pendingBackground(), 0u);
    EXPECT_TRUE(application.notifications.empty());

    // A force quit needs nothing of it: offered, and sent.
    view.alternate = true;
    view.reloadData();
    row = view.appsTableView()->cellForRow(1);
    EXPECT_TRUE(row->quitBt()->isEnabled());
    EXPECT_TRUE(row->quitBt()->toolTip().isEmpty());
    view.klosiaBtPress();
    dispatcher.runUntilIdle();
    EXPECT_EQ(fakeProcess(notes).forceTerminateCalls, 1);
    EXPECT_EQ(application.notifications.size(), 1u);
}
