// Builds small PCL XL streams for tests through the project's writer.
#pragma once

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>

#include "pclxl/checker.h"
#include "pclxl/writer.h"

namespace test {

class PxlBuilder {
 public:
  PxlBuilder() : w_(bytes_) {}

  // Header, BeginSession and OpenDataSource.
  PxlBuilder& begin() {
    w_.header("test");
    w_.xy(pclxl::DataType::UInt16, 600, 600, pclxl::attr::UnitsPerMeasure)
        .ubyte(0, pclxl::attr::Measure)
        .ubyte(0, pclxl::attr::ErrorReport)
        .op(pclxl::op::BeginSession);
    w_.ubyte(0, pclxl::attr::SourceType).ubyte(1, pclxl::attr::DataOrg).op(pclxl::op::OpenDataSource);
    return *this;
  }
  // A page with a rectangle, and whatever `body` adds.
  PxlBuilder& page(const std::function<void(pclxl::Writer&)>& body = {}, int orientation = 0) {
    w_.ubyte(static_cast<uint8_t>(orientation), pclxl::attr::Orientation)
        .ubyte(0, pclxl::attr::MediaSize)
        .ubyte(1, pclxl::attr::MediaSource)
        .op(pclxl::op::BeginPage);
    w_.box(pclxl::DataType::UInt16, 100, 100, 400, 300, pclxl::attr::BoundingBox).op(pclxl::op::Rectangle);
    if (body) body(w_);
    w_.op(pclxl::op::EndPage);
    return *this;
  }
  PxlBuilder& end() {
    w_.op(pclxl::op::CloseDataSource).op(pclxl::op::EndSession);
    return *this;
  }
  pclxl::Writer& writer() { return w_; }
  const std::string& bytes() const { return bytes_; }

 private:
  std::string bytes_;
  pclxl::Writer w_;
};

// A one-character-cell bitmap font at 600 dpi, as a driver downloads one.
inline void defineFont(pclxl::Writer& w, const char* name) {
  namespace attr = pclxl::attr;
  w.ubyteArray(name, attr::FontName).ubyte(0, attr::FontFormat).op(pclxl::op::BeginFontHeader);
  const std::string header(
      "\x00\x00\x00\x00\xFE\x00\x00\x01"
      "BR\x00\x00\x00\x04\x02\x58\x02\x58"
      "\xFF\xFF\x00\x00\x00\x00",
      24);
  w.uint16(static_cast<uint16_t>(header.size()), attr::FontHeaderLength).op(pclxl::op::ReadFontHeader).data(header);
  w.op(pclxl::op::EndFontHeader);
}

// An 8 by 8 bitmap character, filled with `fill`.
inline void downloadChar(pclxl::Writer& w, const char* name, uint8_t code = 'A', char fill = '\xFF') {
  namespace attr = pclxl::attr;
  std::string glyph = std::string("\x00\x00\x00\x00\x00\x08\x00\x08\x00\x08", 10) + std::string(8, fill);
  w.ubyteArray(name, attr::FontName).op(pclxl::op::BeginChar);
  w.ubyte(code, attr::CharCode)
      .uint16(static_cast<uint16_t>(glyph.size()), attr::CharDataSize)
      .op(pclxl::op::ReadChar)
      .data(glyph);
  w.op(pclxl::op::EndChar);
}

// Runs a checker over a stream held in memory, fed in pieces of `piece` bytes.
inline void feedBytes(pclxl::Checker& checker, const std::string& bytes, size_t piece = 65536) {
  size_t at = 0;
  pclxl::checkStream(checker, [&](uint8_t* buf, size_t size) {
    size_t n = std::min({size, piece, bytes.size() - at});
    std::memcpy(buf, bytes.data() + at, n);
    at += n;
    return n;
  });
}

inline pclxl::Checker checkBytes(const std::string& bytes, size_t piece = 65536) {
  pclxl::Checker checker;
  feedBytes(checker, bytes, piece);
  return checker;
}

// A folder of the test's own, removed at the end.
struct TempDir {
  std::filesystem::path path;
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kqxl-test-XXXXXX").string();
    path = mkdtemp(pattern.data()) ? std::filesystem::path(pattern) : std::filesystem::path();
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
};

// A whole host file.
inline std::string slurp(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace test
