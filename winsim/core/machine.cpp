// winsim::Machine: sets up the current machine from its folder, lets a host
// configure it, and reports what the modules left behind.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/modules.h"
#include "core/state.h"
#include "winsim/spooler.h"

namespace winsim {

using namespace detail;

struct Machine::Impl {
  State state;
};

namespace {

std::set<std::string> listTemp(State& s) {
  std::set<std::string> names;
  fs::path dir;
  if (!hostPathOf(tempDirectory(), &dir)) return names;
  std::error_code ec;
  for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec))
    names.insert(it->path().filename().string());
  (void)s;
  return names;
}

void loadPrinters(State& s) {
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
    s.printers.push_back(p);
  }
}

std::string hex(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(p)));
  return buf;
}

}  // namespace

Machine::Machine(const fs::path& root) : impl_(std::make_unique<Impl>()) {
  if (current()) {
    std::fputs("winsim: only one machine may be current at a time\n", stderr);
    std::abort();
  }
  State& s = impl_->state;
  s.root = fs::absolute(root);
  setCurrent(&s);
  loadRegistry(s);
  loadPrinters(s);
  fs::path temp;
  if (hostPathOf(tempDirectory(), &temp)) {
    std::error_code ec;
    fs::create_directories(temp, ec);
  }
  s.tempAtStart = listTemp(s);
}

Machine::~Machine() {
  State& s = impl_->state;
  // Documents still open on device contexts end first: their jobs call
  // into the component, which must still be loaded.
  std::vector<std::shared_ptr<PrintJob>> jobs;
  {
    auto g = lock();
    for (auto& [h, dc] : s.dcs)
      if (dc.job) jobs.push_back(std::move(dc.job));
    s.dcs.clear();
  }
  for (auto& job : jobs)
    if (job->started()) job->close();
  jobs.clear();
  std::vector<HANDLE> printers;
  {
    auto g = lock();
    for (auto& [h, ph] : s.printerHandles) printers.push_back(reinterpret_cast<HANDLE>(h));
  }
  for (HANDLE h : printers) ClosePrinterHandle(h);
  // Unload what is still loaded, the spooler's modules and any the
  // component leaked, so that a new machine starts from fresh modules.
  for (;;) {
    HMODULE h = nullptr;
    {
      auto g = lock();
      if (s.modules.empty()) break;
      auto& [id, m] = *s.modules.rbegin();
      h = reinterpret_cast<HMODULE>(id);
      m.refs = 1;
    }
    freeModule(h, true);
  }
  flushWrites(s);
  for (auto& [h, f] : s.files) ::close(f.fd);
  for (auto& [p, size] : s.blocks) std::free(p);
  setCurrent(nullptr);
}

void Machine::createFrom(const fs::path& image, const fs::path& root) {
  fs::create_directories(root);
  fs::copy(image, root, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

const fs::path& Machine::root() const { return impl_->state.root; }

fs::path Machine::hostPath(std::u16string_view winPath) const {
  auto g = lock();
  fs::path host;
  hostPathOf(winPath, &host);
  return host;
}

void Machine::setShortName(std::u16string_view winPath, std::u16string_view shortName) {
  auto g = lock();
  fs::path host;
  std::error_code ec;
  if (!hostPathOf(winPath, &host) || !fs::exists(host, ec))
    throw std::runtime_error("no file or folder " + toUtf8(winPath) + " to give a short name");
  state().shortNames[shortNameKey(host.parent_path(), shortName)] = host.filename().string();
}

void Machine::writeFile(std::u16string_view winPath, std::string_view bytes) {
  fs::path host = hostPath(winPath);
  if (host.empty()) throw std::runtime_error("not a name Windows gives a file: " + toUtf8(winPath));
  fs::create_directories(host.parent_path());
  FILE* f = std::fopen(host.c_str(), "wb");
  if (!f) throw std::runtime_error("cannot write " + host.string());
  std::fwrite(bytes.data(), 1, bytes.size(), f);
  std::fclose(f);
}

void Machine::copyFileIn(std::u16string_view winPath, const fs::path& hostFile) {
  fs::path host = hostPath(winPath);
  fs::create_directories(host.parent_path());
  fs::copy_file(hostFile, host, fs::copy_options::overwrite_existing);
}

bool Machine::deleteFile(std::u16string_view winPath) {
  std::error_code ec;
  return fs::remove(hostPath(winPath), ec);
}

void Machine::setProfileString(std::u16string_view file, std::u16string_view section, std::u16string_view key,
                               std::u16string_view value) {
  std::u16string s(section), k(key), v(value);
  writeProfileString(file, s.c_str(), k.c_str(), v.c_str());
}

namespace {

RegNode& createKey(State& s, std::u16string_view key) {
  RegNode* node = &s.hkcu;
  auto parts = splitKeyPath(key);
  if (!parts.empty() && (equalsNoCase(parts[0], u"HKCU") || equalsNoCase(parts[0], u"HKEY_CURRENT_USER")))
    parts.erase(parts.begin());
  for (auto& part : parts) {
    auto [it, inserted] = node->subkeys.try_emplace(part);
    if (inserted) it->second.name = part;
    node = &it->second;
  }
  return *node;
}

void setValue(State& s, std::u16string_view key, std::u16string_view name, DWORD type, std::vector<uint8_t> data) {
  RegNode& node = createKey(s, key);
  RegValue& v = node.values[std::u16string(name)];
  if (v.name.empty()) v.name = name;
  v.type = type;
  v.data = std::move(data);
  saveRegistry(s);
}

}  // namespace

void Machine::setRegistryString(std::u16string_view key, std::u16string_view name, std::u16string_view value) {
  auto g = lock();
  std::vector<uint8_t> data((value.size() + 1) * 2, 0);
  std::memcpy(data.data(), value.data(), value.size() * 2);
  setValue(impl_->state, key, name, REG_SZ, std::move(data));
}

void Machine::setRegistryDword(std::u16string_view key, std::u16string_view name, DWORD value) {
  auto g = lock();
  std::vector<uint8_t> data(4);
  std::memcpy(data.data(), &value, 4);
  setValue(impl_->state, key, name, REG_DWORD, std::move(data));
}

void Machine::deleteRegistryValue(std::u16string_view key, std::u16string_view name) {
  auto g = lock();
  createKey(impl_->state, key).values.erase(std::u16string(name));
  saveRegistry(impl_->state);
}

std::optional<std::u16string> Machine::registryString(std::u16string_view key, std::u16string_view name) const {
  auto g = lock();
  auto parts = splitKeyPath(key);
  if (!parts.empty() && (equalsNoCase(parts[0], u"HKCU") || equalsNoCase(parts[0], u"HKEY_CURRENT_USER")))
    parts.erase(parts.begin());
  RegNode* node = findKey(impl_->state.hkcu, parts);
  if (!node) return std::nullopt;
  auto it = node->values.find(std::u16string(name));
  if (it == node->values.end() || it->second.type != REG_SZ) return std::nullopt;
  std::u16string text(it->second.data.size() / 2, u'\0');
  std::memcpy(text.data(), it->second.data.data(), text.size() * 2);
  return std::u16string(text.c_str());
}

void Machine::setPrinter(const PrinterConfig& config) {
  auto g = lock();
  for (auto& p : impl_->state.printers) {
    if (equalsNoCase(p.name, config.name)) {
      p = config;
      return;
    }
  }
  impl_->state.printers.push_back(config);
}

std::optional<PrinterConfig> Machine::printer(std::u16string_view name) const {
  auto g = lock();
  for (auto& p : impl_->state.printers)
    if (equalsNoCase(p.name, name)) return p;
  return std::nullopt;
}

void Machine::setPrinterData(std::u16string_view printer, std::u16string_view value, std::vector<uint8_t> data) {
  auto g = lock();
  for (auto& p : impl_->state.printers)
    if (equalsNoCase(p.name, printer)) p.data[std::u16string(value)] = std::move(data);
}

void Machine::setLocale(LANGID lang) {
  auto g = lock();
  impl_->state.lang = lang;
}

void Machine::setCodePage(UINT acp) {
  auto g = lock();
  impl_->state.acp = acp;
}

UINT Machine::codePage() const {
  auto g = lock();
  return impl_->state.acp;
}

void Machine::queueAnswers(const std::vector<int>& answers) {
  auto g = lock();
  auto& mine = impl_->state.answers[std::this_thread::get_id()];
  mine.insert(mine.end(), answers.begin(), answers.end());
}

void Machine::setAnswerCallback(std::function<int(const MessageBoxRecord&)> ask) {
  auto g = lock();
  impl_->state.ask = std::move(ask);
}

size_t Machine::addFault(const FaultPlan& fault) {
  auto g = lock();
  impl_->state.faults.push_back(FaultRule{fault, 0, 0, false, std::this_thread::get_id()});
  return impl_->state.faults.size() - 1;
}

int Machine::faultFired(size_t rule) const {
  auto g = lock();
  return rule < impl_->state.faults.size() ? impl_->state.faults[rule].fired : 0;
}

bool Machine::canFail(std::string_view function) { return detail::canFail(function); }

void Machine::clearFaults() {
  auto g = lock();
  impl_->state.faults.clear();
}

std::map<std::string, int> Machine::faultPoints() const {
  auto g = lock();
  return {impl_->state.faultPoints.begin(), impl_->state.faultPoints.end()};
}

int Machine::faultsFired() const {
  auto g = lock();
  return impl_->state.faultsFired;
}

void Machine::setObserver(Observer observer) {
  auto g = lock();
  impl_->state.observer = std::move(observer);
}

void Machine::setKeepHistory(bool on) {
  auto g = lock();
  impl_->state.keepHistory = on;
}

void Machine::setLogApi(bool on) {
  auto g = lock();
  impl_->state.logApi = on;
}

void Machine::setSinkFactory(SinkFactory factory) {
  auto g = lock();
  impl_->state.sinkFactory = std::move(factory);
}

std::vector<MessageBoxRecord> Machine::messageBoxes() const {
  auto g = lock();
  return impl_->state.boxes;
}

std::vector<std::u16string> Machine::traces() const {
  auto g = lock();
  return impl_->state.traces;
}

std::vector<DocumentRecord> Machine::documents() const {
  auto g = lock();
  std::vector<DocumentRecord> all = impl_->state.documents;
  for (auto& [number, open] : impl_->state.openDocuments) all.push_back(open.record);
  std::sort(all.begin(), all.end(), [](auto& a, auto& b) { return a.number < b.number; });
  return all;
}

Snapshot Machine::snapshot() const {
  auto g = lock();
  const State& s = impl_->state;
  Snapshot snap{s.files.size() + s.keys.size() + s.dcs.size(), s.blocks.size(), 0};
  for (auto& [h, m] : s.modules) snap.modules += static_cast<size_t>(m.refs - m.spoolerRefs);
  return snap;
}

std::vector<std::string> Machine::tempFiles() const {
  auto g = lock();
  std::vector<std::string> left;
  for (auto& name : listTemp(impl_->state))
    if (!impl_->state.tempAtStart.count(name)) left.push_back(name);
  return left;
}

std::vector<Leak> Machine::leaks() const {
  auto g = lock();
  const State& s = impl_->state;
  std::vector<Leak> r;
  for (auto& [h, f] : s.files) r.push_back({"handle", "file " + toUtf8(f.winPath)});
  for (auto& [h, k] : s.keys) {
    std::u16string path = u"HKEY_CURRENT_USER";
    for (auto& part : k.path) path += u"\\" + part;
    r.push_back({"handle", "key " + toUtf8(path)});
  }
  for (auto& [p, size] : s.blocks) r.push_back({"block", std::to_string(size) + " bytes at " + hex(p)});
  for (auto& [h, m] : s.modules)
    for (int i = m.spoolerRefs; i < m.refs; ++i) r.push_back({"module", toUtf8(m.winPath)});
  for (auto& [h, dc] : s.dcs) r.push_back({"gdi", "device context of " + toUtf8(dc.printer)});
  for (auto& [h, o] : s.gdiObjects)
    if (!o.stock) r.push_back({"gdi", o.kind == GdiObject::Font ? "font" : "pen"});
  for (auto& name : tempFiles()) r.push_back({"tempfile", "C:\\WINDOWS\\TEMP\\" + name});
  return r;
}

}  // namespace winsim
