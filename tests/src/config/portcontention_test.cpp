// Port sharing with the scanner component, as the job hooks use it.
#include <gtest/gtest.h>

#include "support/test_machine.h"

namespace {

const std::u16string kIni = std::u16string(test::kDriverDir) + u"KQXLEN.INI";
const char16_t kBusy[] = u"The printer port is in use by the scanner. Print again when scanning has finished.";

struct PortContention : ::testing::Test {
  test::TestMachine m;
  void SetUp() override { m->setProfileString(kIni, u"Function", u"PortContention", u"1"); }
  void port(const char16_t* name) {
    winsim::PrinterConfig p = *m->printer(test::kPrinter);
    p.port = name;
    m->setPrinter(p);
  }
  // The scanner component's own traces of the calls it took.
  std::vector<std::u16string> calls() const {
    std::vector<std::u16string> r;
    for (auto& t : m.traces())
      if (t.rfind(u"zuvav: ", 0) == 0) r.push_back(t.substr(7, t.size() - 8));
    return r;
  }
  void job() { m.play("startdoc\nwrite text \"data\"\nenddoc\nclose\n"); }
  using Calls = std::vector<std::u16string>;
};

TEST_F(PortContention, PortsAndTheirCodes) {
  port(u"USB001");
  job();
  EXPECT_EQ(calls(), (Calls{u"PortAcquire(1)", u"PortRelease(16)"}));
  EXPECT_EQ(m.document(1), "data");
  port(u"lpt1:");
  job();
  EXPECT_EQ(calls(), (Calls{u"PortAcquire(1)", u"PortRelease(16)", u"PortAcquire(1)", u"PortRelease(1)"}));
  for (const char16_t* other : {u"COM1:", u"FILE:", u"\\\\server\\printer"}) {
    port(other);
    job();
  }
  EXPECT_EQ(calls().size(), 4u);
  EXPECT_TRUE(m->messageBoxes().empty());
}

// A scan holding the port refuses the job with the INI file's message: the
// acquire with 1, the release with the port's own code.
TEST_F(PortContention, ScanInProgressRefusesTheJob) {
  m.play("scanner hold 16\nstartdoc\nwrite text \"data\"\nenddoc\nclose\n");
  EXPECT_EQ(calls(), (Calls{u"PortAcquire(1)", u"PortRelease(16)"}));
  ASSERT_EQ(m->messageBoxes().size(), 1u);
  EXPECT_EQ(m->messageBoxes()[0].text, kBusy);
  EXPECT_EQ(m->messageBoxes()[0].style, static_cast<UINT>(MB_SYSTEMMODAL));
  EXPECT_FALSE(m->messageBoxes()[0].caption.has_value());
  EXPECT_TRUE(m.hooks()[0].handleNull);
  m.play("scanner release 16\nstartdoc\nwrite text \"later\"\nenddoc\nclose\n");
  EXPECT_EQ(m.document(m.documentCount()), "later");
}

TEST_F(PortContention, MissingOrIncompleteComponent) {
  m->deleteFile(u"C:\\WINDOWS\\system32\\zuvav.dll");
  job();
  EXPECT_EQ(m.document(1), "data");
  EXPECT_TRUE(m->messageBoxes().empty());
  // A library without "PortAcquire": the job is refused with the message.
  m->copyFileIn(u"C:\\WINDOWS\\system32\\zuvav.dll", m->hostPath(std::u16string(test::kDriverDir) + u"KQXLm.dll"));
  job();
  ASSERT_EQ(m->messageBoxes().size(), 1u);
  EXPECT_EQ(m->messageBoxes()[0].text, kBusy);
}

TEST_F(PortContention, OffMeansNoContact) {
  m->setProfileString(kIni, u"Function", u"PortContention", u"0");
  m.play("scanner hold 16\nstartdoc\nwrite text \"data\"\nenddoc\nclose\n");
  EXPECT_TRUE(calls().empty());
  EXPECT_EQ(m.document(1), "data");
}

// Jobs on two ports at once each hold and give back their own load.
TEST_F(PortContention, TwoJobsOnTwoPorts) {
  winsim::PrinterConfig second = *m->printer(test::kPrinter);
  second.name = u"KQ PCL6 Parallel";
  second.port = u"LPT1:";
  m->setPrinter(second);
  winsim::PrintJob a(test::kPrinter, 0, u"A"), b(u"KQ PCL6 Parallel", 0, u"B");
  ASSERT_TRUE(a.startDoc());
  ASSERT_TRUE(b.startDoc());
  a.endDoc();
  EXPECT_EQ(m->snapshot().modules, 3u);  // both overlay libraries and b's scanner load: a gave its own back
  a.close();
  b.endDoc();
  b.close();
  EXPECT_EQ(calls(), (Calls{u"PortAcquire(1)", u"PortAcquire(1)", u"PortRelease(16)", u"PortRelease(1)"}));
}

TEST_F(PortContention, FailingCallsLeaveNothing) {
  for (const char* function : {"LoadLibraryW", "GetProcAddress", "GlobalAlloc"})
    for (int nth = 1; nth <= 4; ++nth)
      m.play("fail " + std::string(function) + " nth=" + std::to_string(nth) +
             "\nscanner hold 1\nstartdoc\n"
             "write text \"x\"\nenddoc\nclose\nscanner release 1\nstartdoc\nwrite text \"y\"\nenddoc\nclose\n");
  EXPECT_EQ(test::leaksOf(m.machine()), "");
}

}  // namespace
