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

namespace {
// Empties and removes the folder `path`, as RemoveIn does.
void RemoveInW(const std::wstring& path) {
  WIN32_FIND_DATAW fd;
  UniqueFind find(FindFirstFileW((path + L"\\*").c_str(), &fd));
  if (find) {
    do {
      const wchar_t* e = fd.cFileName;
      if (e[0] == L'.' && (e[1] == 0 || (e[1] == L'.' && e[2] == 0))) continue;
      std::wstring p = path + L"\\" + e;
      GzcKind kind = KindOf(fd.dwFileAttributes);
      if (kind == GZC_KIND_DIR)
        RemoveInW(p);
      else if (!DeleteFileW(p.c_str())) {
        if (kind == GZC_KIND_OTHER)
          RemoveDirectoryW(p.c_str());  // a link to a folder: the link goes, not what it points at
        else if (SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL))  // read-only
          DeleteFileW(p.c_str());
      }
    } while (FindNextFileW(find.get(), &fd));
  }
  if (!RemoveDirectoryW(path.c_str()) && SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL))
    RemoveDirectoryW(path.c_str());
}
}  // namespace

void RemoveTreeUtf8(const std::string& folder) {
  std::wstring w = Utf8ToWide(folder);
  if (!w.empty() && w.back() == L'\\') w.pop_back();
  if (!w.empty()) RemoveInW(w);
}

namespace {
// Volume and file index of what `h` opened (closed here); false when it did not open.
bool FileId(HANDLE h, BY_HANDLE_FILE_INFORMATION* i) {
  UniqueHandle owned(h);
  return owned && GetFileInformationByHandle(owned.get(), i);
}
// No access asked: a file held open exclusively can still be looked at; the flag opens folders.
constexpr DWORD kAnyShare = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
bool SameId(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b) {
  return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber && a.nFileIndexHigh == b.nFileIndexHigh &&
         a.nFileIndexLow == b.nFileIndexLow;
}
}  // namespace

bool SameFile(const char* a, const char* b) {
  auto info = [](const char* path, BY_HANDLE_FILE_INFORMATION* i) {
    return FileId(CreateFileA(path, 0, kAnyShare, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr), i);
  };
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return info(a, &ia) && info(b, &ib) && SameId(ia, ib);
}

bool SameFileUtf8(const char* a, const char* b) {
  auto info = [](const char* path, BY_HANDLE_FILE_INFORMATION* i) {
    std::wstring w = Utf8ToWide(path);
    return !w.empty() &&
           FileId(CreateFileW(w.c_str(), 0, kAnyShare, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr), i);
  };
  BY_HANDLE_FILE_INFORMATION ia, ib;
  return info(a, &ia) && info(b, &ib) && SameId(ia, ib);
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
bool SameU(void*, const char* a, const char* b) { return SameFileUtf8(a, b); }
}  // namespace winfs

bool Utf8ToWide(const char* text, std::wstring* out) {
  out->clear();
  // The system's UTF-8 conversion (no code page of the machine's), refusing what is no UTF-8.
  int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, nullptr, 0);
  if (n <= 0 || !GzcValidUtf8(text, strlen(text))) return false;
  out->resize(n - 1);
  if (n > 1) MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, -1, &(*out)[0], n);
  return true;
}

std::wstring Utf8ToWide(const std::string& text) {
  std::wstring w;
  Utf8ToWide(text.c_str(), &w);
  return w;
}

std::string WideToUtf8(const wchar_t* text, size_t len) {
  std::string out;
  out.reserve(len);
  for (size_t i = 0; i < len; ++i) {
    unsigned cp = (unsigned short)text[i];
    if (cp >= 0xD800 && cp < 0xDC00 && i + 1 < len && (unsigned short)text[i + 1] >= 0xDC00 &&
        (unsigned short)text[i + 1] < 0xE000)
      cp = 0x10000 + ((cp - 0xD800) << 10) + ((unsigned short)text[++i] - 0xDC00);
    GzcPutUtf8(cp, &out);  // a lone surrogate comes out as bytes that no UTF-8 check passes
  }
  return out;
}

std::string WideToUtf8(const std::wstring& text) { return WideToUtf8(text.data(), text.size()); }

std::string AnsiToUtf8(const std::string& text) {
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), nullptr, 0);
  std::wstring w(n > 0 ? n : 0, L'\0');
  if (n > 0) MultiByteToWideChar(CP_ACP, 0, text.data(), (int)text.size(), &w[0], n);
  return WideToUtf8(w);
}

// The seam through the wide functions: paths in UTF-8.
namespace {
std::wstring W(const char* path) {
  std::wstring w;
  Utf8ToWide(path, &w);
  return w;
}
bool MakeDirW(void*, const char* path) { return CreateDirectoryW(W(path).c_str(), nullptr) != 0; }
bool RemoveDirW(void*, const char* path) { return RemoveDirectoryW(W(path).c_str()) != 0; }
}  // namespace

namespace winfs {
void* OpenU(void*, const char* path, bool write) {
  DWORD flags = write ? FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT : FILE_FLAG_SEQUENTIAL_SCAN;
  std::wstring w = W(path);
  if (w.empty()) return nullptr;
  HANDLE h = CreateFileW(w.c_str(), write ? GENERIC_WRITE : GENERIC_READ, write ? 0 : FILE_SHARE_READ, nullptr,
                         write ? CREATE_ALWAYS : OPEN_EXISTING, flags, nullptr);
  return h == INVALID_HANDLE_VALUE ? nullptr : h;
}
bool RemoveU(void*, const char* path) { return DeleteFileW(W(path).c_str()) != 0; }
GzcKind KindU(void*, const char* path) {
  std::wstring w = W(path);
  DWORD a = w.empty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(w.c_str());
  return a == INVALID_FILE_ATTRIBUTES ? GZC_KIND_NONE : KindOf(a);
}
bool ListDirU(void*, const char* folder, void (*onEntry)(void*, const char*, GzcKind), void* cookie) {
  std::wstring pattern = W(folder);
  if (pattern.empty()) return false;
  if (pattern.back() != L'\\') pattern += L'\\';
  pattern += L'*';
  WIN32_FIND_DATAW fd;
  UniqueFind find(FindFirstFileW(pattern.c_str(), &fd));
  if (!find) return false;
  do {
    const wchar_t* e = fd.cFileName;
    if (e[0] == L'.' && (e[1] == 0 || (e[1] == L'.' && e[2] == 0))) continue;
    onEntry(cookie, WideToUtf8(e, wcslen(e)).c_str(), KindOf(fd.dwFileAttributes));
  } while (FindNextFileW(find.get(), &fd));
  return true;
}
}  // namespace winfs

namespace {
using namespace winfs;

const GzcFileOps kWinOps = {nullptr, Open,      Read,    Write,   Seek,    Size,    Close,  Remove, Kind,
                            MakeDir, RemoveDir, ListDir, nullptr, nullptr, nullptr, nullptr, nullptr};
const GzcFileOps kWinOpsUtf8 = {nullptr, OpenU,     Read,     Write,   Seek,    Size,    Close,  RemoveU, KindU,
                                MakeDirW, RemoveDirW, ListDirU, nullptr, nullptr, nullptr, nullptr, nullptr};
}  // namespace

const GzcFileOps* WinFileOps() { return &kWinOps; }
const GzcFileOps* WinFileOpsUtf8() { return &kWinOpsUtf8; }
