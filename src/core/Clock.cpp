#include "core/Clock.h"

#include <time.h>

namespace klosia {

BootClock::time_point BootClock::now() noexcept {
    timespec now{};
    // CLOCK_BOOTTIME exists on every kernel this program runs on; the monotonic clock, which
    // only misses the time asleep, is the fallback should it ever fail.
    if (::clock_gettime(CLOCK_BOOTTIME, &now) != 0) {
        ::clock_gettime(CLOCK_MONOTONIC, &now);
    }
    return time_point(std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec));
}

}  // namespace klosia
