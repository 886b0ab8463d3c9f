#pragma once

#include <functional>

#include "platform/RunningApplication.h"

namespace klosia {

// Sends one quit request to one running process and reports the immediate answer. It neither
// waits for the process to end nor retries nor escalates; callers that need the outcome watch
// the process themselves. Safe from any thread and from several at once: there is no state.
class QuitEngine {
public:
    // Called exactly once, synchronously on the calling thread, after the log line: the flag
    // says whether the request was sent (not whether the process ended), then the same handle.
    using Completion = std::function<void(bool, const RunningApplicationPtr&)>;

    // The polite request. Logs "app: <id> did terminate [true|false]".
    static void terminate(const RunningApplicationPtr& app, const Completion& completion);
    // Ends the process without asking. Logs "app: <id> did force terminate [true|false]".
    static void forceTerminate(const RunningApplicationPtr& app, const Completion& completion);
};

}  // namespace klosia
