// Booklet replays: a software booklet in two passes with the sheets put
// back between them, and a booklet the printer duplexes itself.
#include "booklet/drivers.h"

#include "booklet/sheet.h"
#include "config/driverfiles.h"
#include "spool/duplex.h"
#include "spool/replay.h"
#include "support/text.h"

namespace {

constexpr LPCWSTR kNoRecord = TEXT("A booklet job without a usable booklet record prints its pages once in order.\n");

struct Sheets {
  INT sheets, slots;  // S and N = 4S
  INT sides() const { return 2 * sheets; }
};

Sheets SheetsOf(const JobData* pData) {
  INT s = (pData->file_info.iTotalPage + 3) / 4;
  return {s, 4 * s};
}

void TraceUndefinedBinding(const JobData* pData) {
  if (pData->Settings.wBookletBinding > BINDING_ODD_SIDES_FIRST)
    Trace(TEXT("wBookletBinding above 1 pairs the pages as 0 does.\n"));
}

// Sides `from`, from + step, ... while within 1 to `to`.
void SendSides(JobData* pData, HANDLE hPrinter, ReplayFraming& replay, const Sheets& sheets, INT from, INT to,
               INT step) {
  for (INT side = from; step > 0 ? side <= to : side >= to; side += step)
    SendBookletPageData(pData, hPrinter, replay, side, sheets.slots);
}

void WritePrefix(HANDLE hPrinter, JobData* pData, int entry) {
  ReplayWrite(pData, hPrinter, pData->abPagePrefix[entry], 4);
}

}  // namespace

BOOL DoBooklet(JobData* pData, HANDLE hPrinter, DWORD dwJobId) {
  if (!pData->booklet_info.bHaveRecord) return PrintBookletInOrder(pData, hPrinter, kNoRecord);
  INT mode = ManualDuplexMode(hPrinter);
  ReplayFraming replay(pData, hPrinter);
  if (auto start = replay.Begin(false); start != ReplayFraming::Start::Pages)
    return start == ReplayFraming::Start::SentWhole;
  TraceUndefinedBinding(pData);
  if (InstructionPageWanted(pData->Settings)) PrintInstructionPage(pData, hPrinter);
  Sheets sheets = SheetsOf(pData);
  bool fronts = true;
  if (pData->file_info.iTotalPage <= 1) {
    WritePrefix(hPrinter, pData, 0);
    SendBookletPageData(pData, hPrinter, replay, 1, sheets.slots);
  } else {
    bool descending = FirstPassDescending(hPrinter);
    WritePrefix(hPrinter, pData, 0);
    if (descending) SendSides(pData, hPrinter, replay, sheets, sheets.sides(), 2, -2);
    else SendSides(pData, hPrinter, replay, sheets, 2, sheets.sides(), 2);
    WORD order = pData->Settings.wBackSideOrder;
    fronts = PrintsFronts(order);
    if (mode == 1) {
      replay.SendTrailer();
      if (!EndDocumentAndPrompt(hPrinter, dwJobId, sheets.sheets, fronts)) {
        ReleaseOrientationArray(&pData->booklet_info);
        return SecondPassLost();
      }
      replay.SendHeader(false);
    }
    if (fronts) WritePrefix(hPrinter, pData, 1);
    if (order == BACK_SIDES_ASCENDING) SendSides(pData, hPrinter, replay, sheets, 1, sheets.sides() - 1, 2);
    if (order == BACK_SIDES_DESCENDING) SendSides(pData, hPrinter, replay, sheets, sheets.sides() - 1, 1, -2);
  }
  replay.SendTrailer();
  ReleaseOrientationArray(&pData->booklet_info);
  if (mode == 0) {
    EndDocumentAndPrompt(hPrinter, dwJobId, pData->file_info.iTotalPage / 2, fronts);
  }
  return TRUE;
}

BOOL Hardware_DoBooklet(JobData* pData, HANDLE hPrinter) {
  if (!pData->booklet_info.bHaveRecord) return PrintBookletInOrder(pData, hPrinter, kNoRecord);
  INT copies = ReplayCopies(pData, CollateValues::AnyOtherIsOne);
  ReplayFraming replay(pData, hPrinter);
  if (auto start = replay.Begin(false); start != ReplayFraming::Start::Pages)
    return start == ReplayFraming::Start::SentWhole;
  TraceUndefinedBinding(pData);
  Sheets sheets = SheetsOf(pData);
  WCHAR ini[MAX_PATH] = {};
  GetMultiLangINIFile(hPrinter, ini);
  SHORT order = static_cast<SHORT>(GetModelFeature2(ModelFeature2, FEATURE_BOOKLET_ORDER, ini));
  for (INT copy = 0; copy < copies; ++copy) {
    if (order == 1) {
      SendSides(pData, hPrinter, replay, sheets, sheets.sides(), 1, -1);
      continue;
    }
    SendSides(pData, hPrinter, replay, sheets, 1, sheets.sides() - 1, 1);
    if (pData->file_info.iTotalPage > 1) {
      SendBookletPageData(pData, hPrinter, replay, sheets.sides(), sheets.slots);
      // The printer takes an empty write as the end of a booklet copy.
      ReplayWrite(pData, hPrinter, nullptr, 0);
    }
  }
  replay.SendTrailer();
  ReleaseOrientationArray(&pData->booklet_info);
  return TRUE;
}

BOOL PrintBookletPagesAlone(JobData* pData, HANDLE hPrinter) {
  if (!pData->booklet_info.bHaveRecord) return PrintBookletInOrder(pData, hPrinter, kNoRecord);
  Trace(TEXT("A booklet job in neither booklet mode prints each page once, in order, alone on a booklet side.\n"));
  ReplayFraming replay(pData, hPrinter);
  if (auto start = replay.Begin(false); start != ReplayFraming::Start::Pages)
    return start == ReplayFraming::Start::SentWhole;
  for (INT page = 1; page <= replay.pages(); ++page) SendPageAloneOnSide(pData, hPrinter, replay, page);
  replay.SendTrailer();
  ReleaseOrientationArray(&pData->booklet_info);
  return TRUE;
}

BOOL PrintBookletInOrder(JobData* pData, HANDLE hPrinter, LPCWSTR why) {
  Trace(why);
  return PrintInDocumentOrder(pData, hPrinter);
}
