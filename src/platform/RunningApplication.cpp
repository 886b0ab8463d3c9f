#include "platform/RunningApplication.h"

namespace klosia {

const char* activationPolicyName(ActivationPolicy policy) {
    switch (policy) {
        case ActivationPolicy::regular:
            return "regular";
        case ActivationPolicy::accessory:
            return "accessory";
        case ActivationPolicy::prohibited:
            return "prohibited";
    }
    return "regular";
}

}  // namespace klosia
