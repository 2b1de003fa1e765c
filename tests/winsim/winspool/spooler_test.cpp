// The spooler functions the component calls, and the simulated spooler's
// side of a job.
#include <gtest/gtest.h>
#include <winspool.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <future>
#include <fstream>
#include <thread>

#include "support/spooled_job.h"
#include "support/test_machine.h"

namespace {

struct Spooler : ::testing::Test {
  test::TestMachine m;
  HANDLE printer = nullptr;
  void SetUp() override { printer = winsim::OpenPrinterHandle(test::kPrinter); }
  void TearDown() override { winsim::ClosePrinterHandle(printer); }
};

TEST_F(Spooler, InformationSizeQueryFailsWithInsufficientBuffer) {
  DWORD needed = 0;
  EXPECT_FALSE(GetPrinterW(printer, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  std::vector<BYTE> buf(needed);
  ASSERT_TRUE(GetPrinterW(printer, 2, buf.data(), needed, &needed));
  auto* info = reinterpret_cast<PRINTER_INFO_2W*>(buf.data());
  EXPECT_EQ(std::u16string(info->pPortName), u"USB001");
  EXPECT_EQ(std::u16string(info->pDriverName), u"KQ PCL6 Driver");

  EXPECT_FALSE(GetPrinterDriverW(printer, nullptr, 2, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  buf.assign(needed, 0);
  ASSERT_TRUE(GetPrinterDriverW(printer, nullptr, 2, buf.data(), needed, &needed));
  auto* driver = reinterpret_cast<DRIVER_INFO_2W*>(buf.data());
  EXPECT_EQ(std::u16string(driver->pDriverPath), u"C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\2\\KQXL.DLL");
}

TEST_F(Spooler, PrinterDataCodes) {
  m->setPrinterData(test::kPrinter, u"MDL_FEATURE", {1, 2, 3});
  BYTE data[8];
  DWORD type, needed;
  EXPECT_EQ(GetPrinterDataW(printer, const_cast<LPWSTR>(u"MDL_FEATURE"), &type, data, 2, &needed),
            static_cast<DWORD>(ERROR_MORE_DATA));
  EXPECT_EQ(needed, 3u);
  EXPECT_EQ(GetPrinterDataW(printer, const_cast<LPWSTR>(u"MDL_FEATURE"), &type, data, 8, &needed), 0u);
  EXPECT_EQ(GetPrinterDataW(printer, const_cast<LPWSTR>(u"Other"), &type, data, 8, &needed),
            static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Spooler, WritePrinterNeedsADocumentAndEachDocumentStreamsApart) {
  DWORD written = 7;
  EXPECT_FALSE(WritePrinter(printer, const_cast<char*>("x"), 1, &written));
  EXPECT_EQ(written, 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SPL_NO_STARTDOC));
  DOC_INFO_1W doc{const_cast<LPWSTR>(u"first"), nullptr, nullptr};
  DWORD job = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc));
  EXPECT_NE(job, 0u);
  EXPECT_TRUE(WritePrinter(printer, const_cast<char*>("abc"), 3, &written));
  EXPECT_EQ(StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);  // one at a time
  EXPECT_TRUE(EndDocPrinter(printer));
  EXPECT_FALSE(EndDocPrinter(printer));
  doc.pDocName = const_cast<LPWSTR>(u"second");
  StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc));
  WritePrinter(printer, const_cast<char*>("de"), 2, &written);
  m->addFault({"WritePrinter", 1});
  EXPECT_FALSE(WritePrinter(printer, const_cast<char*>("f"), 1, &written));
  EndDocPrinter(printer);
  EXPECT_EQ(m.document(1), "abc");
  EXPECT_EQ(m.document(2), "de");
  EXPECT_EQ(m->documents()[1].name, u"second");

  BYTE info[512];
  DWORD needed;
  ASSERT_TRUE(GetJobW(printer, job, 1, info, sizeof info, &needed));
  EXPECT_EQ(std::u16string(reinterpret_cast<JOB_INFO_1W*>(info)->pDocument), u"first");
}

// A port file gets every byte in order whatever the pieces: pieces that
// fill the buffer exactly, straddle it, outgrow it several times over with
// something already gathered or nothing; and a file already there is
// replaced, not written through (another name for it keeps its bytes).
DWORD JobStatus(HANDLE printer, DWORD job) {
  DWORD needed = 0;
  GetJobW(printer, job, 1, nullptr, 0, &needed);
  std::vector<BYTE> buf(needed);
  if (!GetJobW(printer, job, 1, buf.data(), needed, &needed)) return ~0u;
  return reinterpret_cast<JOB_INFO_1W*>(buf.data())->Status;
}

// The queue's user deletes the job from another thread: its writes and any
// new document are refused as cancelled, the open document still ends with
// what it had, and the job reads as being deleted until the handle goes.
TEST_F(Spooler, ACancelledJobRefusesWritesAndDocuments) {
  DOC_INFO_1W doc{const_cast<LPWSTR>(u"first"), nullptr, const_cast<LPWSTR>(u"RAW")};
  DWORD job = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc));
  ASSERT_NE(job, 0u);
  DWORD written = 0;
  ASSERT_TRUE(WritePrinter(printer, const_cast<char*>("kept"), 4, &written));
  EXPECT_EQ(JobStatus(printer, job), 0u);
  std::thread([job] { EXPECT_TRUE(winsim::CancelJob(job)); }).join();
  EXPECT_FALSE(winsim::CancelJob(job + 100));
  EXPECT_TRUE(winsim::IsCancelled(printer));
  EXPECT_EQ(JobStatus(printer, job), static_cast<DWORD>(JOB_STATUS_DELETING));
  EXPECT_FALSE(WritePrinter(printer, const_cast<char*>("lost"), 4, &written));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_CANCELLED));
  EXPECT_EQ(written, 0u);
  EXPECT_TRUE(EndDocPrinter(printer));
  EXPECT_EQ(StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_CANCELLED));
  ASSERT_EQ(m.documentCount(), 1);
  EXPECT_EQ(m.document(1), "kept");
  EXPECT_TRUE(m->documents()[0].cancelled);
}

// A cancel is of the handle's current job: deleting a finished first
// document's job leaves the second one printing.
TEST_F(Spooler, CancellingAnEndedJobLeavesTheNextOne) {
  DOC_INFO_1W doc{const_cast<LPWSTR>(u"doc"), nullptr, const_cast<LPWSTR>(u"RAW")};
  DWORD first = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc));
  ASSERT_TRUE(EndDocPrinter(printer));
  ASSERT_NE(StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc)), 0u);
  EXPECT_TRUE(winsim::CancelJob(first));
  DWORD written = 0;
  EXPECT_TRUE(WritePrinter(printer, const_cast<char*>("second"), 6, &written));
  EXPECT_FALSE(winsim::IsCancelled(printer));
}

TEST(PortFile, PiecesOfEverySizeArriveWholeAndInOrder) {
  auto dir = std::filesystem::temp_directory_path() / ("kqxl-port-test-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  auto port = dir / "port.prn", other = dir / "other-name.prn";
  std::ofstream(port) << "old bytes";
  std::filesystem::create_hard_link(port, other);

  const size_t block = 256 * 1024;
  std::string expected;
  auto sink = winsim::fileSink(port);
  for (size_t size : {size_t{1}, block - 1, size_t{2}, block, size_t{100}, 3 * block + 5, size_t{0}, 2 * block,
                      block - 100, size_t{7}}) {
    std::string piece(size, '\0');
    for (size_t i = 0; i < size; ++i) piece[i] = static_cast<char>((expected.size() + i) * 131 % 251);
    ASSERT_TRUE(sink->write(piece.data(), piece.size()));
    expected += piece;
  }
  sink->finish();
  std::ifstream in(port, std::ios::binary);
  std::string got((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_TRUE(got == expected);
  std::ifstream kept(other);
  std::string old;
  std::getline(kept, old);
  EXPECT_EQ(old, "old bytes");
  std::filesystem::remove_all(dir);
}

TEST_F(Spooler, ModulesLoadOnceAndMissingOnesFail) {
  EXPECT_EQ(LoadLibraryW(u"C:\\WINDOWS\\system32\\missing.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_MOD_NOT_FOUND));
  std::u16string path = std::u16string(test::kDriverDir) + u"kqxlo.dll";
  HMODULE a = LoadLibraryW(path.c_str());
  HMODULE b = LoadLibraryW(path.c_str());
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a, b);
  EXPECT_NE(GetProcAddress(a, "getOverlaySize"), nullptr);
  EXPECT_EQ(GetProcAddress(a, "nothing"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PROC_NOT_FOUND));
  EXPECT_EQ(m->snapshot().modules, 2u);
  FreeLibrary(a);
  FreeLibrary(b);
  EXPECT_EQ(m->snapshot().modules, 0u);
}

TEST_F(Spooler, ModuleReferencesLeftAreReportedAsLeaks) {
  HMODULE h = LoadLibraryW((std::u16string(test::kDriverDir) + u"KQXLO.DLL").c_str());
  ASSERT_NE(h, nullptr);
  std::string leaks = test::leaksOf(m.machine());
  EXPECT_NE(leaks.find("module: C:\\WINDOWS\\system32\\spool\\drivers\\w32x86\\2\\KQXLO.DLL"), std::string::npos)
      << leaks;
  FreeLibrary(h);
}

TEST_F(Spooler, ModulesThatAreNotModulesAndBareNames) {
  m->writeFile(u"C:\\WINDOWS\\system32\\notamodule.dll", "MZ but not really");
  EXPECT_EQ(LoadLibraryW(u"C:\\WINDOWS\\system32\\notamodule.dll"), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_BAD_EXE_FORMAT));
  m->copyFileIn(u"C:\\WINDOWS\\system32\\helper.dll", m->hostPath(std::u16string(test::kDriverDir) + u"KQXLm.dll"));
  HMODULE h = LoadLibraryW(u"helper");  // found in the system directory, ".DLL" added
  ASSERT_NE(h, nullptr);
  EXPECT_NE(GetProcAddress(h, "ShowUtilsDialog"), nullptr);
  EXPECT_TRUE(FreeLibrary(h));
  EXPECT_FALSE(FreeLibrary(h));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));
}

// A box one printer's job leaves up (its user gone for coffee) holds up no
// other printer: the second printer's jobs start once the box is up, and
// all of them end before it is answered.
TEST_F(Spooler, ABoxLeftUpDoesNotHoldUpAnotherPrinter) {
  std::promise<void> boxUp, othersDone;
  std::shared_future<void> up = boxUp.get_future().share(), done = othersDone.get_future().share();
  std::atomic<int> boxes{0};
  std::atomic<bool> othersEndedFirst{false};
  m->setAnswerCallback([&](const winsim::MessageBoxRecord&) {
    if (boxes++ == 0) {
      boxUp.set_value();
      othersEndedFirst = done.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    }
    return IDOK;
  });
  std::thread duplex([&] { m.playRepeatedly(test::SpooledJob{"wManualDuplex=1", 2}.script()); });
  std::thread others([&] {
    ASSERT_EQ(up.wait_for(std::chrono::seconds(60)), std::future_status::ready);
    m.playRepeatedly(
        "printer name=\"Second\"\nstartdoc\nwrite settings\nstartpage\nwrite text \"x\"\nendpage\nenddoc\nclose\n", 20);
    othersDone.set_value();
  });
  others.join();
  duplex.join();
  EXPECT_GE(boxes, 1);
  EXPECT_TRUE(othersEndedFirst);
  EXPECT_EQ(m.documentCount(), 2 + 20);
}

}  // namespace
