#include "platform/MemoryUserDefaults.h"

#include <atomic>

namespace klosia {

std::optional<DefaultsValue> MemoryUserDefaults::object(const QString& key) const {
    const std::lock_guard lock(mutex_);
    const auto it = values_.constFind(key);
    if (it == values_.constEnd()) {
        return std::nullopt;
    }
    return *it;
}

void MemoryUserDefaults::set(const QString& key, const DefaultsValue& value) {
    const std::lock_guard lock(mutex_);
    values_.insert(key, value);
}

void MemoryUserDefaults::remove(const QString& key) {
    const std::lock_guard lock(mutex_);
    values_.remove(key);
}

bool MemoryUserDefaults::synchronize() {
    return true;
}

QStringList MemoryUserDefaults::keys() const {
    const std::lock_guard lock(mutex_);
    return values_.keys();
}

namespace {
std::atomic<UserDefaults*> installedDefaults{nullptr};
}

UserDefaults& standardUserDefaults() {
    if (UserDefaults* defaults = installedDefaults.load(std::memory_order_acquire)) {
        return *defaults;
    }
    static MemoryUserDefaults fallback;
    return fallback;
}

void setStandardUserDefaults(UserDefaults* defaults) {
    installedDefaults.store(defaults, std::memory_order_release);
}

}  // namespace klosia
