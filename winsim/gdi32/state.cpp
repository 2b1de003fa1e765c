// gdi32's part of the machine.
#include "gdi32/state.h"

namespace winsim::detail {

namespace {
const bool kRegistered = registerPart(Dll::Gdi32, [] { return std::unique_ptr<DllPart>(new Gdi32State); });
}  // namespace

// Documents still open on device contexts end first: their jobs call into
// the component, which must still be loaded.
void Gdi32State::shutdown(State&) {
  std::vector<std::shared_ptr<PrintJob>> jobs;
  for (auto& dc : dcs.takeAll()) {
    std::lock_guard g(dc->mu);
    if (dc->job) jobs.push_back(std::move(dc->job));
  }
  for (auto& job : jobs)
    if (job->started()) job->close();
}

void Gdi32State::leaks(std::vector<Leak>& r) const {
  for (auto& [h, dc] : dcs.all()) r.push_back({"gdi", "device context of " + toUtf8(dc->printer)});
  for (auto& [h, o] : gdiObjects.all()) r.push_back({"gdi", o->kind == GdiObject::Font ? "font" : "pen"});
}

void Gdi32State::count(Snapshot& snap) const { snap.handles += dcs.size(); }

}  // namespace winsim::detail
