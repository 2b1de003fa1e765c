// The printer the winspool and GDI tests print on, opened for one test.
#pragma once

#include "conformance.h"
// (after windows.h)
#include <winspool.h>

namespace conformance {

// Skips the test where there is no printer to use.
#define REQUIRE_PRINTER() \
  if (PrinterName().empty()) GTEST_SKIP() << "no printer: set KQXL_CONFORMANCE_PRINTER"

class OpenedPrinter {
 public:
  OpenedPrinter() { EXPECT_TRUE(OpenPrinterW(const_cast<LPWSTR>(PrinterName().c_str()), &h_, nullptr)); }
  ~OpenedPrinter() {
    if (h_) ClosePrinter(h_);
  }
  OpenedPrinter(const OpenedPrinter&) = delete;
  OpenedPrinter& operator=(const OpenedPrinter&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_ = nullptr;
};

// A winspool answer of any size: asked once for its size, then for itself.
template <typename Ask>
std::vector<BYTE> Sized(Ask ask) {
  DWORD needed = 0;
  ask(nullptr, 0, &needed);
  std::vector<BYTE> buffer(needed);
  if (!ask(buffer.data(), needed, &needed)) buffer.clear();
  return buffer;
}

}  // namespace conformance
