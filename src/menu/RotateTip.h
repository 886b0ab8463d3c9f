#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "menu/RotateTipItem.h"

namespace klosia {

// The fixed list of the menu's tips and the draw of one of them.
class RotateTip {
public:
    RotateTip() = delete;

    // Uniformly distributed 32-bit values.
    using RandomSource = std::function<std::uint32_t()>;

    // Built on first use, never changed.
    static const std::vector<RotateTipItem>& tips();

    // The system's random generator (the operating system's entropy source).
    static RandomSource systemRandom();

    // An index in 0 ..< `count`, each equally likely (0 < count <= 2^32). The raw value is
    // scaled rather than reduced by a remainder, and the few raw values that would make some
    // indexes likelier than others are drawn again.
    static std::size_t randomIndex(std::size_t count, const RandomSource& random);

    // One tip of tips(), every one equally likely.
    static const RotateTipItem& draw(const RandomSource& random);
};

}  // namespace klosia
