#include "jobkit/booklet.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "pclxl/writer.h"

namespace jobkit {

namespace {

using pclxl::DataType;
namespace attr = pclxl::attr;
namespace op = pclxl::op;

constexpr uint8_t kLandscape = 1, kPortrait = 0;                 // PCL XL Orientation
constexpr uint8_t kMultiPurposeTray = 3;                         // MediaSource
constexpr uint8_t kHorizontalBinding = 0, kVerticalBinding = 1;  // DuplexPageMode
constexpr int16_t kQuarterTurn = 90;                             // turns the page's x axis up: its top edge lies left

// Where the two pages of a side go, in the sheet's units. The sheet is the
// document's paper turned: portrait pages stand side by side on a landscape
// sheet (folded down the middle), landscape pages one above the other on a
// portrait sheet (folded across). Each page is scaled to fit its half and
// centred in it; a page of the other orientation is turned a quarter so that
// it takes the same place.
struct Layout {
  uint8_t sheetOrientation;
  double scale;
  double originX[2][2], originY[2][2];  // [position][0 the document's orientation, 1 the other]
};

Layout layoutOf(const BookletGeometry& g) {
  double w = g.paperWidth, h = g.paperHeight;  // inches
  bool portraitPages = g.orientation != 2;
  double sheetW = portraitPages ? h : w, sheetH = portraitPages ? w : h;
  double halfW = portraitPages ? sheetW / 2 : sheetW, halfH = portraitPages ? sheetH : sheetH / 2;
  double pageW = portraitPages ? w : h, pageH = portraitPages ? h : w;
  Layout l{};
  l.sheetOrientation = portraitPages ? kLandscape : kPortrait;
  l.scale = std::min(halfW / pageW, halfH / pageH);
  double dx = (halfW - l.scale * pageW) / 2, dy = (halfH - l.scale * pageH) / 2;
  for (int position = 0; position < 2; ++position) {
    double left = portraitPages ? position * halfW : 0, top = portraitPages ? 0 : position * halfH;
    l.originX[position][0] = (left + dx) * g.unitsX;
    l.originY[position][0] = (top + dy) * g.unitsY;
    // Turned a quarter, the page's top edge lies on the left and its
    // origin at the bottom left of its place.
    l.originX[position][1] = (left + dx) * g.unitsX;
    l.originY[position][1] = (top + dy + l.scale * pageH) * g.unitsY;
  }
  return l;
}

struct Snippet {
  int index;
  std::string bytes;
};

std::string beginPage(const BookletGeometry& g, const Layout& l, bool software, bool alternate) {
  std::string b;
  pclxl::Writer w(b);
  w.ubyte(l.sheetOrientation, attr::Orientation).ubyte(static_cast<uint8_t>(g.mediaSize), attr::MediaSize);
  if (alternate) w.ubyte(kMultiPurposeTray, attr::MediaSource);
  if (software) w.ubyte(0, attr::SimplexPageMode);
  else w.ubyte(l.sheetOrientation == kLandscape ? kVerticalBinding : kHorizontalBinding, attr::DuplexPageMode);
  w.op(op::BeginPage);
  return b;
}

std::string origin(double x, double y) {
  std::string b;
  pclxl::Writer(b).xy(DataType::SInt16, std::round(x), std::round(y), attr::PageOrigin).op(op::SetPageOrigin);
  return b;
}

std::string rotation() {
  std::string b;
  pclxl::Writer(b).sint16(kQuarterTurn, attr::PageAngle).op(op::SetPageRotation);
  return b;
}

}  // namespace

bool makeBookletRecord(const BookletGeometry& g, const BookletMode& mode, std::string* record, std::string* error) {
  Layout l = layoutOf(g);
  // Orientation 1 is portrait: its origins are the document's own when the
  // document is portrait, the turned ones otherwise.
  int portraitKind = g.orientation == 2 ? 1 : 0, landscapeKind = 1 - portraitKind;
  std::string scale, clip, end(1, static_cast<char>(op::EndPage));
  pclxl::Writer(scale).xy(DataType::Real32, l.scale, l.scale, attr::PageScale).op(op::SetPageScale);
  // The clip goes back to the whole sheet for each page, so that a page's
  // own clip does not carry over to the next.
  pclxl::Writer(clip).op(op::SetClipToPage).ubyte(0, attr::ClipMode).op(op::SetClipMode);
  std::string prefixes(reinterpret_cast<const char*>(kPagePrefixes), 8);
  std::vector<Snippet> elements = {
      {1, beginPage(g, l, mode.software, true)},
      {2, (mode.software ? prefixes : "") + beginPage(g, l, mode.software, false)},
      {3, end},
      {4, origin(l.originX[0][portraitKind], l.originY[0][portraitKind])},
      {5, origin(l.originX[1][portraitKind], l.originY[1][portraitKind])},
      {6, origin(l.originX[0][landscapeKind], l.originY[0][landscapeKind])},
      {7, origin(l.originX[1][landscapeKind], l.originY[1][landscapeKind])},
      {8, rotation()},
      {9, rotation()},
      {10, scale},
      {11, clip},
      {12, ""},
  };
  std::string& r = *record;
  r.assign("\x1B\xF0\x10\x00", 4);
  auto add = [&](const Snippet& e) {
    if (e.bytes.size() > 31)
      return *error = "booklet element " + std::to_string(e.index) + " needs more than 31 bytes", false;
    r += static_cast<char>(e.index);
    r += static_cast<char>(e.bytes.size());
    r += e.bytes;
    return true;
  };
  for (auto& e : elements)
    if (!add(e)) return false;
  // The rotation selector: turn the pages of the other orientation.
  r += static_cast<char>(13);
  r += static_cast<char>(g.orientation == 2 ? 2 : 1);
  // No overlay placement of the rendering side's own: the elements are empty.
  if (mode.overlay && !(add({14, ""}) && add({15, ""}))) return false;
  return true;
}

}  // namespace jobkit
