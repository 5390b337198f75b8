// The solid LZMA kind's packing: the files in list order as one LZMA stream, through the LZMA SDK's
// encoder (single-threaded, so the bytes depend on the files alone).
#include "core/gzclzma.h"

// Not in the installer engine, which only reads.
#if !defined(GZC_NO_LZMA) && !defined(GZC_SINGLE_THREAD)

#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "core/gzcscratch.h"

#ifndef _WIN32
#include <sys/mman.h>
#endif

extern "C" {
#include <LzmaEnc.h>
}

namespace {

constexpr size_t kReadSize = 64 * 1024;

void* SdkAlloc(void*, size_t size) { return std::malloc(size); }
void SdkFree(void*, void* address) { std::free(address); }
ISzAlloc kSdkAlloc = {SdkAlloc, SdkFree};

// The match finder's window and tables (about 11 times the dictionary) are read at random places:
// on 2 MiB pages, where the system gives them for the asking, the processor walks its page tables
// far less often, and the encoder takes about a fifth less time. The bytes stay the same.
void* SdkAllocBig(void*, size_t size) {
#ifdef MADV_HUGEPAGE
  constexpr size_t kHugePage = size_t(2) << 20;
  if (size >= kHugePage && size <= SIZE_MAX - kHugePage) {
    const size_t whole = (size + kHugePage - 1) & ~(kHugePage - 1);
    void* p = nullptr;
    if (posix_memalign(&p, kHugePage, whole) != 0) return nullptr;
    madvise(p, whole, MADV_HUGEPAGE);  // only advice: without it the pages are ordinary ones
    return p;
  }
#endif
  return std::malloc(size);
}
ISzAlloc kSdkAllocBig = {SdkAllocBig, SdkFree};

bool Cancelled(const volatile unsigned char* cancel) { return cancel && __atomic_load_n(cancel, __ATOMIC_RELAXED) == 0; }

// The encoder pulls the files through `in` and pushes the stream through `out`; both run on the
// calling thread, which keeps the hooks as the gzip packing does.
struct Solid {
  ISeqInStream in;
  ISeqOutStream out;
  ICompressProgress progress;
  const GzcFileOps* ops;
  void* arch;
  const std::vector<std::string>* paths;
  const GzcHooks* hooks;
  GzcSolidPackResult* result;
  uint32_t* rec;            // CRC-32 and length of each file
  GzcStatus status = GZC_OK;
  uint32_t file = 0;        // the file being read
  void* src = nullptr;
  uint64_t size = 0, got = 0;
  uLong crc = 0;
  uint64_t written = 0;     // stream bytes written
  short overall = 0;
  int lastOverall = -1, lastCurrent = -1;
  std::chrono::steady_clock::time_point lastReport;

  void Report(short current, bool always) {
    const GzcHooks* h = hooks;
    if (!h || !h->progress) return;
    if (!always && overall == lastOverall && current == lastCurrent) return;
    auto now = std::chrono::steady_clock::now();
    if (!always && h->minIntervalMs && overall == lastOverall && lastCurrent >= 0 &&
        now - lastReport < std::chrono::milliseconds(h->minIntervalMs))
      return;
    lastOverall = overall;
    lastCurrent = current;
    lastReport = now;
    h->progress(h->ctx, overall, current);
  }

  // Opens the next file; false at the end of the list or on a failure (status says which).
  bool OpenNext() {
    while (file < paths->size()) {
      const char* path = (*paths)[file].c_str();
      src = ops->open(ops->ctx, path, false);
      size = got = 0;
      if (!src || !ops->size(ops->ctx, src, &size)) {
        result->unreadable = path;
        status = GZC_ERR_SOURCE;
        return false;
      }
      if (size > 0xFFFFFFFFu) {
        result->huge = path;
        status = GZC_ERR_TOO_LARGE;
        return false;
      }
      crc = ::crc32(0L, Z_NULL, 0);
      if (file > 0 && hooks && hooks->progress) {
        const short lo = hooks->bounds ? hooks->bounds[0] : 0, hi = hooks->bounds ? hooks->bounds[1] : 100;
        overall = static_cast<short>(static_cast<float>(lo) + static_cast<float>(hi - lo) * static_cast<float>(file) /
                                                                 static_cast<float>(paths->size() + 1));
        Report(size ? 0 : 100, false);
      }
      if (size) return true;
      CloseCurrent();
    }
    return false;
  }

  void CloseCurrent() {
    ops->close(ops->ctx, src);
    src = nullptr;
    rec[2 * file] = static_cast<uint32_t>(crc);
    rec[2 * file + 1] = static_cast<uint32_t>(size);
    ++file;
  }

  // Up to `want` bytes of the files, each through the cancel check, the pump and the checksums.
  size_t Read(unsigned char* buf, size_t want) {
    if (status != GZC_OK || (!src && !OpenNext())) return 0;
    const GzcHooks* h = hooks;
    const volatile unsigned char* cancel = h ? h->cancel : nullptr;
    if (Cancelled(cancel)) {
      status = GZC_CANCELLED;
      return 0;
    }
    size_t n = ops->read(ops->ctx, src, buf, static_cast<size_t>(std::min<uint64_t>(want, size - got)));
    if (n == 0) {
      result->unreadable = (*paths)[file];
      status = GZC_ERR_SOURCE;
      return 0;
    }
    if (h && h->pump) {
      if (h->pumpQuiet && h->pumpSkip) {
        for (size_t k = 0; k < n;) {
          size_t run = std::min<size_t>(n - k, h->pumpQuiet(h->ctx));
          if (run == 0) {
            h->pump(h->ctx);
            run = 1;
          } else {
            h->pumpSkip(h->ctx, static_cast<unsigned>(run));
          }
          k += run;
        }
      } else {
        for (size_t k = 0; k < n; ++k) h->pump(h->ctx);
      }
    }
    crc32Block(buf, n);
    crc = ::crc32(crc, buf, static_cast<uInt>(n));
    got += n;
    if (file > 0) Report(static_cast<short>(100 * got / size), false);
    if (got == size) CloseCurrent();
    return n;
  }

  static SRes InRead(void* p, void* buf, size_t* size) {
    Solid* s = reinterpret_cast<Solid*>(static_cast<char*>(p) - offsetof(Solid, in));
    // A short read is fine: the encoder asks again; none at all is the end of the files.
    *size = s->Read(static_cast<unsigned char*>(buf), std::min(*size, kReadSize));
    return s->status == GZC_OK ? SZ_OK : SZ_ERROR_READ;
  }
  static size_t OutWrite(void* p, const void* buf, size_t size) {
    Solid* s = reinterpret_cast<Solid*>(static_cast<char*>(p) - offsetof(Solid, out));
    if (!s->ops->write(s->ops->ctx, s->arch, buf, size)) {
      if (s->status == GZC_OK) s->status = GZC_ERR_WRITE;
      return 0;
    }
    s->written += size;
    return size;
  }
  // Between the encoder's blocks: a cancel stops it, and the caller's window stays alive.
  static SRes OnProgress(void* p, UInt64, UInt64) {
    Solid* s = reinterpret_cast<Solid*>(static_cast<char*>(p) - offsetof(Solid, progress));
    if (s->hooks && s->hooks->idle) s->hooks->idle(s->hooks->ctx);
    if (s->hooks && Cancelled(s->hooks->cancel) && s->status == GZC_OK) s->status = GZC_CANCELLED;
    return s->status == GZC_OK ? SZ_OK : SZ_ERROR_PROGRESS;
  }
};

// Sum of the files' sizes as they are now: the encoder sizes its dictionary by it.
uint64_t Estimate(const GzcFileOps* ops, const std::vector<std::string>& paths) {
  uint64_t total = 0;
  for (const std::string& p : paths) {
    void* f = ops->open(ops->ctx, p.c_str(), false);
    uint64_t size = 0;
    if (f && ops->size(ops->ctx, f, &size)) total += size;
    if (f) ops->close(ops->ctx, f);
  }
  return total;
}

}  // namespace

GzcStatus GzcSolidPack(const GzcFileOps* ops, void* arch, uint64_t at, const std::vector<std::string>& paths,
                       int level, const GzcHooks* hooks, uint32_t* t, GzcSolidPackResult* result) {
  const uint32_t files = static_cast<uint32_t>(paths.size());
  if (files == 0) {
    t[1] = static_cast<uint32_t>(at);
    return GZC_OK;
  }
  uint32_t* rec = static_cast<uint32_t*>(std::calloc(files, 8));
  if (!rec) return GZC_ERR_NO_MEMORY;
  struct Free {
    void* p;
    ~Free() { std::free(p); }
  } freeRec{rec};
  // Records and stream head are written as zeros and filled in once the files are read.
  const uint64_t streamAt = at + 8 * uint64_t(files - 1);
  if (streamAt + GZC_LZMA_HEAD + 8 > 0xFFFFFFFFu) return GZC_ERR_TOO_LARGE;
  for (uint32_t i = 1; i <= files; ++i) t[i] = static_cast<uint32_t>(at + 8 * uint64_t(i - 1));
  {
    unsigned char zero[4096] = {};
    if (!ops->seek(ops->ctx, arch, at)) return GZC_ERR_WRITE;
    for (uint64_t left = streamAt - at + GZC_LZMA_HEAD; left;) {
      size_t chunk = static_cast<size_t>(std::min<uint64_t>(left, sizeof zero));
      if (!ops->write(ops->ctx, arch, zero, chunk)) return GZC_ERR_WRITE;
      left -= chunk;
    }
  }

  CLzmaEncProps props;
  LzmaEncProps_Init(&props);
  props.level = std::min(std::max(level, 0), 9);
  props.reduceSize = static_cast<UInt32>(std::min<uint64_t>(Estimate(ops, paths), 0xFFFFFFFFu));
  props.numThreads = 1;
  LzmaEncProps_Normalize(&props);
  // The reader's bound on the dictionary holds whatever the level.
  if (props.dictSize > GZC_LZMA_DICT_MAX) props.dictSize = GZC_LZMA_DICT_MAX;

  Solid s;
  s.in.Read = Solid::InRead;
  s.out.Write = Solid::OutWrite;
  s.progress.Progress = Solid::OnProgress;
  s.ops = ops;
  s.arch = arch;
  s.paths = &paths;
  s.hooks = hooks;
  s.result = result;
  s.rec = rec;
  unsigned char head[GZC_LZMA_HEAD] = {};
  CLzmaEncHandle enc = LzmaEnc_Create(&kSdkAlloc);
  if (!enc) return GZC_ERR_NO_MEMORY;
  SizeT propsSize = LZMA_PROPS_SIZE;
  SRes res = LzmaEnc_SetProps(enc, &props);
  if (res == SZ_OK) res = LzmaEnc_WriteProperties(enc, head, &propsSize);
  if (res == SZ_OK) res = LzmaEnc_Encode(enc, &s.out, &s.in, &s.progress, &kSdkAlloc, &kSdkAllocBig);
  LzmaEnc_Destroy(enc, &kSdkAlloc, &kSdkAllocBig);
  if (s.src) ops->close(ops->ctx, s.src);
  if (s.status != GZC_OK) return s.status;
  if (res == SZ_ERROR_MEM) return GZC_ERR_NO_MEMORY;
  if (res != SZ_OK || s.file != files) return GZC_ERR_WRITE;

  uint64_t total = 0;
  for (uint32_t i = 0; i < files; ++i) total += rec[2 * i + 1];
  PutLE32(head + 5, static_cast<uint32_t>(total));
  PutLE32(head + 9, static_cast<uint32_t>(total >> 32));
  unsigned char last[8];
  PutLE32(last, rec[2 * (files - 1)]);
  PutLE32(last + 4, rec[2 * (files - 1) + 1]);
  const uint64_t end = streamAt + GZC_LZMA_HEAD + s.written + 8;
  if (end > 0xFFFFFFFFu) return GZC_ERR_TOO_LARGE;
  if (!ops->write(ops->ctx, arch, last, 8)) return GZC_ERR_WRITE;
  std::vector<unsigned char> raw(8 * size_t(files - 1));
  for (uint32_t i = 0; i + 1 < files; ++i) {
    PutLE32(&raw[8 * i], rec[2 * i]);
    PutLE32(&raw[8 * i + 4], rec[2 * i + 1]);
  }
  if (!ops->seek(ops->ctx, arch, at) || (!raw.empty() && !ops->write(ops->ctx, arch, raw.data(), raw.size())) ||
      !ops->write(ops->ctx, arch, head, sizeof head) || !ops->seek(ops->ctx, arch, end))
    return GZC_ERR_WRITE;
  t[files + 1] = static_cast<uint32_t>(end);
  if (hooks && hooks->progress) {
    s.overall = hooks->bounds ? hooks->bounds[1] : 100;
    s.Report(100, true);
  }
  return GZC_OK;
}

#endif
