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

// Embedded data: the short form below 256 bytes, the long one above; a head
// for data sent on its own is always long, whatever the length.
TEST(Writer, EmbeddedDataHeads) {
  std::string small, large, head;
  pclxl::Writer(small).data("abc");
  EXPECT_EQ(small, std::string("\xFB\x03") + "abc");
  pclxl::Writer(large).data(std::string(300, 'x'));
  EXPECT_EQ(large.substr(0, 5), std::string("\xFA\x2C\x01\x00\x00", 5));
  pclxl::Writer(head).dataHead(3).dataHead(0x01020304);
  EXPECT_EQ(head, std::string("\xFA\x03\x00\x00\x00\xFA\x04\x03\x02\x01", 10));
}
