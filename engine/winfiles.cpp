// Win32 file operations for the archive module: exclusive handles, no links followed, counted reads.
#include "engine/winfiles.h"

#include <algorithm>
#include <cstring>

namespace {
EngineFiles* Self(void* ctx) { return static_cast<EngineFiles*>(ctx); }

constexpr size_t kReadAhead = 1u << 20;

void* Open(void*, const char* path, bool write) {
  HANDLE h = write ? CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                 FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr)
                   : CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  return h == INVALID_HANDLE_VALUE ? nullptr : h;
}

size_t Read(void* ctx, void* f, void* buf, size_t n) {
  EngineFiles* self = Self(ctx);
  if ((HANDLE)f != self->source) {
    DWORD got = 0;
    return ReadFile((HANDLE)f, buf, (DWORD)n, &got, nullptr) ? got : 0;
  }
  if (self->aheadPos == self->aheadLen) {
    if (self->ahead.empty()) self->ahead.resize(kReadAhead);
    DWORD got = 0;
    if (!ReadFile(self->source, self->ahead.data(), (DWORD)self->ahead.size(), &got, nullptr)) got = 0;
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

bool Write(void*, void* f, const void* buf, size_t n) {
  DWORD done = 0;
  return n == 0 || (WriteFile((HANDLE)f, buf, (DWORD)n, &done, nullptr) && done == n);
}

bool Seek(void* ctx, void* f, uint64_t off) {
  EngineFiles* self = Self(ctx);
  if ((HANDLE)f == self->source) self->aheadPos = self->aheadLen = 0;
  LARGE_INTEGER li;
  li.QuadPart = (LONGLONG)off;
  return SetFilePointerEx((HANDLE)f, li, nullptr, FILE_BEGIN) != 0;
}

bool Size(void*, void* f, uint64_t* size) {
  LARGE_INTEGER li;
  if (!GetFileSizeEx((HANDLE)f, &li)) return false;
  *size = (uint64_t)li.QuadPart;
  return true;
}

bool Close(void*, void* f) { return CloseHandle((HANDLE)f) != 0; }

bool Remove(void*, const char* path) { return DeleteFileA(path) != 0; }

GzcKind Kind(void*, const char* path) {
  DWORD a = GetFileAttributesA(path);
  if (a == INVALID_FILE_ATTRIBUTES) return GZC_KIND_NONE;
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) return GZC_KIND_OTHER;
  return (a & FILE_ATTRIBUTE_DIRECTORY) ? GZC_KIND_DIR : GZC_KIND_FILE;
}

bool MakeDir(void* ctx, const char* path) {
  if (!CreateDirectoryA(path, nullptr)) return false;
  Self(ctx)->madeDirs.push_back(path);
  return true;
}

bool RemoveDir(void* ctx, const char* path) {
  if (!RemoveDirectoryA(path)) return false;
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
  HANDLE h;
  std::string path;
};

}  // namespace

std::string Below(void* dir, const char* name) { return static_cast<Dir*>(dir)->path + "\\" + name; }

namespace {
// Opens a folder without following a reparse point (`follow` aside); null for anything else.
Dir* HoldDir(const std::string& path, bool follow) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                         FILE_FLAG_BACKUP_SEMANTICS | (follow ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h, &info) || !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (!follow && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))) {
    CloseHandle(h);
    return nullptr;
  }
  return new Dir{h, path};
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
  if (!CreateDirectoryA(path.c_str(), nullptr)) return nullptr;
  Dir* d = HoldDir(path, false);
  if (!d) {
    RemoveDirectoryA(path.c_str());
    return nullptr;
  }
  Self(ctx)->madeDirs.push_back(path);
  return d;
}

void CloseDir(void*, void* dir) {
  CloseHandle(static_cast<Dir*>(dir)->h);
  delete static_cast<Dir*>(dir);
}

void* CreateAt(void*, void* dir, const char* name, bool* created) {
  std::string path = Below(dir, name);
  DWORD a = GetFileAttributesA(path.c_str());
  if (a != INVALID_FILE_ATTRIBUTES && (a & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY))) return nullptr;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (h == INVALID_HANDLE_VALUE) return nullptr;
  *created = GetLastError() != ERROR_ALREADY_EXISTS;
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return nullptr;
  }
  return h;
}

bool RemoveAt(void* ctx, void* dir, const char* name, bool folder) {
  std::string path = Below(dir, name);
  return folder ? RemoveDir(ctx, path.c_str()) : DeleteFileA(path.c_str()) != 0;
}

bool ListDir(void*, const char* folder, void (*onEntry)(void*, const char*, GzcKind), void* cookie) {
  std::string pattern = std::string(folder) + "\\*";
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return false;
  do {
    const char* n = fd.cFileName;
    if (n[0] == '.' && (n[1] == 0 || (n[1] == '.' && n[2] == 0))) continue;
    GzcKind kind = (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) ? GZC_KIND_OTHER
                   : (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? GZC_KIND_DIR
                                                                     : GZC_KIND_FILE;
    onEntry(cookie, n, kind);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  return true;
}
}  // namespace

void InitEngineFiles(EngineFiles* files) {
  files->ops = GzcFileOps{files,  Open,      Read,     Write,    Seek,     Size,     Close,  Remove,  Kind,
                          MakeDir, RemoveDir, ListDir, OpenDir, MakeDirAt, CloseDir, CreateAt, RemoveAt};
}

// ---- Threads -------------------------------------------------------------------------------------
// The unpacking's lock and condition: a critical section and an auto-reset event. The unpacking
// has one waiter at a time and checks its condition again after every wait, so a signal set while
// nobody waits only makes the next wait end early.
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
  WaitForSingleObject((HANDLE)thread, INFINITE);
  CloseHandle((HANDLE)thread);
}
struct Sync {
  CRITICAL_SECTION cs;
  HANDLE signal;
};
void* Create() {
  Sync* s = new Sync;
  s->signal = CreateEventA(nullptr, FALSE, FALSE, nullptr);
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
  CloseHandle(s->signal);
  delete s;
}
void Lock(void* p) { EnterCriticalSection(&static_cast<Sync*>(p)->cs); }
void Unlock(void* p) { LeaveCriticalSection(&static_cast<Sync*>(p)->cs); }
void Wait(void* p) {
  Sync* s = static_cast<Sync*>(p);
  LeaveCriticalSection(&s->cs);
  WaitForSingleObject(s->signal, INFINITE);
  EnterCriticalSection(&s->cs);
}
void Notify(void* p) { SetEvent(static_cast<Sync*>(p)->signal); }
const GzcThreadOps kThreads = {Start, Join, Create, Destroy, Lock, Unlock, Wait, Notify};
}  // namespace

const GzcThreadOps* EngineThreads() { return &kThreads; }
