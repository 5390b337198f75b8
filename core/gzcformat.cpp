// GZC archive module: unpacking, listing and verifying archives, finding them in an installer, the
// checksum and the path rules (packing is in gzcpack.cpp).
#include "core/gzcformat.h"
#include "core/alloccheck.h"
#include "core/gzclzma.h"
#include "core/gzcscratch.h"
#include "core/installerlayout.h"
#include "core/peimage.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <queue>
#include <atomic>
#include <cstdlib>
#include <deque>
#include <string>
#include <tuple>
#include <vector>

// The standard threads are the default for unpacking, except in the installer engine
// (GZC_SINGLE_THREAD), which names its own.
#ifndef GZC_SINGLE_THREAD
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

const unsigned char header_[7] = {'G', 'Z', 'C', 0, 0, 0, 0};

namespace {

// Files move through one buffer per operation.
constexpr size_t kBufSize = 64 * 1024;

// The running checksum of the current pack or unpack.
uint64_t crc = 0;

bool IsSep(char c) { return c == '\\' || c == '/'; }

// Code point cp in UTF-8 into buf; returns the byte count.
size_t EncodeUtf8(unsigned cp, char* buf) {
  if (cp < 0x80) {
    buf[0] = static_cast<char>(cp);
    return 1;
  }
  const size_t n = cp < 0x800 ? 2 : cp < 0x10000 ? 3 : 4;
  for (size_t i = n - 1; i > 0; --i, cp >>= 6) buf[i] = static_cast<char>(0x80 | (cp & 0x3F));
  static const unsigned char kLead[5] = {0, 0, 0xC0, 0xE0, 0xF0};
  buf[0] = static_cast<char>(kLead[n] | cp);
  return n;
}

// ---- Device names ------------------------------------------------------------------------------
// Windows reaches a device, not a file, through these names in any folder and with any extension.
bool IsDeviceName(const char* comp, size_t len) {
  size_t base = 0;
  while (base < len && comp[base] != '.') ++base;
  while (base > 0 && comp[base - 1] == ' ') --base;
  auto up = [&](size_t i) { return static_cast<char>(std::toupper(static_cast<unsigned char>(comp[i]))); };
  auto is = [&](const char* name) {
    size_t n = std::strlen(name);
    if (n != base) return false;
    for (size_t i = 0; i < n; ++i)
      if (up(i) != name[i]) return false;
    return true;
  };
  if (is("CON") || is("PRN") || is("AUX") || is("NUL") || is("CONIN$") || is("CONOUT$")) return true;
  // COM0 to COM9 and LPT0 to LPT9, and with the superscript digits 1, 2, 3 (code page 1252's bytes
  // or UTF-8).
  unsigned char digit = base == 4 ? static_cast<unsigned char>(comp[3]) : 0;
  if (base == 5 && static_cast<unsigned char>(comp[3]) == 0xC2) digit = static_cast<unsigned char>(comp[4]);
  if ((digit >= '0' && digit <= '9') || digit == 0xB9 || digit == 0xB2 || digit == 0xB3) {
    std::string three{up(0), up(1), up(2)};
    if (three == "COM" || three == "LPT") return true;
  }
  return false;
}

// ---- Reading -----------------------------------------------------------------------------------
// What przepiszzgzc found out about the entry it copied.
struct Copied {
  uint32_t isize = 0;  // its last four bytes: the stored length
  bool gzip = false;   // it starts with the gzip magic
};

// Copies the next len bytes of the archive (one entry) into gz.tmp, which then holds them alone.
GzcStatus przepiszzgzc(const GzcSource& src, uint32_t len, ScratchFile& tmp, unsigned char* buf, Copied* entry) {
  const GzcFileOps* ops = OpsOr(src.files);
  if (!tmp.Open() || !tmp.Seek(0)) return GZC_ERR_TEMP;
  unsigned char tail[4] = {0, 0, 0, 0};
  entry->gzip = len >= 2;
  GzcStatus status = GZC_OK;
  uint32_t written = 0;
  for (uint32_t left = len; left;) {
    size_t chunk = std::min<size_t>(left, kBufSize);
    if (!ReadExact(ops, src.file, buf, chunk)) {
      status = GZC_ERR_TRUNCATED;
      break;
    }
    if (written == 0 && entry->gzip) entry->gzip = buf[0] == 0x1f && buf[1] == 0x8b;
    if (chunk >= 4) {
      std::memcpy(tail, buf + chunk - 4, 4);
    } else {
      std::memmove(tail, tail + chunk, 4 - chunk);
      std::memcpy(tail + 4 - chunk, buf, chunk);
    }
    if (!tmp.Write(buf, chunk)) {
      status = GZC_ERR_TEMP;
      break;
    }
    written += static_cast<uint32_t>(chunk);
    left -= static_cast<uint32_t>(chunk);
  }
  if (!tmp.Holds(written, true) && status == GZC_OK) status = GZC_ERR_TEMP;
  entry->isize = GetLE32(tail);
  return status;
}

// Where inflated bytes go.
struct Sink {
  bool (*put)(void* ctx, const unsigned char* bytes, size_t n);
  void* ctx;
};

// Inflates up to isize bytes of the member in gz.tmp into the sink, adding each to the checksum,
// as zlib's gzip file reader reads such a file: gzip members one after another (bytes behind the
// last that start no member are ignored), and data that does not start as gzip passed through as it
// stands. Short data is not padded. Every member is inflated to its end, so that zlib checks its
// trailer (CRC-32 and length). strict: the member must be gzip data of exactly isize bytes.
// buf holds 2 * kBufSize bytes: what is inflated, then what is read.
// The member's bytes come from `input`: up to n at a time, 0 at its end.
struct Input {
  size_t (*read)(void* ctx, unsigned char* buf, size_t n);
  void* ctx;
  size_t Read(unsigned char* buf, size_t n) const { return read(ctx, buf, n); }
};
GzcStatus Inflate(const Input& tmp, const Copied& entry, const Sink* sink, bool strict, unsigned char* buf) {
  const GzcStatus damaged = strict ? GZC_ERR_MEMBER : GZC_ERR_SHORT;
  uint32_t left = entry.isize;
  bool beyond = false;  // bytes past the stored length, which are not the file's
  auto put = [&](size_t n) {
    if (n > left) {
      beyond = true;
      n = left;
    }
    crc32Block(buf, n);
    left -= static_cast<uint32_t>(n);
    return !sink || n == 0 || sink->put(sink->ctx, buf, n);
  };
  if (!entry.gzip) {
    for (size_t got; left && (got = tmp.Read(buf, std::min<size_t>(left, kBufSize))) != 0;)
      if (!put(got)) return GZC_ERR_TARGET;
    return strict || left ? damaged : GZC_OK;
  }
  unsigned char* in = buf + kBufSize;
  z_stream z = {};
  if (inflateInit2(&z, 15 + 16) != Z_OK) return GZC_ERR_NO_MEMORY;
  GzcStatus status = GZC_OK;
  for (;;) {
    if (z.avail_in == 0) {
      z.next_in = in;
      z.avail_in = static_cast<uInt>(tmp.Read(in, kBufSize));
      if (z.avail_in == 0) {  // the data ends inside a member
        status = damaged;
        break;
      }
    }
    z.next_out = buf;
    z.avail_out = static_cast<uInt>(kBufSize);
    const int ret = inflate(&z, Z_NO_FLUSH);
    if (!put(kBufSize - z.avail_out)) {
      status = GZC_ERR_TARGET;
      break;
    }
    if (ret == Z_STREAM_END) {
      if (z.avail_in == 0) {
        z.next_in = in;
        z.avail_in = static_cast<uInt>(tmp.Read(in, kBufSize));
      }
      if (z.avail_in < 2 || z.next_in[0] != 0x1f || z.next_in[1] != 0x8b || inflateReset(&z) != Z_OK) break;
    } else if (ret != Z_OK) {
      status = damaged;
      break;
    }
  }
  inflateEnd(&z);
  if (status == GZC_OK && (left || (strict && beyond))) status = damaged;
  return status;
}

GzcStatus dekompresjagz(ScratchFile& tmp, const Copied& entry, const Sink* sink, bool strict, unsigned char* buf) {
  if (!tmp.Seek(0)) return GZC_ERR_TEMP;
  const Input input{[](void* t, unsigned char* b, size_t n) { return static_cast<ScratchFile*>(t)->Read(b, n); }, &tmp};
  return Inflate(input, entry, sink, strict, buf);
}

bool PutString(void* ctx, const unsigned char* bytes, size_t n) {
  static_cast<std::string*>(ctx)->append(reinterpret_cast<const char*>(bytes), n);
  return true;
}

// Plain values in memory from malloc, for what a hostile archive can make large: a size it asks
// for ends in a refusal, never in a failed `new` (which ends the installer engine).
template <typename T>
class PodArray {
 public:
  PodArray() = default;
  ~PodArray() { std::free(p_); }
  PodArray(const PodArray&) = delete;
  PodArray& operator=(const PodArray&) = delete;
  // Room for n values, the kept ones kept; false when memory is short.
  bool Reserve(size_t n) {
    if (n <= cap_) return true;
    if (n > SIZE_MAX / sizeof(T)) return false;
    void* q = std::realloc(p_, n * sizeof(T));
    if (!q) return false;
    p_ = static_cast<T*>(q);
    cap_ = n;
    return true;
  }
  // Within the reserved room only.
  bool Push(const T& v) {
    if (n_ == cap_) return false;
    p_[n_++] = v;
    return true;
  }
  // Making room as needed.
  bool Append(const T& v) { return (n_ < cap_ || Reserve(cap_ ? cap_ * 2 : 64)) && Push(v); }
  T& operator[](size_t i) { return p_[i]; }
  const T& operator[](size_t i) const { return p_[i]; }
  size_t size() const { return n_; }
  T* data() { return p_; }
  const T* data() const { return p_; }
  void Swap(PodArray& o) {
    std::swap(p_, o.p_);
    std::swap(n_, o.n_);
    std::swap(cap_, o.cap_);
  }

 private:
  T* p_ = nullptr;
  size_t n_ = 0, cap_ = 0;
};

bool PutText(void* ctx, const unsigned char* bytes, size_t n) {
  auto* text = static_cast<PodArray<char>*>(ctx);
  for (size_t i = 0; i < n; ++i)
    if (!text->Push(static_cast<char>(bytes[i]))) return false;
  return true;
}

// A list line: where it stands in the list text.
struct Line {
  uint32_t at, len;
};

struct Head {
  uint32_t stored = 0;
  uint32_t kind = GZC_ARCHIVE_GZIP;
  bool utf8 = false;     // the lines are UTF-8 (stored so, or converted for the caller)
  PodArray<uint32_t> t;  // t[0] .. t[N]
  PodArray<char> text;   // the list
  PodArray<Line> lines;
  const char* LineText(size_t i) const { return text.data() + lines[i].at; }
};

// The header and offset table, checked against the file's size before anything is allocated;
// `table` (if given) receives t[0] .. t[N], `length` (if given) t[N], `flags` (if given) the
// reserved word.
GzcStatus ReadTableInto(const GzcSource& src, uint32_t* storedChecksum, PodArray<uint32_t>* table, uint32_t* length,
                        uint32_t* flags = nullptr) {
  const GzcFileOps* ops = OpsOr(src.files);
  unsigned char head[GZC_HEADER_SIZE + 4];
  size_t want = static_cast<size_t>(std::min<uint64_t>(src.avail, sizeof head));
  size_t got = 0;
  while (got < want) {
    size_t r = ops->read(ops->ctx, src.file, head + got, want - got);
    if (r == 0) break;
    got += r;
  }
  if (got < 3 || std::memcmp(head, header_, 3) != 0) return GZC_ERR_MAGIC;
  if (got < sizeof head) return GZC_ERR_TRUNCATED;
  *storedChecksum = GetLE32(head + 3);
  if (flags) *flags = GetLE32(head + 7);
  const uint32_t kind = (GetLE32(head + 7) & GZC_ARCHIVE_KIND_MASK) >> GZC_ARCHIVE_KIND_SHIFT;
#ifdef GZC_NO_LZMA
  if (kind != GZC_ARCHIVE_GZIP) return GZC_ERR_KIND;
#else
  if (kind != GZC_ARCHIVE_GZIP && kind != GZC_ARCHIVE_LZMA) return GZC_ERR_KIND;
#endif
  const uint32_t n = GetLE32(head + 11);
  if (n == 0 || n == 0xFFFFFFFFu) return GZC_ERR_COUNT;  // no list entry; N + 1 overflows
  const uint64_t tableBytes = 4 * (uint64_t(n) + 1);
  // Everything here is checked against the file before the table is allocated.
  if (GZC_HEADER_SIZE + tableBytes > src.avail) return GZC_ERR_TRUNCATED;
  const uint32_t t0 = GetLE32(head + GZC_HEADER_SIZE);
  const bool maybeCancelled = t0 == 0 && *storedChecksum == 0;
  if (t0 != 19 + 4 * uint64_t(n) && !maybeCancelled) return GZC_ERR_TABLE;
  if (table && (!table->Reserve(size_t(n) + 1) || !table->Push(t0))) return GZC_ERR_NO_MEMORY;

  // Entries follow each other; each holds at least its 4-byte stored length.
  bool allZero = t0 == 0, ordered = true;
  uint32_t prev = t0;
  unsigned char chunk[4096];
  for (size_t i = 1; i <= n;) {
    size_t words = std::min<size_t>(n + 1 - i, sizeof chunk / 4);
    if (!ReadExact(ops, src.file, chunk, words * 4)) return GZC_ERR_TRUNCATED;
    for (size_t j = 0; j < words; ++j) {
      uint32_t v = GetLE32(chunk + 4 * j);
      if (v) allZero = false;
      if (v < prev || v - prev < 4) ordered = false;
      prev = v;
      if (table) table->Push(v);
    }
    i += words;
  }
  if (maybeCancelled) return allZero ? GZC_ERR_CANCELLED_ARCHIVE : GZC_ERR_TABLE;
  if (!ordered) return GZC_ERR_TABLE;
  if (prev > src.avail) return GZC_ERR_TRUNCATED;
  if (length) *length = prev;
  return GZC_OK;
}

// Header, table and list: everything that can be refused before a file is written. Leaves the
// source at the start of entry 1. Memory: the table and the list, which is refused beyond
// GZC_LIST_MAX before it is inflated.
GzcStatus ReadHead(const GzcSource& src, ScratchFile& tmp, bool strict,
                   unsigned char* buf, Head* head) {
  uint32_t flags = 0;
  GzcStatus status = ReadTableInto(src, &head->stored, &head->t, nullptr, &flags);
  if (status != GZC_OK) return status;
  const bool storedUtf8 = (flags & GZC_FLAG_UTF8) != 0;
  head->kind = (flags & GZC_ARCHIVE_KIND_MASK) >> GZC_ARCHIVE_KIND_SHIFT;
  head->utf8 = storedUtf8 || src.utf8Names;
  const uint32_t n = static_cast<uint32_t>(head->t.size() - 1);
  Copied entry;
  status = przepiszzgzc(src, head->t[1] - head->t[0], tmp, buf, &entry);
  if (status != GZC_OK) return status;
  const uint32_t isize = entry.isize;
  // A list of N - 1 lines of at most GZC_PATH_MAX characters (UTF-8: up to 3 bytes per UTF-16
  // unit) and a line end: refuse more before inflating.
  const uint64_t lineMax = storedUtf8 ? 3 * uint64_t(GZC_PATH_MAX) : GZC_PATH_MAX;
  if (isize > uint64_t(n - 1) * (lineMax + 2)) return GZC_ERR_LIST;
  if (isize > GZC_LIST_MAX) return GZC_ERR_LIST_SIZE;
  // Every line but the last holds at least one byte and its line end.
  if (!head->text.Reserve(isize ? isize : 1) || !head->lines.Reserve(std::min<size_t>(n - 1, isize / 2 + 1) + 1))
    return GZC_ERR_NO_MEMORY;
  Sink sink{PutText, &head->text};
  status = dekompresjagz(tmp, entry, &sink, strict, buf);
  if (status == GZC_ERR_SHORT) return GZC_ERR_LIST;
  if (status != GZC_OK) return status;
  if (src.utf8Names && !storedUtf8) {
    // An archive of code page 1250 names, read for a caller that takes UTF-8.
    PodArray<char> converted;
    if (!converted.Reserve(3 * head->text.size() + 1)) return GZC_ERR_NO_MEMORY;
    for (size_t i = 0; i < head->text.size(); ++i) {
      char buf[4];
      size_t n = EncodeUtf8(GzcCp1250Char(static_cast<unsigned char>(head->text[i])), buf);
      for (size_t k = 0; k < n; ++k) converted.Push(buf[k]);
    }
    head->text.Swap(converted);
  }

  // A line ends at LF, without a CR just before it; an unfinished last line counts.
  const char* text = head->text.data();
  const size_t size = head->text.size();
  size_t start = 0;
  while (start < size) {
    const void* found = std::memchr(text + start, '\n', size - start);
    size_t lf = found ? static_cast<size_t>(static_cast<const char*>(found) - text) : size;
    size_t stop = (lf > start && text[lf - 1] == '\r') ? lf - 1 : lf;
    if (head->lines.size() == n - 1) return GZC_ERR_LIST;  // more lines than files
    if (!GzcSafeListLine(text + start, stop - start, head->utf8)) return GZC_ERR_PATH;
    if (!head->lines.Push({static_cast<uint32_t>(start), static_cast<uint32_t>(stop - start)})) return GZC_ERR_LIST;
    start = lf + 1;
  }
  if (head->lines.size() != n - 1) return GZC_ERR_LIST;
  return GZC_OK;
}

// One reading of an archive: its buffer, scratch member file and head.
struct Reading {
  PodArray<unsigned char> buf;
  ScratchFile tmp;
  Head head;
  explicit Reading(const char* gzTmp) : tmp(gzTmp) {}
  // Sets the checksum to 0 and reads the header, table and list.
  GzcStatus Start(const GzcSource& src, bool strict) {
    crc32Reset();
    if (!buf.Reserve(2 * kBufSize)) return GZC_ERR_NO_MEMORY;  // dekompresjagz's output and input
    return ReadHead(src, tmp, strict, buf.data(), &head);
  }
  // Copies the member of list line i into the scratch file.
  GzcStatus Copy(const GzcSource& src, size_t i, Copied* entry) {
    return przepiszzgzc(src, head.t[i + 2] - head.t[i + 1], tmp, buf.data(), entry);
  }
};

// ---- Folders below the destination --------------------------------------------------------------
// The seam's held folders, or, where the file layer has none, the same steps by path. A build whose
// file layers all hold folders (GZC_FOLDERS_HELD: the installer engine) leaves the stand-ins out.
class FolderAccess {
 public:
#ifdef GZC_FOLDERS_HELD
  explicit FolderAccess(const GzcFileOps* ops) : ops_(ops) {}
  void* Open(void* parent, const std::string& name) { return ops_->openDir(ops_->ctx, parent, name.c_str()); }
  void* Make(void* parent, const std::string& name) { return ops_->makeDirAt(ops_->ctx, parent, name.c_str()); }
  void Close(void* dir) { ops_->closeDir(ops_->ctx, dir); }
  void* Create(void* dir, const std::string& name, bool* created) {
    return ops_->createAt(ops_->ctx, dir, name.c_str(), created);
  }
  bool Remove(void* dir, const std::string& name, bool folder) {
    return ops_->removeAt(ops_->ctx, dir, name.c_str(), folder);
  }

 private:
  const GzcFileOps* ops_;
#else
  explicit FolderAccess(const GzcFileOps* ops) : ops_(ops), held_(ops->openDir != nullptr) {}

  void* Open(void* parent, const std::string& name) {
    if (held_) return ops_->openDir(ops_->ctx, parent, name.c_str());
    std::string path = Join(parent, name);
    return ops_->kind(ops_->ctx, path.c_str()) == GZC_KIND_DIR ? new (std::nothrow) std::string(path) : nullptr;
  }
  void* Make(void* parent, const std::string& name) {
    if (held_) return ops_->makeDirAt(ops_->ctx, parent, name.c_str());
    std::string path = Join(parent, name);
    if (ops_->kind(ops_->ctx, path.c_str()) != GZC_KIND_NONE || !ops_->makeDir(ops_->ctx, path.c_str())) return nullptr;
    return new (std::nothrow) std::string(path);
  }
  void Close(void* dir) {
    if (held_)
      ops_->closeDir(ops_->ctx, dir);
    else
      delete static_cast<std::string*>(dir);
  }
  void* Create(void* dir, const std::string& name, bool* created) {
    if (held_) return ops_->createAt(ops_->ctx, dir, name.c_str(), created);
    std::string path = Join(dir, name);
    GzcKind kind = ops_->kind(ops_->ctx, path.c_str());
    if (kind != GZC_KIND_NONE && kind != GZC_KIND_FILE) return nullptr;
    *created = kind == GZC_KIND_NONE;
    return ops_->open(ops_->ctx, path.c_str(), true);
  }
  bool Remove(void* dir, const std::string& name, bool folder) {
    if (held_) return ops_->removeAt(ops_->ctx, dir, name.c_str(), folder);
    std::string path = Join(dir, name);
    return folder ? ops_->removeDir(ops_->ctx, path.c_str()) : ops_->remove(ops_->ctx, path.c_str());
  }

 private:
  static std::string Join(void* parent, const std::string& name) {
    return parent ? *static_cast<std::string*>(parent) + GZC_SEP + name : name;
  }
  const GzcFileOps* ops_;
  bool held_;
#endif
};

// A list line split into its folder (components joined by '\') and its file name.
void SplitLine(const char* line, size_t len, std::string* folder, std::string* name) {
  size_t last = len;
  while (last > 0 && !IsSep(line[last - 1])) --last;
  for (size_t i = 0; i + 1 < last; ++i) *folder += line[i] == '/' ? '\\' : line[i];
  *name = std::string(line + last, len - last);
}

// Folders held open below a destination, by relative path, in a sorted vector: the tree code of a
// std::map would cost the installer engine, which has a size bound, kilobytes for this one table.
class HeldFolders {
 public:
  void* Find(const std::string& rel) const {  // null when not held
    auto it = Lower(rel);
    return it != items_.end() && it->first == rel ? it->second : nullptr;
  }
  void Put(const std::string& rel, void* dir) { items_.insert(Lower(rel), {rel, dir}); }  // rel not held
  void* Take(const std::string& rel) {  // removed; null when not held
    auto it = Lower(rel);
    if (it == items_.end() || it->first != rel) return nullptr;
    void* dir = it->second;
    items_.erase(it);
    return dir;
  }
  template <typename F>
  void Each(F f) const {
    for (const Item& i : items_) f(i.second);
  }
  void Clear() { items_.clear(); }

 private:
  using Item = std::pair<std::string, void*>;
  std::vector<Item>::const_iterator Lower(const std::string& rel) const {
    return std::lower_bound(items_.begin(), items_.end(), rel,
                            [](const Item& a, const std::string& b) { return a.first < b; });
  }
  std::vector<Item> items_;
};

// Tells a worker thread to stop (its quit flag, under the lock, with a notify) and waits for its end.
static void QuitAndJoin(const GzcThreadOps* threads, void* sync, void* thread, bool* quit) {
  threads->lock(sync);
  *quit = true;
  threads->notify(sync);
  threads->unlock(sync);
  threads->join(thread);
}

// ---- The target side of unpacking ---------------------------------------------------------------
// Makes the folders a target needs, creates it, writes what is inflated into it and closes it. On
// a thread of its own (behind a queue of blocks, up to 16 MiB) the file system's work overlaps the
// reading and inflating, which under Wine costs about as much; without a thread it runs inline.
// The first failure stops it: what follows is dropped, and the caller learns the entry it failed on.
// Every folder it opens or makes stays open until Release, and each target is reached from the
// destination through those handles alone.
class TargetWriter {
 public:
  TargetWriter(const GzcFileOps* ops, const GzcThreadOps* threads, const char* dest, const Head& head,
               bool createFolders)
      : ops_(ops), folders_(ops), threads_(threads), dest_(dest), head_(head), createFolders_(createFolders) {}
  ~TargetWriter() {
    Finish(nullptr);
    Release();
  }
  TargetWriter(const TargetWriter&) = delete;
  TargetWriter& operator=(const TargetWriter&) = delete;

  // Entry `index` goes to list line `index` (checked; joined to the destination it fits).
  void Begin(uint32_t index) { Submit({Op::BEGIN, index, nullptr, 0}); }
  // Its next bytes (at most one block). False once the writer has failed.
  bool Put(const unsigned char* bytes, size_t n);
  void End() { Submit({Op::END, 0, nullptr, 0}); }
  bool Failed() const { return failed_; }
  // Waits until everything submitted is done. Returns the first failure and, in *index, its entry.
  GzcStatus Finish(uint32_t* index);
  // After Finish: deletes the files this writer created (not those it replaced) and the folders
  // it made, newest first, through the folders it holds.
  void Undo();
  // Closes every folder it holds.
  void Release();
  // The targets it wrote, in order: how many, and the list line of each.
  size_t WroteCount() const { return wrote_.size(); }
  uint32_t WroteLine(size_t i) const { return wrote_[i].line; }

 private:
  struct Op {
    enum Kind { BEGIN, DATA, END } kind;
    uint32_t index;
    unsigned char* data;
    size_t n;
  };
  struct Made {
    std::string parent, name;  // the folder above (relative, '\'), its name
  };
  struct Wrote {
    uint32_t line;
    bool created;  // no file was there before
  };
  static constexpr size_t kMaxBlocks = 256;
  static constexpr size_t kWakeOps = 32, kWakeBlocks = 16;

  bool Started();
  bool Enqueue(const Op& op);
  void Submit(const Op& op);
  void Inline(const Op& op) {
    Do(op);
    failed_ = status_ != GZC_OK;
  }
  void Do(const Op& op);
  void DoOp(const Op& op);
  void* Folder(const std::string& rel);
  void Fail(GzcStatus s) {
    if (status_ == GZC_OK) {
      status_ = s;
      failedAt_ = current_;
    }
  }
  static void RunThread(void* self) { static_cast<TargetWriter*>(self)->Run(); }
  void Run();
  void Lock() { threads_->lock(sync_); }
  void Unlock() { threads_->unlock(sync_); }
  void Wait() { threads_->wait(sync_); }
  void Notify() { threads_->notify(sync_); }

  const GzcFileOps* ops_;
  FolderAccess folders_;
  const GzcThreadOps* threads_;
  const char* dest_;
  const Head& head_;
  bool createFolders_;
  // The writing side's own (the caller reads them after Finish).
  void* root_ = nullptr;                 // the destination
  HeldFolders dirs_;                     // folders below it, by relative path
  std::vector<Made> made_;               // folders made, in order
  PodArray<Wrote> wrote_;                // targets created or replaced, in order
  void* out_ = nullptr;
  uint32_t current_ = 0;
  GzcStatus status_ = GZC_OK;
  uint32_t failedAt_ = 0;
  // Shared, under the lock.
  std::deque<Op> queue_;
  BlockPool pool_{kBufSize, kMaxBlocks};
  bool quit_ = false;
  bool writerWaits_ = false, callerWaits_ = false;
  std::atomic<bool> failed_{false};  // status_ != GZC_OK, for the reading side
  // The caller's own.
  bool tried_ = false;  // a thread was asked for
  void* sync_ = nullptr;
  void* thread_ = nullptr;
};

// The held folder at a relative path ("" = the destination), opening or making each missing step
// inside the one above it. Null when a step is not a real folder or cannot be made.
void* TargetWriter::Folder(const std::string& rel) {
  if (!root_) root_ = folders_.Open(nullptr, dest_);
  void* dir = root_;
  if (!dir || rel.empty()) return dir;
  if (void* known = dirs_.Find(rel)) return known;
  size_t start = 0;
  for (size_t i = 0; i <= rel.size(); ++i) {
    if (i < rel.size() && rel[i] != '\\') continue;
    std::string key = rel.substr(0, i);
    std::string name = rel.substr(start, i - start);
    if (void* held = dirs_.Find(key)) {
      dir = held;
    } else {
      void* sub = folders_.Open(dir, name);
      if (!sub && createFolders_ && (sub = folders_.Make(dir, name)) != nullptr)
        made_.push_back({start ? rel.substr(0, start - 1) : std::string(), name});
      if (!sub) return nullptr;
      dirs_.Put(key, sub);
      dir = sub;
    }
    start = i + 1;
  }
  return dir;
}

void TargetWriter::Do(const Op& op) {
  ALLOC_TRY {
    DoOp(op);
  } ALLOC_CATCH {
    Fail(GZC_ERR_NO_MEMORY);
  }
}

void TargetWriter::DoOp(const Op& op) {
  switch (op.kind) {
    case Op::BEGIN: {
      current_ = op.index;
      if (status_ != GZC_OK) return;
      std::string folder, name;
      SplitLine(head_.LineText(op.index), head_.lines[op.index].len, &folder, &name);
      void* dir = Folder(folder);
      bool created = false;
      out_ = dir ? folders_.Create(dir, name, &created) : nullptr;
      if (!out_) return Fail(GZC_ERR_TARGET);
      if (!wrote_.Append({op.index, created})) {
        // No room to remember it: undone now, while it is known.
        ops_->close(ops_->ctx, out_);
        out_ = nullptr;
        if (created) folders_.Remove(dir, name, false);
        return Fail(GZC_ERR_NO_MEMORY);
      }
      return;
    }
    case Op::DATA:
      if (out_ && status_ == GZC_OK && !ops_->write(ops_->ctx, out_, op.data, op.n)) Fail(GZC_ERR_TARGET);
      return;
    case Op::END:
      if (out_ && !ops_->close(ops_->ctx, out_)) Fail(GZC_ERR_TARGET);
      out_ = nullptr;
      return;
  }
}

void TargetWriter::Undo() {
  for (size_t i = wrote_.size(); i-- > 0;) {
    if (!wrote_[i].created) continue;
    std::string folder, name;
    SplitLine(head_.LineText(wrote_[i].line), head_.lines[wrote_[i].line].len, &folder, &name);
    void* dir = folder.empty() ? root_ : dirs_.Find(folder);
    if (dir) folders_.Remove(dir, name, false);
  }
  for (size_t i = made_.size(); i-- > 0;) {
    const Made& m = made_[i];
    std::string key = m.parent.empty() ? m.name : m.parent + "\\" + m.name;
    if (void* self = dirs_.Take(key)) folders_.Close(self);
    void* parent = m.parent.empty() ? root_ : dirs_.Find(m.parent);
    if (parent) folders_.Remove(parent, m.name, true);
  }
  made_.clear();
}

void TargetWriter::Release() {
  dirs_.Each([this](void* d) { folders_.Close(d); });
  dirs_.Clear();
  if (root_) folders_.Close(root_);
  root_ = nullptr;
}


// The thread starts with the first target, so that archives refused before it cost none.
bool TargetWriter::Started() {
  if (!tried_) {
    tried_ = true;
    if (threads_ && (sync_ = threads_->create()) != nullptr) {
      thread_ = threads_->start(RunThread, this);
      if (!thread_) {
        threads_->destroy(sync_);
        sync_ = nullptr;
      }
    }
  }
  return thread_ != nullptr;
}

// With the lock held. False when memory is short: the caller then goes on inline. Waking the
// thread is a call into the system (under Wine, a round trip to its server): a waiting writer is
// woken once a few operations are queued (or when the caller waits, or at the end).
bool TargetWriter::Enqueue(const Op& op) {
  ALLOC_TRY {
    queue_.push_back(op);
  } ALLOC_CATCH {
    return false;
  }
  if (writerWaits_ && queue_.size() >= kWakeOps) Notify();
  return true;
}

void TargetWriter::Submit(const Op& op) {
  if (!Started()) return Inline(op);
  Lock();
  bool queued = Enqueue(op);
  Unlock();
  if (queued) return;
  Finish(nullptr);  // what is queued is written first
  Inline(op);
}

bool TargetWriter::Put(const unsigned char* bytes, size_t n) {
  const Op data{Op::DATA, 0, const_cast<unsigned char*>(bytes), n};
  if (!Started()) {
    Inline(data);
    return !failed_;
  }
  Lock();
  while (!failed_ && pool_.AllOut()) {
    callerWaits_ = true;
    if (writerWaits_) Notify();
    Wait();
    callerWaits_ = false;
  }
  unsigned char* block = failed_ ? nullptr : pool_.Take();
  if (block) {
    std::memcpy(block, bytes, n);
    if (!Enqueue({Op::DATA, 0, block, n})) {
      pool_.Give(block);
      block = nullptr;
    }
  }
  if (failed_ || block) {
    Unlock();
    return !failed_;
  }
  // Out of memory for a block: once what is queued is written, the rest is written inline.
  Unlock();
  Finish(nullptr);
  Inline(data);
  return !failed_;
}

void TargetWriter::Run() {
  Lock();
  for (;;) {
    while (!quit_ && queue_.empty()) {
      writerWaits_ = true;
      Wait();
      writerWaits_ = false;
    }
    if (queue_.empty()) break;  // quit, and everything done
    Op op = queue_.front();
    queue_.pop_front();
    Unlock();
    Do(op);
    Lock();
    if (status_ != GZC_OK) failed_ = true;
    if (op.kind == Op::DATA) pool_.Give(op.data);
    // A caller that waits for blocks is woken once a few are free.
    if (callerWaits_ && (failed_ || queue_.empty() || pool_.FreeCount() >= kWakeBlocks)) Notify();
  }
  Unlock();
}

GzcStatus TargetWriter::Finish(uint32_t* index) {
  if (thread_) {
    QuitAndJoin(threads_, sync_, thread_, &quit_);
    thread_ = nullptr;
    threads_->destroy(sync_);
    sync_ = nullptr;
  }
  if (index) *index = failedAt_;
  return status_;
}

#ifdef GZC_SINGLE_THREAD
// ---- Members straight from the source -----------------------------------------------------------
// The installer engine, which has no read-ahead thread, reads each member where it stands: its
// stored length from its last four bytes first, then its data. The engine's file layer reads the
// source ahead in large blocks and seeks within them without a call, so a member passes through no
// scratch file and costs no system call of its own.
struct Member {
  const GzcFileOps* ops;
  void* file;
  uint32_t left;
  // Steps to the member of `len` (at least 4) bytes at `at` from the magic.
  GzcStatus Open(const GzcSource& src, uint64_t at, uint32_t len, Copied* entry) {
    unsigned char head[2], tail[4];
    left = len;
    if (!ops->seek(ops->ctx, file, src.offset + at + len - 4) || !ReadExact(ops, file, tail, 4) ||
        !ops->seek(ops->ctx, file, src.offset + at) || !ReadExact(ops, file, head, 2) ||
        !ops->seek(ops->ctx, file, src.offset + at))
      return GZC_ERR_TRUNCATED;
    entry->gzip = head[0] == 0x1f && head[1] == 0x8b;
    entry->isize = GetLE32(tail);
    return GZC_OK;
  }
  static size_t Read(void* self, unsigned char* buf, size_t n) {
    Member* m = static_cast<Member*>(self);
    const size_t got = m->ops->read(m->ops->ctx, m->file, buf, std::min<size_t>(n, m->left));
    m->left -= static_cast<uint32_t>(got);
    return got;
  }
};
#else
// ---- The source side of unpacking ---------------------------------------------------------------
// Reads the members' bytes, from the start of entry 1 to the archive's end, on a thread of its own
// into a ring of 1 MiB ahead of the inflating, so that neither waits for the other and no member
// passes through the scratch file. A member's stored length (its last four bytes) is taken from the
// ring, or, for a member longer than the ring, read by the thread from its place in the file. (The
// installer engine reads each member where it stands instead: Member, above.)
class ReadAhead {
 public:
  ReadAhead(const GzcFileOps* ops, const GzcThreadOps* threads, const GzcSource& src, uint64_t from, uint64_t end)
      : ops_(ops), threads_(threads), src_(src), written_(from), consumed_(from), end_(end) {}
  ~ReadAhead() {
    if (thread_) QuitAndJoin(threads_, sync_, thread_, &quit_);
    if (sync_) threads_->destroy(sync_);
  }
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // False when no ring or thread could be had: the caller reads through the scratch file.
  bool Start() {
    if (!threads_ || !ring_.Reserve(kRing) || (sync_ = threads_->create()) == nullptr) return false;
    thread_ = threads_->start(RunThread, this);
    return thread_ != nullptr;
  }
  // Begins the member that ends at `end` (the next one): its first bytes and stored length.
  GzcStatus Member(uint64_t end, Copied* entry) {
    memberEnd_ = end;
    unsigned char head[2], tail[4];
    if (!Peek(consumed_, head, 2)) return GZC_ERR_TRUNCATED;
    entry->gzip = head[0] == 0x1f && head[1] == 0x8b;
    if (!(end - consumed_ <= kRing ? Peek(end - 4, tail, 4) : FarTail(end - 4, tail))) return GZC_ERR_TRUNCATED;
    entry->isize = GetLE32(tail);
    return GZC_OK;
  }
  // The member's next bytes; 0 at its end (or when the file could not be read).
  size_t Read(unsigned char* buf, size_t n) {
    n = static_cast<size_t>(std::min<uint64_t>(n, memberEnd_ - consumed_));
    if (n == 0) return 0;
    Lock();
    while (written_ == consumed_ && !failed_) WaitForBytes();
    n = static_cast<size_t>(std::min<uint64_t>(n, written_ - consumed_));
    Unlock();
    CopyOut(consumed_, buf, n);
    Lock();
    consumed_ += n;
    if (readerWaits_ && !RoomWanted()) Notify();
    Unlock();
    return n;
  }
  // Steps to the member's end (bytes after its data); false when the file ends before.
  bool Finish(unsigned char* buf) {
    while (consumed_ < memberEnd_)
      if (Read(buf, kBufSize) == 0) return false;
    return true;
  }
  // The file could not be read to the archive's end.
  bool Failed() {
    Lock();
    const bool failed = failed_;
    Unlock();
    return failed;
  }
  static size_t ReadInput(void* self, unsigned char* buf, size_t n) { return static_cast<ReadAhead*>(self)->Read(buf, n); }

 private:
  static constexpr size_t kRing = 1u << 20;
  static constexpr size_t kChunk = 256u << 10;  // one read of the file

  void Lock() { threads_->lock(sync_); }
  void Unlock() { threads_->unlock(sync_); }
  void Wait() { threads_->wait(sync_); }
  void Notify() { threads_->notify(sync_); }
  // n bytes from stream offset `at`, which the ring holds.
  void CopyOut(uint64_t at, unsigned char* out, size_t n) {
    const size_t pos = static_cast<size_t>(at % kRing), first = std::min(n, kRing - pos);
    std::memcpy(out, ring_.data() + pos, first);
    std::memcpy(out + first, ring_.data(), n - first);
  }
  // Waking a thread is a call into the system (under Wine, a round trip to its server): the
  // reading thread waits until the ring has room for a whole read, unless the caller waits for
  // bytes (with the lock held).
  bool RoomWanted() const {
    return kRing - (written_ - consumed_) < std::min<uint64_t>(kChunk, end_ - written_) && !callerWaits_;
  }
  void WaitForBytes() {
    callerWaits_ = true;
    if (readerWaits_) Notify();
    Wait();
    callerWaits_ = false;
  }
  // n bytes at `at` (not before what is consumed, within the ring's reach) once they are read.
  bool Peek(uint64_t at, unsigned char* out, size_t n) {
    Lock();
    while (written_ < at + n && !failed_) WaitForBytes();
    const bool ok = written_ >= at + n;
    Unlock();
    if (ok) CopyOut(at, out, n);
    return ok;
  }
  // Four bytes beyond the ring's reach, read by the thread at their place in the file.
  bool FarTail(uint64_t at, unsigned char* out) {
    Lock();
    tailAt_ = at;
    tailWanted_ = true;
    Notify();
    while (tailWanted_ && !failed_) WaitForBytes();
    const bool ok = !tailWanted_;
    std::memcpy(out, tail_, 4);
    Unlock();
    return ok;
  }
  static void RunThread(void* self) { static_cast<ReadAhead*>(self)->Run(); }
  void Run() {
    Lock();
    while (!quit_ && !failed_) {
      if (tailWanted_) {
        const uint64_t back = written_;
        Unlock();
        const bool ok = ops_->seek(ops_->ctx, src_.file, src_.offset + tailAt_) &&
                        ReadExact(ops_, src_.file, tail_, 4) && ops_->seek(ops_->ctx, src_.file, src_.offset + back);
        Lock();
        if (ok) tailWanted_ = false;
        failed_ = !ok;
        Notify();
        continue;
      }
      const uint64_t room = kRing - (written_ - consumed_);
      if (room == 0 || written_ == end_ || RoomWanted()) {
        readerWaits_ = true;
        Wait();
        readerWaits_ = false;
        continue;
      }
      const size_t pos = static_cast<size_t>(written_ % kRing);
      const size_t n = static_cast<size_t>(std::min<uint64_t>(std::min<uint64_t>(room, kRing - pos), std::min<uint64_t>(kChunk, end_ - written_)));
      Unlock();
      const size_t got = ops_->read(ops_->ctx, src_.file, ring_.data() + pos, n);
      Lock();
      written_ += got;
      failed_ = got == 0;
      Notify();
    }
    Unlock();
  }

  const GzcFileOps* ops_;
  const GzcThreadOps* threads_;
  const GzcSource& src_;
  PodArray<unsigned char> ring_;
  void* sync_ = nullptr;
  void* thread_ = nullptr;
  // Stream offsets (from the archive's magic), under the lock: read into the ring up to here,
  // inflated up to here, the archive's end.
  uint64_t written_, consumed_, end_;
  uint64_t memberEnd_ = 0;  // the calling thread's own
  bool quit_ = false, failed_ = false;
  bool readerWaits_ = false, callerWaits_ = false;
  bool tailWanted_ = false;
  uint64_t tailAt_ = 0;
  unsigned char tail_[4] = {0, 0, 0, 0};
};
#endif

#ifndef GZC_SINGLE_THREAD
// The C++ standard threads behind the seam.
struct StdSync {
  std::mutex m;
  std::condition_variable_any cv;
};
void* StdStart(void (*run)(void*), void* arg) {
#if defined(__cpp_exceptions)
  try {
    return new std::thread(run, arg);
  } catch (...) {
    return nullptr;
  }
#else
  return new std::thread(run, arg);
#endif
}
void StdJoin(void* t) {
  auto* thread = static_cast<std::thread*>(t);
  thread->join();
  delete thread;
}
void* StdCreate() { return new (std::nothrow) StdSync; }
void StdDestroy(void* s) { delete static_cast<StdSync*>(s); }
void StdLock(void* s) { static_cast<StdSync*>(s)->m.lock(); }
void StdUnlock(void* s) { static_cast<StdSync*>(s)->m.unlock(); }
void StdWait(void* s) { static_cast<StdSync*>(s)->cv.wait(static_cast<StdSync*>(s)->m); }
void StdNotify(void* s) { static_cast<StdSync*>(s)->cv.notify_all(); }
const GzcThreadOps kStdThreads = {StdStart, StdJoin, StdCreate, StdDestroy, StdLock, StdUnlock, StdWait, StdNotify};
const GzcThreadOps* DefaultThreads() { return &kStdThreads; }
#else
const GzcThreadOps* DefaultThreads() { return nullptr; }
#endif

}  // namespace

// ---- Checksum ----------------------------------------------------------------------------------
uint32_t crc32(unsigned char byte, bool query) {
  if (!query) crc = (crc + byte) % GZC_SUM_MODULUS;
  return static_cast<uint32_t>(crc);
}

void crc32Block(const unsigned char* bytes, size_t n) {
  // The sum of a block fits in 64 bits; reducing once per block gives the same value as per byte.
  while (n) {
    size_t chunk = std::min<size_t>(n, size_t(1) << 24);
    uint64_t acc = crc;
    for (size_t i = 0; i < chunk; ++i) acc += bytes[i];
    crc = acc % GZC_SUM_MODULUS;
    bytes += chunk;
    n -= chunk;
  }
}

void crc32Reset() { crc = 0; }

// ---- Paths -------------------------------------------------------------------------------------
char* CutDirectory(char* path, const char* folder) {
  size_t n = std::strlen(folder);
  if (n == 0 || std::strlen(path) <= n) return path;
  for (size_t i = 0; i < n; ++i) {
    char a = path[i], b = folder[i];
#ifdef _WIN32
    // Windows paths are compared without regard to case.
    a = static_cast<char>(std::tolower(static_cast<unsigned char>(a)));
    b = static_cast<char>(std::tolower(static_cast<unsigned char>(b)));
#endif
    if (IsSep(a) && IsSep(b)) continue;
    if (a != b) return path;
  }
  size_t cut;
  if (IsSep(folder[n - 1]))
    cut = n;
  else if (IsSep(path[n]))
    cut = n + 1;
  else
    return path;  // C:\Prog is not the folder of C:\Program\x
  std::memmove(path, path + cut, std::strlen(path + cut) + 1);
  return path;
}

bool GzcSafeListLine(const char* line, size_t len, bool utf8) {
  if (len == 0 || (utf8 ? !GzcValidUtf8(line, len) || GzcUtf16Units(line, len) > GZC_PATH_MAX : len > GZC_PATH_MAX))
    return false;
  if (IsSep(line[0])) return false;  // root-relative, and every UNC path
  size_t start = 0;
  for (size_t i = 0; i <= len; ++i) {
    if (i < len) {
      unsigned char c = static_cast<unsigned char>(line[i]);
      if (c < 0x20 || c == ':') return false;  // control bytes; drives and alternate streams
      if (!IsSep(line[i])) continue;
    }
    const char* comp = line + start;
    size_t clen = i - start;
    if (clen == 0) return false;
    // ".", ".." and names Windows trims to them ("...", ". .").
    bool dotsOnly = true;
    for (size_t j = 0; j < clen; ++j)
      if (comp[j] != '.' && comp[j] != ' ') dotsOnly = false;
    if (dotsOnly) return false;
    if (IsDeviceName(comp, clen)) return false;
    start = i + 1;
  }
  return true;
}

bool dircat(std::string* out, const char* folder, const char* line, size_t len, bool utf8) {
  if (!GzcSafeListLine(line, len, utf8)) return false;
  size_t folderLen = std::strlen(folder);
  if ((utf8 ? GzcUtf16Units(folder, folderLen) + 1 + GzcUtf16Units(line, len) : folderLen + 1 + len) > GZC_PATH_MAX)
    return false;
  std::string path;
  path.reserve(folderLen + 1 + len);
  path.append(folder, folderLen);
  path += GZC_SEP;
  for (size_t i = 0; i < len; ++i) path += IsSep(line[i]) ? GZC_SEP : line[i];
  *out = std::move(path);
  return true;
}

// ---- Names across code pages ----------------------------------------------------------------------
namespace {
// Unicode of the bytes 0x80..0xFF of code page 1250.
const unsigned short kCp1250High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021, 0x0088, 0x2030, 0x0160, 0x2039, 0x015A,
    0x0164, 0x017D, 0x0179, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, 0x0098, 0x2122,
    0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A, 0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6,
    0x00A7, 0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B, 0x00B0, 0x00B1, 0x02DB, 0x0142,
    0x00B4, 0x00B5, 0x00B6, 0x00B7, 0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C, 0x0154,
    0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7, 0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD,
    0x00CE, 0x010E, 0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7, 0x0158, 0x016E, 0x00DA,
    0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF, 0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F, 0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4,
    0x0151, 0x00F6, 0x00F7, 0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};
}  // namespace

unsigned GzcCp1250Char(unsigned char byte) { return byte < 0x80 ? byte : kCp1250High[byte - 0x80]; }


void GzcPutUtf8(unsigned cp, std::string* out) {
  char buf[4];
  out->append(buf, EncodeUtf8(cp, buf));
}

std::string GzcCp1250ToUtf8(const char* text, size_t len) {
  std::string out;
  out.reserve(len);
  for (size_t i = 0; i < len; ++i) GzcPutUtf8(GzcCp1250Char(static_cast<unsigned char>(text[i])), &out);
  return out;
}

bool GzcNextUtf8(const char* text, size_t len, size_t* at, unsigned* cp) {
  static const unsigned kMin[4] = {0, 0x80, 0x800, 0x10000};
  size_t i = *at;
  unsigned char c = static_cast<unsigned char>(text[i]);
  int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
  if (more < 0 || i + more >= len) return false;
  unsigned v = more == 0 ? c : more == 1 ? (c & 0x1Fu) : more == 2 ? (c & 0x0Fu) : (c & 0x07u);
  for (int k = 1; k <= more; ++k) {
    unsigned char d = static_cast<unsigned char>(text[i + k]);
    if ((d >> 6) != 2) return false;
    v = v << 6 | (d & 0x3Fu);
  }
  if (v < kMin[more] || v > 0x10FFFF || (v >= 0xD800 && v < 0xE000)) return false;
  *cp = v;
  *at = i + more + 1;
  return true;
}

bool GzcValidUtf8(const char* text, size_t len) {
  unsigned cp;
  for (size_t i = 0; i < len;)
    if (!GzcNextUtf8(text, len, &i, &cp)) return false;
  return true;
}

std::string GzcShownName(const std::string& name) {
  std::string out;
  unsigned cp;
  for (size_t i = 0; i < name.size();) {
    size_t at = i;
    if (GzcNextUtf8(name.data(), name.size(), &i, &cp)) {
      out.append(name, at, i - at);
      continue;
    }
    static const char kHex[] = "0123456789ABCDEF";
    unsigned char c = static_cast<unsigned char>(name[i++]);
    out += "\\x";
    out += kHex[c >> 4];
    out += kHex[c & 15];
  }
  return out;
}

size_t GzcUtf16Units(const char* text, size_t len) {
  size_t units = 0;
  for (size_t i = 0; i < len; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if ((c & 0xC0) != 0x80) units += c >= 0xF0 ? 2 : 1;
  }
  return units;
}

bool GzcForbiddenName(const char* name, size_t len) {
  if (len == 0 || name[len - 1] == '.' || name[len - 1] == ' ') return true;  // also "." and ".."
  for (size_t i = 0; i < len; ++i) {
    unsigned char c = static_cast<unsigned char>(name[i]);
    if (c < 0x20 || std::strchr("<>:\"/\\|?*", c)) return true;
  }
  return IsDeviceName(name, len);
}

// ---- Public operations ---------------------------------------------------------------------------
const char* GzcStatusText(GzcStatus status) {
  switch (status) {
    case GZC_OK: return "ok";
    case GZC_ERR_LIST_FILE: return "cannot create the list file";
    case GZC_ERR_ARCHIVE: return "cannot create the archive";
    case GZC_ERR_TEMP: return "cannot write or read the temporary member file";
    case GZC_ERR_WRITE: return "write to the archive failed";
    case GZC_ERR_TOO_LARGE: return "a file or the archive would reach 4 GiB, or the files pass their bound";
    case GZC_ERR_NO_MEMORY: return "out of memory";
    case GZC_CANCELLED: return "packing cancelled";
    case GZC_ERR_READ: return "cannot read the archive";
    case GZC_ERR_MAGIC: return "not a GZC archive";
    case GZC_ERR_TRUNCATED: return "archive truncated";
    case GZC_ERR_COUNT: return "impossible entry count";
    case GZC_ERR_TABLE: return "damaged offset table";
    case GZC_ERR_LIST: return "damaged file list";
    case GZC_ERR_PATH: return "unsafe or too long path in the file list";
    case GZC_ERR_TARGET: return "cannot create or write a file in the destination";
    case GZC_ERR_SHORT: return "a member holds fewer bytes than its stored length";
    case GZC_ERR_CHECKSUM: return "checksum mismatch";
    case GZC_ERR_MEMBER: return "damaged member";
    case GZC_ERR_CANCELLED_ARCHIVE: return "archive of a cancelled packing";
    case GZC_ERR_NOT_INSTALLER: return "no installer data found";
    case GZC_ERR_LIST_SIZE: return "file list too large (more than 16 MiB)";
    case GZC_ERR_SOURCE: return "a file to pack cannot be read";
    case GZC_ERR_NAME: return "a name no archive can carry";
    case GZC_ERR_KIND: return "archive of an unknown kind";
    case GZC_ERR_STREAM: return "damaged solid stream";
    case GZC_ERR_FILE_CRC: return "a file does not match its CRC-32";
  }
  return "unknown error";
}

// Reads the whole archive as GzcVerify (strict) or as the unpacking does, writing nothing; the
// files' stored lengths together must stay within maxTotal (0: any).
static GzcStatus CheckAll(const GzcSource& src, const char* gzTmp, bool strict, uint64_t maxTotal = 0);

namespace {
// Whether the folder holds folders at most, all the way down (false also when it cannot be
// searched, holds a link or device, or more folders than are worth a look: a search that reports
// a linked folder as a folder may go round in circles): then an unpacking into it can replace no
// file.
bool NoFileBelow(const GzcFileOps* ops, const char* dest) {
  constexpr size_t kMostFolders = 4096;
  struct Walk {
    const GzcFileOps* ops;
    std::vector<std::string> todo;
    std::string at;
    bool file;
  } w{ops, {dest}, std::string(), false};
  for (size_t seen = 0; !w.file && !w.todo.empty(); ++seen) {
    if (seen == kMostFolders) return false;
    w.at = w.todo.back();
    w.todo.pop_back();
    if (!w.at.empty() && w.at.back() != GZC_SEP) w.at += GZC_SEP;
    const auto onEntry = [](void* cookie, const char* name, GzcKind kind) {
      Walk* x = static_cast<Walk*>(cookie);
      const std::string path = x->at + name;
      if (kind == GZC_KIND_NONE) kind = x->ops->kind(x->ops->ctx, path.c_str());
      if (kind == GZC_KIND_DIR)
        x->todo.push_back(path);
      else
        x->file = true;
    };
    if (!ops->listDir || !ops->listDir(ops->ctx, w.at.c_str(), onEntry, &w)) return false;
  }
  return !w.file;
}

// Adds a file's stored length to the running total; false once it passes the bound (0: none).
bool WithinBound(uint64_t* total, uint32_t isize, uint64_t maxTotal) {
  *total += isize;
  return maxTotal == 0 || *total <= maxTotal;
}
}  // namespace

GzcStatus GzcReadTable(const GzcSource& src, uint32_t* storedChecksum, std::vector<uint32_t>* table,
                       uint32_t* length, uint32_t* kind) {
  PodArray<uint32_t> words;
  uint32_t flags = 0;
  GzcStatus status = ReadTableInto(src, storedChecksum, table ? &words : nullptr, length, &flags);
  if (kind) *kind = (flags & GZC_ARCHIVE_KIND_MASK) >> GZC_ARCHIVE_KIND_SHIFT;
  if (status != GZC_OK || !table) return status;
  ALLOC_TRY {
    table->assign(words.data(), words.data() + words.size());
  } ALLOC_CATCH {
    return GZC_ERR_NO_MEMORY;
  }
  return GZC_OK;
}

GzcStatus GzcUnpack(const GzcUnpackJob& job, const GzcSource& src, std::vector<std::string>* written) {
  const GzcFileOps* ops = OpsOr(job.files);
  const GzcFileOps* in = OpsOr(src.files);
  // Verify first, write second: a damaged archive must not replace a file and then be found out.
  // The check reads the members as the writing will (the archive's sum, the stored lengths). Where
  // there is nothing to replace and no bound to hold before writing, a damage found on the way is
  // undone like a failed write, so the archive is read and inflated once.
  const bool onePass = job.verified || (job.maxTotal == 0 && NoFileBelow(ops, job.dest));
  if (!onePass) {
    GzcStatus checked = CheckAll(src, job.gzTmp, false, job.maxTotal);
    if (checked != GZC_OK) return checked;
    if (!in->seek(in->ctx, src.file, src.offset)) return GZC_ERR_READ;
  }
  Reading r(job.gzTmp);
  GzcStatus status = r.Start(src, job.verified);
  if (status != GZC_OK) return status;
  const Head& head = r.head;

  // Every target must fit joined to the destination before the first one is written.
  const size_t destLen = std::strlen(job.dest);
  const size_t destUnits = head.utf8 ? GzcUtf16Units(job.dest, destLen) : destLen;
  for (size_t i = 0; i < head.lines.size(); ++i) {
    const size_t len = head.lines[i].len;
    if (destUnits + 1 + (head.utf8 ? GzcUtf16Units(head.LineText(i), len) : len) > GZC_PATH_MAX) return GZC_ERR_PATH;
  }

  // The files are written behind the reading (see TargetWriter). Of two failures the one of the
  // earlier entry counts, and on one entry the writing side's: it would have come first.
  TargetWriter writer(ops, job.threads ? job.threads : DefaultThreads(), job.dest, head, job.createFolders);
  uint32_t failedAt = 0;
  uint64_t total = 0;
#ifndef GZC_NO_LZMA
  if (head.kind == GZC_ARCHIVE_LZMA) {
    GzcSolid solid;
    status = solid.Open(src, head.t.data(), static_cast<uint32_t>(head.t.size() - 1), job.maxTotal);
    struct Ctx {
      TargetWriter* w;
      uint32_t* at;
      bool open;  // a target begun and not yet ended
    } ctx{&writer, &failedAt, false};
    const GzcSolid::Sink sink{
        [](void* c, uint32_t i) {
          Ctx* x = static_cast<Ctx*>(c);
          *x->at = i;
          x->w->Begin(i);
          x->open = true;
          return !x->w->Failed();
        },
        [](void* c, const unsigned char* bytes, size_t n) { return static_cast<Ctx*>(c)->w->Put(bytes, n); },
        [](void* c, uint32_t) {
          Ctx* x = static_cast<Ctx*>(c);
          x->w->End();
          x->open = false;
          return !x->w->Failed();
        },
        &ctx};
    if (status == GZC_OK) status = solid.Decode(src, &sink);
    if (ctx.open) writer.End();  // a file cut short by a failure is closed, so that it can go
    if (status == GZC_ERR_TARGET) status = GZC_OK;  // the writer's own failure counts below
  }
#endif
#ifndef GZC_SINGLE_THREAD
  ReadAhead ahead(in, job.threads ? job.threads : DefaultThreads(), src, head.t[1], head.t[head.t.size() - 1]);
  const bool reading = head.kind == GZC_ARCHIVE_GZIP && head.lines.size() != 0 && ahead.Start();
#endif
  for (size_t i = 0; head.kind == GZC_ARCHIVE_GZIP && i < head.lines.size() && status == GZC_OK && !writer.Failed(); ++i) {
    failedAt = static_cast<uint32_t>(i);
    Copied entry;
#ifdef GZC_SINGLE_THREAD
    Member member{in, src.file, 0};
    status = member.Open(src, head.t[i + 1], head.t[i + 2] - head.t[i + 1], &entry);
#else
    status = reading ? ahead.Member(head.t[i + 2], &entry) : r.Copy(src, i, &entry);
#endif
    if (status == GZC_OK && !WithinBound(&total, entry.isize, job.maxTotal)) status = GZC_ERR_TOO_LARGE;
    if (status != GZC_OK) break;
    writer.Begin(static_cast<uint32_t>(i));
    Sink sink{[](void* w, const unsigned char* bytes, size_t n) { return static_cast<TargetWriter*>(w)->Put(bytes, n); },
              &writer};
#ifdef GZC_SINGLE_THREAD
    status = Inflate(Input{Member::Read, &member}, entry, &sink, job.verified, r.buf.data());
#else
    if (reading) {
      status = Inflate(Input{ReadAhead::ReadInput, &ahead}, entry, &sink, job.verified, r.buf.data());
      // A member cut short by the file's end is the file's fault, as when it is copied out whole.
      if (status == GZC_OK ? !ahead.Finish(r.buf.data()) : ahead.Failed()) status = GZC_ERR_TRUNCATED;
    } else {
      status = dekompresjagz(r.tmp, entry, &sink, job.verified, r.buf.data());
    }
#endif
    writer.End();
  }
  uint32_t writerFailedAt = 0;
  GzcStatus writerStatus = writer.Finish(&writerFailedAt);
  if (writerStatus != GZC_OK && (status == GZC_OK || writerFailedAt <= failedAt)) status = writerStatus;
  if (status == GZC_OK && crc32(0, true) != head.stored) status = GZC_ERR_CHECKSUM;
  if (status != GZC_OK) {
    // Only what this call created goes; files that were there before stay.
    writer.Undo();
  } else if (written) {
    ALLOC_TRY {
      written->clear();
      for (size_t i = 0; i < writer.WroteCount(); ++i) {
        const uint32_t line = writer.WroteLine(i);
        std::string path;
        dircat(&path, job.dest, head.LineText(line), head.lines[line].len, head.utf8);
        written->push_back(std::move(path));
      }
    } ALLOC_CATCH {
      written->clear();
    }
  }
  writer.Release();
  return status;
}

GzcStatus GzcList(const GzcSource& src, const char* gzTmp, std::vector<GzcEntry>* entries) {
  const GzcFileOps* ops = OpsOr(src.files);
  Reading r(gzTmp);
  GzcStatus status = r.Start(src, false);
  if (status != GZC_OK) return status;
  const Head& head = r.head;
  unsigned char* buf = r.buf.data();
  entries->clear();
  for (size_t i = 0; i < head.lines.size(); ++i) {
    unsigned char tail[4] = {0, 0, 0, 0};
    for (uint32_t left = head.t[i + 2] - head.t[i + 1]; left;) {
      size_t chunk = std::min<size_t>(left, kBufSize);
      if (!ReadExact(ops, src.file, buf, chunk)) return GZC_ERR_TRUNCATED;
      if (chunk >= 4) {
        std::memcpy(tail, buf + chunk - 4, 4);
      } else {
        std::memmove(tail, tail + chunk, 4 - chunk);
        std::memcpy(tail + 4 - chunk, buf, chunk);
      }
      left -= static_cast<uint32_t>(chunk);
    }
    ALLOC_TRY {
      entries->push_back({std::string(head.LineText(i), head.lines[i].len), GetLE32(tail)});
    } ALLOC_CATCH {
      entries->clear();
      return GZC_ERR_NO_MEMORY;
    }
  }
  return GZC_OK;
}

GzcStatus GzcVerify(const GzcSource& src, const char* gzTmp) { return CheckAll(src, gzTmp, true); }

static GzcStatus CheckAll(const GzcSource& src, const char* gzTmp, bool strict, uint64_t maxTotal) {
  Reading r(gzTmp);
  GzcStatus status = r.Start(src, strict);
  if (status != GZC_OK) return status;
  uint64_t total = 0;
#ifndef GZC_NO_LZMA
  if (r.head.kind == GZC_ARCHIVE_LZMA) {
    GzcSolid solid;
    status = solid.Open(src, r.head.t.data(), static_cast<uint32_t>(r.head.t.size() - 1), maxTotal);
    if (status == GZC_OK) status = solid.Decode(src, nullptr);
    if (status != GZC_OK) return status;
  }
#endif
  for (size_t i = 0; r.head.kind == GZC_ARCHIVE_GZIP && i < r.head.lines.size(); ++i) {
    Copied entry;
    status = r.Copy(src, i, &entry);
    if (status == GZC_OK && !WithinBound(&total, entry.isize, maxTotal)) status = GZC_ERR_TOO_LARGE;
    if (status == GZC_OK) status = dekompresjagz(r.tmp, entry, nullptr, strict, r.buf.data());
    if (status != GZC_OK) return status;
  }
  return crc32(0, true) == r.head.stored ? GZC_OK : GZC_ERR_CHECKSUM;
}

GzcStatus GzcReadAll(const GzcSource& src, const char* gzTmp, uint64_t maxTotal, std::vector<GzcMemFile>* files) {
  files->clear();
  Reading r(gzTmp);
  GzcStatus status = r.Start(src, true);
  if (status != GZC_OK) return status;
  const Head& head = r.head;
  uint64_t total = head.text.size();
  if (total > maxTotal) return GZC_ERR_TOO_LARGE;
#ifndef GZC_NO_LZMA
  if (head.kind == GZC_ARCHIVE_LZMA) {
    GzcSolid solid;
    status = solid.Open(src, head.t.data(), static_cast<uint32_t>(head.t.size() - 1), 0);
    if (status == GZC_OK && solid.Total() > maxTotal - total) status = GZC_ERR_TOO_LARGE;
    if (status != GZC_OK) return status;
    ALLOC_TRY {
      for (uint32_t i = 0; i < solid.Files(); ++i) {
        files->push_back({std::string(head.LineText(i), head.lines[i].len), std::string()});
        files->back().data.reserve(solid.Size(i));
      }
    } ALLOC_CATCH {
      files->clear();
      return GZC_ERR_NO_MEMORY;
    }
    struct Ctx {
      std::vector<GzcMemFile>* files;
      uint32_t at;
    } ctx{files, 0};
    const GzcSolid::Sink sink{
        [](void* c, uint32_t i) { return static_cast<Ctx*>(c)->at = i, true; },
        [](void* c, const unsigned char* bytes, size_t n) {
          auto* x = static_cast<Ctx*>(c);
          (*x->files)[x->at].data.append(reinterpret_cast<const char*>(bytes), n);
          return true;
        },
        [](void*, uint32_t) { return true; },
        &ctx};
    status = solid.Decode(src, &sink);
    if (status != GZC_OK) return status;
  }
#endif
  for (size_t i = 0; head.kind == GZC_ARCHIVE_GZIP && i < head.lines.size(); ++i) {
    Copied entry;
    status = r.Copy(src, i, &entry);
    if (status != GZC_OK) return status;
    total += entry.isize;
    if (total > maxTotal) return GZC_ERR_TOO_LARGE;
    ALLOC_TRY {
      files->push_back({std::string(head.LineText(i), head.lines[i].len), std::string()});
      files->back().data.reserve(entry.isize);
    } ALLOC_CATCH {
      files->clear();
      return GZC_ERR_NO_MEMORY;
    }
    Sink sink{PutString, &files->back().data};
    status = dekompresjagz(r.tmp, entry, &sink, true, r.buf.data());
    if (status != GZC_OK) return status;
  }
  return crc32(0, true) == head.stored ? GZC_OK : GZC_ERR_CHECKSUM;
}

GzcStatus GzcCheckBytes(const GzcFileOps* files, void* file, uint64_t offset, uint64_t length, uint32_t stored) {
  const GzcFileOps* ops = OpsOr(files);
  PodArray<unsigned char> buf;
  if (!buf.Reserve(kBufSize)) return GZC_ERR_NO_MEMORY;
  if (!ops->seek(ops->ctx, file, offset)) return GZC_ERR_READ;
  uLong sum = crc32(0L, Z_NULL, 0);
  while (length) {
    size_t got = ops->read(ops->ctx, file, buf.data(), static_cast<size_t>(std::min<uint64_t>(length, kBufSize)));
    if (got == 0) return GZC_ERR_TRUNCATED;
    sum = crc32(sum, buf.data(), static_cast<uInt>(got));
    length -= got;
  }
  return sum == stored ? GZC_OK : GZC_ERR_CHECKSUM;
}

bool GzcEndsInstallerData(const GzcFileOps* ops, void* file, uint64_t end, uint64_t dataEnd, bool signedFile) {
  if (end == dataEnd) return true;
  if (!signedFile || end > dataEnd || dataEnd - end >= PE_CERT_ALIGN) return false;
  unsigned char pad[PE_CERT_ALIGN];
  const size_t n = (size_t)(dataEnd - end);
  if (!ops->seek(ops->ctx, file, end) || ops->read(ops->ctx, file, pad, n) != n) return false;
  for (size_t i = 0; i < n; ++i)
    if (pad[i] != 0) return false;
  return true;
}

GzcStatus GzcFindInstaller(const GzcFileOps* files, void* file, uint64_t size, GzcInstallerLayout* layout) {
  const GzcFileOps* ops = OpsOr(files);
  if (!ops->seek(ops->ctx, file, 0)) return GZC_ERR_READ;
  // A signed installer ends with the certificate table its signature appended, after zeros that
  // align it: the archives chain to that table, and nothing in it is looked at.
  uint64_t dataEnd = size;
  bool signedFile = false;
  {
    unsigned char head[PE_HEAD_MAX];
    size_t n = ops->read(ops->ctx, file, head, (size_t)std::min<uint64_t>(size, sizeof head));
    if (PeImageEnd(head, n) != 0) {
      dataEnd = PeDataEnd(head, n, size);
      if (dataEnd == 0) return GZC_ERR_NOT_INSTALLER;
      signedFile = dataEnd < size;
    }
    if (!ops->seek(ops->ctx, file, 0)) return GZC_ERR_READ;
  }
  // One pass finds every "rc.bin" and every archive whose header and offset table hold (as
  // GzcReadTable checks them). Tables are checked as the pass goes by them: a step from one word to
  // the next that no table may make is remembered for its word alignment, so a candidate costs the
  // same whatever its table's length, and the search stays linear in the file's size however many
  // tables overlap.
  struct Pending {
    uint64_t lastStep;  // offset of t[N - 1]; the table holds when no bad step lies from t[0] to here
    uint64_t start;
    bool operator>(const Pending& o) const { return lastStep > o.lastStep; }
  };
  std::priority_queue<Pending, std::vector<Pending>, std::greater<Pending>> pending;
  std::vector<uint64_t> markers;
  std::vector<std::pair<uint64_t, uint32_t>> found;  // start, length
  const uint64_t kNone = UINT64_MAX;
  uint64_t lastBad[4] = {kNone, kNone, kNone, kNone};
  constexpr size_t kWindow = GZC_HEADER_SIZE + 4;  // bytes looked at from one position
  std::vector<unsigned char> buf(kBufSize + kWindow);
  size_t carry = 0;
  uint64_t base = 0;  // file offset of buf[0]
  for (bool end = false; !end;) {
    size_t got = base + carry >= dataEnd ? 0
                 : ops->read(ops->ctx, file, buf.data() + carry, (size_t)std::min<uint64_t>(kBufSize, dataEnd - base - carry));
    end = got == 0;
    const size_t have = carry + got;
    size_t i = 0;
    for (; i < have && (end || i + kWindow <= have); ++i) {
      const uint64_t at = base + i;
      const unsigned char* p = buf.data() + i;
      const size_t left = have - i;
      if (left >= kRcMarkerLength && std::memcmp(p, kRcMarker, kRcMarkerLength) == 0) markers.push_back(at);
      if (left >= 8) {
        const uint32_t w0 = GetLE32(p), w1 = GetLE32(p + 4);
        if (w1 < w0 || w1 - w0 < 4) lastBad[at & 3] = at;
        while (!pending.empty() && pending.top().lastStep == at) {
          const Pending c = pending.top();
          pending.pop();
          const uint64_t bad = lastBad[(c.start + GZC_HEADER_SIZE) & 3];
          if ((bad == kNone || bad < c.start + GZC_HEADER_SIZE) && w1 <= dataEnd - c.start) found.push_back({c.start, w1});
        }
      }
      if (left >= kWindow && std::memcmp(p, header_, 3) == 0) {
        const uint32_t n = GetLE32(p + 11), t0 = GetLE32(p + GZC_HEADER_SIZE);
        if (n != 0 && n != 0xFFFFFFFFu && GZC_HEADER_SIZE + 4 * (uint64_t(n) + 1) <= dataEnd - at &&
            t0 == 19 + 4 * uint64_t(n))
          pending.push({at + 11 + 4 * uint64_t(n), at});
      }
    }
    carry = have - i;
    std::memmove(buf.data(), buf.data() + i, carry);
    base += i;
  }

  std::sort(found.begin(), found.end());
  // (end, start, length), in the order of the ends: a sorted vector, as the archive module keeps no
  // std::map (its tree code would stay in the installer engine through the link-time optimisation).
  std::vector<std::tuple<uint64_t, uint64_t, uint32_t>> byEnd;
  for (const auto& a : found) byEnd.emplace_back(a.first + a.second, a.first, a.second);
  std::sort(byEnd.begin(), byEnd.end());
  for (const auto& bin : found) {
    if (!GzcEndsInstallerData(ops, file, bin.first + bin.second, dataEnd, signedFile)) continue;
    auto at = std::lower_bound(byEnd.begin(), byEnd.end(), std::make_tuple(bin.first, uint64_t(0), uint32_t(0)));
    for (; at != byEnd.end() && std::get<0>(*at) == bin.first; ++at) {
      const std::pair<uint64_t, uint32_t> cfg{std::get<1>(*at), std::get<2>(*at)};
      if (cfg.first < kRcMarkerLength) continue;
      auto after = std::upper_bound(markers.begin(), markers.end(), cfg.first - kRcMarkerLength);
      if (after == markers.begin()) continue;
      layout->marker = *(after - 1);
      // The checksums, unless the language data's header follows the marker at once (an older build).
      unsigned char sums[kRcSumsLength];
      const uint64_t at = layout->marker + kRcMarkerLength;
      layout->sums = at + kRcSumsLength <= cfg.first && ops->seek(ops->ctx, file, at) &&
                     ops->read(ops->ctx, file, sums, kRcSumsLength) == kRcSumsLength && std::memcmp(sums, "PRLANG ", 7) != 0;
      if (layout->sums) {
        layout->cfgSum = GetLE32(sums);
        layout->binSum = GetLE32(sums + 4);
      }
      layout->cfgOffset = cfg.first;
      layout->cfgLength = cfg.second;
      layout->binOffset = bin.first;
      layout->binLength = bin.second;
      return GZC_OK;
    }
  }
  return GZC_ERR_NOT_INSTALLER;
}
