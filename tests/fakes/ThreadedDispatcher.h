#pragma once

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "core/Dispatcher.h"

namespace klosia::test {

// A dispatcher with real concurrency built only from the standard library (so a thread
// sanitizer sees every hand-over): background work runs on several worker threads at once,
// delayed work after its real delay; main-queue work waits until the test drains it on its
// own thread.
class ThreadedDispatcher final : public Dispatcher {
public:
    explicit ThreadedDispatcher(int workers = 4);
    ~ThreadedDispatcher() override;
    ThreadedDispatcher(const ThreadedDispatcher&) = delete;
    ThreadedDispatcher& operator=(const ThreadedDispatcher&) = delete;

    void main(Work work) override;
    void mainAfter(Delay delay, Work work) override;
    void background(Work work) override;
    void backgroundAfter(Delay delay, Work work) override;
    bool isMainThread() const override;

    // Runs the main-queue work that is due, on the calling thread; returns how many ran.
    int drainMain();
    // Drains the main queue until `condition` holds or `timeout` passes.
    bool runUntil(const std::function<bool()>& condition,
                  std::chrono::milliseconds timeout = std::chrono::seconds(10));
    // No background work queued, waiting for its time, or running.
    bool idle() const;

private:
    using Time = std::chrono::steady_clock::time_point;
    void workerLoop();

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Work> ready_;
    std::multimap<Time, Work> delayed_;
    std::multimap<Time, Work> mainQueue_;
    int running_ = 0;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
    std::thread::id mainThread_ = std::this_thread::get_id();
};

}  // namespace klosia::test
