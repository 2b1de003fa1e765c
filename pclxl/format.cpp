#include "pclxl/format.h"

#include <array>

namespace pclxl {

namespace {

struct OperatorRow {
  uint8_t byte;
  std::string_view name;
};

// clang-format off
constexpr OperatorRow kOperators[] = {
    {0x41, "BeginSession"},      {0x42, "EndSession"},       {0x43, "BeginPage"},          {0x44, "EndPage"},
    {0x47, "Comment"},           {0x48, "OpenDataSource"},   {0x49, "CloseDataSource"},    {0x4F, "BeginFontHeader"},
    {0x50, "ReadFontHeader"},    {0x51, "EndFontHeader"},    {0x52, "BeginChar"},          {0x53, "ReadChar"},
    {0x54, "EndChar"},           {0x55, "RemoveFont"},       {0x56, "SetCharAttributes"},  {0x5B, "BeginStream"},
    {0x5C, "ReadStream"},        {0x5D, "EndStream"},        {0x5E, "ExecStream"},         {0x5F, "RemoveStream"},
    {0x60, "PopGS"},             {0x61, "PushGS"},           {0x62, "SetClipReplace"},     {0x63, "SetBrushSource"},
    {0x64, "SetCharAngle"},      {0x65, "SetCharScale"},     {0x66, "SetCharShear"},       {0x67, "SetClipIntersect"},
    {0x68, "SetClipRectangle"},  {0x69, "SetClipToPage"},    {0x6A, "SetColorSpace"},      {0x6B, "SetCursor"},
    {0x6C, "SetCursorRel"},      {0x6D, "SetHalftoneMethod"}, {0x6E, "SetFillMode"},       {0x6F, "SetFont"},
    {0x70, "SetLineDash"},       {0x71, "SetLineCap"},       {0x72, "SetLineJoin"},        {0x73, "SetMiterLimit"},
    {0x74, "SetPageDefaultCTM"}, {0x75, "SetPageOrigin"},    {0x76, "SetPageRotation"},    {0x77, "SetPageScale"},
    {0x78, "SetPaintTxMode"},    {0x79, "SetPenSource"},     {0x7A, "SetPenWidth"},        {0x7B, "SetROP"},
    {0x7C, "SetSourceTxMode"},   {0x7D, "SetCharBoldValue"}, {0x7F, "SetClipMode"},        {0x80, "SetPathToClip"},
    {0x81, "SetCharSubMode"},    {0x84, "CloseSubPath"},     {0x85, "NewPath"},            {0x86, "PaintPath"},
    {0x91, "ArcPath"},           {0x93, "BezierPath"},       {0x95, "BezierRelPath"},      {0x96, "Chord"},
    {0x97, "ChordPath"},         {0x98, "Ellipse"},          {0x99, "EllipsePath"},        {0x9B, "LinePath"},
    {0x9D, "LineRelPath"},       {0x9E, "Pie"},              {0x9F, "PiePath"},            {0xA0, "Rectangle"},
    {0xA1, "RectanglePath"},     {0xA2, "RoundRectangle"},   {0xA3, "RoundRectanglePath"}, {0xA8, "Text"},
    {0xA9, "TextPath"},          {0xB0, "BeginImage"},       {0xB1, "ReadImage"},          {0xB2, "EndImage"},
    {0xB3, "BeginRastPattern"},  {0xB4, "ReadRastPattern"},  {0xB5, "EndRastPattern"},     {0xB6, "BeginScan"},
    {0xB8, "EndScan"},           {0xB9, "ScanLineRel"},      {0xBF, "PassThrough"},
};
// clang-format on

struct AttributeRow {
  uint16_t id;
  std::string_view name;
};

// clang-format off
constexpr AttributeRow kAttributes[] = {
    {2, "PaletteDepth"},         {3, "ColorSpace"},          {4, "NullBrush"},          {5, "NullPen"},
    {6, "PaletteData"},          {8, "PatternSelectID"},     {9, "GrayLevel"},          {11, "RGBColor"},
    {12, "PatternOrigin"},       {13, "NewDestinationSize"}, {33, "DeviceMatrix"},      {34, "DitherMatrixDataType"},
    {35, "DitherOrigin"},        {36, "MediaDestination"},   {37, "MediaSize"},         {38, "MediaSource"},
    {39, "MediaType"},           {40, "Orientation"},        {41, "PageAngle"},         {42, "PageOrigin"},
    {43, "PageScale"},           {44, "ROP3"},               {45, "TxMode"},            {47, "CustomMediaSize"},
    {48, "CustomMediaSizeUnits"}, {49, "PageCopies"},        {50, "DitherMatrixSize"},  {51, "DitherMatrixDepth"},
    {52, "SimplexPageMode"},     {53, "DuplexPageMode"},     {54, "DuplexPageSide"},    {65, "ArcDirection"},
    {66, "BoundingBox"},         {67, "DashOffset"},         {68, "EllipseDimension"},  {69, "EndPoint"},
    {70, "FillMode"},            {71, "LineCapStyle"},       {72, "LineJoinStyle"},     {73, "MiterLength"},
    {74, "LineDashStyle"},       {75, "PenWidth"},           {76, "Point"},             {77, "NumberOfPoints"},
    {78, "SolidLine"},           {79, "StartPoint"},         {80, "PointType"},         {81, "ControlPoint1"},
    {82, "ControlPoint2"},       {83, "ClipRegion"},         {84, "ClipMode"},          {98, "ColorDepth"},
    {99, "BlockHeight"},         {100, "ColorMapping"},      {101, "CompressMode"},     {102, "DestinationBox"},
    {103, "DestinationSize"},    {104, "PatternPersistence"}, {105, "PatternDefineID"}, {107, "SourceHeight"},
    {108, "SourceWidth"},        {109, "StartLine"},         {110, "PadBytesMultiple"}, {111, "BlockByteLength"},
    {115, "NumberOfScanLines"},  {120, "ColorTreatment"},    {129, "CommentData"},      {130, "DataOrg"},
    {134, "Measure"},            {136, "SourceType"},        {137, "UnitsPerMeasure"},  {139, "StreamName"},
    {140, "StreamDataLength"},   {143, "ErrorReport"},       {161, "CharAngle"},        {162, "CharCode"},
    {163, "CharDataSize"},       {164, "CharScale"},         {165, "CharShear"},        {166, "CharSize"},
    {167, "FontHeaderLength"},   {168, "FontName"},          {169, "FontFormat"},       {170, "SymbolSet"},
    {171, "TextData"},           {172, "CharSubModeArray"},  {173, "WritingMode"},      {175, "XSpacingData"},
    {176, "YSpacingData"},       {177, "CharBoldValue"},
};
// clang-format on

struct EnumRow {
  uint16_t attribute;
  uint32_t value;
  std::string_view name;
};

// clang-format off
constexpr EnumRow kEnums[] = {
    {40, 0, "ePortraitOrientation"},     {40, 1, "eLandscapeOrientation"},
    {40, 2, "eReversePortrait"},         {40, 3, "eReverseLandscape"},
    {37, 0, "eLetterPaper"},             {37, 1, "eLegalPaper"},
    {37, 2, "eA4Paper"},                 {37, 3, "eExecPaper"},
    {37, 4, "eLedgerPaper"},             {37, 5, "eA3Paper"},
    {37, 16, "eA5Paper"},                {38, 0, "eDefaultSource"},
    {38, 1, "eAutoSelect"},              {38, 2, "eManualFeed"},
    {38, 3, "eMultiPurposeTray"},        {38, 4, "eUpperCassette"},
    {38, 5, "eLowerCassette"},           {38, 6, "eEnvelopeTray"},
    {38, 7, "eThirdCassette"},           {134, 0, "eInch"},
    {134, 1, "eMillimeter"},             {134, 2, "eTenthsOfAMillimeter"},
    {143, 0, "eNoReporting"},            {143, 1, "eBackChannel"},
    {143, 2, "eErrorPage"},              {143, 3, "eBackChAndErrPage"},
    {3, 1, "eGray"},                     {3, 2, "eRGB"},
    {3, 6, "eSRGB"},                     {52, 0, "eSimplexFrontSide"},
    {53, 0, "eDuplexHorizontalBinding"}, {53, 1, "eDuplexVerticalBinding"},
    {54, 0, "eFrontMediaSide"},          {54, 1, "eBackMediaSide"},
    {84, 0, "eNonZeroWinding"},          {84, 1, "eEvenOdd"},
    {70, 0, "eNonZeroWinding"},          {70, 1, "eEvenOdd"},
};
// clang-format on

}  // namespace

size_t sizeOf(DataType t) {
  static constexpr std::array<size_t, 6> sizes = {1, 2, 4, 2, 4, 4};
  return sizes[static_cast<size_t>(t)];
}

std::string_view nameOf(DataType t) {
  static constexpr std::array<std::string_view, 6> names = {"ubyte", "uint16", "uint32", "sint16", "sint32", "real32"};
  return names[static_cast<size_t>(t)];
}

bool isWhitespace(uint8_t b) { return b == 0x00 || (b >= 0x09 && b <= 0x0D) || b == 0x20; }

std::optional<std::pair<DataType, Shape>> valueTag(uint8_t b) {
  static const auto table = [] {
    std::array<std::optional<std::pair<DataType, Shape>>, 256> t{};
    for (auto [first, shape] : {std::pair{kScalarTag, Shape::Scalar}, std::pair{kArrayTag, Shape::Array},
                                std::pair{kXYTag, Shape::XY}, std::pair{kBoxTag, Shape::Box}})
      for (uint8_t type = 0; type <= 5; ++type) t[first + type] = std::pair{static_cast<DataType>(type), shape};
    return t;
  }();
  return table[b];
}

uint8_t tagOf(DataType t, Shape s) {
  uint8_t base = s == Shape::Scalar ? kScalarTag : s == Shape::Array ? kArrayTag : s == Shape::XY ? kXYTag : kBoxTag;
  return static_cast<uint8_t>(base + static_cast<uint8_t>(t));
}

std::string_view operatorName(uint8_t op) {
  static const auto table = [] {
    std::array<std::string_view, 256> t{};
    for (auto& r : kOperators) t[r.byte] = r.name;
    return t;
  }();
  return table[op];
}

std::string_view attributeName(uint16_t id) {
  static const auto table = [] {
    std::array<std::string_view, 256> t{};
    for (auto& r : kAttributes) t[r.id] = r.name;
    return t;
  }();
  return id < table.size() ? table[id] : std::string_view();
}

std::string_view enumName(uint16_t attribute, uint32_t value) {
  for (auto& r : kEnums)
    if (r.attribute == attribute && r.value == value) return r.name;
  return {};
}

bool takesEmbeddedData(uint8_t o) {
  switch (o) {
    case op::ReadStream:
    case op::ReadImage:
    case op::ReadRastPattern:
    case op::ReadChar:
    case op::ReadFontHeader:
    case op::Text:
    case op::TextPath:
    case op::LinePath:
    case op::LineRelPath:
    case op::BezierPath:
    case op::BezierRelPath:
    case op::ScanLineRel:
    case op::PassThrough:
    case op::Comment: return true;
    default: return false;
  }
}

namespace {

constexpr Paper kPapers[] = {
    {0, 1, 8.5, 11, "Letter"},
    {1, 5, 8.5, 14, "Legal"},
    {2, 9, 210 / 25.4, 297 / 25.4, "A4"},
    {3, 7, 7.25, 10.5, "Executive"},
    {4, 4, 11, 17, "Ledger"},
    {5, 8, 297 / 25.4, 420 / 25.4, "A3"},
    {16, 11, 148 / 25.4, 210 / 25.4, "A5"},
};

}  // namespace

const Paper* paperOfMediaSize(unsigned mediaSize) {
  for (auto& p : kPapers)
    if (p.mediaSize == mediaSize) return &p;
  return nullptr;
}

const Paper* paperOfDmPaperSize(int dmPaperSize) {
  for (auto& p : kPapers)
    if (p.dmPaperSize == dmPaperSize) return &p;
  return nullptr;
}

}  // namespace pclxl
