#pragma once

namespace klosia {

// The process's own limits.
class ResourceLimits {
public:
    // Raises the soft limit on open descriptors toward the hard one (to at most kOpenFiles), as
    // long-running desktop programs do: the default soft limit of 1024 is a leftover of select(),
    // which this program does not use. Logs what it did; a refusal is logged and harmless.
    static void raiseOpenFileLimit();

    static constexpr unsigned long kOpenFiles = 65536;
};

}  // namespace klosia
