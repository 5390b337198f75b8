// Inside the archive module: the scratch member files, the archive's fixed bytes and little-endian
// words, shared by packing and reading (not part of the module's interface).
#pragma once

#include <zlib.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "core/gzcformat.h"

#ifdef _WIN32
#include <windows.h>
#include <fcntl.h>
#include <io.h>
#include <share.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

// "GZC" and the checksum placeholder: the first 7 bytes of every archive.
extern const unsigned char header_[7];

inline uint32_t GetLE32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void PutLE32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

// Reads exactly n bytes through the file layer, or fails.
inline bool ReadExact(const GzcFileOps* ops, void* file, void* buf, size_t n) {
  unsigned char* p = static_cast<unsigned char*>(buf);
  while (n) {
    size_t got = ops->read(ops->ctx, file, p, n);
    if (got == 0) return false;
    p += got;
    n -= got;
  }
  return true;
}

#ifdef GZC_FOLDERS_HELD
// A build whose callers all name their file layer (the installer engine) links no stand-in for it.
inline const GzcFileOps* OpsOr(const GzcFileOps* ops) { return ops; }
#else
inline const GzcFileOps* OpsOr(const GzcFileOps* ops) { return ops ? ops : GzcDefaultFileOps(); }
#endif

// zlib's buffer for a scratch file's one gzip writer: large members then cost few system
// calls, and it is allocated once per operation, not per member.
constexpr unsigned kScratchGzBuffer = 128 * 1024;

// Plain descriptor calls of the platform's C runtime.
namespace scratchio {
#ifdef _WIN32
inline bool Seek(int fd, uint64_t pos) {
  return _lseeki64(fd, static_cast<__int64>(pos), SEEK_SET) == static_cast<__int64>(pos);
}
inline bool Tell(int fd, uint64_t* pos) {
  __int64 at = _lseeki64(fd, 0, SEEK_CUR);
  if (at < 0) return false;
  *pos = static_cast<uint64_t>(at);
  return true;
}
inline size_t Read(int fd, void* buf, size_t n) {
  int got = _read(fd, buf, static_cast<unsigned>(n));
  return got > 0 ? static_cast<size_t>(got) : 0;
}
inline int Write(int fd, const void* buf, size_t n) { return _write(fd, buf, static_cast<unsigned>(n)); }
inline bool Truncate(int fd, uint64_t len) { return _chsize_s(fd, static_cast<__int64>(len)) == 0; }
inline int Dup(int fd) { return _dup(fd); }
inline void Close(int fd) { _close(fd); }
#else
inline bool Seek(int fd, uint64_t pos) {
  return ::lseek(fd, static_cast<off_t>(pos), SEEK_SET) == static_cast<off_t>(pos);
}
inline bool Tell(int fd, uint64_t* pos) {
  off_t at = ::lseek(fd, 0, SEEK_CUR);
  if (at < 0) return false;
  *pos = static_cast<uint64_t>(at);
  return true;
}
inline size_t Read(int fd, void* buf, size_t n) {
  ssize_t got = ::read(fd, buf, n);
  return got > 0 ? static_cast<size_t>(got) : 0;
}
inline int Write(int fd, const void* buf, size_t n) { return static_cast<int>(::write(fd, buf, n)); }
inline bool Truncate(int fd, uint64_t len) { return ::ftruncate(fd, static_cast<off_t>(len)) == 0; }
inline int Dup(int fd) { return ::fcntl(fd, F_DUPFD_CLOEXEC, 0); }
inline void Close(int fd) { ::close(fd); }
#endif
}  // namespace scratchio

// ---- A scratch member file ("gz.tmp") -----------------------------------------------------------
// Opened once per pack or unpack, and every member passes through it: under Wine each open of a
// file costs about as much as compressing a small one. zlib works on duplicates of the descriptor
// (gzclose closes the one it was given); duplicates share the file position, so what zlib writes
// or reads happens where this file is positioned.
class ScratchFile {
 public:
  explicit ScratchFile(const char* path) : path_(path) {}
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  ~ScratchFile() { Close(); }

  const char* path() const { return path_; }

  // Creates or truncates the file on first use; later calls only say whether it is open. Others
  // may read it (the packer's own reader does) but not write it.
  bool Open() {
    if (fd_ >= 0) return true;
#ifdef _WIN32
    // Never through a link at the path: one put there would turn the truncation onto its target.
    HANDLE h = CreateFileA(path_, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    fd_ = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_RDWR | _O_BINARY);
    if (fd_ < 0) CloseHandle(h);
#else
    fd_ = ::open(path_, O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
#endif
    return fd_ >= 0;
  }

  bool Seek(uint64_t pos) { return scratchio::Seek(fd_, pos); }
  bool Tell(uint64_t* pos) { return scratchio::Tell(fd_, pos); }
  // Up to n bytes at the position; 0 at the end or on an error.
  size_t Read(void* buf, size_t n) { return scratchio::Read(fd_, buf, n); }

  bool Write(const void* buf, size_t n) {
    const char* p = static_cast<const char*>(buf);
    while (n) {
      int put = scratchio::Write(fd_, p, n);
      if (put <= 0) return false;
      p += put;
      n -= static_cast<size_t>(put);
    }
    return true;
  }

  // Records that the file's data ends at `len` (one member from offset 0, or the last of several).
  // With `alone`, whatever lies behind it (left by a longer member before) is cut off at once, so
  // that zlib reading the file sees this member alone; otherwise that waits for Close.
  bool Holds(uint64_t len, bool alone) {
    last_ = len;
    if (!alone) {
      extent_ = std::max(extent_, len);
      return true;
    }
    bool ok = extent_ <= len || scratchio::Truncate(fd_, len);
    extent_ = len;
    return ok;
  }

  // The operation's gzip writer with the compression mode, made on first use.
  gzFile Writer(const char* mode) {
    if (!writer_) {
      writer_ = GzOn(mode);
      if (writer_) gzbuffer(writer_, kScratchGzBuffer);
    }
    return writer_;
  }

  // A gzip writer of its own on a duplicate of the descriptor, starting at the current
  // position; null on failure.
  gzFile GzOn(const char* mode) {
    int dup = scratchio::Dup(fd_);
    if (dup < 0) return nullptr;
    gzFile gz = gzdopen(dup, mode);
    if (!gz) scratchio::Close(dup);
    return gz;
  }

  // Ends the writer and cuts the file after the data it holds; with `cut` false the
  // file keeps whatever lies behind (it is about to go, or nobody will read it).
  void Close(bool cut = true) {
    if (fd_ < 0) return;
    if (writer_) {
      gzclose(writer_);  // its members are complete; a zlib of another version may add an empty one
      writer_ = nullptr;
      extent_ = UINT64_MAX;
    }
    if (cut && extent_ > last_) scratchio::Truncate(fd_, last_);
    scratchio::Close(fd_);
    fd_ = -1;
  }

 private:
  const char* path_;
  int fd_ = -1;
  gzFile writer_ = nullptr;
  uint64_t extent_ = 0;  // the file's length as far as this object knows it
  uint64_t last_ = 0;    // where the data it holds ends
};

// Buffers of one size that one thread fills and another empties: made when needed, up to a limit,
// and reused. The caller keeps the pool under its own lock.
class BlockPool {
 public:
  BlockPool(size_t size, size_t limit) : size_(size), limit_(limit) {}

  // A free block, or a new one while under the limit; null when every block is out or memory is
  // short.
  unsigned char* Take() {
    if (!free_.empty()) {
      unsigned char* b = free_.back();
      free_.pop_back();
      return b;
    }
    if (made_.size() >= limit_) return nullptr;
    unsigned char* b = new (std::nothrow) unsigned char[size_];
    if (b) {
      free_.reserve(limit_);  // giving back never allocates
      made_.emplace_back(b);
    }
    return b;
  }
  void Give(unsigned char* b) { free_.push_back(b); }
  size_t FreeCount() const { return free_.size(); }
  // Every block is out: Take must wait for a Give.
  bool AllOut() const { return free_.empty() && made_.size() >= limit_; }
  bool NoneMade() const { return made_.empty(); }
  void Clear() {
    free_.clear();
    made_.clear();
  }

 private:
  size_t size_, limit_;
  std::vector<std::unique_ptr<unsigned char[]>> made_;
  std::vector<unsigned char*> free_;
};
