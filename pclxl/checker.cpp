#include "pclxl/checker.h"

#include <algorithm>
#include <cstdio>

#include "pclxl/numbers.h"
#include "pclxl/rules.h"

namespace pclxl {

namespace {

std::string name(uint8_t o) { return std::string(operatorName(o)); }

std::string numberText(double v) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", v);
  return text;
}

}  // namespace

// An attribute's value as a count: 0 when missing or not a whole number.
static uint64_t count(const Command& c, uint16_t id, uint64_t missing = 0) {
  const Attribute* a = c.find(id);
  if (!a) return missing;
  double v = a->value.number();
  return v >= 0 && v < 4294967296.0 ? static_cast<uint64_t>(v) : 0;
}

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
      // A UEL ends the job: a printer closes a session left open between
      // pages (a page left open is lost).
      if (depth_ == 0 && inSession_ && !inPage_ && !inStream_) {
        inSession_ = false;
        dataSource_ = false;
        fonts_.clear();
        streams_.clear();
      }
      [[fallthrough]];
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
        attributes_.push_back(std::move(value_));
        value_.value.items = takeSpareItems();
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
      dataArrives(t);
      if (onData) onData(t.offset, t.dataLength, depth_);
      lastWasOperator_ = false;
      return;
  }
  dataMissing();
  lastWasOperator_ = false;
}

// A printer reads exactly the bytes an operator's attributes announce: fewer
// leave it short (MissingData), more are read as operators (ExtraData).
void Checker::dataArrives(const Token& t) {
  if (depth_ == 0 && !dataSource_ && lastWasOperator_)
    problem(t.offset, name(lastOperator_) + " reads embedded data without an open data source (DataSourceNotOpen)");
  if (expected_.refused && lastWasOperator_ && expected_.op == lastOperator_)
    problem(t.offset, name(lastOperator_) + " has embedded data its attributes do not announce (ExtraData)");
  expected_.refused = false;
  if (!expected_.active) return;
  expected_.active = false;
  if (expected_.op == op::ReadStream) readingStream_ = true;
  if (expected_.op == op::ReadChar) {
    char_ = CharacterHeader{true, t.offset, {}};
    if (t.dataLength == 0) dataEnd();
  }
  if (expected_.rows) {
    rle_ = RunLengths{};
    rle_.active = true;
    rle_.needed = expected_.rowBytes;
    rle_.at = t.offset;
    rle_.op = expected_.op;
    if (t.dataLength == 0) dataEnd();
  }
  if (!expected_.exact || t.dataLength == expected_.length) return;
  problem(t.offset, name(expected_.op) + "'s data is " + std::to_string(t.dataLength) + " bytes, " + expected_.what +
                        " " + std::to_string(expected_.length) +
                        (t.dataLength < expected_.length ? " (MissingData)" : " (ExtraData)"));
}

void Checker::dataMissing() {
  if (!expected_.active) return;
  expected_.active = false;
  problem(expected_.at, name(expected_.op) + " without its embedded data (MissingData)");
}

void Checker::data(const uint8_t* bytes, size_t size, uint64_t offset) {
  if (rle_.active) decodeRunLengths(bytes, size);
  if (char_.active && char_.bytes.size() < 2)
    char_.bytes.append(reinterpret_cast<const char*>(bytes), std::min<size_t>(size, 2 - char_.bytes.size()));
  if (!readingStream_ || !nestedTokenizer_) return;
  nestedMap_.push_back({nestedFed_, offset});
  nestedFed_ += size;
  nestedTokenizer_->feed(bytes, size);
}

// Counts what PackBits runs give, without keeping the rows.
void Checker::decodeRunLengths(const uint8_t* p, size_t n) {
  // On copies: the bytes may alias any member, which keeps a loop over them
  // from holding state in registers.
  uint64_t given = rle_.given, literal = rle_.literal;
  const uint64_t needed = rle_.needed;
  bool repeat = rle_.repeat, extra = rle_.extra;
  size_t i = 0;
  if (literal) {
    uint64_t k = std::min<uint64_t>(literal, n);
    literal -= k;
    i += k;
  } else if (repeat && n) {
    repeat = false;
    ++i;
  }
  while (i < n) {
    if (given >= needed) {
      extra = true;
      break;
    }
    uint8_t c = p[i++];
    if (c < 128) {  // c + 1 bytes as they are
      given += c + 1u;
      uint64_t k = std::min<uint64_t>(c + 1u, n - i);
      i += k;
      literal = c + 1u - k;
    } else if (c > 128) {  // the next byte, 257 - c times
      given += 257u - c;
      if (i < n) ++i;
      else repeat = true;
    }
  }
  rle_.given = given;
  rle_.literal = literal;
  rle_.repeat = repeat;
  rle_.extra = extra;
}

void Checker::dataEnd() {
  readingStream_ = false;
  if (char_.active) {
    char_.active = false;
    // Format 0; class 0 a bitmap, 1 and 2 TrueType outlines.
    if (char_.bytes.size() < 2 || char_.bytes[0] != 0 || static_cast<uint8_t>(char_.bytes[1]) > 2)
      problem(char_.at, "ReadChar's data is no character of format 0, class 0 to 2 (UnsupportedCharacterClass)");
  }
  if (!rle_.active) return;
  rle_.active = false;
  if (rle_.given < rle_.needed || rle_.literal || rle_.repeat)
    problem(rle_.at, name(rle_.op) + "'s run-length data gives " + std::to_string(rle_.given) + " bytes of its rows' " +
                         std::to_string(rle_.needed) + " (MissingData)");
  else if (rle_.given > rle_.needed || rle_.extra)
    problem(rle_.at, name(rle_.op) + "'s run-length data goes on past its rows' " + std::to_string(rle_.needed) +
                         " bytes (ExtraData)");
}

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
  dataMissing();
  if (haveValue_) {
    problem(value_.offset, "a value without its attribute id before " + name(t.op));
    haveValue_ = false;
  }
  Command& c = command_;
  recycle(c.attributes);
  c.attributes.swap(attributes_);
  c.op = t.op;
  c.opOffset = t.offset;
  c.start = c.attributes.empty() ? t.offset : commandStart_;
  c.end = t.end;
  c.depth = depth_;
  ++summary_.operators;
  checkAttributes(c);

  if (!inPage_ && !allowedOutsidePage(c.op)) problem(c.opOffset, name(c.op) + " outside a page");
  if (!inSession_ && c.op != op::BeginSession && depth_ == 0 && c.op != op::Comment)
    problem(c.opOffset, name(c.op) + " outside a session");
  followStructure(c);
  followSequences(c);
  followDataSource(c);
  followFonts(c);
  followStreams(c);
  followGraphicsState(c);
  followImage(c);
  followCursor(c);
  expected_ = ExpectedData{};
  expectData(c);
  if (onCommand) onCommand(c);
}

// The values of the last command's attributes keep their storage for the
// next ones: a stream of any length is read without an allocation per
// attribute.
void Checker::recycle(std::vector<Attribute>& attributes) {
  constexpr size_t kMaxSpare = 64;
  for (auto& a : attributes)
    if (spareItems_.size() < kMaxSpare) spareItems_.push_back(std::move(a.value.items));
  attributes.clear();
}

std::vector<double> Checker::takeSpareItems() {
  if (spareItems_.empty()) return {};
  std::vector<double> items = std::move(spareItems_.back());
  spareItems_.pop_back();
  return items;
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
      if (!c.find(attr::StreamDataLength)) problem(c.opOffset, "ReadStream without a StreamDataLength");
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
      gs_.back().palette = c.find(attr::PaletteData) != nullptr;
      break;
    case op::BeginImage:
    case op::BeginRastPattern:
      if (count(c, attr::ColorMapping) == 1 && !gs_.back().palette)
        problem(c.opOffset, name(c.op) + " of palette indices without a palette (MissingPalette)");
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

// Between Begin and End only the group's Read: a printer refuses anything
// else (IllegalOperatorSequence).
void Checker::followSequences(const Command& c) {
  const SequenceRule* rule = sequenceOf(c.op);
  if (sequence_) {
    const SequenceRule* open = sequenceOf(sequence_);
    if (c.op == open->read) {
      sequenceRead_ = true;
      return;
    }
    if (c.op == open->end) {
      if (c.op == op::EndFontHeader && !sequenceRead_)
        problem(c.opOffset, "EndFontHeader of a font header with no ReadFontHeader (IllegalFontData)");
      sequence_ = 0;
      return;
    }
    problem(c.opOffset,
            name(c.op) + " inside " + name(open->begin) + " ... " + name(open->end) + " (IllegalOperatorSequence)");
    sequence_ = 0;
  }
  if (!rule) return;
  if (c.op == rule->begin) sequence_ = c.op, sequenceRead_ = false;
  else problem(c.opOffset, name(c.op) + " without " + name(rule->begin) + " (IllegalOperatorSequence)");
}

void Checker::followDataSource(const Command& c) {
  if (depth_ > 0) return;  // a stream reads through the data source of the page that plays it
  if (c.op == op::OpenDataSource) {
    if (dataSource_) problem(c.opOffset, "OpenDataSource while the data source is open (DataSourceNotClosed)");
    dataSource_ = true;
  } else if (c.op == op::CloseDataSource) {
    if (!dataSource_) problem(c.opOffset, "CloseDataSource without an open data source (DataSourceNotOpen)");
    dataSource_ = false;
  } else if (c.op == op::EndSession) {
    dataSource_ = false;
  }
}

// The rows ReadImage and ReadRastPattern may give, and the bytes of each.
void Checker::followImage(const Command& c) {
  if (c.op == op::BeginImage || c.op == op::BeginRastPattern) {
    uint8_t space = gs_.empty() ? 0 : gs_.back().colorSpace;
    unsigned bits = pixelBits(count(c, attr::ColorDepth, 99), count(c, attr::ColorMapping, 99), space);
    image_ = {bits * count(c, attr::SourceWidth), count(c, attr::SourceHeight), 0};
    if (!bits)
      problem(c.opOffset, name(c.op) + " with a ColorDepth or ColorMapping out of range (IllegalAttributeValue)");
  } else if (c.op == op::ReadImage || c.op == op::ReadRastPattern) {
    uint64_t first = count(c, attr::StartLine), rows = count(c, attr::BlockHeight);
    if (first + rows > image_.height)
      problem(c.opOffset, name(c.op) + " reads rows " + std::to_string(first) + " to " + std::to_string(first + rows) +
                              " of an image of " + std::to_string(image_.height) + " (IllegalAttributeValue)");
  }
}

// A page starts without a current cursor, and what ends the path clears it
// (PaintPath and the graphics state stack keep it); a path drawn from it,
// an image or text needs one (CurrentCursorUndefined).
void Checker::followCursor(const Command& c) {
  if (depth_ > 0) return;  // a stream draws from the cursor of the page that plays it
  if (clearsCursor(c.op)) cursor_ = false;
  if (drawsFromCursor(c.op) && !cursor_)
    problem(c.opOffset, name(c.op) + " without a current cursor (CurrentCursorUndefined)");
  if (leavesCursor(c.op) || drawsFromCursor(c.op)) cursor_ = true;
}

// The embedded data an operator's attributes announce.
void Checker::expectData(const Command& c) {
  ExpectedData e;
  e.at = c.opOffset;
  e.op = c.op;
  auto exactly = [&](uint64_t length, std::string what) {
    e.active = e.exact = true;
    e.length = length;
    e.what = std::move(what);
  };
  switch (c.op) {
    case op::ReadStream: exactly(count(c, attr::StreamDataLength), "its StreamDataLength"); break;
    case op::ReadChar: exactly(count(c, attr::CharDataSize), "its CharDataSize"); break;
    case op::ReadFontHeader: exactly(count(c, attr::FontHeaderLength), "its FontHeaderLength"); break;
    case op::ReadImage:
    case op::ReadRastPattern: {
      uint64_t rows = count(c, attr::BlockHeight), pad = count(c, attr::PadBytesMultiple, 4);
      uint64_t rowBytes = (image_.rowBits + 7) / 8;
      if (pad > 1) rowBytes = (rowBytes + pad - 1) / pad * pad;
      uint64_t mode = count(c, attr::CompressMode);
      if (mode == 0 && !c.find(attr::BlockByteLength)) exactly(rowBytes * rows, "its rows");
      else if (c.find(attr::BlockByteLength)) exactly(count(c, attr::BlockByteLength), "its BlockByteLength");
      else e.active = true;  // compressed rows of a length the data itself gives
      if (mode == 1) {       // run lengths, decoded as they come to the rows' bytes
        e.rows = true;
        e.rowBytes = rowBytes * rows;
      }
      break;
    }
    case op::LinePath:
    case op::LineRelPath:
    case op::BezierPath:
    case op::BezierRelPath:
      if (!c.find(attr::NumberOfPoints)) {  // its points are attributes: data after it is not its
        e.refused = true;
        expected_ = e;
        return;
      }
      if (!pointBytes(count(c, attr::PointType, 99)))
        problem(c.opOffset, name(c.op) + " without a PointType it can read (IllegalAttributeValue)");
      exactly(count(c, attr::NumberOfPoints) * 2 * pointBytes(count(c, attr::PointType, 99)),
              "its NumberOfPoints × PointType");
      break;
    default: return;  // data of any length, if any (PassThrough, Text)
  }
  expected_ = e;
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
  for (auto& a : c.attributes) {
    const ValueRange* range = valueRange(a.id);
    if (!range || a.value.shape != Shape::Scalar) continue;
    double v = a.value.number();
    if (v < range->lowest || v > range->highest)
      problem(a.offset, std::string(attributeName(a.id)) + " " + numberText(v) + " is out of range (" +
                            numberText(range->lowest) + " to " + numberText(range->highest) +
                            ", IllegalAttributeValue)");
  }
  if (c.op == op::SetBrushSource || c.op == op::SetPenSource) {
    int sources = static_cast<int>(std::count_if(c.attributes.begin(), c.attributes.end(),
                                                 [](const Attribute& a) { return isPaintSource(a.id); }));
    if (sources != 1)
      problem(c.opOffset, name(c.op) + (sources ? " with more than one paint source (IllegalAttributeCombination)"
                                                : " without a paint source (MissingAttribute)"));
  }
  if ((c.op == op::LinePath || c.op == op::LineRelPath) && !c.find(attr::EndPoint) && !c.find(attr::NumberOfPoints))
    problem(c.opOffset, name(c.op) + " needs EndPoint or NumberOfPoints (MissingAttribute)");
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
