// pxldump: shows a PCL XL stream one operator a line, checks it, or sums
// up its pages.
#include <cinttypes>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "pclxl/checker.h"
#include "pclxl/numbers.h"

namespace {

const char kUsage[] =
    "usage: pxldump [--check] [--summary] FILE|-\n"
    "  (default)   one line per operator with its attributes, offsets on the left\n"
    "  --check     only the problems and a summary; exit status 1 when the stream is not well formed\n"
    "              (an empty file is \"empty, nothing to print\", exit status 0)\n"
    "  --summary   the page count and each page's offset range\n"
    "  --version   the tools' version\n"
    "exit status 2 for a usage error or a file that cannot be read\n";

std::string number(double v, pclxl::DataType t) {
  char buf[32];
  if (t == pclxl::DataType::Real32) std::snprintf(buf, sizeof buf, "%g", v);
  else std::snprintf(buf, sizeof buf, "%.0f", v);
  return buf;
}

std::string show(const pclxl::Attribute& a) {
  const pclxl::Value& v = a.value;
  using pclxl::Shape;
  if (v.shape == Shape::Scalar) {
    std::string_view e = pclxl::enumName(a.id, pclxl::saturatingCast<uint32_t>(v.number()));
    return e.empty() ? number(v.number(), v.type) : std::string(e);
  }
  if (v.shape == Shape::Array) {
    bool text = v.type == pclxl::DataType::UByte && !v.items.empty();
    for (double c : v.items) text = text && c >= 0x20 && c < 0x7F;
    if (text) {
      std::string s = "\"";
      for (double c : v.items) s += static_cast<char>(c);
      return s + "\"";
    }
    std::string s = "[";
    for (size_t i = 0; i < v.items.size() && i < 8; ++i) s += (i ? " " : "") + number(v.items[i], v.type);
    if (v.items.size() > 8)
      s += " ... (" + std::to_string(v.items.size()) + " " + std::string(pclxl::nameOf(v.type)) + ")";
    return s + "]";
  }
  std::string s = "(";
  for (size_t i = 0; i < v.items.size(); ++i) s += (i ? "," : "") + number(v.items[i], v.type);
  return s + ")";
}

std::string indent(int depth) { return std::string(2 * depth, ' '); }

}  // namespace

int main(int argc, char** argv) {
  bool check = false, summaryOnly = false;
  const char* path = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--check")) check = true;
    else if (!std::strcmp(argv[i], "--summary")) summaryOnly = true;
    else if (!std::strcmp(argv[i], "-h") || !std::strcmp(argv[i], "--help")) return std::fputs(kUsage, stdout), 0;
    else if (!std::strcmp(argv[i], "--version")) return std::puts("pxldump, of KQXLUMPD at " KQXL_VERSION), 0;
    else if (!path) path = argv[i];
    else return std::fputs(kUsage, stderr), 2;
  }
  if (!path) return std::fputs(kUsage, stderr), 2;
  FILE* in = std::strcmp(path, "-") == 0 ? stdin : std::fopen(path, "rb");
  if (!in) {
    std::fprintf(stderr, "pxldump: cannot read %s: %s\n", path, std::strerror(errno));
    return 2;
  }

  pclxl::Checker checker;
  bool listing = !check && !summaryOnly;
  if (listing) {
    checker.onText = [](const pclxl::Token& t, int depth) {
      const char* kind = t.kind == pclxl::TokenKind::Uel ? "UEL" : t.kind == pclxl::TokenKind::Pjl ? "PJL" : "header";
      std::printf("%10" PRIu64 "  %s%s %s\n", t.offset, indent(depth).c_str(), kind, t.text.c_str());
    };
    checker.onCommand = [](const pclxl::Command& c) {
      std::string line = indent(c.depth) + std::string(pclxl::operatorName(c.op));
      for (auto& a : c.attributes) {
        std::string_view name = pclxl::attributeName(a.id);
        line += " " + (name.empty() ? "attr" + std::to_string(a.id) : std::string(name)) + "=" + show(a);
      }
      std::printf("%10" PRIu64 "  %s\n", c.start, line.c_str());
    };
    checker.onData = [](uint64_t offset, uint32_t length, int depth) {
      std::printf("%10" PRIu64 "  %s[data %u bytes]\n", offset, indent(depth).c_str(), length);
    };
  }
  pclxl::checkStream(checker, [in](uint8_t* buf, size_t size) { return std::fread(buf, 1, size, in); });
  if (in != stdin) std::fclose(in);

  const pclxl::Summary& s = checker.summary();
  if (summaryOnly) {
    std::printf("pages: %zu\n", checker.pages().size());
    for (size_t i = 0; i < checker.pages().size(); ++i)
      std::printf("page %zu: %" PRIu64 "-%" PRIu64 "\n", i + 1, checker.pages()[i].start, checker.pages()[i].end);
  }
  // The component's own empty documents (a recording job's, a manual
  // duplex's empty pass) print nothing; a printer takes them as it takes
  // no job at all.
  if (s.bytes == 0 && checker.pages().empty()) {
    if (check || listing) std::printf("empty, nothing to print\n");
    return 0;
  }
  if (check || listing) {
    for (auto& p : checker.problems()) std::printf("%" PRIu64 ": error: %s\n", p.offset, p.message.c_str());
    for (auto& w : checker.warnings()) std::printf("%" PRIu64 ": warning: %s\n", w.offset, w.message.c_str());
    std::printf("sessions=%" PRIu64 " pages=%" PRIu64 " operators=%" PRIu64 " bytes=%" PRIu64 "%s\n", s.sessions,
                s.pages, s.operators, s.bytes, checker.problems().empty() ? "" : " NOT WELL FORMED");
  }
  return checker.problems().empty() ? 0 : 1;
}
