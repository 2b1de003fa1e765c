// The settings record's ANSI fields, and port names.
#include <gtest/gtest.h>

#include "config/portcontention.h"
#include "support/test_machine.h"
#include "support/text.h"

namespace {

TEST(AnsiField, ConvertsWithinItsWidthWithoutATerminator) {
  test::TestMachine m;
  const CHAR field[4] = {'a', 'b', 'c', 'd'};  // no NUL inside the field
  WCHAR out[8];
  ASSERT_TRUE(AnsiFieldToWide(field, out));
  EXPECT_EQ(std::u16string(out), u"abcd");
  WCHAR small[3];
  ASSERT_TRUE(AnsiFieldToWide(field, small));
  EXPECT_EQ(std::u16string(small), u"ab");
  const CHAR empty[4] = {};
  ASSERT_TRUE(AnsiFieldToWide(empty, out));
  EXPECT_EQ(out[0], 0);
}

TEST(AnsiField, UsesTheMachinesAnsiCodePage) {
  test::TestMachine m;
  m->setCodePage(932);
  const CHAR field[8] = "\x93\xFA\x96\x7B";
  WCHAR out[8];
  ASSERT_TRUE(AnsiFieldToWide(field, out));
  EXPECT_EQ(std::u16string(out), u"\u65e5\u672c");
  const CHAR cut[3] = {'\x93', '\xFA', '\x96'};  // a lead byte without its trail at the field's end
  ASSERT_TRUE(AnsiFieldToWide(cut, out));
  EXPECT_EQ(out[0], u'\u65e5');
}

TEST(PortCode, FirstThreeLettersWithoutRegardToCase) {
  test::TestMachine m;
  EXPECT_EQ(PortCodeOf(u"LPT1:"), PORT_CODE_LPT);
  EXPECT_EQ(PortCodeOf(u"lpt1:"), PORT_CODE_LPT);
  EXPECT_EQ(PortCodeOf(u"USB001"), PORT_CODE_USB);
  EXPECT_EQ(PortCodeOf(u"COM1:"), 0);
  EXPECT_EQ(PortCodeOf(u"FILE:"), 0);
  EXPECT_EQ(PortCodeOf(u"LP"), 0);
  EXPECT_EQ(PortCodeOf(u""), 0);
}

}  // namespace
