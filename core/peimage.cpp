// A PE image's end and its certificate table, from its headers: DOS stub, file header, optional
// header with its data directories, section table.
#include "core/peimage.h"

#include "core/gzcformat.h"

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
constexpr uint32_t kResourceDir = 2;  // an address and a length in the image
constexpr uint32_t kRtVersion = 16;
constexpr uint32_t kFixedSignature = 0xFEEF04BD;

struct Headers {
  size_t opt = 0;      // offset of the optional header
  uint32_t optSize = 0;
  uint32_t magic = 0;
  uint64_t imageEnd = 0;
  size_t sections = 0;  // offset of the section table
  uint32_t sectionCount = 0;
};

// A data directory's two words (address, length); false when the header has no such directory.
bool Directory(const unsigned char* head, const Headers& h, uint32_t number, uint32_t* a, uint32_t* b) {
  const size_t count = h.magic == kMagic32 ? kDirCount32 : kDirCount64;
  const size_t dir = count + 4 + number * 8;
  if (h.optSize < count + 4 || Get32(head + h.opt + count) <= number || h.optSize < dir + 8) return false;
  *a = Get32(head + h.opt + dir);
  *b = Get32(head + h.opt + dir + 4);
  return true;
}

// A block of a version resource: its key (UTF-16 units), its value and its children, within `end`.
struct Block {
  size_t start = 0, end = 0;      // the block, within the data
  size_t value = 0, valueEnd = 0;  // its value
  std::u16string key;
};

size_t Align4(size_t at) { return (at + 3) & ~size_t(3); }

// The block at `at` of data `p` that must end by `limit`. Text values are counted in UTF-16 units.
bool ReadBlock(const unsigned char* p, size_t at, size_t limit, Block* b) {
  if (at + 6 > limit) return false;
  const size_t length = Get16(p + at), valueLength = Get16(p + at + 2), type = Get16(p + at + 4);
  if (length < 6 || length > limit - at) return false;
  b->start = at;
  b->end = at + length;
  b->key.clear();
  size_t i = at + 6;
  for (;; i += 2) {
    if (i + 2 > b->end) return false;
    const char16_t c = char16_t(Get16(p + i));
    if (!c) break;
    b->key += c;
  }
  b->value = Align4(i + 2);
  size_t bytes = type == 1 ? valueLength * 2 : valueLength;
  if (b->value > b->end) return false;
  if (bytes > b->end - b->value) {
    if (type != 1) return false;
    bytes = b->end - b->value;  // some tools count a text's bytes instead of its units
  }
  b->valueEnd = b->value + bytes;
  return true;
}

// The child of `parent` whose key is `key`; false when it has none.
bool Child(const unsigned char* p, const Block& parent, const std::u16string& key, Block* out) {
  for (size_t at = Align4(parent.valueEnd); at + 6 <= parent.end; at = Align4(out->end)) {
    if (!ReadBlock(p, at, parent.end, out)) return false;
    if (key.empty() || out->key == key) return true;
  }
  return false;
}

std::u16string U16(const char* ascii) {
  std::u16string s;
  while (*ascii) s += char16_t(*ascii++);
  return s;
}

// A resource directory's entry: with `id` the first entry of that number, otherwise its first
// entry. Its offset (high bit: a subdirectory) or false.
bool Entry(const unsigned char* p, size_t n, uint32_t dir, bool byId, uint32_t id, uint32_t* to) {
  if (dir > n || n - dir < 16) return false;
  const uint32_t named = Get16(p + dir + 12), ids = Get16(p + dir + 14);
  for (uint32_t i = 0; i < named + ids; ++i) {
    const uint64_t e = dir + 16 + uint64_t(i) * 8;
    if (e + 8 > n) return false;
    if (!byId || (i >= named && Get32(p + e) == id)) {
      *to = Get32(p + e + 4);
      return true;
    }
  }
  return false;
}


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
  h->sections = table;
  h->sectionCount = sections;
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

bool PeResourceSpan(const unsigned char* head, size_t n, uint64_t* at, uint32_t* size, uint32_t* rva) {
  Headers h;
  uint32_t dirRva, dirLen;
  if (!Parse(head, n, &h) || !Directory(head, h, kResourceDir, &dirRva, &dirLen) || !dirRva || !dirLen) return false;
  for (uint32_t i = 0; i < h.sectionCount; ++i) {
    const unsigned char* s = head + h.sections + i * kSection;
    const uint32_t va = Get32(s + 12), raw = Get32(s + 16), ptr = Get32(s + 20);
    if (dirRva >= va && dirRva - va < raw) {
      *at = ptr;
      *size = raw;
      *rva = va;
      return true;
    }
  }
  return false;
}

bool PeVersionInfo(const unsigned char* p, size_t n, uint32_t rva, PeVersion* out) {
  // Type, name, language: the first of each below the version type.
  uint32_t to = 0;
  if (!Entry(p, n, 0, true, kRtVersion, &to) || !(to & 0x80000000u)) return false;
  if (!Entry(p, n, to & 0x7FFFFFFFu, false, 0, &to) || !(to & 0x80000000u)) return false;
  if (!Entry(p, n, to & 0x7FFFFFFFu, false, 0, &to) || (to & 0x80000000u) || to > n || n - to < 16) return false;
  const uint32_t dataRva = Get32(p + to), dataLen = Get32(p + to + 4);
  if (dataRva < rva || dataRva - rva > n || dataLen > n - (dataRva - rva)) return false;
  const unsigned char* v = p + (dataRva - rva);
  Block root, strings, table, company;
  if (!ReadBlock(v, 0, dataLen, &root) || root.key != U16("VS_VERSION_INFO") || root.valueEnd - root.value < 52 ||
      Get32(v + root.value) != kFixedSignature)
    return false;
  const unsigned char* f = v + root.value;
  const uint32_t ms = Get32(f + 16), ls = Get32(f + 20);
  const uint32_t parts[4] = {ms >> 16, ms & 0xFFFF, ls >> 16, ls & 0xFFFF};
  out->version.clear();
  for (int i = 0; i < 4; ++i) {
    if (i) out->version += '.';
    out->version += std::to_string(parts[i]);
  }
  // The publisher: optional, and a damaged string table only leaves it out.
  out->publisher.clear();
  if (Child(v, root, U16("StringFileInfo"), &strings) && Child(v, strings, std::u16string(), &table) &&
      Child(v, table, U16("CompanyName"), &company)) {
    for (size_t i = company.value; i + 2 <= company.valueEnd; i += 2) {
      unsigned c = Get16(v + i);
      if (!c) break;
      if (c >= 0xD800 && c < 0xE000) {  // a pair, or nothing
        unsigned lo = i + 4 <= company.valueEnd ? Get16(v + i + 2) : 0;
        if (c >= 0xDC00 || lo < 0xDC00 || lo >= 0xE000) {
          out->publisher.clear();
          break;
        }
        c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
        i += 2;
      }
      GzcPutUtf8(c, &out->publisher);
    }
  }
  return true;
}
