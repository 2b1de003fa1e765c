// Jobs on two printers at once, each with its own settings, print exactly
// what they print alone.
#include <gtest/gtest.h>

#include <thread>

#include "spooler/messages.h"
#include "support/test_machine.h"

namespace {

constexpr char16_t kSecond[] = u"KQ PCL6 Second";

struct JobPlan {
  std::u16string printer;
  std::vector<uint8_t> settings;
  std::string data;
};

// The hooks of one job as a list of steps, so that two jobs can be
// interleaved step by step.
std::vector<std::function<void()>> steps(winsim::PrintJob& job, const JobPlan& plan) {
  auto write = [&job](const void* p, size_t n) {
    DWORD w;
    job.write(p, static_cast<DWORD>(n), &w);
  };
  std::vector<std::function<void()>> s;
  s.push_back([&job] { ASSERT_TRUE(job.startDoc()); });
  s.push_back([&plan, write] { write(plan.settings.data(), plan.settings.size()); });
  for (int page = 0; page < 2; ++page) {
    s.push_back([&job] { job.startPage(); });
    s.push_back([&plan, write] { write(plan.data.data(), plan.data.size()); });
    s.push_back([write] { write(kWatermarkMarker, kWatermarkMarkerSize); });
    s.push_back([&job] { job.endPage(); });
  }
  s.push_back([&job] { job.endDoc(); });
  s.push_back([&job] { job.close(); });
  return s;
}

struct TwoPrinters : ::testing::Test {
  test::TestMachine m;
  JobPlan a, b;

  void SetUp() override {
    winsim::PrinterConfig second = *m->printer(test::kPrinter);
    second.name = kSecond;
    second.port = u"USB002";
    m->setPrinter(second);
    // Job A consumes its markers (watermark off); job B passes them through
    // (bypass): each shows at once whether it ran on the other's settings.
    a = {test::kPrinter, jobkit::SettingsBuilder{}.build(test::kPrinter), "A-data"};
    b = {kSecond, jobkit::SettingsBuilder{}.with("wBypass", 1).build(kSecond), "B-data"};
  }

  std::string documentNamed(const std::u16string& name) {
    for (auto& d : m->documents())
      if (d.name == name) return m.document(d.number);
    return "(missing)";
  }
};

const std::string kExpectedA = "A-dataA-data";
const std::string kExpectedB = "B-dataTimeToInsertWatermarkB-dataTimeToInsertWatermark";

TEST_F(TwoPrinters, InterleavedOnOneThread) {
  winsim::PrintJob ja(a.printer, 1, u"A"), jb(b.printer, 2, u"B");
  auto sa = steps(ja, a), sb = steps(jb, b);
  for (size_t i = 0; i < sa.size(); ++i) {
    sa[i]();
    sb[i]();
  }
  EXPECT_EQ(documentNamed(u"A"), kExpectedA);
  EXPECT_EQ(documentNamed(u"B"), kExpectedB);
}

TEST_F(TwoPrinters, OnTwoThreads) {
  constexpr int kJobs = 100;
  auto run = [](const JobPlan& plan, const char16_t* prefix) {
    for (int i = 0; i < kJobs; ++i) {
      winsim::PrintJob job(plan.printer, 0, prefix + winsim::fromUtf8(std::to_string(i)));
      for (auto& step : steps(job, plan)) step();
    }
  };
  std::thread ta(run, std::cref(a), u"A"), tb(run, std::cref(b), u"B");
  ta.join();
  tb.join();
  for (int i = 0; i < kJobs; ++i) {
    EXPECT_EQ(documentNamed(u"A" + winsim::fromUtf8(std::to_string(i))), kExpectedA);
    EXPECT_EQ(documentNamed(u"B" + winsim::fromUtf8(std::to_string(i))), kExpectedB);
  }
}

}  // namespace
