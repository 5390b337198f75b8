// GZC archive module: the list writer and walk, packing, unpacking, listing, verifying, the checksum.
#include "build/gzcformat.h"
#include "build/alloccheck.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstring>
#include <map>
#include <new>
#include <set>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <share.h>
#include <sys/stat.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

// Each member is completed with gzflush(Z_FINISH), which ends one gzip member and lets the next
// gzwrite start a new one in zlib's newer gzip-file code.
#if ZLIB_VERNUM < 0x1240
#error "zlib 1.2.4 or later is needed"
#endif

namespace {

// "GZC" and the checksum placeholder: the first 7 bytes of every archive.
const unsigned char header_[7] = {'G', 'Z', 'C', 0, 0, 0, 0};
const char kMarker[] = "rc.bin";

// Files move through one buffer per operation; the per-byte points run over it.
constexpr size_t kBufSize = 64 * 1024;
// zlib's own buffer for gz.tmp, sized to the data: its default of 8 KiB costs many system calls on
// large files, while a large buffer per small file costs fresh memory pages every time.
unsigned GzBufferFor(uint64_t bytes) {
  return static_cast<unsigned>(std::min<uint64_t>(std::max<uint64_t>(bytes, 8 * 1024), 128 * 1024));
}

// zlib's buffer for the pack's one gzip writer: large files then cost few system calls, and it is
// allocated once per pack, not per file.
constexpr unsigned kWriterBuffer = 128 * 1024;

// ---- The scratch member file gz.tmp ------------------------------------------------------------
// gz.tmp is opened once per pack or unpack and every member passes through it from offset 0: under
// Wine each open of a file costs about as much as compressing a small one. zlib works on duplicates
// of its descriptor (gzclose closes the one it was given); duplicates share the file position, so
// what zlib writes lands where this file was positioned.
class ScratchFile {
 public:
  explicit ScratchFile(const char* path) : path_(path) {}
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;
  ~ScratchFile() { Close(); }

  // Creates or truncates the file on first use; later calls only say whether it is open.
  bool Open() {
    if (fd_ >= 0) return true;
#ifdef _WIN32
    // Exclusive, as the program opens its files.
    fd_ = _sopen(path_, _O_RDWR | _O_CREAT | _O_TRUNC | _O_BINARY, _SH_DENYRW, _S_IREAD | _S_IWRITE);
#else
    fd_ = ::open(path_, O_RDWR | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
#endif
    return fd_ >= 0;
  }

  bool Seek(uint64_t pos) {
#ifdef _WIN32
    return _lseeki64(fd_, static_cast<__int64>(pos), SEEK_SET) == static_cast<__int64>(pos);
#else
    return ::lseek(fd_, static_cast<off_t>(pos), SEEK_SET) == static_cast<off_t>(pos);
#endif
  }

  bool Tell(uint64_t* pos) {
#ifdef _WIN32
    __int64 at = _lseeki64(fd_, 0, SEEK_CUR);
#else
    off_t at = ::lseek(fd_, 0, SEEK_CUR);
#endif
    if (at < 0) return false;
    *pos = static_cast<uint64_t>(at);
    return true;
  }

  // Up to n bytes at the position; 0 at the end or on an error.
  size_t Read(void* buf, size_t n) {
#ifdef _WIN32
    int got = _read(fd_, buf, static_cast<unsigned>(n));
#else
    ssize_t got = ::read(fd_, buf, n);
#endif
    return got > 0 ? static_cast<size_t>(got) : 0;
  }

  bool Write(const void* buf, size_t n) {
    const char* p = static_cast<const char*>(buf);
    while (n) {
#ifdef _WIN32
      int put = _write(fd_, p, static_cast<unsigned>(n));
#else
      ssize_t put = ::write(fd_, p, n);
#endif
      if (put <= 0) return false;
      p += put;
      n -= static_cast<size_t>(put);
    }
    return true;
  }

  // Records that the file holds one member of `len` bytes from offset 0. With `alone`, whatever
  // lies behind it (left by a longer member before) is cut off at once, so that zlib reading the
  // file sees this member alone; otherwise that waits for Close.
  bool Holds(uint64_t len, bool alone) {
    last_ = len;
    if (!alone) {
      extent_ = std::max(extent_, len);
      return true;
    }
    bool ok = extent_ <= len || Truncate(len);
    extent_ = len;
    return ok;
  }

  // The pack's gzip writer with the compression mode, made on first use (one per pack).
  gzFile Writer(const char* mode) {
    if (!writer_) {
      writer_ = GzOn(mode);
      if (writer_) gzbuffer(writer_, kWriterBuffer);
    }
    return writer_;
  }

  // A gzip reader or writer of its own on a duplicate of the descriptor; null on failure.
  gzFile GzOn(const char* mode) {
#ifdef _WIN32
    int dup = _dup(fd_);
#else
    int dup = ::fcntl(fd_, F_DUPFD_CLOEXEC, 0);
#endif
    if (dup < 0) return nullptr;
    gzFile gz = gzdopen(dup, mode);
    if (!gz) {
#ifdef _WIN32
      _close(dup);
#else
      ::close(dup);
#endif
    }
    return gz;
  }

  // Ends the writer and leaves the file holding the last member alone, as if it had been written
  // by itself.
  void Close() {
    if (fd_ < 0) return;
    if (writer_) {
      gzclose(writer_);  // its members are complete; a zlib of another version may add an empty one
      writer_ = nullptr;
      extent_ = UINT64_MAX;
    }
    if (extent_ > last_) Truncate(last_);
#ifdef _WIN32
    _close(fd_);
#else
    ::close(fd_);
#endif
    fd_ = -1;
  }

 private:
  bool Truncate(uint64_t len) {
#ifdef _WIN32
    return _chsize_s(fd_, static_cast<__int64>(len)) == 0;
#else
    return ::ftruncate(fd_, static_cast<off_t>(len)) == 0;
#endif
  }

  const char* path_;
  int fd_ = -1;
  gzFile writer_ = nullptr;
  uint64_t extent_ = 0;  // the file's length as far as this object knows it
  uint64_t last_ = 0;    // length of the member it holds
};

// The running checksum of the current pack or unpack.
uint64_t crc = 0;

uint32_t GetLE32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

void PutLE32(unsigned char* p, uint32_t v) {
  p[0] = static_cast<unsigned char>(v);
  p[1] = static_cast<unsigned char>(v >> 8);
  p[2] = static_cast<unsigned char>(v >> 16);
  p[3] = static_cast<unsigned char>(v >> 24);
}

bool IsSep(char c) { return c == '\\' || c == '/'; }

const GzcFileOps* OpsOr(const GzcFileOps* ops) { return ops ? ops : GzcDefaultFileOps(); }

bool Stopping(const GzcHooks* h) { return h && h->cancel && *h->cancel == 0; }

// Reads exactly n bytes or fails.
bool ReadExact(const GzcFileOps* ops, void* file, void* buf, size_t n) {
  unsigned char* p = static_cast<unsigned char*>(buf);
  while (n) {
    size_t got = ops->read(ops->ctx, file, p, n);
    if (got == 0) return false;
    p += got;
    n -= got;
  }
  return true;
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
  if (base == 4 && comp[3] >= '1' && comp[3] <= '9') {
    std::string three{up(0), up(1), up(2)};
    if (three == "COM" || three == "LPT") return true;
  }
  return false;
}

// ---- Walk and list writer ----------------------------------------------------------------------
struct Walk {
  const GzcFileOps* ops;
  std::vector<std::string> lines;       // relative paths, '\' separated
  std::vector<std::string>* skipped;
};

void CollectName(void* cookie, const char* name, GzcKind kind) {
  static_cast<std::vector<std::pair<std::string, GzcKind>>*>(cookie)->push_back({name, kind});
}

// List writer: records one file met by the walk, relative to the walk's root, if an archive can
// carry it; otherwise notes it as skipped.
void ListFile(Walk& w, const std::string& full, const std::string& rel) {
  if (full.size() > GZC_PATH_MAX || !GzcSafeListLine(rel.data(), rel.size())) {
    if (w.skipped) w.skipped->push_back(full);
    return;
  }
  w.lines.push_back(rel);
}

// Depth first in directory-search order; a subfolder's files are listed where the subfolder is met.
// Returns false when the folder cannot be searched.
bool WalkFolder(Walk& w, const std::string& folder, const std::string& rel) {
  std::vector<std::pair<std::string, GzcKind>> names;
  if (!w.ops->listDir(w.ops->ctx, folder.c_str(), CollectName, &names)) return false;
  for (const auto& [name, searchKind] : names) {
    std::string full = folder + GZC_SEP + name;
    std::string relName = rel.empty() ? name : rel + '\\' + name;
#ifndef _WIN32
    // A '\' inside a name would read back as a separator.
    if (name.find('\\') != std::string::npos) {
      if (w.skipped) w.skipped->push_back(full);
      continue;
    }
#endif
    GzcKind kind = searchKind != GZC_KIND_NONE ? searchKind : w.ops->kind(w.ops->ctx, full.c_str());
    if (kind == GZC_KIND_DIR) {
      // A folder that cannot be searched is taken for a file, as the walk always did.
      if (!WalkFolder(w, full, relName)) ListFile(w, full, relName);
    } else if (kind == GZC_KIND_FILE) {
      ListFile(w, full, relName);
    } else if (w.skipped) {
      // Links (which could loop), devices, pipes, and entries gone since the search.
      w.skipped->push_back(full);
    }
  }
  return true;
}

// ---- Packing -----------------------------------------------------------------------------------
struct PackState {
  const GzcFileOps* ops;
  const GzcHooks* hooks;
  ScratchFile* tmp;
  const char* mode;
  uint32_t IlePlikow;
  unsigned char* buf;
  int lastOverall = -1;
  int lastCurrent = -1;
  std::chrono::steady_clock::time_point lastReport;
};

short OverallValue(const GzcHooks* h, uint32_t position, uint32_t n) {
  short lo = h->bounds ? h->bounds[0] : 0;
  short hi = h->bounds ? h->bounds[1] : 100;
  float frac = static_cast<float>(position) / static_cast<float>(n);
  float v = static_cast<float>(lo) + static_cast<float>(hi - lo) * frac;
  return static_cast<short>(v);
}

void Forward(PackState& st, short overall, short current, bool always) {
  const GzcHooks* h = st.hooks;
  if (!always && overall == st.lastOverall && current == st.lastCurrent) return;
  auto now = std::chrono::steady_clock::now();
  if (!always && h->minIntervalMs && overall == st.lastOverall && st.lastCurrent >= 0 &&
      now - st.lastReport < std::chrono::milliseconds(h->minIntervalMs))
    return;
  st.lastOverall = overall;
  st.lastCurrent = current;
  st.lastReport = now;
  h->progress(h->ctx, overall, current);
}

// Reports the file bar for `count` bytes of `length` and returns the count at which its value
// next changes, so that the byte loop only compares.
uint64_t ReportFile(PackState& st, short overall, uint64_t count, uint32_t length) {
  if (length == 0) {
    Forward(st, overall, 100, false);
    return UINT64_MAX;
  }
  uint64_t v = 100 * count / length;
  Forward(st, overall, static_cast<short>(std::min<uint64_t>(v, 32767)), false);
  return ((v + 1) * length + 99) / 100;
}

// Compresses one file into gz.tmp as one gzip member. Position 0 (the list and the first file)
// reports no progress. A file that cannot be opened gives an empty member, so that the entry still
// exists and the table matches the bytes appended.
GzcStatus kompresjagz(PackState& st, const char* path, uint32_t position) {
  const GzcFileOps* ops = st.ops;
  void* src = ops->open(ops->ctx, path, false);
  uint64_t size = 0;
  if (src && !ops->size(ops->ctx, src, &size)) size = 0;
  if (size > 0xFFFFFFFFu) {
    ops->close(ops->ctx, src);
    return GZC_ERR_TOO_LARGE;
  }
  ScratchFile& tmp = *st.tmp;
  gzFile gz = tmp.Open() && tmp.Seek(0) ? tmp.Writer(st.mode) : nullptr;
  if (!gz) {
    if (src) ops->close(ops->ctx, src);
    return GZC_ERR_TEMP;
  }
  bool gzFailed = false;
  uint64_t written = 0;
  if (src) {
    const uint32_t length = static_cast<uint32_t>(size);
    const GzcHooks* h = st.hooks;
    const volatile unsigned char* cancel = h ? h->cancel : nullptr;
    void (*pump)(void*) = h ? h->pump : nullptr;
    void* hctx = h ? h->ctx : nullptr;
    const bool report = position != 0 && h && h->progress;
    const short overall = report ? OverallValue(h, position, st.IlePlikow) : 0;
    uint64_t next = report ? 1 : UINT64_MAX;  // the first byte always reports
    uint64_t count = 0;
    bool stop = false;
    while (!stop) {
      size_t n = ops->read(ops->ctx, src, st.buf, kBufSize);
      if (n == 0) break;
      size_t k = 0;
      if (!cancel && !pump && next == UINT64_MAX) {
        k = n;  // no per-byte point to serve
      } else {
        for (; k < n; ++k) {
          if (cancel && *cancel == 0) {  // this byte is not packed
            stop = true;
            break;
          }
          ++count;
          if (count >= next) next = ReportFile(st, overall, count, length);
          if (pump) pump(hctx);
        }
      }
      crc32Block(st.buf, k);
      if (k && gzwrite(gz, st.buf, static_cast<unsigned>(k)) != static_cast<int>(k)) {
        gzFailed = true;
        break;
      }
      written += k;
    }
    ops->close(ops->ctx, src);
  }
  if (gzFailed) return GZC_ERR_TEMP;
  // The member is complete even after a cancel: it holds the bytes read so far. The pack's writer
  // ends it; a member without data comes from a writer of its own, because the pack's writer only
  // starts a new member when data follows.
  if (written) return gzflush(gz, Z_FINISH) == Z_OK ? GZC_OK : GZC_ERR_TEMP;
  gzFile empty = tmp.GzOn(st.mode);
  return empty && gzclose(empty) == Z_OK ? GZC_OK : GZC_ERR_TEMP;
}

// Appends the member that gz.tmp holds (from offset 0 to the position after it) to the archive;
// *size = the bytes appended.
GzcStatus przepiszdogzc(PackState& st, void* arch, uint64_t* size) {
  const GzcFileOps* ops = st.ops;
  ScratchFile& tmp = *st.tmp;
  *size = 0;
  uint64_t len = 0;
  if (!tmp.Tell(&len) || !tmp.Seek(0)) return GZC_ERR_TEMP;
  tmp.Holds(len, false);
  for (uint64_t left = len; left;) {
    size_t n = tmp.Read(st.buf, static_cast<size_t>(std::min<uint64_t>(left, kBufSize)));
    if (n == 0) return GZC_ERR_TEMP;
    if (!ops->write(ops->ctx, arch, st.buf, n)) return GZC_ERR_WRITE;
    *size += n;
    left -= n;
  }
  return GZC_OK;
}

std::string JoinForFiles(const char* folder, const std::string& line) {
  std::string path = std::string(folder) + GZC_SEP + line;
  for (size_t i = std::strlen(folder) + 1; i < path.size(); ++i)
    if (IsSep(path[i])) path[i] = GZC_SEP;
  return path;
}

GzcStatus packgzc(PackState& st, const GzcPackJob& job, const std::vector<std::string>& lines,
                  GzcPackResult* result) {
  const GzcFileOps* ops = st.ops;
  const uint32_t n = st.IlePlikow;
  void* arch = ops->open(ops->ctx, job.archive, true);
  if (!arch) return GZC_ERR_ARCHIVE;
  auto fail = [&](GzcStatus s) {
    ops->close(ops->ctx, arch);
    return s;
  };

  unsigned char head[GZC_HEADER_SIZE];
  std::memcpy(head, header_, sizeof header_);
  PutLE32(head + 7, 0);
  PutLE32(head + 11, n);
  if (!ops->write(ops->ctx, arch, head, sizeof head)) return fail(GZC_ERR_WRITE);

  std::vector<uint32_t> t;
  ALLOC_TRY {
    t.assign(size_t(n) + 1, 0);
  } ALLOC_CATCH {
    return fail(GZC_ERR_NO_MEMORY);
  }
  // The table stays zero until the archive is complete.
  std::memset(st.buf, 0, kBufSize);
  for (uint64_t left = 4 * (uint64_t(n) + 1); left;) {
    size_t chunk = static_cast<size_t>(std::min<uint64_t>(left, kBufSize));
    if (!ops->write(ops->ctx, arch, st.buf, chunk)) return fail(GZC_ERR_WRITE);
    left -= chunk;
  }
  uint64_t pos = 19 + 4 * uint64_t(n);
  t[0] = static_cast<uint32_t>(pos);

  uint64_t s = 0;
  GzcStatus status = kompresjagz(st, job.listFile, 0);
  if (status == GZC_OK) status = przepiszdogzc(st, arch, &s);
  if (status != GZC_OK) return fail(status);

  for (uint32_t i = 1; i < n && !Stopping(st.hooks); ++i) {
    pos += s;
    if (pos > 0xFFFFFFFFu) return fail(GZC_ERR_TOO_LARGE);
    t[i] = static_cast<uint32_t>(pos);
    std::string path = JoinForFiles(job.folder, lines[i - 1]);
    status = kompresjagz(st, path.c_str(), i - 1);
    if (status == GZC_OK) status = przepiszdogzc(st, arch, &s);
    if (status != GZC_OK) return fail(status);
  }
  if (Stopping(st.hooks)) {
    ops->close(ops->ctx, arch);
    return GZC_CANCELLED;
  }
  if (st.hooks && st.hooks->progress) {
    short hi = st.hooks->bounds ? st.hooks->bounds[1] : 100;
    Forward(st, hi, 100, true);
  }
  pos += s;
  if (pos > 0xFFFFFFFFu) return fail(GZC_ERR_TOO_LARGE);
  t[n] = static_cast<uint32_t>(pos);

  // Table and checksum go in last: a cancelled or broken pack leaves both zero.
  std::vector<unsigned char> raw(t.size() * 4);
  for (size_t i = 0; i < t.size(); ++i) PutLE32(&raw[i * 4], t[i]);
  unsigned char sum[4];
  PutLE32(sum, crc32(0, true));
  if (!ops->seek(ops->ctx, arch, GZC_HEADER_SIZE) || !ops->write(ops->ctx, arch, raw.data(), raw.size()) ||
      !ops->seek(ops->ctx, arch, 3) || !ops->write(ops->ctx, arch, sum, 4))
    return fail(GZC_ERR_WRITE);
  if (!ops->close(ops->ctx, arch)) return GZC_ERR_WRITE;
  result->checksum = crc32(0, true);
  result->length = t[n];
  return GZC_OK;
}

// ---- Reading -----------------------------------------------------------------------------------
// Copies the next len bytes of the archive (one entry) into gz.tmp; *isize = its last four bytes.
GzcStatus przepiszzgzc(const GzcSource& src, uint32_t len, ScratchFile& tmp, unsigned char* buf, uint32_t* isize) {
  const GzcFileOps* ops = OpsOr(src.files);
  if (!tmp.Open() || !tmp.Seek(0)) return GZC_ERR_TEMP;
  unsigned char tail[4] = {0, 0, 0, 0};
  GzcStatus status = GZC_OK;
  uint32_t written = 0;
  for (uint32_t left = len; left;) {
    size_t chunk = std::min<size_t>(left, kBufSize);
    if (!ReadExact(ops, src.file, buf, chunk)) {
      status = GZC_ERR_TRUNCATED;
      break;
    }
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
  *isize = GetLE32(tail);
  return status;
}

// Where inflated bytes go.
struct Sink {
  bool (*put)(void* ctx, const unsigned char* bytes, size_t n);
  void* ctx;
};

// Inflates up to isize bytes of gz.tmp into the sink, adding each to the checksum. Short data is
// not padded. strict: the member must be gzip data of exactly isize bytes with a good trailer.
GzcStatus dekompresjagz(ScratchFile& tmp, uint32_t memberLen, uint32_t isize, const Sink* sink, bool strict,
                        unsigned char* buf) {
  gzFile gz = tmp.Seek(0) ? tmp.GzOn("rb") : nullptr;
  if (!gz) return GZC_ERR_TEMP;
  gzbuffer(gz, GzBufferFor(memberLen));
  uint32_t left = isize;
  GzcStatus status = GZC_OK;
  while (left) {
    unsigned want = static_cast<unsigned>(std::min<size_t>(left, kBufSize));
    int got = gzread(gz, buf, want);
    if (got <= 0) break;
    crc32Block(buf, static_cast<size_t>(got));
    if (sink && !sink->put(sink->ctx, buf, static_cast<size_t>(got))) {
      status = GZC_ERR_TARGET;
      break;
    }
    left -= static_cast<uint32_t>(got);
  }
  if (status == GZC_OK && left) status = strict ? GZC_ERR_MEMBER : GZC_ERR_SHORT;
  if (status == GZC_OK && strict) {
    // One more read reaches the trailer and checks its CRC; there must be nothing more.
    unsigned char extra;
    int errnum = Z_OK;
    if (gzdirect(gz) || gzread(gz, &extra, 1) != 0) status = GZC_ERR_MEMBER;
    gzerror(gz, &errnum);
    if (errnum != Z_OK && errnum != Z_BUF_ERROR) status = GZC_ERR_MEMBER;
  }
  gzclose(gz);
  return status;
}

bool PutString(void* ctx, const unsigned char* bytes, size_t n) {
  static_cast<std::string*>(ctx)->append(reinterpret_cast<const char*>(bytes), n);
  return true;
}

bool PutFile(void* ctx, const unsigned char* bytes, size_t n) {
  auto* f = static_cast<std::pair<const GzcFileOps*, void*>*>(ctx);
  return f->first->write(f->first->ctx, f->second, bytes, n);
}

struct Head {
  uint32_t stored = 0;
  std::vector<uint32_t> t;
  std::vector<std::string> lines;
};

// Header, table and list: everything that can be refused before a file is written. Leaves the
// source at the start of entry 1.
GzcStatus ReadHead(const GzcSource& src, ScratchFile& tmp, bool strict,
                   unsigned char* buf, Head* head) {
  GzcStatus status = GzcReadTable(src, &head->stored, &head->t);
  if (status != GZC_OK) return status;
  const uint32_t n = static_cast<uint32_t>(head->t.size() - 1);
  uint32_t isize = 0;
  status = przepiszzgzc(src, head->t[1] - head->t[0], tmp, buf, &isize);
  if (status != GZC_OK) return status;
  // A list of N - 1 lines of at most GZC_PATH_MAX bytes and a line end: refuse more before inflating.
  if (isize > uint64_t(n - 1) * (GZC_PATH_MAX + 2)) return GZC_ERR_LIST;
  std::string text;
  text.reserve(isize);
  Sink sink{PutString, &text};
  status = dekompresjagz(tmp, head->t[1] - head->t[0], isize, &sink, strict, buf);
  if (status == GZC_ERR_SHORT) return GZC_ERR_LIST;
  if (status != GZC_OK) return status;

  // A line ends at LF, without a CR just before it; an unfinished last line counts.
  size_t start = 0;
  while (start < text.size()) {
    size_t lf = text.find('\n', start);
    size_t end = lf == std::string::npos ? text.size() : lf;
    size_t stop = (end > start && text[end - 1] == '\r') ? end - 1 : end;
    if (head->lines.size() == n - 1) return GZC_ERR_LIST;  // more lines than files
    if (!GzcSafeListLine(text.data() + start, stop - start)) return GZC_ERR_PATH;
    head->lines.emplace_back(text, start, stop - start);
    start = lf == std::string::npos ? text.size() : lf + 1;
  }
  if (head->lines.size() != n - 1) return GZC_ERR_LIST;
  return GZC_OK;
}

// Makes sure every folder of `target` below the destination (the first `destLen` characters) is a
// real folder, creating missing ones when allowed, and that the target is not a folder or a link.
// `knownDirs` remembers the folders already checked or made by this unpacking.
GzcStatus PrepareTarget(const GzcFileOps* ops, const std::string& target, size_t destLen,
                        bool createFolders, std::vector<std::string>* createdDirs,
                        std::set<std::string>* knownDirs) {
  for (size_t i = destLen + 1; i < target.size(); ++i) {
    if (target[i] != GZC_SEP) continue;
    std::string dir = target.substr(0, i);
    if (knownDirs->count(dir)) continue;
    GzcKind kind = ops->kind(ops->ctx, dir.c_str());
    if (kind != GZC_KIND_DIR) {
      if (kind != GZC_KIND_NONE || !createFolders) return GZC_ERR_TARGET;
      if (!ops->makeDir(ops->ctx, dir.c_str())) return GZC_ERR_TARGET;
      createdDirs->push_back(dir);
    }
    knownDirs->insert(dir);
  }
  GzcKind kind = ops->kind(ops->ctx, target.c_str());
  if (kind != GZC_KIND_NONE && kind != GZC_KIND_FILE) return GZC_ERR_TARGET;
  return GZC_OK;
}

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

bool GzcSafeListLine(const char* line, size_t len) {
  if (len == 0 || len > GZC_PATH_MAX) return false;
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

bool dircat(std::string* out, const char* folder, const char* line, size_t len) {
  if (!GzcSafeListLine(line, len)) return false;
  size_t folderLen = std::strlen(folder);
  if (folderLen + 1 + len > GZC_PATH_MAX) return false;
  std::string path;
  path.reserve(folderLen + 1 + len);
  path.append(folder, folderLen);
  path += GZC_SEP;
  for (size_t i = 0; i < len; ++i) path += IsSep(line[i]) ? GZC_SEP : line[i];
  *out = std::move(path);
  return true;
}

// ---- Public operations ---------------------------------------------------------------------------
const char* GzcStatusText(GzcStatus status) {
  switch (status) {
    case GZC_OK: return "ok";
    case GZC_ERR_LIST_FILE: return "cannot create the list file";
    case GZC_ERR_ARCHIVE: return "cannot create the archive";
    case GZC_ERR_TEMP: return "cannot write or read the temporary member file";
    case GZC_ERR_WRITE: return "write to the archive failed";
    case GZC_ERR_TOO_LARGE: return "a file or the archive would reach 4 GiB";
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
  }
  return "unknown error";
}

GzcStatus GzcPack(const GzcPackJob& job, GzcPackResult* result) {
  GzcPackResult local;
  if (!result) result = &local;
  *result = GzcPackResult();
  const GzcFileOps* ops = OpsOr(job.files);
  crc32Reset();

  void* list = ops->open(ops->ctx, job.listFile, true);
  if (!list) return GZC_ERR_LIST_FILE;
  Walk walk{ops, {}, &result->skipped};
  WalkFolder(walk, job.folder, "");  // a folder that cannot be searched packs like an empty one
  std::string text;
  for (const std::string& line : walk.lines) text += line + "\r\n";
  bool listOk = ops->write(ops->ctx, list, text.data(), text.size());
  if (!ops->close(ops->ctx, list) || !listOk) return GZC_ERR_LIST_FILE;

  // N + 1 table words must fit, and t[0] = 19 + 4 N must be a 32-bit offset.
  if (walk.lines.size() >= (0xFFFFFFFFu - 19) / 4) return GZC_ERR_TOO_LARGE;
  std::vector<unsigned char> buf;
  ALLOC_TRY {
    buf.resize(kBufSize);
  } ALLOC_CATCH {
    return GZC_ERR_NO_MEMORY;
  }
  PackState st;
  st.ops = ops;
  st.hooks = job.hooks;
  ScratchFile tmp(job.gzTmp);
  st.tmp = &tmp;
  st.mode = job.mode ? job.mode : "wb6";
  st.IlePlikow = static_cast<uint32_t>(walk.lines.size()) + 1;
  st.buf = buf.data();
  result->entries = st.IlePlikow;
  return packgzc(st, job, walk.lines, result);
}

GzcStatus GzcReadTable(const GzcSource& src, uint32_t* storedChecksum, std::vector<uint32_t>* table) {
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
  const uint32_t n = GetLE32(head + 11);
  if (n == 0 || n == 0xFFFFFFFFu) return GZC_ERR_COUNT;  // no list entry; N + 1 overflows
  const uint64_t tableBytes = 4 * (uint64_t(n) + 1);
  // Everything here is checked against the file before the table is allocated.
  if (GZC_HEADER_SIZE + tableBytes > src.avail) return GZC_ERR_TRUNCATED;
  const uint32_t t0 = GetLE32(head + GZC_HEADER_SIZE);
  const bool maybeCancelled = t0 == 0 && *storedChecksum == 0;
  if (t0 != 19 + 4 * uint64_t(n) && !maybeCancelled) return GZC_ERR_TABLE;

  ALLOC_TRY {
    table->assign(size_t(n) + 1, 0);
  } ALLOC_CATCH {
    return GZC_ERR_NO_MEMORY;
  }
  (*table)[0] = t0;
  unsigned char chunk[4096];
  for (size_t i = 1; i <= n;) {
    size_t words = std::min<size_t>(n + 1 - i, sizeof chunk / 4);
    if (!ReadExact(ops, src.file, chunk, words * 4)) return GZC_ERR_TRUNCATED;
    for (size_t j = 0; j < words; ++j) (*table)[i + j] = GetLE32(chunk + 4 * j);
    i += words;
  }
  if (maybeCancelled) {
    bool allZero = std::all_of(table->begin(), table->end(), [](uint32_t v) { return v == 0; });
    return allZero ? GZC_ERR_CANCELLED_ARCHIVE : GZC_ERR_TABLE;
  }
  // Entries follow each other; each holds at least its 4-byte stored length.
  for (size_t i = 0; i < n; ++i)
    if ((*table)[i + 1] < (*table)[i] || (*table)[i + 1] - (*table)[i] < 4) return GZC_ERR_TABLE;
  if ((*table)[n] > src.avail) return GZC_ERR_TRUNCATED;
  return GZC_OK;
}

GzcStatus GzcUnpack(const GzcUnpackJob& job, const GzcSource& src, std::vector<std::string>* written) {
  const GzcFileOps* ops = OpsOr(job.files);
  crc32Reset();
  std::vector<unsigned char> buf(kBufSize);
  ScratchFile tmp(job.gzTmp);
  Head head;
  GzcStatus status = ReadHead(src, tmp, false, buf.data(), &head);
  if (status != GZC_OK) return status;

  // Every target is joined and checked before the first one is written.
  std::vector<std::string> targets(head.lines.size());
  for (size_t i = 0; i < head.lines.size(); ++i)
    if (!dircat(&targets[i], job.dest, head.lines[i].data(), head.lines[i].size())) return GZC_ERR_PATH;

  const size_t destLen = std::strlen(job.dest);
  std::vector<std::string> wrote;
  std::vector<std::string> createdDirs;
  std::set<std::string> knownDirs;
  for (size_t i = 0; i < targets.size() && status == GZC_OK; ++i) {
    uint32_t isize = 0;
    status = przepiszzgzc(src, head.t[i + 2] - head.t[i + 1], tmp, buf.data(), &isize);
    if (status != GZC_OK) break;
    status = PrepareTarget(ops, targets[i], destLen, job.createFolders, &createdDirs, &knownDirs);
    if (status != GZC_OK) break;
    void* out = ops->open(ops->ctx, targets[i].c_str(), true);
    if (!out) {
      status = GZC_ERR_TARGET;
      break;
    }
    wrote.push_back(targets[i]);
    std::pair<const GzcFileOps*, void*> file(ops, out);
    Sink sink{PutFile, &file};
    status = dekompresjagz(tmp, head.t[i + 2] - head.t[i + 1], isize, &sink, false, buf.data());
    if (!ops->close(ops->ctx, out) && status == GZC_OK) status = GZC_ERR_TARGET;
  }
  if (status == GZC_OK && crc32(0, true) != head.stored) status = GZC_ERR_CHECKSUM;
  if (status != GZC_OK) {
    // Only what this call wrote goes; files that were there before and not named stay.
    for (const std::string& path : wrote) ops->remove(ops->ctx, path.c_str());
    for (auto it = createdDirs.rbegin(); it != createdDirs.rend(); ++it) ops->removeDir(ops->ctx, it->c_str());
    wrote.clear();
  }
  if (written) *written = wrote;
  return status;
}

GzcStatus GzcList(const GzcSource& src, const char* gzTmp, std::vector<GzcEntry>* entries) {
  const GzcFileOps* ops = OpsOr(src.files);
  crc32Reset();
  std::vector<unsigned char> buf(kBufSize);
  ScratchFile tmp(gzTmp);
  Head head;
  GzcStatus status = ReadHead(src, tmp, false, buf.data(), &head);
  if (status != GZC_OK) return status;
  entries->clear();
  for (size_t i = 0; i < head.lines.size(); ++i) {
    unsigned char tail[4] = {0, 0, 0, 0};
    for (uint32_t left = head.t[i + 2] - head.t[i + 1]; left;) {
      size_t chunk = std::min<size_t>(left, kBufSize);
      if (!ReadExact(ops, src.file, buf.data(), chunk)) return GZC_ERR_TRUNCATED;
      if (chunk >= 4) {
        std::memcpy(tail, buf.data() + chunk - 4, 4);
      } else {
        std::memmove(tail, tail + chunk, 4 - chunk);
        std::memcpy(tail + 4 - chunk, buf.data(), chunk);
      }
      left -= static_cast<uint32_t>(chunk);
    }
    entries->push_back({head.lines[i], GetLE32(tail)});
  }
  return GZC_OK;
}

GzcStatus GzcVerify(const GzcSource& src, const char* gzTmp) {
  crc32Reset();
  std::vector<unsigned char> buf(kBufSize);
  ScratchFile tmp(gzTmp);
  Head head;
  GzcStatus status = ReadHead(src, tmp, true, buf.data(), &head);
  if (status != GZC_OK) return status;
  for (size_t i = 0; i < head.lines.size(); ++i) {
    uint32_t isize = 0;
    status = przepiszzgzc(src, head.t[i + 2] - head.t[i + 1], tmp, buf.data(), &isize);
    if (status == GZC_OK) status = dekompresjagz(tmp, head.t[i + 2] - head.t[i + 1], isize, nullptr, true, buf.data());
    if (status != GZC_OK) return status;
  }
  return crc32(0, true) == head.stored ? GZC_OK : GZC_ERR_CHECKSUM;
}

GzcStatus GzcFindInstaller(const GzcFileOps* files, void* file, uint64_t size, GzcInstallerLayout* layout) {
  const GzcFileOps* ops = OpsOr(files);
  if (!ops->seek(ops->ctx, file, 0)) return GZC_ERR_READ;
  // One pass collects every "rc.bin" and every "GZC"; the last bytes of a buffer are looked at
  // again with the next one, and `from` keeps a position from being taken twice.
  std::vector<uint64_t> markers, magics;
  std::vector<unsigned char> buf(kBufSize + 8);
  size_t carry = 0;
  uint64_t base = 0;  // file offset of buf[0]
  uint64_t markerFrom = 0, magicFrom = 0;
  for (;;) {
    size_t n = ops->read(ops->ctx, file, buf.data() + carry, kBufSize);
    if (n == 0) break;
    size_t have = carry + n;
    for (size_t i = 0; i + 3 <= have; ++i) {
      if (base + i >= magicFrom && std::memcmp(&buf[i], header_, 3) == 0) {
        magics.push_back(base + i);
        magicFrom = base + i + 1;
      }
      if (base + i >= markerFrom && i + 6 <= have && std::memcmp(&buf[i], kMarker, 6) == 0) {
        markers.push_back(base + i);
        markerFrom = base + i + 1;
      }
    }
    carry = std::min<size_t>(have, 5);
    std::memmove(buf.data(), buf.data() + have - carry, carry);
    base += have - carry;
  }

  // Candidate archives: a header and table that hold, ending inside the file.
  std::map<uint64_t, std::vector<std::pair<uint64_t, uint32_t>>> byEnd;  // end -> (start, length)
  std::vector<std::pair<uint64_t, uint32_t>> found;
  for (uint64_t at : magics) {
    if (!ops->seek(ops->ctx, file, at)) continue;
    GzcSource src{ops, file, size - at};
    uint32_t stored;
    std::vector<uint32_t> t;
    if (GzcReadTable(src, &stored, &t) != GZC_OK) continue;
    found.push_back({at, t.back()});
    byEnd[at + t.back()].push_back({at, t.back()});
  }
  for (const auto& bin : found) {
    if (bin.first + bin.second != size) continue;
    auto cfgs = byEnd.find(bin.first);
    if (cfgs == byEnd.end()) continue;
    for (const auto& cfg : cfgs->second) {
      uint64_t marker = UINT64_MAX;
      for (uint64_t m : markers)
        if (m + 6 <= cfg.first) marker = m;
      if (marker == UINT64_MAX) continue;
      layout->marker = marker;
      layout->cfgOffset = cfg.first;
      layout->cfgLength = cfg.second;
      layout->binOffset = bin.first;
      layout->binLength = bin.second;
      return GZC_OK;
    }
  }
  return GZC_ERR_NOT_INSTALLER;
}
