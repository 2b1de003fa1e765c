// A streaming PCL XL tokenizer: bytes are fed in pieces of any size and
// tokens come out as soon as they are whole, each with its offset. Embedded
// data is passed through in pieces, never held whole; nothing but the token
// being read is kept, so a stream of any length takes fixed memory.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pclxl/format.h"

namespace pclxl {

struct Value {
  DataType type = DataType::UByte;
  Shape shape = Shape::Scalar;
  std::vector<double> items;  // 1 for a scalar, 2 for xy, 4 for a box, n for an array

  double number() const { return items.empty() ? 0 : items[0]; }
};

enum class TokenKind {
  Uel,        // ESC %-12345X
  Pjl,        // one PJL line, in text
  Header,     // the stream header: binding byte, space, text (in text, without the LF)
  Value,      // a data value
  Attribute,  // an attribute id, in attribute
  Operator,   // an operator byte, in op
  Data,       // embedded data begins: dataLength bytes follow through StreamSink::data
};

struct Token {
  TokenKind kind = TokenKind::Value;
  uint64_t offset = 0;  // of the token's first byte
  uint64_t end = 0;     // just after it (for Data: after the length, where the bytes begin)
  uint8_t op = 0;
  uint16_t attribute = 0;
  Value value;
  uint32_t dataLength = 0;
  std::string text;
};

struct Problem {
  uint64_t offset = 0;
  std::string message;
};

class TokenSink {
 public:
  virtual ~TokenSink() = default;
  virtual void token(const Token& t) = 0;
  // Embedded data, in pieces; dataEnd once it is all through.
  virtual void data(const uint8_t* bytes, size_t size, uint64_t offset) { (void)bytes, (void)size, (void)offset; }
  virtual void dataEnd() {}
};

class Tokenizer {
 public:
  // `base` is the offset of the first byte fed (for nested streams).
  explicit Tokenizer(TokenSink& sink, uint64_t base = 0);

  // False once the stream is broken; error() says where and why.
  bool feed(const uint8_t* bytes, size_t size);
  // The end of the stream: false when it ends inside a token, a header or
  // embedded data.
  bool finish();

  const Problem* error() const { return failed_ ? &error_ : nullptr; }
  uint64_t offset() const { return offset_; }
  bool bigEndian() const { return bigEndian_; }
  bool sawHeader() const { return sawHeader_; }

 private:
  enum class Mode { Preamble, Pjl, Header, Body, Data };

  // Parses one item at p[0..n); returns the bytes it takes, 0 when more
  // are needed (with need_ set to the total), or fails.
  size_t step(const uint8_t* p, size_t n);
  size_t stepPreamble(const uint8_t* p, size_t n);
  size_t stepLine(const uint8_t* p, size_t n);
  size_t stepBody(const uint8_t* p, size_t n);
  size_t fail(uint64_t at, std::string message);
  double element(const uint8_t* p, DataType t) const;
  uint32_t word32(const uint8_t* p) const;

  TokenSink& sink_;
  Mode mode_ = Mode::Preamble;
  uint64_t offset_;
  uint64_t dataLeft_ = 0;
  bool bigEndian_ = false;
  bool sawHeader_ = false;
  bool languageEntered_ = false;  // the last PJL line was ENTER LANGUAGE
  bool failed_ = false;
  Problem error_;
  std::vector<uint8_t> pending_;  // an incomplete item carried over between feeds
  size_t need_ = 0;
  Token token_;
};

// The limits of one header or PJL line.
constexpr size_t kMaxLine = 4096;

}  // namespace pclxl
