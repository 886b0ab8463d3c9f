#include "services/ApplicationDelegate.h"

#include <atomic>

namespace klosia {

namespace {

std::atomic<ApplicationDelegate*> currentDelegate{nullptr};

}  // namespace

ApplicationDelegate* ApplicationDelegate::current() {
    return currentDelegate.load();
}

void ApplicationDelegate::setCurrent(ApplicationDelegate* delegate) {
    currentDelegate.store(delegate);
}

}  // namespace klosia
