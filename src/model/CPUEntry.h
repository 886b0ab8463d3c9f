#pragma once

#include <cstdint>
#include <string>

namespace klosia {

// One process's processor load from one sample.
struct CPUEntry {
    std::int64_t pid = 0;
    float cpu = 0;  // percent; one busy core is 100, several cores can exceed it

    // "pid: 412, cpu: 3.5"
    std::string description() const;

    bool operator==(const CPUEntry&) const = default;
};

}  // namespace klosia
