// What each printed page of a job is, told from the job's settings: the
// orders a person checks in the report, including the edges where the
// component prints no page or a separator again and again.
#include <gtest/gtest.h>

#include "jobkit/printorder.h"
#include "jobkit/settings.h"
#include "support/replay_orders.h"

namespace {

using jobkit::JobSummary;
using Labels = std::vector<std::vector<std::string>>;

JobSummary job(int pages, std::vector<std::pair<std::string, std::string>> settings) {
  return JobSummary{"doc.pxl", std::move(settings), pages};
}

std::string p(int k) { return "page " + std::to_string(k) + " of the document"; }

TEST(PrintOrder, ReorderingAndCopies) {
  EXPECT_EQ(jobkit::pageLabels(job(3, {{"wReverseOrder", "1"}}), {3}), (Labels{{p(3), p(2), p(1)}}));
  EXPECT_EQ(jobkit::pageLabels(job(5, {{"wReverseOrder", "2"}}), {3}), (Labels{{p(1), p(3), p(5)}}));
  EXPECT_EQ(jobkit::pageLabels(job(5, {{"wReverseOrder", "3"}}), {2}), (Labels{{p(2), p(4)}}));
  EXPECT_EQ(jobkit::pageLabels(job(1, {{"wReverseOrder", "3"}}), {0}), (Labels{{}}));  // nothing at all
  EXPECT_EQ(jobkit::pageLabels(job(2, {{"wCollate", "1"}, {"dmCopies", "2"}}), {4}),
            (Labels{{p(1) + ", copy 1", p(2) + ", copy 1", p(1) + ", copy 2", p(2) + ", copy 2"}}));
  // The printer makes the copies: one run.
  EXPECT_EQ(jobkit::pageLabels(job(2, {{"wCollate", "1"}, {"dmCopies", "2"}, {"wPrinterCopies", "1"}}), {2}),
            (Labels{{p(1), p(2)}}));
}

TEST(PrintOrder, TransparenciesAndSeparators) {
  EXPECT_EQ(jobkit::pageLabels(job(3, {{"wMediaType", "3"}, {"wOhpMode", "2"}}), {4}),
            (Labels{{"separator: " + p(3), "transparency: " + p(1), "separator: " + p(3), "transparency: " + p(2)}}));
  EXPECT_EQ(
      jobkit::pageLabels(
          job(2, {{"wMediaType", "3"}, {"wOhpMode", "1"}, {"wOhpSeparatorAfter", "1"}, {"wReverseOrder", "1"}}), {4}),
      (Labels{{"transparency: " + p(2), "separator: " + p(2), "transparency: " + p(1), "separator: " + p(1)}}));
}

TEST(PrintOrder, ManualDuplexAcrossItsDocuments) {
  // Two documents: the backs, then the fronts with the odd page alone last;
  // each pass's first page says where the prompt falls, in one document too.
  const std::string first = " (first pass)", second = " (second pass, after the prompt to put the sheets back)";
  EXPECT_EQ(jobkit::pageLabels(job(5, {{"wManualDuplex", "1"}}), {2, 3}),
            (Labels{{p(2) + ", back of sheet 1" + first, p(4) + ", back of sheet 2"},
                    {p(1) + ", front of sheet 1" + second, p(3) + ", front of sheet 2", p(5) + ", front of sheet 3"}}));
  EXPECT_EQ(jobkit::pageLabels(job(2, {{"wManualDuplex", "1"}, {"wInstructionPage", "1"}}), {3}),
            (Labels{{"instruction page", p(2) + ", back of sheet 1" + first, p(1) + ", front of sheet 1" + second}}));
  EXPECT_EQ(jobkit::pageLabels(job(4, {{"wManualDuplex", "1"}, {"wBackSideOrder", "1"}}), {4}),
            (Labels{{p(2) + ", back of sheet 1" + first, p(4) + ", back of sheet 2",
                     p(3) + ", front of sheet 2" + second, p(1) + ", front of sheet 1"}}));
}

TEST(PrintOrder, WhatCannotBeToldIsNotGuessed) {
  EXPECT_TRUE(jobkit::pageLabels(job(6, {{"wReverseOrder", "1"}}), {5}).empty());  // a page went missing
  EXPECT_TRUE(jobkit::pageLabels(job(6, {{"wReverseOrder", "9"}}), {6}).empty());
  EXPECT_EQ(jobkit::pageLabels(job(0, {}), {2}), (Labels{{p(1), p(2)}}));  // printed as it came
}

// Booklet sides, each with the pages on it: the printer's own booklet in
// side order, a two-pass one the even sides then the odd ones, and in
// neither mode every page alone on a side.
TEST(PrintOrder, BookletSidesSayTheirPages) {
  std::vector<std::string> hardware = {"booklet side 1: pages 8 | 1", "booklet side 2: pages 2 | 7",
                                       "booklet side 3: pages 6 | 3", "booklet side 4: pages 4 | 5"};
  EXPECT_EQ(jobkit::pageLabels(job(8, {{"wBooklet", "1"}, {"wHardwareBooklet", "2"}}), {4}), Labels{hardware});
  EXPECT_EQ(jobkit::pageLabels(job(6, {{"wBooklet", "1"}, {"wManualDuplex", "2"}, {"wBackSideOrder", "1"}}), {2, 2}),
            (Labels{{"booklet side 2: pages 2 | blank", "booklet side 4: pages 4 | 5"},
                    {"booklet side 3: pages 6 | 3", "booklet side 1: pages blank | 1"}}));
  EXPECT_EQ(jobkit::pageLabels(job(2, {{"wBooklet", "1"}}), {2}),
            (Labels{{p(1) + ", alone on a booklet side", p(2) + ", alone on a booklet side"}}));
}

}  // namespace

namespace {

// The page numbers a label list names, 0 for the instruction page.
std::vector<int> pagesNamed(const std::vector<std::string>& labels) {
  std::vector<int> out;
  for (auto& l : labels) {
    size_t at = l.find("page ");
    out.push_back(l == "instruction page" ? 0 : std::stoi(l.substr(at + 5)));
  }
  return out;
}

// The orders the component is held to (the replay and printer suites play
// them and compare the pages printed) are the orders the report tells.
TEST(PrintOrder, AgreesWithTheOrdersTheComponentIsHeldTo) {
  for (int n : {6, 7}) {
    for (auto& order : test::pageOrders(n)) {
      SCOPED_TRACE(order.label() + std::to_string(n) + " pages");
      JobSummary j{"doc.pxl", {}, n};
      for (auto& s : order.settings) j.settings.emplace_back(s.substr(0, s.find('=')), s.substr(s.find('=') + 1));
      std::vector<int> printed;
      for (auto& d : order.documents) printed.push_back(static_cast<int>(d.size()));
      auto labels = jobkit::pageLabels(j, printed);
      ASSERT_EQ(labels.size(), order.documents.size());
      for (size_t d = 0; d < labels.size(); ++d) EXPECT_EQ(pagesNamed(labels[d]), order.documents[d]);
    }
  }
}

}  // namespace

namespace {

// What a job's summary names of its settings: what differs from the
// defaults, whatever the script wrote to get there.
TEST(PrintOrder, TheSettingsAJobNamesAreThoseThatDifferFromTheDefaults) {
  jobkit::SettingsBuilder b;
  b.reset();
  std::string error;
  for (auto [field, value] : {std::pair{"dmCopies", "1"},
                              {"wReverseOrder", "2"},
                              {"szWatermarkText", "Draft"},
                              {"wReverseOrder", "1"},
                              {"wBooklet", "1"},
                              {"wBooklet", "0"}})
    ASSERT_TRUE(b.set(field, value, false, &error)) << error;
  EXPECT_EQ(b.changes(u"KQ PCL6 Laser"),
            (std::vector<std::pair<std::string, std::string>>{{"wReverseOrder", "1"}, {"szWatermarkText", "Draft"}}));
}

}  // namespace
