#include "jobkit/player.h"

#include <cerrno>
#include <cstring>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "jobkit/text.h"
#include "job/messages.h"

namespace jobkit {

namespace {

std::u16string wide(const std::string& utf8) { return utf16Of(utf8); }

}  // namespace

fs::path hostFileOf(const fs::path& scriptDir, const std::string& utf8) {
  return scriptDir / fs::path(std::u8string(utf8.begin(), utf8.end()));
}

Player::Player(Host& host, fs::path scriptDir) : host_(host), scriptDir_(std::move(scriptDir)) { settings_.reset(); }

Player::~Player() { closeJob(); }

bool Player::run(const std::vector<Directive>& script, ScriptError* error) {
  bool ok = true, stop = false;
  for (size_t i = 0; ok && !stop && i < script.size(); ++i) ok = play(script[i], error, &stop);
  closeJob();
  return ok;
}

bool Player::run(ScriptReader script, ScriptError* error) {
  bool ok = true, stop = false, more = true;
  Directive d;
  while (ok && !stop && (more = script.next(&d, error))) ok = play(d, error, &stop);
  closeJob();
  return ok && (more || error->message.empty());
}

// One directive; `stop` when the component could not be loaded.
bool Player::play(const Directive& d, ScriptError* error, bool* stop) {
  std::string message;
  if (!step(d, &message)) {
    *error = {d.line, message};
    return false;
  }
  *stop = !fatal_.empty();
  return true;
}

// The hooks the last directive called: a job the user cancelled gets none
// of its data directives, and DrvSplAbort once before its end.
void Player::report() {
  if (!job_) return;
  for (const HookResult& r : job_->takeResults())
    if (onHook_) onHook_(r);
}

void Player::summarise() {
  if (summarised_) return;
  summarised_ = true;
  if (onJob_) onJob_(summary_);
}

void Player::closeJob() {
  if (job_ && job_->started()) {
    summarise();
    job_->close();
    report();
  }
  job_.reset();
  jobRefused_ = false;
}

namespace {

// The directives that call the component's hooks: most of a script.
const std::pair<std::string_view, Player::Hook> kHookVerbs[] = {
    {"write", Player::Hook::Write},       {"startpage", Player::Hook::StartPage}, {"endpage", Player::Hook::EndPage},
    {"startdoc", Player::Hook::StartDoc}, {"enddoc", Player::Hook::EndDoc},       {"abort", Player::Hook::Abort},
    {"close", Player::Hook::Close},       {"cancel", Player::Hook::Cancel}};

}  // namespace

namespace {

// The words each directive takes: its plain words (the form's own word
// counted), and its KEY=VALUE keys ("#": numeric keys, "*": any, checked
// by the directive itself). A verb with forms has a row for each.
constexpr size_t kAnyNumber = SIZE_MAX;
struct ArgumentShape {
  std::string_view verb, form;
  size_t minPlain, maxPlain;
  std::string_view keys;
  const char* usage;
};

const ArgumentShape kArgumentShapes[] = {
    {"startdoc", "", 0, 0, "job document", "startdoc [job=N] [document=\"...\"]"},
    {"startpage", "", 0, 0, "", "startpage, with nothing after it"},
    {"endpage", "", 0, 0, "", "endpage, with nothing after it"},
    {"enddoc", "", 0, 0, "", "enddoc, with nothing after it"},
    {"abort", "", 0, 0, "", "abort, with nothing after it"},
    {"close", "", 0, 0, "", "close, with nothing after it"},
    {"write", "settings", 1, 1, "", "write settings"},
    {"write", "text", 2, 2, "", "write text \"...\""},
    {"write", "hex", 2, kAnyNumber, "", "write hex HH ..."},
    {"write", "file", 2, 2, "offset length chunk", "write file \"host/path\" [offset=N] [length=N] [chunk=N]"},
    {"write", "marker", 2, 3, "", "write marker KIND [ORIENTATION]"},
    {"printer", "", 0, 0, "name port driver path",
     "printer [name=\"...\"] [port=\"...\"] [driver=\"...\"] [path=\"C:\\...\"]"},
    {"printer-data", "", 1, kAnyNumber, "size #",
     "printer-data NAME hex HH ... | NAME sz \"TEXT\" | NAME size=N [OFFSET=WORD ...]"},
    {"file", "", 3, 3, "", "file \"C:\\...\" text \"...\" | file \"C:\\...\" from \"host/path\""},
    {"delete", "", 1, 1, "", "delete \"C:\\...\""},
    {"folder", "", 1, 1, "", "folder \"C:\\...\""},
    {"release", "", 1, 1, "", "release \"C:\\...\""},
    {"hold", "", 1, 1, "access share", "hold \"C:\\...\" [access=read|write|both] [share=none|read|write|both|all]"},
    {"ini", "", 4, 4, "", "ini \"FILE\" SECTION KEY \"VALUE\""},
    {"registry", "", 3, 4, "", "registry \"KEY\" NAME sz \"TEXT\" | NAME dword N | NAME delete"},
    {"locale", "", 1, 1, "", "locale LANGID"},
    {"codepage", "", 1, 1, "", "codepage N"},
    {"scanner", "", 2, 2, "", "scanner hold CODE | scanner release CODE"},
    {"answer", "", 0, kAnyNumber, "", "answer OK|CANCEL|YES|NO ..."},
    {"fail", "", 1, 2, "nth path", "fail FUNCTION [nth=N|every] [path=\"PATTERN\"]"},
    {"settings", "", 0, kAnyNumber, "*", "settings reset | settings FIELD=VALUE ..."},
};

bool isNumber(std::string_view word) { return parseNumber(word).has_value(); }

std::vector<std::string_view> keysOf(std::string_view keys) {
  std::vector<std::string_view> list;
  for (size_t at = 0; at < keys.size();) {
    size_t end = std::min(keys.find(' ', at), keys.size());
    list.push_back(keys.substr(at, end - at));
    at = end + 1;
  }
  return list;
}

bool keyFits(std::string_view keys, const std::string& key) {
  for (std::string_view k : keysOf(keys))
    if (k == "*" || k == key || (k == "#" && isNumber(key))) return true;
  return false;
}

// "MESSAGE; usage: ..." or "MESSAGE; did you mean "X"? usage: ...".
std::string withUsage(const std::string& message, const std::string& hint, const std::string& usage) {
  return message + (hint.empty() ? "; " : hint + " ") + usage;
}

std::string usageOfForms(std::string_view verb) {
  std::string usage;
  for (auto& shape : kArgumentShapes)
    if (shape.verb == verb) usage += (usage.empty() ? "" : " | ") + std::string(shape.usage);
  return "usage: " + usage;
}

}  // namespace

bool argumentsFit(const Directive& d, std::string* error) {
  std::vector<const Token*> plain;
  for (auto& t : d.args)
    if (t.key.empty()) plain.push_back(&t);
  const ArgumentShape* shape = nullptr;
  for (auto& s : kArgumentShapes) {
    if (s.verb != d.verb) continue;
    if (s.form.empty() || (!plain.empty() && plain[0]->value == s.form)) {
      shape = &s;
      break;
    }
  }
  if (!shape) {
    std::vector<std::string_view> forms;
    for (auto& s : kArgumentShapes)
      if (s.verb == d.verb) forms.push_back(s.form);
    if (forms.empty()) return true;  // the directive checks its own words
    if (plain.empty()) return *error = d.verb + " what? " + usageOfForms(d.verb), false;
    return *error = withUsage("unknown " + d.verb + " \"" + plain[0]->value + "\"", didYouMean(plain[0]->value, forms),
                              usageOfForms(d.verb)),
           false;
  }
  for (auto& t : d.args)
    if (!t.key.empty() && !keyFits(shape->keys, t.key))
      return *error = withUsage("\"" + t.key + "=\" is not an argument of " + d.verb,
                                didYouMean(t.key, keysOf(shape->keys)), std::string("usage: ") + shape->usage),
             false;
  if (plain.size() > shape->maxPlain) {
    const Token& extra = *plain[shape->maxPlain];
    return *error = "\"" + extra.value + "\" is one word too many; usage: " + shape->usage, false;
  }
  if (plain.size() < shape->minPlain) return *error = std::string("usage: ") + shape->usage, false;
  return true;
}

// The directives that set up the machine, the printer and the settings: a
// verb, the arguments its handler reads at least (kArgumentShapes has its
// usage), and its handler.
struct Player::MachineVerb {
  std::string_view verb;
  size_t minArgs;
  bool (Player::*handler)(const Directive& d, std::string* error);
};

const Player::MachineVerb Player::kMachineVerbs[] = {
    {"printer", 0, &Player::printerVerb},   {"printer-data", 2, &Player::printerDataVerb},
    {"file", 3, &Player::fileVerb},         {"scanner", 2, &Player::scannerVerb},
    {"hold", 1, &Player::holdVerb},         {"release", 1, &Player::releaseVerb},
    {"delete", 1, &Player::deleteVerb},     {"folder", 1, &Player::folderVerb},
    {"ini", 4, &Player::iniVerb},           {"registry", 3, &Player::registryVerb},
    {"locale", 1, &Player::localeVerb},     {"codepage", 1, &Player::localeVerb},
    {"answer", 0, &Player::answerVerb},     {"fail", 1, &Player::failVerb},
    {"settings", 0, &Player::settingsVerb},
};

std::vector<std::string_view> Player::verbs() {
  std::vector<std::string_view> names;
  for (auto& [verb, hook] : kHookVerbs) names.push_back(verb);
  for (auto& v : kMachineVerbs) names.push_back(v.verb);
  return names;
}

bool Player::check(const Directive& d, std::string* error) {
  winsim::CancelPlan plan;
  if (d.verb == "cancel") return cancelPlanOf(d, &plan, error);
  for (auto& [verb, hook] : kHookVerbs)
    if (d.verb == verb) return argumentsFit(d, error);
  for (auto& v : kMachineVerbs) {
    if (d.verb != v.verb) continue;
    if (d.args.size() < v.minArgs) return *error = usageOfForms(d.verb), false;
    if (!argumentsFit(d, error)) return false;
    if (d.verb != "settings") return true;
    for (auto& t : d.args) {
      if (!t.key.empty() && !findSettingsField(t.key)) return *error = unknownField(t.key), false;
      if (t.key.empty() && t.value != "reset") return *error = "expected FIELD=VALUE, not \"" + t.value + "\"", false;
    }
    return true;
  }
  return *error = "unknown directive \"" + d.verb + "\"" + didYouMean(d.verb, verbs()), false;
}

bool ScriptCheck::directive(const Directive& d, std::string* error) {
  return Player::check(d, error) && jobState(d, error) && hostFiles(d, error);
}

// The hooks play in a job, from its startdoc to its close.
bool ScriptCheck::jobState(const Directive& d, std::string* error) {
  bool hook = std::any_of(std::begin(kHookVerbs), std::end(kHookVerbs), [&](auto& v) { return v.first == d.verb; });
  if (!hook) return true;
  if (d.verb == "startdoc") {
    job_ = Job::Open;
    return true;
  }
  if (job_ == Job::None) return *error = d.verb + " before startdoc", false;
  if (job_ == Job::Closed)
    return *error = d.verb + " after close: the job has ended; a startdoc begins the next one", false;
  if (d.verb == "close") job_ = Job::Closed;
  return true;
}

bool ScriptCheck::hostFiles(const Directive& d, std::string* error) const {
  const Token* named = nullptr;
  if (d.verb == "write" && d.args.size() >= 2 && d.args[0].value == "file") named = &d.args[1];
  if (d.verb == "file" && d.args.size() >= 3 && d.args[1].value == "from") named = &d.args[2];
  if (!named) return true;
  fs::path host = hostFileOf(scriptDir_, named->value);
  std::error_code ec;
  if (fs::is_regular_file(host, ec)) return true;
  return *error = "no host file \"" + named->value + "\" (" + host.string() + ")", false;
}

bool Player::step(const Directive& d, std::string* error) {
  try {
    if (!check(d, error)) return false;
    for (auto& [verb, hook] : kHookVerbs)
      if (d.verb == verb) return hookDirective(hook, d, error);
    for (auto& v : kMachineVerbs)
      if (d.verb == v.verb) return (this->*v.handler)(d, error);
    return false;                      // check() knows every verb
  } catch (const std::exception& e) {  // a file the machine could not write, say
    *error = e.what();
    return false;
  }
}

bool Player::printerVerb(const Directive& d, std::string* error) {
  if (auto* t = keyed(d, "path"); t && !pathArgument(*t, error)) return false;
  if (auto* t = keyed(d, "name")) printer_ = wide(t->value);
  PrinterChange change{printer_};
  if (auto* t = keyed(d, "port")) change.port = wide(t->value);
  if (auto* t = keyed(d, "driver")) change.driver = wide(t->value);
  if (auto* t = keyed(d, "path")) {  // the component lies beside the driver file
    change.driverPath = wide(t->value);
    change.configFile = change.driverPath->substr(0, change.driverPath->find_last_of(u'\\') + 1) + u"KQXLUMPD.DLL";
  }
  host_.changePrinter(change);
  return true;
}

namespace {

// UTF-16LE with its terminator, as SetPrinterDataW stores REG_SZ.
std::string registryText(const std::string& utf8) {
  std::string bytes;
  for (char16_t c : wide(utf8) + u'\0') {
    bytes.push_back(static_cast<char>(c & 0xFF));
    bytes.push_back(static_cast<char>(c >> 8));
  }
  return bytes;
}

// size=N zero bytes with OFFSET=WORD words (little-endian) set in them.
bool wordsData(const std::vector<Token>& a, std::string* bytes, std::string* error) {
  long long size;
  if (!number(a[1], &size, error)) return false;
  if (size < 0 || size > 65536) return *error = "size out of range", false;
  bytes->assign(static_cast<size_t>(size), '\0');
  for (size_t i = 2; i < a.size(); ++i) {
    auto off = parseNumber(a[i].key);
    long long word;
    if (!off || !number(a[i], &word, error)) return *error = "expected OFFSET=WORD", false;
    if (*off < 0 || *off + 2 > size) return *error = "offset outside the data", false;
    (*bytes)[*off] = static_cast<char>(word & 0xFF);
    (*bytes)[*off + 1] = static_cast<char>((word >> 8) & 0xFF);
  }
  return true;
}

}  // namespace

bool Player::printerDataVerb(const Directive& d, std::string* error) {
  const auto& a = d.args;
  std::string bytes;
  if (a[1].value == "sz" && a[1].key.empty()) {
    if (a.size() < 3) return *error = "usage: printer-data NAME sz \"TEXT\"", false;
    bytes = registryText(a[2].value);
  } else if (a[1].value == "hex") {
    if (!hexBytes(a, 2, &bytes, error)) return false;
  } else if (a[1].key == "size") {
    if (!wordsData(a, &bytes, error)) return false;
  } else {
    return *error = "printer-data takes hex or size=", false;
  }
  host_.setPrinterData(printer_, wide(a[0].value), std::vector<uint8_t>(bytes.begin(), bytes.end()));
  return true;
}

bool Player::fileVerb(const Directive& d, std::string* error) {
  const auto& a = d.args;
  if (!pathArgument(a[0], error)) return false;
  if (a[1].value == "text") return host_.writeFile(wide(a[0].value), a[2].value, error);
  if (a[1].value != "from") return *error = "file takes text or from", false;
  if (!pathArgument(a[2], error)) return false;
  fs::path host = hostFileOf(scriptDir_, a[2].value);
  std::error_code ec;
  if (!fs::is_regular_file(host, ec)) return *error = "no file " + host.string(), false;
  return host_.copyFileIn(wide(a[0].value), host, error);
}

bool Player::folderVerb(const Directive& d, std::string* error) {
  return pathArgument(d.args[0], error) && host_.makeFolder(wide(d.args[0].value), error);
}

bool Player::scannerVerb(const Directive& d, std::string* error) {
  const auto& a = d.args;
  long long code;
  if (!number(a[1], &code, error)) return false;
  if (a[0].value != "hold" && a[0].value != "release") return *error = "scanner takes hold CODE or release CODE", false;
  return host_.holdScanner(a[0].value == "hold", code, error);
}

namespace {

struct FlagWord {
  std::string_view word;
  DWORD flags;
};
constexpr FlagWord kAccessWords[] = {
    {"read", GENERIC_READ}, {"write", GENERIC_WRITE}, {"both", GENERIC_READ | GENERIC_WRITE}};
constexpr FlagWord kShareWords[] = {{"none", 0},
                                    {"read", FILE_SHARE_READ},
                                    {"write", FILE_SHARE_WRITE},
                                    {"both", FILE_SHARE_READ | FILE_SHARE_WRITE},
                                    {"all", FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE}};

template <size_t N>
bool flagsOf(const FlagWord (&words)[N], const std::string& value, DWORD* flags) {
  for (auto& w : words)
    if (w.word == value) return *flags = w.flags, true;
  return false;
}

}  // namespace

// Another program holds the file: by default a reader that lets others read.
bool Player::holdVerb(const Directive& d, std::string* error) {
  const auto& a = d.args;
  DWORD access = GENERIC_READ, share = FILE_SHARE_READ;
  if (!pathArgument(a[0], error)) return false;
  for (size_t i = 1; i < a.size(); ++i) {
    bool known = (a[i].key == "access" && flagsOf(kAccessWords, a[i].value, &access)) ||
                 (a[i].key == "share" && flagsOf(kShareWords, a[i].value, &share));
    if (!known) return *error = "hold takes access=read|write|both and share=none|read|write|both|all", false;
  }
  return host_.holdFile(wide(a[0].value), access, share, error);
}

bool Player::releaseVerb(const Directive& d, std::string* error) {
  return pathArgument(d.args[0], error) && host_.releaseFile(wide(d.args[0].value), error);
}

bool Player::deleteVerb(const Directive& d, std::string* error) {
  return pathArgument(d.args[0], error) && host_.deleteFile(wide(d.args[0].value), error);
}

bool Player::iniVerb(const Directive& d, std::string* error) {
  const auto& a = d.args;
  return pathArgument(a[0], error) &&
         host_.setProfileString(wide(a[0].value), wide(a[1].value), wide(a[2].value), wide(a[3].value), error);
}

bool Player::registryVerb(const Directive& d, std::string* error) {
  const auto& a = d.args;
  if (!pathArgument(a[0], error)) return false;
  std::u16string key = wide(a[0].value), name = wide(a[1].value);
  if (a[2].value == "delete") return host_.deleteRegistryValue(key, name, error);
  if (a[2].value == "sz" && a.size() >= 4) return host_.setRegistryString(key, name, wide(a[3].value), error);
  if (a[2].value == "dword" && a.size() >= 4) {
    long long n;
    if (!number(a[3], &n, error)) return false;
    return host_.setRegistryDword(key, name, static_cast<DWORD>(n), error);
  }
  return *error = "registry takes sz \"TEXT\", dword N or delete", false;
}

bool Player::localeVerb(const Directive& d, std::string* error) {
  long long n;
  if (!number(d.args[0], &n, error)) return false;
  if (d.verb == "locale") return host_.setLocale(static_cast<LANGID>(n), error);
  return host_.setCodePage(static_cast<UINT>(n), error);
}

bool Player::answerVerb(const Directive& d, std::string* error) {
  std::vector<int> answers;
  if (!answerIds(d.args, &answers, error)) return false;
  host_.queueAnswers(answers);
  return true;
}

bool Player::failVerb(const Directive& d, std::string* error) {
  const auto& a = d.args;
  Fault f;
  f.function = a[0].value;
  for (size_t i = 1; i < a.size(); ++i) {
    if (a[i].value == "every" && a[i].key.empty()) {
      f.every = true;
    } else if (a[i].key == "nth") {
      long long n;
      if (!number(a[i], &n, error)) return false;
      f.nth = static_cast<int>(n);
    } else if (a[i].key == "path") {
      f.pathPattern = wide(a[i].value);
    } else {
      return *error = "unknown fail option \"" + a[i].value + "\"", false;
    }
  }
  return host_.addFault(f, error);
}

bool Player::settingsVerb(const Directive& d, std::string* error) {
  for (auto& t : d.args) {
    if (t.key.empty() && t.value == "reset") {
      settings_.reset();
    } else if (t.key.empty()) {
      return *error = "expected FIELD=VALUE, not \"" + t.value + "\"", false;
    } else if ((t.key == "szOverlayFile" && !pathArgument(t, error)) ||
               !settings_.set(t.key, t.value, t.quoted, error)) {
      return false;
    }
  }
  return true;
}

bool Player::writeBuffer(const void* data, size_t size) {
  if (onBuffer_) onBuffer_(data, size);
  job_->write(data, static_cast<DWORD>(size));
  report();
  return true;
}

bool Player::writeDirective(const Directive& d, std::string* error) {
  const auto& a = d.args;
  if (a.empty()) return *error = "write what?", false;
  const std::string& what = a[0].value;
  if (what == "settings") {
    for (auto& w : settings_.warnings(host_.codePage()))
      if (warned_.insert(w).second && onWarning_) onWarning_(d.line, w);
    summary_.settings = settings_.changes(printer_, host_.codePage());
    auto record = settings_.build(printer_, host_.codePage());
    return writeBuffer(record.data(), record.size());
  }
  if (what == "text") {
    if (a.size() < 2) return *error = "usage: write text \"...\"", false;
    return writeBuffer(a[1].value.data(), a[1].value.size());
  }
  if (what == "hex") {
    std::string bytes;
    if (!hexBytes(a, 1, &bytes, error)) return false;
    return writeBuffer(bytes.data(), bytes.size());
  }
  if (what == "marker") return writeMarker(d, error);
  if (what == "file") return writeFile(d, error);
  return *error = "unknown write \"" + what + "\"", false;
}

// write marker KIND: the rendering side's in-band messages.
bool Player::writeMarker(const Directive& d, std::string* error) {
  const auto& a = d.args;
  if (a.size() < 2) return *error = "usage: write marker KIND", false;
  const std::string& kind = a[1].value;
  std::string bytes;
  if (kind == "page-start") {
    ++summary_.pages;
    long long orientation = 1;
    if (a.size() >= 3 && !number(a[2], &orientation, error)) return false;
    bytes.assign(reinterpret_cast<const char*>(kPageMarkerPrefix), 3);
    bytes.push_back(static_cast<char>(PAGE_MARKER_START));
    bytes.push_back(static_cast<char>(orientation));
  } else if (kind == "pages-end") {
    bytes.assign(reinterpret_cast<const char*>(kPageMarkerPrefix), 3);
    bytes.push_back(static_cast<char>(PAGE_MARKER_END));
  } else if (kind == "watermark") {
    bytes = kWatermarkMarker;
  } else if (kind == "overlay") {
    bytes = kOverlayMarker;
  } else if (kind == "capture-start") {
    bytes.assign(reinterpret_cast<const char*>(kCaptureStart), 4);
  } else if (kind == "capture-stop") {
    bytes.assign(reinterpret_cast<const char*>(kCaptureStop), 4);
  } else {
    return *error = "unknown marker \"" + kind + "\"", false;
  }
  return writeBuffer(bytes.data(), bytes.size());
}

namespace {

// The system's reason a host file cannot be opened for reading.
std::string whyUnreadable(const fs::path& path) {
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  return !in && errno ? std::strerror(errno) : "it cannot be read";
}

}  // namespace

// write file "host/path" [offset=N] [length=N] [chunk=N]: a range of a
// document, in buffers of `chunk` bytes.
bool Player::writeFile(const Directive& d, std::string* error) {
  const auto& a = d.args;
  if (a.size() < 2) return *error = "usage: write file \"host/path\" [offset=N] [length=N] [chunk=N]", false;
  if (!pathArgument(a[1], error)) return false;
  HostFile* file = openHostFile(a[1].value);
  if (!file)
    return *error = "cannot read " + hostFileOf(scriptDir_, a[1].value).string() + ": " +
                    whyUnreadable(hostFileOf(scriptDir_, a[1].value)),
           false;
  const fs::path& host = file->path();
  long long fileSize = file->size();
  long long offset = 0, length = -1, chunk = -1;
  for (size_t i = 2; i < a.size(); ++i) {
    long long* slot = a[i].key == "offset"   ? &offset
                      : a[i].key == "length" ? &length
                      : a[i].key == "chunk"  ? &chunk
                                             : nullptr;
    if (!slot) return *error = "unknown write file option \"" + a[i].key + "\"", false;
    if (!number(a[i], slot, error)) return false;
  }
  if (length < 0) length = fileSize - offset;
  if (offset < 0 || offset + length > fileSize) return *error = "range outside " + host.string(), false;
  if (chunk <= 0) chunk = length;
  if (chunk > 0xFFFFFFF) return *error = "chunk too large", false;
  // The hook gets the bytes where they were read, as the spooler hands
  // over its own buffer.
  while (length > 0) {
    size_t n = static_cast<size_t>(std::min(length, chunk));
    const char* bytes = file->bytes(offset, n);
    if (!bytes) return *error = "short read from " + host.string(), false;
    writeBuffer(bytes, n);
    offset += static_cast<long long>(n);
    length -= static_cast<long long>(n);
  }
  return true;
}

Player::HostFile* Player::openHostFile(const std::string& name) {
  auto it = hostFiles_.find(name);
  if (it == hostFiles_.end()) it = hostFiles_.try_emplace(name, hostFileOf(scriptDir_, name)).first;
  if (it->second.isOpen()) return &it->second;
  hostFiles_.erase(it);
  return nullptr;
}

Player::HostFile::HostFile(const fs::path& path) : path_(path), in_(path, std::ios::binary) {
  std::error_code ec;
  size_ = static_cast<long long>(fs::file_size(path, ec));
}

const char* Player::HostFile::bytes(long long offset, size_t n) {
  long long windowEnd = windowStart_ + static_cast<long long>(windowLength_);
  if (offset >= windowStart_ && offset + static_cast<long long>(n) <= windowEnd)
    return window_.get() + (offset - windowStart_);
  // Keep what the window already holds of the range; read on from its end.
  size_t keep = 0;
  if (offset >= windowStart_ && offset < windowEnd) {
    keep = static_cast<size_t>(windowEnd - offset);
    std::memmove(window_.get(), window_.get() + (offset - windowStart_), keep);
  }
  size_t want = std::max(n, static_cast<size_t>(std::min<long long>(kReadAhead, size_ - offset)));
  if (windowCapacity_ < want) grow(want, keep);
  long long from = offset + static_cast<long long>(keep);
  if (position_ != from) {  // a seek empties the stream's buffer: only when the ranges jump
    in_.clear();
    in_.seekg(from);
  }
  in_.read(window_.get() + keep, static_cast<std::streamsize>(want - keep));
  size_t got = static_cast<size_t>(in_.gcount());
  position_ = in_ ? from + static_cast<long long>(got) : -1;
  windowStart_ = offset;
  windowLength_ = keep + got;
  return windowLength_ >= n ? window_.get() : nullptr;
}

void Player::HostFile::grow(size_t capacity, size_t keep) {
  auto bigger = std::make_unique_for_overwrite<char[]>(capacity);
  if (keep) std::memcpy(bigger.get(), window_.get(), keep);
  window_ = std::move(bigger);
  windowCapacity_ = capacity;
}

bool Player::cancelPlanOf(const Directive& d, winsim::CancelPlan* plan, std::string* error) {
  const char* usage = "usage: cancel [writes=N | box | document-end]";
  if (d.args.size() > 1) return *error = usage, false;
  *plan = {};
  if (d.args.empty()) return true;
  const Token& t = d.args[0];
  if (t.key == "writes") {
    long long n;
    if (!number(t, &n, error)) return false;
    if (n < 1 || n > 1000000000) return *error = "cancel writes=N takes 1 or more", false;
    *plan = {winsim::CancelPoint::AfterWrites, static_cast<int>(n)};
  } else if (t.key.empty() && t.value == "box") {
    plan->point = winsim::CancelPoint::AtBox;
  } else if (t.key.empty() && t.value == "document-end") {
    plan->point = winsim::CancelPoint::AtDocumentEnd;
  } else {
    return *error = usage, false;
  }
  return true;
}

bool Player::hookDirective(Hook hook, const Directive& d, std::string* error) {
  if (hook == Hook::StartDoc) {
    closeJob();
    long long id = 0;
    std::u16string document = u"Document";
    if (auto* t = keyed(d, "job"))
      if (!number(*t, &id, error)) return false;
    if (auto* t = keyed(d, "document")) document = wide(t->value);
    job_ = host_.newJob(printer_, static_cast<DWORD>(id), document);
    summary_ = JobSummary{utf8Of(document), {}, 0};
    summarised_ = false;
    bool ok = job_->startDoc();
    if (!job_->error().empty()) {
      fatal_ = job_->error();
      return true;
    }
    report();
    jobRefused_ = !ok;
    return true;
  }
  if (!job_) return *error = d.verb + " before startdoc", false;
  if (jobRefused_ || !job_->started()) return true;  // the spooler does not go on with a refused job
  switch (hook) {
    case Hook::Write: return writeDirective(d, error);
    case Hook::StartPage: job_->startPage(); break;
    case Hook::EndPage: job_->endPage(); break;
    case Hook::EndDoc:
      summarise();
      job_->endDoc();
      break;
    case Hook::Abort: job_->abort(); break;
    case Hook::Close: closeJob(); return true;
    case Hook::Cancel: {
      winsim::CancelPlan plan;
      if (!cancelPlanOf(d, &plan, error)) return false;
      job_->cancel(plan);
      break;
    }
    case Hook::StartDoc: break;
  }
  report();
  return true;
}

}  // namespace jobkit
