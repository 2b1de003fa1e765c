// winspool: the printer's settings, driver and data, and a document through
// the spooler, as the component asks for them.
#include "printer.h"

namespace conformance {
namespace {

constexpr DWORD kUntouched = 0xDEADBEEF;

TEST(Printers, AnUnknownPrinterIsNotOpened) {
  HANDLE h = reinterpret_cast<HANDLE>(1);
  SetLastError(kUntouched);
  EXPECT_FALSE(OpenPrinterW(const_cast<LPWSTR>(TEXT("No Such Printer 社外秘")), &h, nullptr));
  EXPECT_LAST_ERROR(ERROR_INVALID_PRINTER_NAME);
  DWORD needed = 0;
  SetLastError(kUntouched);
  EXPECT_FALSE(GetPrinterW(nullptr, 2, nullptr, 0, &needed));
  EXPECT_LAST_ERROR(ERROR_INVALID_HANDLE);
}

TEST(Printers, TheirSettingsAndDriver) {
  REQUIRE_PRINTER();
  OpenedPrinter printer;
  DWORD needed = 0;
  SetLastError(kUntouched);
  EXPECT_FALSE(GetPrinterW(printer.get(), 2, nullptr, 0, &needed));
  EXPECT_LAST_ERROR(ERROR_INSUFFICIENT_BUFFER);
  EXPECT_GT(needed, sizeof(PRINTER_INFO_2W));
  std::vector<BYTE> info =
      Sized([&](BYTE* b, DWORD n, DWORD* need) { return GetPrinterW(printer.get(), 2, b, n, need); });
  ASSERT_FALSE(info.empty());
  auto* p2 = reinterpret_cast<PRINTER_INFO_2W*>(info.data());
  EXPECT_EQ(0, lstrcmpiW(p2->pPrinterName, PrinterName().c_str()));
  ASSERT_NE(nullptr, p2->pDriverName);
  ASSERT_NE(nullptr, p2->pPortName);
  std::vector<BYTE> shortOne(info.size() - 1);  // what it holds after is undefined
  SetLastError(kUntouched);
  EXPECT_FALSE(GetPrinterW(printer.get(), 2, shortOne.data(), static_cast<DWORD>(shortOne.size()), &needed));
  EXPECT_LAST_ERROR(ERROR_INSUFFICIENT_BUFFER);
  std::vector<BYTE> driver =
      Sized([&](BYTE* b, DWORD n, DWORD* need) { return GetPrinterDriverW(printer.get(), nullptr, 2, b, n, need); });
  ASSERT_FALSE(driver.empty());
  auto* d2 = reinterpret_cast<DRIVER_INFO_2W*>(driver.data());
  ASSERT_NE(nullptr, d2->pName);
  EXPECT_EQ(0, lstrcmpiW(d2->pName, p2->pDriverName)) << Utf8(d2->pName) << " / " << Utf8(p2->pDriverName);
  // A full path to the driver's file, in the spooler's driver folder.
  WString path(d2->pDriverPath);
  EXPECT_EQ(WString(TEXT(":\\")), path.substr(1, 2));
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW(d2->pDriverPath));
  // The module loads; a function it lacks is not found.
  HMODULE module = LoadLibraryW(d2->pDriverPath);
  ASSERT_NE(nullptr, module);
  SetLastError(kUntouched);
  EXPECT_EQ(nullptr, reinterpret_cast<void*>(GetProcAddress(module, "NoSuchFunction")));
  EXPECT_LAST_ERROR(ERROR_PROC_NOT_FOUND);
  EXPECT_TRUE(DisableThreadLibraryCalls(module));
  EXPECT_TRUE(FreeLibrary(module));
}

TEST(Printers, PrinterData) {
  REQUIRE_PRINTER();
  OpenedPrinter printer;
  DWORD type = 0, needed = kUntouched;
  BYTE data[64];
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetPrinterDataW(printer.get(), const_cast<LPWSTR>(TEXT("No Such Value")), &type, data,
                                                  sizeof data, &needed));
  EXPECT_EQ(ERROR_INVALID_HANDLE,
            GetPrinterDataW(nullptr, const_cast<LPWSTR>(TEXT("MDL_FEATURE")), &type, data, sizeof data, &needed));
}

TEST(Printers, ADocumentThroughTheSpooler) {
  REQUIRE_PRINTER();
  TempFolder dir;
  WString output = dir.file(TEXT("document.prn"));
  OpenedPrinter printer;
  DWORD written = kUntouched;
  SetLastError(kUntouched);
  EXPECT_FALSE(WritePrinter(printer.get(), const_cast<char*>("x"), 1, &written));
  EXPECT_LAST_ERROR(ERROR_SPL_NO_STARTDOC);
  WString name = W("帳票 テスト");
  DOC_INFO_1W doc{};
  doc.pDocName = const_cast<LPWSTR>(name.c_str());
  doc.pOutputFile = const_cast<LPWSTR>(output.c_str());
  doc.pDatatype = const_cast<LPWSTR>(TEXT("RAW"));
  DWORD job = StartDocPrinterW(printer.get(), 1, reinterpret_cast<BYTE*>(&doc));
  ASSERT_NE(0u, job);
  ASSERT_TRUE(WritePrinter(printer.get(), const_cast<char*>("\x1B%-12345X"), 9, &written));
  EXPECT_EQ(9u, written);
  std::vector<BYTE> info =
      Sized([&](BYTE* b, DWORD n, DWORD* need) { return GetJobW(printer.get(), job, 1, b, n, need); });
  ASSERT_FALSE(info.empty());
  auto* j1 = reinterpret_cast<JOB_INFO_1W*>(info.data());
  EXPECT_EQ(job, j1->JobId);
  EXPECT_EQ(name, WString(j1->pDocument));
  DWORD needed = 0;
  EXPECT_FALSE(GetJobW(printer.get(), job + 1000, 1, nullptr, 0, &needed));
  EXPECT_TRUE(EndDocPrinter(printer.get()));
  SetLastError(kUntouched);
  EXPECT_FALSE(EndDocPrinter(printer.get()));
  EXPECT_LAST_ERROR(ERROR_SPL_NO_STARTDOC);
}

}  // namespace
}  // namespace conformance
