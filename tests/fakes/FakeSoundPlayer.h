#pragma once

#include <QStringList>

#include <mutex>
#include <thread>
#include <vector>

#include "platform/SoundPlayer.h"

namespace klosia::test {

// Remembers the names it was asked to play and the threads that asked; may be told to fail.
class FakeSoundPlayer final : public SoundPlayer {
public:
    bool play(const QString& name, QString& error) override {
        const std::lock_guard lock(mutex_);
        played_ << name;
        threads_.push_back(std::this_thread::get_id());
        if (!failure.isEmpty()) {
            error = failure;
            return false;
        }
        return true;
    }

    QStringList played() const {
        const std::lock_guard lock(mutex_);
        return played_;
    }
    std::vector<std::thread::id> threads() const {
        const std::lock_guard lock(mutex_);
        return threads_;
    }

    QString failure;  // non-empty: every play fails with it

private:
    mutable std::mutex mutex_;
    QStringList played_;
    std::vector<std::thread::id> threads_;
};

}  // namespace klosia::test
