// The settings record's ANSI text, as the driver's dialog would leave it.
#include <gtest/gtest.h>

#include <string>

#include "jobkit/settings.h"
#include "jobkit/text.h"

namespace {

std::string repeat(const std::string& s, int n) {
  std::string out;
  for (int i = 0; i < n; ++i) out += s;
  return out;
}

// A text too long for its field is cut where a character ends: never half
// a double-byte character, which would print as another.
TEST(SettingsText, ALongTextIsCutWhereACharacterEnds) {
  const std::string hiragana = "\xE3\x81\x82";  // あ, two bytes in 932
  EXPECT_EQ(jobkit::ansiField(repeat(hiragana, 41), 932, 80).size(), 80u);
  std::string odd = jobkit::ansiField("A" + repeat(hiragana, 40), 932, 80);
  EXPECT_EQ(odd.size(), 79u);
  EXPECT_EQ(jobkit::fromCodePage(odd, 932), "A" + repeat(hiragana, 39));
  const std::string hangul = "\xEB\x8C\x80";  // 대
  EXPECT_EQ(jobkit::fromCodePage(jobkit::ansiField("AB" + repeat(hangul, 50), 949, 80), 949),
            "AB" + repeat(hangul, 39));
  EXPECT_EQ(jobkit::ansiField("short", 1252, 80), "short");

  jobkit::SettingsBuilder b;
  b.withText("szWatermarkText", "A" + repeat(hiragana, 40));
  auto record = b.build(u"P", 932);
  auto warnings = b.warnings(932);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_NE(warnings[0].find("is 81 bytes in code page 932 (Japanese); the settings record holds 80"),
            std::string::npos)
      << warnings[0];
}

}  // namespace
