// The overlay library: serves an overlay recorded by overlay creation as the
// content of a PCL XL user-defined stream. A recording holds whatever the
// rendering side sent during the first page of a job, its BeginPage and
// EndPage included; what a stream may hold is the page's drawing alone, so
// that is what getOverlaySize measures and ReadOverlay delivers.
//
// Only recorded overlays are served: a file that is not PCL XL page data the
// toolkit's reader accepts gives size 0, as does a path that is not a plain
// file path. The state between the two calls is the calling thread's, so
// jobs on two threads never mix their overlays.
//
// Each thread keeps the last form it read while the file stays the same
// (its size and last write time): the pages of a job then cost a copy of
// the form, not a read and a check of it.
#ifndef UNICODE
#define UNICODE
#endif
#include <windows.h>

#include <algorithm>
#include <memory>
#include <cstdio>
#include <cstring>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "pclxl/checker.h"
#include "pclxl/writer.h"
#include "support/paths.h"

#ifdef _WIN32
#define OVERLAY_EXPORT
#else
#define OVERLAY_EXPORT __attribute__((visibility("default")))
#endif

namespace {

struct Request {
  WCHAR file[MAX_PATH];
  DWORD size;
};
thread_local Request g_request;

constexpr DWORD kMaxOverlay = 64u << 20;  // a form, not a document

// What tells one state of a file from another without reading it.
struct Identity {
  DWORD size = 0;
  FILETIME written{};
  bool operator==(const Identity& o) const {
    return size == o.size && written.dwLowDateTime == o.written.dwLowDateTime &&
           written.dwHighDateTime == o.written.dwHighDateTime;
  }
};

enum class Read { Failed, Unchanged, Done };

// The file's bytes, unless its identity is `known` (then Unchanged); when
// it fails, `why` says which of the reasons it is, in the user's words.
Read ReadIfChanged(const WCHAR* path, const Identity* known, Identity* id, std::string* bytes, std::string* why) {
  if (LPCWSTR notPlain = WhyNotPlainFilePath(path)) {
    for (const WCHAR* c = notPlain; *c; ++c) why->push_back(static_cast<char>(*c));  // ASCII
    return Read::Failed;
  }
  HANDLE file =
      CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    DWORD error = GetLastError();
    *why = error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? "there is no such file"
           : error == ERROR_SHARING_VIOLATION                             ? "another program has it open for writing"
           : error == ERROR_ACCESS_DENIED                                 ? "the spooler may not read it"
                                          : "it cannot be opened (error " + std::to_string(error) + ")";
    return Read::Failed;
  }
  DWORD high = 0;
  id->size = GetFileSize(file, &high);
  bool ok = id->size != INVALID_FILE_SIZE && GetFileTime(file, nullptr, nullptr, &id->written);
  if (ok && (high != 0 || id->size > kMaxOverlay)) {
    *why = "it is larger than a form can be (64 MiB)";
    ok = false;
  } else if (!ok) {
    *why = "its size cannot be read";
  }
  Read result = ok ? Read::Done : Read::Failed;
  if (ok && known && *known == *id) {
    result = Read::Unchanged;
  } else if (ok) {
    bytes->resize(id->size);
    DWORD read = 0;
    if (id->size != 0 && !(ReadFile(file, bytes->data(), id->size, &read, nullptr) && read == id->size)) {
      *why = "it cannot be read";
      result = Read::Failed;
    }
  }
  CloseHandle(file);
  return result;
}

// The form's own names for the fonts its page defines: a form is played on
// every page, beside whatever fonts the document defines (Ghostscript names
// all of its "@").
std::string FormFontName(size_t index) {
  char name[16];
  std::snprintf(name, sizeof name, "KQXLForm%02zu", index + 1);
  return name;
}

// The resolution a bitmap font header gives (its "BR" segment: x and y,
// big-endian), or 0: after the header's eight fixed bytes, segments of a
// two-byte id, a four-byte size and their data.
int BitmapResolution(std::string_view header) {
  if (header.size() < 8 || header[0] != 0) return 0;  // format 0: bitmap
  for (size_t at = 8; at + 6 <= header.size();) {
    auto byte = [&](size_t i) { return static_cast<unsigned>(static_cast<unsigned char>(header[i])); };
    uint32_t size = byte(at + 2) << 24 | byte(at + 3) << 16 | byte(at + 4) << 8 | byte(at + 5);
    if (header.substr(at, 2) == "BR" && size >= 4 && at + 10 <= header.size())
      return static_cast<int>(byte(at + 6) << 8 | byte(at + 7));
    if (size > header.size() - at - 6) return 0;
    at += 6 + size;
  }
  return 0;
}

// A FontName in the page: where its value and attribute id stand, and the
// font it names.
struct FontNameAt {
  uint64_t from, to;
  std::vector<double> font;
};

// The page a form was recorded on: its MediaSize and Orientation, -1 where
// BeginPage does not give them.
struct RecordedPage {
  int mediaSize = -1, orientation = -1;
};

// The drawing of the recording's first page: the bytes between its
// BeginPage and its EndPage, read as a printer reads them inside a session,
// with the fonts the page defines made the form's own (renamed, and removed
// again at its end), so that it plays on every page any number of times.
// Empty, with the reason, when the recording is not such a page.
std::string PageDrawing(const std::string& recording, std::string* why, int* resolution = nullptr,
                        RecordedPage* recorded = nullptr) {
  std::string session = pclxl::headerLine("overlay");
  pclxl::Writer(session)
      .xy(pclxl::DataType::UInt16, 600, 600, pclxl::attr::UnitsPerMeasure)
      .ubyte(0, pclxl::attr::Measure)
      .op(pclxl::op::BeginSession)
      .ubyte(0, pclxl::attr::SourceType)
      .ubyte(1, pclxl::attr::DataOrg)
      .op(pclxl::op::OpenDataSource);
  const uint64_t base = session.size();
  uint64_t from = 0, to = 0;
  std::vector<FontNameAt> names;
  std::vector<std::vector<double>> defined;  // each font the page defines, once, in order
  std::set<std::vector<double>> live;        // those still defined at its end
  pclxl::Checker checker;
  bool fontHeaderData = false;
  std::string stream = session + recording;
  checker.onData = [&](uint64_t offset, uint32_t length, int depth) {
    uint64_t start = offset < stream.size() ? pclxl::dataStart(offset, static_cast<uint8_t>(stream[offset])) : 0;
    if (fontHeaderData && depth == 0 && resolution && *resolution == 0 && start + length <= stream.size())
      *resolution = BitmapResolution(std::string_view(stream).substr(static_cast<size_t>(start), length));
    fontHeaderData = false;
  };
  checker.onCommand = [&](const pclxl::Command& c) {
    namespace op = pclxl::op;
    if (c.depth != 0) return;
    fontHeaderData = c.op == op::ReadFontHeader && from != 0 && to == 0;
    if (c.op == op::BeginPage && from == 0) {
      from = c.end;
      auto scalar = [&c](uint16_t id) {
        const pclxl::Attribute* a = c.find(id);
        return a && a->value.shape == pclxl::Shape::Scalar ? static_cast<int>(a->value.number()) : -1;
      };
      if (recorded) *recorded = {scalar(pclxl::attr::MediaSize), scalar(pclxl::attr::Orientation)};
    }
    if (c.op == op::EndPage && from != 0 && to == 0) to = c.start;
    if (from == 0 || to != 0) return;
    if (c.op != op::BeginFontHeader && c.op != op::BeginChar && c.op != op::SetFont && c.op != op::RemoveFont) return;
    const pclxl::Attribute* name = c.find(pclxl::attr::FontName);
    if (!name) return;
    names.push_back({name->offset, name->end, name->value.items});
    if (c.op == op::BeginFontHeader && live.insert(name->value.items).second &&
        std::find(defined.begin(), defined.end(), name->value.items) == defined.end())
      defined.push_back(name->value.items);
    if (c.op == op::RemoveFont) live.erase(name->value.items);
  };
  size_t at = 0;
  pclxl::checkStream(checker, [&](uint8_t* buf, size_t n) {
    n = std::min(n, stream.size() - at);
    std::copy_n(stream.data() + at, n, buf);
    at += n;
    return n;
  });
  if (from < base || to <= from) return *why = "it holds no recorded page", std::string();
  // Nothing may be wrong inside the page; what follows it (the rest of the
  // job) is not the overlay's business.
  for (auto& p : checker.problems())
    if (p.offset < to) return *why = p.message, std::string();

  auto formName = [&](const std::vector<double>& font) -> std::optional<std::string> {
    auto it = std::find(defined.begin(), defined.end(), font);
    if (it == defined.end()) return std::nullopt;  // a resident font keeps its name
    return FormFontName(static_cast<size_t>(it - defined.begin()));
  };
  std::string drawing;
  uint64_t copied = from;
  for (const FontNameAt& n : names) {
    auto renamed = formName(n.font);
    if (!renamed) continue;
    drawing.append(stream, static_cast<size_t>(copied), static_cast<size_t>(n.from - copied));
    pclxl::Writer(drawing).ubyteArray(*renamed, pclxl::attr::FontName);
    copied = n.to;
  }
  drawing.append(stream, static_cast<size_t>(copied), static_cast<size_t>(to - copied));
  for (const auto& font : defined)
    if (live.count(font))
      pclxl::Writer(drawing).ubyteArray(*formName(font), pclxl::attr::FontName).op(pclxl::op::RemoveFont);
  return drawing;
}

// Why a file gives no form, where a user sees it: the creation job's
// trace and the printing job's.
void TraceRefusal(const WCHAR* path, const std::string& why) {
  std::u16string line =
      u"KQXLO: \"" + std::u16string(reinterpret_cast<const char16_t*>(path)) + u"\" is no form that can be printed: ";
  for (char c : why) line += static_cast<char16_t>(static_cast<unsigned char>(c));
  line += why.empty() || why.back() != '.' ? u".\n" : u"\n";
  OutputDebugStringW(reinterpret_cast<LPCWSTR>(line.c_str()));
}

// A form as served: its page's drawing (empty for a file that is none, with
// the reason) and the resolution it was drawn at.
struct Form {
  std::string drawing, why;
  int resolution = 0;
  RecordedPage page;
};

// The forms the threads last read, one a thread, while their files stay the
// same. Bounded: a thread's new form pushes out the forms least recently
// used by others beyond kCachedBytes.
constexpr size_t kCachedBytes = 128u << 20;
constexpr int kCachedForms = 8;

struct CachedForm {
  DWORD thread = 0;
  WCHAR file[MAX_PATH] = {};
  Identity id;
  std::shared_ptr<const Form> form;
  unsigned long long lastUse = 0;
};

CRITICAL_SECTION g_cacheLock;  // from process attach on
CachedForm g_cache[kCachedForms];
unsigned long long g_uses;

class CacheLock {
 public:
  CacheLock() { EnterCriticalSection(&g_cacheLock); }
  ~CacheLock() { LeaveCriticalSection(&g_cacheLock); }
  CacheLock(const CacheLock&) = delete;
  CacheLock& operator=(const CacheLock&) = delete;
};

CachedForm* ThreadSlot() {  // under the lock
  DWORD me = GetCurrentThreadId();
  for (auto& c : g_cache)
    if (c.form && c.thread == me) return &c;
  return nullptr;
}

// Keeps the thread's form, evicting others' least recently used beyond the bound.
void KeepForm(const WCHAR* path, const Identity& id, std::shared_ptr<const Form> form) {
  CacheLock lock;
  CachedForm* slot = ThreadSlot();
  auto size = [](const CachedForm& c) { return c.form ? c.form->drawing.size() : 0; };
  for (;;) {
    size_t total = form->drawing.size();
    CachedForm* oldest = nullptr;
    for (auto& c : g_cache) {
      if (&c == slot || !c.form) continue;
      total += size(c);
      if (!oldest || c.lastUse < oldest->lastUse) oldest = &c;
    }
    bool full = !slot && std::none_of(std::begin(g_cache), std::end(g_cache), [](auto& c) { return !c.form; });
    if ((total <= kCachedBytes && !full) || !oldest) break;
    *oldest = CachedForm{};
  }
  if (!slot) slot = std::find_if(std::begin(g_cache), std::end(g_cache), [](auto& c) { return !c.form; });
  if (slot == std::end(g_cache)) return;  // nothing could give way: served, not kept
  slot->thread = GetCurrentThreadId();
  lstrcpynW(slot->file, path, MAX_PATH);
  slot->id = id;
  slot->form = std::move(form);
  slot->lastUse = ++g_uses;
}

void ForgetThreadForm() {
  CacheLock lock;
  if (CachedForm* slot = ThreadSlot()) *slot = CachedForm{};
}

// The form at `path`: the thread's kept one while the file is unchanged,
// else read and checked afresh. Null, with the reason, when the file cannot
// be read.
std::shared_ptr<const Form> FormAt(const WCHAR* path, std::string* why) {
  Identity known;
  std::shared_ptr<const Form> kept;
  {
    CacheLock lock;
    if (CachedForm* slot = ThreadSlot(); slot && lstrcmpiW(slot->file, path) == 0) {
      known = slot->id;
      kept = slot->form;
      slot->lastUse = ++g_uses;
    }
  }
  Identity id;
  std::string recording;
  switch (ReadIfChanged(path, kept ? &known : nullptr, &id, &recording, why)) {
    case Read::Unchanged: return kept;
    case Read::Failed: ForgetThreadForm(); return nullptr;
    case Read::Done: break;
  }
  auto form = std::make_shared<Form>();
  form->drawing = PageDrawing(recording, &form->why, &form->resolution, &form->page);
  KeepForm(path, id, form);
  return form;
}

// The form's drawing, null when there is none; a refusal is traced.
std::shared_ptr<const Form> OverlayOf(const WCHAR* path, bool trace) {
  std::string why;
  std::shared_ptr<const Form> form = FormAt(path, &why);
  if (!form) {
    if (trace) TraceRefusal(path, why);
    return nullptr;
  }
  if (form->drawing.empty() && trace) TraceRefusal(path, form->why);
  return form->drawing.empty() ? nullptr : form;
}

}  // namespace

extern "C" {

OVERLAY_EXPORT BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) InitializeCriticalSection(&g_cacheLock);
  return TRUE;
}

// The size ReadOverlay will deliver for that file; 0 when it is not a
// recorded overlay.
OVERLAY_EXPORT DWORD WINAPI getOverlaySize(const CHAR* szOverlayFile) {
  Request& r = g_request;
  r.file[0] = 0;
  r.size = 0;
  if (!szOverlayFile || !szOverlayFile[0]) return 0;
  if (MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, szOverlayFile, -1, r.file, MAX_PATH) == 0) {
    r.file[0] = 0;
    return 0;
  }
  auto form = OverlayOf(r.file, true);
  if (!form) return 0;
  r.size = static_cast<DWORD>(form->drawing.size());
  return r.size;
}

// The resolution the form was drawn at, where its page says it (the bitmap
// fonts it downloads give theirs); 0 when it does not, or it is no form.
OVERLAY_EXPORT DWORD WINAPI getOverlayResolution(const CHAR* szOverlayFile) {
  WCHAR file[MAX_PATH];
  if (!szOverlayFile || !szOverlayFile[0] ||
      MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, szOverlayFile, -1, file, MAX_PATH) == 0)
    return 0;
  auto form = OverlayOf(file, false);
  return form ? static_cast<DWORD>(form->resolution) : 0;
}

// The page the form was recorded on: its MediaSize and Orientation as
// BeginPage gave them (0xFFFFFFFF where it did not); FALSE when it is no
// form.
OVERLAY_EXPORT BOOL WINAPI getOverlayPage(const CHAR* szOverlayFile, DWORD* mediaSize, DWORD* orientation) {
  WCHAR file[MAX_PATH];
  if (!szOverlayFile || !szOverlayFile[0] || !mediaSize || !orientation ||
      MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, szOverlayFile, -1, file, MAX_PATH) == 0)
    return FALSE;
  auto form = OverlayOf(file, false);
  if (!form) return FALSE;
  *mediaSize = static_cast<DWORD>(form->page.mediaSize);
  *orientation = static_cast<DWORD>(form->page.orientation);
  return TRUE;
}

// Fills the buffer with exactly the size last reported on this thread; 0
// when the file no longer gives that.
OVERLAY_EXPORT DWORD WINAPI ReadOverlay(BYTE* pBuffer) {
  const Request& r = g_request;
  if (!pBuffer || r.size == 0) return 0;
  auto form = OverlayOf(r.file, false);
  if (!form || form->drawing.size() != r.size) return 0;
  std::memcpy(pBuffer, form->drawing.data(), form->drawing.size());
  return 1;
}

}  // extern "C"
