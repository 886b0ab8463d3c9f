#pragma once

#include <chrono>
#include <functional>

namespace klosia {

// Where work runs: the main queue (the main thread's event loop), a background pool, and
// delayed work on either. Injected so tests can run queued work deterministically.
class Dispatcher {
public:
    using Work = std::function<void()>;
    using Delay = std::chrono::duration<double>;  // seconds

    virtual ~Dispatcher() = default;

    // Runs later on the main thread, in the order of the calls (also across threads: two
    // calls ordered by happens-before run in that order). Never runs inside the caller.
    virtual void main(Work work) = 0;
    virtual void mainAfter(Delay delay, Work work) = 0;
    virtual void background(Work work) = 0;
    virtual void backgroundAfter(Delay delay, Work work) = 0;
    virtual bool isMainThread() const = 0;
};

}  // namespace klosia
