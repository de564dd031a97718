#pragma once

#include <cmath>
#include <cstdint>
#include <limits>

// The show's numeric conventions in one place. Arithmetic runs in extended
// precision (long double); a value is rounded only where it is stored, into a
// double field or a float star array. Every float→int conversion goes through
// Trunc, every degree→radian conversion through Rad.

namespace moonglow {

// Degrees to radians as the show has always turned them: 3.14159 / 180.
inline constexpr double DegToRad = 0.017453277777777776;
// The one finer factor, used only by the peony's ring: 3.141593 / 180.
inline constexpr double DegToRadRing = 0.017453294444444444;

// The extended-precision hundredth; it lies just below 1/100, so a product
// that is whole in exact arithmetic may truncate one lower.
inline constexpr long double Percent = 0.01L;

// Truncation toward zero. NaN, infinities and values outside int32 yield
// INT32_MIN, the value the processor's truncating conversion gives for them,
// instead of undefined behaviour.
inline std::int32_t Trunc(long double v) {
  if (!(v > -2147483649.0L && v < 2147483648.0L)) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

inline double Rad(long double degrees, double factor = DegToRad) {
  return static_cast<double>(degrees * factor);
}

// Sine, cosine and square root work on doubles. A negative square-root
// argument answers with the root of its negation, never a failure.
inline double Cos(double radians) { return std::cos(radians); }
inline double Sin(double radians) { return std::sin(radians); }
inline double Sqrt(double v) { return v < 0 ? std::sqrt(-v) : std::sqrt(v); }

// Integer division and remainder truncating toward zero, as C++ does; kept as
// names so the formulas read like the design ("Width div 2").
inline constexpr std::int32_t Div(std::int32_t a, std::int32_t b) { return a / b; }

// Wrapping 32-bit increment for counters that a hand-edited settings file can
// drive past the int32 range (Tick under a huge Lifetime).
inline constexpr std::int32_t WrapAdd(std::int32_t a, std::int32_t b) {
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(a) + static_cast<std::uint32_t>(b));
}

}  // namespace moonglow
