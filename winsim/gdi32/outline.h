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

// A font as selected into a device context: the face fontconfig matched
// for the description, at its pixel size.
class Font {
 public:
  static std::unique_ptr<Font> load(const LOGFONTW& lf, std::string* error);
  ~Font();
  Font(const Font&) = delete;
  Font& operator=(const Font&) = delete;

  // Metrics in pixels.
  int ascent() const { return ascent_; }
  int descent() const { return descent_; }
  int height() const { return ascent_ + descent_; }
  int averageWidth() const { return averageWidth_; }
  int weight() const { return weight_; }

  // The outlines of a run of text in text space: u along the baseline from
  // the run's start, w downward from the baseline. `advance` gets the run's width.
  Path outline(std::u16string_view text, double* advance) const;

 private:
  Font() = default;
  struct Face;
  std::unique_ptr<Face> face_;
  int ascent_ = 0, descent_ = 0, averageWidth_ = 0, weight_ = 400;
  bool emboldened_ = false, slanted_ = false;
};

}  // namespace winsim::gdi
