// Every replay under each failing call in turn: its message or its silent
// end, never a crash, and nothing left behind.
#include <gtest/gtest.h>

#include "support/spooled_job.h"
#include "support/test_machine.h"

namespace {

const char* const kOrders[] = {
    "wReverseOrder=1", "wReverseOrder=2", "wCollate=1 dmCopies=2", "wMediaType=3 wOhpMode=2",
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
    for (const char* function : {"GlobalAlloc", "ReadFile", "SetFilePointer", "WritePrinter", "CreateFileW", "GetFileSize"}) {
      for (int nth = 1; nth <= 12; ++nth) {
        SCOPED_TRACE(std::string(order) + ", " + function + " call " + std::to_string(nth));
        test::TestMachine m;
        m->setProfileString(std::u16string(test::kDriverDir) + u"KQXLEN.INI", u"DUPLEX", u"MD_ManualDuplex", u"1");
        m->writeFile(std::u16string(test::kDriverDir) + u"INSTPORT.PXL", "[instructions]");
        std::string script = test::SpooledJob{order, 4}.script();
        m.play(withFaultAtEnd(script, "fail " + std::string(function) + " nth=" + std::to_string(nth)));
        // The transfer buffer is the first allocation of these replays.
        bool reverse = std::string(order).rfind("wReverseOrder", 0) == 0;
        bool collate = std::string(order).rfind("wCollate", 0) == 0;
        bool ohp = std::string(order).rfind("wMediaType", 0) == 0;
        if (std::string(function) == "GlobalAlloc" && nth == 1 && (reverse || collate || ohp)) {
          EXPECT_EQ(m.document(1), "");
          auto boxes = m->messageBoxes();
          std::u16string expected = reverse ? u"Failed to print in reverse order"
                                    : collate ? u"Failed in collation printing" : u"";
          if (expected.empty()) {
            EXPECT_TRUE(boxes.empty());
          } else {
            ASSERT_EQ(boxes.size(), 1u);
            EXPECT_EQ(boxes[0].text, expected);
          }
        }
        // Whatever reached the port is a prefix of runs the job holds: no
        // bytes that were never read.
        for (int d = 1; d <= m.documentCount(); ++d)
          EXPECT_EQ(m.document(d).find_first_not_of("HEADAABp1234;TIL[nstrucio]"), std::string::npos) << m.document(d);
      }
    }
  }
}

}  // namespace
