#include "platform/linux/ResourceLimits.h"

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>

#include "log/Vezizur.h"

namespace klosia {

void ResourceLimits::raiseOpenFileLimit() {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return;
    }
    const rlim_t wanted = limit.rlim_max == RLIM_INFINITY
                              ? rlim_t{kOpenFiles}
                              : std::min<rlim_t>(limit.rlim_max, rlim_t{kOpenFiles});
    if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur >= wanted) {
        return;
    }
    const rlim_t before = limit.rlim_cur;
    limit.rlim_cur = wanted;
    if (::setrlimit(RLIMIT_NOFILE, &limit) != 0) {
        logger.log(std::string("cannot raise the limit on open files: ") + std::strerror(errno),
                   VezizurLevel::warning);
        return;
    }
    logger.log(
        "open files: limit raised from " + std::to_string(before) + " to " + std::to_string(wanted),
        VezizurLevel::info);
}

}  // namespace klosia
