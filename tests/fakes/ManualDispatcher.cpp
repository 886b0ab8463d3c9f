#include "fakes/ManualDispatcher.h"

#include <algorithm>

namespace klosia::test {

void ManualDispatcher::main(Work work) {
    enqueue(Delay(0), false, std::move(work));
}

void ManualDispatcher::mainAfter(Delay delay, Work work) {
    enqueue(delay, false, std::move(work));
}

void ManualDispatcher::background(Work work) {
    enqueue(Delay(0), true, std::move(work));
}

void ManualDispatcher::backgroundAfter(Delay delay, Work work) {
    enqueue(delay, true, std::move(work));
}

bool ManualDispatcher::isMainThread() const {
    return std::this_thread::get_id() == mainThread_;
}

void ManualDispatcher::enqueue(Delay delay, bool backgroundQueue, Work work) {
    const std::lock_guard lock(mutex_);
    const auto offset = std::chrono::duration_cast<BootClock::duration>(std::max(delay, Delay(0)));
    items_.push_back(Item{now_ + offset, nextSequence_++, backgroundQueue, std::move(work)});
}

bool ManualDispatcher::runOneDue() {
    Work work;
    {
        const std::lock_guard lock(mutex_);
        auto best = items_.end();
        for (auto it = items_.begin(); it != items_.end(); ++it) {
            if (it->due <= now_ && (best == items_.end() || it->due < best->due ||
                                    (it->due == best->due && it->sequence < best->sequence))) {
                best = it;
            }
        }
        if (best == items_.end()) {
            return false;
        }
        work = std::move(best->work);
        items_.erase(best);
    }
    work();
    return true;
}

int ManualDispatcher::runUntilIdle() {
    int count = 0;
    while (runOneDue()) {
        ++count;
    }
    return count;
}

int ManualDispatcher::advance(Delay by) {
    const auto target = now() + std::chrono::duration_cast<BootClock::duration>(by);
    int count = runUntilIdle();
    while (true) {
        BootClock::time_point next = target;
        {
            const std::lock_guard lock(mutex_);
            for (const auto& item : items_) {
                next = std::min(next, item.due);
            }
            now_ = std::max(now_, next);
        }
        count += runUntilIdle();
        if (next >= target) {
            break;
        }
    }
    return count;
}

std::size_t ManualDispatcher::pendingMain() const {
    const std::lock_guard lock(mutex_);
    return static_cast<std::size_t>(std::count_if(
        items_.begin(), items_.end(), [](const Item& i) { return !i.backgroundQueue; }));
}

std::size_t ManualDispatcher::pendingBackground() const {
    const std::lock_guard lock(mutex_);
    return items_.size() -
           static_cast<std::size_t>(std::count_if(
               items_.begin(), items_.end(), [](const Item& i) { return !i.backgroundQueue; }));
}

BootClock::time_point ManualDispatcher::now() const {
    const std::lock_guard lock(mutex_);
    return now_;
}

void ManualDispatcher::setNow(BootClock::time_point time) {
    const std::lock_guard lock(mutex_);
    now_ = time;
}

}  // namespace klosia::test
