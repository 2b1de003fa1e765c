// pxldump as a person runs it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct Output {
  int status = -1;
  std::string text;
};

// `input`, when given, is a shell command whose output pxldump reads.
Output run(const std::string& args, const std::string& input = "") {
  Output out;
  std::string cmd = (input.empty() ? "" : input + " | ") + PXLDUMP + " " + args + " 2>&1";
  FILE* p = popen(cmd.c_str(), "r");
  char buf[4096];
  while (size_t n = std::fread(buf, 1, sizeof buf, p)) out.text.append(buf, n);
  int rc = pclose(p);
  out.status = WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
  return out;
}

const std::string kNumbered = KQXL_SOURCE_DIR "/examples/numbered.pxl";

TEST(Pxldump, CheckSummaryAndListing) {
  Output check = run("--check " + kNumbered);
  EXPECT_EQ(check.status, 0);
  EXPECT_EQ(check.text, "sessions=1 pages=6 operators=544 bytes=9979\n");

  Output summary = run("--summary - < " + kNumbered);
  EXPECT_EQ(summary.status, 0);
  EXPECT_EQ(summary.text.substr(0, 26), "pages: 6\npage 1: 183-5127\n");

  Output listing = run(kNumbered);
  EXPECT_NE(listing.text.find("       183  BeginPage Orientation=ePortraitOrientation MediaSize=eLetterPaper"),
            std::string::npos);
}

TEST(Pxldump, BrokenStreamExitsOneWithTheOffset) {
  Output cut = run("--check -", "head -c 5000 " + kNumbered);
  EXPECT_EQ(cut.status, 1);
  EXPECT_NE(cut.text.find("5000: error: the stream ends inside embedded data, 55 bytes short"), std::string::npos)
      << cut.text;
  EXPECT_NE(cut.text.find("NOT WELL FORMED"), std::string::npos);
  EXPECT_EQ(run("/no/such/file").status, 2);
}

// The component's own empty documents: a recording job's, a manual duplex's
// empty pass.
TEST(Pxldump, AnEmptyDocumentIsEmptyNotBroken) {
  for (const char* mode : {"--check -", "-"}) {
    Output empty = run(mode, "printf ''");
    EXPECT_EQ(empty.status, 0) << mode;
    EXPECT_EQ(empty.text, "empty, nothing to print\n") << mode;
  }
  Output one = run("--check -", "printf ' '");
  EXPECT_EQ(one.status, 1) << one.text;
}

}  // namespace
