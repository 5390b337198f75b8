// The engine's own file operations on top of the Win32 file layer: counted read-ahead of the
// installer file, folders made recorded, folders held open.
#include "engine/winfiles.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "win/winhandles.h"

namespace {
EngineFiles* Self(void* ctx) { return static_cast<EngineFiles*>(ctx); }

constexpr size_t kReadAhead = 1u << 20;

size_t Read(void* ctx, void* f, void* buf, size_t n) {
  EngineFiles* self = Self(ctx);
  if ((HANDLE)f != self->source) return winfs::Read(ctx, f, buf, n);
  if (self->aheadPos == self->aheadLen) {
    if (self->ahead.empty()) self->ahead.resize(kReadAhead);
    DWORD got = 0;
    if (!ReadFile(self->source, self->ahead.data(), (DWORD)self->ahead.size(), &got, nullptr)) got = 0;
    if (self->aheadAt != ~0ull) self->aheadAt += self->aheadLen;
    self->aheadPos = 0;
    self->aheadLen = got;
  }
  size_t take = std::min(n, self->aheadLen - self->aheadPos);
  memcpy(buf, self->ahead.data() + self->aheadPos, take);
  self->aheadPos += take;
  self->sourceRead += take;
  if (self->onRead) self->onRead(self->onReadCtx, self->sourceRead);
  return take;
}

bool Seek(void* ctx, void* f, uint64_t off) {
  EngineFiles* self = Self(ctx);
  if ((HANDLE)f == self->source) {
    // Progress counts the bytes passed over, so stepping back within the block takes them off again.
    if (self->aheadAt != ~0ull && off - self->aheadAt <= self->aheadLen) {
      self->sourceRead += off - self->aheadAt - self->aheadPos;
      self->aheadPos = (size_t)(off - self->aheadAt);
      return true;
    }
    self->aheadPos = self->aheadLen = 0;
    self->aheadAt = off;
  }
  return winfs::Seek(ctx, f, off);
}

std::wstring W(const std::string& path) { return Utf8ToWide(path); }

bool MakeDir(void* ctx, const char* path) {
  if (!CreateDirectoryW(W(path).c_str(), nullptr)) return false;
  Self(ctx)->madeDirs.push_back(path);
  return true;
}

bool RemoveDir(void* ctx, const char* path) {
  if (!RemoveDirectoryW(W(path).c_str())) return false;
  std::vector<std::string>& made = Self(ctx)->madeDirs;
  for (size_t i = made.size(); i-- > 0;)
    if (made[i] == path) {
      made.erase(made.begin() + i);
      break;
    }
  return true;
}

// ---- Folders held open ---------------------------------------------------------------------------
// Win32 has no creation relative to a handle: each folder below the destination is held open
// without delete sharing, so that it can be neither removed, renamed nor replaced by a junction
// while the unpacking works in it, and every path through held folders stays where it was checked.
struct Dir {
  UniqueHandle h;
  std::string path;
};

}  // namespace

std::string Below(void* dir, const char* name) { return static_cast<Dir*>(dir)->path + "\\" + name; }

namespace {
// Opens a folder without following a reparse point (`follow` aside); null for anything else.
Dir* HoldDir(const std::string& path, bool follow) {
  UniqueHandle h(CreateFileW(W(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                             FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr));
  BY_HANDLE_FILE_INFORMATION info;
  if (!h || !GetFileInformationByHandle(h.get(), &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (!follow && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)))
    return nullptr;
  return new Dir{std::move(h), path};
}

void* OpenDir(void*, void* parent, const char* name) {
  if (parent) return HoldDir(Below(parent, name), false);
  // A drive's root comes as "C:" (paths below it are joined with '\'); alone it would name the
  // drive's current folder.
  Dir* d = HoldDir(std::string(name) + (name[0] && name[1] == ':' && !name[2] ? "\\" : ""), true);
  if (d) d->path = name;
  return d;
}

void* MakeDirAt(void* ctx, void* parent, const char* name) {
  std::string path = Below(parent, name);
  if (!CreateDirectoryW(W(path).c_str(), nullptr)) return nullptr;
  Dir* d = HoldDir(path, false);
  if (!d) {
    RemoveDirectoryW(W(path).c_str());
    return nullptr;
  }
  Self(ctx)->madeDirs.push_back(path);
  return d;
}

void CloseDir(void*, void* dir) { delete static_cast<Dir*>(dir); }

void* CreateAt(void* ctx, void* dir, const char* name, bool* created) {
  std::string path = Below(dir, name);
  std::wstring w = W(path);
  // A new name first: under Wine every look at a name that is not there reads the whole folder (to
  // match it in any letter case), so a look before the creation would read it twice. A file made
  // new is no link.
  UniqueHandle h(CreateFileW(w.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
  *created = (bool)h;
  if (!h) {
    EngineFiles* self = Self(ctx);
    if (self->onReplace && !self->onReplace(self->onReplaceCtx, path.c_str())) return nullptr;
    DWORD a = GetFileAttributesW(w.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) return nullptr;
    h.reset(winfs::OpenU(nullptr, path.c_str(), true));
    if (!h) return nullptr;
    *created = GetLastError() != ERROR_ALREADY_EXISTS;
  }
  if (GetFileType(h.get()) != FILE_TYPE_DISK) return nullptr;
  return h.release();
}

bool RemoveAt(void* ctx, void* dir, const char* name, bool folder) {
  std::string path = Below(dir, name);
  return folder ? RemoveDir(ctx, path.c_str()) : DeleteFileW(W(path).c_str()) != 0;
}

}  // namespace

void InitEngineFiles(EngineFiles* files) {
  // The layer's operations, but for the counted source, the recorded folders and the folders held.
  files->ops = GzcFileOps{files,       winfs::OpenU, Read,      winfs::Write,   Seek,    winfs::Size,
                          winfs::Close, winfs::RemoveU, winfs::KindU, MakeDir, RemoveDir, winfs::ListDirU,
                          OpenDir,     MakeDirAt,   CloseDir,  CreateAt,       RemoveAt};
}

bool WriteWhole(const std::string& path, const std::string& bytes) {
  UniqueHandle f(winfs::OpenU(nullptr, path.c_str(), true));
  if (!f) return false;
  bool ok = winfs::Write(nullptr, f.get(), bytes.data(), bytes.size());
  ok = winfs::Close(nullptr, f.release()) && ok;  // the close's own result counts: data held back may fail
  if (!ok) DeleteFileW(W(path).c_str());
  return ok;
}

// ---- Threads -------------------------------------------------------------------------------------
// The unpacking's lock and condition: a critical section and an auto-reset event. The unpacking
// has one waiter at a time and checks its condition again after every wait, so a signal set that
// the waiter no longer needs only makes its next wait end early.
namespace {
struct Call {
  void (*run)(void*);
  void* arg;
};
DWORD WINAPI ThreadMain(LPVOID p) {
  Call call = *static_cast<Call*>(p);
  delete static_cast<Call*>(p);
  call.run(call.arg);
  return 0;
}
void* Start(void (*run)(void*), void* arg) {
  Call* call = new Call{run, arg};
  HANDLE h = CreateThread(nullptr, 0, ThreadMain, call, 0, nullptr);
  if (!h) delete call;
  return h;
}
void Join(void* thread) {
  UniqueHandle t((HANDLE)thread);
  WaitForSingleObject(t.get(), INFINITE);
}
struct Sync {
  CRITICAL_SECTION cs;
  UniqueHandle signal;
  bool waiting = false;  // under the lock: a thread waits, or is about to
};
void* Create() {
  Sync* s = new Sync;
  s->signal.reset(CreateEventA(nullptr, FALSE, FALSE, nullptr));
  if (!s->signal) {
    delete s;
    return nullptr;
  }
  InitializeCriticalSection(&s->cs);
  return s;
}
void Destroy(void* p) {
  Sync* s = static_cast<Sync*>(p);
  DeleteCriticalSection(&s->cs);
  delete s;
}
void Lock(void* p) { EnterCriticalSection(&static_cast<Sync*>(p)->cs); }
void Unlock(void* p) { LeaveCriticalSection(&static_cast<Sync*>(p)->cs); }
void Wait(void* p) {
  Sync* s = static_cast<Sync*>(p);
  s->waiting = true;
  LeaveCriticalSection(&s->cs);
  WaitForSingleObject(s->signal.get(), INFINITE);
  EnterCriticalSection(&s->cs);
}
// The unpacking notifies with the lock held: the event is set only for a thread that waits, since
// every SetEvent is a call to Wine's server.
void Notify(void* p) {
  Sync* s = static_cast<Sync*>(p);
  if (s->waiting) SetEvent(s->signal.get());
  s->waiting = false;
}
const GzcThreadOps kThreads = {Start, Join, Create, Destroy, Lock, Unlock, Wait, Notify};
}  // namespace

const GzcThreadOps* EngineThreads() { return &kThreads; }
