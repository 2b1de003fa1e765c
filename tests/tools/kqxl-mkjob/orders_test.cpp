// Ghostscript-made documents played in every replay order: the port output
// is well formed and holds the pages in the order each order implies.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "jobkit/mkjob.h"
#include "support/pxl_builder.h"
#include "support/replay_orders.h"
#include "support/test_machine.h"

namespace {

using test::slurp;

namespace fs = std::filesystem;

// Each page's body: what follows its BeginPage up to the end of EndPage,
// without the font definitions, which a reordering job sends in its header.
std::vector<std::string> pageBodies(const std::string& stream, std::vector<std::string>* problems = nullptr) {
  std::vector<uint64_t> bodyStarts;
  std::vector<std::pair<uint64_t, uint64_t>> fonts;
  uint64_t fontStart = 0;
  pclxl::Checker checker;
  checker.onCommand = [&](const pclxl::Command& c) {
    namespace op = pclxl::op;
    if (c.depth != 0) return;
    if (c.op == op::BeginPage) bodyStarts.push_back(c.end);
    if (c.op == op::BeginFontHeader || c.op == op::BeginChar) fontStart = c.start;
    if (c.op == op::EndFontHeader || c.op == op::EndChar) fonts.push_back({fontStart, c.end});
  };
  test::feedBytes(checker, stream);
  if (problems)
    for (auto& p : checker.problems()) problems->push_back(std::to_string(p.offset) + ": " + p.message);
  std::vector<std::string> bodies;
  for (size_t i = 0; i < checker.pages().size() && i < bodyStarts.size(); ++i) {
    std::string body;
    uint64_t at = bodyStarts[i], end = checker.pages()[i].end;
    for (auto [from, to] : fonts) {
      if (to <= at || from >= end) continue;
      body += stream.substr(at, from - at);
      at = to;
    }
    bodies.push_back(body + stream.substr(at, end - at));
  }
  return bodies;
}

TEST(ReplayOrders, GhostscriptDocumentsInEveryOrder) {
  const fs::path doc = KQXL_SOURCE_DIR "/examples/numbered.pxl";
  std::string original = slurp(doc);
  std::map<std::string, int> pageNumber;
  auto bodies = pageBodies(original);
  ASSERT_EQ(bodies.size(), 6u);
  for (size_t i = 0; i < bodies.size(); ++i) pageNumber[bodies[i]] = static_cast<int>(i) + 1;

  for (auto& order : test::sixPageOrders()) {
    SCOPED_TRACE(order.label());
    test::TestMachine m;
    std::vector<std::vector<int>> documents;
    for (auto& printed : test::playOrder(m, doc, order)) {
      std::vector<std::string> problems;
      auto pages = pageBodies(printed, &problems);
      EXPECT_TRUE(problems.empty()) << problems[0];
      std::vector<int> numbers;
      for (auto& body : pages) numbers.push_back(pageNumber.count(body) ? pageNumber[body] : 0);
      documents.push_back(numbers);
    }
    EXPECT_EQ(documents, order.documents);
  }
}

// The orders computed for any length are the ones written out for six pages.
TEST(ReplayOrders, ComputedOrdersAreTheWrittenOnes) {
  auto computed = test::pageOrders(6);
  const auto& written = test::sixPageOrders();
  ASSERT_EQ(computed.size(), written.size());
  for (size_t i = 0; i < written.size(); ++i) {
    EXPECT_EQ(computed[i].settings, written[i].settings);
    EXPECT_EQ(computed[i].documents, written[i].documents) << written[i].label();
  }
}

// A Ghostscript-made document with the watermark on, direct and in reverse
// order: well formed, one watermark block in every page or in the first only,
// each drawing the configured text from the watermark file.
TEST(ReplayOrders, WatermarkedDocuments) {
  const fs::path doc = KQXL_SOURCE_DIR "/examples/mixed.pxl";
  const std::string blockStart("\x61\x69\xC0\xFC\xF8\x2C\x7B", 7);
  struct Case {
    std::vector<std::string> settings;
    std::vector<int> blocksPerPage;
  };
  const std::vector<std::string> look = {"wWatermark=1",      "szWatermarkText=DRAFT", "szWatermarkFont=DejaVu Sans",
                                         "wWatermarkSize=48", "wWatermarkAngle=45",    "wWatermarkOutline=1"};
  auto with = [&](std::vector<std::string> more) {
    std::vector<std::string> all = look;
    all.insert(all.end(), more.begin(), more.end());
    return all;
  };
  const Case cases[] = {
      {with({}), {1, 1, 1, 1}},
      {with({"wReverseOrder=1"}), {1, 1, 1, 1}},
      {with({"wWatermarkFirstOnly=1"}), {1, 0, 0, 0}},
  };
  for (auto& c : cases) {
    std::string label;
    for (auto& s : c.settings) label += s + " ";
    SCOPED_TRACE(label);
    test::TestMachine m;
    jobkit::MakeJobOptions options;
    options.settings = c.settings;
    std::string script, error;
    ASSERT_TRUE(jobkit::makeJob(doc, options, &script, &error)) << error;
    m.play(script);
    std::string out = m.printed(1);
    std::vector<std::string> problems;
    auto pages = pageBodies(out, &problems);
    EXPECT_TRUE(problems.empty()) << problems[0];
    ASSERT_EQ(pages.size(), 4u);
    std::vector<int> blocks;
    for (auto& body : pages) {
      int n = 0;
      for (size_t at = body.find(blockStart); at != std::string::npos; at = body.find(blockStart, at + 1)) ++n;
      blocks.push_back(n);
    }
    EXPECT_EQ(blocks, c.blocksPerPage);
    // Both orientations' files were made; a landscape page carries its own.
    if (c.blocksPerPage[1]) {
      EXPECT_NE(out.find(m.watermarkBlock(true, 2)), std::string::npos);
    }
    EXPECT_NE(out.find(m.watermarkBlock(true, 1)), std::string::npos);
    EXPECT_GT(m.watermarkFile(1).size(), 200u);
  }
}

}  // namespace
