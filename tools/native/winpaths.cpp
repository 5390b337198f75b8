// Windows paths on the Linux file system as Wine shows them: code page 1250, drives, case, order.
#include "tools/native/winpaths.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

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

// UTF-16 units of a UTF-8 name, upper-cased or as they are.
std::vector<unsigned> Utf16(const std::string& utf8, bool upper) {
  static locale_t unicode = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  std::vector<unsigned> cps, units;
  if (!DecodeUtf8(utf8, &cps))
    for (unsigned char c : utf8) cps.push_back(c);
  for (unsigned cp : cps) {
    if (cp >= 0x10000) {
      units.push_back(0xD800 + ((cp - 0x10000) >> 10));
      units.push_back(0xDC00 + ((cp - 0x10000) & 0x3FF));
      continue;
    }
    if (upper) {
      if (unicode) cp = static_cast<unsigned>(towupper_l(static_cast<wint_t>(cp), unicode));
      else if (cp >= 'a' && cp <= 'z') cp -= 32;
      if (cp >= 0x10000) cp = 0xFFFF;  // an upper case outside the units' range: none
    }
    units.push_back(cp);
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
    int fd = ::open(u.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
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

GzcKind KindOf(const struct stat* followed, bool found, bool linkFound) {
  if (!found) return linkFound ? GZC_KIND_FILE : GZC_KIND_NONE;  // a dangling link shows as a file
  if (S_ISDIR(followed->st_mode)) return GZC_KIND_DIR;
  if (S_ISREG(followed->st_mode)) return GZC_KIND_FILE;
  return GZC_KIND_OTHER;
}

GzcKind Kind(void* ctx, const char* path) {
  std::string u;
  if (!WinToUnix(*Drives(ctx), path, &u)) return GZC_KIND_NONE;
  struct stat st, lst;
  bool found = ::stat(u.c_str(), &st) == 0;
  return KindOf(&st, found, !found && lstat(u.c_str(), &lst) == 0);
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
    struct stat st, lst;
    GzcKind kind = GZC_KIND_OTHER;
    if (fstatat(dirfd(d), e->d_name, &lst, AT_SYMLINK_NOFOLLOW) == 0) {
      bool link = S_ISLNK(lst.st_mode);
      bool found = !link || fstatat(dirfd(d), e->d_name, &st, 0) == 0;
      if (!link) st = lst;
      if (found && !(link && S_ISDIR(st.st_mode))) kind = KindOf(&st, true, false);
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

GzcFileOps WinPathOps(const DriveMap* drives) {
  const GzcFileOps* p = Plain();
  return {const_cast<DriveMap*>(drives), OpenFile, p->read, p->write, p->seek, p->size, p->close,
          RemoveFile, Kind, MakeDir, RemoveDir, ListDir};
}
