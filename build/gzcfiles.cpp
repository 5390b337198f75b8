// The archive module's built-in file and folder access: C stdio plus the C runtime's folder calls.
#include "build/gzcformat.h"

#include <cstdio>
#include <string>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef _WIN32
#include <direct.h>
#include <io.h>
#include <share.h>
#else
#include <dirent.h>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <unistd.h>
#endif

namespace {

void* OpenFile(void*, const char* path, bool write) {
#ifdef _WIN32
  // Exclusive, as the program opens its files.
  return _fsopen(path, write ? "wb" : "rb", _SH_DENYRW);
#else
  if (!write) {
    FILE* f = std::fopen(path, "rb");
    struct stat st;
    if (f && (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode))) {  // a folder is no file to read
      std::fclose(f);
      return nullptr;
    }
    return f;
  }
  // O_NOFOLLOW: a link planted at a target's name must not carry the write elsewhere.
  int fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  FILE* f = ::fdopen(fd, "wb");
  if (!f) ::close(fd);
  return f;
#endif
}

size_t ReadFile(void*, void* file, void* buf, size_t n) {
  return std::fread(buf, 1, n, static_cast<FILE*>(file));
}

bool WriteFile(void*, void* file, const void* buf, size_t n) {
  return n == 0 || std::fwrite(buf, 1, n, static_cast<FILE*>(file)) == n;
}

bool SeekFile(void*, void* file, uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(static_cast<FILE*>(file), static_cast<long long>(offset), SEEK_SET) == 0;
#else
  return fseeko(static_cast<FILE*>(file), static_cast<off_t>(offset), SEEK_SET) == 0;
#endif
}

bool SizeOfFile(void*, void* file, uint64_t* size) {
  FILE* f = static_cast<FILE*>(file);
  if (std::fflush(f) != 0) return false;
#ifdef _WIN32
  struct _stati64 st;
  if (_fstati64(_fileno(f), &st) != 0) return false;
#else
  struct stat st;
  if (fstat(fileno(f), &st) != 0) return false;
#endif
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

bool CloseFile(void*, void* file) {
  return std::fclose(static_cast<FILE*>(file)) == 0;
}

bool RemoveFile(void*, const char* path) {
  return std::remove(path) == 0;
}

GzcKind KindOf(void*, const char* path) {
#ifdef _WIN32
  struct _stati64 st;
  if (_stati64(path, &st) != 0) return GZC_KIND_NONE;
  if (st.st_mode & _S_IFDIR) return GZC_KIND_DIR;
  if (st.st_mode & _S_IFREG) return GZC_KIND_FILE;
  return GZC_KIND_OTHER;
#else
  struct stat st;
  if (lstat(path, &st) != 0) return GZC_KIND_NONE;
  if (S_ISDIR(st.st_mode)) return GZC_KIND_DIR;
  if (S_ISREG(st.st_mode)) return GZC_KIND_FILE;
  return GZC_KIND_OTHER;
#endif
}

bool MakeDir(void*, const char* path) {
#ifdef _WIN32
  return _mkdir(path) == 0;
#else
  return ::mkdir(path, 0777) == 0;
#endif
}

bool RemoveDir(void*, const char* path) {
#ifdef _WIN32
  return _rmdir(path) == 0;
#else
  return ::rmdir(path) == 0;
#endif
}

// "." and ".." are the only entries a search skips.
bool IsDotEntry(const char* name) {
  return (name[0] == '.' && name[1] == 0) || (name[0] == '.' && name[1] == '.' && name[2] == 0);
}

bool ListDir(void*, const char* folder, void (*onEntry)(void*, const char*, GzcKind), void* cookie) {
#ifdef _WIN32
  std::string pattern = std::string(folder) + "\\*.*";
  struct _finddata_t fd;
  intptr_t h = _findfirst(pattern.c_str(), &fd);
  if (h == -1) return false;
  do {
    if (!IsDotEntry(fd.name)) onEntry(cookie, fd.name, (fd.attrib & _A_SUBDIR) ? GZC_KIND_DIR : GZC_KIND_FILE);
  } while (_findnext(h, &fd) == 0);
  _findclose(h);
  return true;
#else
  DIR* d = opendir(folder);
  if (!d) return false;
  while (struct dirent* e = readdir(d)) {
    if (IsDotEntry(e->d_name)) continue;
    GzcKind kind = e->d_type == DT_DIR   ? GZC_KIND_DIR
                   : e->d_type == DT_REG ? GZC_KIND_FILE
                   : e->d_type == DT_UNKNOWN ? GZC_KIND_NONE
                                           : GZC_KIND_OTHER;
    onEntry(cookie, e->d_name, kind);
  }
  closedir(d);
  return true;
#endif
}

#ifndef _WIN32
// Folders held open as descriptors; every step below the destination is opened relative to the
// folder above it and never through a link.
void* FdHandle(int fd) { return reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1); }
int FdOf(void* h) { return static_cast<int>(reinterpret_cast<intptr_t>(h) - 1); }

void* OpenDirAt(void*, void* parent, const char* name) {
  int fd = parent ? ::openat(FdOf(parent), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)
                  : ::open(name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  return fd < 0 ? nullptr : FdHandle(fd);
}

void* MakeDirAt(void*, void* parent, const char* name) {
  if (::mkdirat(FdOf(parent), name, 0777) != 0) return nullptr;
  int fd = ::openat(FdOf(parent), name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    ::unlinkat(FdOf(parent), name, AT_REMOVEDIR);  // swapped at once: only a folder of ours goes
    return nullptr;
  }
  return FdHandle(fd);
}

void CloseDir(void*, void* dir) { ::close(FdOf(dir)); }

void* CreateAt(void*, void* dir, const char* name, bool* created) {
  // O_EXCL tells a new file from one that was there; O_NONBLOCK keeps a planted pipe from blocking.
  const int flags = O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC;
  int fd = ::openat(FdOf(dir), name, flags | O_CREAT | O_EXCL, 0666);
  *created = fd >= 0;
  if (fd < 0 && errno == EEXIST) fd = ::openat(FdOf(dir), name, flags);
  if (fd < 0) return nullptr;
  struct stat st;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || ::ftruncate(fd, 0) != 0 ||
      ::fcntl(fd, F_SETFL, O_WRONLY) != 0) {
    ::close(fd);
    return nullptr;
  }
  FILE* f = ::fdopen(fd, "wb");
  if (!f) ::close(fd);
  return f;
}

bool RemoveAt(void*, void* dir, const char* name, bool folder) {
  return ::unlinkat(FdOf(dir), name, folder ? AT_REMOVEDIR : 0) == 0;
}
#endif

const GzcFileOps kDefaultOps = {
    nullptr, OpenFile, ReadFile, WriteFile, SeekFile, SizeOfFile, CloseFile,
    RemoveFile, KindOf, MakeDir, RemoveDir, ListDir,
#ifndef _WIN32
    OpenDirAt, MakeDirAt, CloseDir, CreateAt, RemoveAt,
#else
    nullptr, nullptr, nullptr, nullptr, nullptr,
#endif
};

}  // namespace

const GzcFileOps* GzcDefaultFileOps() { return &kDefaultOps; }
