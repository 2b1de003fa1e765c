// kernel32 file functions on the machine folder, with Windows' share modes,
// creation dispositions, file pointers and temp file names.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "core/blocks.h"
#include "kernel32/state.h"

using namespace winsim;
using namespace winsim::detail;

namespace {

constexpr DWORD kRead = 1, kWrite = 2, kDelete = 4;

DWORD accessBits(DWORD access) {
  DWORD r = 0;
  if (access & (GENERIC_READ | GENERIC_ALL | 0x0001)) r |= kRead;
  if (access & (GENERIC_WRITE | GENERIC_ALL | 0x0002 | 0x0004)) r |= kWrite;
  if (access & (DELETE | GENERIC_ALL)) r |= kDelete;
  return r;
}

DWORD shareBits(DWORD share) {
  DWORD r = 0;
  if (share & FILE_SHARE_READ) r |= kRead;
  if (share & FILE_SHARE_WRITE) r |= kWrite;
  if (share & FILE_SHARE_DELETE) r |= kDelete;
  return r;
}

// Windows refuses an open when either side's share mode excludes the
// other's access. A handle that may neither read, write nor delete (its
// attributes only) takes no part. Under the file's lock.
bool shareConflict(const HostFile& file, DWORD access, DWORD share) {
  if (accessBits(access) == 0) return false;
  for (const OpenFile* f : file.handles) {
    if (accessBits(f->access) == 0) continue;
    if (accessBits(access) & ~shareBits(f->share)) return true;
    if (accessBits(f->access) & ~shareBits(share)) return true;
  }
  return false;
}

// The host file of that key, locked; made when no handle has it open. It is
// locked before anyone else can find it, so whoever does is ordered after.
std::pair<std::shared_ptr<HostFile>, std::unique_lock<std::mutex>> lockHostFile(State& s, const std::string& key,
                                                                                const fs::path& host) {
  auto made = std::make_shared<HostFile>();
  std::unique_lock madeLock(made->mu);
  made->key = key;
  made->hostPath = host.string();
  made->publication.publish();
  std::shared_ptr<HostFile> found;
  {
    auto& k = kernel32(s);
    QuietLock g(k.hostFilesMu);
    std::erase_if(k.hostFiles, [](auto& entry) { return entry.second.expired(); });
    auto& slot = k.hostFiles[key];
    found = slot.lock();
    if (!found) slot = made;
  }
  if (!found) return {std::move(made), std::move(madeLock)};
  madeLock.unlock();
  found->publication.published();  // ordered after its maker
  std::unique_lock g(found->mu);
  return {std::move(found), std::move(g)};
}

// Writes wait in their handle, as Windows' cache manager lets them, and go
// to the host file in whole blocks (core/blocks.h): a spool file written a
// page at a time costs one system call per 256 KiB. They go out before
// anything else touches the file: a read, a seek, a size or an open through
// any handle, and any lookup of a path (profile files, modules, the tests'
// host paths).

// Reads come from the host file in aligned 256 KiB blocks, kept by the handle:
// a replay that reads pages of a spool file in 8 KiB pieces, forwards or
// backwards, costs a system call per block rather than per piece. Any write
// to the file, and any lookup of a path, drops them.
constexpr int64_t kReadAhead = 256 * 1024;

// Under the file's lock.
bool flushHandle(OpenFile& f) {
  if (f.pending.empty()) return true;
  bool ok = writeAllAt(f.fd, f.pending.data(), f.pending.size(), f.position - static_cast<int64_t>(f.pending.size()));
  f.pending.clear();
  return ok;
}

size_t readAt(int fd, char* p, size_t n, int64_t at) {
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(fd, p + done, n - done, static_cast<off_t>(at + static_cast<int64_t>(done)));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) break;
    done += static_cast<size_t>(r);
  }
  return done;
}

// Up to `n` bytes at the handle's position, through its read-ahead block.
size_t readThrough(OpenFile& f, char* p, size_t n) {
  int64_t end = f.position + static_cast<int64_t>(n);
  bool held = f.position >= f.aheadAt && end <= f.aheadAt + static_cast<int64_t>(f.ahead.size());
  if (!held && static_cast<int64_t>(n) >= kReadAhead) return readAt(f.fd, p, n, f.position);
  if (!held) {
    f.aheadAt = f.position / kReadAhead * kReadAhead;
    f.ahead.resize(static_cast<size_t>((end + kReadAhead - 1) / kReadAhead * kReadAhead - f.aheadAt));
    f.ahead.resize(readAt(f.fd, f.ahead.data(), f.ahead.size(), f.aheadAt));
  }
  int64_t from = f.position - f.aheadAt;
  size_t got =
      from >= static_cast<int64_t>(f.ahead.size()) ? 0 : std::min(n, f.ahead.size() - static_cast<size_t>(from));
  std::memcpy(p, f.ahead.data() + from, got);
  return got;
}

bool isDir(const fs::path& p) {
  std::error_code ec;
  return fs::is_directory(p, ec);
}

bool isFile(const fs::path& p) {
  std::error_code ec;
  return fs::is_regular_file(p, ec);
}

// A device opens whatever the disposition. A port takes one handle at a
// time; the console is not there.
std::shared_ptr<OpenFile> openDevice(State& s, const Device& device, DWORD access, DWORD share) {
  if (device.kind == DeviceKind::Console) return setError(ERROR_INVALID_HANDLE), nullptr;
  std::u16string path = u"\\\\.\\" + device.name;
  auto [file, guard] = lockHostFile(s, toUtf8(path), {});
  if (device.kind == DeviceKind::Port && !file->handles.empty()) return setError(ERROR_ACCESS_DENIED), nullptr;
  auto open = std::make_shared<OpenFile>(OpenFile{file, -1, path, access, share});
  open->device = device.kind;
  file->handles.push_back(open.get());
  setError(0);
  return open;
}

// An open handle on a file of the machine, not yet in any table: null with
// the last error set when Windows would refuse it.
std::shared_ptr<OpenFile> openHandle(std::u16string_view name, DWORD access, DWORD share, DWORD disposition,
                                     DWORD attributes = 0) {
  auto& s = state();
  if (std::optional<Device> device = deviceOf(name)) return openDevice(s, *device, access, share);
  fs::path host;
  if (name.empty() || !hostPathOf(name, &host)) {
    setError(name.empty() ? ERROR_PATH_NOT_FOUND : pathError());
    return nullptr;
  }
  if (isDir(host)) {
    setError(ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (!isDir(host.parent_path())) {
    setError(ERROR_PATH_NOT_FOUND);
    return nullptr;
  }
  auto [file, guard] = lockHostFile(s, canonicalKey(host), host);
  syncHandles(*file);
  bool exists = isFile(host);
  int flags = 0;
  switch (disposition) {
    case CREATE_NEW:
      if (exists) return setError(ERROR_FILE_EXISTS), nullptr;
      flags = O_CREAT | O_EXCL;
      break;
    case CREATE_ALWAYS: flags = O_CREAT; break;
    case OPEN_EXISTING:
      if (!exists) return setError(ERROR_FILE_NOT_FOUND), nullptr;
      break;
    case OPEN_ALWAYS: flags = O_CREAT; break;
    case TRUNCATE_EXISTING:
      if (!exists) return setError(ERROR_FILE_NOT_FOUND), nullptr;
      if (!(accessBits(access) & kWrite)) return setError(ERROR_INVALID_PARAMETER), nullptr;
      break;
    default: return setError(ERROR_INVALID_PARAMETER), nullptr;
  }
  if (exists && shareConflict(*file, access, share)) {
    setError(ERROR_SHARING_VIOLATION);
    return nullptr;
  }
  DWORD bits = accessBits(access);
  flags |= (bits & kWrite) ? ((bits & kRead) ? O_RDWR : O_WRONLY) : O_RDONLY;
  int fd = ::open(host.c_str(), flags | O_CLOEXEC, 0644);
  if (fd < 0) {
    setError(errno == EEXIST ? ERROR_FILE_EXISTS : errno == ENOENT ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
    return nullptr;
  }
  if (exists && (disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING)) {
    if (::ftruncate(fd, 0) != 0) {
      ::close(fd);
      setError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
  }
  auto open = std::make_shared<OpenFile>(OpenFile{file, fd, fullWinPath(name), access, share});
  file->handles.push_back(open.get());
  if (attributes & FILE_FLAG_DELETE_ON_CLOSE) file->deleteOnClose = true;
  bool reportExisting = exists && (disposition == CREATE_ALWAYS || disposition == OPEN_ALWAYS);
  setError(reportExisting ? ERROR_ALREADY_EXISTS : 0);
  return open;
}

HANDLE openFile(std::u16string_view name, DWORD access, DWORD share, DWORD disposition, DWORD flags) {
  std::shared_ptr<OpenFile> open = openHandle(name, access, share, disposition, flags);
  if (!open) return INVALID_HANDLE_VALUE;
  DWORD error = lastError();
  HANDLE h = kernel32(state()).files.add(std::move(open));
  setError(error);
  return h;
}

// The handle goes; its writes go out first. False for a handle that is not a file's.
bool closeFile(HANDLE h) {
  std::shared_ptr<OpenFile> f = kernel32(state()).files.take(h);
  if (!f) return false;
  closeHandle(*f);
  return true;
}

// Another handle's writes to the same file go first; this handle's wait
// while they follow on from each other, and go out as whole blocks (whole
// blocks of a large write without waiting). Under the file's lock.
bool writeBehind(OpenFile& f, const char* p, size_t n) {
  for (OpenFile* other : f.file->handles)
    if (other != &f) flushHandle(*other);
  forgetReads(*f.file);
  int64_t at = f.position - static_cast<int64_t>(f.pending.size());  // where the next block goes
  bool ok = gatherBlocks(f.pending, p, n, [&](const char* data, size_t size) {
    bool written = writeAllAt(f.fd, data, size, at);
    at += static_cast<int64_t>(size);
    return written;
  });
  if (ok) f.position += static_cast<int64_t>(n);
  return ok;
}

DWORD copyOut(std::u16string_view text, LPWSTR buffer, DWORD size) {
  if (size < text.size() + 1) return static_cast<DWORD>(text.size() + 1);
  text.copy(buffer, text.size());
  buffer[text.size()] = 0;
  return static_cast<DWORD>(text.size());
}

// The open file a handle names, locked for the call; empty, with the
// last error set, for a handle that is not a file's.
Locked<OpenFile> lockFile(HANDLE h) {
  Locked<OpenFile> f = kernel32(state()).files.lock(h);
  if (!f) setError(ERROR_INVALID_HANDLE);
  return f;
}

// The host's facts of an open file, its pending writes gone out first;
// false with the last error set (an injected fault included).
bool statOpenFile(ApiCall& log, HANDLE hFile, struct stat* st) {
  Locked<OpenFile> f = lockFile(hFile);
  if (!f) return false;
  if (log.fails(f->winPath)) return false;
  if (f->device) return *st = {}, true;  // no size, no times
  syncHandles(*f->file);
  if (::fstat(f->fd, st) != 0) return setError(ERROR_INVALID_HANDLE), false;
  return true;
}

}  // namespace

namespace winsim::detail {

void closeHandle(OpenFile& f) {
  std::lock_guard g(f.file->mu);
  flushHandle(f);
  if (f.fd >= 0) ::close(f.fd);
  std::erase(f.file->handles, &f);
  if (f.file->handles.empty() && f.file->deleteOnClose) {
    ::unlink(f.file->hostPath.c_str());
    f.file->deleteOnClose = false;
  }
}

bool readWholeFile(std::u16string_view winPath, std::string* bytes) {
  std::shared_ptr<OpenFile> f = openHandle(winPath, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  if (!f) return false;
  bytes->clear();
  if (f->fd >= 0) {
    std::lock_guard g(f->file->mu);
    syncHandles(*f->file);
    char buf[65536];
    for (size_t got; (got = readAt(f->fd, buf, sizeof buf, static_cast<int64_t>(bytes->size()))) > 0;)
      bytes->append(buf, got);
  }
  closeHandle(*f);
  return true;
}

bool replaceWholeFile(std::u16string_view winPath, const std::string& bytes) {
  std::shared_ptr<OpenFile> f =
      openHandle(winPath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_ALWAYS);
  if (!f) return false;
  bool ok = true;
  if (f->fd >= 0) {
    std::lock_guard g(f->file->mu);
    syncHandles(*f->file);
    ok = ::ftruncate(f->fd, 0) == 0 && writeAllAt(f->fd, bytes.data(), bytes.size(), 0);
    forgetReads(*f->file);
  }
  closeHandle(*f);
  if (!ok) setError(ERROR_DISK_FULL);
  return ok;
}

void flushWrites(HostFile& file) {
  for (OpenFile* f : file.handles) flushHandle(*f);
}

void syncHandles(HostFile& file) {
  flushWrites(file);
  forgetReads(file);
}

void forgetReads(HostFile& file) {
  for (OpenFile* f : file.handles) f->ahead.clear();
}

std::shared_ptr<HostFile> openHostFile(State& s, const fs::path& host) {
  std::string path = host.string();
  auto& k = kernel32(s);
  std::shared_ptr<HostFile> found;
  {
    QuietLock g(k.hostFilesMu);
    for (auto& [key, weak] : k.hostFiles)
      if (auto file = weak.lock(); file && (key == path || file->hostPath == path)) found = std::move(file);
  }
  if (found) found->publication.published();  // ordered after its maker
  return found;
}

}  // namespace winsim::detail

namespace winsim {

bool Machine::holdFile(std::u16string_view winPath, DWORD access, DWORD share, DWORD* error) {
  auto& k = kernel32(state());
  std::u16string key = upper(fullWinPath(winPath));
  releaseFile(winPath);
  std::shared_ptr<OpenFile> f = openHandle(winPath, access, share, OPEN_EXISTING);
  if (error) *error = f ? 0 : lastError();
  if (!f) return false;
  QuietLock g(k.heldMu);
  k.held[key] = std::move(f);
  return true;
}

void Machine::releaseFile(std::u16string_view winPath) {
  auto& k = kernel32(state());
  std::shared_ptr<OpenFile> f;
  {
    QuietLock g(k.heldMu);
    auto it = k.held.find(upper(fullWinPath(winPath)));
    if (it == k.held.end()) return;
    f = std::move(it->second);
    k.held.erase(it);
  }
  closeHandle(*f);
}

void Machine::setPortSilence(std::chrono::milliseconds wait) {
  kernel32(state()).portSilenceMs = static_cast<int>(wait.count());
}

}  // namespace winsim

extern "C" {

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD disposition,
                          DWORD flags, HANDLE) {
  ApiCall log("CreateFileW");
  log.arg("lpFileName", lpFileName).hex("dwDesiredAccess", access).hex("dwShareMode", share);
  log.arg("dwCreationDisposition", disposition).hex("dwFlagsAndAttributes", flags);
  if (std::optional<Device> device = deviceOf(view(lpFileName))) log.arg("device", device->name);
  HANDLE h = log.fails(fullWinPath(view(lpFileName))) ? INVALID_HANDLE_VALUE
                                                      : openFile(view(lpFileName), access, share, disposition, flags);
  log.resultPtr(h);
  return h;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
  ApiCall log("ReadFile");
  log.ptr("hFile", hFile).arg("nNumberOfBytesToRead", toRead);
  if (read) *read = 0;
  Locked<OpenFile> f = lockFile(hFile);
  BOOL ok = FALSE;
  if (!f) {
  } else if (log.fails(f->winPath)) {
  } else if (!(accessBits(f->access) & kRead)) {
    setError(ERROR_ACCESS_DENIED);
  } else if (f->device) {
    // Nothing comes from the null device; a port waits for data nobody sends.
    if (f->device == DeviceKind::Port) {
      int ms = kernel32(state()).portSilenceMs;
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      log.arg("waitedMs", static_cast<long long>(ms));
    }
    ok = TRUE;
    setError(0);
    log.arg("read", 0LL);
  } else {
    flushWrites(*f->file);
    DWORD done = static_cast<DWORD>(readThrough(*f, static_cast<char*>(buffer), toRead));
    f->position += done;
    if (read) *read = done;
    ok = TRUE;
    setError(0);
    log.arg("read", done);
  }
  log.result(ok);
  return ok;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
  ApiCall log("WriteFile");
  log.ptr("hFile", hFile).arg("nNumberOfBytesToWrite", toWrite);
  if (written) *written = 0;
  Locked<OpenFile> f = lockFile(hFile);
  BOOL ok = FALSE;
  if (!f) {
  } else if (log.fails(f->winPath)) {
    // As a disk that fills: the first half goes in, then the write fails.
    DWORD half = toWrite / 2;
    if ((accessBits(f->access) & kWrite) && half && writeBehind(*f, static_cast<const char*>(buffer), half) && written)
      *written = half;
    setError(ERROR_DISK_FULL);
  } else if (!(accessBits(f->access) & kWrite)) {
    setError(ERROR_ACCESS_DENIED);
  } else if (f->device) {
    ok = TRUE;  // gone out of the port, or into the null device
    if (written) *written = toWrite;
    setError(0);
  } else {
    ok = writeBehind(*f, static_cast<const char*>(buffer), toWrite);
    if (written && ok) *written = toWrite;
    setError(ok ? 0 : ERROR_DISK_FULL);
  }
  log.result(ok);
  return ok;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG distance, PLONG distanceHigh, DWORD method) {
  ApiCall log("SetFilePointer");
  log.ptr("hFile", hFile).arg("lDistanceToMove", distance).arg("dwMoveMethod", method);
  Locked<OpenFile> f = lockFile(hFile);
  DWORD result = INVALID_SET_FILE_POINTER;
  if (!f) {
  } else if (log.fails(f->winPath)) {
  } else if (method > FILE_END) {
    setError(ERROR_INVALID_PARAMETER);
  } else if (f->device) {
    result = 0;  // a device has no position
    if (distanceHigh) *distanceHigh = 0;
    setError(0);
  } else {
    int64_t move = distanceHigh
                       ? static_cast<int64_t>((static_cast<uint64_t>(static_cast<uint32_t>(*distanceHigh)) << 32) |
                                              static_cast<uint32_t>(distance))
                       : static_cast<int64_t>(distance);
    flushWrites(*f->file);
    struct stat st {};
    int64_t base = 0;
    if (method == FILE_CURRENT) base = f->position;
    if (method == FILE_END) base = ::fstat(f->fd, &st) == 0 ? static_cast<int64_t>(st.st_size) : 0;
    int64_t target = base + move;
    if (target < 0) {
      setError(ERROR_NEGATIVE_SEEK);
    } else if (!distanceHigh && target > 0xFFFFFFFFLL) {
      setError(ERROR_INVALID_PARAMETER);
    } else {
      f->position = target;
      if (distanceHigh) *distanceHigh = static_cast<LONG>(target >> 32);
      result = static_cast<DWORD>(target);
      setError(0);
    }
  }
  log.result(result);
  return result;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD high) {
  ApiCall log("GetFileSize");
  log.ptr("hFile", hFile);
  DWORD result = INVALID_FILE_SIZE;
  struct stat st {};
  if (statOpenFile(log, hFile, &st)) {
    uint64_t size = static_cast<uint64_t>(st.st_size);
    if (high) *high = static_cast<DWORD>(size >> 32);
    result = static_cast<DWORD>(size);
    setError(0);
  }
  log.result(result);
  return result;
}

// The host's modification time as the last write time; the host keeps no
// creation time, so that is the same, and so is the last access.
BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME created, LPFILETIME accessed, LPFILETIME written) {
  ApiCall log("GetFileTime");
  log.ptr("hFile", hFile);
  BOOL ok = FALSE;
  struct stat st {};
  if (statOpenFile(log, hFile, &st)) {
    constexpr uint64_t kEpochDifference = 11644473600ull;  // 1601 to 1970, in seconds
    uint64_t ticks = (static_cast<uint64_t>(st.st_mtim.tv_sec) + kEpochDifference) * 10000000ull +
                     static_cast<uint64_t>(st.st_mtim.tv_nsec) / 100;
    FILETIME t{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    for (LPFILETIME out : {created, accessed, written})
      if (out) *out = t;
    ok = TRUE;
    setError(0);
  }
  log.result(ok);
  return ok;
}

BOOL WINAPI CloseHandle(HANDLE h) {
  ApiCall log("CloseHandle");
  log.ptr("hObject", h);
  BOOL ok = FALSE;
  if (!closeFile(h)) {
    setError(ERROR_INVALID_HANDLE);
  } else {
    ok = !log.fails();
  }
  log.result(ok);
  return ok;
}

BOOL WINAPI DeleteFileW(LPCWSTR name) {
  ApiCall log("DeleteFileW");
  log.arg("lpFileName", name);
  fs::path host;
  BOOL ok = FALSE;
  std::shared_ptr<HostFile> file;
  std::unique_lock<std::mutex> guard;
  if (log.fails(fullWinPath(view(name)))) {
  } else if (!name || !hostPathOf(view(name), &host)) {
    setError(name ? pathError() : ERROR_PATH_NOT_FOUND);
  } else if (isDir(host)) {
    setError(ERROR_ACCESS_DENIED);
  } else if (!isFile(host)) {
    setError(isDir(host.parent_path()) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  } else if (std::tie(file, guard) = lockHostFile(state(), canonicalKey(host), host);
             shareConflict(*file, DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE)) {
    setError(ERROR_SHARING_VIOLATION);
  } else if (::unlink(host.c_str()) != 0) {
    setError(ERROR_ACCESS_DENIED);
  } else {
    forgetName(host);
    ok = TRUE;
  }
  log.result(ok);
  return ok;
}

DWORD WINAPI GetFileAttributesW(LPCWSTR name) {
  ApiCall log("GetFileAttributesW");
  log.arg("lpFileName", name);
  fs::path host;
  DWORD r = INVALID_FILE_ATTRIBUTES;
  DWORD error = ERROR_FILE_NOT_FOUND;
  if (log.fails(fullWinPath(view(name)))) {
    error = GetLastError();
  } else if (name && hostPathOf(view(name), &host)) {
    if (isDir(host)) r = FILE_ATTRIBUTE_DIRECTORY;
    else if (isFile(host)) r = FILE_ATTRIBUTE_NORMAL;
    else if (!isDir(host.parent_path())) error = ERROR_PATH_NOT_FOUND;
  } else if (name) {
    error = pathError();
  }
  if (r == INVALID_FILE_ATTRIBUTES) setError(error);
  log.resultHex(r);
  return r;
}

BOOL WINAPI CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES) {
  ApiCall log("CreateDirectoryW");
  log.arg("lpPathName", name);
  fs::path host;
  BOOL ok = FALSE;
  if (log.fails(fullWinPath(view(name)))) {
  } else if (name && !hostPathOf(view(name), &host)) {
    setError(pathError());
  } else if (!name || !isDir(host.parent_path())) {
    setError(ERROR_PATH_NOT_FOUND);
  } else if (fs::exists(host)) {
    setError(ERROR_ALREADY_EXISTS);
  } else {
    std::error_code ec;
    ok = fs::create_directory(host, ec) ? TRUE : FALSE;
    if (!ok) setError(ERROR_ACCESS_DENIED);
  }
  log.result(ok);
  return ok;
}

// Only an empty folder goes.
BOOL WINAPI RemoveDirectoryW(LPCWSTR name) {
  ApiCall log("RemoveDirectoryW");
  log.arg("lpPathName", name);
  fs::path host;
  BOOL ok = FALSE;
  std::error_code ec;
  if (log.fails(fullWinPath(view(name)))) {
  } else if (!name || !hostPathOf(view(name), &host)) {
    setError(name ? pathError() : ERROR_PATH_NOT_FOUND);
  } else if (!fs::exists(host, ec)) {
    setError(isDir(host.parent_path()) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  } else if (!isDir(host)) {
    setError(ERROR_DIRECTORY);
  } else if (!fs::is_empty(host, ec)) {
    setError(ERROR_DIR_NOT_EMPTY);
  } else {
    ok = fs::remove(host, ec) ? TRUE : FALSE;
    if (!ok) setError(ERROR_ACCESS_DENIED);
  }
  log.result(ok);
  return ok;
}

DWORD WINAPI GetFullPathNameW(LPCWSTR name, DWORD size, LPWSTR buffer, LPWSTR* filePart) {
  ApiCall log("GetFullPathNameW");
  log.arg("lpFileName", name).arg("nBufferLength", size);
  DWORD r = 0;
  if (log.fails()) {
  } else if (!name || !name[0]) {
    setError(ERROR_INVALID_NAME);
  } else {
    std::u16string full = normalWinPath(view(name));
    char16_t last = view(name).back();
    if ((last == u'\\' || last == u'/') && !full.empty() && full.back() != u'\\') full += u'\\';  // a folder's
    r = copyOut(full, buffer, buffer ? size : 0);
    if (r <= size && buffer) {
      if (filePart) {
        size_t slash = full.find_last_of(u'\\');
        *filePart = slash + 1 < full.size() ? buffer + slash + 1 : nullptr;
      }
      log.out("lpBuffer", buffer);
    }
  }
  log.result(r);
  return r;
}

// Each name of the path as the folder holds it, an 8.3 name replaced by the
// long one; fails for a path that is not there.
DWORD WINAPI GetLongPathNameW(LPCWSTR name, LPWSTR buffer, DWORD size) {
  ApiCall log("GetLongPathNameW");
  log.arg("lpszShortPath", name).arg("cchBuffer", size);
  fs::path host;
  DWORD r = 0;
  std::error_code ec;
  if (log.fails()) {
  } else if (!name || !name[0]) {
    setError(ERROR_INVALID_PARAMETER);
  } else if (!hostPathOf(view(name), &host)) {
    setError(pathError());
  } else if (!fs::exists(host, ec)) {
    setError(isDir(host.parent_path()) ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  } else {
    // The path's own root (a drive, a share) and the long names below it.
    std::u16string out = normalWinPath(view(name));
    bool endsWithSeparator = out.size() > 3 && out.back() == u'\\';
    while (out.size() > 3 && out.back() == u'\\') out.pop_back();
    std::vector<std::u16string> names;
    for (auto& part : host.lexically_relative(state().root))
      if (part != ".") names.push_back(fromUtf8(part.string()));
    for (size_t k = 0; k < names.size(); ++k) out.erase(out.find_last_of(u'\\'));
    for (auto& part : names) out += u"\\" + part;
    if (names.empty() || endsWithSeparator) out += u"\\";
    r = copyOut(out, buffer, buffer ? size : 0);
    if (r <= size && buffer) log.out("lpszLongPath", buffer);
  }
  log.result(r);
  return r;
}

DWORD WINAPI GetTempPathW(DWORD size, LPWSTR buffer) {
  ApiCall log("GetTempPathW");
  log.arg("nBufferLength", size);
  DWORD r = log.fails() ? 0 : copyOut(tempDirectory(), buffer, buffer ? size : 0);
  if (r && r <= size && buffer) log.out("lpBuffer", buffer);
  log.result(r);
  return r;
}

UINT WINAPI GetTempFileNameW(LPCWSTR path, LPCWSTR prefix, UINT unique, LPWSTR out) {
  ApiCall log("GetTempFileNameW");
  log.arg("lpPathName", path).arg("lpPrefixString", prefix).arg("uUnique", unique);
  UINT result = 0;
  fs::path host;
  std::u16string dir = fullWinPath(view(path));
  if (dir.back() != u'\\') dir += u'\\';
  std::u16string pre(view(prefix).substr(0, 3));
  auto nameFor = [&](UINT n) {
    char hexDigits[8];
    std::snprintf(hexDigits, sizeof hexDigits, "%X", n & 0xFFFF);
    return dir + pre + fromUtf8(hexDigits) + u".tmp";
  };
  if (log.fails(dir)) {
  } else if (!path || !hostPathOf(dir, &host) || !isDir(host)) {
    setError(ERROR_DIRECTORY);
  } else if (unique != 0) {
    std::u16string name = nameFor(unique);
    if (name.size() >= MAX_PATH) {
      setError(ERROR_BUFFER_OVERFLOW);
    } else {
      std::char_traits<char16_t>::copy(out, name.c_str(), name.size() + 1);
      result = unique & 0xFFFF;
    }
  } else {
    // As Windows does: a start taken from the system time, then the next
    // number while the name is taken.
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    UINT number = static_cast<UINT>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count() % 0xFFFF);
    for (int tries = 0; tries < 0xFFFF && result == 0; ++tries) {
      number = (number % 0xFFFF) + 1;
      std::u16string name = nameFor(number);
      if (name.size() >= MAX_PATH) {
        setError(ERROR_BUFFER_OVERFLOW);
        break;
      }
      HANDLE h = openFile(name, GENERIC_WRITE, 0, CREATE_NEW, 0);
      if (h == INVALID_HANDLE_VALUE) {
        if (GetLastError() == ERROR_FILE_EXISTS) continue;
        break;
      }
      closeFile(h);
      std::char_traits<char16_t>::copy(out, name.c_str(), name.size() + 1);
      result = number;
      setError(0);
    }
  }
  if (result) log.out("lpTempFileName", out);
  log.result(result);
  return result;
}

UINT WINAPI GetWindowsDirectoryW(LPWSTR buffer, UINT size) {
  ApiCall log("GetWindowsDirectoryW");
  log.arg("uSize", size);
  UINT r = log.fails() ? 0 : copyOut(windowsDirectory(), buffer, buffer ? size : 0);
  log.result(r);
  return r;
}

UINT WINAPI GetSystemDirectoryW(LPWSTR buffer, UINT size) {
  ApiCall log("GetSystemDirectoryW");
  log.arg("uSize", size);
  UINT r = log.fails() ? 0 : copyOut(windowsDirectory() + u"\\system32", buffer, buffer ? size : 0);
  log.result(r);
  return r;
}

DWORD WINAPI SearchPathW(LPCWSTR path, LPCWSTR fileName, LPCWSTR extension, DWORD size, LPWSTR buffer,
                         LPWSTR* filePart) {
  ApiCall log("SearchPathW");
  log.arg("lpPath", path).arg("lpFileName", fileName).arg("lpExtension", extension);
  if (log.fails()) return log.result(0), 0;
  std::u16string file(view(fileName));
  std::u16string leaf =
      file.substr(file.find_last_of(u"\\/:") == std::u16string::npos ? 0 : file.find_last_of(u"\\/:") + 1);
  if (extension && leaf.find(u'.') == std::u16string::npos) file += extension;
  std::vector<std::u16string> dirs;
  bool hasDir = file.find_first_of(u"\\/:") != std::u16string::npos;
  if (hasDir) {
    dirs.push_back(u"");
  } else if (path) {
    std::u16string list(path);
    size_t i = 0;
    while (i <= list.size()) {
      size_t j = list.find(u';', i);
      if (j == std::u16string::npos) j = list.size();
      if (j > i) dirs.push_back(list.substr(i, j - i));
      i = j + 1;
    }
  } else {
    dirs = {windowsDirectory() + u"\\system32", windowsDirectory()};
  }
  DWORD result = 0;
  bool found = false;
  for (auto& dir : dirs) {
    std::u16string candidate = dir;
    if (!candidate.empty() && candidate.back() != u'\\') candidate += u'\\';
    candidate = fullWinPath(candidate + file);
    fs::path host;
    if (file.empty() || !hostPathOf(candidate, &host) || !isFile(host)) continue;
    found = true;
    result = copyOut(candidate, buffer, buffer ? size : 0);
    if (result <= size && buffer) {
      if (filePart) *filePart = buffer + candidate.find_last_of(u'\\') + 1;
      log.out("lpBuffer", buffer);
    }
    break;
  }
  if (!found) setError(ERROR_FILE_NOT_FOUND);
  log.result(result);
  return result;
}

}  // extern "C"
