// The Win32 file layer of the program, its tools and the installer engine: file handles, the archive
// module's file seam on Win32 paths, folder walking and tree removal. Exception-free.
#pragma once
#include <windows.h>

#include <string>

#include "core/gzcformat.h"

// Files opened exclusively: for writing created or truncated (never through a link at the last
// component), for reading they must exist. INVALID_HANDLE_VALUE on failure; the caller closes it.
HANDLE winfopen(const char* path, bool write);
HANDLE winfopen_existing(const char* path);  // an existing file opened for writing
bool winfread(void* byte, HANDLE file);
bool winfwrite(const void* byte, HANDLE file);

// The archive module's file seam on Win32 paths (no folders held open; `ctx` unused). Files to
// write are exclusive and never opened through a link; files to read are shared for reading only,
// read sequentially. Static storage.
const GzcFileOps* WinFileOps();

// The same seam on UTF-8 paths through the wide functions: names of any language, as the file
// system holds them. Static storage.
const GzcFileOps* WinFileOpsUtf8();

// ---- UTF-8 and the wide functions ----------------------------------------------------------------
// A UTF-8 text for a wide function; false (out empty) when it is no valid UTF-8.
bool Utf8ToWide(const char* text, std::wstring* out);
std::wstring Utf8ToWide(const std::string& text);  // empty when invalid
// A wide text in UTF-8. An unpaired surrogate is written as its three bytes, which no UTF-8 check
// passes: a name that cannot travel is refused, never replaced by a '?'.
std::string WideToUtf8(const wchar_t* text, size_t len);
std::string WideToUtf8(const std::wstring& text);
// A text of the program's ANSI code page in UTF-8.
std::string AnsiToUtf8(const std::string& text);

// Whether two paths name one file or one folder (volume and file index, links followed); false
// also when either cannot be opened.
bool SameFile(const char* a, const char* b);
bool SameFileUtf8(const char* a, const char* b);  // the same on UTF-8 paths

// WinFileOps' operations one by one, for a layer that builds its own table on them (`ctx` unused).
namespace winfs {
void* Open(void* ctx, const char* path, bool write);
size_t Read(void* ctx, void* file, void* buf, size_t n);
bool Write(void* ctx, void* file, const void* buf, size_t n);
bool Seek(void* ctx, void* file, uint64_t offset);
bool Size(void* ctx, void* file, uint64_t* size);
bool Close(void* ctx, void* file);
bool Remove(void* ctx, const char* path);
GzcKind Kind(void* ctx, const char* path);
bool MakeDir(void* ctx, const char* path);
bool RemoveDir(void* ctx, const char* path);
bool ListDir(void* ctx, const char* folder, void (*onEntry)(void* cookie, const char* name, GzcKind kind),
             void* cookie);
// WinFileOpsUtf8's own: paths in UTF-8.
void* OpenU(void* ctx, const char* path, bool write);
bool RemoveU(void* ctx, const char* path);
GzcKind KindU(void* ctx, const char* path);
bool ListDirU(void* ctx, const char* folder, void (*onEntry)(void* cookie, const char* name, GzcKind kind),
              void* cookie);
bool Same(void* ctx, const char* a, const char* b);  // SameFile, as a pack job's `same`
bool SameU(void* ctx, const char* a, const char* b);  // SameFileUtf8, likewise
}  // namespace winfs

// What the search's attributes say an entry is: a link or other reparse point is GZC_KIND_OTHER.
GzcKind KindOf(DWORD attributes);

// Calls onEntry with the name and kind of each entry of `folder` except "." and "..", in the order
// the system returns them. `folder` may end in '\'. False when the folder cannot be searched (a file,
// nothing there, a path too long for the system).
bool ForEachEntry(const char* folder, void (*onEntry)(void* cookie, const char* name, GzcKind kind),
                  void* cookie);
// The same with a callable taking (const char* name, GzcKind kind).
template <typename F>
bool ForEachEntry(const char* folder, F onEntry) {
  return ForEachEntry(
      folder, [](void* f, const char* name, GzcKind kind) { (*static_cast<F*>(f))(name, kind); }, &onEntry);
}

// Removes `folder` with everything below it, read-only files included, as far as it can. A link
// below it is removed itself; nothing behind it is touched. A trailing '\' is allowed.
void RemoveTree(const std::string& folder);
// The same for a UTF-8 path, through the wide functions.
void RemoveTreeUtf8(const std::string& folder);
