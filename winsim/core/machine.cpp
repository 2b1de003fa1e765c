// winsim::Machine: sets up the current machine from its folder, lets a host
// configure its files and faults, and reports what the modules left
// behind. What a host sets in one DLL's part (the registry, the printers,
// the locale, the boxes' answers) is set in that DLL's folder.
#include <cstdio>
#include <cstdlib>

#include "core/state.h"

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

}  // namespace

Machine::Machine(const fs::path& root) : impl_(std::make_unique<Impl>()) {
  if (current()) {
    std::fputs("winsim: only one machine may be current at a time\n", stderr);
    std::abort();
  }
  State& s = impl_->state;
  s.root = fs::absolute(root);
  setCurrent(&s);
  makeParts(s);
  fs::path temp;
  if (hostPathOf(tempDirectory(), &temp)) {
    std::error_code ec;
    fs::create_directories(temp, ec);
  }
  s.tempAtStart = listTemp(s);
}

Machine::~Machine() {
  endParts(impl_->state);
  setCurrent(nullptr);
}

void Machine::createFrom(const fs::path& image, const fs::path& root) {
  fs::create_directories(root);
  fs::copy(image, root, fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

const fs::path& Machine::root() const { return impl_->state.root; }

fs::path Machine::hostPath(std::u16string_view winPath) const {
  fs::path host;
  if (!hostPathOf(winPath, &host)) return {};
  for (auto& part : impl_->state.parts) part->beforeHostAccess(impl_->state);
  return host;
}

void Machine::setShortName(std::u16string_view winPath, std::u16string_view shortName) {
  fs::path host;
  std::error_code ec;
  if (!hostPathOf(winPath, &host) || !fs::exists(host, ec))
    throw std::runtime_error("no file or folder " + toUtf8(winPath) + " to give a short name");
  std::string key = shortNameKey(host.parent_path(), shortName);
  QuietLock g(impl_->state.shortNamesMu);
  impl_->state.shortNames[key] = host.filename().string();
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

void Machine::makeFolder(std::u16string_view winPath) {
  fs::path host = hostPath(winPath);
  if (host.empty()) throw std::runtime_error("not a name Windows gives a folder: " + toUtf8(winPath));
  fs::create_directories(host);
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

namespace {

// What every thread that called on the machine has recorded.
template <class F>
void eachThread(State& s, F f) {
  std::vector<ThreadRecord*> records;
  {
    QuietLock g(s.threadsMu);
    for (auto& r : s.threads) records.push_back(r.get());
  }
  for (ThreadRecord* r : records) {
    r->publication.published();  // ordered after the thread that made it
    std::lock_guard g(r->mu);
    f(*r);
  }
}

}  // namespace

size_t Machine::addFault(const FaultPlan& fault) {
  ThreadRecord& t = threadRecord();
  std::lock_guard g(t.mu);
  t.faults.push_back(FaultRule{fault, 0, 0, false});
  return t.faults.size() - 1;
}

int Machine::faultFired(size_t rule) const {
  ThreadRecord& t = threadRecord();
  std::lock_guard g(t.mu);
  return rule < t.faults.size() ? t.faults[rule].fired : 0;
}

bool Machine::canFail(std::string_view function) { return detail::canFail(function); }

void Machine::clearFaults() {
  eachThread(impl_->state, [](ThreadRecord& r) { r.faults.clear(); });
}

std::map<std::string, int> Machine::faultPoints() const {
  std::map<std::string, int> all;
  eachThread(impl_->state, [&](ThreadRecord& r) {
    for (auto& [function, n] : r.faultPoints) all[function] += n;
  });
  return all;
}

int Machine::faultsFired() const {
  int fired = 0;
  eachThread(impl_->state, [&](ThreadRecord& r) { fired += r.faultsFired; });
  return fired;
}

void Machine::setObserver(Observer observer) { impl_->state.observer = std::move(observer); }
void Machine::setKeepHistory(bool on) { impl_->state.keepHistory = on; }
void Machine::setLogApi(bool on) { impl_->state.logApi = on; }

Snapshot Machine::snapshot() const {
  Snapshot snap;
  for (auto& part : impl_->state.parts) part->count(snap);
  return snap;
}

std::vector<std::string> Machine::tempFiles() const {
  std::vector<std::string> left;
  for (auto& name : listTemp(impl_->state))
    if (!impl_->state.tempAtStart.count(name)) left.push_back(name);
  return left;
}

std::vector<Leak> Machine::leaks() const {
  std::vector<Leak> r;
  for (size_t i = static_cast<size_t>(Dll::Count); i-- > 0;) impl_->state.parts[i]->leaks(r);
  for (auto& name : tempFiles()) r.push_back({"tempfile", "C:\\WINDOWS\\TEMP\\" + name});
  return r;
}

}  // namespace winsim
