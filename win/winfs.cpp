// The Win32 file layer: exclusive, link-refusing file handles, the archive module's file seam on
// Win32 paths, the folder walk and tree removal.
#include "win/winfs.h"

#include <string.h>

#include "win/winhandles.h"

HANDLE winfopen(const char* path, bool write) {
  return CreateFileA(path, write ? GENERIC_WRITE : GENERIC_READ, 0, nullptr, write ? CREATE_ALWAYS : OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL | (write ? FILE_FLAG_OPEN_REPARSE_POINT : 0), nullptr);
}

HANDLE winfopen_existing(const char* path) {
  return CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool winfread(void* byte, HANDLE file) {
  DWORD got = 0;
  return ReadFile(file, byte, 1, &got, nullptr) && got == 1;
}

bool winfwrite(const void* byte, HANDLE file) {
  DWORD done = 0;
  return WriteFile(file, byte, 1, &done, nullptr) && done == 1;
}

GzcKind KindOf(DWORD a) {
  if (a & FILE_ATTRIBUTE_REPARSE_POINT) return GZC_KIND_OTHER;
  return (a & FILE_ATTRIBUTE_DIRECTORY) ? GZC_KIND_DIR : GZC_KIND_FILE;
}

bool ForEachEntry(const char* folder, void (*onEntry)(void*, const char*, GzcKind), void* cookie) {
  char pattern[MAX_PATH];
  size_t n = strlen(folder);
  if (n && folder[n - 1] == '\\') --n;
  if (n + sizeof "\\*" > MAX_PATH) return false;
  memcpy(pattern, folder, n);
  memcpy(pattern + n, "\\*", sizeof "\\*");
  WIN32_FIND_DATAA fd;
  UniqueFind find(FindFirstFileA(pattern, &fd));
  if (!find) return false;
  do {
    const char* e = fd.cFileName;
    if (e[0] == '.' && (e[1] == 0 || (e[1] == '.' && e[2] == 0))) continue;
    onEntry(cookie, e, KindOf(fd.dwFileAttributes));
  } while (FindNextFileA(find.get(), &fd));
  return true;
}

namespace {
// Empties and removes the folder in `path` (a buffer of MAX_PATH, `n` characters used); each level
// appends its entries' names to the same buffer.
void RemoveIn(char* path, size_t n) {
  ForEachEntry(path, [path, n](const char* name, GzcKind kind) {
    size_t m = strlen(name);
    if (n + 1 + m >= MAX_PATH) return;
    path[n] = '\\';
    memcpy(path + n + 1, name, m + 1);
    if (kind == GZC_KIND_DIR)
      RemoveIn(path, n + 1 + m);
    else if (!DeleteFileA(path)) {
      if (kind == GZC_KIND_OTHER)
        RemoveDirectoryA(path);  // a link to a folder: the link goes, not what it points at
      else if (SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL))  // read-only
        DeleteFileA(path);
    }
    path[n] = 0;
  });
  if (!RemoveDirectoryA(path) && SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL)) RemoveDirectoryA(path);
}
}  // namespace

void RemoveTree(const std::string& folder) {
  char path[MAX_PATH];
  size_t n = folder.size();
  if (n && folder[n - 1] == '\\') --n;
  if (n >= MAX_PATH) return;
  memcpy(path, folder.data(), n);
  path[n] = 0;
  RemoveIn(path, n);
}

bool SameFile(const char* a, const char* b) {
  auto info = [](const char* path, BY_HANDLE_FILE_INFORMATION* i) {
    // No access asked: a file held open exclusively can still be looked at; the flag opens folders.
    UniqueHandle h(CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                               FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return h && GetFileInformationByHandle(h.get(), i);
  };
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return info(a, &ia) && info(b, &ib) && ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
         ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

namespace winfs {
void* Open(void*, const char* path, bool write) {
  DWORD flags = write ? FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT : FILE_FLAG_SEQUENTIAL_SCAN;
  HANDLE h = CreateFileA(path, write ? GENERIC_WRITE : GENERIC_READ, write ? 0 : FILE_SHARE_READ, nullptr,
                         write ? CREATE_ALWAYS : OPEN_EXISTING, flags, nullptr);
  return h == INVALID_HANDLE_VALUE ? nullptr : h;
}
size_t Read(void*, void* f, void* buf, size_t n) {
  DWORD got = 0;
  return ReadFile((HANDLE)f, buf, (DWORD)n, &got, nullptr) ? got : 0;
}
bool Write(void*, void* f, const void* buf, size_t n) {
  DWORD done = 0;
  return n == 0 || (WriteFile((HANDLE)f, buf, (DWORD)n, &done, nullptr) && done == n);
}
bool Seek(void*, void* f, uint64_t off) {
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
  return a == INVALID_FILE_ATTRIBUTES ? GZC_KIND_NONE : KindOf(a);
}
bool MakeDir(void*, const char* path) { return CreateDirectoryA(path, nullptr) != 0; }
bool RemoveDir(void*, const char* path) { return RemoveDirectoryA(path) != 0; }
bool ListDir(void*, const char* folder, void (*onEntry)(void*, const char*, GzcKind), void* cookie) {
  return ForEachEntry(folder, onEntry, cookie);
}
bool Same(void*, const char* a, const char* b) { return SameFile(a, b); }
}  // namespace winfs

namespace {
using namespace winfs;

const GzcFileOps kWinOps = {nullptr, Open,      Read,    Write,   Seek,    Size,    Close,  Remove, Kind,
                            MakeDir, RemoveDir, ListDir, nullptr, nullptr, nullptr, nullptr, nullptr};
}  // namespace

const GzcFileOps* WinFileOps() { return &kWinOps; }
