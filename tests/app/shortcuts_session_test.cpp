// The three shortcuts end to end: real key presses through XTEST, the X11 grabs, the
// registrar's actions, and real X clients that answer (or ignore) the quit requests.
#include <gtest/gtest.h>

#include <QProcess>

#include <memory>

#include "app/HotKeyRegistrar.h"
#include "core/NotificationBus.h"
#include "core/QtDispatcher.h"
#include "hotkeys/HotKeysController.h"
#include "platform/MemoryUserDefaults.h"
#include "platform/x11/X11HotKeyService.h"
#include "platform/x11/X11Workspace.h"
#include "settings/Preferences.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

namespace klosia {
namespace {

using test::waitUntil;

const ModifierFlags kControlCommand = ModifierFlags::control | ModifierFlags::command;

bool press(const QString& keys) {
    return QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), keys}) == 0;
}

// A fixture client, killed when the test ends whatever happened.
class Client {
public:
    explicit Client(const QStringList& arguments) {
        process_.start(QStringLiteral(KLOSIA_FIXTURE_PATH), arguments);
        ready_ = process_.waitForStarted() &&
                 waitUntil([this] { return process_.readAllStandardOutput().contains("ready"); });
    }
    ~Client() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }
    Client(const Client&) = delete;
    Client& operator=(const Client&) = delete;

    bool isReady() const { return ready_; }
    pid_t pid() const { return static_cast<pid_t>(process_.processId()); }
    bool isRunning() const { return process_.state() != QProcess::NotRunning; }
    bool exits() {
        return waitUntil([this] { return process_.state() == QProcess::NotRunning; });
    }

private:
    QProcess process_;
    bool ready_ = false;
};

std::shared_ptr<GlobalShortcut> shortcut(Key key, ModifierFlags modifiers) {
    return std::make_shared<GlobalShortcut>(
        GlobalShortcut{.key = key, .modifiers = modifiers, .enabled = true});
}

class ShortcutsSessionTest : public ::testing::Test {
protected:
    void SetUp() override {
        NotificationBus::setDefaultCenter(&bus);
        Preferences::setShared(&preferences);
        QString error;
        service = createX11HotKeyService(&error);
        ASSERT_NE(service, nullptr) << error.toStdString();
        workspace = createX11Workspace(&error);
        ASSERT_NE(workspace, nullptr) << error.toStdString();
        controller = std::make_unique<HotKeysController>(service.get());
        registrar = std::make_unique<HotKeyRegistrar>(*controller, *workspace, [this] { ++menus; });
    }
    void TearDown() override {
        registrar.reset();
        controller.reset();
        Preferences::setShared(nullptr);
        NotificationBus::setDefaultCenter(nullptr);
    }

    // Waits until the workspace lists the client with the expected kind.
    bool listed(const Client& client, ActivationPolicy policy) {
        return waitUntil([&] {
            for (const RunningApplicationPtr& app : workspace->runningApplications()) {
                if (app->processIdentifier() == client.pid()) {
                    return app->activationPolicy() == policy;
                }
            }
            return false;
        });
    }

    test::LogCapture log;
    QtDispatcher dispatcher;
    NotificationBus bus{dispatcher};
    MemoryUserDefaults defaults;
    Preferences preferences{defaults};
    std::unique_ptr<HotKeyService> service;
    std::unique_ptr<Workspace> workspace;
    std::unique_ptr<HotKeysController> controller;
    std::unique_ptr<HotKeyRegistrar> registrar;
    int menus = 0;
};

TEST_F(ShortcutsSessionTest, ShortcutsActOnRealClientsAndSurviveAChangeToTheSameCombination) {
    preferences.setShortcutActivate(shortcut(Key::m, kControlCommand));
    preferences.setShortcutQuit(shortcut(Key::q, kControlCommand));
    preferences.setShortcutForceQuit(shortcut(Key::q, kControlCommand | ModifierFlags::option));
    registrar->observeShortcutChanges();
    registrar->registerHotKeys();
    ASSERT_TRUE(controller->isRegistered(*registrar->shortcutQuitKey()));

    Client regular({});
    Client accessory({QStringLiteral("--skip-taskbar")});
    Client stubborn({QStringLiteral("--ignore-close")});
    ASSERT_TRUE(regular.isReady() && accessory.isReady() && stubborn.isReady());
    ASSERT_TRUE(listed(regular, ActivationPolicy::regular));
    ASSERT_TRUE(listed(accessory, ActivationPolicy::accessory));
    ASSERT_TRUE(listed(stubborn, ActivationPolicy::regular));

    ASSERT_TRUE(press(QStringLiteral("ctrl+super+m")));
    EXPECT_TRUE(waitUntil([&] { return menus == 1; }));

    // With NumLock on, the polite quit: only the regular client that listens goes.
    ASSERT_TRUE(press(QStringLiteral("Num_Lock")));
    ASSERT_TRUE(press(QStringLiteral("ctrl+super+q")));
    EXPECT_TRUE(regular.exits());
    ASSERT_TRUE(press(QStringLiteral("Num_Lock")));
    EXPECT_EQ(log.matching("handle shortcut: key: Q, modifiers: \u2303\u2318,").size(), 1U);

    // The same combination saved again: a new hot key replaces the old one and still works.
    const HotKeyPtr before = registrar->shortcutQuitKey();
    preferences.setShortcutQuit(shortcut(Key::q, kControlCommand));
    ASSERT_TRUE(waitUntil([&] { return registrar->shortcutQuitKey() != before; }));
    Client newcomer({});
    ASSERT_TRUE(newcomer.isReady() && listed(newcomer, ActivationPolicy::regular));
    ASSERT_TRUE(press(QStringLiteral("ctrl+super+q")));
    EXPECT_TRUE(newcomer.exits());

    // Force quit ends the one that ignores requests; the accessory client is never asked.
    ASSERT_TRUE(press(QStringLiteral("ctrl+alt+super+q")));
    EXPECT_TRUE(stubborn.exits());
    EXPECT_TRUE(accessory.isRunning());
    EXPECT_EQ(menus, 1);
    EXPECT_TRUE(log.matching("\xF0\x9F\x94\xB4").empty()) << "no error was logged";
}

}  // namespace
}  // namespace klosia
