// Packing through the hooks: progress values and their order, the per-byte pump, cancelling, the
// file a walk leaves out, and finding the archives inside an installer.
#include <sys/stat.h>

#include <atomic>
#include <chrono>
#include <set>
#include <thread>

#include "gzc_testutil.h"
#include "core/peimage.h"

using namespace gzctest;

namespace {

struct Recorder {
  unsigned char cancel = 1;
  short bounds[2] = {3, 47};
  uint64_t pumps = 0;
  uint64_t cancelAtPump = 0;  // 0: never
  std::vector<std::pair<short, short>> reports;
  GzcHooks hooks{};

  Recorder() {
    hooks.cancel = &cancel;
    hooks.bounds = bounds;
    hooks.ctx = this;
    hooks.progress = [](void* ctx, short overall, short current) {
      static_cast<Recorder*>(ctx)->reports.push_back({overall, current});
    };
    hooks.pump = [](void* ctx) {
      auto* r = static_cast<Recorder*>(ctx);
      if (++r->pumps == r->cancelAtPump) r->cancel = 0;  // as if the author pressed "Przerwij"
    };
  }
};

// Splits consecutive gzip members and inflates each (the table of a cancelled archive is zero).
std::vector<Bytes> Members(const Bytes& data) {
  std::vector<Bytes> out;
  size_t at = 0;
  while (at < data.size()) {
    z_stream z{};
    inflateInit2(&z, 15 + 16);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data() + at));
    z.avail_in = static_cast<uInt>(data.size() - at);
    Bytes plain;
    char buf[65536];
    int rc;
    do {
      z.next_out = reinterpret_cast<Bytef*>(buf);
      z.avail_out = sizeof buf;
      rc = inflate(&z, Z_NO_FLUSH);
      plain.append(buf, sizeof buf - z.avail_out);
    } while (rc == Z_OK);
    EXPECT_EQ(rc, Z_STREAM_END);
    at += z.total_in;
    inflateEnd(&z);
    out.push_back(plain);
    if (rc != Z_STREAM_END) break;
  }
  return out;
}

class GzcPackHooks : public ::testing::Test {
 protected:
  TempDir d;
  fs::path src = d.root / "src";
  fs::path archive = d.root / "out.gzc";
  std::vector<Bytes> sizes = {Bytes(1000, 'a'), Pseudo(2345, 1), Bytes(3000, 'c'), Pseudo(777, 2)};
  std::vector<std::string> order;  // list order of the four files
  uint64_t listBytes = 0;

  void SetUp() override {
    for (size_t i = 0; i < sizes.size(); ++i) TempDir::WriteFile(src / ("f" + std::to_string(i)), sizes[i]);
    ASSERT_EQ(Pack(d, src, archive), GZC_OK);
    order = ParseArchive(ReadFile(archive)).lines;
    for (auto& l : order) listBytes += l.size() + 2;
  }
  const Bytes& Content(const std::string& line) { return sizes[std::stoi(line.substr(1))]; }
};

}  // namespace

TEST_F(GzcPackHooks, ProgressFollowsTheFormulasAndOnlyChanges) {
  for (unsigned threads : {1u, 4u}) {
    SCOPED_TRACE(std::to_string(threads) + " compressing threads");
    Recorder r;
    ASSERT_EQ(Pack(d, src, archive, &r.hooks, "wb6", nullptr, threads), GZC_OK);
    // The same formulas per byte, with unchanged values collapsed; nothing while the position is 0.
    std::vector<std::pair<short, short>> want;
    const uint32_t n = 5;
    for (uint32_t p = 1; p < order.size(); ++p) {  // list line p has position p
      float frac = static_cast<float>(p) / static_cast<float>(n);
      short overall = static_cast<short>(3.0f + 44.0f * frac);
      uint64_t len = Content(order[p]).size();
      for (uint64_t b = 1; b <= len; ++b) {
        std::pair<short, short> v{overall, static_cast<short>(100 * b / len)};
        if (want.empty() || want.back() != v) want.push_back(v);
      }
    }
    want.push_back({47, 100});
    EXPECT_EQ(r.reports, want);
    std::vector<short> overall;
    for (auto& v : r.reports)
      if (overall.empty() || overall.back() != v.first) overall.push_back(v.first);
    EXPECT_EQ(overall, (std::vector<short>{11, 20, 29, 47}));
    // One pump per packed byte: the list and every file.
    EXPECT_EQ(r.pumps, listBytes + 1000 + 2345 + 3000 + 777);
    EXPECT_EQ(Snapshot(src).size(), 4u);
  }
}

// A pump like the program's: only every 1024th call looks at anything. The packer counts the quiet
// calls in runs; progress, the calls in all and the byte a stop arrives at stay the same.
TEST_F(GzcPackHooks, QuietPumpCallsCountedInRunsChangeNothing) {
  struct Looking : Recorder {
    uint64_t calls = 0, skipped = 0;
    uint64_t cancelAtLook = 0;  // 0: never
    Looking() {
      hooks.pump = [](void* ctx) {
        auto* r = static_cast<Looking*>(ctx);
        if (++r->calls % 1024 == 0 && ++r->pumps == r->cancelAtLook) r->cancel = 0;
      };
      hooks.pumpQuiet = [](void* ctx) {
        return static_cast<unsigned>(1023 - static_cast<Looking*>(ctx)->calls % 1024);
      };
      hooks.pumpSkip = [](void* ctx, unsigned n) {
        static_cast<Looking*>(ctx)->calls += n;
        static_cast<Looking*>(ctx)->skipped += n;
      };
    }
  };
  Recorder plain;
  ASSERT_EQ(Pack(d, src, archive, &plain.hooks), GZC_OK);
  const uint64_t total = listBytes + 1000 + 2345 + 3000 + 777;
  for (unsigned threads : {1u, 4u}) {
    SCOPED_TRACE(std::to_string(threads) + " compressing threads");
    Looking r;
    ASSERT_EQ(Pack(d, src, archive, &r.hooks, "wb6", nullptr, threads), GZC_OK);
    EXPECT_EQ(r.reports, plain.reports);
    EXPECT_EQ(r.calls, total);
    EXPECT_EQ(r.pumps, total / 1024);
    EXPECT_GT(r.skipped, total / 2) << "the quiet calls were counted at once";

    Looking c;
    c.cancelAtLook = 3;  // the stop arrives with the pump of byte 3072
    EXPECT_EQ(Pack(d, src, archive, &c.hooks, "wb6", nullptr, threads), GZC_CANCELLED);
    Bytes all;
    for (const Bytes& m : Members(ReadFile(archive).substr(39))) all += m;
    Bytes want;
    for (auto& l : order) want += l + "\r\n";
    for (auto& l : order) want += Content(l);
    EXPECT_EQ(all, want.substr(0, 3072));
  }
}

TEST_F(GzcPackHooks, MinimumIntervalKeepsOverallChangesAndTheEnd) {
  Recorder r;
  r.hooks.minIntervalMs = 60000;
  ASSERT_EQ(Pack(d, src, archive, &r.hooks), GZC_OK);
  ASSERT_EQ(r.reports.size(), 4u);
  EXPECT_EQ(r.reports.back(), (std::pair<short, short>{47, 100}));
  EXPECT_EQ(r.reports[0].first, 11);
  EXPECT_EQ(r.reports[2].first, 29);
}

TEST_F(GzcPackHooks, CancelDuringSecondFileLeavesPartialArchiveThenNextPackIsNormal) {
  for (unsigned threads : {1u, 4u}) {
    SCOPED_TRACE(std::to_string(threads) + " compressing threads");
    Recorder r;
    const uint64_t k = 123;  // bytes of the second file packed before the stop
    r.cancelAtPump = listBytes + Content(order[0]).size() + k;
    EXPECT_EQ(Pack(d, src, archive, &r.hooks, "wb6", nullptr, threads), GZC_CANCELLED);
    Bytes a = ReadFile(archive);
    EXPECT_EQ(a.substr(0, 3), "GZC");
    EXPECT_EQ(LE(a, 3), 0u) << "checksum stays zero";
    EXPECT_EQ(LE(a, 11), 5u);
    for (uint32_t i = 0; i <= 5; ++i) EXPECT_EQ(LE(a, 15 + 4 * i), 0u) << "table word " << i;
    std::vector<Bytes> m = Members(a.substr(39));
    ASSERT_EQ(m.size(), 3u);
    EXPECT_EQ(m[0].size(), listBytes);
    EXPECT_EQ(m[1], Content(order[0]));
    EXPECT_EQ(m[2], Content(order[1]).substr(0, k));
    for (auto& v : r.reports) EXPECT_NE(v.first, 47) << "no end-of-step report after a cancel";
    // The module unpacks nothing from it.
    EXPECT_EQ(UnpackBytes(d, a, d.root / "dest"), GZC_ERR_CANCELLED_ARCHIVE);
    EXPECT_TRUE(Snapshot(d.root / "dest").empty());

    r.cancel = 1;
    r.cancelAtPump = 0;
    ASSERT_EQ(Pack(d, src, archive, &r.hooks, "wb6", nullptr, threads), GZC_OK);
    EXPECT_EQ(ParseArchive(ReadFile(archive)).contents.size(), 4u);
  }
}

TEST_F(GzcPackHooks, CancelBeforeTheFirstFilePacksOnlyTheList) {
  Recorder r;
  r.cancelAtPump = listBytes;  // the stop arrives while the list is compressed
  EXPECT_EQ(Pack(d, src, archive, &r.hooks), GZC_CANCELLED);
  EXPECT_EQ(Members(ReadFile(archive).substr(39)).size(), 1u);
}

TEST(GzcCancel, TakesEffectWithin100Ms) {
  TempDir d;
  TempDir::WriteFile(d.root / "src" / "big.bin", Pseudo(48u << 20, 9));
  unsigned char cancel = 1;
  GzcHooks hooks{};
  hooks.cancel = &cancel;
  std::atomic<int64_t> setAt{0};
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    setAt = std::chrono::steady_clock::now().time_since_epoch().count();
    reinterpret_cast<volatile unsigned char&>(cancel) = 0;
  });
  GzcStatus s = Pack(d, d.root / "src", d.root / "out.gzc", &hooks, "wb9");
  int64_t doneAt = std::chrono::steady_clock::now().time_since_epoch().count();
  stopper.join();
  ASSERT_EQ(s, GZC_CANCELLED) << "packing ended before the stop; make the file bigger";
  EXPECT_LT(std::chrono::nanoseconds(doneAt - setAt.load()), std::chrono::milliseconds(100));
}

// Reading runs ahead of the compressing threads by a bounded amount; while it waits for them the
// caller's idle hook keeps being called, and the per-byte points stay one per byte.
TEST(GzcReadAhead, WaitingServesTheIdleHookAndKeepsOnePumpPerByte) {
  TempDir d;
  const size_t big = 40u << 20;
  Bytes data = Pseudo(big, 11);
  for (char& ch : data) ch = static_cast<char>('a' + (ch & 15));  // compressible: deflated, not stored
  TempDir::WriteFile(d.root / "src" / "big.bin", data);
  struct Counts {
    uint64_t pumps = 0, idles = 0;
  } c;
  GzcHooks hooks{};
  hooks.ctx = &c;
  hooks.pump = [](void* ctx) { ++static_cast<Counts*>(ctx)->pumps; };
  hooks.idle = [](void* ctx) { ++static_cast<Counts*>(ctx)->idles; };
  fs::path archive = d.root / "out.gzc";
  ASSERT_EQ(Pack(d, d.root / "src", archive, &hooks, "wb9", nullptr, 1), GZC_OK);
  EXPECT_EQ(c.pumps, big + std::string("big.bin\r\n").size());
  EXPECT_GT(c.idles, 0u) << "40 MiB at level 9 cannot be compressed as fast as it is read";
  Parsed p = ParseArchive(ReadFile(archive));
  ASSERT_EQ(p.contents.size(), 1u);
  EXPECT_EQ(p.contents[0], data);
}

// What deflate cannot shrink is stored: a member of random or compressed data holds the data and
// a stored block's 5-byte header per 64 KiB, where deflate's own stored blocks take one per 16 KiB;
// data that repeats itself (within a piece, or the 32 KiB before it) is deflated however even its
// byte counts are. The same bytes for any thread count.
TEST(GzcStored, WhatDeflateCannotShrinkIsStored) {
  Bytes random = Pseudo(300000, 7), block = Pseudo(20000, 8), letters = Pseudo(400000, 9), counter, packed;
  for (char& c : letters) c = static_cast<char>('a' + (c & 15));
  uLongf len = compressBound(static_cast<uLong>(letters.size()));
  packed.resize(len);
  compress2(reinterpret_cast<Bytef*>(&packed[0]), &len, reinterpret_cast<const Bytef*>(letters.data()), letters.size(), 9);
  packed.resize(len);
  for (size_t i = 0; i < 300000; ++i) counter += static_cast<char>(i);
  // Stored: the data, the gzip header and trailer, and at most 5 bytes a 32 KiB.
  auto stored = [](size_t n) { return n + 18 + 5 * (n / 32768 + 1); };
  const struct {
    const char* name;
    Bytes data;
    size_t most;  // the member's most bytes
  } cases[] = {
      {"random", random, stored(random.size())},
      {"compressed", packed, stored(packed.size())},
      {"a counter: even counts, all repeats", counter, 3000},
      {"a random block thrice", block + block + block, 20000 + 1000},
      {"a random block again in the next piece, its copy in the dictionary",
       random.substr(0, 131072 - 20000) + block + block, stored(131072) + 1000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir d;
    TempDir::WriteFile(d.root / "src" / "f", c.data);
    Bytes first;
    for (unsigned threads : {1u, 3u}) {
      ASSERT_EQ(Pack(d, d.root / "src", d.root / "out.gzc", nullptr, "wb6", nullptr, threads), GZC_OK);
      Bytes a = ReadFile(d.root / "out.gzc");
      if (first.empty()) first = a;
      EXPECT_EQ(a, first) << threads << " threads";
    }
    Parsed p = ParseArchive(first);
    ASSERT_EQ(p.contents.size(), 1u);
    EXPECT_EQ(p.contents[0], c.data);
    EXPECT_LE(p.t[2] - p.t[1], c.most);
  }
}

namespace {
void Put32(Bytes* b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) (*b)[at + i] = (char)(v >> (8 * i));
}
// A PE32 image of `length` bytes (one section holds everything after the headers) whose security
// directory names [at, at + len).
Bytes PeImage(size_t length, uint32_t at = 0, uint32_t len = 0) {
  Bytes b(length, '\0');
  b[0] = 'M', b[1] = 'Z';
  Put32(&b, 0x3C, 0x40);
  b.replace(0x40, 4, std::string("PE\0\0", 4));
  const size_t fh = 0x44, opt = fh + 20;
  b[fh + 2] = 1;       // one section
  b[fh + 16] = (char)224;  // optional header size
  b[opt] = 0x0B, b[opt + 1] = 0x01;
  Put32(&b, opt + 92, 16);  // data directories
  Put32(&b, opt + 128, at);
  Put32(&b, opt + 132, len);
  const size_t sec = opt + 224;
  Put32(&b, sec + 16, (uint32_t)(length - 0x200));  // raw size
  Put32(&b, sec + 20, 0x200);                        // raw offset
  return b;
}
}  // namespace

namespace {
Bytes U16Bytes(const std::u16string& s) {
  Bytes b;
  for (char16_t c : s) b += (char)(c & 0xFF), b += (char)(c >> 8);
  return b + Bytes(2, '\0');
}
void Pad4(Bytes* b) {
  while (b->size() % 4) *b += '\0';
}
// A block of a version resource: length, value length (units for a text), type, key, value, children.
Bytes VerBlock(const std::u16string& key, const Bytes& value, bool text, const std::vector<Bytes>& children = {}) {
  Bytes b(6, '\0');
  b += U16Bytes(key);
  Pad4(&b);
  b += value;
  for (const Bytes& c : children) {
    Pad4(&b);
    b += c;
  }
  b[0] = (char)(b.size() & 0xFF), b[1] = (char)(b.size() >> 8);
  const size_t units = text ? value.size() / 2 : value.size();
  b[2] = (char)units, b[3] = (char)(units >> 8), b[4] = text ? 1 : 0;
  return b;
}
// The resources of an image loaded at `rva`: one version resource (type 16, name 1, language 0x409).
Bytes VersionResources(uint32_t rva, const std::u16string& company) {
  Bytes fixed(52, '\0');
  Put32(&fixed, 0, 0xFEEF04BD);
  Put32(&fixed, 16, 0x00010002);  // product version 1.2.3.4
  Put32(&fixed, 20, 0x00030004);
  Bytes info = VerBlock(u"VS_VERSION_INFO", fixed, false,
                        {VerBlock(u"StringFileInfo", "", true,
                                  {VerBlock(u"040904b0", "", true, {VerBlock(u"FileDescription", U16Bytes(u"x"), true),
                                                                   VerBlock(u"CompanyName", U16Bytes(company), true)})})});
  Bytes r(0x48, '\0');
  auto dir = [&](size_t at, uint32_t id, uint32_t to) {
    r[at + 14] = 1;  // one entry by number
    Put32(&r, at + 16, id);
    Put32(&r, at + 20, to);
  };
  dir(0x00, 16, 0x80000018);
  dir(0x18, 1, 0x80000030);
  dir(0x30, 0x409, 0x48);
  r += Bytes(16, '\0');
  Put32(&r, 0x48, rva + 0x58);
  Put32(&r, 0x4C, (uint32_t)info.size());
  return r + info;
}
}  // namespace

// The version resource of a program's main file gives its version and publisher; a damaged one is
// refused (or loses only its publisher) without a read outside the data, at every cut.
TEST(PeVersion, ReadsTheFirstVersionResourceAndRefusesADamagedOne) {
  const uint32_t rva = 0x3000;
  const Bytes good = VersionResources(rva, u"Zażółć Soft");
  struct Case {
    const char* what;
    size_t at;  // where `value` replaces four bytes; SIZE_MAX: none
    uint32_t value;
    bool ok;
    const char* publisher;
  } cases[] = {
      {"sound", SIZE_MAX, 0, true, "Zażółć Soft"},
      {"no version type", 0x10, 3, false, ""},
      {"type directory outside", 0x14, 0x8000FFF0, false, ""},
      {"language is a directory", 0x44, 0x80000000, false, ""},
      {"data before the section", 0x48, rva - 4, false, ""},
      {"data past its end", 0x4C, 0x7FFFFFFF, false, ""},
      {"fixed part's signature", 0x58 + 40, 0x12345678, false, ""},
      {"root key", 0x58 + 6, 0x00410041, false, ""},
      {"root longer than the data", 0x58, 0xFFFF | (52u << 16), false, ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes r = good;
    if (c.at != SIZE_MAX) Put32(&r, c.at, c.value);
    PeVersion v;
    ASSERT_EQ(c.ok, PeVersionInfo((const unsigned char*)r.data(), r.size(), rva, &v));
    if (c.ok) {
      EXPECT_EQ("1.2.3.4", v.version);
      EXPECT_EQ(c.publisher, v.publisher);
    }
  }
  // A publisher that is no text (a lone surrogate) is left out, the version stays.
  PeVersion v;
  Bytes lone = VersionResources(rva, std::u16string(1, char16_t(0xD800)) + u"x");
  ASSERT_TRUE(PeVersionInfo((const unsigned char*)lone.data(), lone.size(), rva, &v));
  EXPECT_EQ("", v.publisher);
  // Cut anywhere: never a read past the end (the sanitizer watches each copy of exactly n bytes).
  for (size_t n = 0; n < good.size(); ++n) {
    std::vector<unsigned char> cut(good.begin(), good.begin() + n);
    PeVersionInfo(cut.data(), n, rva, &v);
  }
  // The image's headers say where the resource data lies.
  Bytes image = PeImage(0x1000);
  Put32(&image, 0x44 + 20 + 96 + 16, rva + 8);   // resource directory: inside the section
  Put32(&image, 0x44 + 20 + 96 + 20, 0x100);
  Put32(&image, 0x44 + 20 + 224 + 12, rva);      // the section's address
  uint64_t at = 0;
  uint32_t size = 0, got = 0;
  ASSERT_TRUE(PeResourceSpan((const unsigned char*)image.data(), image.size(), &at, &size, &got));
  EXPECT_EQ(0x200u, at);
  EXPECT_EQ(0xE00u, size);
  EXPECT_EQ(rva, got);
  Put32(&image, 0x44 + 20 + 96 + 16, rva + 0x2000);  // outside every section
  EXPECT_FALSE(PeResourceSpan((const unsigned char*)image.data(), image.size(), &at, &size, &got));
}

// A signed installer: zeros up to an 8-byte boundary and the certificate table follow the data;
// the table is no data, and a table that does not end the file exactly is damage.
TEST(GzcInstaller, ASignatureBehindTheDataIsPassedOverAndADamagedOneRefused) {
  TempDir d;
  Bytes cfg = BuildArchive({{"init.cfg", "[cfg]\r\n1=Prog\r\n"}});
  Bytes bin = BuildArchive({{"prog.exe", Pseudo(3001, 4)}});
  const size_t engine = 0x400;
  Bytes lang = "LANG";  // the data ends off the alignment: zeros stand before the table
  while ((engine + 6 + lang.size() + cfg.size() + bin.size()) % 8 != 3) lang += 'x';
  Bytes data = Bytes("rc.bin") + lang + cfg + bin;
  const size_t end = engine + data.size(), table = end + 5;
  Bytes cert = "GZC rc.bin " + Pseudo(500, 9);  // a table may hold any bytes, the magic too
  struct Case {
    const char* what;
    uint32_t at, len;
    Bytes pad;
    bool found;
  } cases[] = {
      {"signed", (uint32_t)table, (uint32_t)cert.size(), Bytes(table - end, '\0'), true},
      {"padding not zero", (uint32_t)table, (uint32_t)cert.size(), Bytes(table - end, 'x'), false},
      {"table longer than the file", (uint32_t)table, (uint32_t)cert.size() + 8, Bytes(table - end, '\0'), false},
      {"table not at the end", (uint32_t)table, (uint32_t)cert.size() - 8, Bytes(table - end, '\0'), false},
      {"table inside the image", 0x100, (uint32_t)(table + cert.size() - 0x100), Bytes(table - end, '\0'), false},
      {"table past the file", 0xFFFFFFF8u, 16, Bytes(table - end, '\0'), false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Bytes setup = PeImage(engine, c.at, c.len) + data + c.pad + cert;
    fs::path file = d.root / "signed.exe";
    TempDir::WriteFile(file, setup);
    FILE* f = std::fopen(file.c_str(), "rb");
    GzcInstallerLayout layout;
    GzcStatus st = GzcFindInstaller(nullptr, f, setup.size(), &layout);
    std::fclose(f);
    EXPECT_EQ(c.found ? GZC_OK : GZC_ERR_NOT_INSTALLER, st);
    if (c.found) {
      EXPECT_EQ(layout.marker, engine);
      EXPECT_EQ(layout.binOffset + layout.binLength, end);
    }
  }
  // Unsigned, the same image still ends its file with its data alone.
  Bytes plain = PeImage(engine) + data;
  fs::path file = d.root / "plain.exe";
  TempDir::WriteFile(file, plain);
  FILE* f = std::fopen(file.c_str(), "rb");
  GzcInstallerLayout layout;
  EXPECT_EQ(GZC_OK, GzcFindInstaller(nullptr, f, plain.size(), &layout));
  std::fclose(f);
}

TEST(GzcInstaller, FindsBothArchivesBehindTheMarker) {
  TempDir d;
  Bytes cfg = BuildArchive({{"init.cfg", "[cfg]\r\n1=Prog\r\n"}, {"UnInst.dat", "u"}});
  Bytes bin = BuildArchive({{"prog.exe", Pseudo(5000, 4)}, {"doc\\read.txt", "GZC rc.bin"}});
  // The engine mentions both the marker and the magic; so does the language data.
  Bytes engine = "MZ engine looks for rc.bin and GZC" + Pseudo(3000, 8) + "rc.bin";
  Bytes lang = "LANG GZC data";
  Bytes setup = engine + "rc.bin" + lang + cfg + bin;
  fs::path file = d.root / "setup.exe";
  TempDir::WriteFile(file, setup);
  FILE* f = std::fopen(file.c_str(), "rb");
  GzcInstallerLayout layout;
  ASSERT_EQ(GzcFindInstaller(nullptr, f, setup.size(), &layout), GZC_OK);
  std::fclose(f);
  EXPECT_EQ(layout.marker, engine.size());
  EXPECT_EQ(layout.cfgOffset, engine.size() + 6 + lang.size());
  EXPECT_EQ(layout.cfgLength, cfg.size());
  EXPECT_EQ(layout.binOffset, layout.cfgOffset + cfg.size());
  EXPECT_EQ(layout.binLength, bin.size());

  for (const Bytes& broken : {engine + "rc.bin" + lang + cfg, Bytes("MZ") + lang + cfg + bin, setup + "x"}) {
    TempDir::WriteFile(file, broken);
    f = std::fopen(file.c_str(), "rb");
    EXPECT_EQ(GzcFindInstaller(nullptr, f, broken.size(), &layout), GZC_ERR_NOT_INSTALLER);
    std::fclose(f);
  }
}

// Headers whose offset tables all run to the end of the file, one every 19 bytes, in front of a
// real installer: a search that reads each candidate's table reads the file over and over (with 1
// MiB of them, billions of bytes and half a minute). Counted through the file layer.
TEST(GzcInstaller, ReadsTheFileOnceHoweverManyTablesOverlap) {
  TempDir d;
  Bytes tail = "rc.bin" + BuildArchive({{"init.cfg", "[cfg]\r\n1=Prog\r\n"}}) +
               BuildArchive({{"prog.exe", Pseudo(5000, 4)}});
  const size_t kJunk = 1 << 20;
  Bytes setup = "MZ";
  while (setup.size() + 19 <= kJunk) {
    uint32_t n = static_cast<uint32_t>((kJunk + tail.size() - setup.size() - 19) / 4);
    setup += "GZC";
    for (uint32_t word : {0u, 0u, n, 19 + 4 * n}) PutLE(&setup, word);
  }
  const size_t engine = setup.size();
  setup += tail;
  fs::path file = d.root / "setup.exe";
  TempDir::WriteFile(file, setup);

  struct Counting {
    uint64_t bytes = 0;
    GzcFileOps ops = *GzcDefaultFileOps();
  } counting;
  counting.ops.ctx = &counting;
  counting.ops.read = [](void* ctx, void* f, void* buf, size_t n) {
    size_t got = GzcDefaultFileOps()->read(nullptr, f, buf, n);
    static_cast<Counting*>(ctx)->bytes += got;
    return got;
  };
  FILE* f = std::fopen(file.c_str(), "rb");
  GzcInstallerLayout layout;
  ASSERT_EQ(GzcFindInstaller(&counting.ops, f, setup.size(), &layout), GZC_OK);
  std::fclose(f);
  EXPECT_EQ(layout.marker, engine);
  EXPECT_EQ(layout.binOffset + layout.binLength, setup.size());
  EXPECT_LE(counting.bytes, 2 * setup.size());
}

// An installer built into its own program folder is left out of the next walk: found by identity
// where the job can tell (another spelling of its path, a link to its folder), else by its path
// without regard to case; a file of the same name in another folder is packed.
TEST(GzcPackWalk, TheFileToLeaveOutIsFoundByIdentityOrByItsPath) {
  TempDir d;
  const fs::path prog = d.root / "prog";
  TempDir::WriteFile(prog / "app.exe", "APP");
  TempDir::WriteFile(prog / "setup.exe", "the last installer");
  TempDir::WriteFile(prog / "sub" / "setup.exe", "a file of the program");
  fs::create_directory_symlink(prog, d.root / "alias");
  auto same = [](void*, const char* a, const char* b) {
    struct stat x, y;
    return stat(a, &x) == 0 && stat(b, &y) == 0 && x.st_dev == y.st_dev && x.st_ino == y.st_ino;
  };
  const struct {
    const char* name;
    std::string leaveOut;
    bool (*same)(void*, const char*, const char*);
    bool leftOut;
  } cases[] = {
      {"its own path", (prog / "setup.exe").string(), same, true},
      {"through a link to its folder", (d.root / "alias" / "setup.exe").string(), same, true},
      {"by the text, in other letters", (d.root / "PROG" / "Setup.EXE").string(), nullptr, true},
      {"by the text, with two separators", prog.string() + "//setup.exe", nullptr, true},
      {"not there", (prog / "other.exe").string(), same, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string folder = prog.string(), archive = (d.root / "a.gzc").string(), gz = d.gzTmp(), list = d.listFile();
    GzcPackJob job{folder.c_str(), archive.c_str(), gz.c_str(), list.c_str(), "wb6", nullptr, nullptr, 0, false,
                   c.leaveOut.c_str(), c.same};
    GzcPackResult result;
    ASSERT_EQ(GzcPack(job, &result), GZC_OK);
    EXPECT_EQ(result.leftOut, c.leftOut);
    std::vector<GzcEntry> entries;
    ASSERT_EQ(VerifyBytes(d, ReadFile(archive), &entries), GZC_OK);
    std::set<std::string> names;
    for (const GzcEntry& e : entries) names.insert(e.path);
    std::set<std::string> want = {"app.exe", "sub\\setup.exe"};
    if (!c.leftOut) want.insert("setup.exe");
    EXPECT_EQ(names, want);
  }
}
