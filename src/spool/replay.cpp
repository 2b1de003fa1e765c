// The copier and the executor every replay uses, what a replay is built
// from, and the plain orders: reverse, odd-only and even-only pages with
// copies, and collated copies.
#include "spool/replay.h"

#include "config/driverfiles.h"
#include "job/lifecycle.h"
#include "spool/duplex.h"
#include "support/text.h"

BOOL ReplayWrite(JobData* pData, const void* bytes, DWORD count) {
  BOOL ok = JobPrinterWrite(pData, bytes, count, nullptr);
  if (!ok && !JobCancelled(pData)) ++pData->dwFailedReplayWrites;
  return ok;
}

void CopyFileToPrinter(JobData* pData, HANDLE hFile, BYTE* pBuffer, DWORD cbData) {
  while (cbData > 0 && !JobCancelled(pData)) {
    DWORD chunk = cbData > PRINT_BUF_SIZE ? PRINT_BUF_SIZE : cbData;
    DWORD read = 0;
    BOOL ok = ReadFile(hFile, pBuffer, chunk, &read, nullptr);
    if (read > 0) ReplayWrite(pData, pBuffer, read);
    if (!ok || read < chunk) {
      Trace(TEXT("Short read from the spool file; the rest of the range is not sent.\n"));
      return;
    }
    cbData -= chunk;
  }
}

void SendPageData(JobData* pData, BYTE* pBuffer, DWORD cbData) {
  CopyFileToPrinter(pData, pData->hTempFile, pBuffer, cbData);
}

// ---------------------------------------------------------------- the executor

bool ReplayExecutor::add(const ReplayPiece& piece) {
  if (ended_ || JobCancelled(pData_)) return false;
  if (!buffer_) {
    buffer_ = GlobalBlock<BYTE>(PRINT_BUF_SIZE);
    if (!buffer_) {
      noBuffer_ = ended_ = true;
      return false;
    }
  }
  play(piece);
  return !ended_ && !JobCancelled(pData_);
}

void ReplayExecutor::play(const ReplayPiece& piece) {
  const FILE_INFO& index = pData_->file_info;
  switch (piece.kind) {
    case Piece::Header: sendHeader(piece.flag); break;
    case Piece::Prefix:
      if (havePrefixes_) ReplayWrite(pData_, pData_->abPagePrefix[piece.value], 4);
      break;
    case Piece::RecordPrefix: ReplayWrite(pData_, pData_->abPagePrefix[piece.value], 4); break;
    case Piece::Page: sendPage(piece.value); break;
    case Piece::Trailer:
      if (index.iTotalPage > 0) sendRange(pagesEnd(), index.dwCount);
      break;
    case Piece::WholeFile: sendRange(0, index.dwCount); break;
    case Piece::InstructionPage: PrintInstructionPage(pData_, buffer_.get()); break;
    case Piece::Bytes: ReplayWrite(pData_, piece.bytes, piece.count); break;
    case Piece::EndOfCopy: ReplayWrite(pData_, nullptr, 0); break;  // the printer takes it as a copy's end
    case Piece::NextDocument:
      // The second pass goes into its own document, or nowhere.
      if (!betweenDocuments(piece)) {
        if (!JobCancelled(pData_)) SecondPassLost();
        ended_ = true;
      }
      break;
    case Piece::AfterJob: betweenDocuments(piece); break;
  }
}

bool ReplayExecutor::betweenDocuments(const ReplayPiece& piece) {
  return EndDocumentAndPrompt(pData_, piece.value, piece.flag);
}

// Without the end-of-pages marker the last page runs to the end of the file.
DWORD ReplayExecutor::pagesEnd() const {
  const FILE_INFO& index = pData_->file_info;
  return index.bPagesEnded ? PageOffset(index, index.iTotalPage) : index.dwCount;
}

// Offsets reach 4 GiB - 1, so the position goes with its high part.
bool ReplayExecutor::positionAt(DWORD offset) {
  LONG high = 0;
  return SetFilePointer(pData_->hTempFile, static_cast<LONG>(offset), &high, FILE_BEGIN) != INVALID_SET_FILE_POINTER ||
         GetLastError() == NO_ERROR;
}

void ReplayExecutor::sendRange(DWORD from, DWORD to) {
  if (to < from) return;
  if (!positionAt(from)) {
    Trace(TEXT("Could not position the spool file; the range is not sent.\n"));
    return;
  }
  SendPageData(pData_, buffer_.get(), to - from);
}

// The header: whole, or for the reordering orders without the eight prefix
// bytes, which are then read into abPagePrefix. A job whose first page
// starts less than 8 bytes in has no prefixes, nor one whose header lost a
// buffer among its last eight bytes: its header goes whole. The prefixes
// are read where they stand, whatever became of the header's sending.
void ReplayExecutor::sendHeader(bool reordering) {
  const FILE_INFO& index = pData_->file_info;
  DWORD first = PageOffset(index, 0);
  bool gapInPrefixes = first >= 8 && first - 8 < index.dwHeaderLostAt;
  havePrefixes_ = reordering && index.iTotalPage > 0 && first >= 8 && !gapInPrefixes;
  if (!havePrefixes_) {
    if (reordering && gapInPrefixes)
      Trace(TEXT("The job's header lost a buffer; its pages go without the page prefixes.\n"));
    sendRange(0, first);
    return;
  }
  sendRange(0, first - 8);
  if (JobCancelled(pData_)) return;
  DWORD read = 0;
  havePrefixes_ =
      positionAt(first - 8) && ReadFile(pData_->hTempFile, pData_->abPagePrefix, 8, &read, nullptr) && read == 8;
  if (!havePrefixes_)
    Trace(TEXT("The page prefixes could not be read from the spool file; the pages go without them.\n"));
}

void ReplayExecutor::sendPage(INT k) {
  const FILE_INFO& index = pData_->file_info;
  if (k < 1 || k > index.iTotalPage) return;
  DWORD from = PageOffset(index, k - 1);
  DWORD to = k < index.iTotalPage ? PageOffset(index, k) : pagesEnd();
  sendRange(from, to);
}

// ---------------------------------------------------------------- the inputs

INT ReplayCopies(const KQDEVMODE& s, CollateValues values) {
  if (s.wCollate == COLLATE_ON && s.wPrinterCopies == COPIES_BY_DRIVER) {
    if (s.dm.dmCopies >= 1) return s.dm.dmCopies;
    Trace(TEXT("A copy count below 1 makes one copy.\n"));
    return 1;
  }
  bool undefined = (s.wCollate == COLLATE_ON && s.wPrinterCopies > COPIES_BY_PRINTER) ||
                   (values == CollateValues::Switch && s.wCollate > COLLATE_ON);
  if (undefined) Trace(TEXT("wCollate and wPrinterCopies have no meaning together here; one copy is made.\n"));
  return 1;
}

namespace {

INT PatternRow(const KQDEVMODE& s) {
  bool nextRow = s.wHardwareBooklet == BOOKLET_PREFIX_ROW || s.wHardwareBooklet == BOOKLET_BY_PRINTER;
  return (IsOn(s.wBookletSide) ? 2 : 0) + (nextRow ? 1 : 0);
}

void DecidePageOrder(const KQDEVMODE& s, ReplayInputs* in) {
  in->pageOrder = s.wReverseOrder;
  if (in->pageOrder > ORDER_EVEN_PAGES) {
    Trace(TEXT("wReverseOrder above 3 prints in reverse order.\n"));
    in->pageOrder = ORDER_REVERSE;
  }
  in->copies = ReplayCopies(s, CollateValues::AnyOtherIsOne);
  in->prefixRow = PatternRow(s);
}

void DecideTransparencies(const JobData* pData, ReplayInputs* in) {
  const KQDEVMODE& s = pData->Settings;
  in->ohpMode = s.wOhpMode;
  if (in->ohpMode > OHP_LAST_MODE) {
    Trace(TEXT("wOhpMode above 3 makes each page its own separator.\n"));
    in->ohpMode = OHP_EACH_PAGE_SEPARATES;
  }
  in->copies = ReplayCopies(s, CollateValues::Switch);
  in->separatorAfter = IsOn(s.wOhpSeparatorAfter);
  in->transparenciesReversed = pData->plan.bTransparenciesReversed;
}

void DecideManualDuplex(JobData* pData, ReplayInputs* in) {
  const KQDEVMODE& s = pData->Settings;
  in->duplexMode = ManualDuplexMode(pData->hPrinter);
  if (in->pages == 0) return;  // it goes out as it came
  in->instructionPage = InstructionPageWanted(s);
  in->firstPassDescending = FirstPassDescending(pData->hPrinter);
  in->backSideOrder = s.wBackSideOrder;
  in->fronts = PrintsFronts(s.wBackSideOrder);
}

}  // namespace

ReplayInputs DecideReplay(JobData* pData) {
  ReplayInputs in;
  in.order = pData->plan.replay;
  in.pages = pData->file_info.iTotalPage;
  in.booklet = &pData->booklet_info;
  const KQDEVMODE& s = pData->Settings;
  switch (in.order) {
    case ReplayOrder::PageOrder: DecidePageOrder(s, &in); break;
    case ReplayOrder::Collated: in.copies = s.dm.dmCopies; break;
    case ReplayOrder::Transparencies: DecideTransparencies(pData, &in); break;
    case ReplayOrder::ManualDuplex: DecideManualDuplex(pData, &in); break;
    case ReplayOrder::PrinterBooklet:
    case ReplayOrder::SoftwareBooklet:
    case ReplayOrder::BookletPagesAlone:  // DecideBooklet
    case ReplayOrder::None: break;
  }
  return in;
}

// ---------------------------------------------------------------- the plain orders

namespace {

// Codes of the page prefix pattern: 1 and 2 write entry 0 or 1 before the
// page and move on; 3 stops prefixes for the rest of the copy.
constexpr BYTE kPrefixPattern[4][4] = {{2, 3, 3, 3}, {2, 2, 3, 3}, {1, 2, 3, 3}, {1, 1, 2, 3}};

// The page sequences of wReverseOrder.
struct PageSequence {
  INT first, step, count;
  INT page(INT i) const { return first + i * step; }
};

PageSequence SequenceFor(WORD mode, INT n) {
  switch (mode) {
    case ORDER_ODD_PAGES: return {1, 2, (n + 1) / 2};
    case ORDER_EVEN_PAGES: return {2, 2, n / 2};
    default: return {n, -1, n};
  }
}

bool SeveralPages(WORD mode, INT n) {
  return mode == ORDER_ODD_PAGES ? n >= 3 : mode == ORDER_EVEN_PAGES ? n >= 4 : n > 1;
}

// One copy of a sequence of several pages, with the prefixes its pattern
// row puts before its first pages.
bool SendCopy(const BYTE* row, const PageSequence& seq, Schedule& out) {
  INT position = 0;
  bool stopped = false;
  for (INT i = 0; i < seq.count; ++i) {
    if (!stopped) {
      BYTE code = position < 4 ? row[position] : 3;
      if (code == 3) {
        stopped = true;
      } else {
        if (!out.prefix(code - 1)) return false;
        ++position;
      }
    }
    if (!out.page(seq.page(i))) return false;
  }
  return true;
}

}  // namespace

void DoReverseCollatePrn(const ReplayInputs& in, Schedule& out) {
  WORD mode = in.pageOrder;
  INT n = in.pages;
  if (mode == ORDER_EVEN_PAGES && n == 1) return;  // no even page: nothing at all
  if (!BeginPages(n, true, out)) return;
  const BYTE* row = kPrefixPattern[in.prefixRow];
  PageSequence seq = SequenceFor(mode, n);
  for (INT copy = 0; copy < in.copies; ++copy) {
    if (!SeveralPages(mode, n)) {
      if (!out.prefix(0) || !out.page(mode == ORDER_EVEN_PAGES ? 2 : 1)) return;
    } else if (!SendCopy(row, seq, out)) {
      return;
    }
  }
  out.trailer();
}

void PrintInDocumentOrder(const ReplayInputs& in, INT copies, Schedule& out) {
  if (!BeginPages(in.pages, false, out)) return;
  for (INT copy = 0; copy < copies; ++copy)
    for (INT k = 1; k <= in.pages; ++k)
      if (!out.page(k)) return;
  out.trailer();
}

void DoCollatePrinting(const ReplayInputs& in, Schedule& out) { PrintInDocumentOrder(in, in.copies, out); }
