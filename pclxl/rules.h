// What a PCL XL printer accepts, as tables: the attributes each operator
// takes and needs, the data types of attribute values, and the fonts a
// printer holds without a download. The checker judges streams by them.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

#include "pclxl/format.h"

namespace pclxl {

struct OperatorRule {
  uint8_t op;
  std::initializer_list<uint16_t> takes;  // every attribute the operator reads
  std::initializer_list<uint16_t> needs;  // those it cannot do without
};

// The rule of an operator, if the tables hold one; operators without one
// are not judged by their attributes.
const OperatorRule* operatorRule(uint8_t op);

struct TypeRule {
  uint16_t attribute;
  unsigned types;   // bits of DataType
  unsigned shapes;  // bits of Shape
};

const TypeRule* typeRule(uint16_t attribute);

struct ValueRange {
  uint16_t attribute;
  double lowest, highest;
};
// The range of a scalar attribute's value, if the tables bound it.
const ValueRange* valueRange(uint16_t attribute);

// The attributes of which SetBrushSource and SetPenSource take exactly one.
bool isPaintSource(uint16_t attribute);

constexpr unsigned bit(DataType t) { return 1u << static_cast<unsigned>(t); }
constexpr unsigned bit(Shape s) { return 1u << static_cast<unsigned>(s); }

// A printer's own fonts, by their 16-byte names; any other font must be
// downloaded before SetFont names it, or the printer substitutes Courier.
bool isResidentFont(const std::vector<double>& name);

// The colour space a colour attribute of SetBrushSource or SetPenSource
// belongs to: eGray for GrayLevel, eRGB (or eSRGB) for RGBColor; 0 for the
// attributes that need none.
constexpr uint8_t kGray = 1, kRGB = 2, kSRGB = 6;
uint8_t colorSpaceOf(uint16_t attribute);

// Operators that may stand outside a page.
bool allowedOutsidePage(uint8_t op);

// A Begin/Read/End group: between Begin and End stands only Read.
struct SequenceRule {
  uint8_t begin, read, end;
};
// The group an operator begins, reads in or ends, if any (streams have
// rules of their own).
const SequenceRule* sequenceOf(uint8_t op);

// The current cursor: operators that draw from it, and those that leave one.
bool drawsFromCursor(uint8_t op);
bool leavesCursor(uint8_t op);
bool clearsCursor(uint8_t op);  // a new page, and what ends the current path

// The bytes of one coordinate of a point list of that PointType (eUByte,
// eSByte, eUInt16, eSInt16); 0 for another value.
unsigned pointBytes(double pointType);

// The bits of one pixel of an image: ColorDepth (e1Bit, e4Bit, e8Bit) times
// the components (one for a palette index or grey, three for RGB); 0 for a
// value out of range.
unsigned pixelBits(double colorDepth, double colorMapping, uint8_t colorSpace);

}  // namespace pclxl
