// What a job does, decoded from its settings once: where its buffers go,
// whether it is spooled and which replay it gets, whether it prints or
// records a form, which pages take the watermark. Read wherever one of
// these is decided; decoded again only where the settings change.
#pragma once

#include "job/settings.h"

// Where DrvSplWritePrinter sends a buffer that is no orientation update.
enum class BufferRoute : BYTE {
  Direct,         // to the printer; markers become the blocks they stand for
  TextCapture,    // capture markers acted on, everything else to the printer
  Bypass,         // to the printer as it comes
  FormRecording,  // into the form being recorded
  Spooled,        // into the spool file and its page index
};

// The replay a spooled job gets at the end of its document.
enum class ReplayOrder : BYTE {
  None,
  PrinterBooklet,     // the printer duplexes and folds
  SoftwareBooklet,    // two passes, the sheets put back between them
  BookletPagesAlone,  // a booklet in neither mode: each page alone on a side
  ManualDuplex,
  Transparencies,  // each transparency with its separator sheet
  PageOrder,       // reverse order, odd pages or even pages
  Collated,        // copies the driver makes
};

enum class FormUse : BYTE { None, Print, Record };
enum class WatermarkPages : BYTE { None, Every, FirstOnly };

// A job's own settings record may spool it; a job that runs on its
// printer's last settings (its first buffer was none) has not been set up
// for a replay, and sends its pages as they come.
enum class SettingsSource : BYTE { PrintersLast, JobRecord };

// All zero is a job that does nothing but send its buffers on.
struct JobPlan {
  SettingsSource source;
  BufferRoute route;
  bool bSpooled;                 // the spool file is made at the first buffer and replayed at the end
  ReplayOrder replay;            // None unless spooled
  bool bTransparenciesReversed;  // the interleave goes from the last transparency
  FormUse form;
  WatermarkPages watermark;
  bool bTextCapture;  // capture markers are acted on, and captured text replayed at the page end
};

// A job record starts zeroed: until its first buffer is planned, its plan
// sends buffers on as they come.
static_assert(BufferRoute{} == BufferRoute::Direct && ReplayOrder{} == ReplayOrder::None &&
              FormUse{} == FormUse::None && WatermarkPages{} == WatermarkPages::None);

JobPlan PlanFor(const KQDEVMODE& settings, SettingsSource source);

// The replay of a booklet job; a job whose booklet record comes gets it
// whatever else it asked for.
ReplayOrder BookletOrderFor(const KQDEVMODE& settings);
bool IsBookletOrder(ReplayOrder replay);
// The replay's name in traces: "Manual Duplex", "Reverse Order", ...
LPCWSTR ReplayOrderName(ReplayOrder replay);
