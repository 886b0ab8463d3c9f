#pragma once

#include <cstdlib>
#include <memory>

namespace klosia {

// Owns a reply or error that xcb allocated with malloc.
struct XcbFree {
    void operator()(void* pointer) const { std::free(pointer); }  // NOLINT: xcb's allocation
};
template <typename T>
using XcbReply = std::unique_ptr<T, XcbFree>;

}  // namespace klosia
