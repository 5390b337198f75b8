// The member scratch file in memory and zlib's gzip-file reading functions served from it.
#include "engine/memgz.h"

#include <zlib.h>

#include <cstring>

MemScratch* Scratch() {
  static MemScratch scratch;
  return &scratch;
}

bool ScratchOpen(const std::string& path) {
  MemScratch* s = Scratch();
  if (s->disk != INVALID_HANDLE_VALUE) CloseHandle(s->disk);
  s->disk = INVALID_HANDLE_VALUE;
  s->path = path;
  s->data.clear();
  s->onDisk = false;
  // A spilled member of an earlier round must not be read in place of this one. (Only then: a
  // delete per member would cost what keeping the member in memory saves.)
  if (s->spilled) {
    DeleteFileA(path.c_str());
    if (GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES) return false;
    s->spilled = false;
  }
  return true;
}

bool ScratchWrite(const void* bytes, size_t n) {
  MemScratch* s = Scratch();
  if (!s->onDisk && s->data.size() + n > MEM_SCRATCH_MAX) {
    s->disk = CreateFileA(s->path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (s->disk == INVALID_HANDLE_VALUE) return false;
    s->onDisk = true;
    s->spilled = true;
    DWORD done = 0;
    bool ok = s->data.empty() || (WriteFile(s->disk, s->data.data(), (DWORD)s->data.size(), &done, nullptr) && done == s->data.size());
    s->data.clear();
    s->data.shrink_to_fit();
    if (!ok) return false;
  }
  if (!s->onDisk) {
    s->data.append(static_cast<const char*>(bytes), n);
    return true;
  }
  DWORD done = 0;
  return n == 0 || (WriteFile(s->disk, bytes, (DWORD)n, &done, nullptr) && done == n);
}

bool ScratchClose() {
  MemScratch* s = Scratch();
  if (s->disk == INVALID_HANDLE_VALUE) return true;
  bool ok = CloseHandle(s->disk) != 0;
  s->disk = INVALID_HANDLE_VALUE;
  return ok;
}

namespace {
constexpr unsigned kMagic = 0x4D656D47;  // tells a memory reader from a zlib gzFile

// A gzip-file reader over the scratch bytes, with zlib's observable reading rules: gzip members
// are inflated and their trailers checked, further members follow, bytes after the last member
// that do not start a new one are ignored, and data that is not gzip at all is passed through.
struct MemGz {
  unsigned magic = kMagic;
  const unsigned char* data = nullptr;
  size_t size = 0;
  size_t pos = 0;     // next byte of input not yet given to inflate
  z_stream z = {};
  bool direct = false;
  bool done = false;  // no more output
  int err = Z_OK;
  const char* msg = "";
};

bool IsMem(gzFile f) { return f && reinterpret_cast<MemGz*>(f)->magic == kMagic; }

bool GzipAt(const MemGz* g, size_t at) { return g->size - at >= 2 && g->data[at] == 0x1F && g->data[at + 1] == 0x8B; }

void Fail(MemGz* g, int err, const char* msg) {
  g->err = err;
  g->msg = msg;
  g->done = true;
}

int Read(MemGz* g, unsigned char* out, unsigned len) {
  if (g->err != Z_OK && g->err != Z_BUF_ERROR) return -1;
  if (g->direct) {
    size_t n = g->size - g->pos < len ? g->size - g->pos : len;
    memcpy(out, g->data + g->pos, n);
    g->pos += n;
    return (int)n;
  }
  unsigned got = 0;
  while (got < len && !g->done) {
    g->z.next_out = out + got;
    g->z.avail_out = len - got;
    size_t before = g->z.avail_in;
    int r = inflate(&g->z, Z_NO_FLUSH);
    got = len - g->z.avail_out;
    g->pos += before - g->z.avail_in;
    if (r == Z_STREAM_END) {
      // Another member may follow; anything else after a member is ignored.
      if (GzipAt(g, g->pos) && inflateReset(&g->z) == Z_OK) continue;
      g->done = true;
    } else if (r == Z_BUF_ERROR || (r == Z_OK && g->z.avail_in == 0 && g->z.avail_out != 0)) {
      Fail(g, Z_BUF_ERROR, "unexpected end of file");
    } else if (r != Z_OK) {
      Fail(g, Z_DATA_ERROR, g->z.msg ? g->z.msg : "data error");
      return got ? (int)got : -1;
    }
  }
  return (int)got;
}
}  // namespace

extern "C" {
gzFile __real_gzopen(const char* path, const char* mode);
int __real_gzread(gzFile file, voidp buf, unsigned len);
int __real_gzbuffer(gzFile file, unsigned size);
int __real_gzdirect(gzFile file);
const char* __real_gzerror(gzFile file, int* errnum);

// The engine only reads gzip members: opening for writing is refused, which also keeps zlib's whole
// write side (deflate) out of the engine; closing is the reader's close.
gzFile __wrap_gzopen(const char* path, const char* mode) {
  if (!mode || mode[0] != 'r') return nullptr;
  MemScratch* s = Scratch();
  if (s->onDisk || s->path.empty() || s->path != path) return __real_gzopen(path, mode);
  MemGz* g = new MemGz;
  g->data = reinterpret_cast<const unsigned char*>(s->data.data());
  g->size = s->data.size();
  if (!GzipAt(g, 0)) {
    g->direct = true;
    return reinterpret_cast<gzFile>(g);
  }
  g->z.next_in = const_cast<unsigned char*>(g->data);
  g->z.avail_in = (uInt)g->size;
  if (inflateInit2(&g->z, 15 + 16) != Z_OK) {
    delete g;
    return nullptr;
  }
  return reinterpret_cast<gzFile>(g);
}

int __wrap_gzread(gzFile file, voidp buf, unsigned len) {
  if (!IsMem(file)) return __real_gzread(file, buf, len);
  return Read(reinterpret_cast<MemGz*>(file), static_cast<unsigned char*>(buf), len);
}

int __wrap_gzbuffer(gzFile file, unsigned size) { return IsMem(file) ? 0 : __real_gzbuffer(file, size); }

int __wrap_gzdirect(gzFile file) { return IsMem(file) ? reinterpret_cast<MemGz*>(file)->direct : __real_gzdirect(file); }

const char* __wrap_gzerror(gzFile file, int* errnum) {
  if (!IsMem(file)) return __real_gzerror(file, errnum);
  MemGz* g = reinterpret_cast<MemGz*>(file);
  if (errnum) *errnum = g->err;
  return g->msg;
}

int __wrap_gzclose(gzFile file) {
  if (!IsMem(file)) return gzclose_r(file);
  MemGz* g = reinterpret_cast<MemGz*>(file);
  if (!g->direct) inflateEnd(&g->z);
  g->magic = 0;
  delete g;
  return Z_OK;
}
}
