#include "pclxl/writer.h"

#include <cstring>

#include "pclxl/numbers.h"

namespace pclxl {

std::string headerLine(std::string_view comment) { return ") HP-PCL XL;2;0;Comment " + std::string(comment) + "\n"; }

Writer& Writer::header(std::string_view comment) {
  out_ += headerLine(comment);
  return *this;
}

void Writer::element(DataType type, double v) {
  uint32_t bits = 0;
  switch (type) {
    case DataType::UByte: out_.push_back(static_cast<char>(saturatingCast<uint8_t>(v))); return;
    case DataType::UInt16: bits = saturatingCast<uint16_t>(v); break;
    case DataType::SInt16: bits = static_cast<uint16_t>(saturatingCast<int16_t>(v)); break;
    case DataType::UInt32: bits = saturatingCast<uint32_t>(v); break;
    case DataType::SInt32: bits = static_cast<uint32_t>(saturatingCast<int32_t>(v)); break;
    case DataType::Real32: {
      float f = static_cast<float>(v);
      std::memcpy(&bits, &f, sizeof bits);
      break;
    }
  }
  for (size_t i = 0; i < sizeOf(type); ++i) out_.push_back(static_cast<char>((bits >> (8 * i)) & 0xFF));
}

Writer& Writer::attribute(uint16_t id) {
  if (id < 256) {
    out_.push_back(static_cast<char>(kAttrByte));
    out_.push_back(static_cast<char>(id));
  } else {
    out_.push_back(static_cast<char>(kAttrUInt16));
    element(DataType::UInt16, id);
  }
  return *this;
}

Writer& Writer::scalar(DataType type, double v, uint16_t a) {
  out_.push_back(static_cast<char>(tagOf(type, Shape::Scalar)));
  element(type, v);
  return attribute(a);
}

Writer& Writer::ubyte(uint8_t v, uint16_t a) { return scalar(DataType::UByte, v, a); }
Writer& Writer::uint16(uint16_t v, uint16_t a) { return scalar(DataType::UInt16, v, a); }
Writer& Writer::uint32(uint32_t v, uint16_t a) { return scalar(DataType::UInt32, v, a); }
Writer& Writer::sint16(int16_t v, uint16_t a) { return scalar(DataType::SInt16, v, a); }
Writer& Writer::real32(float v, uint16_t a) { return scalar(DataType::Real32, v, a); }

Writer& Writer::xy(DataType type, double x, double y, uint16_t a) {
  out_.push_back(static_cast<char>(tagOf(type, Shape::XY)));
  element(type, x);
  element(type, y);
  return attribute(a);
}

Writer& Writer::box(DataType type, double x1, double y1, double x2, double y2, uint16_t a) {
  out_.push_back(static_cast<char>(tagOf(type, Shape::Box)));
  for (double v : {x1, y1, x2, y2}) element(type, v);
  return attribute(a);
}

Writer& Writer::array(DataType type, std::initializer_list<double> items, uint16_t a) {
  Value v{type, Shape::Array, std::vector<double>(items)};
  value(v);
  return attribute(a);
}

Writer& Writer::ubyteArray(std::string_view bytes, uint16_t a) {
  Value v{DataType::UByte, Shape::Array, {}};
  for (unsigned char c : bytes) v.items.push_back(c);
  value(v);
  return attribute(a);
}

Writer& Writer::value(const Value& v) {
  out_.push_back(static_cast<char>(tagOf(v.type, v.shape)));
  if (v.shape == Shape::Array) {
    if (v.items.size() < 256) {
      out_.push_back(static_cast<char>(0xC0));
      element(DataType::UByte, static_cast<double>(v.items.size()));
    } else {
      out_.push_back(static_cast<char>(0xC1));
      element(DataType::UInt16, static_cast<double>(v.items.size()));
    }
  }
  for (double item : v.items) element(v.type, item);
  return *this;
}

Writer& Writer::op(uint8_t o) {
  out_.push_back(static_cast<char>(o));
  return *this;
}

Writer& Writer::dataHead(uint32_t length) {
  out_.push_back(static_cast<char>(kDataLong));
  element(DataType::UInt32, static_cast<double>(length));
  return *this;
}

Writer& Writer::data(std::string_view bytes) {
  if (bytes.size() < 256) {
    out_.push_back(static_cast<char>(kDataShort));
    out_.push_back(static_cast<char>(bytes.size()));
  } else {
    out_.push_back(static_cast<char>(kDataLong));
    element(DataType::UInt32, static_cast<double>(bytes.size()));
  }
  out_ += bytes;
  return *this;
}

}  // namespace pclxl
