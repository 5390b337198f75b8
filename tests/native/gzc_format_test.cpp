// GZC format: checksum, path helpers, archives of known bytes read back, and packed archives read by
// an independent reader.
#include <dirent.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include "core/langpack.h"
#include "gzc_testutil.h"

using namespace gzctest;

TEST(GzcChecksum, AddsModulo2To32Minus1) {
  crc32Reset();
  EXPECT_EQ(crc32(200, false), 200u);
  EXPECT_EQ(crc32(100, false), 300u);
  EXPECT_EQ(crc32(7, true), 300u) << "a query adds nothing";
  // Bytes adding up to exactly 4294967295 give 0; 16843010 bytes of 255 give 255.
  crc32Reset();
  Bytes ff(16843009, '\xff');
  crc32Block(reinterpret_cast<const unsigned char*>(ff.data()), ff.size());
  EXPECT_EQ(crc32(0, true), 0u);
  EXPECT_EQ(crc32(255, false), 255u);
}

TEST(GzcChecksum, BlockEqualsBytewise) {
  Bytes data = Pseudo(300000, 7);
  crc32Reset();
  for (int i = 0; i < 16900; ++i) crc32(255, false);  // start close to a wrap
  uint32_t start = crc32(0, true);
  for (unsigned char c : data) crc32(c, false);
  uint32_t bytewise = crc32(0, true);
  crc32Reset();
  crc32Block(reinterpret_cast<const unsigned char*>("\xff"), 0);
  for (int i = 0; i < 16900; ++i) crc32(255, false);
  ASSERT_EQ(crc32(0, true), start);
  crc32Block(reinterpret_cast<const unsigned char*>(data.data()), data.size());
  EXPECT_EQ(crc32(0, true), bytewise);
}

TEST(GzcPaths, CutDirectory) {
  struct Case { const char* path; const char* folder; const char* want; } cases[] = {
      {"C:\\Prog\\doc\\end.txt", "C:\\Prog", "doc\\end.txt"},
      {"C:\\Prog\\doc\\end.txt", "C:\\Prog\\", "doc\\end.txt"},
      {"C:\\Program\\x.txt", "C:\\Prog", "C:\\Program\\x.txt"},  // not inside
      {"D:\\Other\\x.txt", "C:\\Prog", "D:\\Other\\x.txt"},
      {"C:\\Prog", "C:\\Prog", "C:\\Prog"},
      {"/home/a/b/c", "/home/a", "b/c"},
  };
  for (const Case& c : cases) {
    char buf[GZC_PATH_MAX + 1];
    std::snprintf(buf, sizeof buf, "%s", c.path);
    EXPECT_STREQ(CutDirectory(buf, c.folder), c.want) << c.path << " - " << c.folder;
  }
}

TEST(GzcPaths, SafeListLines) {
  const char* good[] = {"a.txt", "sub\\b.dat", "a/b", "x\xff.txt", "cone.d\\x", "com10", "lpt", "...a", "a.b.c\\d e"};
  for (const char* s : good) EXPECT_TRUE(GzcSafeListLine(s, std::strlen(s))) << s;
  const char* bad[] = {"", "\\x", "/etc/passwd", "\\\\server\\share\\x", "C:\\x", "C:x", "a\\..\\..\\x", "..",
                       "a\\..", "..\\a", "a\\.\\b", "a\\\\b", "a\\", "...", ". .\\x", "CON", "nul.txt",
                       "sub\\com1", "LPT9.log", "com0", "LPT0.txt", "com\xb9", "LPT\xb3.log", "a\tb", "a:stream", "a\rb"};
  for (const char* s : bad) EXPECT_FALSE(GzcSafeListLine(s, std::strlen(s))) << s;
  EXPECT_FALSE(GzcSafeListLine("a\0b", 3)) << "an embedded zero";
  std::string longest(GZC_PATH_MAX, 'a');
  EXPECT_TRUE(GzcSafeListLine(longest.data(), longest.size()));
  longest += 'a';
  EXPECT_FALSE(GzcSafeListLine(longest.data(), longest.size()));
}

TEST(GzcPaths, DircatJoinsAndLimits) {
  std::string out = "unchanged";
  EXPECT_TRUE(dircat(&out, "/d", "sub\\f.txt", 9));
  EXPECT_EQ(out, std::string("/d") + GZC_SEP + "sub" + GZC_SEP + "f.txt");
  std::string folder(GZC_PATH_MAX - 6, 'f');
  EXPECT_TRUE(dircat(&out, folder.c_str(), "a\\b.c", 5));  // exactly at the limit
  out = "unchanged";
  EXPECT_FALSE(dircat(&out, folder.c_str(), "a\\bc.d", 6));
  EXPECT_FALSE(dircat(&out, "/d", "..\\x", 4));
  EXPECT_EQ(out, "unchanged");
}

// Archives built here from known bytes, read by the module.
TEST(GzcKnownArchives, ReadCorrectly) {
  struct Case {
    const char* name;
    std::vector<std::pair<Bytes, Bytes>> files;
  };
  std::vector<Case> cases = {
      {"empty folder", {}},
      {"zero-length file", {{"empty.txt", ""}}},
      {"nested folders", {{"a.txt", "alpha"}, {"sub\\b.dat", Pseudo(5000, 1)}, {"sub\\deeper\\c", "c"}}},
      {"name with 0xFF", {{"x\xff\xff.txt", "ff"}}},
      {"checksum wraps", {{"ff.bin", Bytes(16843010, '\xff')}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir d;
    Bytes archive = BuildArchive(c.files);
    EXPECT_EQ(VerifyBytes(d, archive), GZC_OK);
    std::vector<GzcEntry> entries;
    ASSERT_EQ(VerifyBytes(d, archive, &entries), GZC_OK);
    ASSERT_EQ(entries.size(), c.files.size());
    std::map<std::string, Bytes> want;
    for (size_t i = 0; i < c.files.size(); ++i) {
      EXPECT_EQ(entries[i].path, c.files[i].first);
      EXPECT_EQ(entries[i].size, c.files[i].second.size());
      std::string rel = c.files[i].first;
      for (char& ch : rel) ch = ch == '\\' ? '/' : ch;
      want[rel] = c.files[i].second;
    }
    ASSERT_EQ(UnpackBytes(d, archive, d.root / "dest"), GZC_OK);
    EXPECT_EQ(Snapshot(d.root / "dest"), want);
  }
}

TEST(GzcKnownArchives, ChecksumWrapsAt2To32Minus1) {
  // 16843010 * 255 = 4294967295 + 255, and the list line "ff.bin" CR LF adds 586.
  TempDir d;
  Bytes archive = BuildArchive({{"ff.bin", Bytes(16843010, '\xff')}});
  ASSERT_EQ(LE(archive, 3), 841u);
  EXPECT_EQ(VerifyBytes(d, archive), GZC_OK);
  Bytes modulo2To32 = archive;
  modulo2To32[3] = static_cast<char>(840 & 0xff);  // what a sum modulo 2^32 would store
  EXPECT_EQ(VerifyBytes(d, modulo2To32), GZC_ERR_CHECKSUM);
}

// Archives of code page 1250 names, read for a caller that takes UTF-8: converted by the table,
// whatever the machine's locale.
TEST(GzcKnownArchives, Cp1250NamesReadAsUtf8) {
  TempDir d;
  Bytes archive = BuildArchive({{"za\xbf\xf3\xb3\xe6.txt", "x"}, {"\x8c\x9f\\\x80", "e"}});
  std::vector<GzcEntry> entries;
  ASSERT_EQ(VerifyBytes(d, archive, &entries, true), GZC_OK);
  ASSERT_EQ(entries.size(), 2u);
  EXPECT_EQ(entries[0].path, "zażółć.txt");
  EXPECT_EQ(entries[1].path, "Śź\\€");
  ASSERT_EQ(UnpackBytes(d, archive, d.root / "dest", true, nullptr, true), GZC_OK);
  EXPECT_EQ(Snapshot(d.root / "dest"), (std::map<std::string, Bytes>{{"zażółć.txt", "x"}, {"Śź/€", "e"}}));
}

// The Unicode walk: every name travels in UTF-8, flagged only where it is not plain ASCII; what no
// Windows could hold stops the packing, named, before an archive is written.
TEST(GzcNames, EveryNameTravelsOrIsRefusedNamed) {
  TempDir probe;
  const size_t rootUnits = GzcUtf16Units(probe.root.c_str(), probe.root.string().size());
  // Nested folders of CJK names whose whole path (root, "src", the names) takes `units` UTF-16 units.
  auto longPath = [&](size_t units) {
    size_t room = units - rootUnits - std::strlen("/src/") - std::strlen(".txt");
    std::string rel;
    while (room) {
      size_t n = std::min<size_t>(room, 60);  // 180 bytes: within a Linux name's 255
      for (size_t i = 0; i < n; ++i) rel += "\xe6\x97\xa5";
      room -= n;
      if (room) {
        rel += '/';
        --room;
      }
    }
    return rel + ".txt";
  };
  struct Case {
    const char* what;
    std::vector<std::string> names;
    GzcNameFault fault;
  } cases[] = {
      {"plain ASCII", {"plain.txt", "sub/x.dat"}, GZC_NAME_OK},
      {"CJK", {"日本.txt"}, GZC_NAME_OK},
      {"emoji beyond the BMP", {"emoji😀.txt"}, GZC_NAME_OK},
      {"ñ, outside code page 1250", {"Español.lng"}, GZC_NAME_OK},
      {"a combining accent", {"Cafe\xcc\x81.txt"}, GZC_NAME_OK},
      {"ß", {"Straße/Maß.txt"}, GZC_NAME_OK},
      {"at the path limit", {longPath(GZC_PATH_MAX)}, GZC_NAME_OK},
      {"over the path limit", {longPath(GZC_PATH_MAX + 1)}, GZC_NAME_TOO_LONG},
      {"a device name", {"sub/aux.txt"}, GZC_NAME_FORBIDDEN},
      {"a trailing dot", {"name."}, GZC_NAME_FORBIDDEN},
      {"a trailing blank", {"name "}, GZC_NAME_FORBIDDEN},
      {"a colon", {"a:b.txt"}, GZC_NAME_FORBIDDEN},
      {"a question mark", {"why?.txt"}, GZC_NAME_FORBIDDEN},
      {"a backslash", {"back\\slash"}, GZC_NAME_FORBIDDEN},
      {"no UTF-8", {"bad\xff.txt"}, GZC_NAME_NOT_UTF8},
      {"equal but for case", {"Read.me", "READ.ME"}, GZC_NAME_CASE},
      {"equal but for case, beyond ASCII", {"Łódź.txt", "łódź.TXT"}, GZC_NAME_CASE},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    TempDir d;
    ASSERT_EQ(d.root.string().size(), probe.root.string().size()) << "the limit rows count on it";
    std::map<std::string, Bytes> want;
    for (const std::string& name : c.names) {
      TempDir::WriteFile(d.root / "src" / name, name);
      want[name] = name;
    }
    GzcPackResult res;
    GzcStatus st = Pack(d, d.root / "src", d.root / "n.gzc", nullptr, "wb6", &res, 0, true);
    EXPECT_EQ(res.refusedWhy, c.fault);
    if (c.fault != GZC_NAME_OK) {
      EXPECT_EQ(st, GZC_ERR_NAME);
      EXPECT_EQ(res.refused.rfind((d.root / "src").string() + "/", 0), 0u) << res.refused;
      EXPECT_FALSE(fs::exists(d.root / "n.gzc")) << "no archive";
      continue;
    }
    ASSERT_EQ(st, GZC_OK);
    Bytes archive = ReadFile(d.root / "n.gzc");
    bool ascii = true;
    for (const std::string& name : c.names)
      for (char ch : name) ascii = ascii && static_cast<unsigned char>(ch) < 0x80;
    EXPECT_EQ(ParseArchive(archive).flags, ascii ? 0u : GZC_FLAG_UTF8);
    // Into a folder as long as "src", so that the longest path still fits.
    ASSERT_EQ(UnpackBytes(d, archive, d.root / "dst", true, nullptr, true), GZC_OK);
    EXPECT_EQ(Snapshot(d.root / "dst"), want);
  }
}

// A folder with the usual mix, written by the module and read back by both readers.
class GzcPacked : public ::testing::Test {
 protected:
  TempDir d;
  fs::path src = d.root / "src";
  std::map<std::string, Bytes> files = {
      {"a.txt", "hello\r\n"}, {"zero", ""}, {"sub/r.bin", Pseudo(200000, 3)},
      {"sub/deep/t.txt", Bytes(70000, 'z')}, {"x\xff.txt", "ff"},
  };
  void SetUp() override {
    for (auto& f : files) TempDir::WriteFile(src / f.first, f.second);
    fs::create_directories(src / "empty" / "nested");
  }
  // The order the directory search returns: what the list must follow.
  std::vector<std::string> SearchOrder(const fs::path& dir, const std::string& rel) {
    std::vector<std::string> out;
    DIR* dp = opendir(dir.c_str());
    while (dirent* e = readdir(dp)) {
      std::string name = e->d_name;
      if (name == "." || name == "..") continue;
      std::string r = rel.empty() ? name : rel + "\\" + name;
      if (fs::is_directory(dir / name)) {
        auto sub = SearchOrder(dir / name, r);
        out.insert(out.end(), sub.begin(), sub.end());
      } else {
        out.push_back(r);
      }
    }
    closedir(dp);
    return out;
  }
};

TEST_F(GzcPacked, IndependentReaderAgrees) {
  for (uint32_t kind : {GZC_ARCHIVE_GZIP, GZC_ARCHIVE_LZMA})
  for (const char* mode : {"wb0", "wb1", "wb6", "wb9"}) {
    SCOPED_TRACE(std::string(mode) + " kind " + std::to_string(kind));
    fs::path archive = d.root / "out.gzc";
    GzcPackResult res;
    ASSERT_EQ(Pack(d, src, archive, nullptr, mode, &res, 0, false, kind), GZC_OK);
    Bytes a = ReadFile(archive);
    Parsed p = ParseArchive(a);
    EXPECT_EQ(p.n, files.size() + 1);
    EXPECT_EQ(res.entries, p.n);
    EXPECT_EQ(res.checksum, p.checksum);
    EXPECT_EQ(res.length, a.size());
    EXPECT_EQ(p.lines, SearchOrder(src, ""));
    EXPECT_EQ(p.flags >> GZC_ARCHIVE_KIND_SHIFT, kind);
    for (uint32_t i = 0; i < (kind == GZC_ARCHIVE_GZIP ? p.n : 1); ++i)  // every member's header gives the system of Windows' zlib
      EXPECT_EQ(static_cast<unsigned char>(a[p.t[i] + 9]), 10) << "member " << i;
    for (size_t i = 0; i < p.lines.size(); ++i) {
      std::string rel = p.lines[i];
      for (char& ch : rel) ch = ch == '\\' ? '/' : ch;
      EXPECT_EQ(p.contents[i], files[rel]) << rel;
    }
  }
}

TEST_F(GzcPacked, RoundTripIsBitExactAndRepeatable) {
  for (uint32_t kind : {GZC_ARCHIVE_GZIP, GZC_ARCHIVE_LZMA}) {
    SCOPED_TRACE(kind);
    ASSERT_EQ(Pack(d, src, d.root / "one.gzc", nullptr, "wb6", nullptr, 0, false, kind), GZC_OK);
    ASSERT_EQ(Pack(d, src, d.root / "two.gzc", nullptr, "wb6", nullptr, 0, false, kind), GZC_OK);
    Bytes one = ReadFile(d.root / "one.gzc"), two = ReadFile(d.root / "two.gzc");
    EXPECT_EQ(ParseArchive(one).lines, ParseArchive(two).lines);
    EXPECT_EQ(ParseArchive(one).t, ParseArchive(two).t);
    if (kind == GZC_ARCHIVE_LZMA) EXPECT_EQ(one, two);
    fs::remove_all(d.root / "dest");
    ASSERT_EQ(UnpackBytes(d, one, d.root / "dest"), GZC_OK);
    EXPECT_EQ(Snapshot(d.root / "dest"), files);
    EXPECT_FALSE(fs::exists(d.root / "dest" / "empty")) << "folders are not recorded";
  }
}

TEST_F(GzcPacked, EmptyAndMissingFoldersPackAsEmpty) {
  for (uint32_t kind : {GZC_ARCHIVE_GZIP, GZC_ARCHIVE_LZMA})
  for (fs::path folder : {d.root / "nothing-here", src / "empty"}) {
    ASSERT_EQ(Pack(d, folder, d.root / "e.gzc", nullptr, "wb6", nullptr, 0, false, kind), GZC_OK);
    EXPECT_EQ(VerifyBytes(d, ReadFile(d.root / "e.gzc")), GZC_OK);
    Bytes a = ReadFile(d.root / "e.gzc");
    Parsed p = ParseArchive(a);
    EXPECT_EQ(p.n, 1u);
    EXPECT_EQ(p.checksum, 0u);
    EXPECT_EQ(p.t[0], 23u);
    EXPECT_EQ(p.t[1], a.size());
  }
}

TEST_F(GzcPacked, UnarchivableFilesAreSkippedAndReported) {
  TempDir::WriteFile(src / "back\\slash", "x");
  TempDir::WriteFile(src / "CON", "x");
  ASSERT_EQ(symlink("/etc/hostname", (src / "link").c_str()), 0);
  GzcPackResult res;
  ASSERT_EQ(Pack(d, src, d.root / "s.gzc", nullptr, "wb6", &res), GZC_OK);
  EXPECT_EQ(res.skipped.size(), 3u);
  EXPECT_EQ(ParseArchive(ReadFile(d.root / "s.gzc")).n, files.size() + 1);
}

// A file that cannot be read stops the packing, named: never an empty or short member.
TEST_F(GzcPacked, AFileThatCannotBeReadStopsThePackingAndIsNamed) {
  // The built-in layer, but the file `path` cannot be opened (held by another program, no rights),
  // its reading fails after the first block, or the folder `path` cannot be searched.
  struct Faulty {
    enum How { OPEN, READ, SEARCH } how;
    std::string path;
    void* file = nullptr;
    GzcFileOps ops = *GzcDefaultFileOps();
    Faulty(How h, std::string p) : how(h), path(std::move(p)) {
      ops.ctx = this;
      ops.open = [](void* ctx, const char* path, bool write) -> void* {
        Faulty* f = static_cast<Faulty*>(ctx);
        if (!write && f->how == OPEN && f->path == path) return nullptr;
        void* file = GzcDefaultFileOps()->open(nullptr, path, write);
        if (f->path == path) f->file = file;
        return file;
      };
      ops.read = [](void* ctx, void* file, void* buf, size_t n) -> size_t {
        Faulty* f = static_cast<Faulty*>(ctx);
        size_t got = GzcDefaultFileOps()->read(nullptr, file, buf, n);
        if (f->how == READ && file == f->file && std::ftell(static_cast<FILE*>(file)) > 65536) return 0;
        return got;
      };
      ops.listDir = [](void* ctx, const char* folder, void (*onEntry)(void*, const char*, GzcKind), void* cookie) {
        Faulty* f = static_cast<Faulty*>(ctx);
        return !(f->how == SEARCH && f->path == folder) &&
               GzcDefaultFileOps()->listDir(nullptr, folder, onEntry, cookie);
      };
    }
  };
  const struct {
    const char* what;
    Faulty::How how;
    fs::path path;
  } cases[] = {
      {"a file that cannot be opened", Faulty::OPEN, src / "sub" / "r.bin"},
      {"a read error after the first block", Faulty::READ, src / "sub" / "r.bin"},
      {"a folder that cannot be searched", Faulty::SEARCH, src / "sub" / "deep"},
  };
  for (uint32_t kind : {GZC_ARCHIVE_GZIP, GZC_ARCHIVE_LZMA})
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.what) + " kind " + std::to_string(kind));
    Faulty faulty(c.how, c.path.string());
    std::string f = src.string(), a = (d.root / "u.gzc").string(), g = d.gzTmp(), l = d.listFile();
    GzcPackJob job{f.c_str(), a.c_str(), g.c_str(), l.c_str(), "wb6", &faulty.ops, nullptr, 0, false, nullptr, nullptr};
    job.kind = kind;
    GzcPackResult res;
    EXPECT_EQ(GzcPack(job, &res), GZC_ERR_SOURCE);
    EXPECT_EQ(res.unreadable, c.path.string());
  }
}

// The archive does not depend on how many threads compress (one against the most there may be);
// gz.tmp stays, holding a member of the pack, and no other scratch file is left.
TEST(GzcScratch, ThreadsGiveTheSameArchiveAndLeaveOnlyGzTmp) {
  TempDir d;
  fs::path src = d.root / "src";
  // Long names and one-byte files (the list member is far longer than any file's member), a large
  // file among small ones, an empty one.
  for (uint32_t i = 0; i < 40; ++i) {
    Bytes name = Pseudo(150, i + 1);
    for (char& c : name) c = static_cast<char>('a' + static_cast<unsigned char>(c) % 26);
    TempDir::WriteFile(src / name, Bytes(1, static_cast<char>(i)));
  }
  TempDir::WriteFile(src / "big" / "text.txt", Bytes(3 << 20, 'x') + Pseudo(1 << 20, 5));
  TempDir::WriteFile(src / "big" / "empty", "");
  for (uint32_t i = 0; i < 30; ++i) TempDir::WriteFile(src / "small" / std::to_string(i), Pseudo(i * 997, i));
  Bytes first;
  for (unsigned threads : {1u, 2u, 3u, GZC_PACK_MAX_THREADS}) {
    fs::path archive = d.root / ("out" + std::to_string(threads) + ".gzc");
    ASSERT_EQ(Pack(d, src, archive, nullptr, "wb6", nullptr, threads), GZC_OK);
    Bytes a = ReadFile(archive);
    if (first.empty()) first = a;
    EXPECT_EQ(a, first) << threads << " threads";
    std::set<std::string> left;
    for (auto& e : fs::directory_iterator(d.root / "scratch")) left.insert(e.path().filename().string());
    EXPECT_EQ(left, (std::set<std::string>{"gz.tmp", "list.txt"})) << threads << " threads";
    // gz.tmp ends with a whole member of the archive.
    Bytes tmp = ReadFile(d.gzTmp());
    Parsed p = ParseArchive(a);
    bool endsWithMember = false;
    for (uint32_t i = 0; i < p.n; ++i) {
      size_t len = p.t[i + 1] - p.t[i];
      if (tmp.size() < len) continue;
      Bytes end = tmp.substr(tmp.size() - len), member = a.substr(p.t[i], len);
      end[9] = member[9];  // the archive's copy gives the system code of Windows' zlib
      if (end == member) endsWithMember = true;
    }
    EXPECT_TRUE(endsWithMember) << threads << " threads";
  }
  EXPECT_EQ(ParseArchive(first).contents.size(), 72u);
}

TEST(GzcScratch, ReadingLeavesOneMemberAloneInGzTmp) {
  TempDir d;
  Bytes archive = BuildArchive({{"big.bin", Pseudo(100000, 7)}, {"tiny.txt", "t"}});
  ASSERT_EQ(UnpackBytes(d, archive, d.root / "dest"), GZC_OK);
  // The files' members are read ahead from the archive itself: only the list's passes through.
  EXPECT_EQ(ReadFile(d.gzTmp()), archive.substr(LE(archive, 15), LE(archive, 19) - LE(archive, 15)));
  fs::remove(d.gzTmp());
  ASSERT_EQ(VerifyBytes(d, archive), GZC_OK);
  EXPECT_EQ(ReadFile(d.gzTmp()), Gzip("t"));
}

// A member is read from gz.tmp alone: the rest of a longer member before it is not read after it.
// Here the leftover would be a whole gzip member, which a strict reader would find behind the
// empty one.
TEST(GzcScratch, LeftoversOfALongerMemberAreNotRead) {
  TempDir d;
  Bytes list = "first\r\nsecond\r\n";
  Bytes q = Pseudo(3000, 9);
  Bytes a = ArchiveOfMembers({Gzip(list), Gzip("") + Gzip(q), Gzip("")}, Sum({list, q, ""}));
  EXPECT_EQ(VerifyBytes(d, a), GZC_OK);
  ASSERT_EQ(UnpackBytes(d, a, d.root / "dest"), GZC_OK);
  EXPECT_EQ(Snapshot(d.root / "dest"), (std::map<std::string, Bytes>{{"first", q}, {"second", ""}}));
}

// A member that is not gzip data is read as zlib reads such a file, byte for byte, even after gzip
// members, and gzip members after it read normally; a strict check refuses it.
TEST(GzcScratch, MembersThatAreNotGzipDataPassThrough) {
  TempDir d;
  Bytes list = "a\r\nraw\r\nb\r\n";
  Bytes raw = "plain bytes, no gzip header";  // 27 bytes, then its stored length
  Bytes a = ArchiveOfMembers({Gzip(list), Gzip("alpha"), raw + Bytes("\x1b\0\0\0", 4), Gzip("beta")},
                             Sum({list, "alpha", raw, "beta"}));
  ASSERT_EQ(UnpackBytes(d, a, d.root / "dest"), GZC_OK);
  EXPECT_EQ(Snapshot(d.root / "dest"), (std::map<std::string, Bytes>{{"a", "alpha"}, {"raw", raw}, {"b", "beta"}}));
  EXPECT_EQ(VerifyBytes(d, a), GZC_ERR_MEMBER);
}

// Unpacking reads the archive ahead and writes its files on threads the job's thread operations
// give, or inline when they give none; either way the files are the same.
namespace {
struct CountingThreads {
  static inline std::atomic<int> starts{0};
  static inline bool refuse = false;
  struct Sync {
    std::mutex m;
    std::condition_variable_any cv;
  };
  static GzcThreadOps Ops() {
    return {[](void (*run)(void*), void* arg) -> void* {
              ++starts;
              return refuse ? nullptr : new std::thread(run, arg);
            },
            [](void* t) {
              static_cast<std::thread*>(t)->join();
              delete static_cast<std::thread*>(t);
            },
            []() -> void* { return new Sync; }, [](void* s) { delete static_cast<Sync*>(s); },
            [](void* s) { static_cast<Sync*>(s)->m.lock(); }, [](void* s) { static_cast<Sync*>(s)->m.unlock(); },
            [](void* s) { static_cast<Sync*>(s)->cv.wait(static_cast<Sync*>(s)->m); },
            [](void* s) { static_cast<Sync*>(s)->cv.notify_all(); }};
  }
};
}  // namespace

TEST(GzcUnpackThreads, TheJobsThreadsOrInline) {
  std::vector<std::pair<Bytes, Bytes>> files;
  for (int i = 0; i < 40; ++i) files.push_back({"d\\f" + std::to_string(i), Pseudo(40000 + i * 1000, i)});
  files.push_back({"big", Pseudo(20u << 20, 77)});  // more than the writer's queue holds
  Bytes a = BuildArchive(files);
  std::map<std::string, Bytes> want;
  for (auto& f : files) want[f.first == "big" ? "big" : "d/" + f.first.substr(2)] = f.second;
  for (bool refuse : {false, true}) {
    SCOPED_TRACE(refuse ? "no thread: inline" : "the job's thread");
    TempDir d;
    CountingThreads::starts = 0;
    CountingThreads::refuse = refuse;
    GzcThreadOps ops = CountingThreads::Ops();
    fs::path file = d.root / "scratch" / "in.gzc", dest = d.root / "dest";
    TempDir::WriteFile(file, a);
    fs::create_directories(dest);
    FILE* f = std::fopen(file.string().c_str(), "rb");
    std::string destStr = dest.string(), g = d.gzTmp();
    GzcUnpackJob job{destStr.c_str(), g.c_str(), true, nullptr, &ops, false, 0};
    GzcSource src{nullptr, f, a.size(), 0};
    EXPECT_EQ(GzcUnpack(job, src), GZC_OK);
    std::fclose(f);
    EXPECT_EQ(CountingThreads::starts, 2) << "the reading ahead and the writing";
    EXPECT_EQ(Snapshot(dest), want);
  }
}

// Into a folder that holds no file (empty folders at most) nothing can be replaced: the archive is
// read once, and a damage found on the way takes back every file and folder written before it.
TEST(GzcUnpackOnce, IntoAFolderWithoutFilesTheArchiveIsReadOnce) {
  static uint64_t bytesRead;
  static const GzcFileOps* plain = GzcDefaultFileOps();
  GzcFileOps counting = *plain;
  counting.read = [](void* ctx, void* file, void* buf, size_t n) {
    size_t got = plain->read(ctx, file, buf, n);
    bytesRead += got;
    return got;
  };
  Bytes good = BuildArchive({{"a.txt", Pseudo(200000, 1)}, {"sub\\b.txt", "b"}, {"sub\\c.txt", Pseudo(90000, 2)}});
  Bytes badSum = good, badMember = good;
  badSum[3] ^= 1;
  badMember[badMember.size() - 8] ^= 0x55;  // the last member's own CRC-32
  struct Case {
    const char* name;
    const Bytes& archive;
    GzcStatus want;
  } cases[] = {{"intact", good, GZC_OK}, {"damaged sum", badSum, GZC_ERR_CHECKSUM}, {"damaged member", badMember, GZC_ERR_SHORT}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir d;
    fs::path file = d.root / "scratch" / "in.gzc", dest = d.root / "dest";
    TempDir::WriteFile(file, c.archive);
    fs::create_directories(dest / "empty");
    FILE* f = std::fopen(file.string().c_str(), "rb");
    std::string destStr = dest.string(), g = d.gzTmp();
    GzcUnpackJob job{destStr.c_str(), g.c_str(), true, nullptr, nullptr, false, 0};
    bytesRead = 0;
    EXPECT_EQ(GzcUnpack(job, GzcSource{&counting, f, c.archive.size(), 0}), c.want);
    std::fclose(f);
    EXPECT_LE(bytesRead, c.archive.size());
    std::set<std::string> left;
    for (auto& e : fs::recursive_directory_iterator(dest)) left.insert(fs::relative(e.path(), dest).string());
    const std::set<std::string> all{"a.txt", "empty", "sub", "sub/b.txt", "sub/c.txt"}, none{"empty"};
    EXPECT_EQ(left, c.want == GZC_OK ? all : none);
  }
}

// The language data as installers carry it: packed, the same bytes from every builder, and any
// damage refused.
TEST(LangPacked, UnpacksToTheSameBytesAndRefusesDamage) {
  std::string data = "PRLANG 0\r\n";
  for (int i = 0; i < 200; ++i) data += std::to_string(i) + "=Tekst numer " + std::to_string(i * 7) + "\n";
  const std::string block = LangPack(data);
  ASSERT_EQ(block.size(), LangPackedLength(block.data(), block.size() + 5));  // bytes behind it are not its
  EXPECT_LT(block.size(), data.size() / 2);
  const std::string gz = block.substr(block.find('\n') + 1);
  EXPECT_EQ('\xff', gz[9]) << "the gzip header names no system, so Windows and Linux builds agree";
  auto unpack = [](const std::string& member) {
    std::string out;
    return LangUnpack(member.data(), member.size(), &out) ? out : std::string("<refused>");
  };
  EXPECT_EQ(data, unpack(gz));
  auto changed = [&gz](size_t at) {
    std::string g = gz;
    g[at] ^= 0x10;
    return g;
  };
  const std::string tooLong = LangPack(std::string(kLangUnpackedMax + 1, '\n'));
  const struct {
    const char* what;
    std::string member;
  } damaged[] = {
      {"cut short", gz.substr(0, gz.size() - 1)},
      {"a deflated byte changed", changed(gz.size() / 2)},
      {"its CRC-32 changed", changed(gz.size() - 8)},
      {"a length that lies", changed(gz.size() - 4)},
      {"bytes behind the member", gz + "x"},
      {"a second member", gz + gz},
      {"nothing", ""},
      {"more than the bound unpacked", tooLong.substr(tooLong.find('\n') + 1)},
  };
  for (const auto& d : damaged) EXPECT_EQ("<refused>", unpack(d.member)) << d.what;
  for (const char* head : {"PRLANG 20\r\n", "PRLANZ \r\n", "PRLANZ 20\n", "PRLANZ 2x\r\n", "PRLANZ 99999999\r\n"}) {
    const std::string b = head + gz;
    EXPECT_EQ(0u, LangPackedLength(b.data(), b.size())) << head;
  }
}
