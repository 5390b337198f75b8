// Damaged and hostile archives: refused before anything is written; failures while writing remove
// only what the unpacker wrote; nothing outside the destination is ever touched.
#include <unistd.h>

#include <functional>
#include <set>

#include "gzc_testutil.h"

using namespace gzctest;

namespace {

const char kProbe[] = "gzc-escape-probe";

// The built-in file access, noting every file opened for writing and every folder made (those made
// relative to a held folder as "@" and the name: they are all below the destination). `onCreate`
// runs after each file is created there: the point at which a test changes the file system.
struct Recording {
  std::vector<std::string> writes;
  std::function<void(const char* name)> onCreate;
  GzcFileOps ops = *GzcDefaultFileOps();
  Recording() {
    ops.makeDirAt = [](void* ctx, void* parent, const char* name) {
      static_cast<Recording*>(ctx)->writes.push_back(std::string("@") + name);
      return GzcDefaultFileOps()->makeDirAt(nullptr, parent, name);
    };
    ops.createAt = [](void* ctx, void* dir, const char* name, bool* created) {
      Recording* self = static_cast<Recording*>(ctx);
      self->writes.push_back(std::string("@") + name);
      void* f = GzcDefaultFileOps()->createAt(nullptr, dir, name, created);
      if (self->onCreate) self->onCreate(name);
      return f;
    };
    ops.ctx = this;
    ops.open = [](void* ctx, const char* path, bool write) {
      if (write) static_cast<Recording*>(ctx)->writes.push_back(path);
      return GzcDefaultFileOps()->open(nullptr, path, write);
    };
    ops.makeDir = [](void* ctx, const char* path) {
      static_cast<Recording*>(ctx)->writes.push_back(path);
      return GzcDefaultFileOps()->makeDir(nullptr, path);
    };
  }
};

class GzcHostile : public ::testing::Test {
 protected:
  TempDir d;
  fs::path dest = d.root / "dest";
  std::map<std::string, Bytes> before;

  void SetUp() override {
    // A probe left by an earlier, faulty run would fail every test after it.
    fs::remove_all(d.root.parent_path() / kProbe);
    TempDir::WriteFile(dest / "keep.txt", "old");
    TempDir::WriteFile(dest / "sub" / "old.dat", "older");
    before = Snapshot(dest);
  }
  // The destination as it was, the sentinel intact, and nothing new beside or above it.
  void ExpectUntouched() {
    EXPECT_EQ(Snapshot(dest), before);
    EXPECT_EQ(Snapshot(d.root / "outside"), (std::map<std::string, Bytes>{{"sentinel", "keep"}}));
    std::set<std::string> top;
    for (auto& e : fs::directory_iterator(d.root)) top.insert(e.path().filename().string());
    EXPECT_EQ(top, (std::set<std::string>{"dest", "outside", "scratch"}));
    EXPECT_FALSE(fs::exists(d.root.parent_path() / kProbe));
  }
  // A refusal: untouched, and nothing below the destination was even opened for writing.
  void ExpectRefused() {
    ExpectUntouched();
    for (const std::string& w : rec.writes) {
      EXPECT_EQ(w.rfind(dest.string(), 0), std::string::npos) << "written before the refusal: " << w;
      EXPECT_NE(w[0], '@') << "written before the refusal: " << w;
    }
  }
  GzcStatus Unpack(const Bytes& archive, bool createFolders = true) {
    rec.writes.clear();
    return UnpackBytes(d, archive, dest, createFolders, &rec.ops);
  }
  Recording rec;
};

// n different lines of the longest length a list line may have.
Bytes LongLines(size_t n) {
  Bytes list;
  for (size_t i = 0; i < n; ++i) list += std::to_string(i) + std::string(GZC_PATH_MAX - 10, 'x') + "\r\n";
  return list;
}

Bytes WithWord(Bytes a, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) a[at + i] = static_cast<char>(v >> (8 * i));
  return a;
}

Bytes WithByte(Bytes a, size_t at, int v) {
  a[at] = static_cast<char>(v);
  return a;
}

// `bytes` inserted at `at`, the table word at `word` (and the ones after it) moved past them.
Bytes WithBytesAt(Bytes a, size_t at, const Bytes& bytes, size_t word) {
  a.insert(at, bytes);
  for (size_t w = word; w < LE(a, 15); w += 4) a = WithWord(a, w, LE(a, w) + static_cast<uint32_t>(bytes.size()));
  return a;
}

}  // namespace

TEST_F(GzcHostile, UnsafeListLinesAreRefusedBeforeAnyWrite) {
  const std::string p = kProbe;
  std::vector<Bytes> lines = {
      "/tmp/" + p, "C:\\" + p, "C:" + p, "\\" + p, "\\\\server\\share\\" + p, "..\\" + p, "..\\..\\" + p,
      "a\\..\\..\\" + p, "sub\\..\\..\\" + p, "...\\" + p, "CON", "sub\\aux.txt", Bytes("a\0b", 3),
      "COM0", "lpt0.txt", "COM\xB9", "sub\\lpt\xB2.log", "com\xB3",  // Windows opens devices for these too
      std::string(GZC_PATH_MAX + 1, 'n'),
      std::string(GZC_PATH_MAX - 5, 'j'),  // fits as a line, not joined to the destination
  };
  for (const Bytes& line : lines) {
    SCOPED_TRACE(line.substr(0, 40));
    // A good entry first: it must not be written either.
    EXPECT_EQ(Unpack(BuildArchive({{"first.txt", "1"}, {line, "x"}})), GZC_ERR_PATH);
    ExpectRefused();
  }
}

// A list flagged UTF-8 must be UTF-8, and its limit counts UTF-16 units, as Windows does.
TEST_F(GzcHostile, Utf8ListsAreCheckedAsUtf8) {
  auto flagged = [](const std::vector<std::pair<Bytes, Bytes>>& files) {
    return WithWord(BuildArchive(files), 7, GZC_FLAG_UTF8);
  };
  std::string cjk;
  for (size_t i = 0; i < GZC_PATH_MAX; ++i) cjk += "\xe6\x97\xa5";  // 259 units in 777 bytes
  struct Case { const char* name; Bytes line; } refused[] = {
      {"a byte that starts nothing", "bad\xff.txt"},
      {"an overlong slash", "a\xc0\xaf" "b"},
      {"a surrogate", "s\xed\xa0\x80.txt"},
      {"a sequence cut short", "cut\xe6\x97"},
      {"one unit over the limit", cjk + "x"},
      {"a superscript device name", "COM\xc2\xb9"},
  };
  for (const Case& c : refused) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Unpack(flagged({{"first.txt", "1"}, {c.line, "x"}})), GZC_ERR_PATH);
    ExpectRefused();
  }
  std::vector<GzcEntry> entries;
  EXPECT_EQ(VerifyBytes(d, flagged({{cjk, "x"}}), &entries), GZC_OK) << "259 units fit as a line";
}

TEST_F(GzcHostile, ImpossibleCountsAndTablesAreRefused) {
  Bytes good = BuildArchive({{"a.txt", "alpha"}, {"b.txt", "beta"}});  // N = 3, table at 15..30
  Bytes solid = BuildSolid({{"a.txt", Pseudo(3000, 5)}, {"sub\\b.txt", "beta"}, {"c.txt", "gamma"}});  // N = 4
  const uint32_t rec0 = LE(solid, 19), rec1 = LE(solid, 23), head = LE(solid, 27), end = LE(solid, 31);
  struct Case { const char* name; Bytes archive; GzcStatus want; } cases[] = {
      {"bad magic", "GZX" + good.substr(3), GZC_ERR_MAGIC},
      {"N = 0", WithWord(good, 11, 0), GZC_ERR_COUNT},
      {"N + 1 overflows", WithWord(good, 11, 0xFFFFFFFFu), GZC_ERR_COUNT},
      {"table larger than the file", WithWord(good, 11, 0x40000000u), GZC_ERR_TRUNCATED},
      {"t[0] != 19 + 4N", WithWord(good, 15, 32), GZC_ERR_TABLE},
      {"N disagrees with t[0]", WithWord(good, 11, 2), GZC_ERR_TABLE},
      {"offsets decrease", WithWord(good, 19, LE(good, 15) - 1), GZC_ERR_TABLE},
      {"entry shorter than its length field", WithWord(good, 23, LE(good, 19) + 3), GZC_ERR_TABLE},
      {"t[N] beyond the end", WithWord(good, 27, LE(good, 27) + 1), GZC_ERR_TRUNCATED},
      {"wrong checksum", WithWord(good, 3, LE(good, 3) + 1), GZC_ERR_CHECKSUM},
      {"a kind no reader knows", WithWord(good, 7, 2 << GZC_ARCHIVE_KIND_SHIFT), GZC_ERR_KIND},
      // Solid: records at t[1] and t[2], the stream's head at t[3], the last record at the end.
      {"solid: a record of the wrong size", WithWord(solid, 23, rec1 + 1), GZC_ERR_TABLE},
      {"solid: a length that lies", WithWord(solid, rec0 + 4, 3001), GZC_ERR_STREAM},
      {"solid: the list longer than the stream", WithWord(WithWord(solid, end - 4, 1005), head + 5, 4009), GZC_ERR_STREAM},
      {"solid: a dictionary over the bound", WithWord(solid, head + 1, GZC_LZMA_DICT_MAX + 1), GZC_ERR_STREAM},
      {"solid: properties no decoder takes", WithByte(solid, head, 225), GZC_ERR_STREAM},
      {"solid: a corrupted stream", WithByte(solid, head + 40, solid[head + 40] ^ 0x10), GZC_ERR_STREAM},
      {"solid: a CRC that does not match", WithWord(solid, rec1, LE(solid, rec1) ^ 1), GZC_ERR_FILE_CRC},
      {"solid: bytes after the stream", WithBytesAt(solid, end - 8, "x", 31), GZC_ERR_STREAM},
      {"solid: wrong checksum", WithWord(solid, 3, LE(solid, 3) + 1), GZC_ERR_CHECKSUM},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Unpack(c.archive), c.want);
    EXPECT_NE(VerifyBytes(d, c.archive), GZC_OK);
    if (c.want == GZC_ERR_CHECKSUM)
      ExpectUntouched();  // known only after writing, and undone
    else
      ExpectRefused();
  }
}

TEST_F(GzcHostile, EveryTruncationIsRefused) {
  for (const Bytes& good : {BuildArchive({{"a.txt", Pseudo(3000, 5)}, {"sub\\b.txt", "beta"}}),
                            BuildSolid({{"a.txt", Pseudo(3000, 5)}, {"sub\\b.txt", "beta"}})}) {
    for (size_t cut = 0; cut < good.size(); ++cut) {
      SCOPED_TRACE(cut);
      GzcStatus s = Unpack(good.substr(0, cut));
      EXPECT_EQ(s, cut < 3 ? GZC_ERR_MAGIC : GZC_ERR_TRUNCATED);
      ExpectRefused();
    }
    EXPECT_EQ(Unpack(good), GZC_OK) << "the uncut archive is fine";
    fs::remove_all(dest / "a.txt");
    fs::remove_all(dest / "sub" / "b.txt");
  }
}

TEST_F(GzcHostile, DamagedListsAreRefused) {
  struct Case { const char* name; Bytes list; std::vector<Bytes> contents; GzcStatus want; } cases[] = {
      {"more lines than files", "a.txt\r\nb.txt\r\n", {"alpha"}, GZC_ERR_LIST},
      {"fewer lines than files", "a.txt\r\n", {"alpha", "beta"}, GZC_ERR_LIST},
      {"empty line", "a.txt\r\n\r\n", {"alpha", "beta"}, GZC_ERR_PATH},
      {"list longer than N - 1 lines can be", std::string(GZC_PATH_MAX + 3, 'q'), {"x"}, GZC_ERR_LIST},
      // Lines that could all be files, but more of them than memory is spent on: a few megabytes of
      // archive would otherwise cost hundreds of megabytes.
      {"list larger than the reader takes", LongLines(GZC_LIST_MAX / 200), std::vector<Bytes>(GZC_LIST_MAX / 200), GZC_ERR_LIST_SIZE},
      {"unfinished last line is a line", "a.txt\r\nb.txt", {"alpha", "beta"}, GZC_OK},
      {"LF alone ends a line", "a.txt\nb.txt\n", {"alpha", "beta"}, GZC_OK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(Unpack(BuildRaw(c.list, c.contents)), c.want);
    if (c.want != GZC_OK) {
      ExpectRefused();
    } else {
      EXPECT_EQ(ReadFile(dest / "b.txt"), "beta");
      fs::remove(dest / "a.txt");
      fs::remove(dest / "b.txt");
    }
  }
}

TEST_F(GzcHostile, CancelledArchiveWritesNothing) {
  Bytes a = BuildArchive({{"a.txt", "alpha"}});
  for (size_t i = 3; i < 27; ++i) a[i] = 0;  // checksum, N kept below, table
  a = WithWord(a, 11, 2);
  EXPECT_EQ(Unpack(a), GZC_ERR_CANCELLED_ARCHIVE);
  ExpectRefused();
}

// Verify first, write second: a damaged archive replaces nothing; a write that fails deletes what
// this unpacking created and keeps every file that was there before.
TEST_F(GzcHostile, AFailedUnpackNeverDeletesAFileThatWasThere) {
  Bytes damaged = BuildArchive({{"keep.txt", "new"}, {"sub\\old.dat", "newer"}, {"fresh\\x.txt", "x"}});
  EXPECT_EQ(Unpack(WithWord(damaged, 3, LE(damaged, 3) ^ 1)), GZC_ERR_CHECKSUM);
  ExpectRefused();

  fs::create_directories(dest / "taken");  // a folder where the last file should go
  before = Snapshot(dest);
  EXPECT_EQ(Unpack(BuildArchive({{"keep.txt", "new"}, {"fresh\\x.txt", "x"}, {"taken", "t"}})), GZC_ERR_TARGET);
  EXPECT_EQ(ReadFile(dest / "keep.txt"), "new") << "replaced, and kept";
  EXPECT_EQ(ReadFile(dest / "sub" / "old.dat"), "older");
  EXPECT_FALSE(fs::exists(dest / "fresh")) << "a file and a folder the unpacker made go";
}

// Unpacked in one pass (the caller checked the archive's bytes beforehand), a solid file that fails
// its CRC-32 is found as it is written: a failure, and what was written goes.
TEST_F(GzcHostile, ASolidFileFailingItsCrcWhileWrittenIsAFailureAndUndone) {
  Bytes a = BuildSolid({{"keep.txt", "new"}, {"fresh\\x.txt", Pseudo(5000, 2)}, {"fresh\\y.txt", "y"}});
  const uint32_t rec1 = LE(a, 23);
  rec.writes.clear();
  EXPECT_EQ(UnpackBytes(d, WithWord(a, rec1, LE(a, rec1) ^ 1), dest, true, &rec.ops, false, 0, true), GZC_ERR_FILE_CRC);
  EXPECT_EQ(ReadFile(dest / "keep.txt"), "new") << "replaced before the fault, and kept";
  EXPECT_FALSE(fs::exists(dest / "fresh"));
  EXPECT_EQ(ReadFile(dest / "sub" / "old.dat"), "older");
}

TEST_F(GzcHostile, MissingFolderWithoutCreationFailsAndCleansUp) {
  Bytes a = BuildArchive({{"new.txt", "n"}, {"nofolder\\x.txt", "x"}});
  EXPECT_EQ(Unpack(a, false), GZC_ERR_TARGET);
  ExpectUntouched();
  EXPECT_EQ(Unpack(a, true), GZC_OK);
  EXPECT_EQ(ReadFile(dest / "nofolder" / "x.txt"), "x");
}

TEST_F(GzcHostile, ShortMemberIsCaughtEvenWhenTheSumCannotSeeIt) {
  // Zeros add nothing to the sum: only the length check can notice the missing bytes.
  Bytes a = BuildArchive({{"new.txt", "n"}, {"zeros", Bytes(1000, '\0')}});
  a = WithWord(a, a.size() - 4, 2000);
  EXPECT_EQ(Unpack(a), GZC_ERR_SHORT);
  ExpectRefused();
}

TEST_F(GzcHostile, LinksInTheDestinationAreNotFollowed) {
  ASSERT_EQ(symlink((d.root / "outside").c_str(), (dest / "linkdir").c_str()), 0);
  ASSERT_EQ(symlink((d.root / "outside" / "sentinel").c_str(), (dest / "linkfile").c_str()), 0);
  before = Snapshot(dest);
  EXPECT_EQ(Unpack(BuildArchive({{"linkdir\\evil.txt", "evil"}})), GZC_ERR_TARGET);
  ExpectUntouched();
  EXPECT_EQ(Unpack(BuildArchive({{"linkfile", "evil"}})), GZC_ERR_TARGET);
  ExpectUntouched();
}

TEST_F(GzcHostile, DamagedMemberCrcIsRefused) {
  Bytes a = BuildArchive({{"new.txt", "n"}, {"a.txt", "alpha"}});
  Bytes bad = a;
  bad[bad.size() - 8] ^= 0x55;  // the member's own CRC-32; data and sum intact
  EXPECT_EQ(VerifyBytes(d, a), GZC_OK);
  EXPECT_EQ(VerifyBytes(d, bad), GZC_ERR_MEMBER);
  // zlib hands back no data from a small member whose CRC fails: the unpacker sees it short.
  EXPECT_EQ(Unpack(bad), GZC_ERR_SHORT);
  ExpectRefused();
}

// The files are written behind the reading; still the failure reported is the one a reader going
// file by file meets first, and everything written is gone.
TEST_F(GzcHostile, TheFirstFailureInListOrderIsReported) {
  fs::create_directories(dest / "taken");  // a folder where the second file should go
  before = Snapshot(dest);
  Bytes a = BuildArchive({{"new.txt", Pseudo(300000, 3)}, {"taken", "x"}, {"zeros", Bytes(1000, '\0')}});
  EXPECT_EQ(Unpack(a), GZC_ERR_TARGET);
  ExpectUntouched();
  EXPECT_TRUE(fs::is_directory(dest / "taken"));
}

// A folder of the destination swapped for a link in the middle of an unpacking (right after the
// file system has created a file in it): what follows still lands in the folder that was checked,
// and the clean-up after a failure deletes through the held folders, never through the link.
TEST_F(GzcHostile, AFolderSwappedForALinkDuringTheUnpackingIsNotFollowed) {
  struct Case {
    const char* name;
    Bytes archive;
    GzcStatus want;
  } cases[] = {
      {"unpacking ends well", BuildArchive({{"fresh\\a.txt", "a"}, {"fresh\\sentinel", "evil"}}), GZC_OK},
      {"unpacking fails after the swap",
       BuildArchive({{"fresh\\a.txt", "a"}, {"fresh\\sentinel", "evil"}, {"sub", "not a file"}}), GZC_ERR_TARGET},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    bool swapped = false;
    rec.onCreate = [&](const char* name) {
      if (swapped || std::string(name) != "a.txt") return;
      swapped = true;
      fs::rename(dest / "fresh", dest / "moved");
      fs::create_directory_symlink(d.root / "outside", dest / "fresh");
    };
    EXPECT_EQ(Unpack(c.archive), c.want);
    EXPECT_TRUE(swapped);
    EXPECT_EQ(Snapshot(d.root / "outside"), (std::map<std::string, Bytes>{{"sentinel", "keep"}}));
    EXPECT_EQ(fs::exists(dest / "moved" / "sentinel"), c.want == GZC_OK) << "written where it was checked";
    EXPECT_TRUE(fs::is_symlink(dest / "fresh")) << "the link itself stays";
    fs::remove(dest / "fresh");
    fs::remove_all(dest / "moved");
  }
  rec.onCreate = nullptr;
}

// A bound on what the files may hold unpacked (a project's is a few MiB): refused by the stored
// lengths before any file is written, however small the archive.
TEST_F(GzcHostile, FilesPastTheUnpackedBoundAreRefusedBeforeAnyWrite) {
  const uint64_t bound = 1000;
  struct Case { const char* name; Bytes archive; GzcStatus want; } cases[] = {
      {"one file past the bound", BuildArchive({{"new.txt", "n"}, {"big", Bytes(bound + 1, 'b')}}), GZC_ERR_TOO_LARGE},
      {"the files together past it", BuildArchive({{"a", Bytes(600, 'a')}, {"b", Bytes(401, 'b')}}), GZC_ERR_TOO_LARGE},
      {"a thousandfold amplification", BuildArchive({{"zeros", Bytes(1000 * bound, '\0')}}), GZC_ERR_TOO_LARGE},
      {"exactly the bound", BuildArchive({{"a", Bytes(600, 'a')}, {"b", Bytes(400, 'b')}}), GZC_OK},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    rec.writes.clear();
    EXPECT_EQ(UnpackBytes(d, c.archive, dest, true, &rec.ops, false, bound), c.want);
    if (c.want != GZC_OK) {
      ExpectRefused();
      continue;
    }
    EXPECT_EQ(ReadFile(dest / "b"), Bytes(400, 'b'));
    for (const char* f : {"a", "b"}) fs::remove(dest / f);
  }
}
