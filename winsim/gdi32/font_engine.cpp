// The font engine module: fonts are real. The face name is matched with
// fontconfig against the installed fonts, glyph outlines come from FreeType
// at the font's pixel size. Weight and italic pick the face, or FreeType's
// emboldening and a slant when the family has none.
#include "gdi32/outline.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H

#include <cmath>
#include <mutex>

namespace winsim::gdi {

namespace {

// FreeType and fontconfig are set up once for the process.
FT_Library library() {
  static FT_Library lib = [] {
    FT_Library l = nullptr;
    FT_Init_FreeType(&l);
    return l;
  }();
  return lib;
}

std::mutex g_fontMutex;

struct Decomposer {
  Path* path;
  double penX;
  double lastX = 0, lastY = 0;
  double startX = 0, startY = 0;
  bool open = false;

  // A figure closes back to its start by itself: a last line to the start
  // point says nothing more, and Windows' paths do not hold one.
  void close() {
    if (!path->empty() && path->back().kind == PathSegment::Line && path->back().x[0] == startX &&
        path->back().y[0] == startY)
      path->pop_back();
    path->push_back({PathSegment::Close, {}, {}});
  }

  double u(const FT_Vector* v) const { return penX + v->x / 64.0; }
  double w(const FT_Vector* v) const { return -v->y / 64.0; }
};

int moveTo(const FT_Vector* to, void* user) {
  auto* d = static_cast<Decomposer*>(user);
  if (d->open) d->close();
  d->path->push_back({PathSegment::Move, {d->u(to)}, {d->w(to)}});
  d->lastX = d->startX = d->u(to);
  d->lastY = d->startY = d->w(to);
  d->open = true;
  return 0;
}

int lineTo(const FT_Vector* to, void* user) {
  auto* d = static_cast<Decomposer*>(user);
  d->path->push_back({PathSegment::Line, {d->u(to)}, {d->w(to)}});
  d->lastX = d->u(to);
  d->lastY = d->w(to);
  return 0;
}

// A quadratic segment as the cubic that draws the same curve.
int conicTo(const FT_Vector* control, const FT_Vector* to, void* user) {
  auto* d = static_cast<Decomposer*>(user);
  double qx = d->u(control), qy = d->w(control), ex = d->u(to), ey = d->w(to);
  PathSegment s{PathSegment::Bezier,
                {d->lastX + 2.0 / 3 * (qx - d->lastX), ex + 2.0 / 3 * (qx - ex), ex},
                {d->lastY + 2.0 / 3 * (qy - d->lastY), ey + 2.0 / 3 * (qy - ey), ey}};
  d->path->push_back(s);
  d->lastX = ex;
  d->lastY = ey;
  return 0;
}

int cubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
  auto* d = static_cast<Decomposer*>(user);
  d->path->push_back({PathSegment::Bezier, {d->u(c1), d->u(c2), d->u(to)}, {d->w(c1), d->w(c2), d->w(to)}});
  d->lastX = d->u(to);
  d->lastY = d->w(to);
  return 0;
}

class FreeTypeFont : public Font {
 public:
  ~FreeTypeFont() override {
    std::lock_guard g(g_fontMutex);
    if (face_) FT_Done_Face(face_);
  }
  static std::unique_ptr<FreeTypeFont> load(const Request& r, std::string* error);
  Path outline(std::u16string_view text, double* advance) const override;

 private:
  FT_Face face_ = nullptr;
  bool emboldened_ = false, slanted_ = false;
};

std::unique_ptr<FreeTypeFont> FreeTypeFont::load(const Request& r, std::string* error) {
  std::lock_guard g(g_fontMutex);
  FcPattern* pattern = FcPatternCreate();
  if (!r.family.empty()) FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(r.family.c_str()));
  int weight = r.weight >= 600 ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR;
  FcPatternAddInteger(pattern, FC_WEIGHT, weight);
  FcPatternAddInteger(pattern, FC_SLANT, r.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  FcResult result;
  FcPattern* match = FcFontMatch(nullptr, pattern, &result);
  FcPatternDestroy(pattern);
  if (!match) {
    *error = "no installed font matches \"" + r.family + "\"";
    return nullptr;
  }
  FcChar8* file = nullptr;
  int index = 0, matchedWeight = FC_WEIGHT_REGULAR, matchedSlant = FC_SLANT_ROMAN;
  FcPatternGetString(match, FC_FILE, 0, &file);
  FcPatternGetInteger(match, FC_INDEX, 0, &index);
  FcPatternGetInteger(match, FC_WEIGHT, 0, &matchedWeight);
  FcPatternGetInteger(match, FC_SLANT, 0, &matchedSlant);
  std::unique_ptr<FreeTypeFont> font(new FreeTypeFont);
  FT_Error ft = file ? FT_New_Face(library(), reinterpret_cast<const char*>(file), index, &font->face_) : 1;
  FcPatternDestroy(match);
  if (ft) {
    *error = "FreeType cannot open the matched font";
    return nullptr;
  }
  FT_Face face = font->face_;
  // A negative height is the character height (the em); a positive one the
  // cell height, ascent plus descent.
  LONG h = r.height;
  double em = h < 0   ? -h
              : h > 0 ? h * static_cast<double>(face->units_per_EM) / (face->ascender - face->descender)
                      : 16;
  FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(std::lround(em < 1 ? 1 : em)));
  font->ascent_ = static_cast<int>((face->size->metrics.ascender + 32) >> 6);
  font->descent_ = static_cast<int>((-face->size->metrics.descender + 32) >> 6);
  font->averageWidth_ = static_cast<int>((face->size->metrics.max_advance + 32) >> 6) / 2;
  font->weight_ = r.weight ? r.weight : FW_NORMAL;
  font->emboldened_ = weight == FC_WEIGHT_BOLD && matchedWeight < FC_WEIGHT_DEMIBOLD;
  font->slanted_ = r.italic && matchedSlant == FC_SLANT_ROMAN;
  return font;
}

Path FreeTypeFont::outline(std::u16string_view text, double* advance) const {
  std::lock_guard g(g_fontMutex);
  FT_Face face = face_;
  Path path;
  Decomposer d{&path, 0};
  FT_Outline_Funcs funcs{moveTo, lineTo, conicTo, cubicTo, 0, 0};
  for (char16_t c : text) {
    FT_UInt glyph = FT_Get_Char_Index(face, c);
    if (FT_Load_Glyph(face, glyph, FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING) != 0) continue;
    FT_GlyphSlot slot = face->glyph;
    if (slot->format == FT_GLYPH_FORMAT_OUTLINE) {
      if (emboldened_) FT_Outline_EmboldenXY(&slot->outline, face->size->metrics.y_ppem * 2, 0);
      if (slanted_) {
        FT_Matrix shear{0x10000, 0x0366A, 0, 0x10000};  // about 12 degrees
        FT_Outline_Transform(&slot->outline, &shear);
      }
      d.open = false;
      FT_Outline_Decompose(&slot->outline, &funcs, &d);
      if (d.open) d.close();
    }
    d.penX += slot->advance.x / 64.0 + (emboldened_ ? face->size->metrics.y_ppem / 32.0 : 0);
  }
  *advance = d.penX;
  return path;
}

}  // namespace
}  // namespace winsim::gdi

extern "C" __attribute__((visibility("default"))) winsim::gdi::Font* winsimLoadFont(
    const winsim::gdi::Font::Request& request, std::string* error) {
  return winsim::gdi::FreeTypeFont::load(request, error).release();
}
