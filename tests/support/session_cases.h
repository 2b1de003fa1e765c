// Small streams on the state a printer keeps across a session: fonts,
// streams, colour spaces, the attributes operators take. Each either prints
// or is refused with the reason a printer gives. The checker's tests judge
// them; where a PCL XL interpreter is at hand it is asked too, so that the
// list stays true to what a printer does.
#pragma once

#include <string>
#include <vector>

#include "pclxl/rules.h"
#include "support/pxl_builder.h"

namespace test {

struct SessionCase {
  const char* label;
  std::string bytes;
  const char* problem;  // a part of the checker's first problem; null: the stream prints
};

inline std::vector<SessionCase> sessionCases() {
  using pclxl::DataType;
  using pclxl::Writer;
  namespace attr = pclxl::attr;
  namespace op = pclxl::op;
  using Body = std::function<void(Writer&)>;

  auto setFont = [](Writer& w, const char* name) {
    w.ubyteArray(name, attr::FontName).real32(100, attr::CharSize).uint16(629, attr::SymbolSet).op(op::SetFont);
  };
  auto text = [](Writer& w) {
    w.xy(DataType::UInt16, 600, 600, attr::Point).op(op::SetCursor);
    w.ubyteArray("A", attr::TextData).op(op::Text);
  };
  auto gray = [](Writer& w) { w.ubyte(pclxl::kGray, attr::ColorSpace).op(op::SetColorSpace); };
  auto brush = [](Writer& w) { w.ubyte(0, attr::GrayLevel).op(op::SetBrushSource); };
  auto defineStream = [](Writer& w) {
    std::string content = pclxl::headerLine("form");
    Writer(content).box(DataType::UInt16, 700, 700, 900, 900, attr::BoundingBox).op(op::Rectangle);
    w.ubyteArray("form", attr::StreamName).op(op::BeginStream);
    w.uint32(static_cast<uint32_t>(content.size()), attr::StreamDataLength).op(op::ReadStream).data(content);
    w.op(op::EndStream);
  };
  // A stream whose content draws `body` (fonts and text, say).
  auto defineStreamOf = [](const Body& body) {
    return [body](Writer& w) {
      std::string content = pclxl::headerLine("form");
      Writer inner(content);
      body(inner);
      w.ubyteArray("form", attr::StreamName).op(op::BeginStream);
      w.uint32(static_cast<uint32_t>(content.size()), attr::StreamDataLength).op(op::ReadStream).data(content);
      w.op(op::EndStream);
    };
  };
  auto play = [](Writer& w) { w.ubyteArray("form", attr::StreamName).op(op::ExecStream); };
  auto removeStream = [](Writer& w) { w.ubyteArray("form", attr::StreamName).op(op::RemoveStream); };

  // A stream: the session's beginning, `before` outside any page, pages.
  auto stream = [](const Body& before, std::initializer_list<Body> pages) {
    PxlBuilder b;
    b.begin();
    if (before) before(b.writer());
    for (auto& page : pages) b.page(page);
    return b.end().bytes();
  };
  auto all = [](std::initializer_list<Body> parts) {
    std::vector<Body> v(parts);
    return [v](Writer& w) {
      for (auto& part : v) part(w);
    };
  };
  auto font = [](Writer& w) {
    defineFont(w, "@");
    downloadChar(w, "@");
  };
  auto removeFont = [](Writer& w) { w.ubyteArray("@", attr::FontName).op(op::RemoveFont); };
  auto formText = [&](Writer& w) {
    setFont(w, "@");
    text(w);
  };

  return {
      {"a downloaded font used in a later page",
       stream({}, {all({gray, font, [&](Writer& w) { setFont(w, "@"); }, text}),
                   all({[&](Writer& w) { setFont(w, "@"); }, text})}),
       nullptr},
      {"a resident font", stream({}, {all({[&](Writer& w) { setFont(w, "Courier         "); }, text})}), nullptr},
      {"a character downloaded again",
       stream(all({font, [&](Writer& w) { downloadChar(w, "@"); }}),
              {all({[&](Writer& w) { setFont(w, "@"); }, text})}),
       nullptr},
      {"a font defined twice", stream(all({font, font}), {}), "FontNameAlreadyExists"},
      {"characters for a font not defined", stream({}, {[&](Writer& w) { downloadChar(w, "@"); }}),
       "the printer fails at BeginChar"},
      {"a font used before its definition", stream({}, {all({[&](Writer& w) { setFont(w, "@"); }, text, font})}),
       "the printer substitutes Courier"},
      {"a font removed, then defined again",
       stream(all({font, [](Writer& w) { w.ubyteArray("@", attr::FontName).op(op::RemoveFont); }, font}), {}), nullptr},
      {"a font removed that was never defined",
       stream([](Writer& w) { w.ubyteArray("Q", attr::FontName).op(op::RemoveFont); }, {}), "UndefinedFontNotRemoved"},
      {"text after the current font is removed",
       stream(font, {all({[&](Writer& w) { setFont(w, "@"); },
                          [](Writer& w) { w.ubyteArray("@", attr::FontName).op(op::RemoveFont); }, text})}),
       "NoCurrentFont"},
      {"text in a page without a font", stream(font, {text}), "NoCurrentFont"},
      {"a stream defined, played and removed in every page",
       stream({}, {all({defineStream, play, removeStream}), all({defineStream, play, removeStream})}), nullptr},
      // Fonts follow a stream into the session when it is played.
      {"a stream that defines a font, played in two pages",
       stream({}, {all({defineStreamOf(all({font, formText})), play, removeStream}),
                   all({defineStreamOf(all({font, formText})), play, removeStream})}),
       "FontNameAlreadyExists"},
      {"a stream that defines a font and removes it, played in two pages",
       stream({}, {all({defineStreamOf(all({font, formText, removeFont})), play, removeStream}),
                   all({defineStreamOf(all({font, formText, removeFont})), play, play, removeStream})}),
       nullptr},
      {"a stream that defines a font the page defines too",
       stream({}, {all({defineStreamOf(all({font, formText})), play, removeStream, font})}), "FontNameAlreadyExists"},
      {"a font a played stream defined, used after it",
       stream({}, {all({defineStreamOf(font), play, removeStream, formText}), formText}), nullptr},
      {"a stream that uses the session's font", stream(font, {all({defineStreamOf(formText), play, removeStream})}),
       nullptr},
      {"a stream that uses a font defined nowhere", stream({}, {all({defineStreamOf(formText), play, removeStream})}),
       "the printer substitutes Courier"},
      {"a stream of nothing but its header, played",
       stream({}, {all({defineStreamOf([](Writer&) {}), play, removeStream})}), nullptr},
      {"a stream defined without content, played",
       stream({}, {all({[](Writer& w) { w.ubyteArray("form", attr::StreamName).op(op::BeginStream).op(op::EndStream); },
                        play, removeStream})}),
       "without content"},
      {"a stream played after it was removed", stream({}, {all({defineStream, play, removeStream, play})}),
       "StreamUndefined"},
      {"a stream removed that was never defined", stream({}, {removeStream}), "StreamUndefined"},
      {"a stream removed outside a page", stream(all({defineStream, removeStream}), {}), "RemoveStream outside a page"},
      {"a grey brush before a colour space", stream({}, {brush}), "before a colour space is set"},
      {"an RGB brush in the grey colour space",
       stream({}, {all({gray,
                        [](Writer& w) {
                          w.array(DataType::UByte, {255, 0, 0}, attr::RGBColor).op(op::SetBrushSource);
                        }})}),
       "ColorSpaceMismatch"},
      {"a colour space that PopGS took back",
       stream({}, {all({[](Writer& w) { w.op(op::PushGS); }, gray, [](Writer& w) { w.op(op::PopGS); }, brush})}),
       "before a colour space is set"},
      {"a colour space of the page before", stream({}, {gray, brush}), "before a colour space is set"},
      {"PageCopies on SetPageDefaultCTM",
       stream({}, {[](Writer& w) { w.uint16(1, attr::PageCopies).op(op::SetPageDefaultCTM); }}), "IllegalAttribute"},
      {"SetCursor without its point", stream({}, {[](Writer& w) { w.op(op::SetCursor); }}), "MissingAttribute"},
      {"a colour space outside a page", stream(gray, {}), "SetColorSpace outside a page"},
      // Embedded data against what the attributes announce.
      {"a character whose data is shorter than its CharDataSize",
       stream(
           [](Writer& w) {
             defineFont(w, "short");
             w.ubyteArray("short", attr::FontName).op(op::BeginChar);
             std::string glyph = std::string("\x00\x00\x00\x00\x00\x08\x00\x08\x00\x08", 10) + std::string(8, '\xFF');
             w.ubyte('A', attr::CharCode).uint16(19, attr::CharDataSize).op(op::ReadChar).data(glyph);
             w.op(op::EndChar);
           },
           {{}}),
       "MissingData"},
      {"a ReadChar without its BeginChar",
       stream(
           [](Writer& w) {
             defineFont(w, "alone");
             std::string glyph = std::string("\x00\x00\x00\x00\x00\x08\x00\x08\x00\x08", 10) + std::string(8, '\xFF');
             w.ubyte('A', attr::CharCode).uint16(18, attr::CharDataSize).op(op::ReadChar).data(glyph);
           },
           {}),
       "IllegalOperatorSequence"},
      {"an uncompressed image with a row too many",
       stream({}, {all({gray,
                        [](Writer& w) {
                          w.xy(DataType::UInt16, 100, 100, attr::Point).op(op::SetCursor);
                          w.ubyte(0, attr::ColorDepth).ubyte(0, attr::ColorMapping);
                          w.uint16(8, attr::SourceWidth).uint16(2, attr::SourceHeight);
                          w.xy(DataType::UInt16, 80, 20, attr::DestinationSize).op(op::BeginImage);
                          w.uint16(0, attr::StartLine).uint16(2, attr::BlockHeight).ubyte(0, attr::CompressMode);
                          w.op(op::ReadImage).data(std::string(12, '\x0F'));  // two rows are 8 bytes
                          w.op(op::EndImage);
                        }})}),
       "ExtraData"},
      {"an image where the page has no cursor",
       stream({}, {all({gray,
                        [](Writer& w) {
                          w.op(op::NewPath);  // the page's rectangle left one
                          w.ubyte(0, attr::ColorDepth).ubyte(0, attr::ColorMapping);
                          w.uint16(8, attr::SourceWidth).uint16(1, attr::SourceHeight);
                          w.xy(DataType::UInt16, 80, 10, attr::DestinationSize).op(op::BeginImage);
                          w.uint16(0, attr::StartLine).uint16(1, attr::BlockHeight).ubyte(0, attr::CompressMode);
                          w.op(op::ReadImage).data(std::string(4, '\x0F'));
                          w.op(op::EndImage);
                        }})}),
       "CurrentCursorUndefined"},
      {"a line after NewPath took the cursor",
       stream({}, {[](Writer& w) {
                w.xy(DataType::UInt16, 100, 100, attr::Point).op(op::SetCursor).op(op::NewPath);
                w.xy(DataType::UInt16, 500, 500, attr::EndPoint).op(op::LinePath);
              }}),
       "CurrentCursorUndefined"},
      {"a line after PaintPath, which keeps the cursor",
       stream({}, {[](Writer& w) {
                w.xy(DataType::UInt16, 100, 100, attr::Point).op(op::SetCursor);
                w.xy(DataType::UInt16, 500, 500, attr::EndPoint).op(op::LinePath).op(op::PaintPath);
                w.xy(DataType::UInt16, 700, 500, attr::EndPoint).op(op::LinePath).op(op::PaintPath);
              }}),
       nullptr},
      {"a point list one point short",
       stream({}, {[](Writer& w) {
                w.xy(DataType::UInt16, 100, 100, attr::Point).op(op::SetCursor);
                w.uint16(3, attr::NumberOfPoints).ubyte(3, attr::PointType).op(op::LineRelPath);
                w.data(std::string(8, '\x05'));  // three sint16 pairs are 12 bytes
              }}),
       "MissingData"},
      {"text where the page has no cursor", stream({}, {[&](Writer& w) {
                                                     w.op(op::NewPath);
                                                     setFont(w, "Courier         ");
                                                     w.ubyteArray("A", attr::TextData).op(op::Text);
                                                   }}),
       "CurrentCursorUndefined"},
      {"a brush of two paint sources",
       stream({},
              {all({gray,
                    [](Writer& w) { w.ubyte(0, attr::GrayLevel).ubyte(0, attr::NullBrush).op(op::SetBrushSource); }})}),
       "IllegalAttributeCombination"},
      {"a brush of no paint source", stream({}, {[](Writer& w) { w.op(op::SetBrushSource); }}), "MissingAttribute"},
      {"an orientation out of range", PxlBuilder().begin().page({}, 7).end().bytes(), "Orientation 7 is out of range"},
      {"PageCopies as a ubyte",
       [] {
         PxlBuilder b;
         b.begin().writer().ubyte(0, attr::Orientation).ubyte(0, attr::MediaSize).op(op::BeginPage);
         b.writer().ubyte(1, attr::PageCopies).op(op::EndPage);
         return b.end().bytes();
       }(),
       "PageCopies does not take a ubyte"},
  };
}

}  // namespace test
