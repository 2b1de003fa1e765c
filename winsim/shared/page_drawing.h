// What the printer driver's rendering side makes of a job that passes
// through (bypass): the page's geometry from the settings record, and a GDI
// path (GetPath's points and types, in device pixels of the printable area)
// as the PCL XL it writes: its own colour space (RGB), a brush or a pen of
// the colour, and the path in page coordinates. Shared by the simulated
// machine's gdi32 and kqxl-run.exe's stand-ins for the printer's device
// context, so that both write a drawing alike.
#pragma once

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "pclxl/writer.h"

namespace winsim {

struct PageGeometry {
  int dpiX, dpiY, width, height, offsetX, offsetY;
};

// The record's paper, orientation and resolution, with the printer's
// 1/6-inch margin.
inline PageGeometry GeometryOf(const DEVMODEW& dm) {
  struct PaperSize {
    short id;
    double widthInch, heightInch;
  };
  static constexpr PaperSize kPapers[] = {{DMPAPER_LETTER, 8.5, 11},
                                          {DMPAPER_LEGAL, 8.5, 14},
                                          {DMPAPER_A4, 210 / 25.4, 297 / 25.4},
                                          {DMPAPER_A3, 297 / 25.4, 420 / 25.4},
                                          {DMPAPER_A5, 148 / 25.4, 210 / 25.4},
                                          {DMPAPER_EXECUTIVE, 7.25, 10.5},
                                          {DMPAPER_LEDGER, 17, 11}};
  PageGeometry g{};
  g.dpiX = dm.dmPrintQuality > 0 ? dm.dmPrintQuality : 600;
  g.dpiY = dm.dmYResolution > 0 ? dm.dmYResolution : g.dpiX;
  PaperSize paper = kPapers[0];
  for (auto& p : kPapers)
    if (p.id == dm.dmPaperSize) paper = p;
  double w = paper.widthInch, h = paper.heightInch;
  if (dm.dmOrientation == 2) std::swap(w, h);
  g.width = static_cast<int>(std::lround(w * g.dpiX));
  g.height = static_cast<int>(std::lround(h * g.dpiY));
  g.offsetX = static_cast<int>(std::lround(g.dpiX / 6.0));
  g.offsetY = static_cast<int>(std::lround(g.dpiY / 6.0));
  return g;
}

// GetDeviceCaps of a printer's device context; 0 for what a printer does
// not say.
inline int DeviceCap(const PageGeometry& g, int index) {
  switch (index) {
    case LOGPIXELSX: return g.dpiX;
    case LOGPIXELSY: return g.dpiY;
    case PHYSICALWIDTH: return g.width;
    case PHYSICALHEIGHT: return g.height;
    case PHYSICALOFFSETX: return g.offsetX;
    case PHYSICALOFFSETY: return g.offsetY;
    case HORZRES: return g.width - 2 * g.offsetX;
    case VERTRES: return g.height - 2 * g.offsetY;
    default: return 0;
  }
}

// The path filled with the colour (solid text) or stroked with a pen of the
// colour and width (null brush). GDI counts from the printable area and a
// PCL XL page from the paper's edge: every point moves by the physical
// offsets.
inline std::string PathDrawing(const POINT* points, const BYTE* types, int count, const PageGeometry& page,
                               COLORREF color, bool stroke, int penWidth) {
  namespace attr = pclxl::attr;
  namespace op = pclxl::op;
  using pclxl::DataType;
  auto clamp16 = [](long v) { return std::clamp(v, -32768L, 32767L); };
  auto x = [&](int i) { return clamp16(static_cast<long>(points[i].x) + page.offsetX); };
  auto y = [&](int i) { return clamp16(static_cast<long>(points[i].y) + page.offsetY); };
  std::string bytes;
  pclxl::Writer w(bytes);
  // A colour space of its own first: a printer refuses a brush set in a
  // colour space the page has not selected.
  w.ubyte(2, attr::ColorSpace).op(op::SetColorSpace);  // eRGB
  std::initializer_list<double> rgb = {double(GetRValue(color)), double(GetGValue(color)), double(GetBValue(color))};
  if (stroke) {
    w.ubyte(0, attr::NullBrush).op(op::SetBrushSource);
    w.array(DataType::UByte, rgb, attr::RGBColor).op(op::SetPenSource);
    w.uint16(static_cast<uint16_t>(penWidth), attr::PenWidth).op(op::SetPenWidth);
  } else {
    w.array(DataType::UByte, rgb, attr::RGBColor).op(op::SetBrushSource);
    w.ubyte(0, attr::NullPen).op(op::SetPenSource);
  }
  w.op(op::NewPath);
  for (int i = 0; i < count; ++i) {
    switch (types[i] & ~PT_CLOSEFIGURE) {
      case PT_MOVETO: w.xy(DataType::SInt16, x(i), y(i), attr::Point).op(op::SetCursor); break;
      case PT_LINETO: w.xy(DataType::SInt16, x(i), y(i), attr::EndPoint).op(op::LinePath); break;
      case PT_BEZIERTO:
        if (i + 2 >= count) {  // a cut Bézier ends what is whole of the path
          count = i;
          continue;
        }
        w.xy(DataType::SInt16, x(i), y(i), attr::ControlPoint1)
            .xy(DataType::SInt16, x(i + 1), y(i + 1), attr::ControlPoint2)
            .xy(DataType::SInt16, x(i + 2), y(i + 2), attr::EndPoint)
            .op(op::BezierPath);
        i += 2;
        break;
    }
    if (i < count && (types[i] & PT_CLOSEFIGURE)) w.op(op::CloseSubPath);
  }
  w.op(op::PaintPath);
  return bytes;
}

}  // namespace winsim
