// The vocabulary of PCL XL (protocol class 2.x): data types, operators,
// attributes and the enumerations shown by name. One place for the byte
// values the project reads and writes.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace pclxl {

enum class DataType : uint8_t { UByte = 0, UInt16 = 1, UInt32 = 2, SInt16 = 3, SInt32 = 4, Real32 = 5 };
enum class Shape : uint8_t { Scalar, Array, XY, Box };

size_t sizeOf(DataType t);
std::string_view nameOf(DataType t);

// Type tags: scalars 0xC0.., arrays 0xC8.., xy 0xD0.., boxes 0xE0...
constexpr uint8_t kScalarTag = 0xC0, kArrayTag = 0xC8, kXYTag = 0xD0, kBoxTag = 0xE0;
constexpr uint8_t kAttrByte = 0xF8, kAttrUInt16 = 0xF9;
constexpr uint8_t kDataLong = 0xFA, kDataShort = 0xFB;

bool isWhitespace(uint8_t b);
// The type and shape a tag byte introduces, if it is a value tag.
std::optional<std::pair<DataType, Shape>> valueTag(uint8_t b);
uint8_t tagOf(DataType t, Shape s);

namespace op {
constexpr uint8_t BeginSession = 0x41, EndSession = 0x42, BeginPage = 0x43, EndPage = 0x44, Comment = 0x47,
                  OpenDataSource = 0x48, CloseDataSource = 0x49, BeginFontHeader = 0x4F, ReadFontHeader = 0x50,
                  EndFontHeader = 0x51, BeginChar = 0x52, ReadChar = 0x53, EndChar = 0x54, RemoveFont = 0x55,
                  SetCharAttributes = 0x56, BeginStream = 0x5B, ReadStream = 0x5C, EndStream = 0x5D, ExecStream = 0x5E,
                  RemoveStream = 0x5F, PopGS = 0x60, PushGS = 0x61, SetClipReplace = 0x62, SetBrushSource = 0x63,
                  SetCharAngle = 0x64, SetCharScale = 0x65, SetCharShear = 0x66, SetClipIntersect = 0x67,
                  SetClipRectangle = 0x68, SetClipToPage = 0x69, SetColorSpace = 0x6A, SetCursor = 0x6B,
                  SetCursorRel = 0x6C, SetHalftoneMethod = 0x6D, SetFillMode = 0x6E, SetFont = 0x6F, SetLineDash = 0x70,
                  SetLineCap = 0x71, SetLineJoin = 0x72, SetMiterLimit = 0x73, SetPageDefaultCTM = 0x74,
                  SetPageOrigin = 0x75, SetPageRotation = 0x76, SetPageScale = 0x77, SetPaintTxMode = 0x78,
                  SetPenSource = 0x79, SetPenWidth = 0x7A, SetROP = 0x7B, SetSourceTxMode = 0x7C,
                  SetCharBoldValue = 0x7D, SetClipMode = 0x7F, SetPathToClip = 0x80, SetCharSubMode = 0x81,
                  CloseSubPath = 0x84, NewPath = 0x85, PaintPath = 0x86, ArcPath = 0x91, BezierPath = 0x93,
                  BezierRelPath = 0x95, Chord = 0x96, ChordPath = 0x97, Ellipse = 0x98, EllipsePath = 0x99,
                  LinePath = 0x9B, LineRelPath = 0x9D, Pie = 0x9E, PiePath = 0x9F, Rectangle = 0xA0,
                  RectanglePath = 0xA1, RoundRectangle = 0xA2, RoundRectanglePath = 0xA3, Text = 0xA8, TextPath = 0xA9,
                  BeginImage = 0xB0, ReadImage = 0xB1, EndImage = 0xB2, BeginRastPattern = 0xB3, ReadRastPattern = 0xB4,
                  EndRastPattern = 0xB5, BeginScan = 0xB6, EndScan = 0xB8, ScanLineRel = 0xB9, PassThrough = 0xBF;
}  // namespace op

namespace attr {
constexpr uint16_t PaletteDepth = 2, ColorSpace = 3, NullBrush = 4, NullPen = 5, PaletteData = 6, PatternSelectID = 8,
                   GrayLevel = 9, RGBColor = 11, PatternOrigin = 12, NewDestinationSize = 13, DeviceMatrix = 33,
                   DitherMatrixDataType = 34, DitherOrigin = 35, MediaDestination = 36, MediaSize = 37,
                   MediaSource = 38, MediaType = 39, Orientation = 40, PageAngle = 41, PageOrigin = 42, PageScale = 43,
                   ROP3 = 44, TxMode = 45, CustomMediaSize = 47, CustomMediaSizeUnits = 48, PageCopies = 49,
                   DitherMatrixSize = 50, DitherMatrixDepth = 51, SimplexPageMode = 52, DuplexPageMode = 53,
                   DuplexPageSide = 54, ArcDirection = 65, BoundingBox = 66, DashOffset = 67, EllipseDimension = 68,
                   EndPoint = 69, FillMode = 70, LineCapStyle = 71, LineJoinStyle = 72, MiterLength = 73,
                   LineDashStyle = 74, PenWidth = 75, Point = 76, NumberOfPoints = 77, SolidLine = 78, StartPoint = 79,
                   PointType = 80, ControlPoint1 = 81, ControlPoint2 = 82, ClipRegion = 83, ClipMode = 84,
                   ColorDepth = 98, BlockHeight = 99, ColorMapping = 100, CompressMode = 101, DestinationBox = 102,
                   DestinationSize = 103, PatternPersistence = 104, PatternDefineID = 105, SourceHeight = 107,
                   SourceWidth = 108, StartLine = 109, PadBytesMultiple = 110, BlockByteLength = 111,
                   NumberOfScanLines = 115, ColorTreatment = 120, CommentData = 129, DataOrg = 130, Measure = 134,
                   SourceType = 136, UnitsPerMeasure = 137, StreamName = 139, StreamDataLength = 140, ErrorReport = 143,
                   CharAngle = 161, CharCode = 162, CharDataSize = 163, CharScale = 164, CharShear = 165,
                   CharSize = 166, FontHeaderLength = 167, FontName = 168, FontFormat = 169, SymbolSet = 170,
                   TextData = 171, CharSubModeArray = 172, WritingMode = 173, XSpacingData = 175, YSpacingData = 176,
                   CharBoldValue = 177;
}  // namespace attr

// Names; empty for bytes and ids that are not part of the format.
std::string_view operatorName(uint8_t op);
std::string_view attributeName(uint16_t id);
// The name of an enumerated value ("ePortraitOrientation"), if the
// attribute's values are shown by name.
std::string_view enumName(uint16_t attribute, uint32_t value);

// Operators followed by embedded data in the streams the project meets.
bool takesEmbeddedData(uint8_t op);

// The papers the driver prints on: BeginPage's MediaSize, the settings
// record's dmPaperSize, and the sheet in portrait.
struct Paper {
  unsigned mediaSize;
  int dmPaperSize;
  double widthInch, heightInch;
  const char* name;
};
const Paper* paperOfMediaSize(unsigned mediaSize);
const Paper* paperOfDmPaperSize(int dmPaperSize);
// A BeginPage Orientation as the settings record's dmOrientation: 2 for
// the landscapes, 1 for the portraits.
inline int dmOrientationOf(int orientation) { return orientation % 2 == 1 ? 2 : 1; }

}  // namespace pclxl
