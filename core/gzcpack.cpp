// GZC packing: the folder walk and list writer, and packing a folder into an archive with the
// compression spread over threads while the reading, the per-byte points and the checksum stay on
// the calling thread in list order.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>
#include <vector>

#include "core/alloccheck.h"
#include "core/gzcformat.h"
#include "core/gzclzma.h"
#include "core/gzcscratch.h"

// Each member is completed with gzflush(Z_FINISH), which ends one gzip member and lets the next
// gzwrite start a new one in zlib's newer gzip-file code.
#if ZLIB_VERNUM < 0x1240
#error "zlib 1.2.4 or later is needed"
#endif

namespace {

// The cancel flag is written by another thread: each check is an atomic load (a plain load on x86).
bool Cancelled(const volatile unsigned char* cancel) { return __atomic_load_n(cancel, __ATOMIC_RELAXED) == 0; }
bool Stopping(const GzcHooks* h) { return h && h->cancel && Cancelled(h->cancel); }

// ---- Walk and list writer ----------------------------------------------------------------------
struct Walk {
  const GzcFileOps* ops;
  std::vector<std::string> lines;       // relative paths, '\' separated
  std::vector<std::string>* skipped;
  GzcPackResult* result;
  bool utf8;                            // names are UTF-8 and must travel, or the packing stops
  bool refused = false;
  const GzcPackJob* job = nullptr;      // set when it has a file to leave out
  std::string outFolder, outName;       // that file's path split at its last separator
  bool leftOut = false;
};

// Notes the first name that cannot travel; the walk stops there.
void Refuse(Walk& w, const std::string& full, GzcNameFault why) {
  if (w.refused) return;
  w.refused = true;
  w.result->refused = full;
  w.result->refusedWhy = why;
}

// A name upper-cased as Windows compares names (UTF-16 units; the text need not be UTF-8).
std::u16string CaseKey(const std::string& name) {
  std::u16string key;
  unsigned cp;
  for (size_t i = 0; i < name.size();) {
    if (!GzcNextUtf8(name.data(), name.size(), &i, &cp)) cp = static_cast<unsigned char>(name[i++]);
    if (cp >= 0x10000) {
      key += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      key += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      key += static_cast<char16_t>(GzcUpperCase(cp));
    }
  }
  return key;
}

// Names of one folder that Windows would take for one (equal but for letter case): the first such
// name in the folder's order, or null.
const std::string* CaseTwin(const std::vector<std::pair<std::string, GzcKind>>& names) {
  std::vector<std::pair<std::u16string, size_t>> keys;
  for (size_t i = 0; i < names.size(); ++i) keys.push_back({CaseKey(names[i].first), i});
  std::sort(keys.begin(), keys.end());
  size_t first = SIZE_MAX;
  for (size_t i = 1; i < keys.size(); ++i)
    if (keys[i].first == keys[i - 1].first) first = std::min(first, std::max(keys[i].second, keys[i - 1].second));
  return first == SIZE_MAX ? nullptr : &names[first].first;
}

// ASCII letters without regard to case, either separator for either, a trailing one ignored.
bool SameText(std::string a, std::string b) {
  for (std::string* s : {&a, &b}) {
    for (char& c : *s) c = c == '/' ? '\\' : (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
    if (s->size() > 1 && s->back() == '\\') s->pop_back();
  }
  return a == b;
}

// Whether `folder` of the walk holds the file the job leaves out, and whether a file of that
// folder is it: by identity where the job can tell, else by the text.
bool IsOutputFolder(const Walk& w, const std::string& folder) {
  if (!w.job) return false;
  if (w.job->same) return w.job->same(w.ops->ctx, folder.c_str(), w.outFolder.c_str());
  return SameText(folder, w.outFolder);
}
bool IsOutput(const Walk& w, const std::string& full, const std::string& name) {
  if (w.job->same) return w.job->same(w.ops->ctx, full.c_str(), w.job->leaveOut);
  return SameText(name, w.outName);
}

void CollectName(void* cookie, const char* name, GzcKind kind) {
  static_cast<std::vector<std::pair<std::string, GzcKind>>*>(cookie)->push_back({name, kind});
}

// List writer: records one file met by the walk, relative to the walk's root, if an archive can
// carry it; otherwise notes it as skipped.
void ListFile(Walk& w, const std::string& full, const std::string& rel) {
  if (w.utf8) {
    if (GzcUtf16Units(full.data(), full.size()) > GZC_PATH_MAX) return Refuse(w, full, GZC_NAME_TOO_LONG);
    if (!GzcSafeListLine(rel.data(), rel.size(), true)) return Refuse(w, full, GZC_NAME_FORBIDDEN);
    w.lines.push_back(rel);
    return;
  }
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
  const std::string* twin = w.utf8 ? CaseTwin(names) : nullptr;
  // Only the output's own folder is looked at closely: one comparison a folder, and one a file there.
  const bool outputHere = IsOutputFolder(w, folder);
  for (const auto& [name, searchKind] : names) {
    if (w.refused) break;
    std::string full = folder + GZC_SEP + name;
    std::string relName = rel.empty() ? name : rel + '\\' + name;
    if (w.utf8) {
      // What no Windows could hold under this name stops the packing (links and devices, which
      // the walk leaves out, included: the folder would not install as it is).
      if (!GzcValidUtf8(name.data(), name.size())) Refuse(w, full, GZC_NAME_NOT_UTF8);
      else if (GzcForbiddenName(name.data(), name.size())) Refuse(w, full, GZC_NAME_FORBIDDEN);
      else if (twin == &name) Refuse(w, full, GZC_NAME_CASE);
      else if (GzcUtf16Units(full.data(), full.size()) > GZC_PATH_MAX) Refuse(w, full, GZC_NAME_TOO_LONG);
      if (w.refused) break;
    }
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
      if (outputHere && IsOutput(w, full, name)) w.leftOut = true;
      else ListFile(w, full, relName);
    } else if (w.skipped) {
      // Links (which could loop), devices, pipes, and entries gone since the search.
      w.skipped->push_back(full);
    }
  }
  return true;
}

// ---- Progress ----------------------------------------------------------------------------------
struct PackState {
  const GzcHooks* hooks;
  uint32_t IlePlikow;
  std::string unreadable;  // the file that stopped the packing with GZC_ERR_SOURCE
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

// ---- Compressors -------------------------------------------------------------------------------
// Every file is read in pieces of kPieceSize at fixed offsets. Each piece is deflated on its own,
// with the 32 KiB before it as its dictionary, and ends on a byte boundary (a sync flush; the
// file's last piece ends the deflate stream), so that the pieces of one large file are compressed
// on every thread at once and are joined as they are. A member's bytes depend on the file and the
// mode alone, never on the thread count; a file of one piece gets the bytes of one deflate pass.
constexpr size_t kPieceSize = 128 * 1024;
constexpr size_t kDictSize = 32 * 1024;
// Pieces read but not yet in the archive, per compressing thread: the whole read-ahead. With the
// output room and zlib's state this is GZC_PACK_THREAD_MEMORY a thread.
constexpr size_t kPiecesPerThread = 8;
constexpr unsigned kMaxThreads = GZC_PACK_MAX_THREADS;
static_assert(kPiecesPerThread * (kDictSize + kPieceSize + kPieceSize + kPieceSize / 16 + 64) + (270u << 10) <=
                  GZC_PACK_THREAD_MEMORY,
              "the figure the header states");
// Members go into the archive through a buffer of this size.
constexpr size_t kOutSize = 1 << 20;
// Waking a thread is a call into the system (under Wine, a round trip to its server): the
// compressors are woken once a piece's worth of data waits, or half the read-ahead's pieces, and
// whenever the calling thread is about to wait; between those they run on by themselves. A folder
// of small files thus costs no wake-up per file.
constexpr size_t kPiecesPerWake = kPiecesPerThread / 2;
// How long the calling thread waits for its compressors before it looks up (the idle hook).
constexpr std::chrono::milliseconds kIdleTick(5);
// Every member's header names the same system (zlib's code for Windows), so that an archive's bytes
// do not depend on the platform that packed it.
constexpr unsigned char kGzipOsCode = 10;

// The level and strategy a gzopen mode ("wb6", "wb9h", ...) asks for.
struct DeflateMode {
  int level = 6;
  int strategy = Z_DEFAULT_STRATEGY;
};
DeflateMode ParseMode(const char* mode) {
  DeflateMode m;
  for (const char* c = mode; *c; ++c) {
    if (*c >= '0' && *c <= '9') m.level = *c - '0';
    else if (*c == 'f') m.strategy = Z_FILTERED;
    else if (*c == 'h') m.strategy = Z_HUFFMAN_ONLY;
    else if (*c == 'R') m.strategy = Z_RLE;
    else if (*c == 'F') m.strategy = Z_FIXED;
  }
  return m;
}

// One piece of one entry's file, from the calling thread's read to its place in the archive.
struct Piece {
  std::unique_ptr<unsigned char[]> in;  // kDictSize bytes of dictionary, then up to kPieceSize
  std::vector<unsigned char> out;       // its deflate data (the compressor's)
  uint32_t index = 0;                   // its entry
  bool first = false, last = false;     // the first and the last piece of the member
  bool dict = false;                    // in[0, kDictSize) holds the data before it
  size_t n = 0, outLen = 0;
  uLong crc = 0;                        // CRC-32 of its data
  GzcStatus status = GZC_OK;
  bool done = false;                    // compressed; under the lock
};

// A piece that deflate cannot shrink (compressed or encrypted data) is stored: deflate would spend
// as long on it as on text and emit stored blocks all the same. Two tests in integers, so that
// every platform decides alike: its byte counts leave an order-0 code next to nothing to gain (a
// chi-square over the counts: random data scores about 255, compressed data up to about one per 100 bytes,
// text and code far more), and no 8-byte string recurs within it and the dictionary before it,
// where deflate would find its matches (sampled at the positions that the string's own hash
// selects, one in 64, so that both copies of a repeat are sampled alike). Below kStoredTestMin
// bytes a piece is always deflated.
constexpr size_t kStoredTestMin = 1024;
bool FlatCounts(const unsigned char* data, size_t n) {
  uint32_t count[4][256] = {};  // four tables: a run of one byte does not wait on one counter
  size_t i = 0;
  for (; i + 4 <= n; i += 4) {
    ++count[0][data[i]];
    ++count[1][data[i + 1]];
    ++count[2][data[i + 2]];
    ++count[3][data[i + 3]];
  }
  for (; i < n; ++i) ++count[0][data[i]];
  // chi-square = sum over the byte values of (256 c - n)^2 / (256 n); at most n / 16 (an entropy
  // at most half a percent below 8 bits a byte), or 400 for short pieces.
  uint64_t sum = 0;
  for (unsigned b = 0; b < 256; ++b) {
    const int64_t d = int64_t(count[0][b] + count[1][b] + count[2][b] + count[3][b]) * 256 - int64_t(n);
    sum += uint64_t(d * d);
  }
  return sum <= std::max<uint64_t>(n / 16, 400) * 256 * uint64_t(n);
}
// Whether 8-byte strings of [from, end) recur in it on more than about 1 % of its bytes.
bool Repeats(const unsigned char* from, const unsigned char* end, size_t n) {
  constexpr unsigned kSlots = 4096;
  uint64_t seen[kSlots] = {};
  size_t hits = 0;
  for (const unsigned char* p = from; p + 8 <= end; ++p) {
    uint32_t lo, hi;
    std::memcpy(&lo, p, 4);
    std::memcpy(&hi, p + 4, 4);
    const uint32_t h = lo * 0x9E3779B1u ^ hi * 0x85EBCA77u;
    if (h >> 26) continue;
    const uint64_t w = uint64_t(hi) << 32 | lo;
    uint64_t& slot = seen[(h >> 14) & (kSlots - 1)];
    if (slot == w && ++hits * 6400 >= n) return true;
    slot = w;
  }
  return false;
}
bool LooksRandom(const Piece& p) {
  const unsigned char* data = p.in.get() + kDictSize;
  return p.n >= kStoredTestMin && FlatCounts(data, p.n) && !Repeats(p.dict ? p.in.get() : data, data + p.n, p.n);
}

class Packer {
 public:
  Packer(PackState& st, const GzcFileOps* ops, const char* mode, void* arch, std::vector<uint32_t>& t)
      : st_(st), ops_(ops), mode_(ParseMode(mode)), arch_(arch), t_(t), pos_(t[0]) {
    const GzcHooks* h = st.hooks;
    cancel_ = h ? h->cancel : nullptr;
  }
  ~Packer() { Stop(); }
  Packer(const Packer&) = delete;
  Packer& operator=(const Packer&) = delete;

  // Whether the last kompresjagz met a file of 4 GiB or more.
  bool Huge() const { return huge_; }

  // Starts the compressing threads; gzTmp receives the list's member, as a copy.
  GzcStatus Start(const char* gzTmp, unsigned threads) {
    ALLOC_TRY {
      ring_.resize(size_t(threads) * kPiecesPerThread);
      out_.resize(kOutSize);
      for (unsigned i = 0; i < threads; ++i) threads_.emplace_back([this] { Run(); });
    } ALLOC_CATCH {
      return GZC_ERR_NO_MEMORY;
    }
#if defined(__cpp_exceptions)
    catch (...) {  // a thread that cannot start
      return GZC_ERR_NO_MEMORY;
    }
#endif
    tmp_ = ops_->open(ops_->ctx, gzTmp, true);
    return tmp_ ? GZC_OK : GZC_ERR_TEMP;
  }

  // Ends the threads (what they still hold is dropped) and frees the pieces.
  void Stop() {
    {
      std::lock_guard<std::mutex> lock(mu_);
      quit_ = true;
    }
    work_.notify_all();
    for (std::thread& t : threads_)
      if (t.joinable()) t.join();
    threads_.clear();
    if (tmp_) ops_->close(ops_->ctx, tmp_);
    tmp_ = nullptr;
    ring_.clear();
  }

  // kompresjagz: reads one file, running the per-byte points over it, and hands its pieces to the
  // compressors as the member of entry `index`. A file that cannot be opened, or ends before the
  // length it had when opened, stops the packing (an empty or short member would install as a
  // broken file). Position 0 (the list and the first file) reports no progress.
  GzcStatus kompresjagz(uint32_t index, const char* path, uint32_t position) {
    void* src = ops_->open(ops_->ctx, path, false);
    uint64_t size = 0;
    if (!src || !ops_->size(ops_->ctx, src, &size)) {
      if (src) ops_->close(ops_->ctx, src);
      return Unreadable(path);
    }
    if (size > 0xFFFFFFFFu) {
      ops_->close(ops_->ctx, src);
      huge_ = true;
      return GZC_ERR_TOO_LARGE;
    }
    const uint32_t length = static_cast<uint32_t>(size);
    const GzcHooks* h = st_.hooks;
    const volatile unsigned char* cancel = cancel_;
    void (*pump)(void*) = h ? h->pump : nullptr;
    unsigned (*pumpQuiet)(void*) = pump && h->pumpSkip ? h->pumpQuiet : nullptr;
    void* hctx = h ? h->ctx : nullptr;
    const bool report = position != 0 && h && h->progress;
    const short overall = report ? OverallValue(h, position, st_.IlePlikow) : 0;
    uint64_t next = report ? 1 : UINT64_MAX;  // the first byte always reports
    uint64_t count = 0, got = 0;
    bool stop = false, first = true;
    GzcStatus status = GZC_OK;
    for (bool last = false; !last;) {
      // Even after a cancel or an error the member gets its last piece: it holds what was read.
      Piece* p = TakePiece(&status);
      if (!p) break;
      unsigned char* data = p->in.get() + kDictSize;
      size_t want = stop || status != GZC_OK ? 0 : static_cast<size_t>(std::min<uint64_t>(kPieceSize, length - got));
      size_t n = 0;
      while (n < want) {
        size_t r = ops_->read(ops_->ctx, src, data + n, want - n);
        if (r == 0) break;
        n += r;
      }
      got += n;
      size_t k = 0;
      while (k < n) {
        // The bytes before the next point that does more than count (a progress change or a
        // pump that may look at messages) go as a run, with one look at the cancel flag: a flag
        // that turns while the run passes is seen at the next point, as if it had turned just
        // after the run.
        size_t run = 0;
        if (!pump || pumpQuiet) {
          run = n - k;
          if (next != UINT64_MAX) run = next > count + 1 ? std::min<uint64_t>(run, next - count - 1) : 0;
          if (pumpQuiet) run = std::min<size_t>(run, pumpQuiet(hctx));
        }
        if (run == 0) {  // this byte's points one by one
          if (cancel && Cancelled(cancel)) {  // this byte is not packed
            stop = true;
            break;
          }
          ++count;
          if (count >= next) next = ReportFile(st_, overall, count, length);
          if (pump) pump(hctx);
          ++k;
          continue;
        }
        const size_t passed = cancel && Cancelled(cancel) ? 0 : run;
        count += passed;
        if (pumpQuiet) h->pumpSkip(hctx, static_cast<unsigned>(passed));
        k += passed;
        if (passed < run) {  // the byte after them is not packed
          stop = true;
          break;
        }
      }
      crc32Block(data, k);
      // The read ended early by itself (an error, or the file was cut meanwhile), not by a cancel.
      if (n < want && status == GZC_OK && !stop && !(cancel && Cancelled(cancel))) status = Unreadable(path);
      last = stop || status != GZC_OK || got == length;
      Hand(*p, index, first, last, k);
      first = false;
    }
    ops_->close(ops_->ctx, src);
    if (status == GZC_OK) status = przepiszdogzc(false);
    return status;
  }

  // przepiszdogzc: appends the pieces that are compressed, in list order, and records the members'
  // offsets; with `all`, waits until every piece handed over is in.
  GzcStatus przepiszdogzc(bool all) {
    if (appendStatus_ != GZC_OK) return appendStatus_;
    while (appended_ < handed_) {
      Piece& p = ring_[appended_ % ring_.size()];
      {
        std::unique_lock<std::mutex> lock(mu_);
        if (!p.done) {
          if (!all) return GZC_OK;
          WaitLocked(lock);
          continue;
        }
      }
      GzcStatus s = Append(p);
      if (s != GZC_OK) return appendStatus_ = s;
      ++appended_;
    }
    return all ? Flush() : GZC_OK;
  }

  // t[N]: the archive's length once every member is in.
  uint64_t End() const { return pos_; }

 private:
  // Waits a moment for the compressors (the lock held), then serves the idle hook without it.
  void WaitLocked(std::unique_lock<std::mutex>& lock) {
    WakeLocked();
    waitFor_ = &ring_[appended_ % ring_.size()];
    callerWaits_ = true;
    callerWake_.wait_for(lock, kIdleTick);
    callerWaits_ = false;
    lock.unlock();
    Idle();
  }

  // The next piece to fill: free once what it held is in the archive. Meanwhile what is compressed
  // is appended and the idle hook served. Null on an error (memory, the archive).
  Piece* TakePiece(GzcStatus* status) {
    while (handed_ - appended_ >= ring_.size()) {
      Piece& oldest = ring_[appended_ % ring_.size()];
      {
        std::unique_lock<std::mutex> lock(mu_);
        if (!oldest.done) {
          WaitLocked(lock);
          continue;
        }
      }
      GzcStatus s = przepiszdogzc(false);
      if (s != GZC_OK) {
        *status = s;
        return nullptr;
      }
    }
    Piece& p = ring_[handed_ % ring_.size()];
    if (!p.in) {
      p.in.reset(new (std::nothrow) unsigned char[kDictSize + kPieceSize]);
      if (!p.in) {
        *status = GZC_ERR_NO_MEMORY;
        return nullptr;
      }
    }
    return &p;
  }

  void Hand(Piece& p, uint32_t index, bool first, bool last, size_t n) {
    p.index = index;
    p.first = first;
    p.last = last;
    p.n = n;
    p.dict = !first;
    if (p.dict) {  // the piece before it is full, and stays until this one is in
      const Piece& before = ring_[(handed_ + ring_.size() - 1) % ring_.size()];
      std::memcpy(p.in.get(), before.in.get() + kPieceSize, kDictSize);
    }
    std::lock_guard<std::mutex> lock(mu_);
    p.done = false;
    ++handed_;
    waiting_ += n + 1;
    if (waiting_ > kPieceSize || handed_ - started_ >= kPiecesPerWake * threads_.size()) WakeLocked();
  }

  // Wakes the compressors for what is handed over; with the lock held.
  void WakeLocked() {
    if (waiting_ == 0) return;
    waiting_ = 0;
    work_.notify_all();
  }

  GzcStatus Unreadable(const char* path) {
    st_.unreadable = path;
    return GZC_ERR_SOURCE;
  }

  void Idle() {
    const GzcHooks* h = st_.hooks;
    if (h && h->idle) h->idle(h->ctx);
  }

  // Puts bytes of the current member into the archive (and into gz.tmp while it is the list's).
  GzcStatus Put(const unsigned char* bytes, size_t n) {
    if (copyToTmp_ && !ops_->write(ops_->ctx, tmp_, bytes, n)) return GZC_ERR_TEMP;
    pos_ += n;
    while (n) {
      size_t room = std::min(n, out_.size() - outLen_);
      std::memcpy(out_.data() + outLen_, bytes, room);
      outLen_ += room;
      bytes += room;
      n -= room;
      if (outLen_ == out_.size()) {
        GzcStatus s = Flush();
        if (s != GZC_OK) return s;
      }
    }
    return GZC_OK;
  }

  GzcStatus Flush() {
    if (outLen_ && !ops_->write(ops_->ctx, arch_, out_.data(), outLen_)) return GZC_ERR_WRITE;
    outLen_ = 0;
    return GZC_OK;
  }

  // Appends one piece: the member's gzip header before its first, the trailer after its last.
  GzcStatus Append(const Piece& p) {
    if (p.status != GZC_OK) return p.status;
    GzcStatus s = GZC_OK;
    if (p.first) {
      if (p.index > 0 && pos_ > 0xFFFFFFFFu) return GZC_ERR_TOO_LARGE;
      t_[p.index] = static_cast<uint32_t>(pos_);
      memberCrc_ = 0;
      memberLength_ = 0;
      copyToTmp_ = p.index == 0 && tmp_;
      // What zlib's gzip writer puts there: no name, no time, the level's hint, the system.
      const unsigned char xfl = mode_.level == 9 ? 2 : mode_.strategy >= Z_HUFFMAN_ONLY || mode_.level < 2 ? 4 : 0;
      const unsigned char head[10] = {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, xfl, kGzipOsCode};
      s = Put(head, sizeof head);
    }
    if (s == GZC_OK) s = Put(p.out.data(), p.outLen);
    memberCrc_ = crc32_combine(memberCrc_, p.crc, static_cast<z_off_t>(p.n));
    memberLength_ += p.n;
    if (s == GZC_OK && p.last) {
      unsigned char tail[8];
      PutLE32(tail, static_cast<uint32_t>(memberCrc_));
      PutLE32(tail + 4, static_cast<uint32_t>(memberLength_));
      s = Put(tail, sizeof tail);
      if (copyToTmp_) {
        copyToTmp_ = false;
        if (!ops_->close(ops_->ctx, tmp_) && s == GZC_OK) s = GZC_ERR_TEMP;
        tmp_ = nullptr;
      }
    }
    return s;
  }

  // Deflates one piece into its output room, which grows when the data does not shrink enough.
  GzcStatus Compress(z_stream& zs, int& level, Piece& p) {
    // After a cancel the rest is only stored: the members still hold it, and the packing ends
    // within moments. A piece that looks random is stored too (LooksRandom).
    const unsigned char* data = p.in.get() + kDictSize;
    const int want = (cancel_ && Cancelled(cancel_)) || LooksRandom(p) ? 0 : mode_.level;
    if (deflateReset(&zs) != Z_OK || (want != level && deflateParams(&zs, want, mode_.strategy) != Z_OK))
      return GZC_ERR_NO_MEMORY;
    level = want;
    if (p.dict && deflateSetDictionary(&zs, p.in.get(), kDictSize) != Z_OK) return GZC_ERR_NO_MEMORY;
    p.crc = ::crc32(0L, data, static_cast<uInt>(p.n));
    zs.next_in = const_cast<unsigned char*>(data);
    zs.avail_in = static_cast<uInt>(p.n);
    const int flush = p.last ? Z_FINISH : Z_SYNC_FLUSH;
    p.outLen = 0;
    for (;;) {
      if (p.out.size() - p.outLen < 64) {
        ALLOC_TRY {
          p.out.resize(p.out.empty() ? kPieceSize + kPieceSize / 16 + 64 : p.out.size() + kPieceSize / 4);
        } ALLOC_CATCH {
          return GZC_ERR_NO_MEMORY;
        }
      }
      zs.next_out = p.out.data() + p.outLen;
      zs.avail_out = static_cast<uInt>(p.out.size() - p.outLen);
      int r = deflate(&zs, flush);
      p.outLen = p.out.size() - zs.avail_out;
      if (r == Z_STREAM_END) return GZC_OK;
      if (r != Z_OK && r != Z_BUF_ERROR) return GZC_ERR_NO_MEMORY;
      if (flush == Z_SYNC_FLUSH && zs.avail_in == 0 && zs.avail_out != 0) return GZC_OK;
    }
  }

  // A compressing thread: takes the oldest piece nobody compresses yet.
  void Run() {
    z_stream zs{};
    int level = mode_.level;
    bool ready = deflateInit2(&zs, level, Z_DEFLATED, -MAX_WBITS, 8, mode_.strategy) == Z_OK;
    for (;;) {
      // Small pieces (small files) are taken a handful at a time (this thread's share of what
      // waits), so that the lock is not taken (and, under contention, the system called) twice
      // for every file.
      uint64_t first, count = 0;
      {
        std::unique_lock<std::mutex> lock(mu_);
        work_.wait(lock, [&] { return quit_ || started_ < handed_; });
        if (quit_) break;
        first = started_;
        const uint64_t share = (handed_ - started_ + threads_.size() - 1) / threads_.size();  // the others' too
        for (size_t bytes = 0; started_ < handed_ && count < share && bytes < kPieceSize; ++count)
          bytes += ring_[started_++ % ring_.size()].n + 1;
      }
      for (uint64_t i = 0; i < count; ++i) {
        Piece& p = ring_[(first + i) % ring_.size()];
        p.status = ready ? Compress(zs, level, p) : GZC_ERR_NO_MEMORY;
      }
      std::lock_guard<std::mutex> lock(mu_);
      bool waited = false;
      for (uint64_t i = 0; i < count; ++i) {
        Piece& p = ring_[(first + i) % ring_.size()];
        p.done = true;
        waited = waited || &p == waitFor_;
      }
      if (callerWaits_ && waited) callerWake_.notify_one();
    }
    if (ready) deflateEnd(&zs);
  }

  PackState& st_;
  const GzcFileOps* ops_;
  const DeflateMode mode_;
  void* arch_;
  std::vector<uint32_t>& t_;
  const volatile unsigned char* cancel_ = nullptr;

  std::mutex mu_;
  std::condition_variable work_;        // a piece was handed over, or quit
  std::condition_variable callerWake_;  // a piece was compressed
  bool callerWaits_ = false;
  const Piece* waitFor_ = nullptr;  // the piece the calling thread waits for
  size_t waiting_ = 0;              // bytes (and pieces) handed over since the last wake-up
  bool quit_ = false;
  uint64_t handed_ = 0;   // pieces handed over (written by the calling thread, under the lock)
  uint64_t started_ = 0;  // pieces a compressor took
  std::vector<Piece> ring_;
  std::vector<std::thread> threads_;

  // The calling thread's own.
  uint64_t appended_ = 0;  // pieces in the archive
  uint64_t pos_;           // where the next byte goes
  uLong memberCrc_ = 0;
  uint64_t memberLength_ = 0;
  std::vector<unsigned char> out_;
  size_t outLen_ = 0;
  void* tmp_ = nullptr;    // gz.tmp, until the list's member is in it
  bool copyToTmp_ = false;
  GzcStatus appendStatus_ = GZC_OK;
  bool huge_ = false;
};

std::string JoinForFiles(const char* folder, const std::string& line) {
  std::string path = std::string(folder) + GZC_SEP + line;
  for (size_t i = std::strlen(folder) + 1; i < path.size(); ++i)
    if (path[i] == '\\' || path[i] == '/') path[i] = GZC_SEP;
  return path;
}

// As many compressing threads as the machine has processors, within the bound.
unsigned ThreadsFor(unsigned asked) {
  unsigned n = asked ? asked : std::thread::hardware_concurrency();
  return std::min(std::max(n, 1u), kMaxThreads);
}

GzcStatus packgzc(PackState& st, const GzcPackJob& job, const std::vector<std::string>& lines,
                  GzcPackResult* result) {
  const GzcFileOps* ops = OpsOr(job.files);
  const uint32_t n = st.IlePlikow;
  void* arch = ops->open(ops->ctx, job.archive, true);
  if (!arch) return GZC_ERR_ARCHIVE;
  auto fail = [&](GzcStatus s) {
    ops->close(ops->ctx, arch);
    return s;
  };

  unsigned char head[GZC_HEADER_SIZE];
  std::memcpy(head, header_, sizeof header_);
  // The list is flagged UTF-8 only where it holds more than plain ASCII, so that an archive of
  // ASCII names keeps the bytes it always had.
  uint32_t flags = 0;
  if (job.utf8Names)
    for (const std::string& line : lines)
      for (char c : line)
        if (static_cast<unsigned char>(c) >= 0x80) flags = GZC_FLAG_UTF8;
  PutLE32(head + 7, flags | job.kind << GZC_ARCHIVE_KIND_SHIFT);
  PutLE32(head + 11, n);
  if (!ops->write(ops->ctx, arch, head, sizeof head)) return fail(GZC_ERR_WRITE);

  std::vector<uint32_t> t;
  ALLOC_TRY {
    t.assign(size_t(n) + 1, 0);
  } ALLOC_CATCH {
    return fail(GZC_ERR_NO_MEMORY);
  }
  // The table stays zero until the archive is complete.
  {
    unsigned char zero[4096] = {};
    for (uint64_t left = 4 * (uint64_t(n) + 1); left;) {
      size_t chunk = static_cast<size_t>(std::min<uint64_t>(left, sizeof zero));
      if (!ops->write(ops->ctx, arch, zero, chunk)) return fail(GZC_ERR_WRITE);
      left -= chunk;
    }
  }
  t[0] = 19 + 4 * n;

  GzcStatus status = GZC_OK;
  uint64_t end = 0;
  {
    Packer packer(st, ops, job.mode ? job.mode : "wb6", arch, t);
    result->threads = ThreadsFor(job.threads);
    status = packer.Start(job.gzTmp, result->threads);
    if (status == GZC_OK) status = packer.kompresjagz(0, job.listFile, 0);
    for (uint32_t i = 1; job.kind == GZC_ARCHIVE_GZIP && status == GZC_OK && i < n && !Stopping(st.hooks); ++i) {
      std::string path = JoinForFiles(job.folder, lines[i - 1]);
      status = packer.kompresjagz(i, path.c_str(), i - 1);
      if (status == GZC_ERR_TOO_LARGE && packer.Huge()) {
        result->refused = path;
        result->refusedWhy = GZC_NAME_HUGE;
      }
    }
    if (status == GZC_OK) status = packer.przepiszdogzc(true);
    end = packer.End();
    packer.Stop();
  }
  if (job.kind == GZC_ARCHIVE_LZMA && status == GZC_OK && !Stopping(st.hooks)) {
    // The files as one solid stream behind the list's member.
    std::vector<std::string> paths;
    ALLOC_TRY {
      for (const std::string& line : lines) paths.push_back(JoinForFiles(job.folder, line));
    } ALLOC_CATCH {
      return fail(GZC_ERR_NO_MEMORY);
    }
    const char* mode = job.mode ? job.mode : "wb6";
    const int level = mode[0] && mode[1] && mode[2] >= '0' && mode[2] <= '9' ? mode[2] - '0' : 6;
    GzcSolidPackResult solid;
    status = GzcSolidPack(ops, arch, end, paths, level, st.hooks, t.data(), &solid);
    if (status == GZC_ERR_SOURCE) st.unreadable = solid.unreadable;
    if (status == GZC_ERR_TOO_LARGE && !solid.huge.empty()) {
      result->refused = solid.huge;
      result->refusedWhy = GZC_NAME_HUGE;
    }
    if (status == GZC_CANCELLED) status = GZC_OK;  // as a cancel of the gzip kind, below
    end = t[n];
  }
  if (status != GZC_OK) return fail(status);
  if (Stopping(st.hooks)) {
    ops->close(ops->ctx, arch);
    return GZC_CANCELLED;
  }
  if (st.hooks && st.hooks->progress) {
    short hi = st.hooks->bounds ? st.hooks->bounds[1] : 100;
    Forward(st, hi, 100, true);
  }
  if (end > 0xFFFFFFFFu) return fail(GZC_ERR_TOO_LARGE);
  t[n] = static_cast<uint32_t>(end);

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

}  // namespace

GzcStatus GzcPack(const GzcPackJob& job, GzcPackResult* result) {
  GzcPackResult local;
  if (!result) result = &local;
  *result = GzcPackResult();
  const GzcFileOps* ops = OpsOr(job.files);
  crc32Reset();

  void* list = ops->open(ops->ctx, job.listFile, true);
  if (!list) return GZC_ERR_LIST_FILE;
  Walk walk{ops, {}, &result->skipped, result, job.utf8Names, false, nullptr, {}, {}, false};
  if (job.leaveOut) {
    walk.job = &job;
    std::string out = job.leaveOut;
    size_t sep = out.find_last_of("\\/");
    walk.outFolder = sep == std::string::npos ? "." : out.substr(0, sep == 0 || out[sep - 1] == ':' ? sep + 1 : sep);
    walk.outName = sep == std::string::npos ? out : out.substr(sep + 1);
  }
  WalkFolder(walk, job.folder, "");  // a folder that cannot be searched packs like an empty one
  result->leftOut = walk.leftOut;
  if (walk.refused) {
    ops->close(ops->ctx, list);
    return GZC_ERR_NAME;
  }
  std::string text;
  for (const std::string& line : walk.lines) text += line + "\r\n";
  bool listOk = ops->write(ops->ctx, list, text.data(), text.size());
  if (!ops->close(ops->ctx, list) || !listOk) return GZC_ERR_LIST_FILE;

  // N + 1 table words must fit, and t[0] = 19 + 4 N must be a 32-bit offset.
  if (walk.lines.size() >= (0xFFFFFFFFu - 19) / 4) return GZC_ERR_TOO_LARGE;
  PackState st;
  st.hooks = job.hooks;
  st.IlePlikow = static_cast<uint32_t>(walk.lines.size()) + 1;
  result->entries = st.IlePlikow;
  GzcStatus status = packgzc(st, job, walk.lines, result);
  result->unreadable = st.unreadable;
  return status;
}

// ---- Names compared as Windows compares them -----------------------------------------------------
namespace {

// Unicode's simple upper case in the Basic Multilingual Plane, as runs: the code points from
// `first` to `last`, every `step`-th, move by `delta`. (A table of our own: the C library's depends
// on which locales a machine has.)
struct UpperRun {
  unsigned short first, last;
  unsigned char step;
  int delta;
};
const UpperRun kUpper[] = {
    {0x0061, 0x007A, 1, -32}, {0x00B5, 0x00B5, 1, 743}, {0x00E0, 0x00F6, 1, -32},
    {0x00F8, 0x00FE, 1, -32}, {0x00FF, 0x00FF, 1, 121}, {0x0101, 0x012F, 2, -1},
    {0x0131, 0x0131, 1, -232}, {0x0133, 0x0137, 2, -1}, {0x013A, 0x0148, 2, -1},
    {0x014B, 0x0177, 2, -1}, {0x017A, 0x017E, 2, -1}, {0x017F, 0x017F, 1, -300},
    {0x0180, 0x0180, 1, 195}, {0x0183, 0x0185, 2, -1}, {0x0188, 0x0188, 1, -1},
    {0x018C, 0x018C, 1, -1}, {0x0192, 0x0192, 1, -1}, {0x0195, 0x0195, 1, 97},
    {0x0199, 0x0199, 1, -1}, {0x019A, 0x019A, 1, 163}, {0x019E, 0x019E, 1, 130},
    {0x01A1, 0x01A5, 2, -1}, {0x01A8, 0x01A8, 1, -1}, {0x01AD, 0x01AD, 1, -1},
    {0x01B0, 0x01B0, 1, -1}, {0x01B4, 0x01B6, 2, -1}, {0x01B9, 0x01B9, 1, -1},
    {0x01BD, 0x01BD, 1, -1}, {0x01BF, 0x01BF, 1, 56}, {0x01C5, 0x01C5, 1, -1},
    {0x01C6, 0x01C6, 1, -2}, {0x01C8, 0x01C8, 1, -1}, {0x01C9, 0x01C9, 1, -2},
    {0x01CB, 0x01CB, 1, -1}, {0x01CC, 0x01CC, 1, -2}, {0x01CE, 0x01DC, 2, -1},
    {0x01DD, 0x01DD, 1, -79}, {0x01DF, 0x01EF, 2, -1}, {0x01F2, 0x01F2, 1, -1},
    {0x01F3, 0x01F3, 1, -2}, {0x01F5, 0x01F5, 1, -1}, {0x01F9, 0x021F, 2, -1},
    {0x0223, 0x0233, 2, -1}, {0x023C, 0x023C, 1, -1}, {0x023F, 0x0240, 1, 10815},
    {0x0242, 0x0242, 1, -1}, {0x0247, 0x024F, 2, -1}, {0x0250, 0x0250, 1, 10783},
    {0x0251, 0x0251, 1, 10780}, {0x0252, 0x0252, 1, 10782}, {0x0253, 0x0253, 1, -210},
    {0x0254, 0x0254, 1, -206}, {0x0256, 0x0257, 1, -205}, {0x0259, 0x0259, 1, -202},
    {0x025B, 0x025B, 1, -203}, {0x025C, 0x025C, 1, 42319}, {0x0260, 0x0260, 1, -205},
    {0x0261, 0x0261, 1, 42315}, {0x0263, 0x0263, 1, -207}, {0x0265, 0x0265, 1, 42280},
    {0x0266, 0x0266, 1, 42308}, {0x0268, 0x0268, 1, -209}, {0x0269, 0x0269, 1, -211},
    {0x026A, 0x026A, 1, 42308}, {0x026B, 0x026B, 1, 10743}, {0x026C, 0x026C, 1, 42305},
    {0x026F, 0x026F, 1, -211}, {0x0271, 0x0271, 1, 10749}, {0x0272, 0x0272, 1, -213},
    {0x0275, 0x0275, 1, -214}, {0x027D, 0x027D, 1, 10727}, {0x0280, 0x0280, 1, -218},
    {0x0282, 0x0282, 1, 42307}, {0x0283, 0x0283, 1, -218}, {0x0287, 0x0287, 1, 42282},
    {0x0288, 0x0288, 1, -218}, {0x0289, 0x0289, 1, -69}, {0x028A, 0x028B, 1, -217},
    {0x028C, 0x028C, 1, -71}, {0x0292, 0x0292, 1, -219}, {0x029D, 0x029D, 1, 42261},
    {0x029E, 0x029E, 1, 42258}, {0x0345, 0x0345, 1, 84}, {0x0371, 0x0373, 2, -1},
    {0x0377, 0x0377, 1, -1}, {0x037B, 0x037D, 1, 130}, {0x03AC, 0x03AC, 1, -38},
    {0x03AD, 0x03AF, 1, -37}, {0x03B1, 0x03C1, 1, -32}, {0x03C2, 0x03C2, 1, -31},
    {0x03C3, 0x03CB, 1, -32}, {0x03CC, 0x03CC, 1, -64}, {0x03CD, 0x03CE, 1, -63},
    {0x03D0, 0x03D0, 1, -62}, {0x03D1, 0x03D1, 1, -57}, {0x03D5, 0x03D5, 1, -47},
    {0x03D6, 0x03D6, 1, -54}, {0x03D7, 0x03D7, 1, -8}, {0x03D9, 0x03EF, 2, -1},
    {0x03F0, 0x03F0, 1, -86}, {0x03F1, 0x03F1, 1, -80}, {0x03F2, 0x03F2, 1, 7},
    {0x03F3, 0x03F3, 1, -116}, {0x03F5, 0x03F5, 1, -96}, {0x03F8, 0x03F8, 1, -1},
    {0x03FB, 0x03FB, 1, -1}, {0x0430, 0x044F, 1, -32}, {0x0450, 0x045F, 1, -80},
    {0x0461, 0x0481, 2, -1}, {0x048B, 0x04BF, 2, -1}, {0x04C2, 0x04CE, 2, -1},
    {0x04CF, 0x04CF, 1, -15}, {0x04D1, 0x052F, 2, -1}, {0x0561, 0x0586, 1, -48},
    {0x10D0, 0x10FA, 1, 3008}, {0x10FD, 0x10FF, 1, 3008}, {0x13F8, 0x13FD, 1, -8},
    {0x1C80, 0x1C80, 1, -6254}, {0x1C81, 0x1C81, 1, -6253}, {0x1C82, 0x1C82, 1, -6244},
    {0x1C83, 0x1C84, 1, -6242}, {0x1C85, 0x1C85, 1, -6243}, {0x1C86, 0x1C86, 1, -6236},
    {0x1C87, 0x1C87, 1, -6181}, {0x1C88, 0x1C88, 1, 35266}, {0x1D79, 0x1D79, 1, 35332},
    {0x1D7D, 0x1D7D, 1, 3814}, {0x1D8E, 0x1D8E, 1, 35384}, {0x1E01, 0x1E95, 2, -1},
    {0x1E9B, 0x1E9B, 1, -59}, {0x1EA1, 0x1EFF, 2, -1}, {0x1F00, 0x1F07, 1, 8},
    {0x1F10, 0x1F15, 1, 8}, {0x1F20, 0x1F27, 1, 8}, {0x1F30, 0x1F37, 1, 8}, {0x1F40, 0x1F45, 1, 8},
    {0x1F51, 0x1F57, 2, 8}, {0x1F60, 0x1F67, 1, 8}, {0x1F70, 0x1F71, 1, 74},
    {0x1F72, 0x1F75, 1, 86}, {0x1F76, 0x1F77, 1, 100}, {0x1F78, 0x1F79, 1, 128},
    {0x1F7A, 0x1F7B, 1, 112}, {0x1F7C, 0x1F7D, 1, 126}, {0x1FB0, 0x1FB1, 1, 8},
    {0x1FBE, 0x1FBE, 1, -7205}, {0x1FD0, 0x1FD1, 1, 8}, {0x1FE0, 0x1FE1, 1, 8},
    {0x1FE5, 0x1FE5, 1, 7}, {0x214E, 0x214E, 1, -28}, {0x2170, 0x217F, 1, -16},
    {0x2184, 0x2184, 1, -1}, {0x24D0, 0x24E9, 1, -26}, {0x2C30, 0x2C5F, 1, -48},
    {0x2C61, 0x2C61, 1, -1}, {0x2C65, 0x2C65, 1, -10795}, {0x2C66, 0x2C66, 1, -10792},
    {0x2C68, 0x2C6C, 2, -1}, {0x2C73, 0x2C73, 1, -1}, {0x2C76, 0x2C76, 1, -1},
    {0x2C81, 0x2CE3, 2, -1}, {0x2CEC, 0x2CEE, 2, -1}, {0x2CF3, 0x2CF3, 1, -1},
    {0x2D00, 0x2D25, 1, -7264}, {0x2D27, 0x2D27, 1, -7264}, {0x2D2D, 0x2D2D, 1, -7264},
    {0xA641, 0xA66D, 2, -1}, {0xA681, 0xA69B, 2, -1}, {0xA723, 0xA72F, 2, -1},
    {0xA733, 0xA76F, 2, -1}, {0xA77A, 0xA77C, 2, -1}, {0xA77F, 0xA787, 2, -1},
    {0xA78C, 0xA78C, 1, -1}, {0xA791, 0xA793, 2, -1}, {0xA794, 0xA794, 1, 48},
    {0xA797, 0xA7A9, 2, -1}, {0xA7B5, 0xA7C3, 2, -1}, {0xA7C8, 0xA7CA, 2, -1},
    {0xA7D1, 0xA7D1, 1, -1}, {0xA7D7, 0xA7D9, 2, -1}, {0xA7F6, 0xA7F6, 1, -1},
    {0xAB53, 0xAB53, 1, -928}, {0xAB70, 0xABBF, 1, -38864}, {0xFF41, 0xFF5A, 1, -32},
};

}  // namespace

unsigned GzcUpperCase(unsigned cp) {
  const UpperRun* end = kUpper + sizeof kUpper / sizeof kUpper[0];
  const UpperRun* r = std::upper_bound(kUpper, end, cp, [](unsigned c, const UpperRun& run) { return c < run.first; });
  if (r == kUpper) return cp;
  --r;
  return cp <= r->last && (cp - r->first) % r->step == 0 ? cp + r->delta : cp;
}

