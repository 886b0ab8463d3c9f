#include "core/Decimal.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace klosia {

namespace {

template <typename T>
std::string shortest(T value) {
    if (std::isnan(value)) {
        return "nan";
    }
    if (std::isinf(value)) {
        return value < 0 ? "-inf" : "inf";
    }
    char buffer[64];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".e") == std::string::npos) {
        text += ".0";
    }
    return text;
}

}  // namespace

std::string shortestDecimal(double value) {
    return shortest(value);
}
std::string shortestDecimal(float value) {
    return shortest(value);
}

}  // namespace klosia
