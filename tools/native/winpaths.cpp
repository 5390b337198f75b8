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

// Decodes UTF-8 into code points; false on a malformed sequence.
bool DecodeUtf8(const std::string& s, std::vector<unsigned>* cps) {
  cps->clear();
  unsigned cp;
  for (size_t i = 0; i < s.size();) {
    if (!GzcNextUtf8(s.data(), s.size(), &i, &cp)) return false;
    cps->push_back(cp);
  }
  return true;
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
    units.push_back(upper ? GzcUpperCase(cp) : cp);
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

// The Linux path of a Windows path given in code page 1250 (U false) or in UTF-8 (U true).
template <bool U>
bool ToUnix(void* ctx, const char* path, std::string* u) {
  return WinToUnix(*Drives(ctx), path, u, U);
}

template <bool U>
void* OpenFile(void* ctx, const char* path, bool write) {
  std::string u;
  if (!ToUnix<U>(ctx, path, &u)) return nullptr;
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

template <bool U>
bool RemoveFile(void* ctx, const char* path) {
  std::string u;
  return ToUnix<U>(ctx, path, &u) && ::unlink(u.c_str()) == 0;
}

GzcKind KindOf(mode_t mode) {
  return S_ISDIR(mode) ? GZC_KIND_DIR : S_ISREG(mode) ? GZC_KIND_FILE : GZC_KIND_OTHER;
}

// Links are followed; a dangling one is not there.
template <bool U>
GzcKind Kind(void* ctx, const char* path) {
  std::string u;
  struct stat st;
  if (!ToUnix<U>(ctx, path, &u) || ::stat(u.c_str(), &st) != 0) return GZC_KIND_NONE;
  return KindOf(st.st_mode);
}

template <bool U>
bool MakeDir(void* ctx, const char* path) {
  std::string u;
  return ToUnix<U>(ctx, path, &u) && ::mkdir(u.c_str(), 0777) == 0;
}

template <bool U>
bool RemoveDir(void* ctx, const char* path) {
  std::string u;
  return ToUnix<U>(ctx, path, &u) && ::rmdir(u.c_str()) == 0;
}

template <bool U>
bool ListDir(void* ctx, const char* folder, void (*onEntry)(void*, const char*, GzcKind), void* cookie) {
  // The program searches folder + "\*.*" in a buffer of 260 bytes; its Unicode walk has no buffer,
  // and the packing refuses what is too long.
  const size_t kPatternMax = 260;
  if (!U && std::strlen(folder) + 4 >= kPatternMax) return false;
  std::string u;
  if (!ToUnix<U>(ctx, folder, &u)) return false;
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
    if (U) {  // as the file system holds it; a name that is no UTF-8 is the packing's to refuse
      onEntry(cookie, name.c_str(), kind);
      continue;
    }
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
  for (unsigned char c : text) GzcPutUtf8(GzcCp1250Char(c), &out);
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
    unsigned char byte = 0x80;
    while (byte != 0 && GzcCp1250Char(byte) != cp) ++byte;
    if (byte == 0) {
      out->push_back('?');
      ok = false;
    } else {
      out->push_back(static_cast<char>(byte));
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

bool WinToUnix(const DriveMap& drives, const std::string& path, std::string* unixPath, bool utf8) {
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
    parts.push_back(utf8 ? part : Cp1250ToUtf8(part));
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

namespace {
template <bool U>
bool Same(void* ctx, const char* a, const char* b) {
  std::string ua, ub;
  struct stat sa, sb;
  return ToUnix<U>(ctx, a, &ua) && ToUnix<U>(ctx, b, &ub) && ::stat(ua.c_str(), &sa) == 0 &&
         ::stat(ub.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}
}  // namespace

bool WinPathsSame(void* ctx, const char* a, const char* b) { return Same<false>(ctx, a, b); }
bool WinPathsSameUtf8(void* ctx, const char* a, const char* b) { return Same<true>(ctx, a, b); }

GzcFileOps WinPathOps(const DriveMap* drives, bool utf8) {
  const GzcFileOps* p = Plain();
  if (utf8)
    return {const_cast<DriveMap*>(drives), OpenFile<true>, p->read, p->write, p->seek, p->size, p->close,
            RemoveFile<true>, Kind<true>, MakeDir<true>, RemoveDir<true>, ListDir<true>,
            nullptr, nullptr, nullptr, nullptr, nullptr};
  return {const_cast<DriveMap*>(drives), OpenFile<false>, p->read, p->write, p->seek, p->size, p->close,
          RemoveFile<false>, Kind<false>, MakeDir<false>, RemoveDir<false>, ListDir<false>,
          nullptr, nullptr, nullptr, nullptr, nullptr};
}
