// Checked arithmetic for sizes and coordinates that come from files and settings, in the
// spirit of pdfium's checked numerics: a value that remembers whether any step on the way
// overflowed, so a chain of operations is checked once at its end.
#pragma once

#include <cmath>
#include <concepts>
#include <limits>
#include <optional>

namespace checked {

// A number converted to an integer type: none when it is NaN, infinite or out of range.
// Floating-point values are cut toward zero, as a C++ cast cuts them.
template <std::integral To, class From>
std::optional<To> Cast(From value) {
  if constexpr (std::floating_point<From>) {
    if (!std::isfinite(value)) {
      return std::nullopt;
    }
    const long double cut = std::trunc(static_cast<long double>(value));
    if (cut < static_cast<long double>(std::numeric_limits<To>::min()) ||
        cut > static_cast<long double>(std::numeric_limits<To>::max())) {
      return std::nullopt;
    }
    return static_cast<To>(cut);
  } else {
    To result{};
    if (__builtin_add_overflow(value, From{0}, &result)) {
      return std::nullopt;
    }
    return result;
  }
}

template <std::integral T>
class Checked {
 public:
  constexpr Checked(T value) : value_(value) {}  // NOLINT: a plain number is a valid start

  constexpr bool Valid() const { return valid_; }
  constexpr std::optional<T> Value() const {
    return valid_ ? std::optional<T>(value_) : std::nullopt;
  }
  constexpr T ValueOr(T fallback) const { return valid_ ? value_ : fallback; }

  friend constexpr Checked operator+(Checked a, Checked b) {
    T sum{};
    const bool overflowed = __builtin_add_overflow(a.value_, b.value_, &sum);
    return Combine(sum, a, b, overflowed);
  }
  friend constexpr Checked operator-(Checked a, Checked b) {
    T difference{};
    const bool overflowed = __builtin_sub_overflow(a.value_, b.value_, &difference);
    return Combine(difference, a, b, overflowed);
  }
  friend constexpr Checked operator*(Checked a, Checked b) {
    T product{};
    const bool overflowed = __builtin_mul_overflow(a.value_, b.value_, &product);
    return Combine(product, a, b, overflowed);
  }
  Checked& operator+=(Checked other) { return *this = *this + other; }
  Checked& operator-=(Checked other) { return *this = *this - other; }
  Checked& operator*=(Checked other) { return *this = *this * other; }

 private:
  static constexpr Checked Combine(T value, Checked a, Checked b, bool overflowed) {
    Checked result(value);
    result.valid_ = a.valid_ && b.valid_ && !overflowed;
    return result;
  }

  T value_;
  bool valid_ = true;
};

}  // namespace checked
