#include "model/CPUEntry.h"

#include "core/Decimal.h"

namespace klosia {

std::string CPUEntry::description() const {
    return "pid: " + std::to_string(pid) + ", cpu: " + shortestDecimal(cpu);
}

}  // namespace klosia
