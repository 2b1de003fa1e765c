#include "jobkit/mkjob.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <set>

#include "jobkit/booklet.h"
#include "jobkit/settings.h"
#include "jobkit/syntax.h"
#include "pclxl/checker.h"
#include "pclxl/numbers.h"
#include "pclxl/writer.h"
#include "job/plan.h"

namespace jobkit {

namespace {

struct Range {
  uint64_t from = 0, to = 0;
};

// A font header or a character download: the commands from BeginFontHeader
// to EndFontHeader, or from BeginChar to EndChar, with their data. A
// RemoveFont is kept as a block of its own so that a page can leave it out.
struct FontBlock {
  enum Kind { Header, Chars, Remove } kind = Header;
  Range range;
  std::vector<double> font;
  std::vector<double> codes;  // the characters a download defines
  size_t page = 0;            // 1-based; 0 before the first page
};

struct Document {
  uint64_t size = 0;
  int dpiX = 0, dpiY = 0;         // the session's units per inch, if it gives them
  double unitsX = 0, unitsY = 0;  // units per inch, in any measure
  std::vector<pclxl::PageRange> pages;
  std::vector<pclxl::Command> beginPages;
  std::vector<uint64_t> endPages;  // where each EndPage's attribute list starts
  std::vector<FontBlock> fonts;
  // Per page (1-based, [0] unused): the character downloads made outside
  // the page whose glyphs its text draws, as (block, character code).
  std::vector<std::set<std::pair<size_t, double>>> borrowed;
};

// Follows the font commands of the stream itself (not of its streams), and
// which downloads each page's text draws with.
struct FontReader {
  Document* doc;
  bool open = false;
  FontBlock block;
  // The download that defines each character now: (font, code) -> block.
  std::map<std::pair<std::vector<double>, double>, size_t> current;
  std::vector<std::vector<double>> fontStack{{}};  // the current font per graphics state

  void command(const pclxl::Command& c) {
    namespace op = pclxl::op;
    namespace attr = pclxl::attr;
    if (c.depth != 0) return;
    auto start = [&](FontBlock::Kind kind) {
      const pclxl::Attribute* name = c.find(attr::FontName);
      block = FontBlock{
          kind, {c.start, c.end}, name ? name->value.items : std::vector<double>{}, {}, doc->beginPages.size()};
      open = true;
    };
    switch (c.op) {
      case op::BeginFontHeader: start(FontBlock::Header); break;
      case op::BeginChar: start(FontBlock::Chars); break;
      case op::ReadChar:
        if (const pclxl::Attribute* code = c.find(attr::CharCode); code && open)
          block.codes.push_back(code->value.number());
        break;
      case op::EndFontHeader:
      case op::EndChar:
        if (!open) break;
        block.range.to = c.end;
        doc->fonts.push_back(block);
        for (double code : block.codes) current[{block.font, code}] = doc->fonts.size() - 1;
        open = false;
        break;
      case op::RemoveFont:
        start(FontBlock::Remove);
        doc->fonts.push_back(block);
        std::erase_if(current, [&](const auto& entry) { return entry.first.first == block.font; });
        open = false;
        break;
      case op::BeginPage:
        fontStack.assign(1, {});
        doc->borrowed.resize(doc->beginPages.size() + 1);
        break;
      case op::PushGS: fontStack.push_back(fontStack.back()); break;
      case op::PopGS:
        if (fontStack.size() > 1) fontStack.pop_back();
        break;
      case op::SetFont:
        if (const pclxl::Attribute* name = c.find(attr::FontName)) fontStack.back() = name->value.items;
        break;
      case op::Text:
      case op::TextPath: borrow(c.find(attr::TextData)); break;
      default: break;
    }
  }

  void borrow(const pclxl::Attribute* text) {
    size_t page = doc->beginPages.size();
    if (!text || page == 0 || page >= doc->borrowed.size()) return;
    for (double code : text->value.items) {
      auto it = current.find({fontStack.back(), code});
      if (it != current.end() && doc->fonts[it->second].page != page) doc->borrowed[page].insert({it->second, code});
    }
  }
};

// What a document that is no PCL XL is, by its first bytes, and how to make
// one of it; empty for anything else.
std::string notPclXl(FILE* in, const std::filesystem::path& path) {
  char head[16] = {};
  size_t n = std::fread(head, 1, sizeof head, in);
  std::rewind(in);
  std::string kind = documentKind(std::string_view(head, n));
  if (kind.empty() || kind == "a PCL XL document") return "";
  std::string pxl = std::filesystem::path(path).replace_extension(".pxl").string();
  return path.string() + " is " + kind + ", and jobs are made from PCL XL: " + conversionAdvice(path.string(), pxl);
}

bool readDocument(const std::filesystem::path& path, Document* doc, std::string* error) {
  FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return *error = "cannot read " + path.string() + ": " + std::strerror(errno), false;
  if (std::string what = notPclXl(in, path); !what.empty()) {
    std::fclose(in);
    return *error = what, false;
  }
  pclxl::Checker checker;
  FontReader fonts{doc};
  checker.onCommand = [doc, &fonts](const pclxl::Command& c) {
    if (c.op == pclxl::op::BeginPage && c.depth == 0) doc->beginPages.push_back(c);
    if (c.op == pclxl::op::EndPage && c.depth == 0) doc->endPages.push_back(c.start);
    if (c.op == pclxl::op::BeginSession && c.depth == 0) {
      const pclxl::Attribute* units = c.find(pclxl::attr::UnitsPerMeasure);
      const pclxl::Attribute* measure = c.find(pclxl::attr::Measure);
      if (units && units->value.items.size() == 2 && (!measure || measure->value.number() == 0)) {
        doc->dpiX = pclxl::saturatingCast<int>(units->value.items[0]);
        doc->dpiY = pclxl::saturatingCast<int>(units->value.items[1]);
      }
      // Units per inch whatever the measure: inch, millimetre, tenth of a millimetre.
      static constexpr double kPerInch[] = {1, 25.4, 254};
      double m = measure ? measure->value.number() : 0;
      if (units && units->value.items.size() == 2 && m >= 0 && m <= 2) {
        doc->unitsX = units->value.items[0] * kPerInch[static_cast<int>(m)];
        doc->unitsY = units->value.items[1] * kPerInch[static_cast<int>(m)];
      }
    }
    fonts.command(c);
  };
  pclxl::checkStream(checker, [in](uint8_t* buf, size_t size) { return std::fread(buf, 1, size, in); });
  std::fclose(in);
  if (!checker.problems().empty()) {
    auto& p = checker.problems().front();
    return *error = path.string() + ":" + std::to_string(p.offset) + ": " + p.message, false;
  }
  if (checker.pages().empty()) return *error = path.string() + " has no pages", false;
  doc->size = checker.summary().bytes;
  doc->pages = checker.pages();
  return true;
}

std::string fontLabel(const std::vector<double>& name) {
  std::string s;
  for (double c : name) s += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  return "font \"" + s + "\"";
}

// Where a reordering job's font definitions go. A character defined once
// (or again with the same bytes), and every font header, goes into the job
// header, once, in the document's order; what the document defines before
// its first page already stands there. A character the document defines
// again with another glyph (Ghostscript reuses the codes of a full font)
// cannot stand in one header: its downloads stay in their pages, and each
// page sends again, at its start, the downloads made outside it that its
// text draws with and that the header does not hold for good. A font
// header defined again with other data cannot be moved and is refused.
struct FontPlan {
  std::vector<Range> header;               // to send after the document's own header
  std::vector<Range> leftOut;              // of the pages, sorted
  std::vector<std::vector<Range>> resent;  // per page (1-based), at its start
};

bool planFonts(const std::filesystem::path& path, const Document& doc, FontPlan* out, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  auto bytesOf = [&](Range r) {
    std::string bytes(static_cast<size_t>(r.to - r.from), '\0');
    file.seekg(static_cast<std::streamoff>(r.from));
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return bytes;
  };
  // Key: the font name, and the character code (-1 for the font header).
  using Key = std::pair<std::vector<double>, double>;
  auto keysOf = [](const FontBlock& block) {
    return block.kind == FontBlock::Header ? std::vector<double>{-1} : block.codes;
  };
  std::map<Key, std::string> first;
  std::set<Key> redefined;
  std::vector<std::string> bytes(doc.fonts.size());
  for (size_t i = 0; i < doc.fonts.size(); ++i) {
    const FontBlock& block = doc.fonts[i];
    if (block.kind == FontBlock::Remove) continue;
    bytes[i] = bytesOf(block.range);
    for (double key : keysOf(block)) {
      auto [it, inserted] = first.emplace(Key{block.font, key}, bytes[i]);
      if (inserted || it->second == bytes[i]) continue;
      if (key < 0) {
        *error = path.string() + ":" + std::to_string(block.range.from) + ": " + fontLabel(block.font) +
                 " is defined again with another header; its pages cannot be sent in another order";
        return false;
      }
      redefined.insert({block.font, key});
    }
  }
  // A download goes into the header when none of its characters is
  // redefined and it defines something the header does not have yet.
  std::set<Key> inHeader;
  std::vector<bool> hoisted(doc.fonts.size(), false);
  for (size_t i = 0; i < doc.fonts.size(); ++i) {
    const FontBlock& block = doc.fonts[i];
    if (block.kind == FontBlock::Remove) {
      if (block.page > 0) out->leftOut.push_back(block.range);
      continue;
    }
    std::vector<double> keys = keysOf(block);
    bool movable = std::none_of(keys.begin(), keys.end(), [&](double k) { return redefined.count({block.font, k}); });
    if (block.page == 0) {
      if (movable)
        for (double key : keys) inHeader.insert({block.font, key});
      continue;
    }
    if (!movable) continue;
    out->leftOut.push_back(block.range);
    bool isNew = false;
    for (double key : keys) isNew = inHeader.insert({block.font, key}).second || isNew;
    hoisted[i] = true;
    if (!isNew) continue;
    if (!out->header.empty() && out->header.back().to == block.range.from) out->header.back().to = block.range.to;
    else out->header.push_back(block.range);
  }
  out->resent.assign(doc.borrowed.size(), {});
  for (size_t page = 1; page < doc.borrowed.size(); ++page) {
    std::set<size_t> blocks;
    for (auto [index, code] : doc.borrowed[page]) {
      const FontBlock& block = doc.fonts[index];
      bool heldForGood = (block.page == 0 || hoisted[index]) && !redefined.count({block.font, code});
      if (!heldForGood) blocks.insert(index);
    }
    for (size_t index : blocks) out->resent[page].push_back(doc.fonts[index].range);  // in the document's order
  }
  return true;
}

// [from, to) without the ranges left out, as the pieces that remain.
std::vector<Range> without(Range whole, const std::vector<Range>& leftOut) {
  std::vector<Range> pieces;
  uint64_t at = whole.from;
  for (const Range& r : leftOut) {
    if (r.to <= at || r.from >= whole.to) continue;
    if (r.from > at) pieces.push_back({at, r.from});
    at = std::max(at, r.to);
  }
  if (at < whole.to) pieces.push_back({at, whole.to});
  return pieces;
}

std::string hex(const uint8_t* p, size_t n) {
  std::string s;
  char buf[4];
  for (size_t i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "%02X", p[i]);
    s += (i ? " " : "") + std::string(buf);
  }
  return s;
}

std::string quote(const std::string& text) {
  std::string s = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') s += '\\';
    s += c;
  }
  return s + "\"";
}

// The papers a BeginPage's MediaSize enumeration names.
using pclxl::Paper;

const Paper* paperOf(const pclxl::Command& beginPage) {
  const pclxl::Attribute* size = beginPage.find(pclxl::attr::MediaSize);
  if (!size || size->value.shape != pclxl::Shape::Scalar) return nullptr;
  return pclxl::paperOfMediaSize(static_cast<unsigned>(size->value.number()));
}

// The page's dmOrientation code for the page-start marker.
int orientationCode(int pclxlOrientation) { return pclxl::dmOrientationOf(pclxlOrientation); }

// BeginPage without the attributes the page prefixes supply, so that a
// prefix written in front of the page takes effect.
std::string beginPageWithoutPrefixAttributes(const pclxl::Command& c) {
  std::string bytes;
  pclxl::Writer w(bytes);
  for (auto& a : c.attributes)
    if (a.id != pclxl::attr::MediaSource) w.value(a.value).attribute(a.id);
  w.op(pclxl::op::BeginPage);
  return bytes;
}

// The form overlay as a page plays it: a stream defined around the overlay
// marker, where the component puts the form's ReadStream, played in a
// graphics state of its own and removed again, so that the next page can
// define it anew.
std::string overlayStreamLines() {
  constexpr std::string_view kName = "KQXLForm";
  std::string open, close;
  pclxl::Writer(open).op(pclxl::op::PushGS).ubyteArray(kName, pclxl::attr::StreamName).op(pclxl::op::BeginStream);
  pclxl::Writer(close)
      .op(pclxl::op::EndStream)
      .ubyteArray(kName, pclxl::attr::StreamName)
      .op(pclxl::op::ExecStream)
      .ubyteArray(kName, pclxl::attr::StreamName)
      .op(pclxl::op::RemoveStream)
      .op(pclxl::op::PopGS);
  auto hexLine = [](const std::string& b) {
    return "write hex " + hex(reinterpret_cast<const uint8_t*>(b.data()), b.size()) + "\n";
  };
  return hexLine(open) + "write marker overlay\n" + hexLine(close);
}

// The booklet record for the document's paper, units and first page.
bool bookletRecordFor(const Document& doc, const KQDEVMODE& settings, std::string* record, std::string* error) {
  const Paper* paper = paperOf(doc.beginPages.front());
  if (!paper) return *error = "a booklet needs the document's paper as a MediaSize kqxl-mkjob knows", false;
  if (doc.unitsX <= 0 || doc.unitsY <= 0) return *error = "a booklet needs the session's units per measure", false;
  BookletGeometry g;
  g.unitsX = doc.unitsX;
  g.unitsY = doc.unitsY;
  g.paperWidth = paper->widthInch;
  g.paperHeight = paper->heightInch;
  g.mediaSize = paper->mediaSize;
  g.orientation = orientationCode(doc.pages.front().orientation);
  BookletMode mode;
  JobPlan plan = PlanFor(settings, SettingsSource::JobRecord);
  mode.software = plan.replay == ReplayOrder::SoftwareBooklet;
  mode.overlay = plan.form == FormUse::Print;
  return makeBookletRecord(g, mode, record, error);
}

}  // namespace

bool checkSettings(const std::vector<std::string>& settings, SettingsBuilder* builder, std::string* error) {
  for (auto& assignment : settings) {
    size_t eq = assignment.find('=');
    if (eq == std::string::npos) return *error = "expected FIELD=VALUE, not \"" + assignment + "\"", false;
    if (!builder->set(assignment.substr(0, eq), assignment.substr(eq + 1), false, error)) return false;
  }
  return true;
}

namespace {

// The machine lines of the script: the code page given, or the first that
// holds every text of the settings (none when the default 1252 does).
std::string machineLines(const MakeJobOptions& options, const SettingsBuilder& builder, MakeJobNotes* notes,
                         UINT* codePage) {
  std::vector<std::string> texts;
  for (auto& f : settingsFields())
    if (f.kind == FieldKind::Ansi)
      if (auto text = builder.text(f.name); !text.empty()) texts.push_back(text);
  *codePage = options.codePage;
  if (*codePage == 0) {
    *codePage = 1252;
    bool fits = std::all_of(texts.begin(), texts.end(), [](auto& t) { return codePageHolds(t, 1252); });
    for (size_t i = 0; !fits && i < codePageLocales().size(); ++i) {
      UINT cp = codePageLocales()[i].codePage;
      if (std::all_of(texts.begin(), texts.end(), [cp](auto& t) { return codePageHolds(t, cp); })) {
        *codePage = cp;
        fits = true;
      }
    }
    if (*codePage == 1252) return "";
  }
  const CodePageLocale* known = codePageLocale(*codePage);
  LANGID locale = options.locale ? options.locale : known ? known->locale : 0;
  std::string codePageLine = "codepage " + std::to_string(*codePage), localeLine;
  if (locale) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%04X", locale);
    localeLine = std::string("locale ") + hex;
  }
  if (options.codePage == 0)
    notes->chosen = "the settings' text needs code page " + std::to_string(*codePage) + " (" + known->language +
                    "): the script sets \"" + codePageLine + "\" and \"" + localeLine +
                    "\" (--codepage N chooses another)";
  std::string out = codePageLine + "\n" + (localeLine.empty() ? "" : localeLine + "\n");
  return out;
}

}  // namespace

bool makeJob(const std::filesystem::path& document, const MakeJobOptions& options, std::string* script,
             std::string* error, MakeJobNotes* notes) {
  MakeJobNotes unused;
  if (!notes) notes = &unused;
  Document doc;
  if (!readDocument(document, &doc, error)) return false;

  // The settings use the document's own resolution, so that what the driver
  // draws into its pages (the watermark) lands in the page's coordinates.
  std::vector<std::string> assignments;
  auto given = [&](const char* field) {
    for (auto& a : options.settings)
      if (a.rfind(std::string(field) + "=", 0) == 0) return true;
    return false;
  };
  if (doc.dpiX > 0 && !given("dmPrintQuality")) assignments.push_back("dmPrintQuality=" + std::to_string(doc.dpiX));
  if (doc.dpiY > 0 && !given("dmYResolution")) assignments.push_back("dmYResolution=" + std::to_string(doc.dpiY));
  // The paper too: what the driver draws (the watermark) is placed on it.
  const Paper* paper = paperOf(doc.beginPages.front());
  if (paper && !given("dmPaperSize")) assignments.push_back("dmPaperSize=" + std::to_string(paper->dmPaperSize));
  int firstOrientation = orientationCode(doc.pages.front().orientation);
  if (firstOrientation != 1 && !given("dmOrientation"))
    assignments.push_back("dmOrientation=" + std::to_string(firstOrientation));
  assignments.insert(assignments.end(), options.settings.begin(), options.settings.end());

  SettingsBuilder builder;
  if (!checkSettings(assignments, &builder, error)) return false;
  std::string settingsLine = "settings reset";
  for (auto& assignment : assignments) {
    size_t eq = assignment.find('=');
    std::string field = assignment.substr(0, eq), value = assignment.substr(eq + 1);
    const SettingsField* f = findSettingsField(field);
    bool text = f->kind == FieldKind::Ansi || f->kind == FieldKind::Wide;
    settingsLine += " " + field + "=" + (text ? quote(value) : value);
  }
  UINT codePage = 1252;
  std::string machine = machineLines(options, builder, notes, &codePage);
  notes->warnings = builder.warnings(codePage);
  auto record = builder.build(u"KQ PCL6 Laser", codePage);
  KQDEVMODE settings;
  std::memcpy(&settings, record.data(), sizeof settings);
  JobPlan plan = PlanFor(settings, SettingsSource::JobRecord);
  bool spooled = plan.bSpooled;
  bool watermark = plan.watermark != WatermarkPages::None;
  // A job printed over a form defines the form as a stream in every page and
  // plays it under the page's own drawing.
  bool overlay = plan.form == FormUse::Print;
  int orientation = settings.dm.dmOrientation;
  const std::string ref = quote(options.documentRef.empty() ? document.string() : options.documentRef);
  const std::string chunk = " chunk=" + std::to_string(options.chunk);
  auto range = [&](uint64_t from, uint64_t to) {
    return "write file " + ref + " offset=" + std::to_string(from) + " length=" + std::to_string(to - from) + chunk +
           "\n";
  };
  // Pages that may be reordered, repeated or left out each print on their
  // own: the fonts they define move into the header.
  FontPlan fonts;
  if (spooled && !planFonts(document, doc, &fonts, error)) return false;
  auto resent = [&](size_t k) {
    std::string lines;
    if (k + 1 < fonts.resent.size())
      for (const Range& r : fonts.resent[k + 1]) lines += range(r.from, r.to);
    return lines;
  };
  auto ranges = [&](uint64_t from, uint64_t to) {
    std::string lines;
    for (const Range& r : without({from, to}, fonts.leftOut)) lines += range(r.from, r.to);
    return lines;
  };

  // A booklet's pages lose their own framing: the sides' snippets frame them.
  bool booklet = IsBookletOrder(plan.replay);
  std::string bookletRecord;
  if (booklet && !bookletRecordFor(doc, settings, &bookletRecord, error)) return false;

  std::string& s = *script;
  s = "# Made by kqxl-mkjob from " + document.filename().string() + ": " + std::to_string(doc.pages.size()) +
      " pages, " + (spooled ? "spooled" : "printed directly") + ".\n";
  s += machine;
  s += settingsLine + "\n";
  s += "startdoc document=" + quote(document.filename().string()) + "\n";
  s += "write settings\n";
  s += range(0, doc.pages.front().start);
  for (const Range& r : fonts.header) s += range(r.from, r.to);
  if (booklet)
    s += "write hex " + hex(reinterpret_cast<const uint8_t*>(bookletRecord.data()), bookletRecord.size()) + "\n";
  else if (spooled) s += "write hex " + hex(kPagePrefixes[0], 8) + "\n";
  for (size_t k = 0; k < doc.pages.size(); ++k) {
    const pclxl::PageRange& page = doc.pages[k];
    const pclxl::Command& begin = doc.beginPages[k];
    uint64_t pageEnd = k + 1 < doc.pages.size() ? doc.pages[k + 1].start : page.end;
    // A page of another orientation than the component last received: the
    // rendering side sends the settings again with it, which makes the
    // watermark of that orientation.
    if (watermark && orientationCode(page.orientation) != orientation) {
      orientation = orientationCode(page.orientation);
      s += "settings dmOrientation=" + std::to_string(orientation) + "\nwrite settings\n";
    }
    s += "startpage\n";
    if (spooled) s += "write marker page-start " + std::to_string(orientationCode(page.orientation)) + "\n";
    if (spooled && !booklet) {
      std::string rewritten = beginPageWithoutPrefixAttributes(begin);
      s += "write hex " + hex(reinterpret_cast<const uint8_t*>(rewritten.data()), rewritten.size()) + "\n";
    } else if (!spooled && (watermark || overlay)) {
      s += range(page.start, begin.end);
    }
    s += resent(k);
    if (overlay) s += overlayStreamLines();
    if (watermark) s += "write marker watermark\n";
    if (booklet) {
      // Without BeginPage and without EndPage and its attributes.
      s += ranges(begin.end, doc.endPages[k]);
      s += ranges(page.end, pageEnd);
    } else {
      s += ranges(spooled || watermark || overlay ? begin.end : page.start, pageEnd);
    }
    s += "endpage\n";
  }
  if (spooled) s += "write marker pages-end\n";
  s += ranges(doc.pages.back().end, doc.size);
  s += "enddoc\nclose\n";
  return true;
}

}  // namespace jobkit
