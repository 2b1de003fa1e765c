// The one place where the watermark block and the overlay stream block are
// defined byte for byte.
#include "watermark/insertion.h"

#include <cstring>
#include <string>

#include "job/lifecycle.h"
#include "job/messages.h"
#include "pclxl/format.h"
#include "pclxl/writer.h"
#include "support/guards.h"
#include "support/paths.h"
#include "support/text.h"
#include "watermark/overlaylib.h"
#include "watermark/rendering.h"

const char kOverlayComment[] = "KQXLUMPD form overlay";

namespace {

namespace op = pclxl::op;

// The pieces of the watermark block, made once through the writer.
struct WatermarkPieces {
  std::string push, pop, clip, rop;
  WatermarkPieces() {
    pclxl::Writer{push}.op(op::PushGS);
    pclxl::Writer{pop}.op(op::PopGS);
    pclxl::Writer{clip}.op(op::SetClipToPage);
    // Source OR paint: the watermark shows through the page's white.
    pclxl::Writer{rop}.ubyte(252, pclxl::attr::ROP3).op(op::SetROP);
  }
};

const WatermarkPieces& Pieces() {
  static const WatermarkPieces pieces;
  return pieces;
}

DWORD SizeOf(const std::string& piece) { return static_cast<DWORD>(piece.size()); }

// The job's watermark data for its current orientation. A job that took its
// settings from the job before it (its first buffer was none) makes its own
// now. A job without one (its making failed, or an orientation without a
// file) prints its pages without: never with another job's watermark, and
// never losing a page for it. The box comes once a job, the trace once more.
bool JobWatermark(JobData* pData, const BYTE** data, DWORD* size) {
  int slot = WatermarkSlot(pData->Settings.dm.dmOrientation);
  if (slot >= 0 && !HasFact(pData, WatermarkTried(slot))) MakeJobWatermark(pData);
  if (slot < 0 || !pData->pWatermark[slot]) {
    if (FirstTime(pData, FACT_WATERMARK_MISSING_SAID)) {
      ShowMessage(TEXT("Failed to CreateFile"), MB_OK);
      Trace(TEXT("The job's watermark cannot be printed; its pages print without it.\n"));
    }
    return false;
  }
  *data = pData->pWatermark[slot];
  *size = pData->dwWatermarkSize[slot];
  return true;
}

// What came of asking the overlay library for the job's form.
enum class Form { Loaded, Missing, Failed };

// A form is drawn in the units of the job that plays it: one drawn at
// another resolution prints at another size, which the job says once.
void TraceResolutionMismatch(JobData* pData) {
  if (!FirstTime(pData, FACT_FORM_RESOLUTION_CHECKED)) return;
  DWORD form = OverlayResolution(pData->hJobOverlay, AnsiField(pData->Settings.szOverlayFile).c_str());
  SHORT job = pData->Settings.dm.dmPrintQuality;
  if (form == 0 || !PrintQualityIsDpi(job) || form == static_cast<DWORD>(job)) return;
  TraceFormat(TEXT("The form was drawn at %lu dpi and this job prints at %d dpi: it prints at %lu/%d of its size.\n"),
              form, static_cast<int>(job), form, static_cast<int>(job));
}

// A form recorded on another paper or in another orientation is cut off
// where the job's page ends, which the job says once.
void TracePageMismatch(JobData* pData) {
  if (!FirstTime(pData, FACT_FORM_PAGE_CHECKED)) return;
  DWORD media = 0, orientation = 0;
  if (!OverlayPage(pData->hJobOverlay, AnsiField(pData->Settings.szOverlayFile).c_str(), &media, &orientation)) return;
  const pclxl::Paper* form = media <= 0xFF ? pclxl::paperOfMediaSize(media) : nullptr;
  const pclxl::Paper* job = pclxl::paperOfDmPaperSize(pData->Settings.dm.dmPaperSize);
  if (form && job && form != job)
    TraceFormat(
        TEXT("The form was recorded on %hs paper and this job prints on %hs: what lies outside the page is cut off.\n"),
        form->name, job->name);
  int formSide = orientation <= 3 ? pclxl::dmOrientationOf(static_cast<int>(orientation)) : 0;
  int jobSide = pData->Settings.dm.dmOrientation == DMORIENT_LANDSCAPE ? 2 : 1;
  if (formSide != 0 && formSide != jobSide)
    TraceFormat(TEXT("The form was recorded %s and this job prints %s: what lies outside the page is cut off.\n"),
                formSide == 2 ? TEXT("in landscape") : TEXT("in portrait"),
                jobSide == 2 ? TEXT("in landscape") : TEXT("in portrait"));
}

// The overlay's bytes from the overlay library, for the marker at hand.
// A form that cannot be served (no library, a path refused, a file that is
// no form) is an empty one: the page's stream plays nothing, where a stream
// without content would stop the printer, and the pages print without it.
Form LoadOverlay(JobData* pData, GlobalBlock<BYTE>* data, DWORD* size, DWORD* streamLength) {
  *size = 0;
  auto missing = [&] {
    if (FirstTime(pData, FACT_FORM_MISSING))
      Trace(TEXT("The job's form cannot be printed; its pages print without it.\n"));
    OverlayStreamLength(0, streamLength);
    return Form::Missing;
  };
  // Once missing, missing for the whole job: the library is not asked
  // again, so it gives its reason once, and every page prints alike.
  if (HasFact(pData, FACT_FORM_MISSING)) return missing();
  GetOverlaySizeFn getSize;
  ReadOverlayFn read;
  if (!pData->hJobOverlay || !FindOverlayExports(pData->hJobOverlay, &getSize, &read)) return missing();
  // The path is the user's: only a plain file path is handed on. Any other
  // is no overlay, as a file that cannot be read.
  WCHAR path[MAX_PATH] = {};
  if (!AnsiFieldToWide(pData->Settings.szOverlayFile, path)) return missing();
  if (LPCWSTR why = WhyNotPlainFilePath(path)) {
    if (!HasFact(pData, FACT_FORM_MISSING)) TraceFormat(TEXT("The job's form \"%s\" is not opened: %s.\n"), path, why);
    return missing();
  }
  *size = getSize(AnsiField(pData->Settings.szOverlayFile).c_str());
  if (*size == 0) return missing();
  // A size whose stream length cannot be written fails as an allocation would.
  if (!OverlayStreamLength(*size, streamLength)) return Form::Failed;
  *data = GlobalBlock<BYTE>(*size);
  if (!*data) return Form::Failed;
  if (read(data->get()) == 0) return Form::Failed;
  TraceResolutionMismatch(pData);
  TracePageMismatch(pData);
  return Form::Loaded;
}

// The overlay stream block through `write`: the ReadStream of n bytes and
// the stream's header line, then the overlay's bytes. It stops at the first
// write that fails: a block cut short is a failed one.
template <typename Write>
bool WriteOverlayPieces(Write write, DWORD n, const BYTE* overlay, DWORD size) {
  std::string framing;
  pclxl::Writer{framing}
      .uint32(n, pclxl::attr::StreamDataLength)
      .op(op::ReadStream)
      .dataHead(n)
      .header(kOverlayComment);
  return write(framing.data(), SizeOf(framing)) && (size == 0 || write(overlay, size));
}

}  // namespace

BOOL OverlayStreamLength(DWORD overlaySize, DWORD* n) {
  DWORD header = static_cast<DWORD>(pclxl::headerLine(kOverlayComment).size());
  if (overlaySize > 0xFFFFFFFFu - header) return FALSE;
  *n = header + overlaySize;
  return TRUE;
}

bool WatermarkWantedOnPage(const JobData* pData) {
  switch (pData->plan.watermark) {
    case WatermarkPages::Every: return true;
    case WatermarkPages::FirstOnly: return pData->dwPageNumber == 1;
    case WatermarkPages::None: break;
  }
  return false;
}

BOOL PrinterWrite(JobData* pData, const void* bytes, DWORD count) {
  return JobPrinterWrite(pData, bytes, count, nullptr);
}

namespace {

// The spool form always clips to the page; the direct one unless the
// settings say not to.
bool ClipsToPage(const JobData* pData, BlockForm form) {
  return form == BlockForm::Spool || !IsOn(pData->Settings.wNoClipToPage);
}

// A job without its watermark writes nothing: no PushGS without its PopGS.
BOOL WatermarkBlockInto(JobData* pData, BlockWriter write, BlockForm form) {
  const BYTE* data = nullptr;
  DWORD size = 0;
  if (!JobWatermark(pData, &data, &size)) return TRUE;
  const WatermarkPieces& b = Pieces();
  auto piece = [&](const std::string& s) { return write(pData, s.data(), SizeOf(s)) != FALSE; };
  if (!piece(b.push)) return FALSE;
  if (ClipsToPage(pData, form) && !piece(b.clip)) {
    if (form == BlockForm::Spool) return FALSE;
    // The printer's block goes on without the clip: the watermark may then
    // spill outside the page's clip, which the trace says.
    Trace(TEXT("The watermark block's clip to the page could not be written.\n"));
  }
  if (!piece(b.rop)) return FALSE;
  if (!write(pData, data, size)) {
    if (form == BlockForm::Direct) ShowMessage(TEXT("failed to WritePrinter in watermark module"), MB_ICONERROR);
    return FALSE;
  }
  return piece(b.pop);
}

// The whole block goes in, or the marker fails; the spool file's index
// stays true either way.
BOOL OverlayBlockInto(JobData* pData, BlockWriter write) {
  GlobalBlock<BYTE> overlay;
  DWORD size = 0, n = 0;
  if (LoadOverlay(pData, &overlay, &size, &n) == Form::Failed) return FALSE;
  return WriteOverlayPieces([&](const void* p, DWORD count) { return write(pData, p, count) != FALSE; }, n,
                            overlay.get(), size);
}

}  // namespace

MarkerOutcome ReplaceMarker(JobData* pData, const BYTE* p, DWORD n, BlockForm form, BlockWriter write,
                            LPDWORD pcWritten) {
  bool wanted;
  if (IsOverlayMarker(p, n)) {
    wanted = pData->plan.form == FormUse::Print;
    if (wanted && !OverlayBlockInto(pData, write)) return MarkerOutcome::Failed;
  } else if (IsWatermarkMarker(p, n)) {
    wanted = WatermarkWantedOnPage(pData);
    if (wanted && !WatermarkBlockInto(pData, write, form)) return MarkerOutcome::Failed;
  } else {
    return MarkerOutcome::NotAMarker;
  }
  *pcWritten = n;
  return MarkerOutcome::Replaced;
}

void ReportOverlayWriteFailure(JobData* pData) {
  // Every later buffer of the page fails the same way: one system-modal box
  // on the spooler's thread, not one a buffer.
  if (!FirstTime(pData, FACT_OVERLAY_WRITE_FAILURE_SHOWN)) return Trace(TEXT("Failed in Writing Overlay file\n"));
  ShowMessage(TEXT("Failed in Writing Overlay file"), MB_ICONERROR);
}

BOOL WriteRecordingWatermarkBlock(JobData* pData, HANDLE hFile) {
  const BYTE* data = nullptr;
  DWORD size = 0;
  if (!JobWatermark(pData, &data, &size)) return TRUE;
  DWORD written = 0;
  WriteFile(hFile, Pieces().clip.data(), SizeOf(Pieces().clip), &written, nullptr);
  WriteFile(hFile, Pieces().rop.data(), SizeOf(Pieces().rop), &written, nullptr);
  if (WriteFile(hFile, data, size, &written, nullptr) && written == size) return TRUE;
  ReportOverlayWriteFailure(pData);
  return FALSE;
}
