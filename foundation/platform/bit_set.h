// Bit-set operators for scoped enums: the attribute bits the system reports
// (attr_bits) are one, so that a set of them is tested with has() and not
// mixed with a plain number by accident. An enum takes part by specialising
// enable_bit_set; it keeps the numeric values of the word it stands for, so a
// cast at the system boundary converts it without translation.
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
