#include "settings/LaunchAtLogin.h"

#include <atomic>

#include "log/Vezizur.h"
#include "platform/LoginItems.h"

namespace klosia {

namespace {
std::atomic<LoginItems*> installedBackend{nullptr};
}

bool LaunchAtLogin::isEnabled() {
    LoginItems* backend = installedBackend.load(std::memory_order_acquire);
    return backend != nullptr && backend->isEnabled();
}

void LaunchAtLogin::setEnabled(bool enabled) {
    LoginItems* backend = installedBackend.load(std::memory_order_acquire);
    if (backend == nullptr) {
        logger.log("start at login is not available: no login-item service", VezizurLevel::error);
        return;
    }
    backend->setEnabled(enabled);
}

void LaunchAtLogin::setBackend(LoginItems* backend) {
    installedBackend.store(backend, std::memory_order_release);
}

}  // namespace klosia
