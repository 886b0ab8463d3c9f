#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <unordered_map>

#include "platform/linux/BackgroundProcesses.h"
#include "platform/linux/DesktopEntries.h"
#include "platform/x11/ApplicationIdentity.h"
#include "platform/x11/ApplicationKey.h"
#include "platform/x11/ConnectionEvidence.h"
#include "platform/x11/WindowFilter.h"

namespace klosia {
namespace {

constexpr pid_t kOwnPid = 999;

// A window of a local process (`pid` > 0), or of no known owner (0).
WindowRecord window(std::uint32_t id, pid_t pid, std::uint32_t types = windowTypeNormal) {
    WindowRecord record;
    record.id = id;
    record.resourcePid = pid;
    record.owner = {pid, 0};
    record.types = types;
    return record;
}

// A window of an X client without a local process.
WindowRecord clientWindow(std::uint32_t id, std::uint32_t client,
                          std::uint32_t types = windowTypeNormal) {
    WindowRecord record;
    record.id = id;
    record.client = client;
    record.owner = {0, client};
    record.types = types;
    return record;
}

const ProcessWindows* find(const WindowGrouping& grouping, pid_t pid) {
    for (const ProcessWindows& process : grouping.processes) {
        if (process.owner.pid == pid) {
            return &process;
        }
    }
    return nullptr;
}

TEST(WindowFilterTest, PanelsMenusAndOurOwnWindowsNeverMakeAnApplication) {
    std::vector<WindowRecord> windows;
    const std::uint32_t neverTypes[] = {
        windowTypeDock,         windowTypeDesktop,      windowTypeToolbar,   windowTypeMenu,
        windowTypeSplash,       windowTypeDropdownMenu, windowTypePopupMenu, windowTypeTooltip,
        windowTypeNotification, windowTypeCombo,        windowTypeDnd};
    pid_t pid = 100;
    for (const std::uint32_t type : neverTypes) {
        windows.push_back(window(static_cast<std::uint32_t>(pid), pid, type));
        ++pid;
    }
    windows.push_back(window(1, kOwnPid));
    windows.push_back(window(2, 0));  // no owner known at all
    windows.push_back(window(3, 300));

    const WindowGrouping grouping = groupWindowsByProcess(windows, 0, kOwnPid);
    ASSERT_EQ(grouping.processes.size(), 1U);
    EXPECT_EQ(grouping.processes[0].owner, (WindowOwner{300, 0}));
    EXPECT_EQ(grouping.processes[0].policy, ActivationPolicy::regular);
}

TEST(WindowFilterTest, WhoOwnsAWindow) {
    const QString host = QStringLiteral("desk");
    // Processes 200 and 4711 hold their connections; 300 holds none (its pid was reused).
    const ConnectionProof holds = [](pid_t pid) { return pid == 200 || pid == 4711; };
    const auto owner = [&](pid_t resourcePid, pid_t netWmPid, const char* machine,
                           bool serverKnowsPids) {
        WindowRecord record;
        record.id = 0x1a00007;
        record.client = 0x1a00000;
        record.resourcePid = resourcePid;
        record.netWmPid = netWmPid;
        record.clientMachine = QString::fromLatin1(machine);
        return decideOwner(record, host, serverKnowsPids, holds);
    };
    const WindowOwner client{0, 0x1a00000};
    // The server's pid, when the client agrees or says nothing.
    EXPECT_EQ(owner(200, 200, "desk", true), (WindowOwner{200, 0}));
    EXPECT_EQ(owner(200, 0, "DESK", true), (WindowOwner{200, 0}));
    EXPECT_EQ(owner(200, 0, "", true), (WindowOwner{200, 0}));
    EXPECT_EQ(owner(200, 0, "localhost", true), (WindowOwner{200, 0}));
    // Another host: the local process is ssh or a proxy, whatever the pids say.
    EXPECT_EQ(owner(200, 200, "build-host", true), client);
    EXPECT_EQ(owner(200, 0, "build-host", false), client);
    // A local client whose own pid is not the one at the end of its connection: a proxy.
    EXPECT_EQ(owner(200, 4711, "desk", true), client);
    // The server knows no pid (a TCP client): the client's word is not taken.
    EXPECT_EQ(owner(0, 4711, "desk", true), client);
    // Without X-Resource, _NET_WM_PID counts only from a client that names this host.
    EXPECT_EQ(owner(0, 4711, "desk", false), (WindowOwner{4711, 0}));
    EXPECT_EQ(owner(0, 4711, "", false), client);
    EXPECT_EQ(owner(0, 0, "desk", false), client);
    // Whichever pid is named, a process that does not hold the connection owns nothing.
    EXPECT_EQ(owner(300, 0, "desk", true), client);
    EXPECT_EQ(owner(300, 300, "desk", true), client);
    EXPECT_EQ(owner(0, 300, "desk", false), client);
}

TEST(WindowFilterTest, AProcessOwnsWindowsOnlyThroughConnectionsOfItsOwn) {
    const auto evidence = [](int connections, int clients, int programs, bool serves,
                             const char* program) {
        ConnectionEvidence e;
        e.checked = true;
        e.connections = connections;
        e.clients = clients;
        e.programs = programs;
        e.servesDisplays = serves;
        e.program = QString::fromLatin1(program);
        return e;
    };
    // An application with its connection; one with two connections of its own program.
    EXPECT_TRUE(holdsOwnConnection(evidence(1, 1, 1, false, "xterm")));
    EXPECT_TRUE(holdsOwnConnection(evidence(2, 2, 1, false, "firefox-esr")));
    // A process with windowless connections besides (a toolkit's second one) still owns.
    EXPECT_TRUE(holdsOwnConnection(evidence(3, 1, 1, false, "java")));
    // The pid was reused by a process without any connection (a `sleep`).
    EXPECT_FALSE(holdsOwnConnection(evidence(0, 1, 1, false, "sleep")));
    // More clients name it than it holds connections: some are not its own.
    EXPECT_FALSE(holdsOwnConnection(evidence(1, 2, 1, false, "xclock")));
    // It serves X clients itself (socat in front of a display), or relays several programs.
    EXPECT_FALSE(holdsOwnConnection(evidence(1, 1, 1, true, "socat")));
    EXPECT_FALSE(holdsOwnConnection(evidence(2, 2, 2, false, "relay")));
    // A forwarder known by its program: ssh -X with a single forwarded client.
    EXPECT_FALSE(holdsOwnConnection(evidence(1, 1, 1, false, "ssh")));
    // Nothing could be looked at: nothing is taken on trust.
    ConnectionEvidence unknown = evidence(1, 1, 1, false, "xterm");
    unknown.checked = false;
    EXPECT_FALSE(holdsOwnConnection(unknown));
}

TEST(WindowFilterTest, ClientsWithoutAProcessAreApplicationsOfTheirOwn) {
    WindowRecord dialog = clientWindow(0x500002, 0x500000, windowTypeDialog);
    dialog.transientFor = 0x500001;
    const std::vector<WindowRecord> windows = {clientWindow(0x500001, 0x500000), dialog,
                                               clientWindow(0x600001, 0x600000), window(7, 300)};
    const WindowGrouping grouping = groupWindowsByProcess(windows, 0x500002, kOwnPid);
    ASSERT_EQ(grouping.processes.size(), 3U);
    EXPECT_EQ(grouping.processes[0].owner, (WindowOwner{0, 0x500000}));
    EXPECT_EQ(grouping.processes[0].windows, (std::vector<std::size_t>{0, 1}));
    EXPECT_EQ(grouping.processes[1].owner, (WindowOwner{0, 0x600000}));
    EXPECT_EQ(grouping.active, (WindowOwner{0, 0x500000}));
    EXPECT_EQ(windowsToClose(windows, WindowOwner{0, 0x500000}), (std::vector<std::size_t>{0}));
}

TEST(WindowFilterTest, TheDesktopsOwnProcessesAreNeverApplications) {
    // 100 draws the desktop and also has a normal window (a file manager); 200 is a panel with a
    // settings window; 300 runs the window manager and has a window of its own; 400 is a client
    // without a process that made a dock; 500 is an ordinary application.
    const std::vector<WindowRecord> windows = {window(1, 100, windowTypeDesktop),
                                               window(2, 100),
                                               window(3, 200, windowTypeDock),
                                               window(4, 200, windowTypeDialog),
                                               window(5, 300),
                                               clientWindow(6, 0x400000, windowTypeDock),
                                               clientWindow(7, 0x400000),
                                               window(8, 500)};
    const WindowOwner manager{300, 0};
    const WindowGrouping grouping =
        groupWindowsByProcess(windows, 2, kOwnPid, {100, 200, 600}, manager);
    ASSERT_EQ(grouping.processes.size(), 2U);
    EXPECT_EQ(grouping.processes[0].owner, (WindowOwner{500, 0}));
    EXPECT_EQ(grouping.processes[1].owner, (WindowOwner{600, 0}));  // tray only
    EXPECT_FALSE(grouping.active.isKnown());
    for (const WindowOwner& desktop :
         {WindowOwner{100, 0}, WindowOwner{200, 0}, manager, WindowOwner{0, 0x400000}}) {
        EXPECT_TRUE(isDesktopOwner(windows, manager, desktop)) << desktop.pid;
    }
    EXPECT_FALSE(isDesktopOwner(windows, manager, WindowOwner{500, 0}));
    EXPECT_FALSE(isDesktopOwner(windows, {}, WindowOwner{300, 0}));
}

TEST(WindowFilterTest, AuxiliaryWindowsMakeAnAccessoryApplication) {
    WindowRecord skip = window(1, 100);
    skip.skipTaskbar = true;
    const WindowRecord utility = window(2, 200, windowTypeUtility);
    WindowRecord mixedSkip = window(3, 300);
    mixedSkip.skipTaskbar = true;
    const WindowRecord mixedShown = window(4, 300, 0);  // no type property: a normal window

    const WindowGrouping grouping =
        groupWindowsByProcess({skip, utility, mixedSkip, mixedShown}, 0, kOwnPid);
    ASSERT_EQ(grouping.processes.size(), 3U);
    EXPECT_EQ(find(grouping, 100)->policy, ActivationPolicy::accessory);
    EXPECT_EQ(find(grouping, 200)->policy, ActivationPolicy::accessory);
    const ProcessWindows* mixed = find(grouping, 300);
    EXPECT_EQ(mixed->policy, ActivationPolicy::regular);
    EXPECT_EQ(mixed->primary, 3U);  // the window a task bar shows stands for it
    EXPECT_EQ(mixed->windows, (std::vector<std::size_t>{2, 3}));
}

TEST(WindowFilterTest, TransientsFoldIntoTheirLeaderThroughChainsAndCycles) {
    const WindowRecord leader = window(10, 100);
    WindowRecord dialog = window(11, 555, windowTypeDialog);  // another process's pid
    dialog.transientFor = 10;
    WindowRecord nested = window(12, 0, windowTypeDialog);
    nested.transientFor = 11;
    // A cycle with no leader outside it: its windows count for themselves.
    WindowRecord cycleA = window(20, 200, windowTypeDialog);
    cycleA.transientFor = 21;
    WindowRecord cycleB = window(21, 200, windowTypeDialog);
    cycleB.transientFor = 20;
    // Transient for a window outside the list (the root): stands on its own.
    WindowRecord orphan = window(30, 300, windowTypeDialog);
    orphan.transientFor = 0xdead;
    // Transient for a panel: never counts.
    const WindowRecord dock = window(40, 400, windowTypeDock);
    WindowRecord dockDialog = window(41, 401, windowTypeDialog);
    dockDialog.transientFor = 40;

    const WindowGrouping grouping = groupWindowsByProcess(
        {leader, dialog, nested, cycleA, cycleB, orphan, dock, dockDialog}, 12, kOwnPid);
    ASSERT_EQ(grouping.processes.size(), 3U);
    const ProcessWindows* first = find(grouping, 100);
    EXPECT_EQ(first->windows, (std::vector<std::size_t>{0, 1, 2}));
    EXPECT_EQ(first->policy, ActivationPolicy::regular);
    EXPECT_EQ(find(grouping, 555), nullptr);
    EXPECT_EQ(find(grouping, 200)->policy, ActivationPolicy::accessory);
    EXPECT_EQ(find(grouping, 300)->policy, ActivationPolicy::regular);
    EXPECT_EQ(find(grouping, 401), nullptr);
    // The active dialog's leader is the active application.
    EXPECT_EQ(grouping.active, (WindowOwner{100, 0}));
}

TEST(WindowFilterTest, ActiveWindowOfOursOrAPanelMeansNoActiveApplication) {
    const std::vector<WindowRecord> windows = {window(1, kOwnPid), window(2, 200, windowTypeDock),
                                               window(3, 300)};
    EXPECT_FALSE(groupWindowsByProcess(windows, 1, kOwnPid).active.isKnown());
    EXPECT_FALSE(groupWindowsByProcess(windows, 2, kOwnPid).active.isKnown());
    EXPECT_EQ(groupWindowsByProcess(windows, 3, kOwnPid).active, (WindowOwner{300, 0}));
    EXPECT_FALSE(groupWindowsByProcess(windows, 77, kOwnPid).active.isKnown());
}

TEST(WindowFilterTest, TrayOnlyProcessesAreAccessoryAndListedLast) {
    const WindowGrouping grouping =
        groupWindowsByProcess({window(1, 100)}, 0, kOwnPid, {500, 100, kOwnPid, 0});
    ASSERT_EQ(grouping.processes.size(), 2U);
    EXPECT_EQ(grouping.processes[0].owner.pid, 100);
    EXPECT_EQ(grouping.processes[0].policy, ActivationPolicy::regular);
    EXPECT_EQ(grouping.processes[1].owner.pid, 500);
    EXPECT_EQ(grouping.processes[1].policy, ActivationPolicy::accessory);
    EXPECT_EQ(grouping.processes[1].primary, ProcessWindows::none);
}

TEST(WindowFilterTest, PoliteQuitSkipsOwnDialogsAndOtherProcesses) {
    const WindowRecord main = window(1, 100);
    WindowRecord ownDialog = window(2, 100, windowTypeDialog);
    ownDialog.transientFor = 1;
    WindowRecord foreignDialog = window(3, 100, windowTypeDialog);
    foreignDialog.transientFor = 9;  // transient for another process's window
    const WindowRecord other = window(9, 200);
    const WindowRecord menu = window(4, 100, windowTypePopupMenu);
    const std::vector<WindowRecord> windows = {main, ownDialog, foreignDialog, other, menu};
    EXPECT_EQ(windowsToClose(windows, {100, 0}), (std::vector<std::size_t>{0, 2}));
    EXPECT_TRUE(windowsToClose(windows, {300, 0}).empty());
    EXPECT_TRUE(windowsToClose(windows, {}).empty());
}

TEST(ApplicationKeyTest, AWindowIsNeverBoundToAProcessYoungerThanTheSnapshot) {
    const auto process = [](pid_t pid, std::uint64_t startTime) {
        ProcStat stat;
        stat.pid = pid;
        stat.startTime = startTime;
        return std::pair{pid, stat};
    };
    std::unordered_map<pid_t, ProcStat> processes = {process(100, 5000), process(200, 7000),
                                                     process(300, 7001), process(500, 4000)};
    processes[500].state = 'Z';
    const std::uint64_t snapshotBegan = 7000;
    // Started before the snapshot, or within its very tick: the process the server named.
    EXPECT_EQ(applicationKey({100, 0}, {}, processes, snapshotBegan),
              (ApplicationKey{100, 5000, 0, {}}));
    EXPECT_EQ(applicationKey({200, 0}, {}, processes, snapshotBegan),
              (ApplicationKey{200, 7000, 0, {}}));
    // Started after it began: the pid was reused since the server answered.
    EXPECT_FALSE(applicationKey({300, 0}, {}, processes, snapshotBegan).has_value());
    // Gone, ended (a zombie whose windows are still listed), or never an owner at all.
    EXPECT_FALSE(applicationKey({400, 0}, {}, processes, snapshotBegan).has_value());
    EXPECT_FALSE(applicationKey({500, 0}, {}, processes, snapshotBegan).has_value());
    EXPECT_FALSE(applicationKey({}, {}, processes, snapshotBegan).has_value());
    // An X client without a process needs no process.
    EXPECT_EQ(applicationKey({0, 0x600000}, QStringLiteral("far"), processes, snapshotBegan),
              (ApplicationKey{0, 0, 0x600000, QStringLiteral("far")}));
}

// --- windowless processes ---------------------------------------------------------------------

TEST(BackgroundProcessesTest, DescendantsThroughTheSameProgramOnlyBelongToTheApplication) {
    // 100 browser (windows) -> 101 zygote -> 102 renderer -> 106 -> 107; 100 -> 103 shell (other
    // program) -> 104 another browser copy under the shell, the user's own job; 105 too deep.
    const std::vector<ProcessNode> nodes = {{1, 0},     {100, 1},      {101, 100}, {102, 101},
                                            {103, 100}, {104, 103},    {106, 102}, {107, 106},
                                            {105, 107}, {kOwnPid, 100}};
    const std::unordered_map<pid_t, int> program = {{100, 1}, {101, 1}, {102, 1},
                                                    {103, 2}, {104, 1}, {105, 1},
                                                    {106, 1}, {107, 1}, {kOwnPid, 1}};
    const auto helpers = findBackgroundHelpers(
        nodes, {100}, kOwnPid, [&](pid_t a, pid_t b) { return program.at(a) == program.at(b); });
    std::vector<pid_t> pids;
    for (const BackgroundHelper& helper : helpers) {
        EXPECT_EQ(helper.application, 100);
        pids.push_back(helper.pid);
    }
    // 104 meets the application through the shell 103: the shell's child is the user's.
    EXPECT_EQ(pids, (std::vector<pid_t>{101, 102, 106, 107}));
}

TEST(BackgroundProcessesTest, OtherProgramsOwnProcessAndLoopsAreNotHelpers) {
    const std::vector<ProcessNode> nodes = {{100, 1}, {101, 100}, {200, 201}, {201, 200}};
    const auto helpers =
        findBackgroundHelpers(nodes, {100}, kOwnPid, [](pid_t, pid_t) { return false; });
    EXPECT_TRUE(helpers.empty());
    // A parent loop (never in a real /proc, but a damaged read could give one) ends the walk.
    const auto looped =
        findBackgroundHelpers(nodes, {300}, kOwnPid, [](pid_t, pid_t) { return true; });
    EXPECT_TRUE(looped.empty());
    // We never list ourselves, even as a copy of a listed program.
    const auto own =
        findBackgroundHelpers({{kOwnPid, 100}}, {100}, kOwnPid, [](pid_t, pid_t) { return true; });
    EXPECT_TRUE(own.empty());
}

// --- identity ---------------------------------------------------------------------------------

TEST(ApplicationIdentityTest, DesktopEntryFirstThenWindowClassTitleAndProgram) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    QFile file(dir.filePath(QStringLiteral("org.example.Viewer.desktop")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(
        "[Desktop Entry]\nType=Application\nName=Picture Viewer\nExec=/bin/true\n"
        "Icon=viewer-icon\nStartupWMClass=ViewerMain\n");
    file.close();
    const DesktopEntries entries(QStringList{dir.path()});

    WindowRecord viewer = window(1, 100);
    viewer.wmInstance = QStringLiteral("viewer");
    viewer.wmClass = QStringLiteral("ViewerMain");
    viewer.title = QStringLiteral("holiday.png");
    const ApplicationIdentity matched =
        identifyApplication(entries, &viewer, QStringLiteral("/usr/bin/viewer"), {});
    EXPECT_TRUE(matched.fromDesktopEntry);
    EXPECT_EQ(matched.bundleIdentifier, QStringLiteral("org.example.Viewer"));
    EXPECT_EQ(matched.name, QStringLiteral("Picture Viewer"));
    EXPECT_EQ(matched.iconName, QStringLiteral("viewer-icon"));

    WindowRecord other = viewer;
    other.wmInstance = QStringLiteral("xlogo");
    other.wmClass = QStringLiteral("XLogo");
    const ApplicationIdentity byClass =
        identifyApplication(entries, &other, QStringLiteral("/usr/bin/xlogo"), {});
    EXPECT_FALSE(byClass.fromDesktopEntry);
    EXPECT_EQ(byClass.bundleIdentifier, QStringLiteral("XLogo"));
    EXPECT_EQ(byClass.name, QStringLiteral("XLogo"));
    EXPECT_TRUE(byClass.iconName.isEmpty());

    other.wmInstance.clear();
    other.wmClass.clear();
    const ApplicationIdentity byTitle =
        identifyApplication(entries, &other, QStringLiteral("/opt/tool/bin/tool (deleted)"), {});
    EXPECT_EQ(byTitle.bundleIdentifier, QStringLiteral("tool"));
    EXPECT_EQ(byTitle.name, QStringLiteral("holiday.png"));

    const ApplicationIdentity trayOnly =
        identifyApplication(entries, nullptr, QStringLiteral("/usr/bin/applet"), {});
    EXPECT_EQ(trayOnly.bundleIdentifier, QStringLiteral("applet"));
    EXPECT_EQ(trayOnly.name, QStringLiteral("applet"));
}

}  // namespace
}  // namespace klosia
