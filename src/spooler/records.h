// The job record, the settings record and the process-wide state of the
// component.
#pragma once

#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>
#include <winspool.h>

#include <cstddef>
#include "booklet/store.h"

// Exported hooks: undecorated through the .def file on Windows, default
// visibility elsewhere.
#ifdef _WIN32
#define KQXL_EXPORT
#else
#define KQXL_EXPORT __attribute__((visibility("default")))
#endif

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

// Mode bits of JobData::dwFlags.
constexpr DWORD FLAG_MANUAL_DUPLEX = 0x01;
constexpr DWORD FLAG_BOOKLET = 0x02;
constexpr DWORD FLAG_SECOND_WATERMARK = 0x04;
constexpr DWORD FLAG_REVERSE = 0x08;
constexpr DWORD FLAG_COLLATE = 0x10;
constexpr DWORD FLAG_OHP = 0x20;
constexpr DWORD FLAG_SPOOLED = 0x40;

// Event bits of JobData::dwStatus.
constexpr DWORD STATUS_STARTED = 1;
constexpr DWORD STATUS_ENDDOC = 2;
constexpr DWORD STATUS_ABORTED = 4;

constexpr DWORD JOB_SIGNATURE = 0x44525347;  // "GSRD"
constexpr DWORD JOB_SIGNATURE_CLOSED = 0xDEADF00D;

// The page index of the spool file. It grows with the job, so that any
// number of pages is indexed; entries past its capacity read as 0.
struct FILE_INFO {
  INT iTotalPage;             // page-start markers seen
  DWORD dwCount;              // bytes in the spool file
  GlobalArray<DWORD> dwPage;  // dwPage[i]: where page i+1 starts; dwPage[iTotalPage]: where the pages end
  BOOL bPagesEnded;           // the end-of-pages marker set dwPage[iTotalPage]
};

inline DWORD PageOffset(const FILE_INFO& index, INT i) { return i >= 0 ? index.dwPage.At(static_cast<DWORD>(i)) : 0; }

// The job's text capture: the file a stretch goes into while it is captured
// (hTextfile), and after its stop marker until the page ends (hsavedTextfile).
// Null or INVALID_HANDLE_VALUE: none.
struct TEXT_CAPTURE {
  HANDLE hTextfile;
  HANDLE hsavedTextfile;
  DWORD dwTextfileCount;   // bytes captured and not yet replayed
  WCHAR szFile[MAX_PATH];  // the capture file's full path, while there is one
};

// One job, from DrvSplStartDoc to DrvSplClose; its address is the job
// handle the spooler holds.
struct JobData {
  DWORD dwSignature;
  HANDLE hPrinter;
  DWORD dwJobId;
  DWORD dwStatus;
  DWORD dwFlags;
  DWORD dwWriteCount;
  DWORD dwPageNumber;
  FILE_INFO file_info;
  WCHAR szTempPath[MAX_PATH];
  WCHAR szTempFile[MAX_PATH];
  HANDLE hTempFile;
  BYTE abPagePrefix[2][4];

  // The job's own settings: taken from its first buffer, seeded at start
  // from the last settings its printer's jobs brought, so that jobs on
  // different printers never see each other's.
  KQDEVMODE Settings;
  WCHAR szPrinter[MAX_PATH];  // the printer's name, empty when it could not be read
  // The overlay library reference this job took at its start.
  HMODULE hJobOverlay;
  // The booklet record's snippets and the pages' orientations.
  BOOKLET_INFO booklet_info;
  TEXT_CAPTURE text;
  // The overlay file being recorded, from the creation prompt to the end of
  // the document (or the close).
  HANDLE hOvlyFile;
  // The scanner component, loaded by the job's port acquire.
  HMODULE hDll;
  // The job's own watermark data, portrait and landscape: read back from the
  // watermark file as soon as the job has made it, since the files are one
  // per machine and another printer's job may make them again meanwhile.
  BYTE* pWatermark[2];
  DWORD dwWatermarkSize[2];
  BOOL bWatermarkTried[2];  // its making was tried, whatever came of it
  // Printer writes of the replay that failed: a replay goes on past them,
  // and its end reports them.
  DWORD dwFailedReplayWrites;
  // The job's form could not be served: its pages print without it (said once).
  BOOL bFormMissing;
  BOOL bFormResolutionChecked;     // the form's resolution against the job's, once
  BOOL bOverlayWriteFailureShown;  // its box is shown once a job
  BOOL bWatermarkMissingSaid;      // a job without its watermark says so once
};

// Process-wide state. Shared values are read and written only inside
// UmpdSection, which is never held across a message box, a call into
// another module or the nested watermark job.
extern HINSTANCE hInst;
extern CRITICAL_SECTION UmpdSection;
// Held by a job while it makes a watermark file and reads it back, so that
// no other job's making comes in between (the files are one per machine).
// Its boxes wait until it is released (HeldMessages).
extern CRITICAL_SECTION WatermarkSection;
extern HMODULE hOverlay;
extern DWORD dwByteCountOfOverlay;

// RAII guards for the two critical sections.
template <CRITICAL_SECTION& Section>
class SectionLock {
 public:
  SectionLock() { EnterCriticalSection(&Section); }
  ~SectionLock() { LeaveCriticalSection(&Section); }
  SectionLock(const SectionLock&) = delete;
  SectionLock& operator=(const SectionLock&) = delete;
};
using UmpdLock = SectionLock<UmpdSection>;
using WatermarkLock = SectionLock<WatermarkSection>;

// A call that reads a DEVMODE by the sizes it claims (dmSize +
// dmDriverExtra, as CreateDCW does) must be handed exactly the 1625 bytes
// the record holds: both sizes come from the user's side. More would be read
// past the record; less would cut off the private part that the driver's own
// internal job needs. Any other claim is corrected, in the caller's copy, to
// 220 + 1405.
void SetRecordDevModeSizes(KQDEVMODE* settings);

// The settings a printer's jobs last brought, kept per printer name for a
// later job of that printer whose first buffer is none (zero until one
// came). A job whose printer has no name shares nothing. The internal
// watermark job's settings are never kept: they would make the next job a
// bypass job.
void CapturePrinterSettings(const JobData* pData);
void ReadPrinterSettings(JobData* pData);

// While one lives an internal watermark job is being made (one at a time:
// WatermarkSection), and bypass settings are taken for that job's: the
// spooler may hand its settings record on changed, so no byte compare.
class InternalJobMaking {
 public:
  InternalJobMaking();
  ~InternalJobMaking();
  InternalJobMaking(const InternalJobMaking&) = delete;
  InternalJobMaking& operator=(const InternalJobMaking&) = delete;
};
