// The watermark files are printed by the driver itself: a one-page internal
// job through the same printer, drawn with GDI, whose printer data the
// spooler stores in the watermark file of the orientation.
#include "watermark/rendering.h"

#include <cmath>
#include <cstring>

#include "config/driverfiles.h"
#include "job/shared.h"
#include "support/guards.h"
#include "support/text.h"
#include "watermark/files.h"

namespace {

// The double nearest to 3.14159 / 180 (bit pattern 0x3F91DF45A50DE271): the
// printed positions follow from it, truncations included.
constexpr double kDegreeFactor = 0.01745327777777778;

// GDI objects and the device context, released on every path; a document
// still open when drawing fails is ended, so that no half-open job remains.
class WatermarkDC {
 public:
  explicit WatermarkDC(HDC dc) : dc_(dc) {}
  ~WatermarkDC() {
    if (!dc_) return;
    if (docOpen_) {
      if (pageOpen_) EndPage(dc_);
      EndDoc(dc_);
    }
    if (oldPen_) SelectObject(dc_, oldPen_);
    if (pen_) DeleteObject(pen_);
    if (oldFont_) SelectObject(dc_, oldFont_);
    if (font_) DeleteObject(font_);
    if (retryFont_) DeleteObject(retryFont_);
    DeleteDC(dc_);
  }
  WatermarkDC(const WatermarkDC&) = delete;
  WatermarkDC& operator=(const WatermarkDC&) = delete;

  HDC get() const { return dc_; }
  bool selectFont(HFONT font) {
    font_ = font;
    HGDIOBJ old = SelectObject(dc_, reinterpret_cast<HGDIOBJ>(font));
    if (!oldFont_) oldFont_ = old;
    return old != nullptr;
  }
  bool selectRetryFont(HFONT font) {
    retryFont_ = font;
    return SelectObject(dc_, reinterpret_cast<HGDIOBJ>(font)) != nullptr;
  }
  bool selectPen(HPEN pen) {
    pen_ = pen;
    oldPen_ = SelectObject(dc_, reinterpret_cast<HGDIOBJ>(pen));
    return oldPen_ != nullptr;
  }
  void releasePen() {
    if (oldPen_) SelectObject(dc_, oldPen_);
    if (pen_) DeleteObject(pen_);
    pen_ = nullptr;
    oldPen_ = nullptr;
  }
  void documentStarted() { docOpen_ = true; }
  void pageStarted() { pageOpen_ = true; }
  // The success path: the page and document end before the objects go.
  // False when the spooler could not take them: the file is not whole.
  bool finishDocument() {
    bool ok = !pageOpen_ || EndPage(dc_) > 0;
    ok = (!docOpen_ || EndDoc(dc_) > 0) && ok;
    pageOpen_ = docOpen_ = false;
    return ok;
  }

 private:
  HDC dc_;
  bool docOpen_ = false, pageOpen_ = false;
  HFONT font_ = nullptr, retryFont_ = nullptr;
  HPEN pen_ = nullptr;
  HGDIOBJ oldFont_ = nullptr, oldPen_ = nullptr;
};

}  // namespace

void ApplyInternalJobSettings(KQDEVMODE* s) {
  s->dm.dmScale = 100;
  s->wWatermark = SETTING_OFF;
  s->wOverlayMode = OVERLAY_NONE;
  s->wOverlayAskAlways = SETTING_OFF;
  s->wBooklet = SETTING_OFF;
  s->wTextCapture = SETTING_OFF;
  if (s->wTextCaptureMode == TEXT_CAPTURE_MODE_OFF) s->wTextCaptureMode = TEXT_CAPTURE_MODE_ON;
  s->wBypass = BYPASS_ON;
}

namespace {

HDC CreateWatermarkDC(HANDLE hPrinter, KQDEVMODE* settings) {
  GlobalBlock<PRINTER_INFO_2W> info = MyGetPrinter(hPrinter);
  if (!info) return nullptr;
  SetRecordDevModeSizes(settings);
  return CreateDCW(info->pDriverName, info->pPrinterName, nullptr, reinterpret_cast<DEVMODEW*>(settings));
}

// A drawing call the internal job could not take: the watermark would be
// another one (no font, no colour, out of place), so it is not made.
bool Drawn(bool ok, LPCWSTR call) {
  if (!ok)
    TraceFormat(TEXT("The watermark could not be drawn: %s failed (error %lu).\n"), call,
                static_cast<unsigned long>(GetLastError()));
  return ok;
}

// The page's size in device units; false when the DC cannot tell it.
bool PrintableSize(HDC dc, INT* width, INT* height, INT* dpiY) {
  *dpiY = GetDeviceCaps(dc, LOGPIXELSY);
  INT physicalWidth = GetDeviceCaps(dc, PHYSICALWIDTH), physicalHeight = GetDeviceCaps(dc, PHYSICALHEIGHT);
  *width = physicalWidth - 2 * GetDeviceCaps(dc, PHYSICALOFFSETX);
  *height = physicalHeight - 2 * GetDeviceCaps(dc, PHYSICALOFFSETY);
  return Drawn(*dpiY > 0 && physicalWidth > 0 && physicalHeight > 0, TEXT("GetDeviceCaps"));
}

// The text's outlines as the DC's path, and how many points they have.
bool OutlineText(HDC dc, INT x, INT y, LPCWSTR text, INT length, int* points) {
  if (!Drawn(BeginPath(dc), TEXT("BeginPath"))) return false;
  BOOL drawn = TextOutW(dc, x, y, text, length);
  BOOL ended = EndPath(dc);
  if (!drawn) {
    ShowMessage(TEXT("Failed to TextOut"), MB_OK);
    return false;
  }
  if (!Drawn(ended, TEXT("EndPath"))) return false;
  *points = GetPath(dc, nullptr, nullptr, 0);
  return Drawn(*points >= 0, TEXT("GetPath"));
}

void ShowCreateDCFailure() {
  DWORD error = GetLastError();
  ShowMessage(TEXT("Failed to createDC in PSUI"), MB_OK);
  WCHAR code[16];
  wsprintfW(code, TEXT("%d"), static_cast<INT>(error));
  ShowMessage(code, MB_OK);
}

}  // namespace

void MakeJobWatermark(JobData* pData) {
  int slot = WatermarkSlot(pData->Settings.dm.dmOrientation);
  if (slot >= 0) SetFact(pData, WatermarkTried(slot));
  // The nested watermark job's settings are its own: they never become the
  // printer's, so nothing needs putting back.
  KQDEVMODE settings = pData->Settings;
  HeldMessages boxes;  // shown once the lock is released
  WatermarkLock lock;
  InternalJobMaking internal;
  if (!MakeWatermarkData(&settings, pData->hPrinter) || !KeepJobWatermark(pData))
    ShowMessage(TEXT("Failed to makewatermark: WMark"), MB_ICONERROR);
}

SHORT WatermarkPointSize(const KQDEVMODE& s) {
  SHORT p = s.wWatermarkSize;
  if (s.wWatermarkSizeRule == WATERMARK_SIZES_ROUNDED) {
    if (p >= 115 && p <= 119) return 114;
    if (p >= 120 && p <= 125) return 126;
  }
  return p;
}

void WatermarkReferencePoint(INT pw, INT ph, INT tmHeight, SHORT angle, SHORT offsetX, SHORT offsetY, INT* x, INT* y) {
  INT h = tmHeight / 2;
  double a = angle * kDegreeFactor;
  *x = pw / 2 - static_cast<INT>(std::trunc(h * std::sin(a))) + offsetX;
  *y = ph / 2 - static_cast<INT>(std::trunc(h * std::cos(a))) + offsetY;
}

namespace {

LOGFONTW WatermarkLogFont(const KQDEVMODE& s, const WCHAR (&face)[LF_FACESIZE], INT dpiY) {
  LOGFONTW lf{};
  lf.lfHeight = -MulDiv(WatermarkPointSize(s), dpiY, 72);
  lf.lfEscapement = s.wWatermarkAngle * 10;
  lf.lfOrientation = s.wWatermarkAngle * 10;
  lf.lfWeight = s.dwWatermarkWeight;
  lf.lfItalic = s.bWatermarkItalic;
  lf.lfCharSet = DEFAULT_CHARSET;
  lf.lfPitchAndFamily = FIXED_PITCH;
  std::memcpy(lf.lfFaceName, face, sizeof face);
  return lf;
}

// The internal job's document and page, with the watermark's font and
// colour and the text set to be drawn centred from its top; the font's
// metrics in tm.
bool StartWatermarkPage(WatermarkDC& dc, DOCINFOW* doc, const LOGFONTW& lf, COLORREF color, TEXTMETRICW* tm) {
  HFONT font = CreateFontIndirectW(&lf);
  if (!font) {
    ShowMessage(TEXT("Failed to createFont"), MB_OK);
    return false;
  }
  if (!Drawn(dc.selectFont(font), TEXT("SelectObject")) ||
      !Drawn(SetTextColor(dc.get(), color) != CLR_INVALID, TEXT("SetTextColor")))
    return false;
  if (StartDocW(dc.get(), doc) <= 0) {
    ShowMessage(TEXT("Failed to startDoc"), MB_OK);
    return false;
  }
  dc.documentStarted();
  if (!Drawn(StartPage(dc.get()) > 0, TEXT("StartPage"))) return false;
  dc.pageStarted();
  return Drawn(SetBkMode(dc.get(), TRANSPARENT) != 0, TEXT("SetBkMode")) &&
         Drawn(SetTextAlign(dc.get(), TA_CENTER | TA_TOP) != GDI_ERROR, TEXT("SetTextAlign")) &&
         Drawn(GetTextMetricsW(dc.get(), tm), TEXT("GetTextMetricsW"));
}

// The text's outlines stroked with a 2-pixel pen of the watermark's colour.
// A font without outlines is tried once more in the ANSI code page's
// character set.
bool StrokeOutlinedText(WatermarkDC& dc, LOGFONTW lf, COLORREF color, INT x, INT y, LPCWSTR text, INT length) {
  HPEN pen = CreatePen(PS_SOLID, 2, color);
  if (!pen) {
    ShowMessage(TEXT("Failed to createPen"), MB_OK);
    return false;
  }
  if (!Drawn(dc.selectPen(pen), TEXT("SelectObject"))) return false;
  int points = 0;
  if (!OutlineText(dc.get(), x, y, text, length, &points)) return false;
  if (points == 0) {
    CHARSETINFO charset{};
    UINT codePage = GetACP();
    UINT set =
        TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<UINT_PTR>(codePage)), &charset, TCI_SRCCODEPAGE)
            ? charset.ciCharset
            : 1;
    lf.lfCharSet = static_cast<BYTE>(set);
    HFONT retry = CreateFontIndirectW(&lf);
    if (!retry) {
      ShowMessage(TEXT("Failed to createFont"), MB_OK);
      return false;
    }
    if (!Drawn(dc.selectRetryFont(retry), TEXT("SelectObject")) || !OutlineText(dc.get(), x, y, text, length, &points))
      return false;
    if (points == 0)
      Trace(TEXT("The watermark text has no outlines in either character set: the watermark prints blank.\n"));
  }
  // The outlines are the watermark: a stroke the internal job could not
  // take loses it.
  if (!Drawn(StrokePath(dc.get()), TEXT("StrokePath"))) return false;
  dc.releasePen();
  return true;
}

// The text and face name, each read within its field's width. What cannot
// be printed as the user wrote it is said: half a double-byte character at
// a field's end is left out, and a face name longer than a font's name can
// be is cut to what LOGFONTW holds (and so names another face).
bool WatermarkTexts(const KQDEVMODE& s, WCHAR (&text)[161], WCHAR (&face)[LF_FACESIZE]) {
  bool faceCut = false;
  if (!AnsiFieldToWide(s.szWatermarkText, text) || !AnsiFieldToWide(s.szWatermarkFont, face, &faceCut)) return false;
  if (AnsiField(s.szWatermarkText).halfCharacterDropped() || AnsiField(s.szWatermarkFont).halfCharacterDropped())
    Trace(TEXT("The watermark's text or face name ends in half a character, which is left out.\n"));
  if (faceCut)
    TraceFormat(TEXT("The watermark's face name is longer than a font's name can be; it is cut to \"%s\".\n"), face);
  return true;
}

bool FillText(WatermarkDC& dc, INT x, INT y, LPCWSTR text, INT length) {
  if (TextOutW(dc.get(), x, y, text, length)) return true;
  ShowMessage(TEXT("Failed to TextOut"), MB_OK);
  return false;
}

}  // namespace

BOOL MakeWatermarkData(KQDEVMODE* settings, HANDLE hPrinter) {
  WCHAR output[MAX_PATH];
  if (!WatermarkFilePath(hPrinter, settings->dm.dmOrientation, output)) {
    Trace(TEXT("The driver's folder is not known: the watermark file cannot be made.\n"));
    return FALSE;
  }
  DOCINFOW doc{20, TEXT("watermark file"), output, nullptr, 0};
  ApplyInternalJobSettings(settings);

  WatermarkDC dc(CreateWatermarkDC(hPrinter, settings));
  if (!dc.get()) {
    ShowCreateDCFailure();
    return FALSE;
  }
  WCHAR text[161], face[LF_FACESIZE];
  if (!WatermarkTexts(*settings, text, face)) {
    ShowMessage(TEXT("failed to MultiByteToWideChar"), MB_OK);
    return FALSE;
  }
  INT pw, ph, dpiY;
  if (!PrintableSize(dc.get(), &pw, &ph, &dpiY)) return FALSE;
  LOGFONTW lf = WatermarkLogFont(*settings, face, dpiY);
  TEXTMETRICW tm{};
  if (!StartWatermarkPage(dc, &doc, lf, settings->dwWatermarkColor, &tm)) return FALSE;
  INT x, y;
  WatermarkReferencePoint(pw, ph, tm.tmHeight, settings->wWatermarkAngle, settings->wWatermarkOffsetX,
                          settings->wWatermarkOffsetY, &x, &y);
  INT length = lstrlenW(text);
  bool drawn = settings->wWatermarkOutline == WATERMARK_OUTLINE
                   ? StrokeOutlinedText(dc, lf, settings->dwWatermarkColor, x, y, text, length)
                   : FillText(dc, x, y, text, length);
  return drawn && dc.finishDocument() ? TRUE : FALSE;
}
