// gdi32: the printer's device context, fonts and their metrics, text drawn
// into a path, and a document on the DC, as the watermark engine uses them.
#include "printer.h"

namespace conformance {
namespace {

constexpr DWORD kUntouched = 0xDEADBEEF;

// The printer's DC as the component makes it: from the printer's own
// settings, the driver named (GDI ignores the name for a printer).
class PrinterDC {
 public:
  PrinterDC() {
    OpenedPrinter printer;
    std::vector<BYTE> info =
        Sized([&](BYTE* b, DWORD n, DWORD* need) { return GetPrinterW(printer.get(), 2, b, n, need); });
    if (info.empty()) return;
    auto* p2 = reinterpret_cast<PRINTER_INFO_2W*>(info.data());
    dc_ = CreateDCW(p2->pDriverName, p2->pPrinterName, nullptr, nullptr);
  }
  ~PrinterDC() {
    if (dc_) DeleteDC(dc_);
  }
  HDC get() const { return dc_; }

 private:
  HDC dc_ = nullptr;
};

TEST(PrinterDCs, AnUnknownPrinterHasNone) {
  SetLastError(kUntouched);
  EXPECT_EQ(nullptr, CreateDCW(nullptr, TEXT("No Such Printer"), nullptr, nullptr));
  EXPECT_FALSE(DeleteDC(nullptr));
}

TEST(PrinterDCs, ThePagesMeasures) {
  REQUIRE_PRINTER();
  PrinterDC dc;
  ASSERT_NE(nullptr, dc.get());
  int dpi = GetDeviceCaps(dc.get(), LOGPIXELSY);
  EXPECT_GE(dpi, 72);
  int width = GetDeviceCaps(dc.get(), PHYSICALWIDTH), height = GetDeviceCaps(dc.get(), PHYSICALHEIGHT);
  // A page of the sizes printers take, from A5 to ledger.
  EXPECT_GT(width, dpi * 5);
  EXPECT_LT(height, dpi * 18);
  EXPECT_GE(GetDeviceCaps(dc.get(), PHYSICALOFFSETX), 0);
  EXPECT_LT(GetDeviceCaps(dc.get(), PHYSICALOFFSETX), width / 4);
  EXPECT_GE(GetDeviceCaps(dc.get(), PHYSICALOFFSETY), 0);
}

TEST(PrinterDCs, FontsAndTheirMetrics) {
  REQUIRE_PRINTER();
  PrinterDC dc;
  ASSERT_NE(nullptr, dc.get());
  LOGFONTW lf{};
  lf.lfHeight = -200;
  lf.lfWeight = 700;
  lf.lfCharSet = DEFAULT_CHARSET;
  lstrcpynW(lf.lfFaceName, TEXT("Arial"), LF_FACESIZE);
  HFONT font = CreateFontIndirectW(&lf);
  ASSERT_NE(nullptr, font);
  HGDIOBJ old = SelectObject(dc.get(), font);
  EXPECT_NE(nullptr, old);
  TEXTMETRICW tm{};
  ASSERT_TRUE(GetTextMetricsW(dc.get(), &tm));
  // A negative height is the characters' height, without the leading.
  EXPECT_NEAR(200, tm.tmHeight - tm.tmInternalLeading, 2);
  EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
  EXPECT_GE(tm.tmWeight, 600);
  EXPECT_EQ(font, SelectObject(dc.get(), old));
  EXPECT_TRUE(DeleteObject(font));
  EXPECT_EQ(nullptr, CreateFontIndirectW(nullptr));
}

TEST(PrinterDCs, StatesReturnWhatTheyReplace) {
  REQUIRE_PRINTER();
  PrinterDC dc;
  ASSERT_NE(nullptr, dc.get());
  EXPECT_EQ(RGB(0, 0, 0), SetTextColor(dc.get(), RGB(0x80, 0x80, 0x80)));
  EXPECT_EQ(RGB(0x80, 0x80, 0x80), SetTextColor(dc.get(), RGB(0, 0, 0)));
  EXPECT_EQ(OPAQUE, SetBkMode(dc.get(), TRANSPARENT));
  EXPECT_EQ(TRANSPARENT, SetBkMode(dc.get(), TRANSPARENT));
  EXPECT_EQ(static_cast<UINT>(TA_TOP | TA_LEFT), SetTextAlign(dc.get(), TA_CENTER | TA_TOP));
  EXPECT_EQ(static_cast<UINT>(TA_CENTER | TA_TOP), SetTextAlign(dc.get(), TA_TOP | TA_LEFT));
  HPEN pen = CreatePen(PS_SOLID, 3, RGB(0x80, 0x80, 0x80));
  ASSERT_NE(nullptr, pen);
  HGDIOBJ old = SelectObject(dc.get(), pen);
  EXPECT_NE(nullptr, old);
  EXPECT_EQ(pen, SelectObject(dc.get(), old));
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_EQ(0, SetBkMode(nullptr, TRANSPARENT));
}

TEST(PrinterDCs, TextInAPath) {
  REQUIRE_PRINTER();
  PrinterDC dc;
  ASSERT_NE(nullptr, dc.get());
  SetLastError(kUntouched);
  EXPECT_EQ(-1, GetPath(dc.get(), nullptr, nullptr, 0));  // no path yet
  LOGFONTW lf{};
  lf.lfHeight = -100;
  lstrcpynW(lf.lfFaceName, TEXT("Arial"), LF_FACESIZE);
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(dc.get(), font);
  ASSERT_TRUE(BeginPath(dc.get()));
  ASSERT_TRUE(TextOutW(dc.get(), 100, 100, TEXT("DRAFT"), 5));
  ASSERT_TRUE(EndPath(dc.get()));
  int n = GetPath(dc.get(), nullptr, nullptr, 0);
  ASSERT_GT(n, 10);
  std::vector<POINT> points(static_cast<size_t>(n));
  std::vector<BYTE> types(points.size());
  EXPECT_EQ(-1, GetPath(dc.get(), points.data(), types.data(), n - 1));
  ASSERT_EQ(n, GetPath(dc.get(), points.data(), types.data(), n));
  EXPECT_EQ(PT_MOVETO, types[0]);
  for (int i = 0; i < n; ++i) {
    BYTE t = types[static_cast<size_t>(i)] & ~PT_CLOSEFIGURE;
    EXPECT_TRUE(t == PT_MOVETO || t == PT_LINETO || t == PT_BEZIERTO) << i;
    EXPECT_GE(points[static_cast<size_t>(i)].x, 100);
    EXPECT_GE(points[static_cast<size_t>(i)].y, 100 - 10);
  }
  SelectObject(dc.get(), old);
  DeleteObject(font);
}

TEST(PrinterDCs, ADocumentOnTheDC) {
  REQUIRE_PRINTER();
  TempFolder dir;
  WString output = dir.file(TEXT("watermark.prn"));
  PrinterDC dc;
  ASSERT_NE(nullptr, dc.get());
  LOGFONTW lf{};
  lf.lfHeight = -100;
  lstrcpynW(lf.lfFaceName, TEXT("Arial"), LF_FACESIZE);
  HFONT font = CreateFontIndirectW(&lf);
  HGDIOBJ old = SelectObject(dc.get(), font);
  DOCINFOW doc{};
  doc.cbSize = sizeof doc;
  doc.lpszDocName = TEXT("Watermark");
  doc.lpszOutput = output.c_str();
  int job = StartDocW(dc.get(), &doc);
  EXPECT_GT(job, 0);
  EXPECT_GT(StartPage(dc.get()), 0);
  EXPECT_TRUE(TextOutW(dc.get(), 300, 300, W("社外秘").c_str(), 3));
  ASSERT_TRUE(BeginPath(dc.get()));
  ASSERT_TRUE(TextOutW(dc.get(), 300, 600, TEXT("DRAFT"), 5));
  ASSERT_TRUE(EndPath(dc.get()));
  if (!Known(Difference::WineStrokePath)) {
    EXPECT_TRUE(StrokePath(dc.get()));
    EXPECT_EQ(-1, GetPath(dc.get(), nullptr, nullptr, 0));  // stroking ends the path
  }
  EXPECT_GT(EndPage(dc.get()), 0);
  EXPECT_GT(EndDoc(dc.get()), 0);
  EXPECT_LE(EndDoc(dc.get()), 0);  // no document open
  SelectObject(dc.get(), old);
  DeleteObject(font);
}

TEST(Charsets, TheCharsetOfEachCodePage) {
  const struct {
    UINT cp;
    UINT charset;
  } rows[] = {{932, SHIFTJIS_CHARSET}, {936, GB2312_CHARSET},     {949, HANGUL_CHARSET},  {950, CHINESEBIG5_CHARSET},
              {874, THAI_CHARSET},     {1255, HEBREW_CHARSET},    {1256, ARABIC_CHARSET}, {1258, VIETNAMESE_CHARSET},
              {1252, ANSI_CHARSET},    {1250, EASTEUROPE_CHARSET}};
  for (auto& r : rows) {
    SCOPED_TRACE(r.cp);
    CHARSETINFO info{};
    ASSERT_TRUE(TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<ULONG_PTR>(r.cp)), &info, TCI_SRCCODEPAGE));
    EXPECT_EQ(r.charset, info.ciCharset);
    EXPECT_EQ(r.cp, info.ciACP);
  }
  CHARSETINFO info{};
  EXPECT_FALSE(TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<ULONG_PTR>(12345)), &info, TCI_SRCCODEPAGE));
}

}  // namespace
}  // namespace conformance
