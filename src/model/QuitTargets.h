#pragma once

#include <vector>

#include "platform/RunningApplication.h"

namespace klosia {

// Of the processes one polite quit is about to ask, those it must ask: a helper whose
// application the same quit asks to close is left out, as it ends with its application (a
// browser's content processes, which a SIGTERM would kill under the browser, before its own
// "leave this page?" could ask). A helper asked for alone, its application not among `targets`,
// stays. A force quit asks them all.
std::vector<RunningApplicationPtr> politeQuitTargets(
    const std::vector<RunningApplicationPtr>& targets);

}  // namespace klosia
