#include "platform/linux/ProcessReader.h"

namespace klosia {

namespace {

class SystemProcessReader final : public ProcessReader {
public:
    std::optional<ProcStat> stat(pid_t pid) const override { return ProcessInfo::stat(pid); }
    std::optional<ProcessUids> uids(pid_t pid) const override { return ProcessInfo::uids(pid); }
};

}  // namespace

const ProcessReader& ProcessReader::system() {
    static const SystemProcessReader reader;
    return reader;
}

}  // namespace klosia
