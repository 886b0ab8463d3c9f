#pragma once

#include <chrono>

namespace klosia {

// Time since boot, suspended time included (CLOCK_BOOTTIME). Unlike the wall clock it never
// steps (an NTP correction, the other system of a dual boot, the user setting the date), and
// unlike std::chrono::steady_clock it runs on while the machine sleeps, so that time spent in
// the background during a suspend counts as time in the background.
struct BootClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<BootClock>;
    static constexpr bool is_steady = true;

    static time_point now() noexcept;
};

// Where the inactivity check takes the time from; tests move it by hand.
class Clock {
public:
    virtual ~Clock() = default;
    virtual BootClock::time_point now() const = 0;
};

class RealClock final : public Clock {
public:
    BootClock::time_point now() const override { return BootClock::now(); }
};

}  // namespace klosia
