#include "pclxl/tokenizer.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

namespace pclxl {

namespace {

constexpr char kUel[] = "\x1B%-12345X";
constexpr size_t kUelSize = sizeof kUel - 1;

std::string hexByte(uint8_t b) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", b);
  return buf;
}

}  // namespace

Tokenizer::Tokenizer(TokenSink& sink, uint64_t base) : sink_(sink), offset_(base) {}

size_t Tokenizer::fail(uint64_t at, std::string message) {
  if (!failed_) {
    failed_ = true;
    error_ = {at, std::move(message)};
  }
  return 0;
}

uint32_t Tokenizer::word32(const uint8_t* p) const {
  return bigEndian_ ? (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]
                    : (uint32_t{p[3]} << 24) | (uint32_t{p[2]} << 16) | (uint32_t{p[1]} << 8) | p[0];
}

double Tokenizer::element(const uint8_t* p, DataType t) const {
  if (t == DataType::UByte) return p[0];
  uint16_t w = bigEndian_ ? static_cast<uint16_t>((p[0] << 8) | p[1]) : static_cast<uint16_t>((p[1] << 8) | p[0]);
  switch (t) {
    case DataType::UByte: return p[0];
    case DataType::UInt16: return w;
    case DataType::SInt16: return static_cast<int16_t>(w);
    case DataType::UInt32: return word32(p);
    case DataType::SInt32: return static_cast<int32_t>(word32(p));
    case DataType::Real32: {
      uint32_t bits = word32(p);
      float f;
      std::memcpy(&f, &bits, sizeof f);
      return f;
    }
  }
  return 0;
}

bool Tokenizer::feed(const uint8_t* p, size_t n) {
  while (n > 0 && !failed_) {
    if (mode_ == Mode::Data) {
      size_t take = static_cast<size_t>(std::min<uint64_t>(n, dataLeft_));
      sink_.data(p, take, offset_);
      offset_ += take;
      p += take;
      n -= take;
      dataLeft_ -= take;
      if (dataLeft_ == 0) {
        mode_ = Mode::Body;
        sink_.dataEnd();
      }
      continue;
    }
    if (!pending_.empty()) {
      // Complete the item carried over from the last piece.
      size_t take = std::min(n, need_ - pending_.size());
      pending_.insert(pending_.end(), p, p + take);
      p += take;
      n -= take;
      if (pending_.size() < need_) return true;
      size_t used = step(pending_.data(), pending_.size());
      if (failed_) return false;
      if (used == 0) continue;  // it needs more than it knew
      std::vector<uint8_t> rest(pending_.begin() + static_cast<long>(used), pending_.end());
      pending_.clear();
      offset_ += used;
      if (!rest.empty() && !feed(rest.data(), rest.size())) return false;
      continue;
    }
    size_t used = step(p, n);
    if (failed_) return false;
    if (used == 0) {
      pending_.assign(p, p + n);
      return true;
    }
    offset_ += used;
    p += used;
    n -= used;
  }
  return !failed_;
}

bool Tokenizer::finish() {
  if (failed_) return false;
  if (mode_ == Mode::Data)
    return fail(offset_, "the stream ends inside embedded data, " + std::to_string(dataLeft_) + " bytes short"), false;
  if (!pending_.empty()) {
    const char* what = mode_ == Mode::Body ? "a token" : "a header or PJL line";
    return fail(offset_, std::string("the stream ends inside ") + what), false;
  }
  if (!sawHeader_) return fail(offset_, "no PCL XL stream header"), false;
  return true;
}

size_t Tokenizer::step(const uint8_t* p, size_t n) {
  switch (mode_) {
    case Mode::Preamble: return stepPreamble(p, n);
    case Mode::Pjl:
    case Mode::Header: return stepLine(p, n);
    case Mode::Body: return stepBody(p, n);
    case Mode::Data: break;
  }
  return 0;
}

namespace {

bool beginsNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (size_t i = 0; i < prefix.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
  return true;
}

// "@PJL ENTER LANGUAGE = PCLXL", in any case and spacing.
bool entersLanguage(std::string_view line) {
  std::string squeezed;
  for (char c : line)
    if (c != ' ' && c != '\t') squeezed += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return squeezed.rfind("@PJLENTERLANGUAGE", 0) == 0;
}

}  // namespace

// Between streams: a UEL, PJL lines, or a stream header.
size_t Tokenizer::stepPreamble(const uint8_t* p, size_t n) {
  uint8_t b = p[0];
  if (b == '\r' || b == '\n' || b == ' ' || b == '\t' || b == 0) {
    // After ENTER LANGUAGE the printer's PCL XL reader starts at once.
    if (languageEntered_) return fail(offset_, "a blank or NUL between ENTER LANGUAGE and the stream header");
    return 1;
  }
  if (b == 0x1B) {
    if (n < kUelSize) return need_ = kUelSize, 0;
    if (std::memcmp(p, kUel, kUelSize) != 0) return fail(offset_, "expected a UEL (ESC %-12345X)");
    token_.kind = TokenKind::Uel;
    token_.offset = offset_;
    token_.end = offset_ + kUelSize;
    sink_.token(token_);
    return kUelSize;
  }
  if (b == '@') {
    mode_ = Mode::Pjl;
    return stepLine(p, n);
  }
  if (b == ')' || b == '(') {
    mode_ = Mode::Header;
    return stepLine(p, n);
  }
  if (b == '\'') return fail(offset_, "ASCII binding (') is not supported; only binary bindings");
  return fail(offset_, "expected PJL or a PCL XL stream header, found " + hexByte(b));
}

size_t Tokenizer::stepLine(const uint8_t* p, size_t n) {
  size_t limit = std::min(n, kMaxLine);
  const void* lf = std::memchr(p, '\n', limit);
  if (!lf) {
    if (n >= kMaxLine) return fail(offset_, "a header or PJL line longer than 4096 bytes");
    return need_ = n + 1, 0;
  }
  size_t length = static_cast<const uint8_t*>(lf) - p;
  token_.offset = offset_;
  token_.end = offset_ + length + 1;
  if (mode_ == Mode::Pjl) {
    token_.kind = TokenKind::Pjl;
    token_.text.assign(reinterpret_cast<const char*>(p), length);
    if (!token_.text.empty() && token_.text.back() == '\r') token_.text.pop_back();
    languageEntered_ = entersLanguage(token_.text);
    sink_.token(token_);
    mode_ = Mode::Preamble;
    return length + 1;
  }
  if (length < 2 || p[1] != ' ') return fail(offset_ + 1, "the binding byte must be followed by a space");
  token_.kind = TokenKind::Header;
  token_.text.assign(reinterpret_cast<const char*>(p + 2), length - 2);
  while (!token_.text.empty() && (token_.text.back() == '\r' || token_.text.back() == '\0')) token_.text.pop_back();
  if (!beginsNoCase(token_.text, "HP-PCL XL"))  // printers take any case
    return fail(offset_ + 2, "the stream header does not begin \"HP-PCL XL\"");
  languageEntered_ = false;
  bigEndian_ = p[0] == '(';
  sawHeader_ = true;
  sink_.token(token_);
  mode_ = Mode::Body;
  return length + 1;
}

size_t Tokenizer::stepBody(const uint8_t* p, size_t n) {
  uint8_t b = p[0];
  if (isWhitespace(b)) return 1;
  token_.offset = offset_;
  if (auto tag = valueTag(b)) {
    auto [type, shape] = *tag;
    size_t es = sizeOf(type);
    size_t count = shape == Shape::Scalar ? 1 : shape == Shape::XY ? 2 : shape == Shape::Box ? 4 : 0;
    size_t head = 1;
    if (shape == Shape::Array) {
      if (n < 2) return need_ = 2, 0;
      if (p[1] != 0xC0 && p[1] != 0xC1) return fail(offset_ + 1, "an array length must be a ubyte or uint16 value");
      size_t lengthBytes = p[1] == 0xC0 ? 1 : 2;
      head = 2 + lengthBytes;
      if (n < head) return need_ = head, 0;
      count = lengthBytes == 1 ? p[2] : static_cast<size_t>(element(p + 2, DataType::UInt16));
    }
    size_t total = head + count * es;
    if (n < total) return need_ = total, 0;
    token_.kind = TokenKind::Value;
    token_.value.type = type;
    token_.value.shape = shape;
    token_.value.items.resize(count);
    for (size_t i = 0; i < count; ++i) token_.value.items[i] = element(p + head + i * es, type);
    token_.end = offset_ + total;
    sink_.token(token_);
    return total;
  }
  switch (b) {
    case kAttrByte:
    case kAttrUInt16: {
      size_t total = b == kAttrByte ? 2 : 3;
      if (n < total) return need_ = total, 0;
      token_.kind = TokenKind::Attribute;
      token_.attribute = b == kAttrByte ? p[1] : static_cast<uint16_t>(element(p + 1, DataType::UInt16));
      token_.end = offset_ + total;
      sink_.token(token_);
      return total;
    }
    case kDataLong:
    case kDataShort: {
      size_t total = b == kDataLong ? 5 : 2;
      if (n < total) return need_ = total, 0;
      token_.kind = TokenKind::Data;
      token_.dataLength = b == kDataLong ? word32(p + 1) : p[1];
      token_.end = offset_ + total;
      sink_.token(token_);
      dataLeft_ = token_.dataLength;
      if (dataLeft_ > 0) mode_ = Mode::Data;
      else sink_.dataEnd();
      return total;
    }
    case 0x1B:
      if (n < kUelSize) return need_ = kUelSize, 0;
      if (std::memcmp(p, kUel, kUelSize) != 0) return fail(offset_, "ESC that does not begin a UEL");
      token_.kind = TokenKind::Uel;
      token_.end = offset_ + kUelSize;
      sink_.token(token_);
      mode_ = Mode::Preamble;
      return kUelSize;
    default:
      if (operatorName(b).empty()) return fail(offset_, "unexpected byte " + hexByte(b) + " where a token belongs");
      token_.kind = TokenKind::Operator;
      token_.op = b;
      token_.end = offset_ + 1;
      sink_.token(token_);
      return 1;
  }
}

}  // namespace pclxl
