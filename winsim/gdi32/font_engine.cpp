// The font engine module: fonts are real. Faces are found with fontconfig,
// text is laid out as Windows lays it out for TextOutW (bidirectional
// reordering with FriBidi and shaping with HarfBuzz, through libraqm), and
// glyph outlines come from FreeType at the font's pixel size. A character
// the face lacks comes from its links, then from any installed font that
// has it, as font linking and font fallback do. Weight and italic pick the
// face, or FreeType's emboldening and a slant when the family has none.
//
// Matching a face costs far more than drawing with it: matches, open faces
// and fallbacks are kept for the life of the process.
#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include <hb.h>
#include <raqm.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_SYNTHESIS_H

#include <cmath>
#include <map>
#include <mutex>
#include <optional>
#include <tuple>

#include "core/quiet_mutex.h"
#include "gdi32/outline.h"

#if defined(__SANITIZE_ADDRESS__)
#define WINSIM_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(leak_sanitizer)
#define WINSIM_LEAK_CHECKED 1
#endif
#endif
#ifdef WINSIM_LEAK_CHECKED
#include <sanitizer/lsan_interface.h>
#endif

namespace winsim::gdi {

namespace {

struct Decomposer {
  Path* path;
  double penX = 0, penY = 0;
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
  double w(const FT_Vector* v) const { return penY - v->y / 64.0; }
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

// A face as one weight and slant of a family draws it.
struct Styled {
  FT_Face face = nullptr;
  bool emboldened = false, slanted = false;
};

// What the process has matched and opened. Every use holds `mutex`:
// FreeType's faces are not shared between threads. It is winsim's own
// (core/quiet_mutex.h): text drawn for two printers at once orders nothing.
class Faces {
 public:
  detail::QuietMutex mutex;

  // The family as fontconfig has it installed, in that weight and slant;
  // nullopt when no installed family has that name.
  std::optional<Styled> installed(const std::string& family, bool bold, bool italic) {
    auto key = std::make_tuple(family, bold, italic);
    auto it = styled_.find(key);
    if (it == styled_.end()) it = styled_.emplace(key, match(family, bold, italic, true)).first;
    return it->second;
  }

  // fontconfig's nearest face to a family no installed font has.
  std::optional<Styled> nearest(const std::string& family, bool bold, bool italic) {
    return match(family, bold, italic, false);
  }

  // An installed face that has the character, whatever its family.
  std::optional<Styled> withCharacter(char32_t c, bool bold, bool italic) {
    auto key = std::make_tuple(c, bold, italic);
    auto it = byCharacter_.find(key);
    if (it == byCharacter_.end()) it = byCharacter_.emplace(key, searchCharacter(c, bold, italic)).first;
    return it->second;
  }

 private:
  FT_Library library() {
    if (!library_) FT_Init_FreeType(&library_);
    return library_;
  }

  FT_Face open(const char* file, int index) {
    auto key = std::make_pair(std::string(file), index);
    auto it = open_.find(key);
    if (it != open_.end()) return it->second;
    FT_Face face = nullptr;
    if (FT_New_Face(library(), file, index, &face) != 0) face = nullptr;
    open_[key] = face;
    return face;
  }

  static FcPattern* pattern(bool bold, bool italic) {
    FcPattern* p = FcPatternCreate();
    FcPatternAddInteger(p, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(p, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
    FcPatternAddBool(p, FC_SCALABLE, FcTrue);
    return p;
  }

  // The face itself says whether it is bold or italic (a match's pattern
  // carries what was asked for where the font says nothing).
  std::optional<Styled> styledFrom(FcPattern* font, bool bold, bool italic) {
    FcChar8* file = nullptr;
    int index = 0;
    if (FcPatternGetString(font, FC_FILE, 0, &file) != FcResultMatch) return std::nullopt;
    FcPatternGetInteger(font, FC_INDEX, 0, &index);
    FT_Face face = open(reinterpret_cast<const char*>(file), index);
    if (!face || !FT_IS_SCALABLE(face)) return std::nullopt;
    return Styled{face, bold && !(face->style_flags & FT_STYLE_FLAG_BOLD),
                  italic && !(face->style_flags & FT_STYLE_FLAG_ITALIC)};
  }

  std::optional<Styled> match(const std::string& family, bool bold, bool italic, bool exact) {
    FcPattern* p = pattern(bold, italic);
    FcPatternAddString(p, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
    FcConfigSubstitute(nullptr, p, FcMatchPattern);
    FcDefaultSubstitute(p);
    FcResult result;
    FcPattern* font = FcFontMatch(nullptr, p, &result);
    FcPatternDestroy(p);
    if (!font) return std::nullopt;
    std::optional<Styled> found;
    if (!exact || hasFamily(font, family)) found = styledFrom(font, bold, italic);
    FcPatternDestroy(font);
    return found;
  }

  static bool hasFamily(FcPattern* font, const std::string& family) {
    FcChar8* name = nullptr;
    for (int i = 0; FcPatternGetString(font, FC_FAMILY, i, &name) == FcResultMatch; ++i)
      if (FcStrCmpIgnoreCase(name, reinterpret_cast<const FcChar8*>(family.c_str())) == 0) return true;
    return false;
  }

  std::optional<Styled> searchCharacter(char32_t c, bool bold, bool italic) {
    FcPattern* p = pattern(bold, italic);
    FcCharSet* set = FcCharSetCreate();
    FcCharSetAddChar(set, c);
    FcPatternAddCharSet(p, FC_CHARSET, set);
    FcCharSetDestroy(set);
    FcConfigSubstitute(nullptr, p, FcMatchPattern);
    FcDefaultSubstitute(p);
    FcResult result;
    FcFontSet* fonts = FcFontSort(nullptr, p, FcFalse, nullptr, &result);
    FcPatternDestroy(p);
    std::optional<Styled> found;
    for (int i = 0; fonts && i < fonts->nfont && !found; ++i) {
      FcCharSet* has = nullptr;
      if (FcPatternGetCharSet(fonts->fonts[i], FC_CHARSET, 0, &has) == FcResultMatch && FcCharSetHasChar(has, c))
        found = styledFrom(fonts->fonts[i], bold, italic);
    }
    if (fonts) FcFontSetDestroy(fonts);
    return found;
  }

  FT_Library library_ = nullptr;
  std::map<std::pair<std::string, int>, FT_Face> open_;
  std::map<std::tuple<std::string, bool, bool>, std::optional<Styled>> styled_;
  std::map<std::tuple<char32_t, bool, bool>, std::optional<Styled>> byCharacter_;
};

// fontconfig's configuration, loaded once before the first match. It is
// fontconfig's own for the life of the process, and its parser drops a few
// blocks of its own on the way: the leak checker is told to leave them out,
// and nothing else (a pattern or font set the engine forgets is reported).
void loadFontConfiguration() {
#ifdef WINSIM_LEAK_CHECKED
  __lsan::ScopedDisabler fontconfigsOwn;
#endif
  FcInit();
}

Faces& faces() {
  static Faces* f = [] {
    loadFontConfiguration();
    return new Faces;  // lives as long as the module, which is never unloaded
  }();
  return *f;
}

std::u32string codePoints(std::u16string_view text) {
  std::u32string r;
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t c = text[i];
    if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF)
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    else if (c >= 0xD800 && c <= 0xDFFF) c = 0xFFFD;  // a lone surrogate
    r.push_back(c);
  }
  return r;
}

// Characters that belong to the one before them: a cluster is drawn from
// one face.
bool joinsPrevious(char32_t c) {
  hb_unicode_general_category_t g = hb_unicode_general_category(hb_unicode_funcs_get_default(), c);
  return g == HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK || g == HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK ||
         g == HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK || g == HB_UNICODE_GENERAL_CATEGORY_FORMAT ||
         (c >= 0xFE00 && c <= 0xFE0F);
}

class EngineFont : public Font {
 public:
  static std::unique_ptr<EngineFont> load(const Request& r, std::string* error);
  Path outline(std::u16string_view text, double* advance) const override;

 private:
  std::vector<Styled> facesFor(const std::u32string& text) const;
  Styled faceFor(char32_t c) const;
  void sizeFaces(const std::vector<Styled>& used) const;

  Styled primary_;
  std::vector<std::string> links_;
  bool bold_ = false, italic_ = false;
  FT_UInt pixels_ = 16;
};

std::unique_ptr<EngineFont> EngineFont::load(const Request& r, std::string* error) {
  detail::QuietLock g(faces().mutex);
  std::unique_ptr<EngineFont> font(new EngineFont);
  font->bold_ = r.weight >= 600;
  font->italic_ = r.italic;
  std::optional<Styled> primary;
  for (auto& family : r.faces)
    if (!primary) primary = faces().installed(family, font->bold_, font->italic_);
  if (!primary && !r.faces.empty()) primary = faces().nearest(r.faces.front(), font->bold_, font->italic_);
  if (!primary) {
    *error = "no installed font matches \"" + (r.faces.empty() ? std::string() : r.faces.front()) + "\"";
    return nullptr;
  }
  font->primary_ = *primary;
  font->links_ = r.links;
  FT_Face face = primary->face;
  // A negative height is the character height (the em); a positive one the
  // cell height, ascent plus descent.
  LONG h = r.height;
  double em = h < 0   ? -h
              : h > 0 ? h * static_cast<double>(face->units_per_EM) / (face->ascender - face->descender)
                      : 16;
  font->pixels_ = static_cast<FT_UInt>(std::lround(em < 1 ? 1 : em));
  FT_Set_Pixel_Sizes(face, 0, font->pixels_);
  font->ascent_ = static_cast<int>((face->size->metrics.ascender + 32) >> 6);
  font->descent_ = static_cast<int>((-face->size->metrics.descender + 32) >> 6);
  font->internalLeading_ = std::max(0, font->ascent_ + font->descent_ - static_cast<int>(font->pixels_));
  font->averageWidth_ = static_cast<int>((face->size->metrics.max_advance + 32) >> 6) / 2;
  font->weight_ = r.weight ? r.weight : FW_NORMAL;
  return font;
}

// The face, its links, then any installed font: the first that has the
// character. None has it: the face's own missing-glyph box.
Styled EngineFont::faceFor(char32_t c) const {
  if (FT_Get_Char_Index(primary_.face, c)) return primary_;
  for (auto& family : links_) {
    auto link = faces().installed(family, bold_, italic_);
    if (link && FT_Get_Char_Index(link->face, c)) return *link;
  }
  auto any = faces().withCharacter(c, bold_, italic_);
  return any ? *any : primary_;
}

std::vector<Styled> EngineFont::facesFor(const std::u32string& text) const {
  std::vector<Styled> used(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    bool withBase = i > 0 && joinsPrevious(text[i]) && FT_Get_Char_Index(used[i - 1].face, text[i]);
    used[i] = withBase || (i > 0 && text[i] == 0x20 && FT_Get_Char_Index(used[i - 1].face, 0x20)) ? used[i - 1]
                                                                                                  : faceFor(text[i]);
  }
  return used;
}

// Faces are shared by every font of the process: each is set to this font's
// size before it lays out or draws.
void EngineFont::sizeFaces(const std::vector<Styled>& used) const {
  for (auto& s : used) FT_Set_Pixel_Sizes(s.face, 0, pixels_);
}

Path EngineFont::outline(std::u16string_view text, double* advance) const {
  *advance = 0;
  Path path;
  std::u32string chars = codePoints(text);
  if (chars.empty()) return path;
  detail::QuietLock g(faces().mutex);
  std::vector<Styled> used = facesFor(chars);
  sizeFaces(used);
  raqm_t* rq = raqm_create();
  if (!rq) return path;
  // A TextOutW paragraph runs left to right; right-to-left runs in it are
  // reordered, as Windows' text layout does unless asked otherwise.
  bool laidOut = raqm_set_text(rq, reinterpret_cast<const uint32_t*>(chars.data()), chars.size()) &&
                 raqm_set_par_direction(rq, RAQM_DIRECTION_LTR) && raqm_set_freetype_load_flags(rq, FT_LOAD_NO_HINTING);
  for (size_t start = 0; laidOut && start < chars.size();) {
    size_t end = start + 1;
    while (end < chars.size() && used[end].face == used[start].face) ++end;
    laidOut = raqm_set_freetype_face_range(rq, used[start].face, start, end - start);
    start = end;
  }
  laidOut = laidOut && raqm_layout(rq);
  size_t count = 0;
  raqm_glyph_t* glyphs = laidOut ? raqm_get_glyphs(rq, &count) : nullptr;
  Decomposer d{&path};
  FT_Outline_Funcs funcs{moveTo, lineTo, conicTo, cubicTo, 0, 0};
  for (size_t i = 0; glyphs && i < count; ++i) {
    const raqm_glyph_t& glyph = glyphs[i];
    const Styled& style = used[glyph.cluster < used.size() ? glyph.cluster : 0];
    FT_Face face = glyph.ftface;
    double extra = style.emboldened ? face->size->metrics.y_ppem / 32.0 : 0;
    if (FT_Load_Glyph(face, glyph.index, FT_LOAD_NO_BITMAP | FT_LOAD_NO_HINTING) == 0 &&
        face->glyph->format == FT_GLYPH_FORMAT_OUTLINE) {
      FT_Outline* outline = &face->glyph->outline;
      if (style.emboldened) FT_Outline_EmboldenXY(outline, face->size->metrics.y_ppem * 2, 0);
      if (style.slanted) {
        FT_Matrix shear{0x10000, 0x4000, 0, 0x10000};  // a quarter: about 14 degrees, as Windows slants
        FT_Outline_Transform(outline, &shear);
      }
      Decomposer at = d;
      at.penX = d.penX + glyph.x_offset / 64.0;
      at.penY = -glyph.y_offset / 64.0;
      at.open = false;
      FT_Outline_Decompose(outline, &funcs, &at);
      if (at.open) at.close();
    }
    d.penX += glyph.x_advance / 64.0 + (glyph.x_advance ? extra : 0);
  }
  raqm_destroy(rq);
  *advance = d.penX;
  return path;
}

}  // namespace
}  // namespace winsim::gdi

extern "C" __attribute__((visibility("default"))) winsim::gdi::Font* winsimLoadFont(
    const winsim::gdi::Font::Request& request, std::string* error) {
  return winsim::gdi::EngineFont::load(request, error).release();
}
