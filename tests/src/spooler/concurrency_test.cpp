// Jobs on two printers at once, each with its own settings, print exactly
// what they print alone.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>
#include <utility>

#include "job/messages.h"
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

std::string onPrinter(const std::u16string& printer, const std::string& job) {
  return "printer name=\"" + winsim::toUtf8(printer) + "\"\n" + job;
}

// A watermarked job of two pages, named by its text.
std::string watermarkJob(const std::string& text) {
  return "settings reset wWatermark=1 szWatermarkText=\"" + text + "\"\nstartdoc document=\"" + text +
         "\"\nwrite settings\nstartpage\nwrite text \"" + text +
         "\"\nwrite marker watermark\nendpage\nstartpage\n"
         "write marker watermark\nendpage\nenddoc\nclose\n";
}

// A job whose first buffer is no settings record: it runs on its printer's
// last settings. Its markers show whose they were.
const char kWithoutSettings[] =
    "startdoc document=\"plain\"\nwrite text \"plain\"\nstartpage\nwrite marker watermark\nendpage\nenddoc\nclose\n";

std::vector<std::string> documentsNamed(test::TestMachine& m, const std::u16string& name) {
  std::vector<std::string> all;
  for (auto& d : m->documents())
    if (d.name == name) all.push_back(m.document(d.number));
  return all;
}

// Beside watermarked jobs on another printer, a job without settings takes
// its own printer's last ones: never the other user's watermark, never the
// internal watermark job's bypass settings. On the watermark jobs' own
// printer it takes their settings, and makes its own watermark from them.
TEST_F(TwoPrinters, AJobWithoutSettingsTakesItsOwnPrintersLast) {
  m.playRepeatedly(
      "settings reset wWatermark=1 szWatermarkText=\"MINE\"\nstartdoc document=\"seed\"\nwrite settings\nclose\n");
  m.playRepeatedly(kWithoutSettings);
  std::string alone = documentsNamed(m, u"plain").at(0);
  ASSERT_GT(alone.size(), std::string("plain").size());  // with the printer's watermark
  ASSERT_EQ(alone.find("TimeToInsertWatermark"), std::string::npos);
  std::thread other([&] { m.playRepeatedly(onPrinter(kSecond, watermarkJob("OTHER")), 10); });
  m.playRepeatedly(kWithoutSettings, 10);
  other.join();
  auto plain = documentsNamed(m, u"plain");
  ASSERT_EQ(plain.size(), 11u);
  for (auto& d : plain) EXPECT_EQ(d, alone);

  m.playRepeatedly(onPrinter(kSecond, watermarkJob("OTHER")) + onPrinter(kSecond, kWithoutSettings));
  std::string after = documentsNamed(m, u"plain").back();
  EXPECT_EQ(after.find("TimeToInsertWatermark"), std::string::npos);
  EXPECT_NE(after, "plain");  // the watermark of the printer's last settings
}

// The second pass of a manual duplex job goes out under its own job's
// title, whatever another printer's job is between its passes.
TEST_F(TwoPrinters, EachTwoPassJobKeepsItsOwnTitle) {
  auto duplexJob = [](const std::string& title) {
    std::string s = "settings reset wManualDuplex=1\nstartdoc document=\"" + title + "\"\nwrite settings\n";
    for (int page = 1; page <= 4; ++page)
      s += "startpage\nwrite marker page-start 1\nwrite text \"" + title + std::to_string(page) + "\"\nendpage\n";
    return s + "write marker pages-end\nenddoc\nclose\n";
  };
  std::thread other([&] { m.playRepeatedly(onPrinter(kSecond, duplexJob("second")), 10); });
  m.playRepeatedly(duplexJob("first"), 10);
  other.join();
  EXPECT_EQ(documentsNamed(m, u"first").size(), 20u);
  EXPECT_EQ(documentsNamed(m, u"second").size(), 20u);
  for (auto& d : documentsNamed(m, u"first")) EXPECT_EQ(d.find("second"), std::string::npos);
  for (auto& d : documentsNamed(m, u"second")) EXPECT_EQ(d.find("first"), std::string::npos);
}

// The user cancels one printer's jobs while the other's print: each cancel
// stops only its own job, wherever it falls, and the other printer's jobs
// print whole.
TEST_F(TwoPrinters, ACancelStopsOnlyItsOwnJob) {
  auto duplexJob = [](const std::string& title, const std::string& cancel) {
    std::string s = "settings reset wManualDuplex=1\nstartdoc document=\"" + title + "\"\nwrite settings\n";
    for (int page = 1; page <= 4; ++page)
      s += "startpage\nwrite marker page-start 1\nwrite text \"" + title + std::to_string(page) + "\"\nendpage\n";
    return s + "write marker pages-end\n" + cancel + "enddoc\nclose\n";
  };
  m->setProfileString(std::u16string(test::kDriverDir) + u"KQXLEN.INI", u"DUPLEX", u"MD_ManualDuplex", u"1");
  std::thread other([&] { m.playRepeatedly(onPrinter(kSecond, duplexJob("whole", "")), 10); });
  m.playRepeatedly(duplexJob("atbox", "cancel box\n") + duplexJob("inside", "cancel writes=2\n"), 5);
  other.join();
  EXPECT_EQ(documentsNamed(m, u"whole").size(), 20u);
  EXPECT_EQ(documentsNamed(m, u"atbox").size(), 5u);
  EXPECT_EQ(documentsNamed(m, u"inside").size(), 5u);
  for (auto& d : documentsNamed(m, u"inside")) EXPECT_EQ(d, "inside2inside4");
}

// A box of one printer's watermark making waits for its user with no lock
// held: another printer's watermark job prints meanwhile.
TEST_F(TwoPrinters, AWatermarkBoxStallsNoOtherPrinter) {
  std::promise<void> boxUp, otherDone;
  auto done = otherDone.get_future();
  bool waitedInVain = false, first = true;
  m->setAnswerCallback([&](const winsim::MessageBoxRecord&) {
    if (!std::exchange(first, false)) return IDOK;
    boxUp.set_value();
    waitedInVain = done.wait_for(std::chrono::seconds(20)) != std::future_status::ready;
    return IDOK;
  });
  std::thread failing([&] { m.playRepeatedly("fail CreateDCW\n" + watermarkJob("STALLED")); });
  // The other printer's job starts once the box is up: its making needs the lock.
  boxUp.get_future().wait();
  m.playRepeatedly(onPrinter(kSecond, watermarkJob("FLOWING")));
  otherDone.set_value();
  failing.join();
  EXPECT_FALSE(waitedInVain);
  EXPECT_EQ(documentsNamed(m, u"FLOWING").size(), 1u);
  EXPECT_EQ(documentsNamed(m, u"STALLED").size(), 1u);
}

}  // namespace
