#include "menu/RotateTip.h"

#include <QCoreApplication>
#include <QRandomGenerator>

namespace klosia {

const std::vector<RotateTipItem>& RotateTip::tips() {
    using enum RotateTipAction;
    static const std::vector<RotateTipItem> list{
        {QCoreApplication::translate("klosia::RotateTip", "Don’t give up quitting"), none},
        {QCoreApplication::translate("klosia::RotateTip", "⌥ to toggle quit/force quit 💪"),
         preferences},
        {QCoreApplication::translate("klosia::RotateTip", "Set a shortcut 👉"), preferences},
        {QCoreApplication::translate("klosia::RotateTip", "Quitters are winners 🏆"), none},
        {QCoreApplication::translate("klosia::RotateTip", "Quitters are leaders 💁"), none},
        {QCoreApplication::translate("klosia::RotateTip", "Quitters are our faves 😍"), none},
        {QCoreApplication::translate("klosia::RotateTip", "Quit not. Maybe a little… 🙄"),
         none},
        {QCoreApplication::translate("klosia::RotateTip", "Quitting is caring 👌"), none},
        {QCoreApplication::translate("klosia::RotateTip", "Time to quit 🤘"), none},
        {QCoreApplication::translate("klosia::RotateTip", "There is no shame in quitting"), none},
        {QCoreApplication::translate("klosia::RotateTip", "I just won’t quit, maybe. 🙄"),
         none},
        {QCoreApplication::translate("klosia::RotateTip", "Quitting is leading 🧝♂️"), none},
        {QCoreApplication::translate("klosia::RotateTip", "Quitting is just starting over ☀️"),
         none},
        {QCoreApplication::translate("klosia::RotateTip", "The force is strong with you. 🙏"), none},
        {QCoreApplication::translate("klosia::RotateTip", "Fall seven times, quit eight 🖐🤟"),
         none},
        {QCoreApplication::translate("klosia::RotateTip", "Never stop quitting 💪"), none},
        {QCoreApplication::translate("klosia::RotateTip", "Rehab for your apps 🧑⚕️"), none},
        {QCoreApplication::translate("klosia::RotateTip", "Addicted to quitting ⚡️"), none},
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
