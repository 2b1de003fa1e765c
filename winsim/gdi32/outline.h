// Glyph outlines and the paths made of them, in device pixels (y down).
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace winsim::gdi {

struct PathSegment {
  enum Kind { Move, Line, Bezier, Close } kind;
  double x[3], y[3];  // Move and Line use [0]; Bezier: control 1, control 2, end
};

using Path = std::vector<PathSegment>;

// The points a segment carries.
inline int pointsOf(const PathSegment& seg) {
  return seg.kind == PathSegment::Bezier ? 3 : seg.kind == PathSegment::Close ? 0 : 1;
}

// A font as selected into a device context: the face the font mapper chose
// for the description (gdi32/fontmap.h), at its pixel size, with the faces
// its missing characters are drawn from.
//
// The font engine (FreeType and fontconfig, and the libraries they bring)
// is a module of its own, libwinsim-fonts.so beside libwinsim.so, loaded
// the first time a font is: a process that draws no text does not pay for
// loading it, as a Windows program does not for a delay-loaded DLL.
class Font {
 public:
  // What the engine loads: the first installed of `faces` (fontconfig
  // families) draws, `links` then any installed font give the characters it
  // lacks; the LOGFONT's height, weight and italic.
  struct Request {
    std::vector<std::string> faces, links;
    LONG height = 0;
    LONG weight = 0;
    bool italic = false;
  };
  static std::unique_ptr<Font> load(const LOGFONTW& lf, std::string* error);
  virtual ~Font() = default;
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // Metrics in pixels.
  int ascent() const { return ascent_; }
  int descent() const { return descent_; }
  int height() const { return ascent_ + descent_; }
  int internalLeading() const { return internalLeading_; }  // the cell above the em
  int averageWidth() const { return averageWidth_; }
  int weight() const { return weight_; }
  BYTE charset() const { return charset_; }

  // The outlines of a run of text in text space, shaped and in display
  // order as Windows draws it: u along the baseline from the run's start, w
  // downward from the baseline. `advance` gets the run's width.
  virtual Path outline(std::u16string_view text, double* advance) const = 0;

 protected:
  Font() = default;
  int ascent_ = 0, descent_ = 0, internalLeading_ = 0, averageWidth_ = 0, weight_ = 400;
  BYTE charset_ = ANSI_CHARSET;
};

// The engine module's one export: a font for the request, or null with
// `error` set.
using LoadFontFunction = Font* (*)(const Font::Request& request, std::string* error);
inline constexpr const char* kFontEngineModule = "libwinsim-fonts.so";
inline constexpr const char* kLoadFontExport = "winsimLoadFont";

}  // namespace winsim::gdi
