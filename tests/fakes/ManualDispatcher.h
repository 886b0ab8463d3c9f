#pragma once

#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "core/Clock.h"
#include "core/Dispatcher.h"

namespace klosia::test {

// A dispatcher whose queues run only when the test says so, on virtual time. Background work
// runs on the thread that drains it, so tests stay single-threaded and repeatable.
class ManualDispatcher final : public Dispatcher, public Clock {
public:
    void main(Work work) override;
    void mainAfter(Delay delay, Work work) override;
    void background(Work work) override;
    void backgroundAfter(Delay delay, Work work) override;
    bool isMainThread() const override;

    // Runs everything that is due now, including work queued while running; returns how many
    // items ran.
    int runUntilIdle();
    // Moves virtual time forward, running due work in time order.
    int advance(Delay by);
    std::size_t pendingMain() const;
    std::size_t pendingBackground() const;

    BootClock::time_point now() const override;
    void setNow(BootClock::time_point time);

private:
    struct Item {
        BootClock::time_point due;
        std::uint64_t sequence;
        bool backgroundQueue;
        Work work;
    };
    void enqueue(Delay delay, bool backgroundQueue, Work work);
    bool runOneDue();

    mutable std::mutex mutex_;
    std::vector<Item> items_;
    std::uint64_t nextSequence_ = 0;
    BootClock::time_point now_{std::chrono::seconds(1'700'000'000)};
    std::thread::id mainThread_ = std::this_thread::get_id();
};

}  // namespace klosia::test
