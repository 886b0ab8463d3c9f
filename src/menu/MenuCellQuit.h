#pragma once

#include <QString>

#include <atomic>
#include <memory>

#include "model/MenuApp.h"

namespace klosia {

class Dispatcher;

// A row's own quit: one request per process of its entry from the background queue, the row's
// notification once every process accepted, and a watch that looks at each process for a few
// seconds and posts its end so the list is rebuilt at once.
//
// Completions and the watch's looks run on pool threads at the same time. What they share is
// atomic: the per-press count of accepted requests (its increment returns the value compared,
// so exactly one completion shows the notification) and the row's `countCheck`, held by
// shared pointer so a look that outlives its row is still safe.
class MenuCellQuit {
public:
    // Seconds between two looks at a process after the request, and the last look's number.
    static constexpr double kCheckInterval = 0.25;
    static constexpr int kLastCheck = 10;

    struct Message {
        QString title;
        QString subtitle;
    };
    static Message message(const QString& name, bool force);

    // Why a quit of `entry` in this mode is not offered: a polite one that none of its
    // processes can be asked (the sentence the row shows); empty when it is offered.
    static QString refusal(const MenuAppPtr& entry, bool force);

    // Posts "AppWillQuit" or "AppWillForceQuit", resets `countCheck`, then for each process of
    // `entry` in order submits its request and looks at it once on this thread. False, with a
    // log line and nothing else done, when refusal() is not empty.
    static bool start(Dispatcher& dispatcher, const MenuAppPtr& entry, bool force,
                      const std::shared_ptr<std::atomic<int>>& countCheck);

    // Logs "<process> is terminated: true|false". When it ended, posts the workspace's
    // termination name on the bus; otherwise, unless `countCheck` has passed 9, looks again
    // 0.25 seconds later on the background queue and then counts that look in `countCheck`.
    static void checkIfTerminated(Dispatcher& dispatcher, const RunningApplicationPtr& app,
                                  const std::shared_ptr<std::atomic<int>>& countCheck);

    // "Name [identifier, pid N]": how the log names one process.
    static QString describe(const RunningApplicationPtr& app);
};

}  // namespace klosia
