// kqxl-report as a person uses it: a run's folder in, index.html out, with
// the printed pages where an interpreter is found, the printer's refusal
// where it refuses, and a line saying why where there are no pages.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "jobkit/interpreter.h"
#include "support/pxl_builder.h"

namespace fs = std::filesystem;

namespace {

using test::slurp;

struct Report : ::testing::Test {
  test::TempDir temp;
  const fs::path dir = temp.path;
  std::string report(const std::string& environment = "") {
    std::string cmd = environment + " " + KQXL_REPORT + " " + dir.string() + " > /dev/null 2>&1";
    EXPECT_EQ(std::system(cmd.c_str()), 0);
    return slurp(dir / "index.html");
  }
  static std::vector<std::string> captions(const std::string& html) {
    std::vector<std::string> out;
    std::regex caption("<figcaption>[0-9]+: ([^<]*)</figcaption>");
    for (std::sregex_iterator it(html.begin(), html.end(), caption), end; it != end; ++it) out.push_back((*it)[1]);
    return out;
  }
};

bool haveInterpreter() { return jobkit::findInterpreter(KQXL_SOURCE_DIR).found(); }

TEST_F(Report, ReverseOrderShowsTheDocumentsPagesBackwards) {
  if (!haveInterpreter()) GTEST_SKIP() << "no PCL XL interpreter: no pages to show";
  std::string run = std::string(KQXL_RUN) + " -o " + dir.string() + " " + KQXL_SOURCE_DIR +
                    "/examples/numbered-reverse.job > /dev/null 2>&1";
  ASSERT_EQ(std::system(run.c_str()), 0);
  std::string html = report();
  EXPECT_EQ(captions(html),
            (std::vector<std::string>{"page 6 of the document", "page 5 of the document", "page 4 of the document",
                                      "page 3 of the document", "page 2 of the document", "page 1 of the document"}));
  EXPECT_NE(html.find("<td>wReverseOrder</td><td>1</td>"), std::string::npos);
  EXPECT_NE(html.find("Printer: ok (pages 6)"), std::string::npos);
  EXPECT_EQ(html.find("src=\"data:image/png;base64,\""), std::string::npos);  // every image has its bytes
}

// A log with lines that are no event (cut short, not JSON, invalid UTF-8,
// not an object, text after the object) shows what it could read and
// counts the rest; base64 of the page images round-trips through the page.
TEST_F(Report, ALogItCannotReadIsCountedNotGuessed) {
  std::ofstream(dir / "events.jsonl")
      << "{\"event\":\"hook\",\"hook\":\"DrvSplStartDoc\",\"result\":\"handle\"}\n"
      << "{\"event\":\"trace\",\"text\":\"The job's form \\u00e9\\ud83d\\ude00 cannot be printed.\"}\n"
      << "{\"event\":\"hook\",\"hook\":\"DrvSplWritePrinter\"\n"
      << "not json at all\n"
      << "{\"event\":\"trace\",\"text\":\"\xFF\xFE\"}\n"
      << "[\"event\",\"trace\"]\n"
      << "{\"event\":\"trace\",\"text\":\"x\"} trailing\n"
      << "{\"event\":\"job\",\"document\":\"Report\",\"pages\":3,\"settings\":{\"dmCopies\":2,\"szWatermarkText\":"
         "\"대외비\"}}\n";
  std::string html = report();
  EXPECT_NE(html.find("5 lines of the event log could not be read."), std::string::npos) << html;
  EXPECT_NE(html.find("The job's form é😀 cannot be printed."), std::string::npos) << html;
  EXPECT_NE(html.find("<td>dmCopies</td><td>2</td>"), std::string::npos) << html;
  EXPECT_NE(html.find("<td>szWatermarkText</td><td>대외비</td>"), std::string::npos) << html;
}

// A document whose job was cancelled says so; one with "cancelled":false
// does not.
TEST_F(Report, ACancelledJobsDocumentSaysSo) {
  std::ofstream(dir / "events.jsonl")
      << "{\"event\":\"document\",\"number\":1,\"name\":\"cut\",\"bytes\":0,\"file\":null,\"cancelled\":true}\n"
      << "{\"event\":\"document\",\"number\":2,\"name\":\"whole\",\"bytes\":0,\"file\":null,\"cancelled\":false}\n";
  std::string html = report();
  std::string note = "Its job was cancelled";
  size_t first = html.find(note);
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(html.find(note, first + 1), std::string::npos);
}

// A port document the printer refuses, as a run's log names it.
void refusedRun(const fs::path& dir) {
  fs::copy_file(fs::path(KQXL_SOURCE_DIR) / "tests/data/rejected/numbered-even.prn", dir / "doc-1.prn");
  std::ofstream(dir / "events.jsonl")
      << "{\"event\":\"hook\",\"hook\":\"DrvSplStartDoc\",\"result\":\"handle\"}\n"
      << "{\"event\":\"messagebox\",\"text\":\"Caf\\u00e9 <b>\",\"caption\":null,\"style\":0,\"answer\":\"OK\"}\n"
      << "{\"event\":\"document\",\"number\":1,\"name\":\"even\",\"bytes\":" << fs::file_size(dir / "doc-1.prn")
      << ",\"file\":\"doc-1.prn\"}\n"
      << "not an event\n";
}

TEST_F(Report, APrinterRefusalIsShownAsSuch) {
  if (!haveInterpreter()) GTEST_SKIP() << "no PCL XL interpreter: nothing is refused";
  refusedRun(dir);
  std::string html = report();
  EXPECT_NE(html.find("class=failed>Printer: FAILED"), std::string::npos);
  EXPECT_NE(html.find("<figure class=error>"), std::string::npos);
  EXPECT_NE(html.find("Café &lt;b&gt;"), std::string::npos);  // the box's text, escaped
  EXPECT_NE(html.find("1 line of the event log could not be read"), std::string::npos);
}

TEST_F(Report, WithoutAnInterpreterItSaysWhyAndShowsNoPages) {
  refusedRun(dir);
  std::string html = report("KQXL_GPCL6=/nonexistent/gpcl6");
  EXPECT_EQ(html.find("<img onclick"), std::string::npos);
  EXPECT_NE(html.find("No pages shown: KQXL_GPCL6 names /nonexistent/gpcl6, which is no program"), std::string::npos);
  EXPECT_NE(html.find("Document 1 &ldquo;even&rdquo;"), std::string::npos);
}

}  // namespace
