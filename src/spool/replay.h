// The replays of a spooled job, run at the end of the document: what each
// is built from, the one copier, and the one executor that plays every
// replay's schedule (spool/schedule.h).
#pragma once

#include "spool/schedule.h"
#include "support/guards.h"

constexpr DWORD PRINT_BUF_SIZE = 8192;

// Every printer write of a replay goes through ReplayWrite: a failed write
// does not stop the replay, but it is counted in the job's
// dwFailedReplayWrites for the replay's end to report. A write the spooler
// refuses as cancelled is no failure: the job is cancelled, and the replay
// ends there.
BOOL ReplayWrite(JobData* pData, const void* bytes, DWORD count);

// Copies `cbData` bytes from the file's current position to the printer
// through `pBuffer` (PRINT_BUF_SIZE bytes), sending only what was read: a
// short or failed read ends the range, and so does a cancel.
void CopyFileToPrinter(JobData* pData, HANDLE hFile, BYTE* pBuffer, DWORD cbData);
void SendPageData(JobData* pData, BYTE* pBuffer, DWORD cbData);

// The inputs of the job's replay (its plan's), read from its settings, the
// language INI file and the printer data; what has no defined meaning is
// traced here, once, before anything is sent.
ReplayInputs DecideReplay(JobData* pData);

// Copies of the page sequence: dmCopies for collated copies the driver
// makes, else 1; a count below 1 makes one copy (traced), since a DEVMODE
// asks for at least one. Settings without a defined meaning make one copy
// (traced):
// wPrinterCopies above 1 with wCollate 1 always, and wCollate above 1 where
// it is read as a switch (OHP). In reverse order any wCollate but 1 means
// one copy.
enum class CollateValues { Switch, AnyOtherIsOne };
INT ReplayCopies(const KQDEVMODE& s, CollateValues values);

// Plays a schedule's pieces as they come. The transfer buffer is taken at
// the first piece: a schedule without pieces sends nothing and needs none.
// Before each piece, and after each write, it asks whether the job was
// cancelled; between the passes and after the job it asks the spooler too,
// before anybody is asked anything. A second pass whose document cannot be
// started ends the schedule with its box.
class ReplayExecutor final : public Schedule {
 public:
  explicit ReplayExecutor(JobData* pData) : pData_(pData) {}
  bool add(const ReplayPiece& piece) override;
  // FALSE when the replay could not start (no transfer buffer): nothing of
  // it was sent.
  BOOL started() const { return !noBuffer_; }

 private:
  void play(const ReplayPiece& piece);
  bool positionAt(DWORD offset);
  void sendRange(DWORD from, DWORD to);
  void sendHeader(bool reordering);
  void sendPage(INT k);
  DWORD pagesEnd() const;
  bool betweenDocuments(const ReplayPiece& piece);

  JobData* pData_;
  GlobalBlock<BYTE> buffer_;
  bool noBuffer_ = false;
  bool ended_ = false;
  bool havePrefixes_ = false;
};
