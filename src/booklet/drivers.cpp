// Booklet replays: a software booklet in two passes with the sheets put
// back between them, and a booklet the printer duplexes itself.
#include "booklet/drivers.h"

#include "booklet/sheet.h"
#include "config/driverfiles.h"
#include "spool/duplex.h"
#include "spool/replay.h"
#include "support/text.h"

namespace {

struct Sheets {
  INT sheets, slots;  // S and N = 4S
  INT sides() const { return 2 * sheets; }
};

Sheets SheetsOf(const ReplayInputs& in) {
  INT s = (in.pages + 3) / 4;
  return {s, 4 * s};
}

// Sides `from`, from + step, ... while within 1 to `to`.
bool SendSides(const ReplayInputs& in, const Sheets& sheets, INT from, INT to, INT step, Schedule& out) {
  for (INT side = from; step > 0 ? side <= to : side >= to; side += step)
    if (!SendBookletPageData(in, side, sheets.slots, out)) return false;
  return true;
}

AltBeginPage AltBeginPageFor(HANDLE hPrinter, const KQDEVMODE& s) {
  BYTE feature[MDL_FEATURE_SIZE];
  if (ReadMdlFeature(hPrinter, feature) && MdlPicksAltBeginPage(feature)) {
    if (MdlFirstPassDescending(feature) || s.wManualDuplex != MANUAL_DUPLEX_BOOKLET) return AltBeginPage::Never;
    return AltBeginPage::FrontSides;
  }
  if (s.wHardwareBooklet == BOOKLET_BY_PRINTER && IsOn(s.wBookletSide)) return AltBeginPage::CoverSides;
  return AltBeginPage::Never;
}

// The binding as the sheet composer reads it.
WORD BindingOf(const KQDEVMODE& s, bool traced) {
  if (traced && s.wBookletBinding > BINDING_ODD_SIDES_FIRST)
    Trace(TEXT("wBookletBinding above 1 pairs the pages as 0 does.\n"));
  return s.wBookletBinding == BINDING_ODD_SIDES_FIRST ? BINDING_ODD_SIDES_FIRST : BINDING_EVEN_SIDES_FIRST;
}

}  // namespace

void DecideBooklet(JobData* pData, ReplayInputs* in) {
  const KQDEVMODE& s = pData->Settings;
  HANDLE hPrinter = pData->hPrinter;
  if (!pData->booklet_info.bHaveRecord) {
    in->bookletWithoutRecord = true;
    Trace(TEXT("A booklet job without a usable booklet record prints its pages once in order.\n"));
    return;
  }
  in->printsForm = pData->plan.form == FormUse::Print;
  switch (in->order) {
    case ReplayOrder::PrinterBooklet: {
      in->copies = ReplayCopies(s, CollateValues::AnyOtherIsOne);
      if (in->pages == 0) return;  // it goes out as it came
      in->binding = BindingOf(s, true);
      WCHAR ini[MAX_PATH] = {};
      GetMultiLangINIFile(hPrinter, ini);
      in->bookletOrder = static_cast<SHORT>(GetModelFeature2(ModelFeature2, FEATURE_BOOKLET_ORDER, ini));
      break;
    }
    case ReplayOrder::SoftwareBooklet:
      in->duplexMode = ManualDuplexMode(hPrinter);
      if (in->pages == 0) return;
      in->binding = BindingOf(s, true);
      in->instructionPage = InstructionPageWanted(s);
      if (in->pages > 1) {
        in->firstPassDescending = FirstPassDescending(hPrinter);
        in->backSideOrder = s.wBackSideOrder;
        in->fronts = PrintsFronts(s.wBackSideOrder);
      }
      break;
    case ReplayOrder::BookletPagesAlone:
      Trace(TEXT("A booklet job in neither booklet mode prints each page once, in order, alone on a booklet side.\n"));
      return;
    default: return;
  }
  in->altBeginPage = AltBeginPageFor(hPrinter, s);
}

void DoBooklet(const ReplayInputs& in, Schedule& out) {
  if (!BeginPages(in.pages, false, out)) return;
  if (in.instructionPage && !out.instructionPage()) return;
  Sheets sheets = SheetsOf(in);
  if (in.pages <= 1) {
    if (!out.recordPrefix(0) || !SendBookletPageData(in, 1, sheets.slots, out)) return;
  } else {
    if (!out.recordPrefix(0)) return;
    bool backs = in.firstPassDescending ? SendSides(in, sheets, sheets.sides(), 2, -2, out)
                                        : SendSides(in, sheets, 2, sheets.sides(), 2, out);
    if (!backs) return;
    if (in.duplexMode == 1 && !(out.trailer() && out.nextDocument(sheets.sheets, in.fronts) && out.header(false)))
      return;
    if (in.fronts && !out.recordPrefix(1)) return;
    bool fronts = true;
    if (in.backSideOrder == BACK_SIDES_ASCENDING) fronts = SendSides(in, sheets, 1, sheets.sides() - 1, 2, out);
    if (in.backSideOrder == BACK_SIDES_DESCENDING) fronts = SendSides(in, sheets, sheets.sides() - 1, 1, -2, out);
    if (!fronts) return;
  }
  if (!out.trailer()) return;
  if (in.duplexMode == 0) out.afterJob(in.pages / 2, in.fronts);
}

void Hardware_DoBooklet(const ReplayInputs& in, Schedule& out) {
  if (!BeginPages(in.pages, false, out)) return;
  Sheets sheets = SheetsOf(in);
  for (INT copy = 0; copy < in.copies; ++copy) {
    if (in.bookletOrder == 1) {
      if (!SendSides(in, sheets, sheets.sides(), 1, -1, out)) return;
      continue;
    }
    if (!SendSides(in, sheets, 1, sheets.sides() - 1, 1, out)) return;
    if (in.pages > 1 && !(SendBookletPageData(in, sheets.sides(), sheets.slots, out) && out.endOfCopy())) return;
  }
  out.trailer();
}

void PrintBookletPagesAlone(const ReplayInputs& in, Schedule& out) {
  if (!BeginPages(in.pages, false, out)) return;
  for (INT page = 1; page <= in.pages; ++page)
    if (!SendPageAloneOnSide(in, page, out)) return;
  out.trailer();
}
