#pragma once

#include <cstdint>
#include <initializer_list>

namespace klosia {

// A set of single-bit members over a signed 64-bit raw value. Derived types add their members
// as static constants; the operations here work on the raw bits only.
template <typename Derived>
struct OptionSet {
    std::int64_t rawValue = 0;

    constexpr OptionSet() = default;
    constexpr explicit OptionSet(std::int64_t raw) : rawValue(raw) {}

    static constexpr Derived fromList(std::initializer_list<Derived> members) {
        Derived result{};
        for (const Derived& m : members) {
            result.rawValue |= m.rawValue;
        }
        return result;
    }

    constexpr Derived unionWith(Derived other) const { return Derived{rawValue | other.rawValue}; }
    constexpr Derived intersection(Derived other) const {
        return Derived{rawValue & other.rawValue};
    }
    constexpr Derived symmetricDifference(Derived other) const {
        return Derived{rawValue ^ other.rawValue};
    }
    constexpr Derived subtracting(Derived other) const {
        return Derived{rawValue & ~other.rawValue};
    }
    constexpr void insert(Derived member) { rawValue |= member.rawValue; }
    constexpr void remove(Derived member) { rawValue &= ~member.rawValue; }
    constexpr bool contains(Derived member) const {
        return (rawValue & member.rawValue) == member.rawValue;
    }
    constexpr bool isSubset(Derived other) const { return (rawValue & ~other.rawValue) == 0; }
    constexpr bool isSuperset(Derived other) const { return (other.rawValue & ~rawValue) == 0; }
    constexpr bool isDisjoint(Derived other) const { return (rawValue & other.rawValue) == 0; }
    constexpr bool isEmpty() const { return rawValue == 0; }

    friend constexpr bool operator==(const OptionSet& a, const OptionSet& b) {
        return a.rawValue == b.rawValue;
    }
    friend constexpr Derived operator|(Derived a, Derived b) { return a.unionWith(b); }
    friend constexpr Derived operator&(Derived a, Derived b) { return a.intersection(b); }
};

}  // namespace klosia
