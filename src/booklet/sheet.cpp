// Sheet sides: all framing comes from the booklet record's snippets; the
// one byte of the composer's own is SetPageDefaultCTM, which puts the page
// coordinates back before the second page is placed.
#include "booklet/sheet.h"

#include "pclxl/format.h"

namespace {

constexpr BYTE kSetPageDefaultCTM = pclxl::op::SetPageDefaultCTM;

bool Snippet(Schedule& out, const BOOKLET_SNIPPET& snippet) { return out.bytes(snippet.abData, snippet.bLength); }

// The BeginPage snippet of a side.
const BOOKLET_SNIPPET& BeginPageOf(const ReplayInputs& in, INT side) {
  const BOOKLET_INFO& store = *in.booklet;
  switch (in.altBeginPage) {
    case AltBeginPage::FrontSides: return side % 2 == 1 ? store.abBeginPageAlt : store.abBeginPage;
    case AltBeginPage::CoverSides: return side == 1 || side == 2 ? store.abBeginPageAlt : store.abBeginPage;
    case AltBeginPage::Never: break;
  }
  return store.abBeginPage;
}

bool IsPage(const ReplayInputs& in, INT page) { return page >= 1 && page <= in.pages; }

// A page in a position: its origin and, for a page of the orientation the
// selector names, its rotation; then scale, clip and the page's bytes.
bool SendPlacedPage(const ReplayInputs& in, INT page, int position, Schedule& out) {
  const BOOKLET_INFO& store = *in.booklet;
  BYTE orientation = PageOrientation(store, page);
  bool going = true;
  if (orientation == DMORIENT_PORTRAIT) {
    going = Snippet(out, store.abPageOrigin[position]) &&
            (store.bRotationSelector != 2 || Snippet(out, store.abPageRotation[1]));
  } else if (orientation == DMORIENT_LANDSCAPE) {
    going = Snippet(out, store.abPageOrigin[2 + position]) &&
            (store.bRotationSelector != 1 || Snippet(out, store.abPageRotation[0]));
  }
  return going && Snippet(out, store.abPageScale) && Snippet(out, store.abClipMode) && out.page(page);
}

// A side: its BeginPage snippet, the overlay where the job prints one, the
// pages that are the job's in their positions, its EndPage snippet.
bool SendSide(const ReplayInputs& in, const BOOKLET_SNIPPET& beginPage, SidePages pages, Schedule& out) {
  const BOOKLET_INFO& store = *in.booklet;
  if (!Snippet(out, beginPage)) return false;
  bool first = IsPage(in, pages.first), second = IsPage(in, pages.second);
  if (in.printsForm && (first || second)) {
    bool going = Snippet(out, store.abExecStream[1]) && Snippet(out, store.abPageScale) &&
                 Snippet(out, store.abClipMode) && Snippet(out, store.abExecStream[0]) &&
                 out.bytes(&kSetPageDefaultCTM, 1);
    if (!going) return false;
  }
  if (first && !(SendPlacedPage(in, pages.first, 0, out) && out.bytes(&kSetPageDefaultCTM, 1))) return false;
  if (second && !SendPlacedPage(in, pages.second, 1, out)) return false;
  return Snippet(out, store.abEndPage);
}

}  // namespace

SidePages PagesOfSide(INT side, INT slots, WORD binding) {
  INT facing = slots + 1 - side;
  bool sideFirst = binding == BINDING_ODD_SIDES_FIRST ? side % 2 == 1 : side % 2 == 0;
  return sideFirst ? SidePages{side, facing} : SidePages{facing, side};
}

bool SendBookletPageData(const ReplayInputs& in, INT iSide, INT iPageSlots, Schedule& out) {
  return SendSide(in, BeginPageOf(in, iSide), PagesOfSide(iSide, iPageSlots, in.binding), out);
}

bool SendPageAloneOnSide(const ReplayInputs& in, INT page, Schedule& out) {
  return SendSide(in, in.booklet->abBeginPage, SidePages{page, 0}, out);
}
