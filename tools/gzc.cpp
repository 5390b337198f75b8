// gzc: packs, unpacks, lists and verifies GZC archives, and lists the two archives of an installer.
#include "core/gzcformat.h"
#include "core/installerlayout.h"
#include "core/langpack.h"
#include "prversion.h"
#ifdef _WIN32
#include "win/winfs.h"
#endif

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

#ifdef _WIN32
// Files through the system's own handles (paths, folders and searches through the C runtime, as
// ever): its stdio asks for a file's size, type and attributes in several calls, and reads each
// file once more at its end, which under Wine costs a system call each, per file.
const GzcFileOps kOps = [] {
  GzcFileOps o = *GzcDefaultFileOps();
  o.open = winfs::Open;
  o.read = winfs::Read;
  o.write = winfs::Write;
  o.seek = winfs::Seek;
  o.size = winfs::Size;
  o.close = winfs::Close;
  return o;
}();
const GzcFileOps* const ops = &kOps;
#else
const GzcFileOps* const ops = GzcDefaultFileOps();
#endif
// Linux names are UTF-8 bytes; the C runtime's on Windows are the ANSI code page's.
#ifdef _WIN32
constexpr bool kUtf8Names = false;
#else
constexpr bool kUtf8Names = true;
#endif

const char kUsage[] =
    "Usage: gzc pack FOLDER ARCHIVE [-0..-9] [--lzma] [--time]\n"
    "  or:  gzc unpack ARCHIVE FOLDER [--time]\n"
    "  or:  gzc list ARCHIVE|SETUP.exe [--installer]\n"
    "  or:  gzc verify ARCHIVE|SETUP.exe [--installer]\n";
const char kHelp[] =
    "Packs, unpacks, lists and verifies GZC archives (Packrift's project files and the\n"
    "archives inside its installers).\n"
    "\n"
    "Commands:\n"
    "  pack FOLDER ARCHIVE    pack every file below FOLDER into ARCHIVE\n"
    "  unpack ARCHIVE FOLDER  unpack ARCHIVE into FOLDER, made when missing\n"
    "  list ARCHIVE           list the members: path, a tab, the size in bytes, after a\n"
    "                         line \"# kind gzip\" or \"# kind lzma\"\n"
    "  verify ARCHIVE         check every member's data and checksum; prints the kind\n"
    "\n"
    "Options:\n"
    "  -0 ... -9              the compression level of pack (default 6)\n"
    "  --lzma                 pack the files as one solid LZMA stream (smaller, slower)\n"
    "  --installer            list or verify the two archives of an installer\n"
    "  --time                 the time taken (pack: and its threads), on standard error\n"
    "  -h, --help             show this help and exit\n"
    "      --version          show the version and exit\n"
    "\n"
    "Exit status:\n"
    "  0  done\n"
    "  1  the archive, the folder or the installer was refused; why is on standard error\n"
    "  2  wrong usage\n";

int Fail(const std::string& what) {
  std::fprintf(stderr, "gzc: %s\n", what.c_str());
  return 1;
}

int Usage() {
  std::fputs(kUsage, stderr);
  return 2;
}

// A private folder for the scratch files ("gz.tmp", "list.txt"), removed with its content.
class Scratch {
 public:
  Scratch() {
    const char* base = nullptr;
    for (const char* name : {"TMPDIR", "TEMP", "TMP"})
      if (!base || !*base) base = std::getenv(name);
#ifdef _WIN32
    if (!base || !*base) base = ".";
#else
    if (!base || !*base) base = "/tmp";
#endif
    for (int i = 0; i < 1000 && dir_.empty(); ++i) {
      std::string dir = std::string(base) + GZC_SEP + "gzc-" + std::to_string(getpid()) + "-" + std::to_string(i);
      if (ops->makeDir(ops->ctx, dir.c_str())) dir_ = dir;
    }
  }
  ~Scratch() {
    if (dir_.empty()) return;
    ops->remove(ops->ctx, gzTmp().c_str());
    ops->remove(ops->ctx, listFile().c_str());
    ops->removeDir(ops->ctx, dir_.c_str());
  }
  bool ok() const { return !dir_.empty(); }
  std::string gzTmp() const { return dir_ + GZC_SEP + "gz.tmp"; }
  std::string listFile() const { return dir_ + GZC_SEP + "list.txt"; }

 private:
  std::string dir_;
};

// An archive file opened for reading, closed on every path out.
struct Input {
  void* file = nullptr;
  uint64_t size = 0;
  bool Open(const char* path) {
    file = ops->open(ops->ctx, path, false);
    return file && ops->size(ops->ctx, file, &size);
  }
  ~Input() {
    if (file) ops->close(ops->ctx, file);
  }
};

double Seconds(std::chrono::steady_clock::time_point since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Creates a folder and the missing folders above it; `made` receives those it created, in order.
bool MakeFolders(const std::string& path, std::vector<std::string>* made) {
  for (size_t i = 1; i <= path.size(); ++i) {
    if (i < path.size() && path[i] != '/' && path[i] != '\\') continue;
    std::string part = path.substr(0, i);
    if (part.size() == 2 && part[1] == ':') continue;  // a drive
    if (ops->kind(ops->ctx, part.c_str()) == GZC_KIND_DIR) continue;
    if (!ops->makeDir(ops->ctx, part.c_str())) return false;
    made->push_back(part);
  }
  return true;
}

void RemoveFolders(const std::vector<std::string>& made) {
  for (auto it = made.rbegin(); it != made.rend(); ++it) ops->removeDir(ops->ctx, it->c_str());
}

int Pack(const char* folder, const char* archive, char level, bool lzma, bool timed) {
  if (ops->kind(ops->ctx, folder) != GZC_KIND_DIR) return Fail(std::string("not a folder: ") + folder);
  Scratch scratch;
  if (!scratch.ok()) return Fail("cannot create a scratch folder");
  std::string gzTmp = scratch.gzTmp(), listFile = scratch.listFile();
  char mode[4] = {'w', 'b', level, 0};
  GzcPackJob job{folder, archive, gzTmp.c_str(), listFile.c_str(), mode, ops, nullptr, 0, kUtf8Names, nullptr, nullptr};
  job.kind = lzma ? GZC_ARCHIVE_LZMA : GZC_ARCHIVE_GZIP;
  GzcPackResult result;
  auto start = std::chrono::steady_clock::now();
  GzcStatus status = GzcPack(job, &result);
  double took = Seconds(start);
  if (status == GZC_ERR_SOURCE)
    return Fail(std::string(archive) + ": " + GzcStatusText(status) + ": " + GzcShownName(result.unreadable));
  if (status != GZC_OK && !result.refused.empty())
    return Fail(std::string(archive) + ": " + GzcStatusText(status) + ": " + GzcShownName(result.refused));
  if (status != GZC_OK) return Fail(std::string(archive) + ": " + GzcStatusText(status));
  if (timed) std::fprintf(stderr, "gzc: pack %.3f s, %u compressing threads\n", took, result.threads);
  for (const std::string& path : result.skipped) std::fprintf(stderr, "gzc: skipped (cannot be archived): %s\n", path.c_str());
  return result.skipped.empty() ? 0 : Fail("some files were not packed");
}

// The kind of the archive at `offset` ("gzip", "lzma"; "unknown" when the table is refused).
std::string KindAt(Input& in, uint64_t offset, uint64_t avail) {
  uint32_t sum = 0, kind = 0;
  GzcSource src{ops, in.file, avail, offset, true};
  const bool read = ops->seek(ops->ctx, in.file, offset) && GzcReadTable(src, &sum, nullptr, nullptr, &kind) == GZC_OK;
  ops->seek(ops->ctx, in.file, offset);
  return !read ? "unknown" : kind == GZC_ARCHIVE_LZMA ? "lzma" : kind == GZC_ARCHIVE_GZIP ? "gzip" : "unknown";
}

int Unpack(const char* archive, const char* folder, bool timed) {
  Input in;
  if (!in.Open(archive)) return Fail(std::string("cannot read ") + archive);
  GzcKind kind = ops->kind(ops->ctx, folder);
  if (kind != GZC_KIND_NONE && kind != GZC_KIND_DIR) return Fail(std::string("not a folder: ") + folder);
  Scratch scratch;
  if (!scratch.ok()) return Fail("cannot create a scratch folder");
  // A refused archive leaves no trace, not even the destination this call made.
  std::vector<std::string> made;
  if (kind == GZC_KIND_NONE && !MakeFolders(folder, &made)) {
    RemoveFolders(made);
    return Fail(std::string("cannot create ") + folder);
  }
  std::string gzTmp = scratch.gzTmp();
  GzcUnpackJob job{folder, gzTmp.c_str(), true, ops, nullptr, false, 0};
  GzcSource src{ops, in.file, in.size, 0, kUtf8Names};
  auto start = std::chrono::steady_clock::now();
  GzcStatus status = GzcUnpack(job, src);
  double took = Seconds(start);
  if (status != GZC_OK) {
    RemoveFolders(made);
    return Fail(std::string(archive) + ": " + GzcStatusText(status));
  }
  if (timed) std::fprintf(stderr, "gzc: unpack %.3f s\n", took);
  std::printf("%s: kind %s, unpacked\n", archive, KindAt(in, 0, in.size).c_str());
  return 0;
}

// Lists or verifies the archive that starts at `offset` and takes at most `avail` bytes.
int ListAt(Input& in, const char* name, uint64_t offset, uint64_t avail, bool verify, const std::string& gzTmp) {
  if (!ops->seek(ops->ctx, in.file, offset)) return Fail(std::string("cannot read ") + name);
  // Names are listed in UTF-8, also those of archives in code page 1250.
  GzcSource src{ops, in.file, avail, offset, true};
  const std::string kind = KindAt(in, offset, avail);
  if (verify) {
    GzcStatus status = GzcVerify(src, gzTmp.c_str());
    if (status != GZC_OK) return Fail(std::string(name) + ": kind " + kind + ": " + GzcStatusText(status));
    std::printf("%s: kind %s, ok\n", name, kind.c_str());
    return 0;
  }
  std::vector<GzcEntry> entries;
  GzcStatus status = GzcList(src, gzTmp.c_str(), &entries);
  if (status != GZC_OK) return Fail(std::string(name) + ": kind " + kind + ": " + GzcStatusText(status));
  std::printf("# kind %s\n", kind.c_str());
  for (const GzcEntry& e : entries) std::printf("%s\t%lu\n", e.path.c_str(), static_cast<unsigned long>(e.size));
  return 0;
}

int ListOrVerify(const char* archive, bool installer, bool verify) {
  Input in;
  if (!in.Open(archive)) return Fail(std::string("cannot read ") + archive);
  Scratch scratch;
  if (!scratch.ok()) return Fail("cannot create a scratch folder");
  if (!installer) return ListAt(in, archive, 0, in.size, verify, scratch.gzTmp());

  GzcInstallerLayout layout;
  GzcStatus status = GzcFindInstaller(ops, in.file, in.size, &layout);
  if (status != GZC_OK) return Fail(std::string(archive) + ": " + GzcStatusText(status));
  // The language data between the checksums and the configuration archive: packed (unpacked and
  // checked here), or as it stands in an installer built before the build packed it.
  const uint64_t langAt = layout.marker + kRcMarkerLength + (layout.sums ? kRcSumsLength : 0);
  const uint64_t langLength = layout.cfgOffset - langAt;
  std::string lang, texts;
  bool langOk = langLength <= kLangUnpackedMax && ops->seek(ops->ctx, in.file, langAt);
  if (langOk) {
    lang.resize(static_cast<size_t>(langLength));
    size_t got = 0, n = 0;
    while (got < lang.size() && (n = ops->read(ops->ctx, in.file, &lang[got], lang.size() - got)) > 0) got += n;
    langOk = got == lang.size();
  }
  const bool packed = langOk && LangPackedLength(lang.data(), lang.size()) == lang.size();
  if (packed) {
    const size_t head = lang.find('\n') + 1;
    langOk = LangUnpack(lang.data() + head, lang.size() - head, &texts);
  } else {
    langOk = langOk && lang.compare(0, 7, "PRLANG ") == 0;
  }
  if (!langOk) return Fail(std::string(archive) + ": language data: damaged");
  if (!verify)
    std::printf("# engine %llu bytes, language data %llu bytes%s\n", static_cast<unsigned long long>(layout.marker),
                static_cast<unsigned long long>(langLength),
                packed ? (", packed from " + std::to_string(texts.size())).c_str() : "");
  struct Part {
    const char* name;
    uint64_t offset;
    uint32_t length, sum;
  } parts[] = {{kCfgArchive, layout.cfgOffset, layout.cfgLength, layout.cfgSum},
               {kBinArchive, layout.binOffset, layout.binLength, layout.binSum}};
  for (const Part& p : parts) {
    if (!verify)
      std::printf("[%s] offset %llu length %lu\n", p.name, static_cast<unsigned long long>(p.offset),
                  static_cast<unsigned long>(p.length));
    // The bytes as they stand first, as the installer checks them.
    GzcStatus sum = verify && layout.sums ? GzcCheckBytes(ops, in.file, p.offset, p.length, p.sum) : GZC_OK;
    if (sum != GZC_OK) return Fail(std::string(p.name) + ": " + GzcStatusText(sum));
    if (int rc = ListAt(in, p.name, p.offset, p.length, verify, scratch.gzTmp())) return rc;
  }
  return 0;
}

}  // namespace

static int Main(int argc, char** argv);

int main(int argc, char** argv) {
  try {
    return Main(argc, argv);
  } catch (const std::bad_alloc&) {
    // A hostile archive ends in a refusal, not in an abort.
    return Fail("out of memory");
  }
}

static int Main(int argc, char** argv) {
#ifndef _WIN32
  // Unpacking holds every folder of the archive open: take as many descriptors as the system allows.
  struct rlimit lim;
  if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur < lim.rlim_max) {
    lim.rlim_cur = lim.rlim_max;
    setrlimit(RLIMIT_NOFILE, &lim);
  }
#endif
  if (argc == 2 && (!std::strcmp(argv[1], "-h") || !std::strcmp(argv[1], "--help"))) {
    std::fputs(kUsage, stdout);
    std::fputs(kHelp, stdout);
    return 0;
  }
  if (argc == 2 && !std::strcmp(argv[1], "--version")) {
    std::puts("gzc (Packrift) " PR_VERSION);
    return 0;
  }
  std::vector<std::string> args;
  bool timed = false, installer = false, lzma = false;
  char level = '6';
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--time")
      timed = true;
    else if (a == "--installer")
      installer = true;
    else if (a == "--lzma")
      lzma = true;
    else if (a.size() == 2 && a[0] == '-' && a[1] >= '0' && a[1] <= '9')
      level = a[1];
    else if (a.size() > 1 && a[0] == '-')
      return Usage();
    else
      args.push_back(a);
  }
  if (args.empty()) return Usage();
  const std::string& cmd = args[0];
  if (cmd == "pack" && args.size() == 3 && !installer) return Pack(args[1].c_str(), args[2].c_str(), level, lzma, timed);
  if (cmd == "unpack" && args.size() == 3 && !installer) return Unpack(args[1].c_str(), args[2].c_str(), timed);
  if (cmd == "list" && args.size() == 2) return ListOrVerify(args[1].c_str(), installer, false);
  if (cmd == "verify" && args.size() == 2) return ListOrVerify(args[1].c_str(), installer, true);
  return Usage();
}
