// Sheet sides: all framing comes from the booklet record's snippets; the
// one byte of the composer's own is SetPageDefaultCTM, which puts the page
// coordinates back before the second page is placed.
#include "booklet/sheet.h"

#include "config/driverfiles.h"
#include "pclxl/format.h"
#include "support/text.h"

namespace {

constexpr BYTE kSetPageDefaultCTM = pclxl::op::SetPageDefaultCTM;

void Write(JobData* pData, HANDLE hPrinter, const void* bytes, DWORD count) {
  if (count > 0) ReplayWrite(pData, hPrinter, bytes, count);
}

void WriteSnippet(JobData* pData, HANDLE hPrinter, const BOOKLET_SNIPPET& snippet) {
  Write(pData, hPrinter, snippet.abData, snippet.bLength);
}

// The BeginPage snippet of a side: the alternate one for the re-inserted
// fronts of a software booklet on printers that ask for it, and for the
// outer sheet of a printer-made booklet with a cover side.
const BOOKLET_SNIPPET& BeginPageOf(const JobData* pData, HANDLE hPrinter, INT side) {
  const BOOKLET_INFO& store = pData->booklet_info;
  const KQDEVMODE& s = pData->Settings;
  BYTE feature[MDL_FEATURE_SIZE];
  if (ReadMdlFeature(hPrinter, feature) && MdlPicksAltBeginPage(feature)) {
    if (MdlFirstPassDescending(feature)) return store.abBeginPage;
    if (s.wManualDuplex == MANUAL_DUPLEX_BOOKLET && side % 2 == 1) return store.abBeginPageAlt;
    return store.abBeginPage;
  }
  bool coverSides = side == 1 || side == 2;
  if (s.wHardwareBooklet == BOOKLET_BY_PRINTER && IsOn(s.wBookletSide) && coverSides) return store.abBeginPageAlt;
  return store.abBeginPage;
}

bool IsPage(const JobData* pData, INT page) { return page >= 1 && page <= pData->file_info.iTotalPage; }

// A page in a position: its origin and, for a page of the orientation the
// selector names, its rotation; then scale, clip and the page's bytes.
void SendPlacedPage(JobData* pData, HANDLE hPrinter, ReplayFraming& replay, INT page, int position) {
  const BOOKLET_INFO& store = pData->booklet_info;
  BYTE orientation = PageOrientation(store, page);
  if (orientation == DMORIENT_PORTRAIT) {
    WriteSnippet(pData, hPrinter, store.abPageOrigin[position]);
    if (store.bRotationSelector == 2) WriteSnippet(pData, hPrinter, store.abPageRotation[1]);
  } else if (orientation == DMORIENT_LANDSCAPE) {
    WriteSnippet(pData, hPrinter, store.abPageOrigin[2 + position]);
    if (store.bRotationSelector == 1) WriteSnippet(pData, hPrinter, store.abPageRotation[0]);
  }
  WriteSnippet(pData, hPrinter, store.abPageScale);
  WriteSnippet(pData, hPrinter, store.abClipMode);
  replay.SendPage(page);
}

}  // namespace

SidePages PagesOfSide(INT side, INT slots, WORD binding) {
  INT facing = slots + 1 - side;
  bool sideFirst = binding == BINDING_ODD_SIDES_FIRST ? side % 2 == 1 : side % 2 == 0;
  return sideFirst ? SidePages{side, facing} : SidePages{facing, side};
}

namespace {

// A side: its BeginPage snippet, the overlay where the job prints one, the
// pages that are the job's in their positions, its EndPage snippet.
void SendSide(JobData* pData, HANDLE hPrinter, ReplayFraming& replay, const BOOKLET_SNIPPET& beginPage,
              SidePages pages) {
  const BOOKLET_INFO& store = pData->booklet_info;
  WriteSnippet(pData, hPrinter, beginPage);
  bool first = IsPage(pData, pages.first), second = IsPage(pData, pages.second);
  if (pData->plan.form == FormUse::Print && (first || second)) {
    WriteSnippet(pData, hPrinter, store.abExecStream[1]);
    WriteSnippet(pData, hPrinter, store.abPageScale);
    WriteSnippet(pData, hPrinter, store.abClipMode);
    WriteSnippet(pData, hPrinter, store.abExecStream[0]);
    Write(pData, hPrinter, &kSetPageDefaultCTM, 1);
  }
  if (first) {
    SendPlacedPage(pData, hPrinter, replay, pages.first, 0);
    Write(pData, hPrinter, &kSetPageDefaultCTM, 1);
  }
  if (second) SendPlacedPage(pData, hPrinter, replay, pages.second, 1);
  WriteSnippet(pData, hPrinter, store.abEndPage);
}

}  // namespace

void SendBookletPageData(JobData* pData, HANDLE hPrinter, ReplayFraming& replay, INT iSide, INT iPageSlots) {
  WORD binding =
      pData->Settings.wBookletBinding == BINDING_ODD_SIDES_FIRST ? BINDING_ODD_SIDES_FIRST : BINDING_EVEN_SIDES_FIRST;
  SidePages pages = PagesOfSide(iSide, iPageSlots, binding);
  SendSide(pData, hPrinter, replay, BeginPageOf(pData, hPrinter, iSide), pages);
}

void SendPageAloneOnSide(JobData* pData, HANDLE hPrinter, ReplayFraming& replay, INT page) {
  SendSide(pData, hPrinter, replay, pData->booklet_info.abBeginPage, SidePages{page, 0});
}
