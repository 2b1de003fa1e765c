// The overlay library: serves an overlay recorded by overlay creation as the
// content of a PCL XL user-defined stream. A recording holds whatever the
// rendering side sent during the first page of a job, its BeginPage and
// EndPage included; what a stream may hold is the page's drawing alone, so
// that is what getOverlaySize measures and ReadOverlay delivers.
//
// Only recorded overlays are served: a file that is not PCL XL page data the
// toolkit's reader accepts gives size 0, as does a path that is not a plain
// file path. The state between the two calls is the calling thread's, so
// jobs on two threads never mix their overlays.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <string>
#include <vector>

#include "pclxl/checker.h"
#include "pclxl/writer.h"
#include "support/paths.h"

#ifdef _WIN32
#define OVERLAY_EXPORT
#else
#define OVERLAY_EXPORT __attribute__((visibility("default")))
#endif

namespace {

struct Request {
  WCHAR file[MAX_PATH];
  DWORD size;
};
thread_local Request g_request;

constexpr DWORD kMaxOverlay = 64u << 20;  // a form, not a document

bool ReadWhole(const WCHAR* path, std::string* bytes) {
  if (!IsPlainFilePath(path)) return false;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD high = 0, size = GetFileSize(file, &high);
  bool ok = size != INVALID_FILE_SIZE && high == 0 && size <= kMaxOverlay;
  if (ok) {
    bytes->resize(size);
    DWORD read = 0;
    ok = size == 0 || (ReadFile(file, bytes->data(), size, &read, nullptr) && read == size);
  }
  CloseHandle(file);
  return ok;
}

// The drawing of the recording's first page: the bytes between its
// BeginPage and its EndPage, read as a printer reads them inside a session.
// Empty when the recording is not such a page.
std::string PageDrawing(const std::string& recording) {
  std::string session = pclxl::headerLine("overlay");
  pclxl::Writer(session)
      .xy(pclxl::DataType::UInt16, 600, 600, pclxl::attr::UnitsPerMeasure)
      .ubyte(0, pclxl::attr::Measure)
      .op(pclxl::op::BeginSession)
      .ubyte(0, pclxl::attr::SourceType)
      .ubyte(1, pclxl::attr::DataOrg)
      .op(pclxl::op::OpenDataSource);
  const uint64_t base = session.size();
  uint64_t from = 0, to = 0;
  pclxl::Checker checker;
  checker.onCommand = [&](const pclxl::Command& c) {
    if (c.depth != 0) return;
    if (c.op == pclxl::op::BeginPage && from == 0) from = c.end;
    if (c.op == pclxl::op::EndPage && from != 0 && to == 0) to = c.start;
  };
  std::string stream = session + recording;
  size_t at = 0;
  pclxl::checkStream(checker, [&](uint8_t* buf, size_t n) {
    n = std::min(n, stream.size() - at);
    std::copy_n(stream.data() + at, n, buf);
    at += n;
    return n;
  });
  if (from < base || to <= from) return {};
  // Nothing may be wrong inside the page; what follows it (the rest of the
  // job) is not the overlay's business.
  for (auto& p : checker.problems())
    if (p.offset < to) return {};
  return stream.substr(static_cast<size_t>(from), static_cast<size_t>(to - from));
}

bool OverlayOf(const WCHAR* path, std::string* drawing) {
  std::string recording;
  if (!ReadWhole(path, &recording)) return false;
  *drawing = PageDrawing(recording);
  return !drawing->empty();
}

}  // namespace

extern "C" {

OVERLAY_EXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }

// The size ReadOverlay will deliver for that file; 0 when it is not a
// recorded overlay.
OVERLAY_EXPORT DWORD WINAPI getOverlaySize(const CHAR* szOverlayFile) {
  Request& r = g_request;
  r.file[0] = 0;
  r.size = 0;
  if (!szOverlayFile || !szOverlayFile[0]) return 0;
  if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, szOverlayFile, -1, r.file, MAX_PATH) == 0) {
    r.file[0] = 0;
    return 0;
  }
  std::string drawing;
  if (!OverlayOf(r.file, &drawing)) return 0;
  r.size = static_cast<DWORD>(drawing.size());
  return r.size;
}

// Fills the buffer with exactly the size last reported on this thread; 0
// when the file no longer gives that.
OVERLAY_EXPORT DWORD WINAPI ReadOverlay(BYTE* pBuffer) {
  const Request& r = g_request;
  std::string drawing;
  if (!pBuffer || r.size == 0 || !OverlayOf(r.file, &drawing) || drawing.size() != r.size) return 0;
  std::copy(drawing.begin(), drawing.end(), pBuffer);
  return 1;
}

}  // extern "C"
