#include "pclxl/checker.h"

#include <algorithm>
#include <cstdio>

#include "pclxl/numbers.h"
#include "pclxl/rules.h"

namespace pclxl {

namespace {

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
        if (attributeName(t.attribute).empty())
          problem(t.offset, "unknown attribute id " + std::to_string(t.attribute));
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
  nestedEffects_ = std::move(nested_->fontEffects_);
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
  checkAttributes(c);

  if (!inPage_ && !allowedOutsidePage(c.op)) problem(c.opOffset, name(c.op) + " outside a page");
  if (!inSession_ && c.op != op::BeginSession && depth_ == 0 && c.op != op::Comment)
    problem(c.opOffset, name(c.op) + " outside a session");
  followStructure(c);
  followFonts(c);
  followStreams(c);
  followGraphicsState(c);
  if (onCommand) onCommand(c);
}

void Checker::followStructure(const Command& c) {
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
      // What a session defined ends with it.
      fonts_.clear();
      streams_.clear();
      break;
    case op::BeginPage: {
      if (depth_ > 0) {
        problem(c.opOffset, "BeginPage inside a stream");
        break;
      }
      if (inPage_) problem(c.opOffset, "BeginPage inside a page: pages do not nest");
      inPage_ = true;
      gs_.assign(1, GraphicsState{});
      ++summary_.pages;
      const Attribute* o = c.find(attr::Orientation);
      int orientation =
          o && o->value.number() >= 0 && o->value.number() < 256 ? saturatingCast<int>(o->value.number()) : 0;
      pages_.push_back({c.start, 0, orientation});
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
      if (gs_.size() > 1)
        warnings_.push_back({c.opOffset, std::to_string(gs_.size() - 1) + " graphics states still pushed at EndPage"});
      inPage_ = false;
      if (!pages_.empty()) pages_.back().end = c.end;
      break;
    default: break;
  }
}

namespace {

std::string quoted(const std::vector<double>& name) {
  std::string s = "\"";
  for (double c : name) s += c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?';
  return s + "\"";
}

constexpr uint8_t kUnknownSpace = 255;  // a ColorSpace value out of range

std::string spaceName(uint8_t space) {
  std::string_view known = enumName(attr::ColorSpace, space);
  return known.empty() ? "unknown" : std::string(known);
}

std::vector<double> nameIn(const Command& c, uint16_t id) {
  const Attribute* a = c.find(id);
  return a ? a->value.items : std::vector<double>();
}

}  // namespace

// Downloaded fonts live for the session, whatever page defines them; the
// current font belongs to the graphics state. A stream's content is judged
// where it is defined, not where it is played, so it is not followed here.
void Checker::followFonts(const Command& c) {
  FontEffect e{c.op, {}};
  switch (c.op) {
    case op::BeginFontHeader:
    case op::BeginChar:
    case op::RemoveFont:
    case op::SetFont: e.name = nameIn(c, attr::FontName); break;
    case op::Text:
    case op::TextPath: break;
    case op::ExecStream:
      if (depth_ == 0) return;  // followStreams plays it
      e.name = nameIn(c, attr::StreamName);
      break;
    default: return;
  }
  if (depth_ > 0) fontEffects_.push_back(std::move(e));
  else applyFont(e, c.opOffset, "");
}

// `where` names the stream being played, for the problems it causes.
void Checker::applyFont(const FontEffect& e, uint64_t at, const std::string& where, int plays) {
  const std::vector<double>& font = e.name;
  switch (e.op) {
    case op::BeginFontHeader:
      if (!fonts_.insert(font).second)
        problem(at, where + "font " + quoted(font) + " is defined again in the session (FontNameAlreadyExists)");
      break;
    case op::BeginChar:
      if (!fonts_.count(font))
        problem(at, where + "BeginChar for font " + quoted(font) +
                        ", which is not defined (the printer fails at BeginChar)");
      break;
    case op::RemoveFont:
      if (!fonts_.erase(font))
        problem(at, where + "RemoveFont of font " + quoted(font) + ", which is not defined (UndefinedFontNotRemoved)");
      for (auto& state : gs_)
        if (state.font == font) state.hasFont = false;
      break;
    case op::SetFont:
      if (!fonts_.count(font) && !isResidentFont(font))
        problem(at, where + "SetFont of font " + quoted(font) +
                        ", which is neither defined nor resident (the printer substitutes Courier)");
      if (!gs_.empty()) {
        gs_.back().hasFont = true;
        gs_.back().font = font;
      }
      break;
    case op::Text:
    case op::TextPath:
      if (!gs_.empty() && !gs_.back().hasFont)
        problem(at, where + name(e.op) + " without a current font (NoCurrentFont)");
      break;
    case op::ExecStream:  // a stream that plays another
      if (auto it = streams_.find(font); it != streams_.end() && plays < 8)
        for (auto& inner : it->second) applyFont(inner, at, where, plays + 1);
      break;
    default: break;
  }
}

void Checker::followStreams(const Command& c) {
  switch (c.op) {
    case op::BeginStream: {
      if (inStream_) problem(c.opOffset, "BeginStream inside a stream definition");
      const Attribute* n = c.find(attr::StreamName);
      if (!n) problem(c.opOffset, "BeginStream without a StreamName");
      streamName_ = n ? n->value.items : std::vector<double>();
      if (n && streams_.count(streamName_))
        problem(c.opOffset, "stream " + quoted(streamName_) + " is defined again while it exists");
      inStream_ = true;
      streamHasContent_ = false;
      beginNested();
      break;
    }
    case op::ReadStream: {
      if (!inStream_) problem(c.opOffset, "ReadStream outside BeginStream ... EndStream");
      const Attribute* length = c.find(attr::StreamDataLength);
      if (!length) problem(c.opOffset, "ReadStream without a StreamDataLength");
      expectReadStream_ = true;
      double n = length ? length->value.number() : 0;  // a real32 is refused above but must not overflow here
      readStreamLength_ = n > 0 ? saturatingCast<uint32_t>(n) : 0;
      readStreamOffset_ = c.opOffset;
      streamHasContent_ = true;
      break;
    }
    case op::EndStream:
      if (!inStream_) {
        problem(c.opOffset, "EndStream without BeginStream");
        break;
      }
      if (!streamHasContent_)
        problem(c.opOffset, "stream " + quoted(streamName_) +
                                " is defined without content (no ReadStream: the interpreter fails when it is played)");
      nestedEffects_.clear();
      endNested(c.opOffset);
      streams_[streamName_] = std::move(nestedEffects_);
      inStream_ = false;
      break;
    case op::ExecStream: {
      const Attribute* n = c.find(attr::StreamName);
      auto played = n ? streams_.find(n->value.items) : streams_.end();
      if (played == streams_.end()) {
        problem(c.opOffset, "ExecStream of a stream not defined before (StreamUndefined)");
        break;
      }
      // Its fonts are the session's, as the page's own are.
      if (depth_ == 0)
        for (auto& e : played->second) applyFont(e, c.opOffset, "ExecStream of stream " + quoted(played->first) + ": ");
      break;
    }
    case op::RemoveStream: {
      std::vector<double> stream = nameIn(c, attr::StreamName);
      if (!streams_.erase(stream))
        problem(c.opOffset, "RemoveStream of stream " + quoted(stream) + ", which is not defined (StreamUndefined)");
      break;
    }
    default: break;
  }
}

// A page starts with no colour space of its own; a colour given in a space
// the page has not selected, or in another one, is refused. PushGS and
// PopGS save and restore it with the font.
void Checker::followGraphicsState(const Command& c) {
  if (depth_ > 0 || gs_.empty() || !inPage_) return;
  switch (c.op) {
    case op::PushGS: gs_.push_back(gs_.back()); break;
    case op::PopGS:
      if (gs_.size() == 1) problem(c.opOffset, "PopGS without a matching PushGS");
      else gs_.pop_back();
      break;
    case op::SetColorSpace:
      if (const Attribute* space = c.find(attr::ColorSpace)) {
        double v = space->value.number();
        gs_.back().colorSpace = v >= 1 && v <= 255 ? static_cast<uint8_t>(v) : kUnknownSpace;
      }
      break;
    case op::SetBrushSource:
    case op::SetPenSource:
      for (auto& a : c.attributes) {
        uint8_t needed = colorSpaceOf(a.id);
        uint8_t current = gs_.back().colorSpace;
        if (!needed) continue;
        std::string what = name(c.op) + " " + std::string(attributeName(a.id));
        if (current == 0) problem(c.opOffset, what + " before a colour space is set");
        else if (current != needed && !(needed == kRGB && current == kSRGB))
          problem(c.opOffset, what + " in the " + spaceName(current) + " colour space (ColorSpaceMismatch)");
      }
      break;
    default: break;
  }
}

void Checker::checkAttributes(const Command& c) {
  for (auto& a : c.attributes) {
    const TypeRule* rule = typeRule(a.id);
    if (!rule) continue;
    if (!(rule->types & bit(a.value.type)) || !(rule->shapes & bit(a.value.shape))) {
      static constexpr const char* shapes[] = {"", " array", " xy", " box"};
      problem(a.offset, std::string(attributeName(a.id)) + " does not take a " + std::string(nameOf(a.value.type)) +
                            shapes[static_cast<int>(a.value.shape)] + " value");
    }
  }
  const OperatorRule* rule = operatorRule(c.op);
  if (!rule) return;
  auto takes = [&](uint16_t id) { return std::find(rule->takes.begin(), rule->takes.end(), id) != rule->takes.end(); };
  for (auto& a : c.attributes)
    if (!takes(a.id) && !attributeName(a.id).empty())
      problem(a.offset, name(c.op) + " does not take " + std::string(attributeName(a.id)) + " (IllegalAttribute)");
  for (uint16_t id : rule->needs)
    if (!c.find(id))
      problem(c.opOffset, name(c.op) + " needs " + std::string(attributeName(id)) + " (MissingAttribute)");
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
