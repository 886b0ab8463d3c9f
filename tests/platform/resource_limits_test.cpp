#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>

#include "platform/linux/ResourceLimits.h"

namespace klosia {
namespace {

TEST(ResourceLimits, TheSoftLimitOnOpenFilesRisesTowardTheHardOneAndNoFurther) {
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < 1024) {
        GTEST_SKIP() << "the hard limit is below the default soft one";
    }
    rlimit low = saved;
    low.rlim_cur = 512;
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    ResourceLimits::raiseOpenFileLimit();
    rlimit raised{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &raised), 0);
    const rlim_t expected = saved.rlim_max == RLIM_INFINITY
                                ? rlim_t{ResourceLimits::kOpenFiles}
                                : std::min<rlim_t>(saved.rlim_max, ResourceLimits::kOpenFiles);
    EXPECT_EQ(raised.rlim_cur, expected);
    EXPECT_EQ(raised.rlim_max, saved.rlim_max) << "the hard limit is left alone";
    // Already there: nothing changes.
    ResourceLimits::raiseOpenFileLimit();
    rlimit again{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &again), 0);
    EXPECT_EQ(again.rlim_cur, expected);
    ::setrlimit(RLIMIT_NOFILE, &saved);
}

}  // namespace
}  // namespace klosia
