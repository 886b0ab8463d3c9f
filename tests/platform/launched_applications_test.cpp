// The applications of the user's systemd units, from a tree of /proc files the test writes:
// which units are listed and by which process, and what a force quit may kill.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <string>

#include "ProcessTestChild.h"
#include "platform/linux/DesktopEntries.h"
#include "platform/linux/LaunchedApplications.h"
#include "platform/linux/ProcessInfo.h"
#include "support/LogCapture.h"
#include "support/Wait.h"

namespace klosia {
namespace {

using test::TestChild;

// Above the kernel's largest pid: nothing the tests do can reach a real process through them.
constexpr pid_t kFake = 5'000'000;

class LaunchedApplicationsTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp.isValid()); }
    void TearDown() override { QDBusConnection::disconnectFromBus(QStringLiteral("no-bus")); }

    QString proc() const { return temp.filePath(QStringLiteral("proc")); }

    static void write(const QString& path, const std::string& content) {
        ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content.data(), static_cast<qint64>(content.size()));
    }
    void file(pid_t pid, const char* name, const std::string& content) const {
        write(proc() + QStringLiteral("/%1/").arg(pid) + QLatin1String(name), content);
    }
    // A process in `unit` as the kernel shows it: cgroup, stat (state, parent, start time) and
    // status (the uids).
    void process(pid_t pid, pid_t ppid, std::uint64_t start, const std::string& unit,
                 uid_t uid = ::getuid()) const {
        file(pid, "cgroup",
             "0::/user.slice/user-1000.slice/user@1000.service/app.slice/" + unit + "\n");
        file(pid, "stat",
             std::to_string(pid) + " (app (x)) S " + std::to_string(ppid) +
                 " 1 1 0 -1 4194304 0 0 0 0 3 4 0 0 20 0 1 0 " + std::to_string(start) +
                 " 1000 100 18446744073709551615\n");
        const std::string id = std::to_string(uid);
        file(pid, "status", "Name:\tapp\nUid:\t" + id + "\t" + id + "\t" + id + "\t" + id + "\n");
    }
    void remove(pid_t pid) const {
        QDir(proc() + QStringLiteral("/%1").arg(pid)).removeRecursively();
    }
    void entry(const QString& id, const QString& name) const {
        write(temp.filePath(QStringLiteral("applications/") + id + QStringLiteral(".desktop")),
              ("[Desktop Entry]\nType=Application\nName=" + name + "\nIcon=" + id.toLower() +
               "\nExec=/bin/true\n")
                  .toStdString());
    }
    std::unique_ptr<LaunchedApplications> workspace() const {
        return std::make_unique<LaunchedApplications>(
            QDBusConnection::connectToBus(QStringLiteral("unix:path=/nonexistent/bus"),
                                          QStringLiteral("no-bus")),
            proc(),
            std::make_unique<DesktopEntries>(
                QStringList{temp.filePath(QStringLiteral("applications"))}));
    }

    static QStringList ids(const std::vector<RunningApplicationPtr>& apps) {
        QStringList out;
        for (const RunningApplicationPtr& app : apps) {
            out << app->bundleIdentifier() + QLatin1Char(' ') +
                       QString::number(app->processIdentifier() - kFake);
        }
        return out;
    }

    QTemporaryDir temp;
};

TEST_F(LaunchedApplicationsTest, OneApplicationPerUnitOfTheUserWithAnInstalledEntry) {
    const std::string editor = R"(app-gnome-org.example.Text\x2dEditor-41.scope)";
    const std::string maps = "app-flatpak-org.example.Maps-7.scope";
    entry(QStringLiteral("org.example.Text-Editor"), QStringLiteral("Editor"));
    entry(QStringLiteral("org.example.Maps"), QStringLiteral("Maps"));
    entry(QStringLiteral("org.example.Mail"), QStringLiteral("Mail"));
    entry(QStringLiteral("org.example.Klosia"), QStringLiteral("Klosia"));
    process(kFake + 100, 1, 5000, editor);                           // started by the launcher
    process(kFake + 101, kFake + 100, 5001, editor);                 // its child
    file(kFake + 102, "cgroup", "0::/user.slice/" + editor + "\n");  // gone after its cgroup
    process(kFake + 202, 1, 3001, maps);  // two processes started from outside the unit
    process(kFake + 200, 1, 3000, maps);
    process(kFake + 300, 1, 2000, "app-gnome-org.example.Unlisted-1.scope");
    process(kFake + 400, 1, 2000, "app-gnome-org.example.Mail-1.scope", ::getuid() + 1);
    process(kFake + 500, 1, 2000, "vte-spawn-7c3d9e2a-5b1f.scope");
    process(::getpid(), 1, 2500, "app-gnome-org.example.Klosia-2.scope");  // ours
    file(kFake + 600, "cgroup", "12:pids:/user.slice/" + editor + "\n");
    process(kFake + 700, 1, 1000, "app-gnome-org.example.Mail-2.scope");
    file(kFake + 700, "stat", "garbage");
    file(kFake + 800, "stat", "not a process");
    write(proc() + QStringLiteral("/self/cgroup"), "0::/user.slice/" + maps + "\n");

    test::LogCapture capture;
    const std::unique_ptr<LaunchedApplications> workspace = this->workspace();
    int launches = 0;
    std::vector<RunningApplicationPtr> ended;
    workspace->setDidLaunchHandler([&](const RunningApplicationPtr&) { ++launches; });
    workspace->setDidTerminateHandler(
        [&](const RunningApplicationPtr& app) { ended.push_back(app); });
    const std::vector<RunningApplicationPtr> first = workspace->runningApplications();
    // The older unit first; the smallest of two roots stands for its unit.
    EXPECT_EQ(ids(first), (QStringList{"org.example.Maps 200", "org.example.Text-Editor 100"}));
    EXPECT_EQ(launches, 0) << "what the first look found is no launch";
    ASSERT_EQ(first.size(), 2U);
    const RunningApplicationPtr& textEditor = first[1];
    EXPECT_EQ(textEditor->localizedName(), QStringLiteral("Editor"));
    EXPECT_EQ(textEditor->startTime(), 5000U);
    EXPECT_EQ(textEditor->activationPolicy(), ActivationPolicy::regular);
    EXPECT_FALSE(textEditor->isActive());
    EXPECT_EQ(textEditor->helperOf(), 0);
    EXPECT_FALSE(textEditor->isTerminated());
    EXPECT_FALSE(textEditor->activate());
    EXPECT_EQ(workspace->frontmostApplication(), nullptr);
    EXPECT_TRUE(workspace->unavailableReason().isEmpty());
    EXPECT_TRUE(workspace->listedWindows().empty());
    // Without a bus there is no quit action to ask, and nothing else is tried.
    EXPECT_FALSE(textEditor->quitUnavailableReason().isEmpty());
    EXPECT_FALSE(textEditor->terminate());

    // Two processes started from outside: which one is Maps, nothing tells.
    capture.clear();
    EXPECT_FALSE(first[0]->forceTerminate());
    const auto refusals = capture.matching("refused");
    ASSERT_EQ(refusals.size(), 1U);
    EXPECT_NE(refusals.front().find("org.example.Maps"), std::string::npos);
    EXPECT_NE(refusals.front().find("2 of its processes were started from outside"),
              std::string::npos)
        << refusals.front();

    // Maps ends, the editor's pid goes to a new process of the same unit, Mail starts, and the
    // entry of an application that was already running is installed.
    remove(kFake + 200);
    remove(kFake + 202);
    process(kFake + 100, 1, 6000, editor);
    process(kFake + 900, 1, 7000, "app-org.example.Mail@8f2.service");
    entry(QStringLiteral("org.example.Unlisted"), QStringLiteral("Unlisted"));
    EXPECT_EQ(ids(workspace->knownApplications()), ids(first)) << "no look of its own";
    const std::vector<RunningApplicationPtr> second = workspace->runningApplications();
    EXPECT_EQ(ids(second), (QStringList{"org.example.Unlisted 300", "org.example.Text-Editor 100",
                                        "org.example.Mail 900"}));
    EXPECT_EQ(launches, 3);
    EXPECT_EQ(ended, first);
    EXPECT_TRUE(first[0]->isTerminated());
    EXPECT_TRUE(textEditor->isTerminated());
    EXPECT_FALSE(textEditor->forceTerminate());
    EXPECT_EQ(second[1]->startTime(), 6000U);
    EXPECT_EQ(ids(workspace->runningApplications()), ids(second));
    EXPECT_EQ(launches, 3);
}

// The kill goes through the system's /proc checks whatever tree the unit was read from: the
// application's process and the one below it end, a pid whose start time is not the one the
// tree gave is left alone.
TEST_F(LaunchedApplicationsTest, ForceQuitKillsTheOneProcessTreeOfTheUnit) {
    TestChild shell({"/bin/sh", "-c", "/bin/sleep 30 & wait"});
    TestChild bystander({"/bin/sleep", "30"});
    ASSERT_TRUE(shell.started());
    ASSERT_TRUE(bystander.started());
    pid_t sleeper = 0;
    ASSERT_TRUE(test::waitUntil([&] {
        for (const auto& [pid, stat] : ProcessInfo::statAll()) {
            if (stat.ppid == shell.pid() && ProcessInfo::cmdline(pid).value(0) == "/bin/sleep") {
                sleeper = pid;
            }
        }
        return sleeper != 0;
    }));
    const std::uint64_t sleeperStart = ProcessInfo::startTime(sleeper).value_or(0);
    const std::string unit = "app-gnome-org.example.Maps-3.scope";
    entry(QStringLiteral("org.example.Maps"), QStringLiteral("Maps"));
    process(shell.pid(), ::getpid(), shell.startTime(), unit);
    process(sleeper, shell.pid(), sleeperStart, unit);
    process(bystander.pid(), sleeper, bystander.startTime() + 1, unit);

    test::LogCapture capture;
    const std::unique_ptr<LaunchedApplications> workspace = this->workspace();
    const std::vector<RunningApplicationPtr> apps = workspace->runningApplications();
    ASSERT_EQ(apps.size(), 1U);
    EXPECT_EQ(apps.front()->processIdentifier(), shell.pid());
    EXPECT_TRUE(apps.front()->forceTerminate());
    int status = 0;
    ASSERT_TRUE(shell.reap(&status));
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_TRUE(test::waitUntil(
        [&] { return ProcessInfo::life(sleeper, sleeperStart) == ProcessLife::ended; }));
    EXPECT_EQ(ProcessInfo::life(bystander.pid(), bystander.startTime()), ProcessLife::running);
    EXPECT_EQ(capture
                  .matching("refused SIGKILL to pid " + std::to_string(bystander.pid()) +
                            ": the pid now names another process")
                  .size(),
              1U);
}

}  // namespace
}  // namespace klosia
