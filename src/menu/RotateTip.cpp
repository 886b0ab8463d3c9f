#include "menu/RotateTip.h"

#include <QRandomGenerator>

namespace klosia {

const std::vector<RotateTipItem>& RotateTip::tips() {
    using enum RotateTipAction;
    static const std::vector<RotateTipItem> list{
        {QStringLiteral("Don’t give up quitting"), none},
        {QStringLiteral("⌥ to toggle quit/force quit 💪"), preferences},
        {QStringLiteral("Set a shortcut 👉"), preferences},
        {QStringLiteral("Quitters are winners 🏆"), none},
        {QStringLiteral("Quitters are leaders 💁"), none},
        {QStringLiteral("Quitters are our faves 😍"), none},
        {QStringLiteral("Quit not. Maybe a little… 🙄"), none},
        {QStringLiteral("Quitting is caring 👌"), none},
        {QStringLiteral("Time to quit 🤘"), none},
        {QStringLiteral("There is no shame in quitting"), none},
        {QStringLiteral("I just won’t quit, maybe. 🙄"), none},
        {QStringLiteral("Quitting is leading 🧝♂️"), none},
        {QStringLiteral("Quitting is just starting over ☀️"), none},
        {QStringLiteral("The force is strong with you. 🙏"), none},
        {QStringLiteral("Fall seven times, quit eight 🖐🤟"), none},
        {QStringLiteral("Never stop quitting 💪"), none},
        {QStringLiteral("Rehab for your apps 🧑⚕️"), none},
        {QStringLiteral("Addicted to quitting ⚡️"), none},
    };
    return list;
}

RotateTip::RandomSource RotateTip::systemRandom() {
    return [] { return QRandomGenerator::system()->generate(); };
}

std::size_t RotateTip::randomIndex(std::size_t count, const RandomSource& random) {
    if (count <= 1) {
        return 0;
    }
    // The raw value times count spans count whole blocks of 2^32; its block is the index. Of
    // the low parts, 2^32 mod count values fall in an incomplete range and would favour some
    // indexes: such a draw is repeated (Lemire's method).
    const auto bound = static_cast<std::uint64_t>(count);
    const std::uint64_t rejected = ((std::uint64_t{1} << 32U) - bound) % bound;
    std::uint64_t product = std::uint64_t{random()} * bound;
    while ((product & 0xFFFFFFFFU) < rejected) {
        product = std::uint64_t{random()} * bound;
    }
    return static_cast<std::size_t>(product >> 32U);
}

const RotateTipItem& RotateTip::draw(const RandomSource& random) {
    const std::vector<RotateTipItem>& list = tips();
    return list[randomIndex(list.size(), random)];
}

}  // namespace klosia
