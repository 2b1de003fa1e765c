// A replay as a schedule: the pieces it sends to the printer, in order.
// The functions that build one decide from the replay's inputs alone (the
// page count, the settings as the replay reads them, what the INI file and
// the printer data said), without any I/O, so that a test can read a
// schedule whole. The executor (ReplayExecutor, spool/replay.h) plays each
// piece as it is built, through one transfer buffer, and ends the schedule
// where the job was cancelled: nothing is ever held whole, however many
// copies a schedule makes.
#pragma once

#include "job/record.h"

enum class Piece : BYTE {
  Header,           // the job header; `flag`: without the eight prefix bytes, which are read into abPagePrefix
  Prefix,           // abPagePrefix[value] from the header, when it had them
  RecordPrefix,     // abPagePrefix[value] as the booklet record gave it
  Page,             // page `value` of the spool file
  Trailer,          // the bytes after the pages
  WholeFile,        // a job without page markers goes out as it came
  InstructionPage,  // the instruction page file of the job's orientation
  Bytes,            // `count` bytes at `bytes`: the booklet record's snippets, the composer's own
  EndOfCopy,        // the empty write a printer-made booklet copy ends with
  NextDocument,     // between the passes: the document ends, the user is asked (`flag`), the next one starts
  AfterJob,         // after the job: the document ends, the prompt or utility dialog (`flag`), a new one starts
};

struct ReplayPiece {
  Piece kind;
  INT value = 0;  // Prefix, RecordPrefix: the entry; Page: the page; NextDocument, AfterJob: the sheets
  bool flag = false;
  const BYTE* bytes = nullptr;
  DWORD count = 0;

  bool operator==(const ReplayPiece&) const = default;
};

// Where a schedule's pieces go. Each adder returns false when the schedule
// is to end there: nothing after it is played.
class Schedule {
 public:
  virtual ~Schedule() = default;
  virtual bool add(const ReplayPiece& piece) = 0;

  bool header(bool reordering) { return add({Piece::Header, 0, reordering}); }
  bool prefix(int entry) { return add({Piece::Prefix, entry}); }
  bool recordPrefix(int entry) { return add({Piece::RecordPrefix, entry}); }
  bool page(INT k) { return add({Piece::Page, k}); }
  bool trailer() { return add({Piece::Trailer}); }
  bool wholeFile() { return add({Piece::WholeFile}); }
  bool instructionPage() { return add({Piece::InstructionPage}); }
  bool bytes(const BYTE* p, DWORD n) { return n == 0 || add({Piece::Bytes, 0, false, p, n}); }
  bool endOfCopy() { return add({Piece::EndOfCopy}); }
  bool nextDocument(INT sheets, bool prompt) { return add({Piece::NextDocument, sheets, prompt}); }
  bool afterJob(INT sheets, bool prompt) { return add({Piece::AfterJob, sheets, prompt}); }
};

// How every replay begins: a job without page markers goes out as it came,
// and nothing follows (false); else its header, and true when the schedule
// goes on to the pages.
inline bool BeginPages(INT pages, bool reordering, Schedule& out) {
  if (pages == 0) {
    out.wholeFile();
    return false;
  }
  return out.header(reordering);
}

// Which BeginPage snippet of the booklet record a sheet side takes.
enum class AltBeginPage : BYTE {
  Never,
  FrontSides,  // the re-inserted fronts of a software booklet, on printers that ask for it
  CoverSides,  // the outer sheet of a printer-made booklet with a cover side
};

// What a replay is built from, decided once at its start (DecideReplay, and
// DecideBooklet for a booklet): settings without a defined meaning already
// read as the replay reads them, and traced there.
struct ReplayInputs {
  ReplayOrder order = ReplayOrder::None;
  INT pages = 0;   // page-start markers seen
  INT copies = 1;  // of the page sequence (of the booklet, for a printer-made one)
  // Reverse, odd and even page orders.
  WORD pageOrder = ORDER_REVERSE;
  INT prefixRow = 0;  // the row of the page prefix pattern
  // Transparencies.
  SHORT ohpMode = OHP_EACH_PAGE_SEPARATES;
  bool separatorAfter = false;
  bool transparenciesReversed = false;
  // Manual duplex and the software booklet.
  INT duplexMode = 0;  // "MD_ManualDuplex"
  bool firstPassDescending = false;
  WORD backSideOrder = BACK_SIDES_ASCENDING;
  bool fronts = true;  // the fronts are printed (and the user asked for them)
  bool instructionPage = false;
  // Booklets.
  bool bookletWithoutRecord = false;  // no usable booklet record: the pages go once in order
  WORD binding = BINDING_EVEN_SIDES_FIRST;
  SHORT bookletOrder = 0;  // the model's BookletOrder: 1 all sides descending
  AltBeginPage altBeginPage = AltBeginPage::Never;
  bool printsForm = false;
  const BOOKLET_INFO* booklet = nullptr;
};

// The page orders (spool/replay.cpp, spool/ohp.cpp, spool/duplex.cpp).
void DoReverseCollatePrn(const ReplayInputs& in, Schedule& out);
void DoCollatePrinting(const ReplayInputs& in, Schedule& out);
// The job as it came: the whole header, every page `copies` times, the trailer.
void PrintInDocumentOrder(const ReplayInputs& in, INT copies, Schedule& out);
void DoOhpPrinting(const ReplayInputs& in, Schedule& out);
void DoManualDuplex(const ReplayInputs& in, Schedule& out);
