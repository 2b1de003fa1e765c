// JSON string literals of the event logs.
#include <gtest/gtest.h>

#include "event_json.h"

namespace {

TEST(EventJson, EscapesWhatJsonNeedsAndPassesUtf8Through) {
  EXPECT_EQ(winsim::JsonString(""), "\"\"");
  EXPECT_EQ(winsim::JsonString("KQXLUMPD: DrvSplStartPage \n"), "\"KQXLUMPD: DrvSplStartPage \\n\"");
  EXPECT_EQ(winsim::JsonString("a\"b\\c\td\re"), "\"a\\\"b\\\\c\\td\\re\"");
  EXPECT_EQ(winsim::JsonString(std::string("\x01\x1f\0z", 4)), "\"\\u0001\\u001f\\u0000z\"");
  EXPECT_EQ(winsim::JsonString("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC"), "\"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC\"");
  std::string line = "{\"text\":";
  winsim::AppendJsonString(line, std::string(40, '\x02'));
  EXPECT_EQ(line.size(), 8 + 2 + 40 * 6u);  // every character escaped fits
  EXPECT_EQ(line.substr(8, 7), "\"\\u0002");
  line.clear();
  winsim::AppendJsonChars(line, std::u16string_view(u"KQXLUMPD: \"x\"\r\n"));  // ASCII held as UTF-16
  EXPECT_EQ(line, "\"KQXLUMPD: \\\"x\\\"\\r\\n\"");
}

}  // namespace
