#include "job/plan.h"

namespace {

bool TransparenciesAsked(const KQDEVMODE& s) { return s.wMediaType == MEDIA_TRANSPARENCY && s.wOhpMode > 0; }

bool DriverMakesCopies(const KQDEVMODE& s) {
  return s.wCollate == COLLATE_ON && s.dm.dmCopies > 1 && s.wPrinterCopies == COPIES_BY_DRIVER;
}

// The first replay the settings ask for, in this order.
ReplayOrder ReplayAsked(const KQDEVMODE& s) {
  if (IsOn(s.wBooklet)) return BookletOrderFor(s);
  if (IsOn(s.wManualDuplex)) return ReplayOrder::ManualDuplex;
  if (TransparenciesAsked(s)) return ReplayOrder::Transparencies;
  if (IsOn(s.wReverseOrder)) return ReplayOrder::PageOrder;
  if (DriverMakesCopies(s)) return ReplayOrder::Collated;
  return ReplayOrder::None;
}

FormUse FormUseOf(WORD wOverlayMode) {
  if (wOverlayMode == OVERLAY_PRINT) return FormUse::Print;
  if (wOverlayMode == OVERLAY_RECORD) return FormUse::Record;
  return FormUse::None;
}

WatermarkPages WatermarkPagesOf(const KQDEVMODE& s) {
  if (!IsOn(s.wWatermark)) return WatermarkPages::None;
  return IsOn(s.wWatermarkFirstOnly) ? WatermarkPages::FirstOnly : WatermarkPages::Every;
}

// Text capture comes first and keeps every buffer; a bypass job's data goes
// as it comes; a form being recorded takes the job's first page.
BufferRoute RouteOf(const JobPlan& plan, const KQDEVMODE& s) {
  if (plan.bTextCapture) return BufferRoute::TextCapture;
  if (IsOn(s.wBypass)) return BufferRoute::Bypass;
  if (plan.form == FormUse::Record) return BufferRoute::FormRecording;
  if (plan.bSpooled) return BufferRoute::Spooled;
  return BufferRoute::Direct;
}

}  // namespace

ReplayOrder BookletOrderFor(const KQDEVMODE& s) {
  if (s.wHardwareBooklet == BOOKLET_BY_PRINTER) return ReplayOrder::PrinterBooklet;
  if (s.wManualDuplex == MANUAL_DUPLEX_BOOKLET) return ReplayOrder::SoftwareBooklet;
  return ReplayOrder::BookletPagesAlone;
}

bool IsBookletOrder(ReplayOrder replay) {
  return replay == ReplayOrder::PrinterBooklet || replay == ReplayOrder::SoftwareBooklet ||
         replay == ReplayOrder::BookletPagesAlone;
}

LPCWSTR ReplayOrderName(ReplayOrder replay) {
  // clang-format off
  static constexpr struct { ReplayOrder replay; LPCWSTR name; } kNames[] = {
      {ReplayOrder::PrinterBooklet,    TEXT("Printer Booklet")},
      {ReplayOrder::SoftwareBooklet,   TEXT("Booklet")},
      {ReplayOrder::BookletPagesAlone, TEXT("Booklet")},
      {ReplayOrder::ManualDuplex,      TEXT("Manual Duplex")},
      {ReplayOrder::Transparencies,    TEXT("OHP Interleave")},
      {ReplayOrder::PageOrder,         TEXT("Reverse Order")},
      {ReplayOrder::Collated,          TEXT("Collate")},
  };
  // clang-format on
  for (const auto& row : kNames)
    if (row.replay == replay) return row.name;
  return TEXT("No Replay");
}

JobPlan PlanFor(const KQDEVMODE& s, SettingsSource source) {
  JobPlan plan{};
  plan.source = source;
  plan.form = FormUseOf(s.wOverlayMode);
  plan.watermark = WatermarkPagesOf(s);
  plan.bTextCapture = IsOn(s.wTextCapture) && s.wTextCaptureMode != TEXT_CAPTURE_MODE_OFF;
  ReplayOrder asked = ReplayAsked(s);
  // The spool decision ignores text capture: such a job makes its spool
  // file, and its capture route sends the pages past it.
  plan.bSpooled = source == SettingsSource::JobRecord && !IsOn(s.wBypass) && plan.form != FormUse::Record &&
                  asked != ReplayOrder::None;
  plan.replay = plan.bSpooled ? asked : ReplayOrder::None;
  plan.bTransparenciesReversed = IsOn(s.wReverseOrder);
  plan.route = RouteOf(plan, s);
  return plan;
}

void SetRecordDevModeSizes(KQDEVMODE* settings) {
  settings->dm.dmSize = sizeof(DEVMODEW);
  settings->dm.dmDriverExtra = kSettingsRecordSize - sizeof(DEVMODEW);
}
