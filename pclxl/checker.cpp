#include "pclxl/checker.h"

#include <cstdio>

namespace pclxl {

namespace {

constexpr unsigned bit(DataType t) { return 1u << static_cast<unsigned>(t); }
constexpr unsigned bit(Shape s) { return 1u << static_cast<unsigned>(s); }

constexpr unsigned kUByte = bit(DataType::UByte);
constexpr unsigned kInteger = bit(DataType::UByte) | bit(DataType::UInt16) | bit(DataType::UInt32) |
                              bit(DataType::SInt16) | bit(DataType::SInt32);
constexpr unsigned kNumber = kInteger | bit(DataType::Real32);
constexpr unsigned kScalar = bit(Shape::Scalar), kArray = bit(Shape::Array), kXY = bit(Shape::XY),
                   kBox = bit(Shape::Box);

// The data types and shapes the attributes of the common operators accept.
struct TypeRule {
  uint16_t attribute;
  unsigned types;
  unsigned shapes;
};

constexpr TypeRule kTypeRules[] = {
    {attr::Orientation, kUByte, kScalar},
    {attr::MediaSize, kUByte, kScalar | kArray},
    {attr::MediaSource, kUByte, kScalar},
    {attr::MediaType, kUByte, kArray},
    {attr::SimplexPageMode, kUByte, kScalar},
    {attr::DuplexPageMode, kUByte, kScalar},
    {attr::DuplexPageSide, kUByte, kScalar},
    {attr::PageCopies, kInteger, kScalar},
    {attr::Measure, kUByte, kScalar},
    {attr::UnitsPerMeasure, kNumber, kXY},
    {attr::ErrorReport, kUByte, kScalar},
    {attr::SourceType, kUByte, kScalar},
    {attr::DataOrg, kUByte, kScalar},
    {attr::ColorSpace, kUByte, kScalar},
    {attr::RGBColor, kNumber, kArray},
    {attr::GrayLevel, kNumber, kScalar},
    {attr::NullBrush, kUByte, kScalar},
    {attr::NullPen, kUByte, kScalar},
    {attr::PenWidth, kNumber, kScalar},
    {attr::ROP3, kUByte, kScalar},
    {attr::Point, kNumber, kXY},
    {attr::EndPoint, kNumber, kXY},
    {attr::ControlPoint1, kNumber, kXY},
    {attr::ControlPoint2, kNumber, kXY},
    {attr::PageOrigin, kNumber, kXY},
    {attr::PageScale, kNumber, kXY},
    {attr::PageAngle, kNumber, kScalar},
    {attr::BoundingBox, kNumber, kBox},
    {attr::FontName, kUByte, kArray},
    {attr::CharSize, kNumber, kScalar},
    {attr::SymbolSet, kInteger, kScalar},
    {attr::TextData, kUByte | bit(DataType::UInt16), kArray},
    {attr::CharAngle, kNumber, kScalar},
    {attr::ClipMode, kUByte, kScalar},
    {attr::FillMode, kUByte, kScalar},
    {attr::StreamName, kUByte | bit(DataType::UInt16), kArray},
    {attr::StreamDataLength, kInteger, kScalar},
};

const TypeRule* typeRule(uint16_t attribute) {
  for (auto& r : kTypeRules)
    if (r.attribute == attribute) return &r;
  return nullptr;
}

// Operators that may stand outside a page.
bool allowedOutsidePage(uint8_t o) {
  switch (o) {
    case op::BeginSession: case op::EndSession: case op::BeginPage: case op::EndPage: case op::Comment:
    case op::OpenDataSource: case op::CloseDataSource: case op::BeginFontHeader: case op::ReadFontHeader:
    case op::EndFontHeader: case op::BeginChar: case op::ReadChar: case op::EndChar: case op::RemoveFont:
    case op::BeginStream: case op::ReadStream: case op::EndStream: case op::RemoveStream:
    case op::PassThrough:
      return true;
    default:
      return false;
  }
}

std::string name(uint8_t o) { return std::string(operatorName(o)); }

}  // namespace

const Attribute* Command::find(uint16_t id) const {
  const Attribute* found = nullptr;
  for (auto& a : attributes)
    if (a.id == id) found = &a;
  return found;
}

// A nested stream stands inside a page of the stream that runs it.
Checker::Checker(int depth) : depth_(depth), inSession_(depth > 0), inPage_(depth > 0) {}

Checker::~Checker() = default;

void Checker::problem(uint64_t at, std::string message) { problems_.push_back({at, std::move(message)}); }

void Checker::token(const Token& t) {
  switch (t.kind) {
    case TokenKind::Uel:
    case TokenKind::Pjl:
    case TokenKind::Header:
      if (onText) onText(t, depth_);
      lastWasOperator_ = false;
      return;
    case TokenKind::Value:
      if (haveValue_) problem(value_.offset, "a value without its attribute id");
      if (!haveValue_ && attributes_.empty()) commandStart_ = t.offset;
      haveValue_ = true;
      value_.value = t.value;
      value_.offset = t.offset;
      break;
    case TokenKind::Attribute:
      if (!haveValue_) {
        problem(t.offset, "attribute id " + std::to_string(t.attribute) + " without a value");
      } else {
        value_.id = t.attribute;
        value_.end = t.end;
        if (attributeName(t.attribute).empty()) problem(t.offset, "unknown attribute id " + std::to_string(t.attribute));
        attributes_.push_back(value_);
        haveValue_ = false;
      }
      break;
    case TokenKind::Operator:
      command(t);
      lastWasOperator_ = true;
      lastOperator_ = t.op;
      return;
    case TokenKind::Data:
      if (!lastWasOperator_) problem(t.offset, "embedded data that follows no operator");
      else if (!takesEmbeddedData(lastOperator_)) problem(t.offset, name(lastOperator_) + " takes no embedded data");
      if (expectReadStream_) {
        expectReadStream_ = false;
        if (t.dataLength != readStreamLength_)
          problem(t.offset, "ReadStream's data is " + std::to_string(t.dataLength) + " bytes, its StreamDataLength " +
                                std::to_string(readStreamLength_));
        readingStream_ = true;
      }
      if (onData) onData(t.offset, t.dataLength, depth_);
      lastWasOperator_ = false;
      return;
  }
  if (expectReadStream_) {
    expectReadStream_ = false;
    problem(readStreamOffset_, "ReadStream without its embedded data");
  }
  lastWasOperator_ = false;
}

void Checker::data(const uint8_t* bytes, size_t size, uint64_t offset) {
  if (!readingStream_ || !nestedTokenizer_) return;
  nestedMap_.push_back({nestedFed_, offset});
  nestedFed_ += size;
  nestedTokenizer_->feed(bytes, size);
}

void Checker::dataEnd() { readingStream_ = false; }

void Checker::beginNested() {
  constexpr int kMaxDepth = 8;  // streams that define streams, far deeper than any printer takes
  if (depth_ + 1 >= kMaxDepth) {
    problem(commandStart_, "streams nested more than 8 deep");
    return;
  }
  nested_ = std::make_unique<Checker>(depth_ + 1);
  nested_->onCommand = onCommand;
  nested_->onData = onData;
  nested_->onText = onText;
  nestedTokenizer_ = std::make_unique<Tokenizer>(*nested_);
  nestedFed_ = 0;
  nestedMap_.clear();
}

// The defined stream is checked as a stream of its own; its problems are
// reported at the outer offsets of the bytes concerned.
void Checker::endNested(uint64_t at) {
  if (!nested_) return;
  nestedTokenizer_->finish();
  nested_->finish(nestedTokenizer_->offset(), nestedTokenizer_->error());
  auto outer = [&](uint64_t inner) {
    uint64_t result = at;
    for (auto& [from, to] : nestedMap_)
      if (inner >= from) result = to + (inner - from);
    return result;
  };
  for (auto& p : nested_->problems()) problem(outer(p.offset), "in the stream: " + p.message);
  for (auto& w : nested_->warnings()) warnings_.push_back({outer(w.offset), "in the stream: " + w.message});
  summary_.operators += nested_->summary().operators;
  nested_.reset();
  nestedTokenizer_.reset();
}

void Checker::command(const Token& t) {
  if (expectReadStream_) {
    expectReadStream_ = false;
    problem(readStreamOffset_, "ReadStream without its embedded data");
  }
  if (haveValue_) {
    problem(value_.offset, "a value without its attribute id before " + name(t.op));
    haveValue_ = false;
  }
  Command c;
  c.op = t.op;
  c.opOffset = t.offset;
  c.start = attributes_.empty() ? t.offset : commandStart_;
  c.end = t.end;
  c.depth = depth_;
  c.attributes = std::move(attributes_);
  attributes_.clear();
  ++summary_.operators;
  checkTypes(c);

  if (!inPage_ && !allowedOutsidePage(c.op)) problem(c.opOffset, name(c.op) + " outside a page");
  if (!inSession_ && c.op != op::BeginSession && depth_ == 0 && c.op != op::Comment)
    problem(c.opOffset, name(c.op) + " outside a session");

  switch (c.op) {
    case op::BeginSession:
      if (depth_ > 0) problem(c.opOffset, "BeginSession inside a stream");
      else if (inSession_) problem(c.opOffset, "BeginSession inside a session");
      inSession_ = true;
      ++summary_.sessions;
      break;
    case op::EndSession:
      if (depth_ > 0) problem(c.opOffset, "EndSession inside a stream");
      else if (inPage_) problem(c.opOffset, "EndSession inside a page");
      inSession_ = false;
      inPage_ = false;
      break;
    case op::BeginPage: {
      if (depth_ > 0) {
        problem(c.opOffset, "BeginPage inside a stream");
        break;
      }
      if (inPage_) problem(c.opOffset, "BeginPage inside a page: pages do not nest");
      inPage_ = true;
      gsDepth_ = 0;
      ++summary_.pages;
      const Attribute* o = c.find(attr::Orientation);
      pages_.push_back({c.start, 0, o ? static_cast<int>(o->value.number()) : 0});
      break;
    }
    case op::EndPage:
      if (depth_ > 0) {
        problem(c.opOffset, "EndPage inside a stream");
        break;
      }
      if (!inPage_) {
        problem(c.opOffset, "EndPage without BeginPage");
        break;
      }
      if (gsDepth_ > 0)
        warnings_.push_back({c.opOffset, std::to_string(gsDepth_) + " graphics states still pushed at EndPage"});
      inPage_ = false;
      if (!pages_.empty()) pages_.back().end = c.end;
      break;
    case op::PushGS: ++gsDepth_; break;
    case op::PopGS:
      if (gsDepth_ == 0 && depth_ == 0) problem(c.opOffset, "PopGS without a matching PushGS");
      else if (gsDepth_ > 0) --gsDepth_;
      break;
    case op::BeginStream: {
      if (inStream_) problem(c.opOffset, "BeginStream inside a stream definition");
      const Attribute* n = c.find(attr::StreamName);
      if (!n) problem(c.opOffset, "BeginStream without a StreamName");
      streamName_ = n ? n->value.items : std::vector<double>();
      inStream_ = true;
      beginNested();
      break;
    }
    case op::ReadStream: {
      if (!inStream_) problem(c.opOffset, "ReadStream outside BeginStream ... EndStream");
      const Attribute* length = c.find(attr::StreamDataLength);
      if (!length) problem(c.opOffset, "ReadStream without a StreamDataLength");
      expectReadStream_ = true;
      readStreamLength_ = length ? static_cast<uint64_t>(length->value.number()) : 0;
      readStreamOffset_ = c.opOffset;
      break;
    }
    case op::EndStream:
      if (!inStream_) {
        problem(c.opOffset, "EndStream without BeginStream");
        break;
      }
      endNested(c.opOffset);
      streams_.insert(streamName_);
      inStream_ = false;
      break;
    case op::ExecStream: {
      const Attribute* n = c.find(attr::StreamName);
      if (!n || !streams_.count(n->value.items)) problem(c.opOffset, "ExecStream of a stream not defined before");
      break;
    }
    case op::RemoveStream:
      if (const Attribute* n = c.find(attr::StreamName)) streams_.erase(n->value.items);
      break;
    default: break;
  }
  if (onCommand) onCommand(c);
}

void Checker::checkTypes(const Command& c) {
  for (auto& a : c.attributes) {
    const TypeRule* rule = typeRule(a.id);
    if (!rule) continue;
    if (!(rule->types & bit(a.value.type)) || !(rule->shapes & bit(a.value.shape))) {
      static constexpr const char* shapes[] = {"", " array", " xy", " box"};
      problem(a.offset, std::string(attributeName(a.id)) + " does not take a " + std::string(nameOf(a.value.type)) +
                            shapes[static_cast<int>(a.value.shape)] + " value");
    }
  }
}

void Checker::finish(uint64_t end, const Problem* broken) {
  summary_.bytes = end;
  if (broken) problem(broken->offset, broken->message);
  if (haveValue_) problem(value_.offset, "a value left over at the end of the stream");
  if (!attributes_.empty()) problem(attributes_.front().offset, "an attribute list left over at the end of the stream");
  if (inStream_) {
    endNested(end);
    problem(end, "the stream ends inside a stream definition");
  }
  if (depth_ == 0 && !broken) {
    if (inPage_) problem(end, "the stream ends inside a page");
    else if (inSession_) problem(end, "the stream ends inside a session");
  }
}

void checkStream(Checker& checker, const std::function<size_t(uint8_t*, size_t)>& read) {
  Tokenizer tokenizer(checker);
  std::vector<uint8_t> buffer(64 * 1024);
  while (size_t n = read(buffer.data(), buffer.size()))
    if (!tokenizer.feed(buffer.data(), n)) break;
  if (!tokenizer.error()) tokenizer.finish();
  checker.finish(tokenizer.offset(), tokenizer.error());
}

}  // namespace pclxl
