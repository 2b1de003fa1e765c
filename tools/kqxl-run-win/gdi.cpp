// The printer's device context, which a machine without the printer's
// driver cannot create: a real GDI memory device context holding the
// printable page as a 1-bit bitmap, on which Windows' own GDI selects the
// fonts, lays out the text and makes its outlines. The runner answers only
// what a printer's device context knows and a memory one does not (its
// resolution, page and margins), and stands in for the driver's rendering
// side: a document on it is an internal job of the printer, and what is
// drawn reaches that job as the PCL XL the rendering side writes for a job
// that passes through (winsim/shared/page_drawing.h), the text as the glyph
// outlines GetPath gives for it.
#include "gdi.h"

#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "host.h"
#include "jobkit/text.h"
#include "page_drawing.h"
#include "standins.h"

namespace kqxlwin {

namespace {

std::u16string U16(const wchar_t* s) { return s ? std::u16string(s, s + lstrlenW(s)) : std::u16string(); }

struct PrinterDC {
  std::u16string printer;
  std::vector<BYTE> settings;  // the settings record, the internal job's first buffer
  winsim::PageGeometry page{};
  HBITMAP bitmap = nullptr;
  HGDIOBJ oldBitmap = nullptr;
  std::unique_ptr<jobkit::SpoolerJob> job;
  bool pageOpen = false;
  bool inPath = false;
};

bool g_printerDC = true;

std::map<HDC, PrinterDC>& PrinterDCs() {
  static std::map<HDC, PrinterDC> dcs;
  return dcs;
}

PrinterDC* PrinterDCOf(HDC dc) {
  auto it = PrinterDCs().find(dc);
  return it == PrinterDCs().end() ? nullptr : &it->second;
}

// The DC's path as the rendering side writes it, to the DC's job; true when
// nothing is printing (drawing goes nowhere) or the job took it.
bool SendPath(PrinterDC& pdc, HDC dc, COLORREF color, bool stroke, int penWidth) {
  int n = GetPath(dc, nullptr, nullptr, 0);
  if (n < 0) return false;
  std::vector<POINT> points(static_cast<size_t>(n));
  std::vector<BYTE> types(points.size());
  if (n > 0 && GetPath(dc, points.data(), types.data(), n) != n) return false;
  if (!pdc.job || !pdc.job->started()) return true;
  std::string bytes = winsim::PathDrawing(points.data(), types.data(), n, pdc.page, color, stroke, penWidth);
  pdc.job->write(bytes.data(), static_cast<DWORD>(bytes.size()));
  return pdc.job->last().result != 0;
}

void EndJob(PrinterDC& pdc) {
  if (pdc.job && pdc.job->started()) pdc.job->close();
  pdc.job.reset();
  pdc.pageOpen = false;
}

HDC WINAPI StandInCreateDCW(LPCWSTR driver, LPCWSTR device, LPCWSTR port, const DEVMODEW* dm) {
  if (!g_printerDC || !device || !FindPrinter(U16(device))) return CreateDCW(driver, device, port, dm);
  PrinterDC pdc;
  pdc.printer = U16(device);
  DEVMODEW settings{};
  if (dm) {
    size_t size = static_cast<size_t>(dm->dmSize) + dm->dmDriverExtra;
    const auto* bytes = reinterpret_cast<const BYTE*>(dm);
    pdc.settings.assign(bytes, bytes + std::max(size, sizeof(DEVMODEW)));
    std::memcpy(&settings, dm, std::min(size, sizeof settings));
  }
  pdc.page = winsim::GeometryOf(settings);
  HDC dc = CreateCompatibleDC(nullptr);
  if (!dc) return nullptr;
  pdc.bitmap = CreateBitmap(winsim::DeviceCap(pdc.page, HORZRES), winsim::DeviceCap(pdc.page, VERTRES), 1, 1, nullptr);
  if (pdc.bitmap) pdc.oldBitmap = SelectObject(dc, pdc.bitmap);
  PrinterDCs()[dc] = std::move(pdc);
  return dc;
}

BOOL WINAPI StandInDeleteDC(HDC dc) {
  PrinterDC* pdc = PrinterDCOf(dc);
  if (!pdc) return DeleteDC(dc);
  EndJob(*pdc);  // a document left open ends with its DC
  if (pdc->oldBitmap) SelectObject(dc, pdc->oldBitmap);
  if (pdc->bitmap) DeleteObject(pdc->bitmap);
  PrinterDCs().erase(dc);
  return DeleteDC(dc);
}

int WINAPI StandInGetDeviceCaps(HDC dc, int index) {
  PrinterDC* pdc = PrinterDCOf(dc);
  return pdc ? winsim::DeviceCap(pdc->page, index) : GetDeviceCaps(dc, index);
}

// The spooler starts the job and plays the driver's hooks for it, the
// settings record first.
int WINAPI StandInStartDocW(HDC dc, const DOCINFOW* info) {
  PrinterDC* pdc = PrinterDCOf(dc);
  if (!pdc) return StartDocW(dc, info);
  if (!info || pdc->job) return SetLastError(ERROR_INVALID_PARAMETER), -1;
  auto job = NewJob(pdc->printer, U16(info->lpszDocName), U16(info->lpszOutput));
  if (!job->startDoc()) return SetLastError(ERROR_INVALID_PRINTER_STATE), -1;
  if (!pdc->settings.empty()) job->write(pdc->settings.data(), static_cast<DWORD>(pdc->settings.size()));
  pdc->job = std::move(job);
  return 1;
}

int WINAPI StandInStartPage(HDC dc) {
  PrinterDC* pdc = PrinterDCOf(dc);
  if (!pdc) return StartPage(dc);
  if (!pdc->job) return SP_ERROR;
  pdc->pageOpen = true;
  pdc->job->startPage();
  return pdc->job->last().result ? 1 : SP_ERROR;
}

int WINAPI StandInEndPage(HDC dc) {
  PrinterDC* pdc = PrinterDCOf(dc);
  if (!pdc) return EndPage(dc);
  if (!pdc->job || !pdc->pageOpen) return SP_ERROR;
  pdc->pageOpen = false;
  pdc->job->endPage();
  return pdc->job->last().result ? 1 : SP_ERROR;
}

int WINAPI StandInEndDoc(HDC dc) {
  PrinterDC* pdc = PrinterDCOf(dc);
  if (!pdc) return EndDoc(dc);
  if (!pdc->job) return -1;
  pdc->job->endDoc();
  EndJob(*pdc);
  return 1;
}

// Windows' own path brackets, watched: text drawn outside one prints.
BOOL WINAPI StandInBeginPath(HDC dc) {
  BOOL ok = BeginPath(dc);
  if (PrinterDC* pdc = PrinterDCOf(dc); pdc && ok) pdc->inPath = true;
  return ok;
}

BOOL WINAPI StandInEndPath(HDC dc) {
  BOOL ok = EndPath(dc);
  if (PrinterDC* pdc = PrinterDCOf(dc); pdc && ok) pdc->inPath = false;
  return ok;
}

// Outside a path, a printer prints the text: Windows' outlines of it,
// filled with the text colour.
BOOL WINAPI StandInTextOutW(HDC dc, int x, int y, LPCWSTR text, int count) {
  PrinterDC* pdc = PrinterDCOf(dc);
  if (!pdc || pdc->inPath) return TextOutW(dc, x, y, text, count);
  if (!BeginPath(dc)) return FALSE;
  BOOL drawn = TextOutW(dc, x, y, text, count);
  BOOL ended = EndPath(dc);
  BOOL sent = drawn && ended && SendPath(*pdc, dc, GetTextColor(dc), false, 0);
  AbortPath(dc);
  return sent;
}

// The path stroked with the selected pen: its colour and width.
BOOL WINAPI StandInStrokePath(HDC dc) {
  PrinterDC* pdc = PrinterDCOf(dc);
  if (!pdc) return StrokePath(dc);
  LOGPEN pen{};
  GetObjectW(GetCurrentObject(dc, OBJ_PEN), sizeof pen, &pen);
  bool sent = !pdc->inPath && SendPath(*pdc, dc, pen.lopnColor, true, pen.lopnWidth.x < 1 ? 1 : pen.lopnWidth.x);
  return StrokePath(dc) && sent;  // Windows' own ends the path
}

const Redirect kGdiRedirects[] = {
    {"gdi32.dll", "CreateDCW", reinterpret_cast<void*>(StandInCreateDCW)},
    {"gdi32.dll", "DeleteDC", reinterpret_cast<void*>(StandInDeleteDC)},
    {"gdi32.dll", "GetDeviceCaps", reinterpret_cast<void*>(StandInGetDeviceCaps)},
    {"gdi32.dll", "StartDocW", reinterpret_cast<void*>(StandInStartDocW)},
    {"gdi32.dll", "StartPage", reinterpret_cast<void*>(StandInStartPage)},
    {"gdi32.dll", "EndPage", reinterpret_cast<void*>(StandInEndPage)},
    {"gdi32.dll", "EndDoc", reinterpret_cast<void*>(StandInEndDoc)},
    {"gdi32.dll", "BeginPath", reinterpret_cast<void*>(StandInBeginPath)},
    {"gdi32.dll", "EndPath", reinterpret_cast<void*>(StandInEndPath)},
    {"gdi32.dll", "TextOutW", reinterpret_cast<void*>(StandInTextOutW)},
    {"gdi32.dll", "StrokePath", reinterpret_cast<void*>(StandInStrokePath)},
};

}  // namespace

void SetPrinterDC(bool made) { g_printerDC = made; }

const Redirect* GdiRedirects(size_t* count) {
  *count = std::size(kGdiRedirects);
  return kGdiRedirects;
}

std::vector<std::pair<std::string, std::string>> GdiHoldings() {
  std::vector<std::pair<std::string, std::string>> r;
  for (auto& [dc, pdc] : PrinterDCs()) r.emplace_back("gdi", "device context of " + jobkit::utf8Of(pdc.printer));
  return r;
}

}  // namespace kqxlwin
