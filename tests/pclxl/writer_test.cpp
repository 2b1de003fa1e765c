// The writer and the toolkit's number conversions: any real value becomes a
// value of the element type, saturated, never an undefined conversion.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "pclxl/numbers.h"
#include "pclxl/writer.h"

namespace {

using pclxl::DataType;

// One element's bytes as the writer puts them (in an xy pair of it).
std::string elementOf(DataType type, double v) {
  std::string b;
  pclxl::Writer(b).xy(type, v, v, pclxl::attr::PageOrigin);
  return b.substr(1, (b.size() - 3) / 2);
}

TEST(Numbers, OutOfRangeSaturatesAndNaNIsZero) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(pclxl::saturatingCast<int>(3.2e9), std::numeric_limits<int>::max());
  EXPECT_EQ(pclxl::saturatingCast<int>(-3.2e9), std::numeric_limits<int>::min());
  EXPECT_EQ(pclxl::saturatingCast<uint32_t>(-1.5), 0u);
  EXPECT_EQ(pclxl::saturatingCast<uint32_t>(1e300), 4294967295u);
  EXPECT_EQ(pclxl::saturatingCast<uint8_t>(nan), 0);
  EXPECT_EQ(pclxl::saturatingCast<int16_t>(-7.9), -7);  // in range: toward zero, as a cast
  EXPECT_EQ(elementOf(DataType::UByte, 300), "\xFF");
  EXPECT_EQ(elementOf(DataType::UInt16, 3.2e9), "\xFF\xFF");
  EXPECT_EQ(elementOf(DataType::SInt16, -1e9), std::string("\x00\x80", 2));
  EXPECT_EQ(elementOf(DataType::UInt32, -1), std::string(4, '\0'));
  EXPECT_EQ(elementOf(DataType::SInt32, INFINITY), "\xFF\xFF\xFF\x7F");
}

}  // namespace
