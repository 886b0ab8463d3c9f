#include "model/CPUSample.h"

namespace klosia {

std::string CPUSample::description() const {
    std::string text = "[";
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (i > 0) {
            text += ", ";
        }
        text += entries[i].description();
    }
    text += "]";
    return text;
}

}  // namespace klosia
