#include "platform/x11/WorkspaceRefresher.h"

#include <pthread.h>

#include <utility>

#include "platform/x11/WorkspaceScanner.h"

namespace klosia {

WorkspaceRefresher::WorkspaceRefresher(std::unique_ptr<WorkspaceScanner> scanner, Publish publish)
    : scanner_(std::move(scanner)), publish_(std::move(publish)), thread_([this] { run(); }) {}

WorkspaceRefresher::~WorkspaceRefresher() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    thread_.join();
}

std::uint64_t WorkspaceRefresher::request() {
    std::uint64_t number = 0;
    {
        const std::lock_guard lock(mutex_);
        number = ++requested_;
    }
    wake_.notify_one();
    return number;
}

void WorkspaceRefresher::run() {
    pthread_setname_np(pthread_self(), "klosia-scan");
    std::unique_lock lock(mutex_);
    while (true) {
        wake_.wait(lock, [this] { return stopping_ || requested_ > served_; });
        if (stopping_) {
            return;
        }
        served_ = requested_;
        const std::uint64_t serves = served_;
        lock.unlock();
        publish_(scanner_->scan(), serves);
        lock.lock();
    }
}

}  // namespace klosia
