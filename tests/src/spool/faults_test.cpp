// Every replay under each failing call in turn: its message or its silent
// end, never a crash, and nothing left behind.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/spooled_job.h"
#include "support/test_machine.h"

namespace {

const char* const kOrders[] = {
    "wReverseOrder=1",
    "wReverseOrder=2",
    "wCollate=1 dmCopies=2",
    "wMediaType=3 wOhpMode=2",
    "wManualDuplex=1 wInstructionPage=1",
};

// The job up to the end of the document, then the fault, then the rest.
std::string withFaultAtEnd(const std::string& script, const std::string& fault) {
  std::string s = script;
  s.insert(s.find("enddoc"), fault + "\n");
  return s;
}

TEST(ReplayFaults, EachCallFailingInTurn) {
  for (const char* order : kOrders) {
    for (const char* function :
         {"GlobalAlloc", "ReadFile", "SetFilePointer", "WritePrinter", "CreateFileW", "GetFileSize"}) {
      for (int nth = 1; nth <= 12; ++nth) {
        SCOPED_TRACE(std::string(order) + ", " + function + " call " + std::to_string(nth));
        test::TestMachine m;
        m->setProfileString(std::u16string(test::kDriverDir) + u"KQXLEN.INI", u"DUPLEX", u"MD_ManualDuplex", u"1");
        m->writeFile(std::u16string(test::kDriverDir) + u"INSTPORT.PXL", "[instructions]");
        std::string script = test::SpooledJob{order, 4}.script();
        m.play(withFaultAtEnd(script, "fail " + std::string(function) + " nth=" + std::to_string(nth)));
        // A replay that cannot allocate its transfer buffer loses the job
        // whole, and says so: collation with its message, the reordering
        // replays with reverse order's.
        bool collate = std::string(order).rfind("wCollate", 0) == 0;
        bool nothingPrinted = true;
        for (int d = 1; d <= m.documentCount(); ++d) nothingPrinted = nothingPrinted && m.document(d).empty();
        if (std::string(function) == "GlobalAlloc" && nothingPrinted) {
          std::u16string expected = collate ? u"Failed in collation printing" : u"Failed to print in reverse order";
          auto boxes = m->messageBoxes();
          EXPECT_TRUE(std::any_of(boxes.begin(), boxes.end(), [&](auto& b) { return b.text == expected; }));
        }
        // The transfer buffer is the first allocation of these replays.
        if (std::string(function) == "GlobalAlloc" && nth == 1 && !std::string(order).starts_with("wManualDuplex")) {
          EXPECT_TRUE(nothingPrinted);
        }
        // Whatever reached the port is a prefix of runs the job holds: no
        // bytes that were never read.
        for (int d = 1; d <= m.documentCount(); ++d)
          EXPECT_EQ(m.document(d).find_first_not_of("HEADAABp1234;TIL[nstrucio]"), std::string::npos) << m.document(d);
      }
    }
  }
}

// A spool file that cannot be deleted at once is tried again; one that
// cannot be deleted at all is left, and said.
TEST(ReplayFaults, ASpoolFileThatCannotBeDeleted) {
  test::TestMachine m;
  m.play("fail DeleteFileW\n" + test::SpooledJob{"wReverseOrder=1", 2}.script());
  EXPECT_TRUE(m->tempFiles().empty());
  m.play("fail DeleteFileW every\n" + test::SpooledJob{"wReverseOrder=1", 2}.script());
  ASSERT_EQ(m->tempFiles().size(), 1u);
  auto traces = m.traces();
  EXPECT_TRUE(std::any_of(traces.begin(), traces.end(), [](auto& t) {
    return t.find(u"The spool file C:\\WINDOWS\\TEMP\\") == 0 &&
           t.find(u"could not be deleted (error 5)") != std::u16string::npos;
  }));
  m->clearFaults();
  std::filesystem::remove(m->hostPath(u"C:\\WINDOWS\\TEMP\\" + winsim::fromUtf8(m->tempFiles()[0])));
}

}  // namespace
