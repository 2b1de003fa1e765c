// The write path and the job hooks, played through the loaded component.
#include <gtest/gtest.h>

#include <algorithm>

#include "support/test_machine.h"

namespace {

using test::TestMachine;

struct WritePath : ::testing::Test {
  TestMachine m;

  // The written counts of the DrvSplWritePrinter calls, in order.
  std::vector<long long> written() const {
    std::vector<long long> r;
    for (auto& h : m.hooks())
      if (std::string(h.hook) == "DrvSplWritePrinter") r.push_back(h.result ? static_cast<long long>(h.written) : -1);
    return r;
  }
  int count(const std::u16string& trace) const {
    auto t = m.traces();
    return static_cast<int>(std::count(t.begin(), t.end(), trace));
  }
  std::u16string userId() {
    WCHAR id[64] = {};
    std::u16string ini = std::u16string(test::kDriverDir) + u"KQXLEN.INI";
    GetPrivateProfileStringW(u"GetUserID", u"UserID", u"", id, 64, ini.c_str());
    return id;
  }
};

TEST_F(WritePath, DirectJobSendsEveryBufferButTheSettingsUnchanged) {
  m.play(R"(settings szDefaultUserId="alice"
startdoc job=3 document="Letter"
write settings
write text "\x1B%-12345X@PJL\n"
startpage
write hex 1B F0 10 AA 01
write text "page one"
write settings
endpage
enddoc
close)");
  // A later settings buffer with the watermark off is stream data, and in
  // direct mode so are page markers.
  auto later = jobkit::SettingsBuilder{}.withText("szDefaultUserId", "alice").build(test::kPrinter);
  EXPECT_EQ(m.document(1),
            std::string("\x1B%-12345X@PJL\n\x1B\xF0\x10\xAA\x01page one") + std::string(later.begin(), later.end()));
  EXPECT_EQ(written(), (std::vector<long long>{1625, 14, 5, 8, 1625}));
  EXPECT_EQ(m->documents()[0].name, u"Letter");
  EXPECT_EQ(userId(), u"alice");
  for (auto hook : {u"KQXLUMPD: DrvSplStartDoc \n", u"KQXLUMPD: DrvSplStartPage \n", u"KQXLUMPD: DrvSplEndPage \n",
                    u"KQXLUMPD: DrvSplEndDoc \n", u"KQXLUMPD: DrvSplClose \n", u"KQXLUMPD: DllEntryPoint \n"})
    EXPECT_EQ(count(hook), 1) << winsim::toUtf8(hook);
  EXPECT_EQ(count(u"KQXLUMPD: DrvSplWritePrinter \n"), 5);
  EXPECT_EQ(count(u" pData->file_info.iTotalPage = 0 \n"), 1);
  EXPECT_EQ(count(u" pData->file_info.dwPage[0] = 0 \n"), 1);
}

TEST_F(WritePath, DefaultUserIdIsWrittenOnlyWhenTheIniFileHasNone) {
  m->setProfileString(std::u16string(test::kDriverDir) + u"KQXLEN.INI", u"GetUserID", u"UserID", u"existing");
  m.play("settings szDefaultUserId=\"alice\"\nstartdoc\nwrite settings\nclose\n");
  EXPECT_EQ(userId(), u"existing");
}

// The user ID is the job's, and the INI file every user's jobs read: an ID
// that would add lines to it, or that would have to be cut, is not written.
TEST_F(WritePath, OnlyAWholeOneLineUserIdIsWritten) {
  std::u16string ini = std::u16string(test::kDriverDir) + u"KQXLEN.INI";
  std::string before = TestMachine::slurpHost(m->hostPath(ini));
  for (std::string id :
       {std::string(64, 'u'), std::string(40, 'u'), std::string("x\\r\\n[OVERLAY]\\r\\nOverlayQueryMessage=Owned"),
        std::string("x\\n10.6.6.6 update.example.com"), std::string("tab\\there"), std::string("del\\x7F")}) {
    m.play("settings reset szDefaultUserId=\"" + id + "\"\nstartdoc\nwrite settings\nclose\n");
    EXPECT_EQ(TestMachine::slurpHost(m->hostPath(ini)), before) << id;
  }
  EXPECT_EQ(count(u"The job's default user ID is longer than 39 characters; it is not written to the INI file.\n"), 2);
  EXPECT_EQ(count(u"The job's default user ID holds a control character; it is not written to the INI file.\n"), 4);
  m.play("settings reset szDefaultUserId=\"" + std::string(39, 'u') + "\"\nstartdoc\nwrite settings\nclose\n");
  EXPECT_EQ(userId(), std::u16string(39, u'u'));
}

TEST_F(WritePath, FirstBufferOfAnotherLengthTakesNoSettings) {
  // The previous job's settings hold: the watermark is on.
  m.play(R"(settings wWatermark=1
startdoc
write settings
close
startdoc
write text "not settings"
startpage
write marker watermark
close)");
  EXPECT_EQ(m.printed(2), std::string("not settings") + m.watermarkBlock());
}

TEST_F(WritePath, MarkersAreRecognisedOnlyAtTheirExactLength) {
  m.play(R"(settings wWatermark=1
startdoc
write settings
startpage
write text "TimeToInsertWatermarX"
write text "TimeToInsertWatermark\n"
write marker watermark
write text "TimeToInsertOverlaX"
write marker overlay
close)");
  EXPECT_EQ(m.printed(1),
            std::string("TimeToInsertWatermarXTimeToInsertWatermark\n") + m.watermarkBlock() + "TimeToInsertOverlaX");
  EXPECT_EQ(written(), (std::vector<long long>{1625, 21, 22, 21, 19, 19}));
}

TEST_F(WritePath, WatermarkBlockFormsFollowTheSettings) {
  m.play(R"(settings wWatermark=1 wNoClipToPage=1
startdoc
write settings
startpage
write marker watermark
close
settings reset wWatermark=1 wWatermarkFirstOnly=1
startdoc
write settings
write marker watermark
startpage
write marker watermark
endpage
startpage
write marker watermark
close
settings reset
startdoc
write settings
startpage
write marker watermark
close)");
  EXPECT_EQ(m.printed(1).substr(0, 6), "\x61\xC0\xFC\xF8\x2C\x7B");  // no clip to page
  EXPECT_EQ(m.printed(2), m.watermarkBlock());                       // the first page only
  EXPECT_EQ(m.printed(3), "");                                       // watermark off: consumed
}

TEST_F(WritePath, OrientationUpdateIsConsumedOnlyWithTheWatermarkOn) {
  m.play(R"(settings wWatermark=1
startdoc
write settings
settings wWatermark=1 dmOrientation=2
write settings
write settings
settings wWatermark=1 dmOrientation=2 dmDeviceName="Other printer"
write settings
close)");
  std::vector<long long> counts = written();
  EXPECT_EQ(counts, (std::vector<long long>{1625, 1625, 1625, 1625}));
  // The first update is consumed; the second has the stored orientation and
  // the third another device: both are stream data.
  EXPECT_EQ(m.document(1).size(), 2u * 1625);
  // Without the watermark the same update is stream data too.
  m.play(R"(settings reset
startdoc
write settings
settings dmOrientation=2
write settings
enddoc
close)");
  EXPECT_EQ(m.document(m.documentCount()).size(), 1625u);
}

TEST_F(WritePath, BypassAndTextCaptureSendMarkersAsData) {
  m.play(R"(settings wBypass=1 wWatermark=1
startdoc
write settings
startpage
write marker watermark
write marker page-start
close
settings reset wTextCapture=1 wWatermark=1
startdoc
write settings
write marker overlay
close
settings reset wTextCapture=1 wTextCaptureMode=2 wWatermark=1
startdoc
write settings
startpage
write marker watermark
close)");
  EXPECT_EQ(m.printed(1), std::string("TimeToInsertWatermark\x1B\xF0\x10\xAA\x01"));
  EXPECT_EQ(m.printed(2), "TimeToInsertOverlay");
  EXPECT_EQ(m.printed(3), m.watermarkBlock());  // capture off: the marker is acted on
}

TEST_F(WritePath, PrinterWriteFailuresAreTheHooksResult) {
  m.play(R"(settings wWatermark=1
startdoc
write settings
fail WritePrinter nth=1
write text "lost"
write text "kept"
startpage
fail WritePrinter nth=1
write marker watermark
close)");
  EXPECT_EQ(written(), (std::vector<long long>{1625, -1, 4, -1}));
  EXPECT_EQ(m.document(1), "kept");  // the failed push stops the block
}

TEST_F(WritePath, JobIsRefusedWithoutTheOverlayLibraryAndLeavesNothing) {
  m->deleteFile(u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\2\\KQXLO.DLL");
  m.play("startdoc\nwrite text \"x\"\nclose\nstartdoc\nclose\n");
  ASSERT_EQ(m.hooks().size(), 2u);
  for (auto& h : m.hooks()) {
    EXPECT_STREQ(h.hook, "DrvSplStartDoc");
    EXPECT_TRUE(h.handleNull);
  }
  EXPECT_EQ(m.document(1), "");
}

TEST_F(WritePath, StartDocFailuresRefuseTheJobCleanly) {
  for (const char* fault : {"GlobalAlloc", "LoadLibraryW"}) {
    m->clearFaults();
    m->addFault({fault, 1});
    m.play("startdoc\nclose\n");
    EXPECT_TRUE(m.hooks().back().handleNull) << fault;
  }
}

}  // namespace
