// GDI on printer device contexts as Windows has it, with real fonts.
#include <gtest/gtest.h>

#include <cmath>

#include "support/pxl_builder.h"
#include "support/test_machine.h"

inline bool operator==(const POINT& a, const POINT& b) { return a.x == b.x && a.y == b.y; }

namespace {

struct Gdi : ::testing::Test {
  test::TestMachine m;
  HDC dc = nullptr;

  HDC create(int paper, int orientation, int dpi) {
    auto record = jobkit::SettingsBuilder{}
                      .with("dmPaperSize", paper)
                      .with("dmOrientation", orientation)
                      .with("dmPrintQuality", dpi)
                      .with("dmYResolution", dpi)
                      .build(test::kPrinter);
    return CreateDCW(u"KQ PCL6 Driver", test::kPrinter, nullptr, reinterpret_cast<DEVMODEW*>(record.data()));
  }
  HFONT font(LONG height, LONG escapement = 0, LONG weight = FW_NORMAL, std::u16string face = u"DejaVu Sans",
             BYTE charset = DEFAULT_CHARSET) {
    LOGFONTW lf{};
    lf.lfHeight = height;
    lf.lfEscapement = escapement;
    lf.lfWeight = weight;
    lf.lfCharSet = charset;
    face.copy(lf.lfFaceName, face.size());
    return CreateFontIndirectW(&lf);
  }
  // The outline TextOutW draws for the text in that face, at (0, 0) from
  // the baseline, as GetPath gives it.
  std::vector<POINT> outline(const std::u16string& face, std::u16string_view text, BYTE charset = DEFAULT_CHARSET) {
    if (!dc) dc = create(1, 1, 600);
    HFONT f = font(-400, 0, FW_NORMAL, face, charset);
    HGDIOBJ old = SelectObject(dc, f);
    SetTextAlign(dc, TA_LEFT | TA_BASELINE);
    BeginPath(dc);
    TextOutW(dc, 0, 0, text.data(), static_cast<int>(text.size()));
    EndPath(dc);
    int n = GetPath(dc, nullptr, nullptr, 0);
    std::vector<POINT> pts(n > 0 ? n : 0);
    std::vector<BYTE> types(pts.size());
    if (n > 0) GetPath(dc, pts.data(), types.data(), n);
    SelectObject(dc, old);
    DeleteObject(f);
    return pts;
  }
  BYTE charsetOf(const std::u16string& face, BYTE charset) {
    if (!dc) dc = create(1, 1, 600);
    HFONT f = font(-100, 0, FW_NORMAL, face, charset);
    HGDIOBJ old = SelectObject(dc, f);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    SelectObject(dc, old);
    DeleteObject(f);
    return tm.tmCharSet;
  }
  void TearDown() override {
    if (dc) DeleteDC(dc);
  }
};

TEST_F(Gdi, DeviceCapsFollowPaperOrientationAndResolution) {
  struct Case {
    int paper, orientation, dpi, width, height;
  };
  for (auto c : {Case{1, 1, 600, 5100, 6600}, Case{1, 2, 600, 6600, 5100}, Case{9, 1, 300, 2480, 3508},
                 Case{5, 1, 600, 5100, 8400}, Case{8, 1, 600, 7016, 9921}, Case{11, 2, 600, 4961, 3496}}) {
    HDC h = create(c.paper, c.orientation, c.dpi);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(GetDeviceCaps(h, LOGPIXELSY), c.dpi);
    EXPECT_EQ(GetDeviceCaps(h, PHYSICALWIDTH), c.width) << c.paper;
    EXPECT_EQ(GetDeviceCaps(h, PHYSICALHEIGHT), c.height) << c.paper;
    EXPECT_EQ(GetDeviceCaps(h, PHYSICALOFFSETX), c.dpi / 6);
    EXPECT_EQ(GetDeviceCaps(h, HORZRES), c.width - 2 * (c.dpi / 6));
    DeleteDC(h);
  }
  EXPECT_EQ(CreateDCW(u"KQ PCL6 Driver", u"No such printer", nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PRINTER_NAME));
}

TEST_F(Gdi, MulDivRoundsHalfAwayFromZero) {
  EXPECT_EQ(MulDiv(72, 600, 72), 600);
  EXPECT_EQ(MulDiv(5, 3, 2), 8);  // 7.5
  EXPECT_EQ(MulDiv(-5, 3, 2), -8);
  EXPECT_EQ(MulDiv(7, 1, 3), 2);
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
  EXPECT_EQ(MulDiv(0x7FFFFFFF, 0x7FFFFFFF, 0x7FFFFFFF), 0x7FFFFFFF);  // the product is 64-bit
}

TEST_F(Gdi, SelectObjectReturnsWhatWasSelected) {
  dc = create(1, 1, 600);
  HFONT a = font(-100), b = font(-200);
  HGDIOBJ stock = SelectObject(dc, a);
  EXPECT_NE(stock, nullptr);
  EXPECT_EQ(SelectObject(dc, b), a);
  HPEN pen = CreatePen(PS_SOLID, 2, RGB(1, 2, 3));
  HGDIOBJ stockPen = SelectObject(dc, pen);
  EXPECT_NE(stockPen, stock);
  SelectObject(dc, stock);
  SelectObject(dc, stockPen);
  EXPECT_NE(test::leaksOf(m.machine()).find("gdi: font"), std::string::npos);
  for (HGDIOBJ o : {HGDIOBJ(a), HGDIOBJ(b), HGDIOBJ(pen)}) EXPECT_TRUE(DeleteObject(o));
  EXPECT_FALSE(DeleteObject(a));
}

TEST_F(Gdi, TextMetricsAndBoldFaces) {
  dc = create(1, 1, 600);
  HFONT regular = font(-600), bold = font(-600, 0, FW_BOLD);
  TEXTMETRICW tm{};
  HGDIOBJ old = SelectObject(dc, regular);
  ASSERT_TRUE(GetTextMetricsW(dc, &tm));
  EXPECT_GT(tm.tmHeight, 600);  // ascent and descent of a 600-pixel em
  EXPECT_LT(tm.tmHeight, 800);
  EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
  // A bold face draws wider strokes: its outline of the same text covers more.
  BeginPath(dc);
  TextOutW(dc, 0, 0, u"I", 1);
  EndPath(dc);
  int regularPoints = GetPath(dc, nullptr, nullptr, 0);
  SelectObject(dc, bold);
  BeginPath(dc);
  TextOutW(dc, 0, 0, u"I", 1);
  EndPath(dc);
  std::vector<POINT> pts(64);
  std::vector<BYTE> types(64);
  int boldPoints = GetPath(dc, pts.data(), types.data(), 64);
  EXPECT_EQ(regularPoints, 4);  // "I" is one rectangle
  ASSERT_EQ(boldPoints, 4);
  LONG left = std::min({pts[0].x, pts[1].x, pts[2].x, pts[3].x}),
       right = std::max({pts[0].x, pts[1].x, pts[2].x, pts[3].x});
  EXPECT_GT(right - left, 80);  // a regular I is about 60 pixels wide at this size
  EXPECT_EQ(types[0], PT_MOVETO);
  EXPECT_EQ(types[3] & PT_CLOSEFIGURE, PT_CLOSEFIGURE);
  SelectObject(dc, old);
  DeleteObject(regular);
  DeleteObject(bold);
}

// TA_CENTER | TA_TOP puts the reference point at the middle of the text's
// top edge; the escapement turns the text about it, counter-clockwise.
TEST_F(Gdi, AlignmentAndEscapementPlaceTheText) {
  dc = create(1, 1, 600);
  for (LONG escapement : {0, 900}) {
    HFONT f = font(-600, escapement);
    HGDIOBJ old = SelectObject(dc, f);
    SetTextAlign(dc, TA_CENTER | TA_TOP);
    TEXTMETRICW tm{};
    GetTextMetricsW(dc, &tm);
    BeginPath(dc);
    TextOutW(dc, 3000, 3000, u"I", 1);
    EndPath(dc);
    std::vector<POINT> pts(8);
    std::vector<BYTE> types(8);
    ASSERT_EQ(GetPath(dc, pts.data(), types.data(), 8), 4);
    double cx = 0, cy = 0;
    LONG minY = 1 << 30, maxX = -(1 << 30);
    for (int i = 0; i < 4; ++i) {
      cx += pts[i].x / 4.0;
      cy += pts[i].y / 4.0;
      minY = std::min(minY, pts[i].y);
      maxX = std::max(maxX, pts[i].x);
    }
    if (escapement == 0) {
      EXPECT_NEAR(cx, 3000, 2);             // centred on x
      EXPECT_GT(minY, 3000);                // below the top edge
      EXPECT_LT(minY, 3000 + tm.tmAscent);  // the I stands within the ascent
    } else {
      EXPECT_NEAR(cy, 3000, 2);  // turned a quarter: centred on y, reaching to the right of the point
      EXPECT_GT(maxX, 3000 + 300);
    }
    SelectObject(dc, old);
    DeleteObject(f);
  }
}

TEST_F(Gdi, DocumentsArePrintJobsWithTheirSettingsFirst) {
  dc = create(1, 1, 600);
  DOCINFOW doc{sizeof(DOCINFOW), u"drawing", u"C:\\drawing.prn", nullptr, 0};
  ASSERT_GT(StartDocW(dc, &doc), 0);
  StartPage(dc);
  HFONT f = font(-100);
  HGDIOBJ old = SelectObject(dc, f);
  SetTextColor(dc, RGB(255, 0, 0));
  ASSERT_TRUE(TextOutW(dc, 100, 100, u"x", 1));
  EndPage(dc);
  EndDoc(dc);
  SelectObject(dc, old);
  DeleteObject(f);
  auto docs = m->documents();
  ASSERT_EQ(docs.size(), 1u);
  EXPECT_EQ(docs[0].name, u"drawing");
  std::string bytes = test::TestMachine::slurpHost(m->hostPath(u"C:\\drawing.prn"));
  // The settings record went to the component first and was consumed; the
  // drawing is what reached the file: colour space, red brush, null pen, path.
  EXPECT_EQ(bytes.substr(0, 4), "\xC0\x02\xF8\x03");
  EXPECT_NE(bytes.find("\xC8\xC0\x03\xFF\x00\x00\xF8\x0B\x63", 0, 9), std::string::npos);
  auto traces = m->traces();
  EXPECT_NE(std::find(traces.begin(), traces.end(), u"KQXLUMPD: DrvSplStartDoc \n"), traces.end());
}

// GDI counts from the printable area, a PCL XL page from the paper's edge:
// what reaches the printer is shifted by the physical offsets.
TEST_F(Gdi, DrawingIsWrittenInPageCoordinates) {
  for (int orientation : {1, 2}) {
    dc = create(1, orientation, 300);
    DOCINFOW doc{sizeof(DOCINFOW), u"drawing", u"C:\\drawing.prn", nullptr, 0};
    ASSERT_GT(StartDocW(dc, &doc), 0);
    StartPage(dc);
    HFONT f = font(-100);
    HGDIOBJ old = SelectObject(dc, f);
    BeginPath(dc);
    TextOutW(dc, 1000, 800, u"I", 1);
    EndPath(dc);
    int n = GetPath(dc, nullptr, nullptr, 0);
    ASSERT_GT(n, 0);
    std::vector<POINT> points(static_cast<size_t>(n));
    std::vector<BYTE> types(points.size());
    ASSERT_EQ(GetPath(dc, points.data(), types.data(), n), n);
    POINT first = points[0];
    StrokePath(dc);
    EndPage(dc);
    EndDoc(dc);
    SelectObject(dc, old);
    DeleteObject(f);
    std::string bytes = test::TestMachine::slurpHost(m->hostPath(u"C:\\drawing.prn"));
    pclxl::Checker checker;
    std::vector<double> cursor;
    checker.onCommand = [&](const pclxl::Command& c) {
      if (c.op == pclxl::op::SetCursor && cursor.empty()) cursor = c.find(pclxl::attr::Point)->value.items;
    };
    test::feedBytes(checker, pclxl::headerLine("t") + std::string("\xC0\x00\xF8\x28\x43", 5) + bytes + "\x44");
    ASSERT_EQ(cursor.size(), 2u);
    EXPECT_EQ(cursor[0], first.x + GetDeviceCaps(dc, PHYSICALOFFSETX)) << orientation;
    EXPECT_EQ(cursor[1], first.y + GetDeviceCaps(dc, PHYSICALOFFSETY)) << orientation;
    DeleteDC(dc);
    dc = nullptr;
  }
}

// The font mapper: a Windows face by its English or localized name, the
// machine's character set for DEFAULT_CHARSET, and a face that lacks the
// character set asked for giving way to that code page's face.
TEST_F(Gdi, FacesAndCharacterSetsAreMappedAsWindowsMapsThem) {
  EXPECT_EQ(charsetOf(u"Arial", DEFAULT_CHARSET), ANSI_CHARSET);
  EXPECT_EQ(charsetOf(u"MS Gothic", DEFAULT_CHARSET), SHIFTJIS_CHARSET);
  EXPECT_EQ(charsetOf(u"Arial", SHIFTJIS_CHARSET), SHIFTJIS_CHARSET);
  m->setCodePage(932);
  EXPECT_EQ(charsetOf(u"\uff2d\uff33 \u30b4\u30b7\u30c3\u30af", DEFAULT_CHARSET), SHIFTJIS_CHARSET);
  EXPECT_EQ(charsetOf(u"No Such Face", DEFAULT_CHARSET), SHIFTJIS_CHARSET);
  // The localized name is the same face; so is a face that gives way to the
  // code page's own.
  auto gothic = outline(u"MS Gothic", u"\u65e5\u672c");
  EXPECT_FALSE(gothic.empty());
  EXPECT_EQ(outline(u"\uff2d\uff33 \u30b4\u30b7\u30c3\u30af", u"\u65e5\u672c"), gothic);
  EXPECT_EQ(outline(u"MS PGothic", u"\u65e5"), outline(u"Arial", u"\u65e5", SHIFTJIS_CHARSET));
}

// A character the face lacks is drawn from its links (a Windows of the
// machine's language links its own East Asian face first); one no font has
// is the face's missing-glyph box, never nothing.
TEST_F(Gdi, MissingCharactersComeFromLinkedFontsOrAreBoxes) {
  m->setCodePage(932);
  EXPECT_EQ(outline(u"Arial", u"\u65e5"), outline(u"MS PGothic", u"\u65e5"));
  m->setCodePage(936);
  EXPECT_EQ(outline(u"Arial", u"\u65e5"), outline(u"SimHei", u"\u65e5"));
  EXPECT_EQ(outline(u"Arial", u"\u0e25"), outline(u"Cordia New", u"\u0e25"));  // Thai, from its link
  auto box = outline(u"Arial", u"\U0010FFFD");
  EXPECT_GE(box.size(), 4u);
  EXPECT_EQ(outline(u"Arial", u"\U000FFFFD"), box);  // the same box for any character nobody has
}

// Text is shaped and ordered before it is drawn: a Vietnamese letter and
// its combining mark are the precomposed letter; Arabic letters join (the
// word is not its letters drawn alone); Hebrew runs right to left.
TEST_F(Gdi, TextIsShapedAndOrderedAsItIsWritten) {
  EXPECT_EQ(outline(u"Times New Roman", u"A\u0309"), outline(u"Times New Roman", u"\u1ea2"));
  size_t alone = 0;
  for (char16_t c : std::u16string(u"\u0633\u0631\u064a")) alone += outline(u"Arial", std::u16string(1, c)).size();
  EXPECT_NE(outline(u"Arial", u"\u0633\u0631\u064a").size(), alone);
  // Two Hebrew letters: the first written stands to the right of the second.
  auto pair = outline(u"Miriam", u"\u05e1\u05d3"), first = outline(u"Miriam", u"\u05e1");
  ASSERT_FALSE(pair.empty());
  ASSERT_FALSE(first.empty());
  LONG pairRight = 0, firstWidth = 0;
  for (auto& p : pair) pairRight = std::max(pairRight, p.x);
  for (auto& p : first) firstWidth = std::max(firstWidth, p.x);
  LONG shift = pairRight - firstWidth;
  EXPECT_GT(shift, 100);  // the first letter moved right by the second's width
  bool found = false;
  for (auto start = pair.begin(); start + static_cast<std::ptrdiff_t>(first.size()) <= pair.end(); ++start)
    found = found || std::equal(first.begin(), first.end(), start, [&](const POINT& a, const POINT& b) {
              return std::abs(a.x + shift - b.x) <= 1 && a.y == b.y;
            });
  EXPECT_TRUE(found);
}

TEST_F(Gdi, CharsetOfACodePage) {
  CHARSETINFO cs{};
  ASSERT_TRUE(TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<UINT_PTR>(932)), &cs, TCI_SRCCODEPAGE));
  EXPECT_EQ(cs.ciCharset, 128u);
  ASSERT_TRUE(TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<UINT_PTR>(1252)), &cs, TCI_SRCCODEPAGE));
  EXPECT_EQ(cs.ciCharset, 0u);
  EXPECT_FALSE(TranslateCharsetInfo(reinterpret_cast<DWORD*>(static_cast<UINT_PTR>(12345)), &cs, TCI_SRCCODEPAGE));
}

}  // namespace
