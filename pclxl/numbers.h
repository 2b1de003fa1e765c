// Converting the numbers a stream carries (held as double) to integers:
// a value outside the integer's range saturates and NaN is 0, since a
// stream may hold any real32 and a plain cast of those is undefined.
#pragma once

#include <cmath>
#include <limits>

namespace pclxl {

template <typename Int>
Int saturatingCast(double v) {
  if (std::isnan(v)) return 0;
  if (v <= static_cast<double>(std::numeric_limits<Int>::min())) return std::numeric_limits<Int>::min();
  if (v >= static_cast<double>(std::numeric_limits<Int>::max())) return std::numeric_limits<Int>::max();
  return static_cast<Int>(v);
}

}  // namespace pclxl
