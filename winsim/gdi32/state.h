// gdi32's part of the machine: fonts and pens by their description, and
// printer device contexts with the internal job their document runs as.
#pragma once

#include "core/handle_table.h"
#include "core/state.h"
#include "gdi32/outline.h"

namespace winsim::detail {

struct GdiObject {
  enum Kind { Font, Pen } kind = Font;
  LOGFONTW font{};
  int penStyle = PS_SOLID, penWidth = 1;
  COLORREF penColor = 0;
  bool stock = false;
};

struct DeviceContext {
  std::mutex mu;
  std::u16string printer;
  std::vector<uint8_t> devmode;
  uintptr_t font = 0, pen = 0;
  COLORREF textColor = 0;
  int bkMode = OPAQUE;
  UINT align = TA_LEFT | TA_TOP;
  bool inPath = false;
  bool pathReady = false;  // a path ended, not yet stroked
  gdi::Path path;          // recorded between BeginPath and EndPath, in device pixels
  std::shared_ptr<PrintJob> job;
  bool pageOpen = false;
};

struct Gdi32State final : DllPart {
  static constexpr Dll kDll = Dll::Gdi32;

  HandleTable<GdiObject> gdiObjects{0x40000, 4};  // never changed once made
  HandleTable<DeviceContext> dcs{0x7000, 4};

  void shutdown(State& s) override;
  void leaks(std::vector<Leak>& out) const override;
  void count(Snapshot& snap) const override;
};

inline Gdi32State& gdi32(State& s) { return part<Gdi32State>(s); }
inline const Gdi32State& gdi32(const State& s) { return part<Gdi32State>(s); }

}  // namespace winsim::detail
