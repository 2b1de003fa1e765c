// gdi32 for printer device contexts. A document started on a device
// context is a print job of that printer: its hooks run nested in the
// caller, the device context's settings record is its first buffer, and
// what is drawn reaches the job as PCL XL that the printer driver's
// rendering side would write for a job that passes through (bypass): its
// own colour space, brush and pen, and the text as glyph paths in the
// device pixels of the settings' resolution.
#include <cmath>
#include <cstring>

#include "gdi32/fontmap.h"
#include "gdi32/state.h"
#include "core/seams.h"
#include "page_drawing.h"

using namespace winsim;
using namespace winsim::detail;
using winsim::gdi::Path;
using winsim::gdi::PathSegment;

namespace {

constexpr uintptr_t kStockFont = 0x8000, kStockPen = 0x9000;

const GdiObject& stockFont() {
  static const GdiObject font = [] {
    GdiObject f;
    f.stock = true;
    f.font.lfHeight = -100;
    std::u16string face = u"Courier New";
    face.copy(f.font.lfFaceName, face.size());
    return f;
  }();
  return font;
}

const GdiObject& stockPen() {
  static const GdiObject pen = [] {
    GdiObject p;
    p.kind = GdiObject::Pen;
    p.stock = true;
    return p;
  }();
  return pen;
}

// The object a handle names: a stock object, or one made and not yet
// deleted; null for anything else.
std::shared_ptr<const GdiObject> findObject(uintptr_t h) {
  if (h == kStockFont) return std::shared_ptr<const GdiObject>(&stockFont(), [](const GdiObject*) {});
  if (h == kStockPen) return std::shared_ptr<const GdiObject>(&stockPen(), [](const GdiObject*) {});
  return gdi32(state()).gdiObjects.find(reinterpret_cast<const void*>(h));
}

// What a device context has selected; the stock one for what is gone.
GdiObject selected(uintptr_t h, const GdiObject& stock) {
  auto object = findObject(h);
  return object ? *object : stock;
}

// The device context a handle names, locked for the call; empty, with the
// last error set, for another handle.
Locked<DeviceContext> lockDC(HDC h) {
  Locked<DeviceContext> dc = gdi32(state()).dcs.lock(h);
  if (!dc) setError(ERROR_INVALID_HANDLE);
  return dc;
}

// A DC made without settings has the printer's defaults: a DEVMODE of zeros.
PageGeometry geometryOf(const DeviceContext& dc) {
  DEVMODEW dm{};
  if (!dc.devmode.empty()) std::memcpy(&dm, dc.devmode.data(), std::min(dc.devmode.size(), sizeof dm));
  return GeometryOf(dm);
}

// The outlines of a run of text placed as TextOutW places it: the text
// alignment puts the reference point, the escapement turns the run about it.
Path placeText(const gdi::Font& font, const LOGFONTW& lf, UINT align, int x, int y, std::u16string_view text) {
  double width = 0;
  Path path = font.outline(text, &width);
  double u0 = (align & TA_CENTER) == TA_CENTER ? width / 2 : (align & TA_RIGHT) ? width : 0;
  double w0 = (align & TA_BASELINE) == TA_BASELINE ? 0 : (align & TA_BOTTOM) ? font.descent() : -font.ascent();
  double a = lf.lfEscapement / 10.0 * M_PI / 180.0, c = std::cos(a), s = std::sin(a);
  for (auto& seg : path) {
    int n = pointsOf(seg);
    for (int i = 0; i < n; ++i) {
      double du = seg.x[i] - u0, dw = seg.y[i] - w0;
      seg.x[i] = x + du * c + dw * s;
      seg.y[i] = y - du * s + dw * c;
    }
  }
  return path;
}

// A path as GetPath gives it: the points in whole pixels, each with its type,
// the last point of a closed figure marked.
void pathPoints(const Path& path, std::vector<POINT>* points, std::vector<BYTE>* types) {
  for (auto& seg : path) {
    if (seg.kind == PathSegment::Close && !types->empty()) types->back() |= PT_CLOSEFIGURE;
    for (int k = 0; k < pointsOf(seg); ++k) {
      points->push_back({static_cast<LONG>(std::lround(seg.x[k])), static_cast<LONG>(std::lround(seg.y[k]))});
      types->push_back(seg.kind == PathSegment::Move   ? PT_MOVETO
                       : seg.kind == PathSegment::Line ? PT_LINETO
                                                       : PT_BEZIERTO);
    }
  }
}

// The drawing as the rendering side writes it for a bypass job.
std::string drawing(const Path& path, const PageGeometry& page, COLORREF color, bool stroke, int penWidth) {
  std::vector<POINT> points;
  std::vector<BYTE> types;
  pathPoints(path, &points, &types);
  return PathDrawing(points.data(), types.data(), static_cast<int>(points.size()), page, color, stroke, penWidth);
}

// Sends drawing to the job of the device context, outside the machine's lock.
bool sendToJob(std::shared_ptr<PrintJob> job, const std::string& bytes) {
  if (!job || !job->started()) return true;  // nothing printing: drawing goes nowhere
  DWORD written = 0;
  return job->write(bytes.data(), static_cast<DWORD>(bytes.size()), &written) != FALSE;
}

}  // namespace

extern "C" {

HDC WINAPI CreateDCW(LPCWSTR driver, LPCWSTR device, LPCWSTR port, const DEVMODEW* dm) {
  ApiCall log("CreateDCW");
  log.arg("pwszDriver", driver).arg("pwszDevice", device).arg("pszPort", port);
  HDC h = nullptr;
  bool known = device && isPrinter(view(device));
  if (log.fails()) {
  } else if (!known) {
    setError(ERROR_INVALID_PRINTER_NAME);
  } else {
    auto dc = std::make_shared<DeviceContext>();
    dc->printer = device;
    if (dm) {
      size_t size = static_cast<size_t>(dm->dmSize) + dm->dmDriverExtra;
      const auto* bytes = reinterpret_cast<const uint8_t*>(dm);
      dc->devmode.assign(bytes, bytes + std::max(size, sizeof(DEVMODEW)));
    }
    dc->font = kStockFont;
    dc->pen = kStockPen;
    h = static_cast<HDC>(gdi32(state()).dcs.add(std::move(dc)));
  }
  log.resultPtr(h);
  return h;
}

BOOL WINAPI DeleteDC(HDC hdc) {
  ApiCall log("DeleteDC");
  log.ptr("hdc", hdc);
  std::shared_ptr<PrintJob> job;
  BOOL ok = FALSE;
  bool failing = log.fails();  // the DC goes all the same
  if (std::shared_ptr<DeviceContext> dc = gdi32(state()).dcs.take(hdc)) {
    std::lock_guard g(dc->mu);
    job = std::move(dc->job);
    ok = !failing;
  } else {
    setError(ERROR_INVALID_HANDLE);
  }
  if (job && job->started()) job->close();  // a document left open ends with its DC
  log.result(ok);
  return ok;
}

int WINAPI GetDeviceCaps(HDC hdc, int index) {
  ApiCall log("GetDeviceCaps");
  log.ptr("hdc", hdc).arg("index", index);
  Locked<DeviceContext> dc = log.fails() ? Locked<DeviceContext>() : lockDC(hdc);
  int r = dc ? DeviceCap(geometryOf(*dc), index) : 0;
  log.result(r);
  return r;
}

HFONT WINAPI CreateFontIndirectW(const LOGFONTW* lf) {
  ApiCall log("CreateFontIndirectW");
  if (lf)
    log.arg("lfHeight", lf->lfHeight)
        .arg("lfEscapement", lf->lfEscapement)
        .arg("lfWeight", lf->lfWeight)
        .arg("lfItalic", lf->lfItalic)
        .arg("lfCharSet", lf->lfCharSet)
        .arg("lfFaceName",
             std::u16string_view(lf->lfFaceName, std::char_traits<char16_t>::length(lf->lfFaceName) < LF_FACESIZE
                                                     ? std::char_traits<char16_t>::length(lf->lfFaceName)
                                                     : LF_FACESIZE));
  HGDIOBJ h = nullptr;
  if (log.fails()) {
  } else if (!lf) {
    setError(ERROR_INVALID_PARAMETER);
  } else {
    GdiObject font;
    font.font = *lf;
    h = gdi32(state()).gdiObjects.add(font);
  }
  log.resultPtr(h);
  return reinterpret_cast<HFONT>(h);
}

HPEN WINAPI CreatePen(int style, int width, COLORREF color) {
  ApiCall log("CreatePen");
  log.arg("iStyle", style).arg("cWidth", width).hex("color", color);
  HGDIOBJ h = nullptr;
  if (!log.fails()) {
    GdiObject pen;
    pen.kind = GdiObject::Pen;
    pen.penStyle = style;
    pen.penWidth = width < 1 ? 1 : width;
    pen.penColor = color;
    h = gdi32(state()).gdiObjects.add(pen);
  }
  log.resultPtr(h);
  return reinterpret_cast<HPEN>(h);
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ object) {
  ApiCall log("SelectObject");
  log.ptr("hdc", hdc).ptr("h", object);
  uintptr_t id = reinterpret_cast<uintptr_t>(object);
  std::shared_ptr<const GdiObject> selecting = findObject(id);
  Locked<DeviceContext> dc = gdi32(state()).dcs.lock(hdc);
  HGDIOBJ previous = nullptr;
  if (log.fails()) {
  } else if (!dc || !selecting) {
    setError(ERROR_INVALID_HANDLE);
  } else {
    uintptr_t& slot = selecting->kind == GdiObject::Font ? dc->font : dc->pen;
    previous = reinterpret_cast<HGDIOBJ>(slot);
    slot = id;
  }
  log.resultPtr(previous);
  return previous;
}

BOOL WINAPI DeleteObject(HGDIOBJ object) {
  ApiCall log("DeleteObject");
  log.ptr("ho", object);
  uintptr_t id = reinterpret_cast<uintptr_t>(object);
  BOOL ok = FALSE;
  bool failing = log.fails();                        // the object goes all the same
  bool stock = id == kStockFont || id == kStockPen;  // stays, and deleting it succeeds
  if (stock || gdi32(state()).gdiObjects.take(object)) ok = !failing;
  log.result(ok);
  return ok;
}

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF color) {
  ApiCall log("SetTextColor");
  log.ptr("hdc", hdc).hex("color", color);
  Locked<DeviceContext> dc = log.fails() ? Locked<DeviceContext>() : lockDC(hdc);
  COLORREF old = CLR_INVALID;
  if (dc) {
    old = dc->textColor;
    dc->textColor = color;
  }
  log.resultHex(old);
  return old;
}

int WINAPI SetBkMode(HDC hdc, int mode) {
  ApiCall log("SetBkMode");
  log.ptr("hdc", hdc).arg("mode", mode);
  Locked<DeviceContext> dc = log.fails() ? Locked<DeviceContext>() : lockDC(hdc);
  int old = 0;
  if (dc) {
    old = dc->bkMode;
    dc->bkMode = mode;
  }
  log.result(old);
  return old;
}

UINT WINAPI SetTextAlign(HDC hdc, UINT align) {
  ApiCall log("SetTextAlign");
  log.ptr("hdc", hdc).arg("align", align);
  Locked<DeviceContext> dc = log.fails() ? Locked<DeviceContext>() : lockDC(hdc);
  UINT old = GDI_ERROR;
  if (dc) {
    old = dc->align;
    dc->align = align;
  }
  log.result(old);
  return old;
}

BOOL WINAPI GetTextMetricsW(HDC hdc, LPTEXTMETRICW tm) {
  ApiCall log("GetTextMetricsW");
  log.ptr("hdc", hdc);
  LOGFONTW lf{};
  if (log.fails()) return log.result(FALSE), FALSE;
  {
    Locked<DeviceContext> dc = lockDC(hdc);
    if (!dc || !tm) return log.result(FALSE), FALSE;
    lf = selected(dc->font, stockFont()).font;
  }
  std::string error;
  auto font = gdi::Font::load(lf, &error);
  if (!font) return log.result(FALSE), FALSE;
  *tm = TEXTMETRICW{};
  tm->tmHeight = font->height();
  tm->tmAscent = font->ascent();
  tm->tmDescent = font->descent();
  tm->tmInternalLeading = font->internalLeading();
  tm->tmAveCharWidth = font->averageWidth();
  tm->tmWeight = font->weight();
  tm->tmItalic = lf.lfItalic;
  tm->tmCharSet = font->charset();
  log.arg("tmHeight", tm->tmHeight);
  log.result(TRUE);
  return TRUE;
}

BOOL WINAPI BeginPath(HDC hdc) {
  ApiCall log("BeginPath");
  log.ptr("hdc", hdc);
  Locked<DeviceContext> dc = log.fails() ? Locked<DeviceContext>() : lockDC(hdc);
  if (dc) {
    dc->path.clear();
    dc->inPath = true;
    dc->pathReady = false;
  }
  log.result(static_cast<bool>(dc));
  return dc ? TRUE : FALSE;
}

BOOL WINAPI EndPath(HDC hdc) {
  ApiCall log("EndPath");
  log.ptr("hdc", hdc);
  Locked<DeviceContext> dc = log.fails() ? Locked<DeviceContext>() : lockDC(hdc);
  bool ok = dc && dc->inPath;
  if (ok) dc->inPath = false;
  if (ok) dc->pathReady = true;
  log.result(ok);
  return ok ? TRUE : FALSE;
}

int WINAPI GetPath(HDC hdc, LPPOINT points, LPBYTE types, int count) {
  ApiCall log("GetPath");
  log.ptr("hdc", hdc).arg("cpt", count);
  Locked<DeviceContext> dc = log.fails() ? Locked<DeviceContext>() : lockDC(hdc);
  int r = -1;
  if (dc && !dc->pathReady) {
    setError(ERROR_CAN_NOT_COMPLETE);  // no path ended, or it was stroked
  } else if (dc) {
    std::vector<POINT> pts;
    std::vector<BYTE> kinds;
    pathPoints(dc->path, &pts, &kinds);
    r = static_cast<int>(pts.size());
    if (count > 0 && count < r) {
      setError(ERROR_INVALID_PARAMETER);
      r = -1;
    } else if (count > 0 && points && types) {
      std::copy_n(pts.begin(), r, points);
      std::copy_n(kinds.begin(), r, types);
    }
  }
  log.result(r);
  return r;
}

BOOL WINAPI StrokePath(HDC hdc) {
  ApiCall log("StrokePath");
  log.ptr("hdc", hdc);
  std::shared_ptr<PrintJob> job;
  std::string bytes;
  if (log.fails()) return log.result(FALSE), FALSE;
  {
    Locked<DeviceContext> dc = lockDC(hdc);
    if (!dc || dc->inPath) return log.result(FALSE), FALSE;
    GdiObject pen = selected(dc->pen, stockPen());
    bytes = drawing(dc->path, geometryOf(*dc), pen.penColor, true, pen.penWidth);
    dc->path.clear();
    dc->pathReady = false;
    job = dc->job;
  }
  BOOL ok = sendToJob(job, bytes) ? TRUE : FALSE;
  log.result(ok);
  return ok;
}

BOOL WINAPI TextOutW(HDC hdc, int x, int y, LPCWSTR text, int count) {
  ApiCall log("TextOutW");
  log.ptr("hdc", hdc).arg("x", x).arg("y", y).arg("c", count);
  if (text && count > 0) log.arg("lpString", std::u16string_view(text, static_cast<size_t>(count)));
  LOGFONTW lf{};
  UINT align;
  COLORREF color;
  bool inPath;
  PageGeometry page;
  std::shared_ptr<PrintJob> job;
  if (log.fails()) return log.result(FALSE), FALSE;
  {
    Locked<DeviceContext> dc = lockDC(hdc);
    if (!dc || !text || count < 0) {
      setError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
      return log.result(FALSE), FALSE;
    }
    lf = selected(dc->font, stockFont()).font;
    align = dc->align;
    color = dc->textColor;
    inPath = dc->inPath;
    page = geometryOf(*dc);
    job = dc->job;
  }
  std::string error;
  auto font = gdi::Font::load(lf, &error);
  if (!font) {
    setError(ERROR_INVALID_HANDLE);
    return log.result(FALSE), FALSE;
  }
  // A font without outlines (a bitmap face, say) adds nothing to a path;
  // drawn outside a path its text still prints.
  Path path = inPath && faultHits("GlyphOutlines")
                  ? Path()
                  : placeText(*font, lf, align, x, y, std::u16string_view(text, static_cast<size_t>(count)));
  BOOL ok = TRUE;
  if (inPath) {
    if (Locked<DeviceContext> dc = lockDC(hdc)) dc->path.insert(dc->path.end(), path.begin(), path.end());
  } else {
    ok = sendToJob(job, drawing(path, page, color, false, 0)) ? TRUE : FALSE;
  }
  log.result(ok);
  return ok;
}

int WINAPI StartDocW(HDC hdc, const DOCINFOW* info) {
  ApiCall log("StartDocW");
  log.ptr("hdc", hdc);
  if (info) log.arg("lpszDocName", info->lpszDocName).arg("lpszOutput", info->lpszOutput);
  std::shared_ptr<PrintJob> job;
  std::vector<uint8_t> devmode;
  if (log.fails()) return log.result(SP_ERROR), SP_ERROR;
  {
    Locked<DeviceContext> dc = lockDC(hdc);
    if (!dc || !info || dc->job) {
      setError(dc ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
      return log.result(-1), -1;
    }
    job = std::make_shared<PrintJob>(dc->printer, 0, view(info->lpszDocName), view(info->lpszOutput));
    devmode = dc->devmode;
  }
  // The spooler starts the job and plays the driver's hooks for it, the
  // settings record first.
  if (!job->startDoc()) {
    setError(ERROR_INVALID_PRINTER_STATE);
    return log.result(-1), -1;
  }
  DWORD written = 0;
  if (!devmode.empty()) job->write(devmode.data(), static_cast<DWORD>(devmode.size()), &written);
  if (Locked<DeviceContext> dc = lockDC(hdc)) dc->job = job;
  log.result(1);
  return 1;
}

int WINAPI StartPage(HDC hdc) {
  ApiCall log("StartPage");
  log.ptr("hdc", hdc);
  std::shared_ptr<PrintJob> job;
  if (log.fails()) return log.result(SP_ERROR), SP_ERROR;
  {
    Locked<DeviceContext> dc = lockDC(hdc);
    if (!dc || !dc->job) return log.result(SP_ERROR), SP_ERROR;
    job = dc->job;
    dc->pageOpen = true;
  }
  int r = job->startPage() ? 1 : SP_ERROR;
  log.result(r);
  return r;
}

int WINAPI EndPage(HDC hdc) {
  ApiCall log("EndPage");
  log.ptr("hdc", hdc);
  std::shared_ptr<PrintJob> job;
  if (log.fails()) return log.result(SP_ERROR), SP_ERROR;
  {
    Locked<DeviceContext> dc = lockDC(hdc);
    if (!dc || !dc->job || !dc->pageOpen) return log.result(SP_ERROR), SP_ERROR;
    job = dc->job;
    dc->pageOpen = false;
  }
  int r = job->endPage() ? 1 : SP_ERROR;
  log.result(r);
  return r;
}

int WINAPI EndDoc(HDC hdc) {
  ApiCall log("EndDoc");
  log.ptr("hdc", hdc);
  std::shared_ptr<PrintJob> job;
  if (log.fails()) return log.result(SP_ERROR), SP_ERROR;  // the job ends with its DC
  {
    Locked<DeviceContext> dc = lockDC(hdc);
    if (!dc || !dc->job) return log.result(-1), -1;
    job = std::move(dc->job);
    dc->pageOpen = false;
  }
  job->endDoc();
  job->close();
  log.result(1);
  return 1;
}

BOOL WINAPI TranslateCharsetInfo(DWORD* src, LPCHARSETINFO cs, DWORD flags) {
  ApiCall log("TranslateCharsetInfo");
  auto value = static_cast<UINT>(reinterpret_cast<uintptr_t>(src));
  log.arg("value", value).arg("dwFlags", flags);
  if (log.fails() || !cs) return log.result(FALSE), FALSE;
  UINT charset = value, codePage = value;
  bool ok = (flags == TCI_SRCCODEPAGE && gdi::charsetOfCodePage(value, &charset)) ||
            (flags == TCI_SRCCHARSET && gdi::codePageOfCharset(value, &codePage));
  if (ok) *cs = CHARSETINFO{charset, codePage, {}};
  log.result(ok);
  return ok ? TRUE : FALSE;
}

}  // extern "C"
