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
}

// Half a character at a field's end, whether the field is full or its NUL
// follows a lead byte, is left out; a trail byte that looks like a lead
// byte is not.
TEST(AnsiField, HalfACharacterAtTheEndIsLeftOut) {
  test::TestMachine m;
  m->setCodePage(932);
  struct Case {
    std::string field;
    std::u16string text;
    bool dropped;
  };
  const Case cases[] = {
      {"\x93\xFA\x96", u"\u65e5", true},
      {std::string("\x93\xFA\x96\0", 4), u"\u65e5", true},
      {"\x81\x81", u"\uff1d", false},
      {"a\x81\x81\x81", u"a\uff1d", true},
  };
  for (auto& c : cases) {
    AnsiField field(std::span<const CHAR>(c.field.data(), c.field.size()));
    EXPECT_EQ(field.halfCharacterDropped(), c.dropped) << c.field;
    WCHAR out[8];
    ASSERT_TRUE(AnsiFieldToWide(std::span<const CHAR>(c.field.data(), c.field.size()), out));
    EXPECT_EQ(std::u16string(out), c.text);
  }
  // The widest field without a NUL ends within the string.
  std::string path(260, 'x');
  EXPECT_EQ(AnsiField(std::span<const CHAR>(path.data(), path.size())).length(), 260);
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
