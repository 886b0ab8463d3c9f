#include "fakes/ThreadedDispatcher.h"

namespace klosia::test {

namespace {

std::chrono::steady_clock::time_point dueAfter(Dispatcher::Delay delay) {
    return std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(
               std::max(delay, Dispatcher::Delay(0)));
}

}  // namespace

ThreadedDispatcher::ThreadedDispatcher(int workers) {
    for (int i = 0; i < workers; ++i) {
        threads_.emplace_back([this] { workerLoop(); });
    }
}

ThreadedDispatcher::~ThreadedDispatcher() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_all();
    for (std::thread& thread : threads_) {
        thread.join();
    }
}

void ThreadedDispatcher::main(Work work) {
    mainAfter(Delay(0), std::move(work));
}

void ThreadedDispatcher::mainAfter(Delay delay, Work work) {
    const std::lock_guard lock(mutex_);
    mainQueue_.emplace(dueAfter(delay), std::move(work));
}

void ThreadedDispatcher::background(Work work) {
    {
        const std::lock_guard lock(mutex_);
        ready_.push_back(std::move(work));
    }
    wake_.notify_one();
}

void ThreadedDispatcher::backgroundAfter(Delay delay, Work work) {
    {
        const std::lock_guard lock(mutex_);
        delayed_.emplace(dueAfter(delay), std::move(work));
    }
    wake_.notify_all();
}

bool ThreadedDispatcher::isMainThread() const {
    return std::this_thread::get_id() == mainThread_;
}

void ThreadedDispatcher::workerLoop() {
    std::unique_lock lock(mutex_);
    while (true) {
        const Time now = std::chrono::steady_clock::now();
        while (!delayed_.empty() && delayed_.begin()->first <= now) {
            ready_.push_back(std::move(delayed_.begin()->second));
            delayed_.erase(delayed_.begin());
        }
        if (stopping_) {
            return;
        }
        if (ready_.empty()) {
            if (delayed_.empty()) {
                wake_.wait(lock);
            } else {
                wake_.wait_until(lock, delayed_.begin()->first);
            }
            continue;
        }
        Work work = std::move(ready_.front());
        ready_.pop_front();
        ++running_;
        lock.unlock();
        work();
        work = nullptr;  // its captures go on this thread, before the count drops
        lock.lock();
        --running_;
    }
}

int ThreadedDispatcher::drainMain() {
    int count = 0;
    while (true) {
        Work work;
        {
            const std::lock_guard lock(mutex_);
            if (mainQueue_.empty() ||
                mainQueue_.begin()->first > std::chrono::steady_clock::now()) {
                return count;
            }
            work = std::move(mainQueue_.begin()->second);
            mainQueue_.erase(mainQueue_.begin());
        }
        work();
        ++count;
    }
}

bool ThreadedDispatcher::runUntil(const std::function<bool()>& condition,
                                  std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (true) {
        drainMain();
        if (condition()) {
            return true;
        }
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool ThreadedDispatcher::idle() const {
    const std::lock_guard lock(mutex_);
    return ready_.empty() && delayed_.empty() && running_ == 0;
}

}  // namespace klosia::test
