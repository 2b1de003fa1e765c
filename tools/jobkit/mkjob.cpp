#include "jobkit/mkjob.h"

#include <cstdio>
#include <cstring>
#include <fstream>

#include "jobkit/settings.h"
#include "pclxl/checker.h"
#include "pclxl/writer.h"
#include "spool/spoolfile.h"

namespace jobkit {

namespace {

struct Document {
  uint64_t size = 0;
  int dpiX = 0, dpiY = 0;  // the session's units per inch, if it gives them
  std::vector<pclxl::PageRange> pages;
  std::vector<pclxl::Command> beginPages;
};

bool readDocument(const std::filesystem::path& path, Document* doc, std::string* error) {
  FILE* in = std::fopen(path.c_str(), "rb");
  if (!in) return *error = "cannot read " + path.string(), false;
  pclxl::Checker checker;
  checker.onCommand = [doc](const pclxl::Command& c) {
    if (c.op == pclxl::op::BeginPage && c.depth == 0) doc->beginPages.push_back(c);
    if (c.op == pclxl::op::BeginSession && c.depth == 0) {
      const pclxl::Attribute* units = c.find(pclxl::attr::UnitsPerMeasure);
      const pclxl::Attribute* measure = c.find(pclxl::attr::Measure);
      if (units && units->value.items.size() == 2 && (!measure || measure->value.number() == 0)) {
        doc->dpiX = static_cast<int>(units->value.items[0]);
        doc->dpiY = static_cast<int>(units->value.items[1]);
      }
    }
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

// The page's dmOrientation code for the page-start marker.
int orientationCode(int pclxlOrientation) { return pclxlOrientation % 2 == 1 ? 2 : 1; }

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

}  // namespace

bool makeJob(const std::filesystem::path& document, const MakeJobOptions& options, std::string* script,
             std::string* error) {
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
  int orientation = orientationCode(doc.pages.front().orientation);
  if (orientation != 1 && !given("dmOrientation")) assignments.push_back("dmOrientation=" + std::to_string(orientation));
  assignments.insert(assignments.end(), options.settings.begin(), options.settings.end());

  SettingsBuilder builder;
  std::string settingsLine = "settings reset";
  for (auto& assignment : assignments) {
    size_t eq = assignment.find('=');
    if (eq == std::string::npos) return *error = "expected FIELD=VALUE, not \"" + assignment + "\"", false;
    std::string field = assignment.substr(0, eq), value = assignment.substr(eq + 1);
    if (!builder.set(field, value, false, error)) return false;
    const SettingsField* f = findSettingsField(field);
    bool text = f->kind == FieldKind::Ansi || f->kind == FieldKind::Wide;
    settingsLine += " " + field + "=" + (text ? quote(value) : value);
  }
  auto record = builder.build(u"KQ PCL6 Laser");
  KQDEVMODE settings;
  std::memcpy(&settings, record.data(), sizeof settings);
  bool spooled = settings.wBypass == 0 && settings.wOverlayMode != 2 && ReplayFlagsFor(settings) != 0;
  bool watermark = settings.wWatermark != 0;
  const std::string ref = quote(options.documentRef.empty() ? document.string() : options.documentRef);
  const std::string chunk = " chunk=" + std::to_string(options.chunk);
  auto range = [&](uint64_t from, uint64_t to) {
    return "write file " + ref + " offset=" + std::to_string(from) + " length=" + std::to_string(to - from) + chunk + "\n";
  };

  std::string& s = *script;
  s = "# Made by kqxl-mkjob from " + document.filename().string() + ": " + std::to_string(doc.pages.size()) +
      " pages, " + (spooled ? "spooled" : "printed directly") + ".\n";
  s += settingsLine + "\n";
  s += "startdoc document=" + quote(document.filename().string()) + "\n";
  s += "write settings\n";
  s += range(0, doc.pages.front().start);
  if (spooled) s += "write hex " + hex(kPagePrefixes[0], 8) + "\n";
  for (size_t k = 0; k < doc.pages.size(); ++k) {
    const pclxl::PageRange& page = doc.pages[k];
    const pclxl::Command& begin = doc.beginPages[k];
    uint64_t pageEnd = k + 1 < doc.pages.size() ? doc.pages[k + 1].start : page.end;
    // A page of the other orientation: the rendering side sends the settings
    // again with it, which makes the watermark of that orientation.
    if (watermark && orientationCode(page.orientation) != orientation) {
      orientation = orientationCode(page.orientation);
      s += "settings dmOrientation=" + std::to_string(orientation) + "\nwrite settings\n";
    }
    s += "startpage\n";
    if (spooled) {
      s += "write marker page-start " + std::to_string(orientationCode(page.orientation)) + "\n";
      std::string rewritten = beginPageWithoutPrefixAttributes(begin);
      s += "write hex " + hex(reinterpret_cast<const uint8_t*>(rewritten.data()), rewritten.size()) + "\n";
    } else if (watermark) {
      s += range(page.start, begin.end);
    }
    if (watermark) s += "write marker watermark\n";
    s += range(spooled || watermark ? begin.end : page.start, pageEnd);
    s += "endpage\n";
  }
  if (spooled) s += "write marker pages-end\n";
  s += range(doc.pages.back().end, doc.size);
  s += "enddoc\nclose\n";
  return true;
}

}  // namespace jobkit
