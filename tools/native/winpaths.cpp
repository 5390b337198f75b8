// Windows paths on the Linux file system as Wine shows them: code page 1250, drives, case, order.
#include "tools/native/winpaths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

namespace {

// Unicode of the bytes 0x80..0xFF; the five bytes the code page leaves free keep their own value
// (U+0081 ...), as the system's conversion does.
const unsigned short kCp1250High[128] = {
    0x20AC, 0x0081, 0x201A, 0x0083, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0088, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0098, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};

void PutUtf8(unsigned cp, std::string* out) {
  if (cp < 0x80) {
    out->push_back(static_cast<char>(cp));
  } else if (cp < 0x800) {
    out->push_back(static_cast<char>(0xC0 | cp >> 6));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else if (cp < 0x10000) {
    out->push_back(static_cast<char>(0xE0 | cp >> 12));
    out->push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  } else {
    out->push_back(static_cast<char>(0xF0 | cp >> 18));
    out->push_back(static_cast<char>(0x80 | (cp >> 12 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp >> 6 & 0x3F)));
    out->push_back(static_cast<char>(0x80 | (cp & 0x3F)));
  }
}

// Decodes UTF-8 into code points; false on a malformed sequence.
bool DecodeUtf8(const std::string& s, std::vector<unsigned>* cps) {
  cps->clear();
  for (size_t i = 0; i < s.size();) {
    unsigned char c = static_cast<unsigned char>(s[i]);
    int more = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (more < 0 || i + more >= s.size()) return false;
    unsigned cp = more == 0 ? c : more == 1 ? (c & 0x1F) : more == 2 ? (c & 0x0F) : (c & 0x07);
    for (int k = 1; k <= more; ++k) {
      unsigned char d = static_cast<unsigned char>(s[i + k]);
      if ((d >> 6) != 2) return false;
      cp = cp << 6 | (d & 0x3F);
    }
    static const unsigned kMin[4] = {0, 0x80, 0x800, 0x10000};
    if (cp < kMin[more] || cp > 0x10FFFF || (cp >= 0xD800 && cp < 0xE000)) return false;
    cps->push_back(cp);
    i += more + 1;
  }
  return true;
}

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

unsigned Upper(unsigned cp) {
  const UpperRun* end = kUpper + sizeof kUpper / sizeof kUpper[0];
  const UpperRun* r = std::upper_bound(kUpper, end, cp, [](unsigned c, const UpperRun& run) { return c < run.first; });
  if (r == kUpper) return cp;
  --r;
  return cp <= r->last && (cp - r->first) % r->step == 0 ? cp + r->delta : cp;
}

// UTF-16 units of a UTF-8 name, upper-cased or as they are.
std::vector<unsigned> Utf16(const std::string& utf8, bool upper) {
  std::vector<unsigned> cps, units;
  if (!DecodeUtf8(utf8, &cps))
    for (unsigned char c : utf8) cps.push_back(c);
  for (unsigned cp : cps) {
    if (cp >= 0x10000) {
      units.push_back(0xD800 + ((cp - 0x10000) >> 10));
      units.push_back(0xDC00 + ((cp - 0x10000) & 0x3FF));
      continue;
    }
    units.push_back(upper ? Upper(cp) : cp);
  }
  return units;
}

bool SameName(const std::string& a, const std::string& b) { return Utf16(a, true) == Utf16(b, true); }

bool IsSep(char c) { return c == '\\' || c == '/'; }

std::string Join(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  return dir.back() == '/' ? dir + name : dir + "/" + name;
}

bool Exists(const std::string& path) {
  struct stat st;
  return lstat(path.c_str(), &st) == 0;
}

// The entry of `dir` whose name equals `name` without regard to case, if there is one.
bool FindNoCase(const std::string& dir, const std::string& name, std::string* found) {
  DIR* d = opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return false;
  bool ok = false;
  while (struct dirent* e = readdir(d)) {
    if (SameName(e->d_name, name)) {
      *found = e->d_name;
      ok = true;
      break;
    }
  }
  closedir(d);
  return ok;
}

const DriveMap* Drives(void* ctx) { return static_cast<const DriveMap*>(ctx); }

// ---- The file layer -----------------------------------------------------------------------------
// Handles are the C runtime's streams of the built-in layer, which does the reading and writing.
const GzcFileOps* Plain() { return GzcDefaultFileOps(); }

void* OpenFile(void* ctx, const char* path, bool write) {
  std::string u;
  if (!WinToUnix(*Drives(ctx), path, &u)) return nullptr;
  if (write) {
    // O_NOFOLLOW: as the seam promises, a link at the name does not carry the write elsewhere.
    int fd = ::open(u.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) return nullptr;
    FILE* f = ::fdopen(fd, "wb");
    if (!f) ::close(fd);
    return f;
  }
  FILE* f = std::fopen(u.c_str(), "rb");
  struct stat st;
  if (f && (fstat(fileno(f), &st) != 0 || S_ISDIR(st.st_mode))) {  // a folder is no file to read
    std::fclose(f);
    return nullptr;
  }
  return f;
}

bool RemoveFile(void* ctx, const char* path) {
  std::string u;
  return WinToUnix(*Drives(ctx), path, &u) && ::unlink(u.c_str()) == 0;
}

GzcKind KindOf(mode_t mode) {
  return S_ISDIR(mode) ? GZC_KIND_DIR : S_ISREG(mode) ? GZC_KIND_FILE : GZC_KIND_OTHER;
}

// Links are followed; a dangling one is not there.
GzcKind Kind(void* ctx, const char* path) {
  std::string u;
  struct stat st;
  if (!WinToUnix(*Drives(ctx), path, &u) || ::stat(u.c_str(), &st) != 0) return GZC_KIND_NONE;
  return KindOf(st.st_mode);
}

bool MakeDir(void* ctx, const char* path) {
  std::string u;
  return WinToUnix(*Drives(ctx), path, &u) && ::mkdir(u.c_str(), 0777) == 0;
}

bool RemoveDir(void* ctx, const char* path) {
  std::string u;
  return WinToUnix(*Drives(ctx), path, &u) && ::rmdir(u.c_str()) == 0;
}

bool ListDir(void* ctx, const char* folder, void (*onEntry)(void*, const char*, GzcKind), void* cookie) {
  // The program searches folder + "\*.*" in a buffer of 260 bytes.
  const size_t kPatternMax = 260;
  if (std::strlen(folder) + 4 >= kPatternMax) return false;
  std::string u;
  if (!WinToUnix(*Drives(ctx), folder, &u)) return false;
  DIR* d = opendir(u.c_str());
  if (!d) return false;
  std::vector<std::pair<std::string, GzcKind>> entries;
  while (struct dirent* e = readdir(d)) {
    if (!std::strcmp(e->d_name, ".") || !std::strcmp(e->d_name, "..")) continue;
    // Wine shows a link to a file as that file, and a link to a folder as a reparse point, which
    // the walk leaves out as it does a dangling link.
    struct stat st;
    GzcKind kind = GZC_KIND_OTHER;
    if (fstatat(dirfd(d), e->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0) {
      if (!S_ISLNK(st.st_mode)) kind = KindOf(st.st_mode);
      else if (fstatat(dirfd(d), e->d_name, &st, 0) == 0 && !S_ISDIR(st.st_mode)) kind = KindOf(st.st_mode);
    }
    entries.push_back({e->d_name, kind});
  }
  closedir(d);
  std::sort(entries.begin(), entries.end(),
            [](const auto& a, const auto& b) { return WineNameLess(a.first, b.first); });
  for (const auto& [name, kind] : entries) {
    std::string ansi;
    Utf8ToCp1250(name, &ansi);  // a character the code page lacks reads '?', as the system shows it
    onEntry(cookie, ansi.c_str(), kind);
  }
  return true;
}

}  // namespace

std::string Cp1250ToUtf8(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (unsigned char c : text) PutUtf8(c < 0x80 ? c : kCp1250High[c - 0x80], &out);
  return out;
}

bool Utf8ToCp1250(const std::string& text, std::string* out) {
  out->clear();
  std::vector<unsigned> cps;
  if (!DecodeUtf8(text, &cps)) {
    for (unsigned char c : text) out->push_back(c < 0x80 ? static_cast<char>(c) : '?');
    return false;
  }
  bool ok = true;
  for (unsigned cp : cps) {
    if (cp < 0x80) {
      out->push_back(static_cast<char>(cp));
      continue;
    }
    const unsigned short* at = std::find(kCp1250High, kCp1250High + 128, cp);
    if (at == kCp1250High + 128) {
      out->push_back('?');
      ok = false;
    } else {
      out->push_back(static_cast<char>(0x80 + (at - kCp1250High)));
    }
  }
  return ok;
}

DriveMap::DriveMap() { root['Z' - 'A'] = "/"; }

bool DriveMap::Set(const std::string& a) {
  if (a.size() < 3 || a[1] != '=' || !std::isalpha(static_cast<unsigned char>(a[0]))) return false;
  root[std::toupper(static_cast<unsigned char>(a[0])) - 'A'] = a.substr(2);
  given[std::toupper(static_cast<unsigned char>(a[0])) - 'A'] = true;
  return true;
}

void DriveMap::FromPrefix(const std::string& prefix) {
  for (int i = 0; i < 26; ++i) {
    if (given[i]) continue;
    std::string dev = prefix + "/dosdevices";
    std::string link = dev + "/" + static_cast<char>('a' + i) + ":";
    char target[PATH_MAX];
    ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
    if (n <= 0) continue;
    target[n] = 0;
    root[i] = target[0] == '/' ? std::string(target) : dev + "/" + target;
  }
}

bool WinToUnix(const DriveMap& drives, const std::string& path, std::string* unixPath) {
  if (path.empty() || (path.size() >= 2 && IsSep(path[0]) && IsSep(path[1]))) return false;  // UNC
  std::string base, rest = path;
  if (path.size() >= 2 && path[1] == ':') {
    char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(path[0])));
    if (letter < 'A' || letter > 'Z' || drives.root[letter - 'A'].empty()) return false;
    base = drives.root[letter - 'A'];
    rest = path.substr(2);
  } else if (IsSep(path[0])) {
    base = "/";
  }
  std::vector<std::string> parts;
  size_t i = 0;
  while (i < rest.size()) {
    size_t j = i;
    while (j < rest.size() && !IsSep(rest[j])) ++j;
    std::string part = rest.substr(i, j - i);
    // The last name loses its trailing dots and blanks, as Windows reads a path.
    if (j >= rest.size() && part != "." && part != "..")
      while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
    i = j + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty() && parts.back() != "..") parts.pop_back();
      else if (base.empty()) parts.push_back(part);  // a relative path may climb above its start
      continue;
    }
    parts.push_back(Cp1250ToUtf8(part));
  }
  std::string direct = base;
  for (const std::string& p : parts) direct = Join(direct, p);
  if (direct.empty()) direct = ".";
  if (Exists(direct) || parts.empty()) {
    *unixPath = direct;
    return true;
  }
  // As written it is not there: each missing name is looked for without regard to case.
  std::string at = base;
  bool searching = true;
  for (const std::string& p : parts) {
    std::string next = Join(at, p), found;
    if (searching && p != ".." && !Exists(next)) {
      if (FindNoCase(at, p, &found)) next = Join(at, found);
      else searching = false;  // below a missing name nothing can be found
    }
    at = next;
  }
  *unixPath = at;
  return true;
}

bool UnixToWin(const std::string& path, std::string* winPath) {
  std::string abs = path;
  if (abs.empty()) return false;
  if (abs[0] != '/') {
    char cwd[PATH_MAX];
    if (!getcwd(cwd, sizeof cwd)) return false;
    abs = Join(cwd, abs);
  }
  if (abs.find('\\') != std::string::npos) return false;
  std::string ansi;
  if (!Utf8ToCp1250(abs, &ansi)) return false;
  std::replace(ansi.begin(), ansi.end(), '/', '\\');
  *winPath = ansi;
  return true;
}

bool WineNameLess(const std::string& a, const std::string& b) {
  std::vector<unsigned> ua = Utf16(a, true), ub = Utf16(b, true);
  if (ua != ub) return ua < ub;
  return Utf16(a, false) < Utf16(b, false);
}

bool WinPathsSame(void* ctx, const char* a, const char* b) {
  std::string ua, ub;
  struct stat sa, sb;
  return WinToUnix(*Drives(ctx), a, &ua) && WinToUnix(*Drives(ctx), b, &ub) && ::stat(ua.c_str(), &sa) == 0 &&
         ::stat(ub.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

GzcFileOps WinPathOps(const DriveMap* drives) {
  const GzcFileOps* p = Plain();
  return {const_cast<DriveMap*>(drives), OpenFile, p->read, p->write, p->seek, p->size, p->close,
          RemoveFile, Kind, MakeDir, RemoveDir, ListDir, nullptr, nullptr, nullptr, nullptr, nullptr};
}
