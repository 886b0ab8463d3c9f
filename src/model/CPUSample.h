#pragma once

#include <string>
#include <vector>

#include "core/Notification.h"
#include "model/CPUEntry.h"

namespace klosia {

// The object of a "CPUDidChanged" notification: every process of one sample, in the order of
// the listing.
class CPUSample final : public NotificationObject {
public:
    explicit CPUSample(std::vector<CPUEntry> sampled) : entries(std::move(sampled)) {}

    // "[pid: 1, cpu: 0.0, pid: 2, cpu: 3.5]"
    std::string description() const override;

    const std::vector<CPUEntry> entries;
};

}  // namespace klosia
