// What the benchmarks that run in the virtual desktop share: starting themselves inside it,
// spawning clients, and waiting for the fixture's windows.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unordered_set>
#include <vector>

#include "platform/x11/X11Snapshot.h"
#include "platform/x11/XcbConnection.h"

extern char** environ;  // NOLINT: POSIX

namespace klosia::bench {

inline pid_t spawn(const std::vector<std::string>& args, bool quiet) {
    std::vector<char*> argv;
    for (const std::string& arg : args) {
        argv.push_back(const_cast<char*>(arg.c_str()));  // NOLINT: posix_spawn's signature
    }
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet) {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    }
    pid_t pid = 0;
    const int error = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return error == 0 ? pid : -1;
}

// Runs this program again inside the virtual desktop when it was started without a display.
inline void enterSession(char** argv, const char* name) {
    if (std::getenv("DISPLAY") != nullptr) {
        return;
    }
    const std::string script = std::string(KLOSIA_SOURCE_DIR) + "/tests/session/run-session.sh";
    std::vector<char*> args = {const_cast<char*>(script.c_str()),  // NOLINT
                               const_cast<char*>("--"), argv[0]};  // NOLINT
    args.push_back(nullptr);
    execv(script.c_str(), args.data());
    std::fprintf(stderr, "%s: cannot run the session script\n", name);
    std::exit(1);
}

// Fixture clients of `windowsPerClient` windows each; killed when it goes.
struct Fixtures {
    std::vector<pid_t> pids;

    Fixtures() = default;
    Fixtures(const Fixtures&) = delete;
    Fixtures& operator=(const Fixtures&) = delete;
    ~Fixtures() {
        // Our own unreaped children: their pids cannot have been reused.
        for (const pid_t pid : pids) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
    }

    // Starts them and waits until the window manager lists all their windows; false after a
    // minute without.
    bool start(std::size_t clients, std::size_t windowsPerClient, const XcbConnection& connection,
               std::size_t* total) {
        for (std::size_t i = 0; i < clients; ++i) {
            const pid_t pid =
                spawn({KLOSIA_FIXTURE_PATH, "--windows", std::to_string(windowsPerClient),
                       "--class", "bench" + std::to_string(i) + ",BenchClient" + std::to_string(i)},
                      true);
            if (pid < 0) {
                return false;
            }
            pids.push_back(pid);
        }
        const std::unordered_set<pid_t> ours(pids.begin(), pids.end());
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (std::chrono::steady_clock::now() < deadline) {
            const X11Snapshot snapshot = X11Snapshot::take(connection, false);
            const auto windows = static_cast<std::size_t>(
                std::count_if(snapshot.windows.begin(), snapshot.windows.end(),
                              [&](const WindowRecord& w) { return ours.contains(w.owner.pid); }));
            *total = snapshot.windows.size();
            if (windows >= clients * windowsPerClient) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }
};

}  // namespace klosia::bench
