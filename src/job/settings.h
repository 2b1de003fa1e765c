// The settings record the rendering side sends as a job's first buffer, and
// the named values of every field the component decides by.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <cstddef>

// The settings record: the 1625-byte DEVMODE that the rendering side sends
// as a job's first buffer. The public DEVMODEW comes first; the private
// fields sit at fixed, partly odd, offsets.
#pragma pack(push, 1)
struct KQDEVMODE {
  DEVMODEW dm;
  BYTE abReserved220[114];
  WORD wMediaType;
  SHORT wOhpMode;
  BYTE abReserved338[22];
  WORD wOverlayAskAlways;
  BYTE abReserved362[262];
  WORD wTextCapture;
  WORD wTextCaptureMode;
  WORD wWatermarkSizeRule;
  BYTE abReserved630[2];
  WORD wBooklet;
  WORD wNoClipToPage;
  BYTE abReserved636[4];
  CHAR szOverlayFile[260];
  WORD wOverlayMode;
  WORD wManualDuplex;
  SHORT wInstructionPage;
  WORD wBackSideOrder;
  BYTE abReserved908[6];
  WORD wReverseOrder;
  WORD wCollate;
  BYTE abReserved918[76];
  WORD wPrinterCopies;
  WORD wOhpSeparatorAfter;
  WORD wOverlayQuery;
  WORD wHardwareBooklet;
  WORD wBookletSide;
  WORD wWatermark;
  CHAR szWatermarkText[80];
  SHORT wWatermarkSize;
  SHORT wWatermarkAngle;
  WORD wBypass;
  CHAR szWatermarkFont[32];
  SHORT wWatermarkOffsetX;
  SHORT wWatermarkOffsetY;
  BYTE abReserved1128[2];
  WORD wWatermarkOutline;
  WORD wWatermarkFirstOnly;
  COLORREF dwWatermarkColor;
  BYTE abReserved1138[2];
  LONG dwWatermarkWeight;
  BYTE bWatermarkItalic;
  BYTE abReserved1145[262];
  CHAR szDefaultUserId[64];
  BYTE abReserved1471[110];
  WORD wBookletBinding;
  BYTE abReserved1583[42];
};
#pragma pack(pop)

constexpr DWORD kSettingsRecordSize = 1625;

static_assert(sizeof(KQDEVMODE) == kSettingsRecordSize);
static_assert(offsetof(KQDEVMODE, dm) + offsetof(DEVMODEW, dmDeviceName) == 0);
static_assert(offsetof(KQDEVMODE, dm) + offsetof(DEVMODEW, dmOrientation) == 76);
static_assert(offsetof(KQDEVMODE, dm) + offsetof(DEVMODEW, dmScale) == 84);
static_assert(offsetof(KQDEVMODE, dm) + offsetof(DEVMODEW, dmCopies) == 86);
static_assert(offsetof(KQDEVMODE, wMediaType) == 334);
static_assert(offsetof(KQDEVMODE, wOhpMode) == 336);
static_assert(offsetof(KQDEVMODE, wOverlayAskAlways) == 360);
static_assert(offsetof(KQDEVMODE, wTextCapture) == 624);
static_assert(offsetof(KQDEVMODE, wTextCaptureMode) == 626);
static_assert(offsetof(KQDEVMODE, wWatermarkSizeRule) == 628);
static_assert(offsetof(KQDEVMODE, wBooklet) == 632);
static_assert(offsetof(KQDEVMODE, wNoClipToPage) == 634);
static_assert(offsetof(KQDEVMODE, szOverlayFile) == 640);
static_assert(offsetof(KQDEVMODE, wOverlayMode) == 900);
static_assert(offsetof(KQDEVMODE, wManualDuplex) == 902);
static_assert(offsetof(KQDEVMODE, wInstructionPage) == 904);
static_assert(offsetof(KQDEVMODE, wBackSideOrder) == 906);
static_assert(offsetof(KQDEVMODE, wReverseOrder) == 914);
static_assert(offsetof(KQDEVMODE, wCollate) == 916);
static_assert(offsetof(KQDEVMODE, wPrinterCopies) == 994);
static_assert(offsetof(KQDEVMODE, wOhpSeparatorAfter) == 996);
static_assert(offsetof(KQDEVMODE, wOverlayQuery) == 998);
static_assert(offsetof(KQDEVMODE, wHardwareBooklet) == 1000);
static_assert(offsetof(KQDEVMODE, wBookletSide) == 1002);
static_assert(offsetof(KQDEVMODE, wWatermark) == 1004);
static_assert(offsetof(KQDEVMODE, szWatermarkText) == 1006);
static_assert(offsetof(KQDEVMODE, wWatermarkSize) == 1086);
static_assert(offsetof(KQDEVMODE, wWatermarkAngle) == 1088);
static_assert(offsetof(KQDEVMODE, wBypass) == 1090);
static_assert(offsetof(KQDEVMODE, szWatermarkFont) == 1092);
static_assert(offsetof(KQDEVMODE, wWatermarkOffsetX) == 1124);
static_assert(offsetof(KQDEVMODE, wWatermarkOffsetY) == 1126);
static_assert(offsetof(KQDEVMODE, wWatermarkOutline) == 1130);
static_assert(offsetof(KQDEVMODE, wWatermarkFirstOnly) == 1132);
static_assert(offsetof(KQDEVMODE, dwWatermarkColor) == 1134);
static_assert(offsetof(KQDEVMODE, dwWatermarkWeight) == 1140);
static_assert(offsetof(KQDEVMODE, bWatermarkItalic) == 1144);
static_assert(offsetof(KQDEVMODE, szDefaultUserId) == 1407);
static_assert(offsetof(KQDEVMODE, wBookletBinding) == 1581);

// A DEVMODE that a call reads by the sizes it claims (dmSize +
// dmDriverExtra, as CreateDCW does) must claim exactly the 1625 bytes the
// record holds: both sizes come from the user's side. More would be read
// past the record; less would cut off the private part that the driver's own
// internal job needs. Any other claim is corrected, in the caller's copy, to
// 220 + 1405.
void SetRecordDevModeSizes(KQDEVMODE* settings);

// The values the fields are compared with. A switch is on at any value but
// SETTING_OFF; a field whose values mean more has its own names.
constexpr WORD SETTING_OFF = 0;
inline bool IsOn(WORD field) { return field != SETTING_OFF; }

// clang-format off
constexpr WORD  MEDIA_TRANSPARENCY          = 3;  // wMediaType
constexpr SHORT OHP_EACH_PAGE_SEPARATES     = 1;  // wOhpMode: each page its own separator;
constexpr SHORT OHP_LAST_MODE               = 3;  //   2 and 3: the last page separates them all
constexpr WORD  OVERLAY_ASK_EVERY_JOB       = 3;  // wOverlayAskAlways
constexpr WORD  TEXT_CAPTURE_MODE_ON        = 1;  // wTextCaptureMode
constexpr WORD  TEXT_CAPTURE_MODE_OFF       = 2;
constexpr WORD  WATERMARK_SIZES_ROUNDED     = 1;  // wWatermarkSizeRule: 115-119 pt at 114, 120-125 at 126
constexpr WORD  OVERLAY_NONE                = 0;  // wOverlayMode
constexpr WORD  OVERLAY_PRINT               = 1;
constexpr WORD  OVERLAY_RECORD              = 2;
constexpr WORD  MANUAL_DUPLEX_BOOKLET       = 2;  // wManualDuplex: a booklet job is a software booklet
constexpr WORD  BACK_SIDES_ASCENDING        = 0;  // wBackSideOrder, the second pass
constexpr WORD  BACK_SIDES_DESCENDING       = 1;
constexpr WORD  ORDER_REVERSE               = 1;  // wReverseOrder
constexpr WORD  ORDER_ODD_PAGES             = 2;
constexpr WORD  ORDER_EVEN_PAGES            = 3;
constexpr WORD  COLLATE_ON                  = 1;  // wCollate
constexpr WORD  COPIES_BY_DRIVER            = 0;  // wPrinterCopies
constexpr WORD  COPIES_BY_PRINTER           = 1;
constexpr WORD  BOOKLET_PREFIX_ROW          = 1;  // wHardwareBooklet 1 or 2: the next prefix pattern row
constexpr WORD  BOOKLET_BY_PRINTER          = 2;  //   2: the printer makes the booklet
constexpr WORD  BINDING_EVEN_SIDES_FIRST    = 0;  // wBookletBinding: whose own page takes the first position
constexpr WORD  BINDING_ODD_SIDES_FIRST     = 1;
constexpr WORD  WATERMARK_OUTLINE           = 1;  // wWatermarkOutline
constexpr WORD  BYPASS_ON                   = 1;  // wBypass, as the internal watermark job carries it
// clang-format on

// wInstructionPage: a count above 0 prints the instruction page.
inline bool InstructionPageWanted(const KQDEVMODE& s) { return s.wInstructionPage > 0; }
// dmPrintQuality: above 0 it is a resolution in dpi; below, one of DMRES_*.
inline bool PrintQualityIsDpi(SHORT dmPrintQuality) { return dmPrintQuality > 0; }
