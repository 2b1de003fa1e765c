// Emits PCL XL in little-endian binary binding: values with their
// attribute ids, operators, embedded data. Every place of the project that
// makes PCL XL goes through it: the tools, the tests, and the component's
// watermark and overlay stream blocks; the component's one other byte of
// its own, a booklet side's SetPageDefaultCTM, is named from format.h.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "pclxl/tokenizer.h"

namespace pclxl {

class Writer {
 public:
  explicit Writer(std::string& out) : out_(out) {}

  // ") HP-PCL XL;2;0;Comment <comment>" and a line feed.
  Writer& header(std::string_view comment = "");

  Writer& ubyte(uint8_t v, uint16_t attribute);
  Writer& uint16(uint16_t v, uint16_t attribute);
  Writer& uint32(uint32_t v, uint16_t attribute);
  Writer& sint16(int16_t v, uint16_t attribute);
  Writer& real32(float v, uint16_t attribute);
  Writer& xy(DataType type, double x, double y, uint16_t attribute);
  Writer& box(DataType type, double x1, double y1, double x2, double y2, uint16_t attribute);
  Writer& array(DataType type, std::initializer_list<double> items, uint16_t attribute);
  Writer& ubyteArray(std::string_view bytes, uint16_t attribute);
  // A value as read, and its attribute id: the same bytes again.
  Writer& value(const Value& v);
  Writer& attribute(uint16_t id);

  Writer& op(uint8_t o);
  // Embedded data: 0xFB with a byte length below 256 bytes, else 0xFA.
  Writer& data(std::string_view bytes);
  // The head of embedded data of `length` bytes sent on their own after it,
  // always in the long form (0xFA), as the driver sends a ReadStream's data.
  Writer& dataHead(uint32_t length);

  std::string& out() { return out_; }

 private:
  Writer& scalar(DataType type, double v, uint16_t attribute);
  void element(DataType type, double v);
  std::string& out_;
};

// The bytes of a stream header line with that comment.
std::string headerLine(std::string_view comment);

}  // namespace pclxl
