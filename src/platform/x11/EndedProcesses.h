#pragma once

#include <cstdint>
#include <map>

#include "platform/x11/ApplicationKey.h"

namespace klosia {

// Processes the watcher saw end while scans were asked for or under way. Scans are numbered by
// the latest request they serve, and a scan begins only after the request it serves was made.
// A process that ended when the latest request was number E may still be in a scan serving E or
// less (it may have read /proc before the exit), but never in one serving more: that scan began
// after the exit. Such scans must not list it again, or it would be announced anew.
class EndedProcesses {
public:
    void ended(const ApplicationKey& key, std::uint64_t latestRequest) {
        ended_[key] = latestRequest;
    }

    // Whether a scan serving request `serves` must leave `key` out.
    bool hides(const ApplicationKey& key, std::uint64_t serves) const {
        const auto found = ended_.find(key);
        return found != ended_.end() && serves <= found->second;
    }

    // A scan serving `serves` was applied; no later one can be older than it.
    void served(std::uint64_t serves) {
        std::erase_if(ended_, [serves](const auto& entry) { return entry.second < serves; });
    }

    std::size_t size() const { return ended_.size(); }

private:
    std::map<ApplicationKey, std::uint64_t> ended_;
};

}  // namespace klosia
