// GZC archive module: unpacking, listing and verifying archives, finding them in an installer, the
// checksum and the path rules (packing is in gzcpack.cpp).
#include "build/gzcformat.h"
#include "build/alloccheck.h"
#include "build/gzcscratch.h"
#include "engine/peimage.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <new>
#include <atomic>
#include <deque>
#include <set>
#include <string>
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

const char kMarker[] = "rc.bin";

// Files move through one buffer per operation.
constexpr size_t kBufSize = 64 * 1024;

// The running checksum of the current pack or unpack.
uint64_t crc = 0;

bool IsSep(char c) { return c == '\\' || c == '/'; }

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

// Inflates up to isize bytes of gz.tmp into the sink, adding each to the checksum. Short data is
// not padded. strict: the member must be gzip data of exactly isize bytes with a good trailer.
GzcStatus dekompresjagz(ScratchFile& tmp, const Copied& entry, const Sink* sink, bool strict, unsigned char* buf) {
  if (!tmp.Seek(0)) return GZC_ERR_TEMP;
  // gzip data goes through the operation's one reader. Anything else gets a reader of its own, which
  // passes it through as zlib does with a file that is not gzip data; the one reader, having read
  // gzip data before, would take it for trailing garbage.
  gzFile own = entry.gzip ? nullptr : tmp.GzOn("rb");
  gzFile gz = entry.gzip ? tmp.Reader() : own;
  if (!gz) return GZC_ERR_TEMP;
  uint32_t left = entry.isize;
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
  if (own) gzclose(own);
  return status;
}

bool PutString(void* ctx, const unsigned char* bytes, size_t n) {
  static_cast<std::string*>(ctx)->append(reinterpret_cast<const char*>(bytes), n);
  return true;
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
  Copied entry;
  status = przepiszzgzc(src, head->t[1] - head->t[0], tmp, buf, &entry);
  if (status != GZC_OK) return status;
  const uint32_t isize = entry.isize;
  // A list of N - 1 lines of at most GZC_PATH_MAX bytes and a line end: refuse more before inflating.
  if (isize > uint64_t(n - 1) * (GZC_PATH_MAX + 2)) return GZC_ERR_LIST;
  std::string text;
  text.reserve(isize);
  Sink sink{PutString, &text};
  status = dekompresjagz(tmp, entry, &sink, strict, buf);
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

// ---- The target side of unpacking ---------------------------------------------------------------
// Makes the folders a target needs, creates it, writes what is inflated into it and closes it. On
// a thread of its own (behind a queue of blocks, up to 16 MiB) the file system's work overlaps the
// reading and inflating, which under Wine costs about as much; without a thread it runs inline.
// The first failure stops it: what follows is dropped, and the caller learns the entry it failed on.
class TargetWriter {
 public:
  TargetWriter(const GzcFileOps* ops, const GzcThreadOps* threads, size_t destLen, bool createFolders)
      : ops_(ops), threads_(threads), destLen_(destLen), createFolders_(createFolders) {}
  ~TargetWriter() { Finish(nullptr); }
  TargetWriter(const TargetWriter&) = delete;
  TargetWriter& operator=(const TargetWriter&) = delete;

  // Entry `index` goes to `target` (joined and checked; it must outlive the writer).
  void Begin(uint32_t index, const std::string& target) { Submit({Op::BEGIN, index, &target, nullptr, 0}); }
  // Its next bytes (at most one block). False once the writer has failed.
  bool Put(const unsigned char* bytes, size_t n);
  void End() { Submit({Op::END, 0, nullptr, nullptr, 0}); }
  bool Failed() const { return failed_; }
  // Waits until everything submitted is done. Returns the first failure and, in *index, its entry.
  GzcStatus Finish(uint32_t* index);

  std::vector<std::string> wrote;        // targets created, in order
  std::vector<std::string> createdDirs;  // folders made, in order

 private:
  struct Op {
    enum Kind { BEGIN, DATA, END } kind;
    uint32_t index;
    const std::string* target;
    unsigned char* data;
    size_t n;
  };
  static constexpr size_t kMaxBlocks = 256;

  bool Started();
  void Submit(const Op& op);
  void Inline(const Op& op) {
    Do(op);
    failed_ = status_ != GZC_OK;
  }
  void Do(const Op& op);
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
  const GzcThreadOps* threads_;
  size_t destLen_;
  bool createFolders_;
  // The writing side's own (the caller reads them after Finish).
  std::set<std::string> knownDirs_;
  void* out_ = nullptr;
  uint32_t current_ = 0;
  GzcStatus status_ = GZC_OK;
  uint32_t failedAt_ = 0;
  // Shared, under the lock.
  std::deque<Op> queue_;
  BlockPool pool_{kBufSize, kMaxBlocks};
  bool quit_ = false;
  std::atomic<bool> failed_{false};  // status_ != GZC_OK, for the reading side
  // The caller's own.
  bool tried_ = false;  // a thread was asked for
  void* sync_ = nullptr;
  void* thread_ = nullptr;
};

void TargetWriter::Do(const Op& op) {
  switch (op.kind) {
    case Op::BEGIN: {
      current_ = op.index;
      if (status_ != GZC_OK) return;
      GzcStatus s = PrepareTarget(ops_, *op.target, destLen_, createFolders_, &createdDirs, &knownDirs_);
      if (s == GZC_OK) {
        out_ = ops_->open(ops_->ctx, op.target->c_str(), true);
        if (out_)
          wrote.push_back(*op.target);
        else
          s = GZC_ERR_TARGET;
      }
      if (s != GZC_OK) Fail(s);
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

void TargetWriter::Submit(const Op& op) {
  if (!Started()) return Inline(op);
  Lock();
  queue_.push_back(op);
  Notify();
  Unlock();
}

bool TargetWriter::Put(const unsigned char* bytes, size_t n) {
  const Op data{Op::DATA, 0, nullptr, const_cast<unsigned char*>(bytes), n};
  if (!Started()) {
    Inline(data);
    return !failed_;
  }
  Lock();
  while (!failed_ && pool_.AllOut()) Wait();
  unsigned char* block = failed_ ? nullptr : pool_.Take();
  if (failed_ || block) {
    if (block) {
      std::memcpy(block, bytes, n);
      queue_.push_back({Op::DATA, 0, nullptr, block, n});
      Notify();
    }
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
    while (!quit_ && queue_.empty()) Wait();
    if (queue_.empty()) break;  // quit, and everything done
    Op op = queue_.front();
    queue_.pop_front();
    Unlock();
    Do(op);
    Lock();
    if (status_ != GZC_OK) failed_ = true;
    if (op.kind == Op::DATA) pool_.Give(op.data);
    Notify();
  }
  Unlock();
}

GzcStatus TargetWriter::Finish(uint32_t* index) {
  if (thread_) {
    Lock();
    quit_ = true;
    Notify();
    Unlock();
    threads_->join(thread_);
    thread_ = nullptr;
    threads_->destroy(sync_);
    sync_ = nullptr;
  }
  if (index) *index = failedAt_;
  return status_;
}

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

  // The files are written behind the reading (see TargetWriter). Of two failures the one of the
  // earlier entry counts, and on one entry the writing side's: it would have come first.
  TargetWriter writer(ops, job.threads ? job.threads : DefaultThreads(), std::strlen(job.dest), job.createFolders);
  uint32_t failedAt = 0;
  for (size_t i = 0; i < targets.size() && status == GZC_OK && !writer.Failed(); ++i) {
    failedAt = static_cast<uint32_t>(i);
    Copied entry;
    status = przepiszzgzc(src, head.t[i + 2] - head.t[i + 1], tmp, buf.data(), &entry);
    if (status != GZC_OK) break;
    writer.Begin(static_cast<uint32_t>(i), targets[i]);
    Sink sink{[](void* w, const unsigned char* bytes, size_t n) { return static_cast<TargetWriter*>(w)->Put(bytes, n); },
              &writer};
    status = dekompresjagz(tmp, entry, &sink, false, buf.data());
    writer.End();
  }
  uint32_t writerFailedAt = 0;
  GzcStatus writerStatus = writer.Finish(&writerFailedAt);
  if (writerStatus != GZC_OK && (status == GZC_OK || writerFailedAt <= failedAt)) status = writerStatus;
  if (status == GZC_OK && crc32(0, true) != head.stored) status = GZC_ERR_CHECKSUM;
  std::vector<std::string> wrote = std::move(writer.wrote);
  if (status != GZC_OK) {
    // Only what this call wrote goes; files that were there before and not named stay.
    for (const std::string& path : wrote) ops->remove(ops->ctx, path.c_str());
    for (auto it = writer.createdDirs.rbegin(); it != writer.createdDirs.rend(); ++it)
      ops->removeDir(ops->ctx, it->c_str());
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
    Copied entry;
    status = przepiszzgzc(src, head.t[i + 2] - head.t[i + 1], tmp, buf.data(), &entry);
    if (status == GZC_OK) status = dekompresjagz(tmp, entry, nullptr, true, buf.data());
    if (status != GZC_OK) return status;
  }
  return crc32(0, true) == head.stored ? GZC_OK : GZC_ERR_CHECKSUM;
}

// Whether an archive ending at `end` ends the installer's data: exactly at `dataEnd`, or, in a
// signed file, before the fewer than PE_CERT_ALIGN zeros that align the certificate table.
static bool ChainsToEnd(const GzcFileOps* ops, void* file, uint64_t end, uint64_t dataEnd, bool signedFile) {
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
  // One pass collects every "rc.bin" and every "GZC"; the last bytes of a buffer are looked at
  // again with the next one, and `from` keeps a position from being taken twice.
  std::vector<uint64_t> markers, magics;
  std::vector<unsigned char> buf(kBufSize + 8);
  size_t carry = 0;
  uint64_t base = 0;  // file offset of buf[0]
  uint64_t markerFrom = 0, magicFrom = 0;
  for (;;) {
    if (base + carry >= dataEnd) break;
    size_t n = ops->read(ops->ctx, file, buf.data() + carry, (size_t)std::min<uint64_t>(kBufSize, dataEnd - base - carry));
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
    GzcSource src{ops, file, dataEnd - at};
    uint32_t stored;
    std::vector<uint32_t> t;
    if (GzcReadTable(src, &stored, &t) != GZC_OK) continue;
    found.push_back({at, t.back()});
    byEnd[at + t.back()].push_back({at, t.back()});
  }
  for (const auto& bin : found) {
    if (!ChainsToEnd(ops, file, bin.first + bin.second, dataEnd, signedFile)) continue;
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
