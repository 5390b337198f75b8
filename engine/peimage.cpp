// A PE image's end from its headers: DOS stub, file header, optional header, section table.
#include "engine/peimage.h"

namespace {
uint32_t Get16(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Get32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
constexpr size_t kFileHeader = 20;  // after the "PE\0\0" signature
constexpr size_t kSection = 40;     // one section table entry
constexpr uint32_t kMagic32 = 0x10B, kMagic64 = 0x20B;
}  // namespace

uint64_t PeImageEnd(const unsigned char* head, size_t n) {
  if (n < 64 || head[0] != 'M' || head[1] != 'Z') return 0;
  const uint32_t pe = Get32(head + 0x3C);
  if (pe > n || n - pe < 4 + kFileHeader) return 0;
  if (head[pe] != 'P' || head[pe + 1] != 'E' || head[pe + 2] != 0 || head[pe + 3] != 0) return 0;
  const unsigned char* fh = head + pe + 4;
  const uint32_t sections = Get16(fh + 2);
  const uint32_t optSize = Get16(fh + 16);
  const size_t opt = pe + 4 + kFileHeader;
  if (sections == 0 || optSize < 2 || opt + optSize > n) return 0;
  const size_t table = opt + optSize;
  if (table + uint64_t(sections) * kSection > n) return 0;

  uint64_t end = 0;
  for (uint32_t i = 0; i < sections; ++i) {
    const unsigned char* s = head + table + i * kSection;
    const uint64_t raw = Get32(s + 16), at = Get32(s + 20);
    if (raw && at + raw > end) end = at + raw;
  }
  // The optional header must be one of a real image; a signature appended to the file later lies
  // after any data that follows the image, so it is not part of the image's end here.
  const uint32_t magic = Get16(head + opt);
  if (magic != kMagic32 && magic != kMagic64) return 0;
  return end;
}
