// A PE image's end and its certificate table, from its headers: DOS stub, file header, optional
// header with its data directories, section table.
#include "core/peimage.h"

namespace {
uint32_t Get16(const unsigned char* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t Get32(const unsigned char* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
constexpr size_t kFileHeader = 20;  // after the "PE\0\0" signature
constexpr size_t kSection = 40;     // one section table entry
constexpr uint32_t kMagic32 = 0x10B, kMagic64 = 0x20B;
// Optional header: where the count of data directories stands, per magic; the directories follow
// it, 8 bytes each, the security directory (a file offset and a length) being number 4.
constexpr size_t kDirCount32 = 92, kDirCount64 = 108;
constexpr uint32_t kSecurityDir = 4;

struct Headers {
  size_t opt = 0;      // offset of the optional header
  uint32_t optSize = 0;
  uint32_t magic = 0;
  uint64_t imageEnd = 0;
};

bool Parse(const unsigned char* head, size_t n, Headers* h) {
  if (n < 64 || head[0] != 'M' || head[1] != 'Z') return false;
  const uint32_t pe = Get32(head + 0x3C);
  if (pe > n || n - pe < 4 + kFileHeader) return false;
  if (head[pe] != 'P' || head[pe + 1] != 'E' || head[pe + 2] != 0 || head[pe + 3] != 0) return false;
  const unsigned char* fh = head + pe + 4;
  const uint32_t sections = Get16(fh + 2);
  h->optSize = Get16(fh + 16);
  h->opt = pe + 4 + kFileHeader;
  if (sections == 0 || h->optSize < 2 || h->opt + h->optSize > n) return false;
  const size_t table = h->opt + h->optSize;
  if (table + uint64_t(sections) * kSection > n) return false;
  h->imageEnd = 0;
  for (uint32_t i = 0; i < sections; ++i) {
    const unsigned char* s = head + table + i * kSection;
    const uint64_t raw = Get32(s + 16), at = Get32(s + 20);
    if (raw && at + raw > h->imageEnd) h->imageEnd = at + raw;
  }
  h->magic = Get16(head + h->opt);
  return h->magic == kMagic32 || h->magic == kMagic64;
}
}  // namespace

uint64_t PeImageEnd(const unsigned char* head, size_t n) {
  // A signature appended to the file later lies after any data that follows the image, so it is
  // not part of the image's end here.
  Headers h;
  return Parse(head, n, &h) ? h.imageEnd : 0;
}

uint64_t PeDataEnd(const unsigned char* head, size_t n, uint64_t fileSize) {
  Headers h;
  if (!Parse(head, n, &h) || h.imageEnd > fileSize) return 0;
  const size_t count = h.magic == kMagic32 ? kDirCount32 : kDirCount64;
  const size_t dir = count + 4 + kSecurityDir * 8;
  if (h.optSize < count + 4 || Get32(head + h.opt + count) <= kSecurityDir || h.optSize < dir + 8)
    return fileSize;  // too few directories to have one for a signature
  const uint64_t at = Get32(head + h.opt + dir), length = Get32(head + h.opt + dir + 4);
  if (at == 0 && length == 0) return fileSize;
  if (at < h.imageEnd || at % PE_CERT_ALIGN != 0 || length == 0 || at > fileSize || fileSize - at != length)
    return 0;
  return at;
}
