// Makes the instruction pages of manual duplex: one complete PCL XL page
// each, portrait and landscape, that says how to put the sheets back. They
// are sent between a job's header and its first pass, inside its session,
// so they hold a page and nothing around it.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "pclxl/writer.h"

namespace {

using pclxl::DataType;
namespace attr = pclxl::attr;
namespace op = pclxl::op;

const char* const kLines[] = {
    "MANUAL DUPLEX",
    "",
    "1. Wait until the first sides have been printed.",
    "2. Take the printed stack out of the output tray.",
    "3. Turn it over without changing its order.",
    "4. Put it into the multi-purpose tray, printed sides up,",
    "   top edge toward the printer.",
    "5. Confirm the message on the screen to print the other sides.",
};

constexpr int kUnits = 600;     // the page's own units per inch
constexpr int kCharSize = 100;  // 1/6 inch: 12 points
constexpr int kAdvance = 60;    // Courier's advance, 0.6 of the size

// The page sets its own scale, 600 units per inch whatever the session's
// units, so that it prints in place at any resolution the driver uses; every
// character carries its advance, since a printer sets Text without
// XSpacingData on one spot.
std::string page(int orientation) {
  std::string bytes;
  pclxl::Writer w(bytes);
  w.ubyte(static_cast<uint8_t>(orientation), attr::Orientation).ubyte(0, attr::MediaSize).op(op::BeginPage);
  w.ubyte(0, attr::Measure).xy(DataType::UInt16, kUnits, kUnits, attr::UnitsPerMeasure).op(op::SetPageScale);
  w.ubyte(1, attr::ColorSpace).op(op::SetColorSpace);
  w.ubyte(0, attr::GrayLevel).op(op::SetBrushSource);
  w.ubyteArray("Courier         ", attr::FontName)
      .real32(kCharSize, attr::CharSize)
      .uint16(629, attr::SymbolSet)
      .op(op::SetFont);
  int y = kUnits;
  for (const char* line : kLines) {
    if (*line) {
      std::string text = line;
      w.xy(DataType::UInt16, kUnits, y, attr::Point).op(op::SetCursor);
      w.ubyteArray(text, attr::TextData)
          .ubyteArray(std::string(text.size(), static_cast<char>(kAdvance)), attr::XSpacingData)
          .op(op::Text);
    }
    y += kCharSize * 3 / 2;
  }
  w.uint16(1, attr::PageCopies).op(op::EndPage);
  return bytes;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make-instruction-pages DRIVER_DIRECTORY\n", stderr);
    return 2;
  }
  std::filesystem::path dir = argv[1];
  for (auto [name, orientation] : {std::pair{"INSTPORT.PXL", 0}, std::pair{"INSTLAND.PXL", 1}}) {
    std::ofstream out(dir / name, std::ios::binary);
    out << page(orientation);
    if (!out) {
      std::fprintf(stderr, "make-instruction-pages: cannot write %s\n", (dir / name).c_str());
      return 1;
    }
  }
  return 0;
}
