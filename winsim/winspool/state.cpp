// The spooler's part of the machine, and the printers a host sets up.
#include "winspool/state.h"

#include <algorithm>

#include "core/seams.h"

namespace winsim::detail {

namespace {
const bool kRegistered = registerPart(Dll::Winspool, [] { return std::unique_ptr<DllPart>(new WinspoolState); });
}  // namespace

void WinspoolState::start(State& s) {
  for (auto& section : readProfile(s.root / "winsim" / "printers.ini")) {
    const auto& keys = section.second;
    PrinterConfig p;
    p.name = section.first;
    auto get = [&](const char16_t* key, std::u16string& field) {
      auto it = keys.find(key);
      if (it != keys.end()) field = it->second;
    };
    get(u"Port", p.port);
    get(u"Driver", p.driver);
    get(u"DriverPath", p.driverPath);
    get(u"ConfigFile", p.configFile);
    printers.push_back(p);
  }
}

// Printer handles still open are closed, as the spooler does with a
// process that goes: their jobs end.
void WinspoolState::shutdown(State&) {
  for (auto& [h, ph] : printerHandles.all()) ClosePrinterHandle(h);
}

bool isPrinter(std::u16string_view name) {
  auto& w = winspool(state());
  std::shared_lock g(w.printersMu);
  for (auto& p : w.printers)
    if (equalsNoCase(p.name, name)) return true;
  return false;
}

}  // namespace winsim::detail

namespace winsim {

using namespace detail;

void Machine::setPrinter(const PrinterConfig& config) {
  std::unique_lock g(winspool(state()).printersMu);
  for (auto& p : winspool(state()).printers) {
    if (equalsNoCase(p.name, config.name)) {
      p = config;
      return;
    }
  }
  winspool(state()).printers.push_back(config);
}

std::optional<PrinterConfig> Machine::printer(std::u16string_view name) const {
  std::shared_lock g(winspool(state()).printersMu);
  for (auto& p : winspool(state()).printers)
    if (equalsNoCase(p.name, name)) return p;
  return std::nullopt;
}

PrinterConfig Machine::newPrinter(std::u16string_view name) const {
  std::shared_lock g(winspool(state()).printersMu);
  const auto& printers = winspool(state()).printers;
  PrinterConfig config = printers.empty() ? PrinterConfig{} : printers.front();
  config.name = std::u16string(name);
  config.data.clear();
  return config;
}

void Machine::setPrinterData(std::u16string_view printer, std::u16string_view value, std::vector<uint8_t> data) {
  std::unique_lock g(winspool(state()).printersMu);
  for (auto& p : winspool(state()).printers)
    if (equalsNoCase(p.name, printer)) p.data[std::u16string(value)] = std::move(data);
}

void Machine::setSinkFactory(SinkFactory factory) { winspool(state()).sinkFactory = std::move(factory); }

std::vector<DocumentRecord> Machine::documents() const {
  auto& w = winspool(state());
  std::vector<DocumentRecord> all;
  {
    QuietLock g(w.documentsMu);
    all = w.documents;
  }
  for (auto& [h, ph] : w.printerHandles.all()) {
    std::lock_guard g(ph->mu);
    if (ph->document) all.push_back(ph->document->record);
  }
  std::sort(all.begin(), all.end(), [](auto& a, auto& b) { return a.number < b.number; });
  return all;
}

}  // namespace winsim
