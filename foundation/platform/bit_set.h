// Bit-set operators for scoped enums. The attribute bits the system reports,
// the flags of a listed entry and the mode bits of a path's status are three
// vocabularies whose values overlap (read-only is 0x1 in two of them and 0x8
// in the third); as three enum types, a test of one with a bit of another
// does not compile. An enum takes part by specialising enable_bit_set; each
// keeps the numeric values of the words it stands for, so a cast at the
// system boundary converts it without translation.
#pragma once

#include <type_traits>

namespace zub {

template <class E>
struct enable_bit_set : std::false_type {};

template <class E>
concept bit_set = std::is_enum_v<E> && enable_bit_set<E>::value;

template <bit_set E>
constexpr std::underlying_type_t<E> bits_of(E set) {
    return static_cast<std::underlying_type_t<E>>(set);
}

template <bit_set E>
constexpr E operator|(E a, E b) {
    return static_cast<E>(bits_of(a) | bits_of(b));
}

template <bit_set E>
constexpr E operator&(E a, E b) {
    return static_cast<E>(bits_of(a) & bits_of(b));
}

template <bit_set E>
constexpr E operator~(E a) {
    return static_cast<E>(~bits_of(a));
}

template <bit_set E>
constexpr E& operator|=(E& a, E b) {
    return a = a | b;
}

template <bit_set E>
constexpr E& operator&=(E& a, E b) {
    return a = a & b;
}

// True when `set` holds any of the bits in `bits`.
template <bit_set E>
constexpr bool has(E set, E bits) {
    return bits_of(set & bits) != 0;
}

}  // namespace zub
