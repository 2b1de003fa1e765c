// The replay orders of a spooled job, run at the end of the document, and
// the framing and copier they share.
#pragma once

#include "support/guards.h"
#include "job/record.h"

constexpr DWORD PRINT_BUF_SIZE = 8192;

// Every printer write of a replay goes through ReplayWrite: a failed write
// does not stop the replay, but it is counted in the job's
// dwFailedReplayWrites for the replay's end to report.
BOOL ReplayWrite(JobData* pData, HANDLE hPrinter, const void* bytes, DWORD count);

// Copies `cbData` bytes from the file's current position to the printer
// through `pBuffer` (PRINT_BUF_SIZE bytes), sending only what was read: a
// short or failed read ends the range.
void CopyFileToPrinter(JobData* pData, HANDLE hFile, HANDLE hPrinter, BYTE* pBuffer, DWORD cbData);
void SendPageData(JobData* pData, HANDLE hPrinter, BYTE* pBuffer, DWORD cbData);

// One replay of the spool file: its transfer buffer, and the header,
// pages, prefixes and trailer it sends. Pages are numbered from 1.
class ReplayFraming {
 public:
  ReplayFraming(JobData* pData, HANDLE hPrinter);
  bool ready() const { return static_cast<bool>(buffer_); }

  INT pages() const { return pData_->file_info.iTotalPage; }

  // How a replay begins: without its buffer nothing is sent; a job without
  // page markers goes out whole, as it came; else the header is sent.
  enum class Start { NoBuffer, SentWhole, Pages };
  Start Begin(bool reordering);
  // The header: whole, or for the reordering orders without the eight
  // prefix bytes, which are then read into abPagePrefix. A job whose first
  // page starts less than 8 bytes in has no prefixes; its header goes whole.
  void SendHeader(bool reordering);
  void SendPage(INT k);
  // Entry 0 or 1 of abPagePrefix, if the header had them.
  void SendPrefix(int entry);
  void SendTrailer();
  // A job without page markers goes out as it came: the whole file.
  void SendWholeFile();

 private:
  void SendRange(DWORD from, DWORD to);
  DWORD PagesEnd() const;

  JobData* pData_;
  HANDLE hPrinter_;
  GlobalBlock<BYTE> buffer_;
  bool havePrefixes_ = false;
};

// Copies of the page sequence: dmCopies for collated copies the driver
// makes, else 1; a count below 1 makes one copy (traced), since a DEVMODE
// asks for at least one. Settings without a defined meaning make one copy
// (traced):
// wPrinterCopies above 1 with wCollate 1 always, and wCollate above 1 where
// it is read as a switch (OHP). In reverse order any wCollate but 1 means
// one copy.
enum class CollateValues { Switch, AnyOtherIsOne };
INT ReplayCopies(const JobData* pData, CollateValues values);

BOOL DoReverseCollatePrn(JobData* pData, HANDLE hPrinter);
BOOL DoCollatePrinting(JobData* pData, HANDLE hPrinter);
// The job as it came: the whole header, every page once, the trailer.
BOOL PrintInDocumentOrder(JobData* pData, HANDLE hPrinter);
BOOL DoOhpPrinting(JobData* pData, HANDLE hPrinter);
BOOL DoManualDuplex(JobData* pData, HANDLE hPrinter, DWORD dwJobId);
