#include "pclxl/rules.h"

#include <algorithm>
#include <array>
#include <string>

namespace pclxl {

namespace {

using namespace attr;

// Protocol class 2.x. An attribute outside `takes` is an IllegalAttribute
// to a printer, one of `needs` left out a MissingAttribute.
const OperatorRule kOperatorRules[] = {
    {op::BeginSession, {Measure, UnitsPerMeasure, ErrorReport}, {Measure, UnitsPerMeasure}},
    {op::EndSession, {}, {}},
    {op::BeginPage,
     {Orientation, MediaSize, MediaSource, MediaType, MediaDestination, SimplexPageMode, DuplexPageMode, DuplexPageSide,
      CustomMediaSize, CustomMediaSizeUnits},
     {}},
    {op::EndPage, {PageCopies}, {}},
    {op::Comment, {CommentData}, {}},
    {op::OpenDataSource, {SourceType, DataOrg}, {SourceType, DataOrg}},
    {op::CloseDataSource, {}, {}},
    {op::BeginFontHeader, {FontName, FontFormat}, {FontName, FontFormat}},
    {op::ReadFontHeader, {FontHeaderLength}, {FontHeaderLength}},
    {op::EndFontHeader, {}, {}},
    {op::BeginChar, {FontName}, {FontName}},
    {op::ReadChar, {CharCode, CharDataSize}, {CharCode, CharDataSize}},
    {op::EndChar, {}, {}},
    {op::RemoveFont, {FontName}, {FontName}},
    {op::SetCharAttributes, {WritingMode}, {}},
    {op::BeginStream, {StreamName}, {StreamName}},
    {op::ReadStream, {StreamDataLength}, {}},  // its own message when missing
    {op::EndStream, {}, {}},
    {op::ExecStream, {StreamName}, {}},
    {op::RemoveStream, {StreamName}, {StreamName}},
    {op::PopGS, {}, {}},
    {op::PushGS, {}, {}},
    {op::SetClipReplace, {ClipRegion}, {ClipRegion}},
    {op::SetBrushSource, {RGBColor, GrayLevel, NullBrush, PatternSelectID, PatternOrigin, NewDestinationSize}, {}},
    {op::SetPenSource, {RGBColor, GrayLevel, NullPen, PatternSelectID, PatternOrigin, NewDestinationSize}, {}},
    {op::SetCharAngle, {CharAngle}, {CharAngle}},
    {op::SetCharScale, {CharScale}, {CharScale}},
    {op::SetCharShear, {CharShear}, {CharShear}},
    {op::SetCharBoldValue, {CharBoldValue}, {CharBoldValue}},
    {op::SetCharSubMode, {CharSubModeArray}, {CharSubModeArray}},
    {op::SetClipIntersect, {ClipRegion}, {ClipRegion}},
    {op::SetClipRectangle, {ClipRegion, BoundingBox}, {ClipRegion, BoundingBox}},
    {op::SetClipToPage, {}, {}},
    {op::SetClipMode, {ClipMode}, {ClipMode}},
    {op::SetPathToClip, {}, {}},
    {op::SetColorSpace, {ColorSpace, PaletteDepth, PaletteData}, {ColorSpace}},
    {op::SetCursor, {Point}, {Point}},
    {op::SetCursorRel, {Point}, {Point}},
    {op::SetHalftoneMethod,
     {DeviceMatrix, DitherMatrixDataType, DitherMatrixSize, DitherMatrixDepth, DitherOrigin},
     {}},
    {op::SetFillMode, {FillMode}, {FillMode}},
    {op::SetFont, {FontName, CharSize, SymbolSet}, {FontName, CharSize, SymbolSet}},
    {op::SetLineDash, {LineDashStyle, DashOffset, SolidLine}, {}},
    {op::SetLineCap, {LineCapStyle}, {LineCapStyle}},
    {op::SetLineJoin, {LineJoinStyle}, {LineJoinStyle}},
    {op::SetMiterLimit, {MiterLength}, {MiterLength}},
    {op::SetPageDefaultCTM, {}, {}},
    {op::SetPageOrigin, {PageOrigin}, {PageOrigin}},
    {op::SetPageRotation, {PageAngle}, {PageAngle}},
    {op::SetPageScale, {PageScale, Measure, UnitsPerMeasure}, {}},
    {op::SetPaintTxMode, {TxMode}, {TxMode}},
    {op::SetSourceTxMode, {TxMode}, {TxMode}},
    {op::SetPenWidth, {PenWidth}, {PenWidth}},
    {op::SetROP, {ROP3}, {ROP3}},
    {op::CloseSubPath, {}, {}},
    {op::NewPath, {}, {}},
    {op::PaintPath, {}, {}},
    {op::ArcPath, {BoundingBox, StartPoint, EndPoint, ArcDirection}, {BoundingBox, StartPoint, EndPoint}},
    {op::BezierPath, {NumberOfPoints, PointType, ControlPoint1, ControlPoint2, EndPoint}, {}},
    {op::BezierRelPath, {NumberOfPoints, PointType, ControlPoint1, ControlPoint2, EndPoint}, {}},
    {op::Chord, {BoundingBox, StartPoint, EndPoint}, {BoundingBox, StartPoint, EndPoint}},
    {op::ChordPath, {BoundingBox, StartPoint, EndPoint}, {BoundingBox, StartPoint, EndPoint}},
    {op::Ellipse, {BoundingBox}, {BoundingBox}},
    {op::EllipsePath, {BoundingBox}, {BoundingBox}},
    {op::LinePath, {EndPoint, NumberOfPoints, PointType}, {}},
    {op::LineRelPath, {EndPoint, NumberOfPoints, PointType}, {}},
    {op::Pie, {BoundingBox, StartPoint, EndPoint}, {BoundingBox, StartPoint, EndPoint}},
    {op::PiePath, {BoundingBox, StartPoint, EndPoint}, {BoundingBox, StartPoint, EndPoint}},
    {op::Rectangle, {BoundingBox}, {BoundingBox}},
    {op::RectanglePath, {BoundingBox}, {BoundingBox}},
    {op::RoundRectangle, {BoundingBox, EllipseDimension}, {BoundingBox, EllipseDimension}},
    {op::RoundRectanglePath, {BoundingBox, EllipseDimension}, {BoundingBox, EllipseDimension}},
    {op::Text, {TextData, XSpacingData, YSpacingData}, {TextData}},
    {op::TextPath, {TextData, XSpacingData, YSpacingData}, {TextData}},
    {op::BeginImage,
     {ColorMapping, ColorDepth, SourceWidth, SourceHeight, DestinationSize, DestinationBox},
     {ColorMapping, ColorDepth, SourceWidth, SourceHeight}},
    {op::ReadImage,
     {StartLine, BlockHeight, CompressMode, PadBytesMultiple, BlockByteLength},
     {StartLine, BlockHeight, CompressMode}},
    {op::EndImage, {}, {}},
    {op::BeginRastPattern,
     {ColorMapping, ColorDepth, SourceWidth, SourceHeight, DestinationSize, PatternDefineID, PatternPersistence},
     {ColorMapping, ColorDepth, SourceWidth, SourceHeight, DestinationSize, PatternDefineID}},
    {op::ReadRastPattern,
     {StartLine, BlockHeight, CompressMode, PadBytesMultiple, BlockByteLength},
     {StartLine, BlockHeight, CompressMode}},
    {op::EndRastPattern, {}, {}},
};

constexpr unsigned kUByte = bit(DataType::UByte);
constexpr unsigned kInteger = bit(DataType::UByte) | bit(DataType::UInt16) | bit(DataType::UInt32) |
                              bit(DataType::SInt16) | bit(DataType::SInt32);
constexpr unsigned kNumber = kInteger | bit(DataType::Real32);
// Counts and sizes: what a printer reads them as, and the narrower types.
constexpr unsigned kUInt16 = kUByte | bit(DataType::UInt16);
constexpr unsigned kUInt32 = kUInt16 | bit(DataType::UInt32);
constexpr unsigned kScalar = bit(Shape::Scalar), kArray = bit(Shape::Array), kXY = bit(Shape::XY),
                   kBox = bit(Shape::Box);

// The data types and shapes the attributes of the common operators accept.
constexpr TypeRule kTypeRules[] = {
    {Orientation, kUByte, kScalar},
    {MediaSize, kUByte, kScalar | kArray},
    {MediaSource, kUByte, kScalar},
    {MediaType, kUByte, kArray},
    {SimplexPageMode, kUByte, kScalar},
    {DuplexPageMode, kUByte, kScalar},
    {DuplexPageSide, kUByte, kScalar},
    {PageCopies, bit(DataType::UInt16), kScalar},  // a ubyte is refused
    {Measure, kUByte, kScalar},
    {UnitsPerMeasure, bit(DataType::UInt16) | bit(DataType::Real32), kXY},
    {ErrorReport, kUByte, kScalar},
    {SourceType, kUByte, kScalar},
    {DataOrg, kUByte, kScalar},
    {ColorSpace, kUByte, kScalar},
    {RGBColor, kUByte | bit(DataType::Real32), kArray},  // a printer takes no other colour values
    {GrayLevel, kUByte | bit(DataType::Real32), kScalar},
    {NullBrush, kUByte, kScalar},
    {NullPen, kUByte, kScalar},
    {PenWidth, kNumber, kScalar},
    {ROP3, kUByte, kScalar},
    {Point, kNumber, kXY},
    {EndPoint, kNumber, kXY},
    {ControlPoint1, kNumber, kXY},
    {ControlPoint2, kNumber, kXY},
    {PageOrigin, kNumber, kXY},
    {PageScale, kNumber, kXY},
    {PageAngle, kNumber, kScalar},
    {BoundingBox, kNumber, kBox},
    {FontName, kUByte | bit(DataType::UInt16), kArray},  // printers take a uint16 name too
    {CharSize, kNumber, kScalar},
    {SymbolSet, kUInt16, kScalar},
    {TextData, kUByte | bit(DataType::UInt16), kArray},
    {XSpacingData, kUByte | bit(DataType::SInt16), kArray},
    {YSpacingData, kUByte | bit(DataType::SInt16), kArray},
    {CharAngle, kNumber, kScalar},
    {ClipMode, kUByte, kScalar},
    {FillMode, kUByte, kScalar},
    {StreamName, kUByte | bit(DataType::UInt16), kArray},
    {StreamDataLength, kUInt32, kScalar},
    {CharCode, kUInt16, kScalar},
    {CharDataSize, bit(DataType::UInt16), kScalar},
    {FontHeaderLength, kUInt16, kScalar},
    {FontFormat, kUByte, kScalar},
    {ClipRegion, kUByte, kScalar},
    {PointType, kUByte, kScalar},
    {NumberOfPoints, kUInt16, kScalar},
    {ColorMapping, kUByte, kScalar},
    {ColorDepth, kUByte, kScalar},
    {CompressMode, kUByte, kScalar},
    {PaletteDepth, kUByte, kScalar},
    {PaletteData, kUByte | bit(DataType::UInt16), kArray},
    {SourceWidth, bit(DataType::UInt16), kScalar},
    {SourceHeight, bit(DataType::UInt16), kScalar},
    {StartLine, bit(DataType::UInt16), kScalar},
    {BlockHeight, bit(DataType::UInt16), kScalar},
    {PadBytesMultiple, kUByte, kScalar},
    {BlockByteLength, kUInt32, kScalar},
    {DestinationSize, bit(DataType::UInt16), kXY},
    {TxMode, kUByte, kScalar},
    {LineCapStyle, kUByte, kScalar},
    {LineJoinStyle, kUByte, kScalar},
    {ArcDirection, kUByte, kScalar},
    {StartPoint, kNumber, kXY},
    {EllipseDimension, kNumber, kXY},
};

// The values an enumerated or bounded attribute may take; a printer refuses
// the others (IllegalAttributeValue, or its own name for the attribute).
constexpr ValueRange kValueRanges[] = {
    {Orientation, 0, 3},    {MediaSize, 0, 21},     {MediaSource, 0, 7},      {SimplexPageMode, 0, 0},
    {DuplexPageMode, 0, 1}, {DuplexPageSide, 0, 1}, {Measure, 0, 2},          {ErrorReport, 0, 3},
    {SourceType, 0, 0},     {DataOrg, 0, 1},        {ColorSpace, 1, 6},       {NullBrush, 0, 0},
    {NullPen, 0, 0},        {ClipRegion, 0, 1},     {ClipMode, 0, 1},         {FillMode, 0, 1},
    {LineCapStyle, 0, 3},   {LineJoinStyle, 0, 3},  {TxMode, 0, 1},           {ArcDirection, 0, 1},
    {ColorDepth, 0, 2},     {ColorMapping, 0, 1},   {CompressMode, 0, 3},     {PointType, 0, 3},
    {PaletteDepth, 0, 2},   {WritingMode, 0, 1},    {PadBytesMultiple, 1, 4},
};

// The resident fonts of the printers the driver serves, by name as
// SetFont gives it: typeface left, style right, in 16 bytes.
constexpr std::string_view kResidentFonts[] = {
    "Albertus      Md", "Albertus      Xb", "AntiqOlive      ", "AntiqOlive    Bd", "AntiqOlive    It",
    "Arial           ", "Arial         Bd", "Arial         It", "Arial       BdIt", "CG Omega        ",
    "CG Omega      Bd", "CG Omega      It", "CG Omega    BdIt", "CG Times        ", "CG Times      Bd",
    "CG Times      It", "CG Times    BdIt", "Clarendon   CdBd", "Coronet         ", "Courier         ",
    "Courier       Bd", "Courier       It", "Courier     BdIt", "Garamond Antiqua", "Garamond     Hlb",
    "Garamond    Krsv", "Garamond KrsvHlb", "LetterGothic    ", "LetterGothic  Bd", "LetterGothic  It",
    "Marigold        ", "Symbol          ", "TimesNewRmn     ", "TimesNewRmn   Bd", "TimesNewRmn   It",
    "TimesNewRmn BdIt", "Univers       Md", "Univers     MdIt", "Univers       Bd", "Univers     BdIt",
    "Univers     CdMd", "Univers   CdMdIt", "Univers     CdBd", "Univers   CdBdIt", "Wingdings       ",
    "CourierPS       ", "CourierPS     Bd", "CourierPS     Ob", "CourierPS   BdOb", "Helvetica       ",
    "Helvetica     Bd", "Helvetica     Ob", "Helvetica   BdOb", "Helvetica     Nr", "Helvetica   NrBd",
    "Helvetica   NrOb", "Helvetica NrBdOb", "ITCAvantGard  Bk", "ITCAvantGardBkOb", "ITCBookman    Lt",
    "ITCBookman  LtIt", "NwCentSchlbk Rmn", "NwCentSchlbk  Bd", "NwCentSchlbk  It", "NwCentSchlbkBdIt",
    "Palatino     Rmn", "Palatino      Bd", "Palatino      It", "Palatino    BdIt", "Times        Rmn",
    "Times         Bd", "Times         It", "Times       BdIt", "SymbolPS        ", "ZapfChanceryMdIt",
    "ZapfDingbats    ",
};

}  // namespace

namespace {

// The rules of each operator byte or attribute id, found by index: the
// checker asks for them at every command.
template <typename Rule, size_t N, typename Key>
std::array<const Rule*, 256> indexBy(const Rule (&rules)[N], Key key) {
  std::array<const Rule*, 256> index{};
  for (auto& r : rules)
    if (key(r) < index.size() && !index[key(r)]) index[key(r)] = &r;
  return index;
}

template <typename Rule, size_t N>
const Rule* byAttribute(const Rule (&rules)[N], uint16_t attribute) {
  static const auto index = indexBy(rules, [](const Rule& r) { return r.attribute; });
  return attribute < index.size() ? index[attribute] : nullptr;
}

}  // namespace

const OperatorRule* operatorRule(uint8_t o) {
  static const auto index = indexBy(kOperatorRules, [](const OperatorRule& r) { return r.op; });
  return index[o];
}

const ValueRange* valueRange(uint16_t attribute) { return byAttribute(kValueRanges, attribute); }

const TypeRule* typeRule(uint16_t attribute) { return byAttribute(kTypeRules, attribute); }

bool isResidentFont(const std::vector<double>& name) {
  std::string text;
  for (double c : name) {
    if (c < 0 || c > 255) return false;
    text += static_cast<char>(static_cast<unsigned char>(c));
  }
  return std::find(std::begin(kResidentFonts), std::end(kResidentFonts), text) != std::end(kResidentFonts);
}

bool isPaintSource(uint16_t a) {
  return a == RGBColor || a == GrayLevel || a == NullBrush || a == NullPen || a == PatternSelectID;
}

uint8_t colorSpaceOf(uint16_t attribute) {
  switch (attribute) {
    case GrayLevel: return kGray;
    case RGBColor: return kRGB;
    default: return 0;
  }
}

namespace {

constexpr SequenceRule kSequences[] = {
    {op::BeginFontHeader, op::ReadFontHeader, op::EndFontHeader},
    {op::BeginChar, op::ReadChar, op::EndChar},
    {op::BeginImage, op::ReadImage, op::EndImage},
    {op::BeginRastPattern, op::ReadRastPattern, op::EndRastPattern},
    {op::BeginScan, op::ScanLineRel, op::EndScan},
};

}  // namespace

const SequenceRule* sequenceOf(uint8_t o) {
  static const auto index = [] {
    std::array<const SequenceRule*, 256> t{};
    for (auto& r : kSequences) t[r.begin] = t[r.read] = t[r.end] = &r;
    return t;
  }();
  return index[o];
}

bool drawsFromCursor(uint8_t o) {
  switch (o) {
    case op::LinePath:
    case op::LineRelPath:
    case op::BezierPath:
    case op::BezierRelPath:
    case op::SetCursorRel:
    case op::BeginImage:  // an image is placed at the cursor
    case op::Text:
    case op::TextPath: return true;
    default: return false;
  }
}

bool leavesCursor(uint8_t o) {
  switch (o) {
    // clang-format off
    case op::SetCursor: case op::ArcPath: case op::Chord: case op::ChordPath: case op::Ellipse:
    case op::EllipsePath: case op::Pie: case op::PiePath: case op::Rectangle: case op::RectanglePath:
    case op::RoundRectangle: case op::RoundRectanglePath:
      // clang-format on
      return true;
    default: return false;
  }
}

bool clearsCursor(uint8_t o) {
  switch (o) {
    case op::BeginPage:
    case op::NewPath:
    case op::SetClipReplace:  // the path becomes the clip
    case op::SetClipIntersect: return true;
    default: return false;
  }
}

unsigned pointBytes(double pointType) {
  if (pointType == 0 || pointType == 1) return 1;  // eUByte, eSByte
  if (pointType == 2 || pointType == 3) return 2;  // eUInt16, eSInt16
  return 0;
}

unsigned pixelBits(double colorDepth, double colorMapping, uint8_t colorSpace) {
  unsigned depth = colorDepth == 0 ? 1 : colorDepth == 1 ? 4 : colorDepth == 2 ? 8 : 0;
  if (colorMapping == 1) return depth;  // eIndexedPixel: one index
  if (colorMapping != 0) return 0;
  return depth * (colorSpace == kRGB || colorSpace == kSRGB ? 3 : 1);
}

bool allowedOutsidePage(uint8_t o) {
  switch (o) {
    // clang-format off
    case op::BeginSession: case op::EndSession: case op::BeginPage: case op::EndPage: case op::Comment:
    case op::OpenDataSource: case op::CloseDataSource: case op::BeginFontHeader: case op::ReadFontHeader:
    case op::EndFontHeader: case op::BeginChar: case op::ReadChar: case op::EndChar: case op::RemoveFont:
    case op::BeginStream: case op::ReadStream: case op::EndStream: case op::PassThrough:
      // clang-format on
      return true;
    default: return false;
  }
}

}  // namespace pclxl
