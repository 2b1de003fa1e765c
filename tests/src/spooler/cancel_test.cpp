// A job the user cancels from the print queue, at every point a cancel can
// fall, for every replay: what reached the port is what had reached it
// before the cancel, nobody is asked anything after it, no document starts
// after it, and nothing is left behind. The uncancelled run of the same job
// is the oracle: its writes, boxes and documents up to the cancel point.
#include <gtest/gtest.h>

#include <regex>

#include "booklet/drivers.h"
#include "job/lifecycle.h"
#include "spool/replay.h"
#include "spooler/replays.h"
#include "support/booklet_job.h"
#include "support/replay_orders.h"
#include "support/spooled_job.h"
#include "support/test_machine.h"

namespace {

using winsim::CancelPlan;
using winsim::CancelPoint;

// What the spooler saw of a run, in order.
enum class Seen { Write, Box, DocumentEnd, DocumentStart };
struct Event {
  Seen what;
  size_t bytes = 0;
};

struct Played {
  std::string port;  // every port document, one after the other
  int documents = 0;
  int boxes = 0;
  bool cancelTraced = false;
  int refusedWrites = 0;  // writes the spooler refused as cancelled
  std::vector<Event> events;
  std::vector<jobkit::HookResult> hooks;
};

long long field(const std::string& line, const char* name) {
  std::smatch m;
  std::regex re(std::string("\"") + name + "\":(-?[0-9]+)");
  return std::regex_search(line, m, re) ? std::stoll(m[1]) : -1;
}

Played play(const std::string& script, const char16_t* duplexMode = nullptr) {
  test::TestMachine m;
  if (duplexMode)
    m->setProfileString(std::u16string(test::kDriverDir) + u"KQXLEN.INI", u"DUPLEX", u"MD_ManualDuplex", duplexMode);
  Played r;
  winsim::Observer o;
  o.api = [&](const std::string& line) {
    bool ok = field(line, "result") > 0;
    if (line.find("\"function\":\"WritePrinter\"") != std::string::npos) {
      if (ok) r.events.push_back({Seen::Write, static_cast<size_t>(field(line, "cbBuf"))});
      if (field(line, "error") == ERROR_PRINT_CANCELLED) ++r.refusedWrites;
    }
    if (line.find("\"function\":\"EndDocPrinter\"") != std::string::npos && ok) r.events.push_back({Seen::DocumentEnd});
    if (line.find("\"function\":\"StartDocPrinterW\"") != std::string::npos && ok)
      r.events.push_back({Seen::DocumentStart});
  };
  o.messageBox = [&](const winsim::MessageBoxRecord&) { r.events.push_back({Seen::Box}); };
  m->setObserver(o);
  m->setLogApi(true);
  m.play(script);
  for (auto& d : m.portDocuments()) r.port += d;
  r.documents = m.documentCount();
  r.boxes = static_cast<int>(m->messageBoxes().size());
  r.cancelTraced = m.hasTrace(u"The job was cancelled: nothing more of it is printed.\n");
  r.hooks = m.hooks();
  EXPECT_EQ(test::leaksOf(m.machine()), "");
  return r;
}

// What the cancelled run must be: the clean run up to the cancel point. A
// point the clean run never reaches cancels nothing.
struct Expected {
  std::string port;
  int documents = 1;
  int boxes = 0;
  bool cancelled = false;
};

Expected upTo(const Played& clean, CancelPlan plan) {
  Expected e;
  size_t bytes = 0;
  int writes = 0;
  if (plan.point == CancelPoint::Now) return {"", 1, 0, true};
  for (const Event& ev : clean.events) {
    if (ev.what == Seen::Box) {
      ++e.boxes;
      if (plan.point == CancelPoint::AtBox) e.cancelled = true;
    }
    if (ev.what == Seen::DocumentStart) ++e.documents;
    if (ev.what == Seen::Write) {
      bytes += ev.bytes;
      e.cancelled = plan.point == CancelPoint::AfterWrites && ++writes == plan.writes;
    }
    if (ev.what == Seen::DocumentEnd && plan.point == CancelPoint::AtDocumentEnd) e.cancelled = true;
    if (e.cancelled) break;
  }
  if (!e.cancelled) return {clean.port, clean.documents, clean.boxes, false};
  e.port = clean.port.substr(0, bytes);
  return e;
}

std::string directive(CancelPlan plan) {
  switch (plan.point) {
    case CancelPoint::Now: return "cancel";
    case CancelPoint::AfterWrites: return "cancel writes=" + std::to_string(plan.writes);
    case CancelPoint::AtBox: return "cancel box";
    case CancelPoint::AtDocumentEnd: return "cancel document-end";
  }
  return "";
}

// The script with the cancel armed just before its end of document.
std::string cancelledAt(std::string script, CancelPlan plan) {
  size_t at = script.rfind("enddoc\n");
  return script.insert(at, directive(plan) + "\n");
}

struct Job {
  std::string label;
  std::string script;
  const char16_t* duplexMode;
};

std::vector<Job> everyReplay() {
  std::vector<Job> jobs;
  for (auto& order : test::sixPageOrders()) {
    std::string settings;
    for (auto& s : order.settings) settings += s + " ";
    jobs.push_back({order.label(), test::SpooledJob{settings, 6}.script(), order.manualDuplexMode});
  }
  jobs.push_back(
      {"wManualDuplex=1 (split, no fronts)", test::SpooledJob{"wManualDuplex=1 wBackSideOrder=2", 6}.script(), u"1"});
  auto booklet = [](const std::string& settings, bool software) {
    test::BookletJob b{settings, std::vector<int>(6, 1), {test::bookletRecord(test::labelledElements(software))}};
    return b.script();
  };
  jobs.push_back(
      {"printer booklet, 2 copies", booklet("wBooklet=1 wHardwareBooklet=2 wCollate=1 dmCopies=2", false), nullptr});
  jobs.push_back({"software booklet, two documents", booklet("wBooklet=1 wManualDuplex=2", true), u"1"});
  jobs.push_back({"software booklet, utility dialog", booklet("wBooklet=1 wManualDuplex=2", true), u"0"});
  jobs.push_back({"booklet in neither mode", booklet("wBooklet=1", false), nullptr});
  // Pages of several transfer buffers each: a cancel falls inside a page.
  std::string big = "settings reset wReverseOrder=1\nstartdoc\nwrite settings\nwrite text \"HEADAAAABBBB\"\n";
  for (char c : {'x', 'y'})
    big += "startpage\nwrite marker page-start 1\nwrite text \"" + std::string(20000, c) + "\"\nendpage\n";
  jobs.push_back({"reverse order, large pages", big + "write marker pages-end\nenddoc\nclose\n", nullptr});
  return jobs;
}

TEST(Cancel, EveryReplayStopsWhereTheCancelFalls) {
  const CancelPlan points[] = {
      {CancelPoint::Now},   {CancelPoint::AfterWrites, 1}, {CancelPoint::AfterWrites, 2}, {CancelPoint::AfterWrites, 7},
      {CancelPoint::AtBox}, {CancelPoint::AtDocumentEnd}};
  for (const Job& job : everyReplay()) {
    Played clean = play(job.script, job.duplexMode);
    ASSERT_FALSE(clean.port.empty()) << job.label;
    for (CancelPlan plan : points) {
      SCOPED_TRACE(job.label + ", " + directive(plan));
      Played cancelled = play(cancelledAt(job.script, plan), job.duplexMode);
      Expected want = upTo(clean, plan);
      EXPECT_EQ(cancelled.port, want.port);
      EXPECT_EQ(cancelled.documents, want.documents) << "a document started after the cancel";
      EXPECT_EQ(cancelled.boxes, want.boxes) << "somebody was asked something after the cancel";
      EXPECT_EQ(cancelled.cancelTraced, want.cancelled);
      // The component stops at the first refusal: it does not go on writing into a cancelled job.
      EXPECT_LE(cancelled.refusedWrites, 1);
    }
  }
}

// A job sent straight to the port, whose captured text goes out at its
// page's end in several writes: the write the spooler refuses fails that
// hook with nothing more sent and no box, and the spooler then tells the
// component once and ends the job.
TEST(Cancel, ADirectJobStopsAtTheRefusedWrite) {
  std::string text(20000, 't');
  std::string script =
      "settings reset wTextCapture=1\nstartdoc\nwrite settings\nstartpage\n"
      "write text \"before\"\nwrite hex 1B FB 0B FA\nwrite text \"" +
      text +
      "\"\nwrite hex 1B FB 0B FB\ncancel writes=1\nendpage\nstartpage\n"
      "write text \"after\"\nendpage\nenddoc\nclose\n";
  Played r = play(script);
  EXPECT_EQ(r.port.size(), 6u + 8192u);
  EXPECT_TRUE(r.port == "before" + text.substr(0, 8192));
  std::vector<std::string> hooks;
  for (auto& h : r.hooks) hooks.push_back(std::string(h.hook) + (h.hasResult ? "=" + std::to_string(h.result) : ""));
  std::vector<std::string> tail(hooks.end() - 4, hooks.end());
  EXPECT_EQ(tail, (std::vector<std::string>{"DrvSplEndPage=0", "DrvSplAbort", "DrvSplEndDoc", "DrvSplClose"}));
  EXPECT_TRUE(r.cancelTraced);
  EXPECT_EQ(r.boxes, 0);
}

// A spooled job's settings, header and pages "p1;", "p2;", ... through the
// hooks, as the spooler calls them.
void sendPages(winsim::PrintJob& job, const char* field, int pages) {
  auto settings = jobkit::SettingsBuilder{}.with(field, 1).build(test::kPrinter);
  DWORD w = 0;
  job.write(settings.data(), 1625, &w);
  job.write("HEADAAAABBBB", 12, &w);
  for (int k = 1; k <= pages; ++k) {
    std::string page = "p" + std::to_string(k) + ";";
    job.startPage();
    job.write("\x1B\xF0\x10\xAA\x01", 5, &w);
    job.write(page.data(), 3, &w);
    job.endPage();
  }
}

// The spooler's own abort, as scripts have always played it: the replay is
// not run, and a buffer after it goes nowhere.
TEST(Cancel, AfterDrvSplAbortNothingMoreIsPrinted) {
  test::TestMachine m;
  winsim::PrintJob job(test::kPrinter, 0, u"aborted");
  ASSERT_TRUE(job.startDoc());
  sendPages(job, "wManualDuplex", 2);
  DWORD w = 0;
  job.abort();
  job.abort();  // a second changes nothing
  SetLastError(0);
  EXPECT_FALSE(job.write("late", 4, &w));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PRINT_CANCELLED));
  job.endDoc();
  job.close();
  EXPECT_EQ(m.document(1), "");
  EXPECT_EQ(m->messageBoxes().size(), 0u);
  EXPECT_EQ(m.documentCount(), 1);
}

// The hooks in an order the spooler never plays: refused, and said.
TEST(JobLife, HooksOutOfTheirOrderChangeNothing) {
  test::TestMachine m;
  winsim::PrintJob job(test::kPrinter, 0, u"twice");
  ASSERT_TRUE(job.startDoc());
  sendPages(job, "wReverseOrder", 1);
  DWORD w = 0;
  job.endDoc();
  EXPECT_FALSE(job.write("late", 4, &w));
  job.endDoc();
  job.close();
  EXPECT_EQ(m.document(1), "HEADAAAAp1;");
  EXPECT_TRUE(m.hasTrace(u"A buffer after the end of the document is refused.\n"));
  EXPECT_TRUE(m.hasTrace(u"DrvSplEndDoc came again for the same job; it is passed over.\n"));
}

TEST(JobLife, TheMovesAreTheDrawnOnes) {
  using S = JobState;
  const S all[] = {S::Created, S::Receiving, S::Ended, S::Cancelled, S::Closed};
  const std::pair<S, S> edges[] = {{S::Created, S::Receiving}, {S::Created, S::Ended},       {S::Receiving, S::Ended},
                                   {S::Created, S::Cancelled}, {S::Receiving, S::Cancelled}, {S::Ended, S::Cancelled},
                                   {S::Created, S::Closed},    {S::Receiving, S::Closed},    {S::Ended, S::Closed},
                                   {S::Cancelled, S::Closed}};
  for (S from : all)
    for (S to : all) {
      bool drawn = std::find(std::begin(edges), std::end(edges), std::pair{from, to}) != std::end(edges);
      EXPECT_EQ(CanMoveJob(from, to), drawn) << static_cast<int>(from) << " -> " << static_cast<int>(to);
    }
}

// ---------------------------------------------------------------- schedules without I/O

class Collect : public Schedule {
 public:
  explicit Collect(size_t stopAfter = SIZE_MAX) : stopAfter_(stopAfter) {}
  bool add(const ReplayPiece& piece) override {
    EXPECT_LT(pieces.size(), stopAfter_) << "a piece added after the schedule was told to stop";
    pieces.push_back(piece);
    return pieces.size() < stopAfter_;
  }
  std::vector<ReplayPiece> pieces;

 private:
  size_t stopAfter_;
};

std::string spell(const std::vector<ReplayPiece>& pieces) {
  std::string s;
  for (auto& p : pieces) {
    switch (p.kind) {
      case Piece::Header: s += p.flag ? "H8 " : "H "; break;
      case Piece::Prefix: s += "P" + std::to_string(p.value) + " "; break;
      case Piece::RecordPrefix: s += "R" + std::to_string(p.value) + " "; break;
      case Piece::Page: s += std::to_string(p.value) + " "; break;
      case Piece::Trailer: s += "T "; break;
      case Piece::WholeFile: s += "W "; break;
      case Piece::InstructionPage: s += "I "; break;
      case Piece::Bytes: s += "b "; break;
      case Piece::EndOfCopy: s += "E "; break;
      case Piece::NextDocument: s += "| "; break;
      case Piece::AfterJob: s += "U "; break;
    }
  }
  return s;
}

TEST(ReplaySchedule, ManualDuplexAsPieces) {
  ReplayInputs in;
  in.order = ReplayOrder::ManualDuplex;
  in.pages = 5;
  struct Case {
    INT mode;
    bool descending;
    WORD backs;
    bool instruction;
    const char* want;
  } cases[] = {
      {1, false, 0, false, "H8 P0 2 4 T | H8 P1 1 3 5 T "},
      {0, true, 1, true, "H8 I P0 4 2 P1 3 1 5 T U "},
      {2, false, 0, false, "H8 P0 2 4 P1 1 3 5 T "},
  };
  for (auto& c : cases) {
    in.duplexMode = c.mode;
    in.firstPassDescending = c.descending;
    in.backSideOrder = c.backs;
    in.instructionPage = c.instruction;
    Collect out;
    DoManualDuplex(in, out);
    EXPECT_EQ(spell(out.pieces), c.want) << c.mode;
  }
  in.pages = 0;
  Collect whole;
  DoManualDuplex(in, whole);
  EXPECT_EQ(spell(whole.pieces), "W ");
}

// Every builder ends where the executor tells it to: nothing is added after
// the piece the cancel fell on, at whatever piece that is.
TEST(ReplaySchedule, EveryOrderStopsAtTheFirstRefusedPiece) {
  BOOKLET_INFO store{};
  ReplayInputs base;
  base.pages = 7;
  base.copies = 3;
  base.duplexMode = 1;
  base.instructionPage = true;
  base.booklet = &store;
  for (ReplayOrder order :
       {ReplayOrder::PageOrder, ReplayOrder::Collated, ReplayOrder::Transparencies, ReplayOrder::ManualDuplex,
        ReplayOrder::PrinterBooklet, ReplayOrder::SoftwareBooklet, ReplayOrder::BookletPagesAlone}) {
    ReplayInputs in = base;
    in.order = order;
    Collect all;
    BuildReplay(in, all);
    ASSERT_GT(all.pieces.size(), 3u);
    for (size_t stop = 1; stop <= all.pieces.size(); ++stop) {
      Collect cut(stop);
      BuildReplay(in, cut);
      EXPECT_EQ(cut.pieces.size(), stop) << static_cast<int>(order);
      EXPECT_TRUE(std::equal(cut.pieces.begin(), cut.pieces.end(), all.pieces.begin())) << static_cast<int>(order);
    }
  }
}

}  // namespace
