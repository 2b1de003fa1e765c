// The copier and framing every replay uses, and the plain orders: reverse,
// odd-only and even-only pages with copies, and collated copies.
#include "spool/replay.h"

#include "support/text.h"

BOOL ReplayWrite(JobData* pData, HANDLE hPrinter, const void* bytes, DWORD count) {
  DWORD written = 0;
  BOOL ok = WritePrinter(hPrinter, const_cast<void*>(bytes), count, &written);
  if (!ok) ++pData->dwFailedReplayWrites;
  return ok;
}

void CopyFileToPrinter(JobData* pData, HANDLE hFile, HANDLE hPrinter, BYTE* pBuffer, DWORD cbData) {
  while (cbData > 0) {
    DWORD chunk = cbData > PRINT_BUF_SIZE ? PRINT_BUF_SIZE : cbData;
    DWORD read = 0;
    BOOL ok = ReadFile(hFile, pBuffer, chunk, &read, nullptr);
    if (read > 0) ReplayWrite(pData, hPrinter, pBuffer, read);
    if (!ok || read < chunk) {
      Trace(TEXT("Short read from the spool file; the rest of the range is not sent.\n"));
      return;
    }
    cbData -= chunk;
  }
}

void SendPageData(JobData* pData, HANDLE hPrinter, BYTE* pBuffer, DWORD cbData) {
  CopyFileToPrinter(pData, pData->hTempFile, hPrinter, pBuffer, cbData);
}

ReplayFraming::ReplayFraming(JobData* pData, HANDLE hPrinter)
    : pData_(pData), hPrinter_(hPrinter), buffer_(PRINT_BUF_SIZE) {}

// Without the end-of-pages marker the last page runs to the end of the file.
DWORD ReplayFraming::PagesEnd() const {
  const FILE_INFO& index = pData_->file_info;
  return index.bPagesEnded ? PageOffset(index, index.iTotalPage) : index.dwCount;
}

// Offsets reach 4 GiB - 1, so the position goes with its high part. An
// empty range still positions the file: the prefix read after an empty
// header starts there.
void ReplayFraming::SendRange(DWORD from, DWORD to) {
  if (to < from) return;
  LONG high = 0;
  if (SetFilePointer(pData_->hTempFile, static_cast<LONG>(from), &high, FILE_BEGIN) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    Trace(TEXT("Could not position the spool file; the range is not sent.\n"));
    return;
  }
  SendPageData(pData_, hPrinter_, buffer_.get(), to - from);
}

ReplayFraming::Start ReplayFraming::Begin(bool reordering) {
  if (!ready()) return Start::NoBuffer;
  if (pages() == 0) {
    SendWholeFile();
    return Start::SentWhole;
  }
  SendHeader(reordering);
  return Start::Pages;
}

void ReplayFraming::SendHeader(bool reordering) {
  DWORD first = PageOffset(pData_->file_info, 0);
  havePrefixes_ = reordering && pages() > 0 && first >= 8;
  if (!havePrefixes_) {
    SendRange(0, first);
    return;
  }
  SendRange(0, first - 8);
  DWORD read = 0;
  ReadFile(pData_->hTempFile, pData_->abPagePrefix, 8, &read, nullptr);
  havePrefixes_ = read == 8;
  if (!havePrefixes_)
    Trace(TEXT("The page prefixes could not be read from the spool file; the pages go without them.\n"));
}

void ReplayFraming::SendPage(INT k) {
  if (k < 1 || k > pages()) return;
  DWORD from = PageOffset(pData_->file_info, k - 1);
  DWORD to = k < pages() ? PageOffset(pData_->file_info, k) : PagesEnd();
  SendRange(from, to);
}

void ReplayFraming::SendPrefix(int entry) {
  if (havePrefixes_) ReplayWrite(pData_, hPrinter_, pData_->abPagePrefix[entry], 4);
}

void ReplayFraming::SendTrailer() {
  if (pages() > 0) SendRange(PagesEnd(), pData_->file_info.dwCount);
}

void ReplayFraming::SendWholeFile() { SendRange(0, pData_->file_info.dwCount); }

INT ReplayCopies(const JobData* pData, CollateValues values) {
  const KQDEVMODE& s = pData->Settings;
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

// Codes of the page prefix pattern: 1 and 2 write entry 0 or 1 before the
// page and move on; 3 stops prefixes for the rest of the copy.
constexpr BYTE kPrefixPattern[4][4] = {{2, 3, 3, 3}, {2, 2, 3, 3}, {1, 2, 3, 3}, {1, 1, 2, 3}};

INT PatternRow(const KQDEVMODE& s) {
  bool nextRow = s.wHardwareBooklet == BOOKLET_PREFIX_ROW || s.wHardwareBooklet == BOOKLET_BY_PRINTER;
  return (IsOn(s.wBookletSide) ? 2 : 0) + (nextRow ? 1 : 0);
}

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

}  // namespace

BOOL DoReverseCollatePrn(JobData* pData, HANDLE hPrinter) {
  const KQDEVMODE& s = pData->Settings;
  WORD mode = s.wReverseOrder;
  if (mode > ORDER_EVEN_PAGES) {
    Trace(TEXT("wReverseOrder above 3 prints in reverse order.\n"));
    mode = ORDER_REVERSE;
  }
  INT copies = ReplayCopies(pData, CollateValues::AnyOtherIsOne);
  INT n = pData->file_info.iTotalPage;
  if (mode == ORDER_EVEN_PAGES && n == 1) return TRUE;  // no even page: nothing at all

  ReplayFraming replay(pData, hPrinter);
  if (auto start = replay.Begin(true); start != ReplayFraming::Start::Pages)
    return start == ReplayFraming::Start::SentWhole;
  const BYTE* row = kPrefixPattern[PatternRow(s)];
  PageSequence seq = SequenceFor(mode, n);
  for (INT copy = 0; copy < copies; ++copy) {
    if (!SeveralPages(mode, n)) {
      replay.SendPrefix(0);
      replay.SendPage(mode == ORDER_EVEN_PAGES ? 2 : 1);
      continue;
    }
    INT position = 0;
    bool stopped = false;
    for (INT i = 0; i < seq.count; ++i) {
      if (!stopped) {
        BYTE code = position < 4 ? row[position] : 3;
        if (code == 3) {
          stopped = true;
        } else {
          replay.SendPrefix(code - 1);
          ++position;
        }
      }
      replay.SendPage(seq.page(i));
    }
  }
  replay.SendTrailer();
  return TRUE;
}

namespace {

// The whole header, the pages in order `copies` times, the trailer.
BOOL SendInOrder(JobData* pData, HANDLE hPrinter, INT copies) {
  ReplayFraming replay(pData, hPrinter);
  if (auto start = replay.Begin(false); start != ReplayFraming::Start::Pages)
    return start == ReplayFraming::Start::SentWhole;
  INT n = replay.pages();
  for (INT copy = 0; copy < copies; ++copy)
    for (INT k = 1; k <= n; ++k) replay.SendPage(k);
  replay.SendTrailer();
  return TRUE;
}

}  // namespace

BOOL DoCollatePrinting(JobData* pData, HANDLE hPrinter) {
  return SendInOrder(pData, hPrinter, pData->Settings.dm.dmCopies);
}

BOOL PrintInDocumentOrder(JobData* pData, HANDLE hPrinter) { return SendInOrder(pData, hPrinter, 1); }
