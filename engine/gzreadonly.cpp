// zlib's gzip-file close as the engine links it (--wrap=gzclose): the engine inflates its members
// itself and opens no gzip file, but the scratch file it shares with the packer would close a
// gzip writer that the engine never makes. This stand-in keeps zlib's whole gzip-file layer, and
// its write side (deflate), out of the engine.
#include <stdint.h>
#include <string.h>
#include <windows.h>
#include <zlib.h>

extern "C" int __wrap_gzclose(gzFile) { return Z_STREAM_ERROR; }

// The members are gzip streams, checked with CRC-32; inflate computes an Adler-32 only for zlib
// streams, which the reader never opens. This stand-in (the engine links with --wrap=adler32) keeps
// zlib's Adler-32 code out of the engine.
extern "C" uLong __wrap_adler32(uLong, const Bytef*, uInt) { return 1; }

// CRC-32 of the gzip members, without zlib's 5 KiB of precomputed tables in the file: the same
// tables (slicing by four) are made on the heap at the first call, or the bits are worked one by
// one when there is no memory for them. The engine links with --wrap=crc32; zlib's inflate is the
// only caller.
namespace {
typedef uint32_t CrcTables[4][256];
CrcTables* volatile crcTables;

CrcTables* MakeCrcTables() {
  CrcTables* t = (CrcTables*)HeapAlloc(GetProcessHeap(), 0, sizeof(CrcTables));
  if (!t) return nullptr;
  for (uint32_t i = 0; i < 256; ++i) {
    uint32_t c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    (*t)[0][i] = c;
  }
  for (uint32_t i = 0; i < 256; ++i)
    for (int j = 1; j < 4; ++j) (*t)[j][i] = ((*t)[j - 1][i] >> 8) ^ (*t)[0][(*t)[j - 1][i] & 0xFF];
  // Two threads may both make them: one set is kept, the other freed.
  if (InterlockedCompareExchangePointer((PVOID volatile*)&crcTables, t, nullptr) != nullptr) HeapFree(GetProcessHeap(), 0, t);
  return crcTables;
}
}  // namespace

extern "C" uLong __wrap_crc32(uLong crc, const Bytef* buf, uInt len) {
  if (!buf) return 0;
  CrcTables* t = crcTables ? crcTables : MakeCrcTables();
  uint32_t c = ~(uint32_t)crc;
  if (!t) {
    for (; len; --len) {
      c ^= *buf++;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    }
    return ~c;
  }
  const uint32_t(&t0)[256] = (*t)[0], (&t1)[256] = (*t)[1], (&t2)[256] = (*t)[2], (&t3)[256] = (*t)[3];
  for (; len && ((uintptr_t)buf & 3); --len) c = t0[(c ^ *buf++) & 0xFF] ^ (c >> 8);
  for (; len >= 4; len -= 4, buf += 4) {
    uint32_t w;
    memcpy(&w, buf, 4);  // little endian, as every Windows machine is
    c ^= w;
    c = t3[c & 0xFF] ^ t2[(c >> 8) & 0xFF] ^ t1[(c >> 16) & 0xFF] ^ t0[c >> 24];
  }
  for (; len; --len) c = t0[(c ^ *buf++) & 0xFF] ^ (c >> 8);
  return ~c;
}
