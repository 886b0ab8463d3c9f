#pragma once

#include <chrono>
#include <functional>

namespace klosia::test {

// Polls `condition` while the Qt event loop runs (so queued work, sockets and timers make
// progress) until it holds or `timeout` passes. Tests wait with this, never with fixed sleeps.
bool waitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

}  // namespace klosia::test
