#pragma once

#include <string>

namespace klosia {

// The shortest decimal text that reads back as the same value, always with a fractional part
// or an exponent ("0.0", "1.5", "1e-05"), as log lines show numbers.
std::string shortestDecimal(double value);
std::string shortestDecimal(float value);

}  // namespace klosia
